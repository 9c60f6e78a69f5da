#include "support/DiagnosticLog.h"

#include "support/OutsideText.h"

#include <QFile>
#include <QRegularExpression>

void DiagnosticLog::append(const QString &text, bool scroll)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList parts = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
                            ? text.split(breaks)
                            : QStringList{text};
    for (QString &part : parts)
        part = OutsideText::forTerminal(part); // a control character from outside shows as \xNN
    m_lines += parts;
    emit linesAppended(parts, scroll);
}

void DiagnosticLog::writeLogLine(const QString &text) { append(text, consoleAutoScroll); }

void DiagnosticLog::addConsoleLine(const QString &text) { append(text, false); }

void DiagnosticLog::clear()
{
    m_lines.clear();
    emit cleared();
}

QByteArray DiagnosticLog::logFileBlock(const QStringList &lines, const QDateTime &closedAt)
{
    QByteArray out;
    out += "\n\n";
    out += closedAt.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")).toUtf8();
    out += "\n";
    for (const QString &l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

bool DiagnosticLog::appendToLogFile(const QString &path, const QDateTime &closedAt, QString *error) const
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray block = logFileBlock(m_lines, closedAt);
    if (f.write(block) != block.size()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}
