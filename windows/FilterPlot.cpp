#include "windows/FilterPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

FilterPlot::FilterPlot(QWidget *parent) : QWidget(parent) { setMinimumSize(200, 120); }

void FilterPlot::setFilter(const FilterCalculator::Coefficients &k, const QString &label)
{
    m_filter = k;
    m_label = label;
    update();
}

void FilterPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Base));
    const QRectF area = QRectF(rect()).adjusted(34, 8, -8, -20);
    const auto x = [&](double hz) {
        return area.left() + area.width() * std::log10(hz / MinHz) / std::log10(MaxHz / MinHz);
    };
    const auto y = [&](double db) {
        return area.top() + area.height() * (MaxDb - std::clamp(db, MinDb, MaxDb)) / (MaxDb - MinDb);
    };
    QFont small = font();
    small.setPixelSize(9);
    p.setFont(small);
    const QColor grid = pal.color(QPalette::Mid);
    const QColor text = pal.color(QPalette::Text);
    for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0}) {
        p.setPen(QPen(grid, 1, Qt::DotLine));
        p.drawLine(QPointF(x(hz), area.top()), QPointF(x(hz), area.bottom()));
        p.setPen(text);
        const QString label = hz >= 1000 ? QStringLiteral("%1k").arg(hz / 1000) : QString::number(hz);
        p.drawText(QRectF(x(hz) - 20, area.bottom() + 2, 40, 14), Qt::AlignCenter, label);
    }
    for (double db = MinDb; db <= MaxDb; db += 6) {
        p.setPen(QPen(grid, 1, db == 0 ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(QPointF(area.left(), y(db)), QPointF(area.right(), y(db)));
        p.setPen(text);
        p.drawText(QRectF(0, y(db) - 7, 30, 14), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 dB").arg(db));
    }
    const auto curve = [&](const FilterCalculator::Coefficients &k) {
        QPainterPath path;
        const int steps = int(area.width());
        for (int i = 0; i <= steps; ++i) {
            const double hz = MinHz * std::pow(MaxHz / MinHz, double(i) / steps);
            const QPointF pt(x(hz), y(FilterCalculator::magnitudeDb(k, hz)));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        return path;
    };
    p.setClipRect(area);
    for (int i = 0; i < m_tuning.size(); ++i) {
        QColor c = i < 18 ? QColor(0x6f, 0x9b, 0xc9) : QColor(0xc9, 0x8b, 0x5f);
        c.setAlpha(110);
        p.strokePath(curve(m_tuning[i]), QPen(c, 1));
    }
    if (m_filter)
        p.strokePath(curve(*m_filter), QPen(pal.color(QPalette::Highlight), 2.2));
    p.setClipping(false);
    p.setPen(text);
    p.drawText(area.adjusted(4, 2, -4, 0), Qt::AlignTop | Qt::AlignRight,
               m_filter ? m_label : QStringLiteral("tuning table: 32 note filters"));
}
