#pragma once
// Controls of the effect window: a rotary dial whose value is an angle in whole degrees, and
// an on/off switch. Both report every change, made by the user or from code, the same way.

#include <QAbstractButton>
#include <QWidget>

class RotaryDial : public QWidget {
    Q_OBJECT
public:
    explicit RotaryDial(QWidget *parent = nullptr);

    int angle() const { return m_angle; }
    // Sets the angle (-180..180, whole degrees); angleChanged follows when it changes.
    void setAngle(int angle);
    // The level the dial stands at (0..1023), as shown on it.
    int level() const;
    // Keyboard and wheel move the dial along its travel.
    void stepBy(int positions);

    QSize sizeHint() const override { return {40, 40}; }

signals:
    void angleChanged(int angle);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void followMouse(const QPointF &pos);
    int m_angle = -135;
    int m_wheelRemainder = 0;
};

class OnOffSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit OnOffSwitch(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {41, 22}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};
