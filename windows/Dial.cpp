#include "windows/Dial.h"

#include "pedal/DialMath.h"
#include "pedal/ValueText.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtMath>

using namespace DialMath;

RotaryDial::RotaryDial(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeVerCursor); // dragged up and down
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

void RotaryDial::setParameter(int parameter)
{
    m_parameter = parameter;
    update();
}

QString RotaryDial::valueText() const
{
    return m_parameter >= 0 ? ValueText::ofState(m_parameter, m_angle) : QString::number(level());
}

void RotaryDial::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    // The value stays where it is until the mouse moves.
    m_pressed = true;
    m_dragging = false;
    m_pressY = m_lastY = event->position().y();
    m_dragPosition = dialAngleToPosition(snapDialAngle(m_angle));
    event->accept();
}

void RotaryDial::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    const qreal y = event->position().y();
    if (!m_dragging) {
        if (qAbs(y - m_pressY) < DragStartPixels)
            return;
        m_dragging = true; // counted from the press on
    }
    const qreal speed = event->modifiers().testFlag(Qt::ShiftModifier) ? PositionsPerPixel * FineFactor : PositionsPerPixel;
    m_dragPosition = std::clamp<qreal>(m_dragPosition + (m_lastY - y) * speed, 0, MaxPosition);
    m_lastY = y;
    const int position = int(std::lround(m_dragPosition));
    if (position != dialAngleToPosition(snapDialAngle(m_angle)))
        setAngle(positionToAngle(position));
    event->accept();
}

void RotaryDial::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_pressed = false;
    m_dragging = false;
    event->accept();
}

void RotaryDial::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    m_pressed = false;
    m_dragging = false;
    openValueEditor();
    event->accept();
}

void RotaryDial::openValueEditor()
{
    if (m_editor || !isEnabled())
        return;
    // The box lies over the dial in its window, wide enough for "1023" or "24 / 24", with room
    // below for the reason a value is refused.
    QWidget *top = window();
    auto *box = new QFrame(top);
    box->setObjectName(QStringLiteral("dialValueEditor"));
    box->setFrameShape(QFrame::StyledPanel);
    box->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(1);
    m_editor = new QLineEdit(valueText(), box);
    m_editor->setObjectName(QStringLiteral("dialValueEdit"));
    m_editor->selectAll();
    m_editor->installEventFilter(this);
    m_editorProblem = new QLabel(box);
    m_editorProblem->setObjectName(QStringLiteral("dialValueProblem"));
    m_editorProblem->setStyleSheet(QStringLiteral("color: #c00000;")); // red whatever the look
    m_editorProblem->hide();
    layout->addWidget(m_editor);
    layout->addWidget(m_editorProblem);
    m_editorBox = box;
    placeValueEditor();
    box->show();
    box->raise();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void RotaryDial::placeValueEditor()
{
    // Over the dial, inside its window, as wide as what it shows.
    QWidget *top = m_editorBox->parentWidget();
    m_editorBox->layout()->activate();
    const QSize size(qMax(110, m_editorBox->sizeHint().width()), m_editorBox->sizeHint().height());
    const QPoint centre = mapTo(top, rect().center());
    m_editorBox->setGeometry(std::clamp(centre.x() - size.width() / 2, 0, qMax(0, top->width() - size.width())),
                             std::clamp(centre.y() - 13, 0, qMax(0, top->height() - size.height())), size.width(),
                             size.height());
}

void RotaryDial::closeValueEditor()
{
    if (!m_editor)
        return;
    m_editor->removeEventFilter(this);
    m_editor = nullptr;
    m_editorProblem = nullptr;
    if (m_editorBox) {
        m_editorBox->hide();
        m_editorBox->deleteLater();
    }
}

void RotaryDial::applyTypedValue()
{
    if (!m_editor)
        return;
    const QString typed = m_editor->text();
    QString takes;
    std::optional<int> angle;
    if (m_parameter >= 0) {
        angle = ValueText::stateOf(m_parameter, typed, ValueText::BareNumber::Step, &takes);
    } else {
        bool ok = false;
        const int level = typed.trimmed().toInt(&ok);
        takes = QStringLiteral("a level from 0 to %1").arg(MaxLevel);
        if (ok && level >= 0 && level <= MaxLevel)
            angle = levelToAngle(level);
    }
    if (!angle) {
        // Refused where it was typed; nothing is sent and the box stays for another try.
        m_editorProblem->setText(QStringLiteral("Takes %1.").arg(takes));
        m_editorProblem->show();
        placeValueEditor();
        m_editor->selectAll();
        return;
    }
    closeValueEditor();
    setFocus(Qt::OtherFocusReason);
    setAngle(*angle); // the change goes out as a drag's does
}

bool RotaryDial::eventFilter(QObject *watched, QEvent *event)
{
    if (m_editor && watched == m_editor) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                applyTypedValue();
                return true;
            }
            if (key == Qt::Key_Escape) {
                closeValueEditor();
                setFocus(Qt::OtherFocusReason);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            closeValueEditor(); // clicking elsewhere leaves the value as it was
        }
    }
    return QWidget::eventFilter(watched, event);
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
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2: openValueEditor(); break;
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

    // The value, in the middle, inside the pointer's reach: a step closes up ("12/24") and the
    // letters get smaller when it is too wide.
    QFont f = font();
    f.setPixelSize(qMax(7, int(side / 4.2)));
    p.setPen(text);
    QString shown = valueText();
    const qreal room = knob.width() - 4;
    if (QFontMetricsF(f).horizontalAdvance(shown) > room)
        shown.replace(QLatin1String(" / "), QLatin1String("/"));
    while (f.pixelSize() > 6 && QFontMetricsF(f).horizontalAdvance(shown) > room)
        f.setPixelSize(f.pixelSize() - 1);
    p.setFont(f);
    p.drawText(knob, Qt::AlignCenter, shown);

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
