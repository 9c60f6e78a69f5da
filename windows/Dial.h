#pragma once
// Controls of the effect window: a rotary dial whose value is an angle in whole degrees, and
// an on/off switch. Both report every change, made by the user or from code, the same way.

#include <QAbstractButton>
#include <QColor>
#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;

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
    // The effect parameter the dial edits (ParameterCatalogue): its value is shown and typed in
    // the pedal's own terms (ValueText). Without one the dial shows its level.
    void setParameter(int parameter);
    QString valueText() const;

    // A vertical drag moves the value from where it was: up is more, the whole travel takes
    // about 200 pixels, with Shift a fifth as fast. A press alone moves nothing.
    static constexpr double PositionsPerPixel = 270.0 / 200.0;
    static constexpr double FineFactor = 0.2;
    static constexpr int DragStartPixels = 3; // a shaking hand on a press is no drag

    // Double-click opens a box to type the value in; Enter sets it (as a drag would), Escape or
    // leaving the box cancels it. The box while it is open, otherwise nullptr.
    QLineEdit *valueEditor() const { return m_editor; }
    void openValueEditor();

    QSize sizeHint() const override { return {40, 40}; }

signals:
    void angleChanged(int angle);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyTypedValue();
    void closeValueEditor();
    void placeValueEditor();
    int m_angle = -135;
    int m_wheelRemainder = 0;
    int m_parameter = -1;
    // The drag under way: where it was pressed, the last height seen, the travel position
    // (fractional) it has reached; dragging once it went beyond DragStartPixels.
    bool m_pressed = false;
    bool m_dragging = false;
    qreal m_pressY = 0, m_lastY = 0, m_dragPosition = 0;
    QPointer<QWidget> m_editorBox;
    QLineEdit *m_editor = nullptr;
    QLabel *m_editorProblem = nullptr;
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
