#pragma once
// The editor's running trace: every line shown in the debug console and, at close,
// appended to log.txt as one block. While the editor runs, its lines also go to a journal
// beside log.txt, so that a run that never closes (killed, crashed) is not lost: the next
// start appends a journal left behind to log.txt as a block of its own.

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QStringList>

#include <memory>

class QLockFile;

class DiagnosticLog : public QObject {
    Q_OBJECT
public:
    explicit DiagnosticLog(QObject *parent = nullptr);
    ~DiagnosticLog() override;

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
    // Appends this run's block to the file, creating it when missing. Once it is written the
    // journal has done its job and is removed.
    bool appendToLogFile(const QString &path, const QDateTime &closedAt, QString *error = nullptr);

    // The journal of this run: "log.<process id>.journal" in folder, held by a lock file so that
    // another editor running at the same time leaves it alone. Every line written from now on
    // (and those already written) reaches the file as it is written.
    bool startJournal(const QString &folder, QString *error = nullptr);
    // Ends the journal without writing log.txt (a run that ends without closing its window).
    void endJournal();
    QString journalPath() const { return m_journal.fileName(); }

    // The header of a recovered block: the journal's last write, then the words that say so.
    static QByteArray recoveredHeader(const QDateTime &lastWrite);
    // What follows that header in a block that continues a copy cut short by something written
    // after it.
    static QByteArray continuedMark();
    // Appends every journal in folder whose editor is no longer running to logPath, oldest
    // first, each as a block headed by recoveredHeader(), and removes it. Returns how many.
    // A recovery interrupted by the end of its editor (a kill, a crash) is taken up where it
    // stopped: before the block is appended, a record beside the journal ("<journal>.recovery")
    // notes where in log.txt it begins, so the next recovery completes a copy cut short and
    // skips one that is whole; no journal line reaches log.txt twice.
    enum class RecoveryStep { None, AfterRecord, Appending, AfterAppend, AfterJournalRemoved };
    struct StopAt { // where a recovery stops as though its editor were killed there (tests)
        RecoveryStep step = RecoveryStep::None;
        qint64 appendedBytes = 0; // of the block, at Appending
    };
    static int recoverJournals(const QString &folder, const QString &logPath, QString *error = nullptr);
    static int recoverJournals(const QString &folder, const QString &logPath, QString *error, StopAt stopAt);
    // Completes only the recoveries that were interrupted (done before anything else is
    // appended to log.txt, so that a cut copy is completed where it stopped).
    static void completeInterruptedRecoveries(const QString &folder, const QString &logPath);

signals:
    void linesAppended(const QStringList &lines, bool scrollToEnd);
    void cleared();

private:
    void append(const QString &text, bool scroll);
    void journal(const QStringList &lines);
    QStringList m_lines;
    QFile m_journal;
    std::unique_ptr<QLockFile> m_journalLock;
};
