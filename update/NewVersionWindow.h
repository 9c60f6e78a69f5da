#pragma once
#include <QWidget>

// Tells the user that a newer editor exists.
class TformNewVersionMsg : public QWidget {
    Q_OBJECT
public:
    explicit TformNewVersionMsg(QWidget *parent = nullptr);
};
