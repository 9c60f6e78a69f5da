#include "windows/LogLinesModel.h"

#include "support/DiagnosticLog.h"

#include <QFontMetrics>
#include <QSize>

LogLinesModel::LogLinesModel(const DiagnosticLog &log, const QFont &font, QObject *parent)
    : QAbstractListModel(parent), m_log(log)
{
    const QFontMetrics metrics(font);
    m_charWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    m_lineHeight = metrics.lineSpacing();
}

int LogLinesModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_shown; }

QVariant LogLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role == Qt::DisplayRole)
        return m_log.lines().at(index.row());
    if (role == Qt::SizeHintRole) // the view takes every row's size from the first
        return QSize(m_charWidth * (m_widestChars + 1), m_lineHeight);
    return {};
}

bool LogLinesModel::showPending()
{
    const int total = m_log.lineCount();
    if (total <= m_shown)
        return false;
    int widest = m_widestChars;
    for (int i = m_shown; i < total; ++i)
        widest = std::max(widest, int(m_log.lines().at(i).size()));
    beginInsertRows(QModelIndex(), m_shown, total - 1);
    m_shown = total;
    endInsertRows();
    if (widest != m_widestChars) {
        m_widestChars = widest;
        emit dataChanged(index(0), index(0), {Qt::SizeHintRole});
    }
    return true;
}

void LogLinesModel::reset()
{
    beginResetModel();
    m_shown = 0;
    m_widestChars = 0;
    endResetModel();
}
