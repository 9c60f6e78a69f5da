#pragma once
#include <QWidget>

// Holds the updater refresh; never shown.
class TformUpdateUpdater : public QWidget {
    Q_OBJECT
public:
    explicit TformUpdateUpdater(QWidget *parent = nullptr);
};
