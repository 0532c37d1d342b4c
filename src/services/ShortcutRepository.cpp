#include "services/ShortcutRepository.h"

#include <QPointer>
#include <optional>

#include "models/ShortcutData.h"
#include "platform/UserDefaults.h"
#include "services/APIClient.h"

namespace {
const QString kDisabledShortcutIDs = QStringLiteral("disabledShortcutIDs");
}

ShortcutRepository::ShortcutRepository(APIClient& client, UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_client(client), m_defaults(defaults) {}

QCoro::Task<void> ShortcutRepository::load() {
    QPointer<ShortcutRepository> self(this);
    setIsLoading(true);

    std::optional<ShortcutsResponse> response;
    try {
        response = co_await m_client.getShortcuts();
    } catch (...) {
        // Any failure (no credentials yet, network, status, decoding) means the built-in catalogue.
        response.reset();
    }
    if (!self) {
        co_return;  // the repository went away while the request was in flight
    }

    const QSet<QString> disabled = disabledIDs();
    QList<Shortcut> list;
    if (response) {
        list.reserve(response->shortcuts.size());
        for (const APIShortcut& record : response->shortcuts) {
            if (auto shortcut = record.toShortcut(!disabled.contains(record.id))) {
                list.append(std::move(*shortcut));
            }
        }
        setShortcuts(std::move(list));
        setLoadedFromAPI(true);
        setIsLoading(false);
    } else {
        list = ShortcutData::all();
        for (Shortcut& shortcut : list) {
            shortcut.isEnabled = !disabled.contains(shortcut.id);
        }
        setShortcuts(std::move(list));
        setIsLoading(false);
    }
}

QSet<QString> ShortcutRepository::disabledIDs() const {
    const auto stored = m_defaults.stringArrayForKey(kDisabledShortcutIDs);
    if (!stored) {
        return {};
    }
    return QSet<QString>(stored->cbegin(), stored->cend());
}

void ShortcutRepository::setShortcuts(QList<Shortcut> value) {
    emit objectWillChange();
    m_shortcuts = std::move(value);
    emit shortcutsChanged();
}

void ShortcutRepository::setIsLoading(bool value) {
    emit objectWillChange();
    m_isLoading = value;
    emit isLoadingChanged();
}

void ShortcutRepository::setLoadedFromAPI(bool value) {
    emit objectWillChange();
    m_loadedFromAPI = value;
    emit loadedFromAPIChanged();
}
