#pragma once
// Window units: the windows drawn by hand (the effect window and the small ones) give their
// places and sizes in units of the 8-point dialog font the layouts were drawn for, as dialog
// units do. A font with wider or taller characters makes every place and size larger by the same
// factor, so the window and its controls grow together and the arrangement stays as drawn.

#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QWidget>
#include <cmath>

namespace WindowUnits {
// The design font's average character (over a-z and A-Z) and line height, in pixels at 96 dpi.
constexpr qreal DesignCharWidth = 5.7;
constexpr qreal DesignLineHeight = 13.4;

struct Factors {
    qreal x = 1;
    qreal y = 1;
};

inline Factors of(const QFont &font)
{
    const QFontMetricsF fm(font);
    const qreal average = fm.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) / 52;
    return {qMax<qreal>(1, average / DesignCharWidth), qMax<qreal>(1, fm.height() / DesignLineHeight)};
}

// A rectangle in window units, in pixels: its edges are scaled, so neighbours stay neighbours.
inline QRect scaled(const QRect &r, Factors f)
{
    const int left = int(std::lround(r.x() * f.x)), top = int(std::lround(r.y() * f.y));
    const int right = int(std::lround((r.x() + r.width()) * f.x)), bottom = int(std::lround((r.y() + r.height()) * f.y));
    return {left, top, right - left, bottom - top};
}

// Places every child of window, given in window units, in pixels for the window's font (into
// the group boxes and plain containers too), and fixes the window's size from its size in units
// (or only sizes it, when the window may be resized).
enum class Size { Fixed, Resizable };
inline void place(QWidget *window, QSize size, Size kind = Size::Fixed)
{
    const Factors f = of(window->font());
    const auto children = [f](QWidget *parent, auto &&self) -> void {
        for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (w->isWindow())
                continue;
            w->setGeometry(scaled(w->geometry(), f));
            if (qobject_cast<QGroupBox *>(w) || w->metaObject() == &QWidget::staticMetaObject)
                self(w, self);
        }
    };
    children(window, children);
    const QSize pixels = scaled(QRect(QPoint(), size), f).size();
    if (kind == Size::Fixed)
        window->setFixedSize(pixels);
    else
        window->resize(pixels);
}
} // namespace WindowUnits
