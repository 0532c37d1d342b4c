#pragma once

#include <QString>
#include <optional>

// What the application bundle and the process information say about this build.
struct BundleInfo {
    std::optional<QString> shortVersion;  // "CFBundleShortVersionString"
    std::optional<QString> buildNumber;   // "CFBundleVersion"
    QString operatingSystemVersionString;  // human-readable, as the platform words it
    QString architecture;                  // the processor architecture of the build, e.g. "x86_64"

    // This build: the project version, the running system's description and the build architecture.
    static BundleInfo current();
};
