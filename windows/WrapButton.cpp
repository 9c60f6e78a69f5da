#include "windows/WrapButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);

    // The caption may use the whole face; when the design font still does not fit on two
    // lines it shrinks in half points until it does, so no word is ever cut off.
    const QRect r = rect().adjusted(2, 1, -2, -1);
    QFont f = font();
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    for (qreal size = f.pointSizeF(); size > 6; size -= 0.5) {
        f.setPointSizeF(size);
        const QRect need = QFontMetrics(f).boundingRect(r, flags, caption);
        if (need.width() <= r.width() && need.height() <= r.height())
            break;
    }
    p.setFont(f);
    style()->drawItemText(&p, r, flags, opt.palette, isEnabled(), caption, QPalette::ButtonText);
}
