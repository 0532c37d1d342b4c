#include "platform/qt/AppcastFeed.h"

#include <QXmlStreamReader>

#include "platform/qt/VersionComparator.h"

namespace {

struct ItemFields {
    QString version;
    QString shortVersion;
    QString link;
    QString enclosureVersion;
    QString enclosureShortVersion;
    QString enclosureUrl;
};

// Reads one <item> up to its end tag.
ItemFields readItem(QXmlStreamReader& xml) {
    ItemFields fields;
    while (xml.readNextStartElement()) {
        const bool sparkle = xml.namespaceUri() == AppcastFeed::sparkleNamespace;
        const QStringView name = xml.name();
        if (sparkle && name == u"version") {
            fields.version = xml.readElementText().trimmed();
        } else if (sparkle && name == u"shortVersionString") {
            fields.shortVersion = xml.readElementText().trimmed();
        } else if (!sparkle && xml.namespaceUri().isEmpty() && name == u"link") {
            fields.link = xml.readElementText().trimmed();
        } else if (!sparkle && xml.namespaceUri().isEmpty() && name == u"enclosure") {
            const QXmlStreamAttributes attributes = xml.attributes();
            fields.enclosureVersion =
                attributes.value(AppcastFeed::sparkleNamespace, QStringLiteral("version")).toString().trimmed();
            fields.enclosureShortVersion =
                attributes.value(AppcastFeed::sparkleNamespace, QStringLiteral("shortVersionString"))
                    .toString()
                    .trimmed();
            fields.enclosureUrl = attributes.value(QStringLiteral("url")).toString().trimmed();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    return fields;
}

std::optional<AppcastItem> toItem(const ItemFields& fields) {
    const QString version = !fields.version.isEmpty() ? fields.version : fields.enclosureVersion;
    if (version.isEmpty()) {
        return std::nullopt;
    }
    AppcastItem item;
    item.versionString = version;
    const QString shortVersion = !fields.shortVersion.isEmpty() ? fields.shortVersion : fields.enclosureShortVersion;
    item.displayVersionString = shortVersion.isEmpty() ? version : shortVersion;
    const QUrl link(!fields.link.isEmpty() ? fields.link : fields.enclosureUrl, QUrl::StrictMode);
    if (link.isValid()) {
        item.link = link;
    }
    return item;
}

}  // namespace

const QString AppcastFeed::sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

std::optional<QList<AppcastItem>> AppcastFeed::parse(const QByteArray& data) {
    QXmlStreamReader xml(data);
    if (!xml.readNextStartElement() || xml.name() != u"rss") {
        return std::nullopt;
    }
    bool sawChannel = false;
    QList<AppcastItem> items;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"item" && xml.namespaceUri().isEmpty()) {
                if (const auto item = toItem(readItem(xml))) {
                    items.append(*item);
                }
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // Read to the end so that a document broken after its last item still counts as broken.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    if (xml.hasError() || !sawChannel) {
        return std::nullopt;
    }
    return items;
}

std::optional<AppcastItem> AppcastFeed::newest(const QList<AppcastItem>& items) {
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items) {
        if (!best || VersionComparator::compare(item.versionString, best->versionString) > 0) {
            best = item;
        }
    }
    return best;
}
