#pragma once
// Where a window opens: beside the main window where it fits on the screen, otherwise moved
// until it is wholly on the screen (its top left corner first, when it is bigger than the screen).

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QWidget>

namespace Placement {
enum class Side { Right, Below };

// The place nearest to at where a frame of this size lies wholly on the screen (its top left
// corner on the screen when it is bigger).
inline QPoint onto(QSize frame, QPoint at, QRect screen)
{
    const int x = qMax(screen.left(), qMin(at.x(), screen.right() + 1 - frame.width()));
    const int y = qMax(screen.top(), qMin(at.y(), screen.bottom() + 1 - frame.height()));
    return {x, y};
}

// frame: the window's size with its frame; main: the main window's frame; screen: the screen's
// available area. Right: beside the main window, tops aligned, else on its left. Below: under it,
// left edges aligned, else above it. nudge moves the preferred place (the note cut window sits a
// little in and below).
inline QPoint position(QSize frame, QRect main, QRect screen, Side side, QPoint nudge = {})
{
    const auto fits = [&](QPoint p) { return screen.contains(QRect(p, frame)); };
    const QPoint first = (side == Side::Right ? QPoint(main.right() + 1, main.top())
                                              : QPoint(main.left(), main.bottom() + 1)) + nudge;
    if (fits(first))
        return first;
    const QPoint second = side == Side::Right ? QPoint(main.left() - frame.width() - nudge.x(), main.top() + nudge.y())
                                              : QPoint(main.left() + nudge.x(), main.top() - frame.height() - nudge.y());
    if (fits(second))
        return second;
    return onto(frame, first, screen);
}

// Moves window to its place beside main on main's screen. A window not shown yet has no frame;
// it is taken to get the frame the main window has.
inline void besideMain(QWidget *window, const QWidget *main, Side side, QPoint nudge = {})
{
    QScreen *screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QSize frame = window->frameGeometry().size();
    if (frame == window->size())
        frame += main->frameGeometry().size() - main->size();
    window->move(position(frame, main->frameGeometry(), screen->availableGeometry(), side, nudge));
}
// A window that opens where it was put (the debug console): moved onto its screen, and made
// smaller first when it is taller or wider than the screen and may be resized.
inline void ontoScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QSize frame = window->frameGeometry().size();
    const QSize margins = frame - window->size();
    if (frame.width() > area.width() || frame.height() > area.height()) {
        const QSize fitting = window->size().boundedTo(area.size() - margins).expandedTo(window->minimumSize());
        window->resize(fitting);
        frame = fitting + margins;
    }
    window->move(onto(frame, window->frameGeometry().topLeft(), area));
}
} // namespace Placement
