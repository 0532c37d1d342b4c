#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

#include "platform/Updater.h"

// Reads an update feed: RSS 2.0 whose items carry their versions in the Sparkle namespace,
// either as elements (<sparkle:version>, <sparkle:shortVersionString>) or as attributes of the
// item's <enclosure>.
class AppcastFeed {
public:
    static const QString sparkleNamespace;

    // The items that name a version, in feed order; nothing when the text is not an RSS
    // document with a channel.
    static std::optional<QList<AppcastItem>> parse(const QByteArray& xml);
    // The item with the highest version (the first of equals); nothing for an empty list.
    static std::optional<AppcastItem> newest(const QList<AppcastItem>& items);
};
