#pragma once

#include <QWidget>

// The small card shown over the main window while the catalogue loads: a spinner labelled
// "Loading shortcuts…" on a rounded translucent card. It covers only its own area.
class MainWindowLoadingCard : public QWidget {
    Q_OBJECT
public:
    explicit MainWindowLoadingCard(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
