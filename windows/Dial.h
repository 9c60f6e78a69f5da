#pragma once
// Controls of the effect window: a rotary dial whose value is an angle in whole degrees, and
// an on/off switch. Both report every change, made by the user or from code, the same way.

#include <QAbstractButton>
#include <QColor>
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

// Its colours come from the look (each look's sheet sets them, tools/make-looks.sh); a colour
// the look leaves unset falls back to the palette: the field colours when off, the selection
// colours when on.
class OnOffSwitch : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QColor offTrackColor MEMBER m_offTrack)
    Q_PROPERTY(QColor offTextColor MEMBER m_offText)
    Q_PROPERTY(QColor onTrackColor MEMBER m_onTrack)
    Q_PROPERTY(QColor onTextColor MEMBER m_onText)
    Q_PROPERTY(QColor disabledTextColor MEMBER m_disabledText)
public:
    explicit OnOffSwitch(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {41, 22}; }

    // The colours it paints with now: the track behind the text, and the text.
    QColor trackColor() const;
    QColor textColor() const;
    // Where its ON or OFF stands (beside the thumb), and in which font.
    QRectF textArea() const;
    QFont textFont() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_offTrack, m_offText, m_onTrack, m_onText, m_disabledText;
};
