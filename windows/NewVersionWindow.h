#pragma once
#include <QWidget>

// Tells the user that a newer editor exists.
class NewVersionWindow : public QWidget {
    Q_OBJECT
public:
    explicit NewVersionWindow(QWidget *parent = nullptr);
};
