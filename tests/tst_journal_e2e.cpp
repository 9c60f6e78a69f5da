// The real editor program, killed while it runs: its lines are in log.txt after the next start.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "EditorProgram.h"

namespace {
const QByteArray Banner = "********************REQUEST********************\r\n";
} // namespace

class TestJournalE2e : public QObject {
    Q_OBJECT
private slots:
    void killedEditorsLinesAreInTheLogAfterTheNextStart()
    {
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Documents")));
        const QDir folder(home.path() + QStringLiteral("/Documents/Karvo/Quarnelo MK3"));

        QProcess editor;
        editor.setProcessEnvironment(privateHome(home.path()));
        editor.start(QStringLiteral(QUARNELO_EDITOR_PATH), {QStringLiteral("--simulate")});
        QVERIFY(editor.waitForStarted(10000));
        const QString journalPath = folder.filePath(QStringLiteral("log.%1.journal").arg(editor.processId()));
        // Linked to the simulated pedal, it asks for the device information: wait for that banner
        // and the answer's first line after it.
        QByteArray journal;
        QElapsedTimer limit;
        limit.start();
        while (!(journal = readFile(journalPath)).contains(Banner + "num of bytes received: ") && limit.elapsed() < 60000
               && editor.state() == QProcess::Running)
            QThread::msleep(10);
        QVERIFY2(journal.contains(Banner), journal.constData());
        QCOMPARE(readFile(folder.filePath(QStringLiteral("log.txt"))), QByteArray()); // nothing closed yet
        editor.kill();
        QVERIFY(editor.waitForFinished(10000));
        QCOMPARE(editor.exitStatus(), QProcess::CrashExit);
        journal = readFile(journalPath); // whatever it wrote until the end

        // The next start appends the killed run as a block of its own, then runs normally.
        QProcess next;
        next.setProcessEnvironment(privateHome(home.path()));
        next.start(QStringLiteral(QUARNELO_EDITOR_PATH), {QStringLiteral("--report-first-frame")});
        QVERIFY(next.waitForFinished(60000));
        QCOMPARE(next.exitCode(), 0);
        const QByteArray log = readFile(folder.filePath(QStringLiteral("log.txt")));
        QVERIFY(log.startsWith("\n\n"));
        const qsizetype headerEnd = log.indexOf('\n', 2);
        const QByteArray header = log.mid(2, headerEnd - 2);
        QVERIFY2(QDateTime::fromString(QString::fromUtf8(header.left(19)), QStringLiteral("dd-MM-yyyy HH:mm:ss")).isValid(),
                 header.constData());
        QCOMPARE(header.mid(19), QByteArray(" (recovered after an unclean end)"));
        QCOMPARE(log.mid(headerEnd + 1, journal.size()), journal);
        // then the second run's own block, written as always when its window closed
        static const QRegularExpression closedBlock(QStringLiteral("^\n\n\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d\n(.*\r\n)*$"));
        const QString rest = QString::fromUtf8(log.mid(headerEnd + 1 + journal.size()));
        QVERIFY2(closedBlock.match(rest).hasMatch(), qPrintable(rest));
        QVERIFY(journal.startsWith("serial number: ")); // the whole run, from its first line
        // Nothing left behind: the killed run's journal and lock, and the second run's own.
        QCOMPARE(folder.entryList({QStringLiteral("log.*")}, QDir::Files), QStringList{QStringLiteral("log.txt")});
    }
};

QTEST_GUILESS_MAIN(TestJournalE2e)
#include "tst_journal_e2e.moc"
