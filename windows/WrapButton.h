#pragma once
// A push button whose caption wraps onto two lines when it does not fit.

#include <QPushButton>

class WrapButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
