#include "views/main/ShortcutSearchField.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>

#include "views/shared/Style.h"
#include "views/shared/SymbolIcons.h"
#include "views/shared/SymbolView.h"

ShortcutSearchField::ShortcutSearchField(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(8);
    row->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 13, Style::secondary(), this), 0,
                   Qt::AlignVCenter);

    m_edit = new QLineEdit(this);
    m_edit->setFrame(false);
    m_edit->setPlaceholderText(QStringLiteral("Search shortcuts"));
    m_edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    row->addWidget(m_edit, 1);

    m_clear = new QToolButton(this);
    m_clear->setAutoRaise(true);
    m_clear->setIcon(SymbolIcons::icon(QStringLiteral("xmark.circle.fill"), Style::secondary(), 14));
    m_clear->setIconSize(QSize(14, 14));
    // No taller than the text field, so the field keeps its height when the button appears.
    m_clear->setFixedSize(16, 16);
    m_clear->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_clear->setCursor(Qt::PointingHandCursor);
    m_clear->setFocusPolicy(Qt::NoFocus);
    m_clear->setToolTip(QStringLiteral("Clear"));
    row->addWidget(m_clear, 0, Qt::AlignVCenter);

    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& text) {
        updateClearButton();
        emit textEdited(text);
    });
    connect(m_clear, &QToolButton::clicked, this, [this] {
        m_edit->clear();
        updateClearButton();
        emit textEdited(QString());
    });
    updateClearButton();
}

void ShortcutSearchField::setText(const QString& text) {
    if (m_edit->text() != text) {
        m_edit->setText(text);
    }
    updateClearButton();
}

QString ShortcutSearchField::text() const {
    return m_edit->text();
}

void ShortcutSearchField::updateClearButton() {
    m_clear->setVisible(!m_edit->text().isEmpty());
}

void ShortcutSearchField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Style::paintRoundedRect(painter, QRectF(rect()), 8, Style::controlBackground());
}
