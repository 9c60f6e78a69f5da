#pragma once
// The magnitude response of the calculated filter over the 32 filters of the tuning table.

#include "algorithms/FilterCalculator.h"

#include <QList>
#include <QWidget>
#include <optional>

class FilterPlot : public QWidget {
    Q_OBJECT
public:
    explicit FilterPlot(QWidget *parent = nullptr);
    void setTuningFilters(const QList<FilterCalculator::Coefficients> &filters) { m_tuning = filters; update(); }
    void setFilter(const FilterCalculator::Coefficients &k, const QString &label);
    bool hasFilter() const { return m_filter.has_value(); }

    static constexpr double MinHz = 20, MaxHz = 2000, MinDb = -24, MaxDb = 12;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<FilterCalculator::Coefficients> m_tuning;
    std::optional<FilterCalculator::Coefficients> m_filter;
    QString m_label;
};
