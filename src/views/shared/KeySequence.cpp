#include "views/shared/KeySequence.h"

#include <QHBoxLayout>
#include <QLabel>

#include "views/shared/KeyChip.h"
#include "views/shared/Style.h"

KeySequence::KeySequence(const QStringList& keys, QWidget* parent) : QWidget(parent), m_keys(keys) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        auto* chip = new KeyChip(keys[i], this);
        layout->addWidget(chip, 0, Qt::AlignVCenter);
        m_chips.append(chip);
        if (i < keys.size() - 1) {
            QLabel* plus = Style::label(QStringLiteral("+"), Style::font(10), Style::secondary(), this);
            plus->setObjectName(QStringLiteral("plusSign"));
            layout->addWidget(plus, 0, Qt::AlignVCenter);
            ++m_plusSigns;
        }
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (keys.isEmpty()) {
        // Takes no room at all, not even the layout's spacing.
        hide();
    }
}
