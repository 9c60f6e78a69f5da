#include "support/DiagnosticLog.h"

#include "support/FileWriting.h"
#include "support/OutsideText.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {
const QString JournalPattern = QStringLiteral("log.*.journal");
const QString RecordSuffix = QStringLiteral(".recovery"); // beside a journal while it is being recovered

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
    completeInterruptedRecoveries(QFileInfo(path).absolutePath(), path);
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
    QFile::remove(path + RecordSuffix); // of a recovery of an earlier journal of this name, if any: not of this one
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

QByteArray DiagnosticLog::continuedMark()
{
    return " (continued: an earlier copy of this block, above, was cut short)";
}

namespace {
// Where the block being appended begins in log.txt, from which byte of the journal it starts,
// and whether it continues a copy cut short (and says so).
struct RecoveryRecord {
    qint64 offset = 0;
    qint64 from = 0;
    bool continued = false;
    QByteArray text() const
    {
        return QByteArray::number(offset) + ' ' + QByteArray::number(from) + ' ' + QByteArray::number(int(continued)) + '\n';
    }
    static std::optional<RecoveryRecord> read(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QList<QByteArray> words = f.read(100).trimmed().split(' ');
        bool offsetOk = false, fromOk = false;
        const RecoveryRecord r{words.value(0).toLongLong(&offsetOk), words.value(1).toLongLong(&fromOk),
                               words.value(2) == "1"};
        if (words.size() != 3 || !offsetOk || !fromOk || r.offset < 0 || r.from < 0 || (!r.continued && words[2] != "0"))
            return std::nullopt;
        return r;
    }
};

// The block of a journal's lines from byte from on, as it is appended to log.txt.
QByteArray recoveredBlock(const QByteArray &header, const QByteArray &journal, qint64 from, bool continued)
{
    QByteArray block = "\n\n" + header + (continued ? DiagnosticLog::continuedMark() : QByteArray()) + "\n";
    const qsizetype headerSize = block.size();
    block += journal.mid(from);
    if (block.size() > headerSize && !block.endsWith('\n'))
        block += "\r\n"; // a line cut short by the end
    return block;
}

qint64 fileSize(const QString &path) { return QFileInfo::exists(path) ? QFileInfo(path).size() : 0; }

void fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
}

enum class Recovery { Done, Unreadable, Failed };

// Appends one journal whose editor has ended to logPath, taking up a recovery of it that was
// interrupted. Unless Done (the reason in error), the journal is kept for the next start; a
// stop leaves everything as a kill there would.
Recovery recoverJournal(const QFileInfo &info, const QString &logPath, QString *error, DiagnosticLog::StopAt stopAt)
{
    using Step = DiagnosticLog::RecoveryStep;
    QFile journalFile(info.filePath());
    if (!journalFile.open(QIODevice::ReadOnly)) {
        fail(error, journalFile.errorString());
        return Recovery::Unreadable;
    }
    const QByteArray journal = journalFile.readAll();
    journalFile.close();
    const QByteArray header = DiagnosticLog::recoveredHeader(info.lastModified());
    const QString recordPath = info.filePath() + RecordSuffix;

    // What is to be appended: a new block at the end of log.txt (from a byte of the journal),
    // or the rest of a block whose copy stopped at the end of log.txt.
    std::optional<RecoveryRecord> newBlock = RecoveryRecord{};
    QByteArray rest;
    if (const auto record = RecoveryRecord::read(recordPath)) {
        const QByteArray expected = recoveredBlock(header, journal, record->from, record->continued);
        QFile log(logPath);
        QByteArray there;
        if (log.open(QIODevice::ReadOnly) && log.seek(record->offset))
            there = log.read(expected.size());
        const qint64 logSize = fileSize(logPath);
        qsizetype same = 0;
        while (same < there.size() && there[same] == expected[same])
            ++same;
        if (same == expected.size()) {
            newBlock.reset(); // whole: nothing more to append
        } else if (record->offset + same == logSize) {
            newBlock.reset();
            rest = expected.mid(same); // completed where it stopped
        } else if (same == 0) {
            newBlock = *record; // nothing of it is there (log.txt emptied): appended again
        } else {
            // Something else follows a cut copy: the journal's lines not whole in that copy
            // follow in a block of their own that says so.
            const qsizetype headerSize = recoveredBlock(header, QByteArray(), 0, record->continued).size();
            const QByteArray linesThere = journal.mid(record->from, std::max<qsizetype>(0, same - headerSize));
            newBlock = RecoveryRecord{0, record->from + linesThere.lastIndexOf('\n') + 1, true};
        }
    }
    if (newBlock) {
        // The record first: whatever is appended from now on is found again by it.
        newBlock->offset = fileSize(logPath);
        QString why;
        if (!FileWriting::writeWhole(recordPath, newBlock->text(), &why)) {
            fail(error, why);
            return Recovery::Failed;
        }
        rest = recoveredBlock(header, journal, newBlock->from, newBlock->continued);
    }
    if (stopAt.step == Step::AfterRecord)
        return Recovery::Failed;
    if (!rest.isEmpty()) {
        QFile log(logPath);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            fail(error, log.errorString());
            return Recovery::Failed;
        }
        if (stopAt.step == Step::Appending) {
            log.write(rest.left(stopAt.appendedBytes));
            return Recovery::Failed;
        }
        if (log.write(rest) != rest.size() || !log.flush()) {
            fail(error, log.errorString()); // kept, with its record, for the next start
            return Recovery::Failed;
        }
        log.close();
    }
    if (stopAt.step == Step::AfterAppend)
        return Recovery::Failed;
    if (!QFile::remove(info.filePath())) {
        fail(error, QStringLiteral("%1 could not be removed").arg(info.filePath()));
        return Recovery::Failed;
    }
    if (stopAt.step == Step::AfterJournalRemoved)
        return Recovery::Failed;
    QFile::remove(recordPath);
    return Recovery::Done;
}

int recover(const QString &folder, const QString &logPath, QString *error, DiagnosticLog::StopAt stopAt,
            bool interruptedOnly)
{
    const QDir dir(folder);
    // A record whose journal is gone belongs to a recovery that ended just before its last step.
    for (const QFileInfo &record : dir.entryInfoList({JournalPattern + RecordSuffix}, QDir::Files)) {
        const QString journal = record.filePath().chopped(RecordSuffix.size());
        if (!QFileInfo::exists(journal) && journalLock(journal)->tryLock(0))
            QFile::remove(record.filePath());
    }
    QFileInfoList journals = dir.entryInfoList({JournalPattern}, QDir::Files);
    const auto interrupted = [](const QFileInfo &j) { return QFileInfo::exists(j.filePath() + RecordSuffix); };
    if (interruptedOnly)
        journals.removeIf([&](const QFileInfo &j) { return !interrupted(j); });
    // An interrupted recovery first (its copy ends log.txt), then the others, oldest first.
    std::sort(journals.begin(), journals.end(), [&](const QFileInfo &a, const QFileInfo &b) {
        if (interrupted(a) != interrupted(b))
            return interrupted(a);
        return a.lastModified() < b.lastModified();
    });
    int recovered = 0;
    for (const QFileInfo &info : journals) {
        const auto lock = journalLock(info.filePath());
        if (!lock->tryLock(0))
            continue; // its editor still runs, or another one recovers it
        const Recovery r = recoverJournal(info, logPath, error, stopAt);
        if (r == Recovery::Failed)
            return recovered; // kept for the next start, and log.txt not touched again now
        if (r == Recovery::Done)
            ++recovered;
    }
    return recovered;
}
} // namespace

int DiagnosticLog::recoverJournals(const QString &folder, const QString &logPath, QString *error)
{
    return recover(folder, logPath, error, StopAt(), false);
}

int DiagnosticLog::recoverJournals(const QString &folder, const QString &logPath, QString *error, StopAt stopAt)
{
    return recover(folder, logPath, error, stopAt, false);
}

void DiagnosticLog::completeInterruptedRecoveries(const QString &folder, const QString &logPath)
{
    recover(folder, logPath, nullptr, StopAt(), true);
}
