#include "support/DiagnosticLog.h"

#include "support/OutsideText.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>

namespace {
const QString JournalPattern = QStringLiteral("log.*.journal");

QByteArray linesBytes(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

// The lock that says a journal's editor still runs. Never stale by age alone: an editor may
// run for days; a lock whose process is gone is stale.
std::unique_ptr<QLockFile> journalLock(const QString &journalPath)
{
    auto lock = std::make_unique<QLockFile>(journalPath + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    return lock;
}
} // namespace

DiagnosticLog::DiagnosticLog(QObject *parent) : QObject(parent) {}

DiagnosticLog::~DiagnosticLog() = default; // a journal still open stays behind: the run did not close

void DiagnosticLog::append(const QString &text, bool scroll)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList parts = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
                            ? text.split(breaks)
                            : QStringList{text};
    for (QString &part : parts)
        part = OutsideText::forTerminal(part); // a control character from outside shows as \xNN
    m_lines += parts;
    journal(parts);
    emit linesAppended(parts, scroll);
}

void DiagnosticLog::writeLogLine(const QString &text) { append(text, consoleAutoScroll); }

void DiagnosticLog::addConsoleLine(const QString &text) { append(text, false); }

void DiagnosticLog::clear()
{
    m_lines.clear();
    if (m_journal.isOpen())
        m_journal.resize(0); // the journal holds what log.txt would get at close
    emit cleared();
}

QByteArray DiagnosticLog::logFileBlock(const QStringList &lines, const QDateTime &closedAt)
{
    QByteArray out;
    out += "\n\n";
    out += closedAt.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")).toUtf8();
    out += "\n";
    out += linesBytes(lines);
    return out;
}

bool DiagnosticLog::appendToLogFile(const QString &path, const QDateTime &closedAt, QString *error)
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
    f.close();
    endJournal();
    return true;
}

void DiagnosticLog::journal(const QStringList &lines)
{
    if (!m_journal.isOpen())
        return;
    // Written and handed to the system at once: a killed editor loses nothing it logged.
    m_journal.write(linesBytes(lines));
    m_journal.flush();
}

bool DiagnosticLog::startJournal(const QString &folder, QString *error)
{
    endJournal();
    const QString path = QDir(folder).filePath(
        QStringLiteral("log.%1.journal").arg(QCoreApplication::applicationPid()));
    m_journalLock = journalLock(path);
    if (!m_journalLock->tryLock(0)) {
        if (error)
            *error = QStringLiteral("the journal %1 is locked").arg(path);
        m_journalLock.reset();
        return false;
    }
    m_journal.setFileName(path);
    if (!m_journal.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = m_journal.errorString();
        m_journalLock.reset();
        return false;
    }
    journal(m_lines);
    return true;
}

void DiagnosticLog::endJournal()
{
    if (m_journal.isOpen()) {
        m_journal.close();
        m_journal.remove();
    }
    m_journalLock.reset(); // unlocks
}

QByteArray DiagnosticLog::recoveredHeader(const QDateTime &lastWrite)
{
    return lastWrite.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")).toUtf8() + " (recovered after an unclean end)";
}

int DiagnosticLog::recoverJournals(const QString &folder, const QString &logPath, QString *error)
{
    QFileInfoList journals = QDir(folder).entryInfoList({JournalPattern}, QDir::Files);
    std::sort(journals.begin(), journals.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() < b.lastModified();
    });
    int recovered = 0;
    for (const QFileInfo &info : journals) {
        const auto lock = journalLock(info.filePath());
        if (!lock->tryLock(0))
            continue; // its editor still runs
        QFile journal(info.filePath());
        if (!journal.open(QIODevice::ReadOnly)) {
            if (error)
                *error = journal.errorString();
            continue;
        }
        QByteArray block = "\n\n" + recoveredHeader(info.lastModified()) + "\n" + journal.readAll();
        journal.close();
        if (!block.endsWith('\n'))
            block += "\r\n"; // a line cut short by the end
        QFile log(logPath);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(block) != block.size()) {
            if (error)
                *error = log.errorString();
            return recovered; // kept for the next start
        }
        log.close();
        journal.remove();
        ++recovered;
    }
    return recovered;
}
