#include "platform/BundleInfo.h"

#include <QSysInfo>

#include "BuildConfig.h"

namespace {

QString buildArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
    return QStringLiteral("x86_64");
#elif defined(__aarch64__) || defined(_M_ARM64)
    return QStringLiteral("arm64");
#else
    return QSysInfo::buildCpuArchitecture();
#endif
}

}  // namespace

BundleInfo BundleInfo::current() {
    BundleInfo info;
    info.shortVersion = QString::fromLatin1(keyloom::build::version);
    info.buildNumber = QString::fromLatin1(keyloom::build::version);
    info.operatingSystemVersionString =
        QStringLiteral("Version %1 (%2)").arg(QSysInfo::productVersion(), QSysInfo::prettyProductName());
    info.architecture = buildArchitecture();
    return info;
}
