#pragma once
// The editor's running trace: every line shown in the debug console and, at close,
// appended to log.txt as one block.

#include <QDateTime>
#include <QObject>
#include <QStringList>

class DiagnosticLog : public QObject {
    Q_OBJECT
public:
    explicit DiagnosticLog(QObject *parent = nullptr) : QObject(parent) {}

    // Appends text as one line (a text with line breaks becomes several lines);
    // the console follows the last line while consoleAutoScroll is on.
    void writeLogLine(const QString &text);
    // A line added to the console directly, without scrolling it.
    void addConsoleLine(const QString &text);
    // Empties the console (its Clear button).
    void clear();

    const QStringList &lines() const { return m_lines; }
    int lineCount() const { return int(m_lines.size()); }

    bool consoleAutoScroll = true;

    // The bytes one run appends to log.txt: LF, LF, the stamp, LF, then every line + CR LF.
    static QByteArray logFileBlock(const QStringList &lines, const QDateTime &closedAt);
    // Appends this run's block to the file, creating it when missing.
    bool appendToLogFile(const QString &path, const QDateTime &closedAt, QString *error = nullptr) const;

signals:
    void linesAppended(const QStringList &lines, bool scrollToEnd);
    void cleared();

private:
    void append(const QString &text, bool scroll);
    QStringList m_lines;
};
