#pragma once
#include <QWidget>

// Holds the updater refresh; never shown.
class UpdaterWindow : public QWidget {
    Q_OBJECT
public:
    explicit UpdaterWindow(QWidget *parent = nullptr);
};
