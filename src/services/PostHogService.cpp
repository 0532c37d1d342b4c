#include "services/PostHogService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <cmath>
#include <limits>
#include <optional>

#include "platform/VariantInteger.h"

namespace {

// Keeps nothing: the analytics session must not carry cookies from one event to the next.
class RefusingCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

std::optional<QJsonValue> toJson(const QVariant& value);

std::optional<QJsonObject> toJsonObject(const QVariantMap& map) {
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const auto converted = toJson(it.value());
        if (!converted) {
            return std::nullopt;
        }
        object.insert(it.key(), *converted);
    }
    return object;
}

// Only the kinds a JSON serialiser accepts; anything else (or a non-finite number) fails the
// whole event rather than sending a guess.
std::optional<QJsonValue> toJson(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QString:
            return QJsonValue(value.toString());
        case QMetaType::Bool:
            return QJsonValue(value.toBool());
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const auto integer = integerFromVariant(value);
            if (!integer) {
                return std::nullopt;
            }
            return QJsonValue(*integer);
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            if (!std::isfinite(d)) {
                return std::nullopt;
            }
            return QJsonValue(d);
        }
        case QMetaType::QVariantMap: {
            const auto object = toJsonObject(value.toMap());
            if (!object) {
                return std::nullopt;
            }
            return QJsonValue(*object);
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            QJsonArray array;
            for (const QVariant& item : value.toList()) {
                const auto converted = toJson(item);
                if (!converted) {
                    return std::nullopt;
                }
                array.append(*converted);
            }
            return QJsonValue(array);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

const QString PostHogService::builtInApiKey = QStringLiteral("phc_Tm4Kq8Zr2Vw6Yx0Bn3Hj7Lp5Fd9Gs1Ca4Ek8Ru2Io6Ny");
const QString PostHogService::placeholderPrefix = QStringLiteral("REPLACE_");

PostHogService::PostHogService(const QUrl& endpoint, DeliveryQueue::Limits limits, QObject* parent)
    : QObject(parent),
      m_apiKey(builtInApiKey),
      m_distinctId(QStringLiteral("anonymous")),
      m_endpoint(endpoint),
      m_session(new QNetworkAccessManager(this)),
      m_delivery(*m_session, limits) {
    m_session->setCookieJar(new RefusingCookieJar(m_session));
    m_session->setCache(nullptr);
}

PostHogService::~PostHogService() = default;

void PostHogService::setup(const QString& apiKey, const QString& distinctId) {
    if (!apiKey.isEmpty() && !apiKey.startsWith(placeholderPrefix)) {
        m_apiKey = apiKey;
    }
    m_distinctId = distinctId;
}

void PostHogService::capture(const QString& event, const QVariantMap& properties) {
    if (m_apiKey.startsWith(placeholderPrefix)) {
        return;
    }
    auto props = toJsonObject(properties);
    if (!props) {
        return;
    }
    props->insert(QStringLiteral("app_name"), QStringLiteral("Keyloom"));
    props->insert(QStringLiteral("platform"), QStringLiteral("macOS"));

    QJsonObject body;
    body.insert(QStringLiteral("api_key"), m_apiKey);
    body.insert(QStringLiteral("event"), event);
    body.insert(QStringLiteral("distinct_id"), m_distinctId);
    body.insert(QStringLiteral("properties"), *props);

    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    // Fire and forget: the reply, its status and any error are of no interest. Only http and
    // https endpoints are ever sent to.
    m_delivery.post(std::move(request), QJsonDocument(body).toJson(QJsonDocument::Compact));
}
