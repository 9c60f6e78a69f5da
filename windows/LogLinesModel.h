#pragma once
// The diagnostic log's lines as a list model, for the debug console. The lines are kept once,
// by the log; the model only says how many of them the view shows. New lines are announced
// in batches (showPending), so tens of thousands of them cost one layout.

#include <QAbstractListModel>
#include <QFont>

class DiagnosticLog;

class LogLinesModel : public QAbstractListModel {
    Q_OBJECT
public:
    LogLinesModel(const DiagnosticLog &log, const QFont &font, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Shows the lines the log gained since the last call; false when there were none.
    bool showPending();
    // The log was emptied.
    void reset();
    int shown() const { return m_shown; }

private:
    const DiagnosticLog &m_log;
    int m_shown = 0;
    int m_widestChars = 0; // the longest line shown: every row is that wide, so none is cut
    int m_charWidth;
    int m_lineHeight;
};
