#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class KeyChip;

// A row of key chips joined by "+" signs, one chip per token position (equal tokens each get
// their own chip). An empty list draws nothing and takes no space.
class KeySequence : public QWidget {
    Q_OBJECT
public:
    explicit KeySequence(const QStringList& keys, QWidget* parent = nullptr);

    const QStringList& keys() const { return m_keys; }
    const QList<KeyChip*>& chips() const { return m_chips; }
    int plusSignCount() const { return m_plusSigns; }

private:
    QStringList m_keys;
    QList<KeyChip*> m_chips;
    int m_plusSigns = 0;
};
