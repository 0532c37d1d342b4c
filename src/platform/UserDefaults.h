#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <optional>

class QDateTime;

// The standard user defaults: one dictionary of property-list values (Boolean, integer, real,
// string, data, date, array, dictionary) under string keys. The base class keeps the values in
// memory; a persistent store overrides the protected hooks and loads its file in its constructor.
//
// Every write (set or remove) stores the value, persists it when the stored value changed, and then
// emits `didChange()` on the calling thread, as NSUserDefaultsDidChangeNotification does. A store
// shared with other writers also emits it when their changes alter a value. Main thread only.
//
// Only what a property-list file carries exactly is stored; a write of anything else is refused with
// a warning, returns false and changes nothing (see unstorableReason()). A write that is taken but does not
// reach the store's file (see saveState()) returns true: the value is kept in memory.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    explicit UserDefaults(QObject* parent = nullptr);
    ~UserDefaults() override;

    // The stored value, or an invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    bool contains(const QString& key) const { return m_values.contains(key); }

    // Typed reads with the platform's conversions; absent or unconvertible values give the
    // neutral answer (false, 0, nothing).
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;  // a string, or a number's text
    std::optional<QByteArray> dataForKey(const QString& key) const;
    std::optional<QStringList> stringArrayForKey(const QString& key) const;  // only when every element is a string
    std::optional<QVariantMap> dictionaryForKey(const QString& key) const;

    // Stores `value` (an invalid QVariant removes the key), then announces the change. False, with nothing
    // changed or announced, when the key or value cannot be stored.
    bool setObject(const QVariant& value, const QString& key);
    bool setBool(bool value, const QString& key) { return setObject(QVariant(value), key); }
    bool setInteger(qint64 value, const QString& key) { return setObject(QVariant(value), key); }
    bool setString(const QString& value, const QString& key) { return setObject(QVariant(value), key); }
    bool removeObjectForKey(const QString& key);

    QVariantMap dictionaryRepresentation() const { return m_values; }

    // Whether the value under `key` (or its absence) is in the store's file. Pending while its write waits for
    // another writer to let go of the file, until pendingWritesFinished(); Unsaved when its write did not reach
    // the file (the value stays in memory, and a later write stores it). The in-memory store is always Saved.
    enum class SaveState { Saved, Pending, Unsaved };  // from best to worst
    virtual SaveState saveState(const QString& key) const {
        Q_UNUSED(key);
        return SaveState::Saved;
    }

    // Whether two stored values are the same: same kind (Boolean, integer, real, string, data, date,
    // array, dictionary) and equal, nested values compared alike. Absent equals absent.
    static bool sameValue(const QVariant& a, const QVariant& b);

    // Containers nest at most this deep (an array in an array counts two).
    static constexpr int maxDepth = 256;
    // Why `value` cannot be stored, or nothing when it can. XML 1.0 carries no NUL, U+FFFE, U+FFFF, lone
    // surrogates or C0 controls other than tab, line feed and carriage return, not even as references;
    // dates are whole seconds of the years 1 to 9999, as standard property-list readers take them.
    static std::optional<QString> unstorableReason(const QVariant& value);
    static bool isStorableText(QStringView text);
    static bool isStorableDate(const QDateTime& date);

signals:
    // Posted after every write to the defaults, whichever key changed, and when changes made by other
    // writers alter a value.
    void didChange();
    // Sent when writes that were Pending have been stored, or have failed.
    void pendingWritesFinished();

protected:
    // Called first in every write, so that a store shared with other writers can take in their changes;
    // didWrite() follows every willWrite().
    virtual void willWrite() {}
    virtual void didWrite() {}
    // Whether the store holds a value under `key` that it cannot read (which the key's next write replaces).
    virtual bool holdsUnreadableValue(const QString& key) const {
        Q_UNUSED(key);
        return false;
    }
    // Called for a write of `key` that changes what is stored, with every value after it, before the store
    // takes them and announces `didChange()`. Returns why the write is refused, if it is. The in-memory
    // store keeps nothing.
    virtual std::optional<QString> persist(const QVariantMap& values, const QString& key);
    // For stores that load their file (at construction and when others change it).
    void replaceAllWithoutNotice(const QVariantMap& values) { m_values = values; }

private:
    bool write(const QString& key, const QVariant& value);

    QVariantMap m_values;
};
