#include "services/FeatureFlagService.h"

#include <QPointer>
#include <optional>

#include "services/APIClient.h"

FeatureFlagService::FeatureFlagService(APIClient& client, QObject* parent) : QObject(parent), m_client(client) {}

QCoro::Task<void> FeatureFlagService::load() {
    QPointer<FeatureFlagService> self(this);
    std::optional<FeaturesResponse> response;
    try {
        response = co_await m_client.getFeatures();
    } catch (...) {
        co_return;  // failures are dropped without a word; the old flags stay
    }
    if (!self) {
        co_return;
    }
    QHash<QString, QString> flags;
    flags.reserve(response->features.size());
    for (const APIFeatureFlag& flag : response->features) {
        flags.insert(flag.key, flag.value);  // a repeated key: the later entry replaces the earlier
    }
    emit objectWillChange();
    m_flags = std::move(flags);
    emit flagsChanged();
}
