#include "views/main/DashboardSuggestionCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "views/shared/Style.h"
#include "views/shared/SymbolView.h"

namespace {

// The keys on a rounded accent plate.
class KeysPlate : public QLabel {
public:
    explicit KeysPlate(QWidget* parent) : QLabel(parent) {
        setTextFormat(Qt::PlainText);
        setFont(Style::font(13, QFont::DemiBold, true));
        Style::setLabelColor(this, Style::accent());
        setContentsMargins(8, 4, 8, 4);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        Style::paintRoundedRect(painter, QRectF(rect()), 6, Style::withOpacity(Style::accent(), 0.15));
        painter.end();
        QLabel::paintEvent(event);
    }
};

}  // namespace

DashboardSuggestionCard::DashboardSuggestionCard(QWidget* parent) : Card(Style::accent(), 0.08, 0.1, parent) {
    const QColor accent = Style::accent();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    column->addWidget(Style::label(QStringLiteral("Try Next"), Style::font(13, QFont::DemiBold), accent, this));

    auto* details = new QVBoxLayout;
    details->setSpacing(6);
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    nameRow->addWidget(new SymbolView(QStringLiteral("lightbulb.fill"), 10, Style::withOpacity(accent, 0.8), this), 0,
                       Qt::AlignVCenter);
    m_name = Style::label(QString(), Style::font(12, QFont::Medium), accent, this);
    m_name->setObjectName(QStringLiteral("suggestionName"));
    nameRow->addWidget(m_name, 0, Qt::AlignVCenter);
    nameRow->addStretch(1);
    details->addLayout(nameRow);

    m_keys = new KeysPlate(this);
    m_keys->setObjectName(QStringLiteral("suggestionKeys"));
    details->addWidget(m_keys, 0, Qt::AlignLeft);

    m_howTo = Style::label(QString(), Style::font(10), Style::withOpacity(accent, 0.7), this, true);
    m_howTo->setObjectName(QStringLiteral("suggestionHowTo"));
    details->addWidget(m_howTo);
    column->addLayout(details);
    column->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void DashboardSuggestionCard::setSuggestion(const SuggestedShortcut& suggestion) {
    m_name->setText(suggestion.name);
    m_keys->setText(suggestion.keys);
    m_howTo->setText(suggestion.howTo);
}

QString DashboardSuggestionCard::name() const {
    return m_name->text();
}
QString DashboardSuggestionCard::keys() const {
    return m_keys->text();
}
QString DashboardSuggestionCard::howTo() const {
    return m_howTo->text();
}
