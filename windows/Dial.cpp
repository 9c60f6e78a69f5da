#include "windows/Dial.h"

#include "pedal/DialMath.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <QtMath>

using namespace DialMath;

RotaryDial::RotaryDial(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void RotaryDial::setAngle(int angle)
{
    if (angle > 180)
        angle -= 360;
    if (angle < -180)
        angle += 360;
    if (angle == m_angle)
        return;
    m_angle = angle;
    update();
    emit angleChanged(angle);
}

int RotaryDial::level() const { return positionToLevel(dialAngleToPosition(snapDialAngle(m_angle))); }

void RotaryDial::stepBy(int positions)
{
    const int p = std::clamp(dialAngleToPosition(snapDialAngle(m_angle)) + positions, 0, MaxPosition);
    setAngle(positionToAngle(p));
}

void RotaryDial::followMouse(const QPointF &pos)
{
    const QPointF c = QRectF(rect()).center();
    const qreal dx = pos.x() - c.x();
    const qreal dy = c.y() - pos.y();
    if (qFuzzyIsNull(dx) && qFuzzyIsNull(dy))
        return;
    setAngle(int(std::lround(qRadiansToDegrees(std::atan2(dy, dx)))));
}

void RotaryDial::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    followMouse(event->position());
}

void RotaryDial::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        followMouse(event->position());
}

void RotaryDial::wheelEvent(QWheelEvent *event)
{
    // One notch (120) moves four positions, about fifteen levels.
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / 30;
    m_wheelRemainder -= notches * 30;
    if (notches)
        stepBy(notches);
    event->accept();
}

void RotaryDial::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: stepBy(1); break;
    case Qt::Key_Down:
    case Qt::Key_Left: stepBy(-1); break;
    case Qt::Key_PageUp: stepBy(27); break;
    case Qt::Key_PageDown: stepBy(-27); break;
    case Qt::Key_Home: setAngle(MinAngle); break;
    case Qt::Key_End: setAngle(MaxAngle); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void RotaryDial::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const QRectF box((width() - side) / 2 + 2, (height() - side) / 2 + 2, side - 4, side - 4);
    const QPalette &pal = palette();
    const bool on = isEnabled();
    const QColor track = pal.color(QPalette::Mid);
    const QColor accent = on ? pal.color(QPalette::Highlight) : pal.color(QPalette::Disabled, QPalette::WindowText);
    const QColor text = on ? pal.color(QPalette::WindowText) : pal.color(QPalette::Disabled, QPalette::WindowText);

    // The travel: 270 degrees from the minimum at lower left, clockwise to lower right.
    const qreal ring = qMax<qreal>(2.5, side / 14);
    QPen pen(track, ring, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawArc(box, -45 * 16, 270 * 16);
    const int position = dialAngleToPosition(snapDialAngle(m_angle));
    pen.setColor(accent);
    p.setPen(pen);
    p.drawArc(box, 225 * 16, -position * 16);

    // The knob and its pointer.
    const QRectF knob = box.adjusted(ring + 2, ring + 2, -ring - 2, -ring - 2);
    QRadialGradient g(knob.center() - QPointF(knob.width() / 5, knob.height() / 5), knob.width());
    g.setColorAt(0, pal.color(QPalette::Button).lighter(115));
    g.setColorAt(1, pal.color(QPalette::Button).darker(125));
    p.setPen(QPen(pal.color(QPalette::Dark), 1));
    p.setBrush(g);
    p.drawEllipse(knob);
    const qreal a = qDegreesToRadians(qreal(m_angle));
    const QPointF c = knob.center();
    const qreal r = knob.width() / 2;
    p.setPen(QPen(accent, qMax<qreal>(1.5, side / 22), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(std::cos(a), -std::sin(a)) * r * 0.55, c + QPointF(std::cos(a), -std::sin(a)) * r * 0.95);

    // The level, in the middle.
    QFont f = font();
    f.setPixelSize(qMax(7, int(side / 4.2)));
    p.setFont(f);
    p.setPen(text);
    p.drawText(knob, Qt::AlignCenter, QString::number(level()));

    if (hasFocus()) {
        p.setPen(QPen(accent, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(box.adjusted(-1, -1, 1, 1));
    }
}

OnOffSwitch::OnOffSwitch(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QColor OnOffSwitch::trackColor() const
{
    if (isChecked() && isEnabled())
        return m_onTrack.isValid() ? m_onTrack : palette().color(QPalette::Highlight);
    return m_offTrack.isValid() ? m_offTrack : palette().color(QPalette::Base);
}

QColor OnOffSwitch::textColor() const
{
    if (!isEnabled())
        return m_disabledText.isValid() ? m_disabledText : palette().color(QPalette::Disabled, QPalette::Text);
    if (isChecked())
        return m_onText.isValid() ? m_onText : palette().color(QPalette::HighlightedText);
    return m_offText.isValid() ? m_offText : palette().color(QPalette::Text);
}

QRectF OnOffSwitch::textArea() const
{
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal d = r.height() - 4;
    return isChecked() ? QRectF(r.left() + 2, r.top(), r.width() - d - 5, r.height())
                       : QRectF(r.left() + d + 3, r.top(), r.width() - d - 5, r.height());
}

QFont OnOffSwitch::textFont() const
{
    QFont f = font();
    f.setPixelSize(qMax(7, int((height() - 2) * 0.45)));
    f.setBold(true);
    return f;
}

void OnOffSwitch::paintEvent(QPaintEvent *)
{
    // A disabled switch keeps its thumb where its state is, on the off track, in the disabled
    // text colour; the thumb is drawn in the text's colour, so it stands out as the text does.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const bool on = isChecked();
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = r.height() / 2;
    const QColor text = textColor();
    p.setPen(QPen(pal.color(QPalette::Dark), 1));
    p.setBrush(trackColor());
    p.drawRoundedRect(r, radius, radius);
    const qreal d = r.height() - 4;
    const QRectF thumb(on ? r.right() - d - 2 : r.left() + 2, r.top() + 2, d, d);
    p.setPen(Qt::NoPen);
    p.setBrush(text);
    p.drawEllipse(thumb);
    p.setFont(textFont());
    p.setPen(text);
    p.drawText(textArea(), Qt::AlignCenter, on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    if (hasFocus()) {
        const QColor ring = m_onTrack.isValid() ? m_onTrack : pal.color(QPalette::Highlight);
        p.setPen(QPen(ring, 1.5, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius + 1, radius + 1);
    }
}
