#include "support/DiagnosticLog.h"
#include "support/EditorVersion.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray Earlier = "\n\n02-03-2025 10:00:00\nearlier run\r\n";
const QByteArray JournalLines = "A\r\nBB\r\nlast line cut";
const QDateTime JournalWritten(QDate(2025, 3, 3), QTime(9, 5, 7));
const QDateTime ClosedAt(QDate(2025, 3, 4), QTime(8, 0, 0));

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What an uninterrupted recovery of that journal appends.
QByteArray recoveredBlock()
{
    return "\n\n" + DiagnosticLog::recoveredHeader(JournalWritten) + "\n" + JournalLines + "\r\n";
}

// log.txt with an earlier run, and the journal of a killed editor beside it; the log's path.
QString leaveJournal(const QString &folder)
{
    const QString logPath = folder + "/log.txt";
    QFile log(logPath);
    if (log.open(QIODevice::WriteOnly))
        log.write(Earlier);
    QFile j(folder + "/log.4242.journal");
    if (j.open(QIODevice::WriteOnly)) {
        j.write(JournalLines);
        j.flush(); // before the time is set: a later write would move it
        j.setFileTime(JournalWritten, QFileDevice::FileModificationTime);
    }
    return logPath;
}
} // namespace

class TestLog : public QObject {
    Q_OBJECT
private slots:
    void logFileBlock_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("two lines") << QStringList{"A", "B"} << QByteArray("\n\n03-03-2025 09:05:07\nA\r\nB\r\n");
        QTest::newRow("empty console") << QStringList{} << QByteArray("\n\n03-03-2025 09:05:07\n");
        QTest::newRow("empty line kept") << QStringList{"", "x"} << QByteArray("\n\n03-03-2025 09:05:07\n\r\nx\r\n");
        QTest::newRow("utf-8") << QStringList{QString::fromUtf8("µ")} << QByteArray("\n\n03-03-2025 09:05:07\n\xC2\xB5\r\n");
    }
    void logFileBlock()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QCOMPARE(DiagnosticLog::logFileBlock(lines, QDateTime(QDate(2025, 3, 3), QTime(9, 5, 7))), bytes);
    }

    void eachRunAppendsItsBlock()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/log.txt";
        DiagnosticLog log;
        log.writeLogLine("first");
        QVERIFY(log.appendToLogFile(path, QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59))));
        DiagnosticLog second;
        second.writeLogLine("second");
        QVERIFY(second.appendToLogFile(path, QDateTime(QDate(2026, 1, 1), QTime(0, 0, 1))));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\n\n31-12-2025 23:59:59\nfirst\r\n\n\n01-01-2026 00:00:01\nsecond\r\n"));
    }

    void appendFailureIsReported()
    {
        QTemporaryDir dir;
        DiagnosticLog log;
        QString error;
        QVERIFY(!log.appendToLogFile(dir.path() + "/missing-folder/log.txt", QDateTime::currentDateTime(), &error));
        QVERIFY(!error.isEmpty());
    }

    // A run that closes: the journal held every line as it was written, log.txt gets exactly
    // the block it always got, and nothing is left beside it.
    void journalOfARunThatCloses()
    {
        QTemporaryDir dir;
        DiagnosticLog log;
        log.writeLogLine("before");
        QVERIFY(log.startJournal(dir.path()));
        log.writeLogLine("one\ntwo");
        log.addConsoleLine("direct");
        QFile journal(log.journalPath());
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QCOMPARE(journal.readAll(), QByteArray("before\r\none\r\ntwo\r\ndirect\r\n"));
        log.clear(); // log.txt would get only what follows
        log.writeLogLine("after clear");
        journal.seek(0);
        QCOMPARE(journal.readAll(), QByteArray("after clear\r\n"));

        const QDateTime closedAt(QDate(2025, 3, 3), QTime(9, 5, 7));
        QVERIFY(log.appendToLogFile(dir.path() + "/log.txt", closedAt));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"log.txt"});
        QFile file(dir.path() + "/log.txt");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), DiagnosticLog::logFileBlock({"after clear"}, closedAt));
    }

    void recoverJournals_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<bool>("editorRuns");
        QTest::addColumn<QByteArray>("appended");
        const QByteArray header = "\n\n03-03-2025 09:05:07 (recovered after an unclean end)\n";
        QTest::newRow("killed run") << QByteArray("A\r\nB\r\n") << false << header + "A\r\nB\r\n";
        QTest::newRow("last line cut short") << QByteArray("A\r\nB") << false << header + "A\r\nB\r\n";
        QTest::newRow("killed before any line") << QByteArray() << false << header;
        QTest::newRow("its editor still runs") << QByteArray("A\r\n") << true << QByteArray();
    }
    void recoverJournals()
    {
        QFETCH(QByteArray, journal);
        QFETCH(bool, editorRuns);
        QFETCH(QByteArray, appended);
        QTemporaryDir dir;
        const QString logPath = dir.path() + "/log.txt";
        const QByteArray earlier = "\n\n02-03-2025 10:00:00\nearlier run\r\n";
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write(earlier);
        log.close();
        const QString journalPath = dir.path() + "/log.4242.journal";
        QFile j(journalPath);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write(journal);
        j.flush(); // before the time is set: a later write would move it
        QVERIFY(j.setFileTime(QDateTime(QDate(2025, 3, 3), QTime(9, 5, 7)), QFileDevice::FileModificationTime));
        j.close();
        QLockFile running(journalPath + ".lock"); // held by this living process
        if (editorRuns)
            QVERIFY(running.tryLock(0));

        QCOMPARE(DiagnosticLog::recoverJournals(dir.path(), logPath), editorRuns ? 0 : 1);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), earlier + appended);
        QCOMPARE(QFile::exists(journalPath), editorRuns);
    }

    void journalsAreRecoveredOldestFirst()
    {
        QTemporaryDir dir;
        const QDateTime t(QDate(2025, 3, 3), QTime(9, 0, 0));
        const QList<std::pair<QString, QDateTime>> journals{{"log.9.journal", t.addSecs(60)}, {"log.10.journal", t}};
        for (const auto &[name, written] : journals) {
            QFile j(dir.path() + "/" + name);
            QVERIFY(j.open(QIODevice::WriteOnly));
            j.write(name.toUtf8() + "\r\n");
            j.flush();
            QVERIFY(j.setFileTime(written, QFileDevice::FileModificationTime));
        }
        QCOMPARE(DiagnosticLog::recoverJournals(dir.path(), dir.path() + "/log.txt"), 2);
        QFile log(dir.path() + "/log.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QByteArray("\n\n03-03-2025 09:00:00 (recovered after an unclean end)\nlog.10.journal\r\n"
                                           "\n\n03-03-2025 09:01:00 (recovered after an unclean end)\nlog.9.journal\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"log.txt"});
    }

    // A recovery ended anywhere, as by a kill: after its record, after every byte of its block,
    // after the append, after the journal's removal. After the next start (or after another
    // editor appended its own block first) log.txt holds the block once and whole, exactly as an
    // uninterrupted recovery leaves it, and nothing is left beside it.
    void interruptedRecoveryIsTakenUp_data()
    {
        using Step = DiagnosticLog::RecoveryStep;
        QTest::addColumn<int>("step");
        QTest::addColumn<qint64>("appended");
        QTest::addColumn<bool>("otherEditorCloses"); // before the next start
        for (const bool other : {false, true}) {
            const char *then = other ? ", another editor closes" : "";
            QTest::addRow("after the record%s", then) << int(Step::AfterRecord) << qint64(0) << other;
            for (qint64 n = 0; n < recoveredBlock().size(); ++n)
                QTest::addRow("%lld bytes appended%s", n, then) << int(Step::Appending) << n << other;
            QTest::addRow("after the append%s", then) << int(Step::AfterAppend) << qint64(0) << other;
            QTest::addRow("after the journal was removed%s", then) << int(Step::AfterJournalRemoved) << qint64(0) << other;
        }
    }
    void interruptedRecoveryIsTakenUp()
    {
        QFETCH(int, step);
        QFETCH(qint64, appended);
        QFETCH(bool, otherEditorCloses);
        QTemporaryDir dir;
        const QString logPath = leaveJournal(dir.path());
        QString error;
        QCOMPARE(DiagnosticLog::recoverJournals(dir.path(), logPath, &error,
                                                {DiagnosticLog::RecoveryStep(step), appended}),
                 0);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QByteArray expected = Earlier + recoveredBlock();
        if (otherEditorCloses) {
            DiagnosticLog other;
            other.writeLogLine("other run");
            QVERIFY(other.appendToLogFile(logPath, ClosedAt));
            expected += DiagnosticLog::logFileBlock({"other run"}, ClosedAt);
        }
        DiagnosticLog::recoverJournals(dir.path(), logPath, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(fileBytes(logPath), expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"log.txt"});
        // and a further start finds nothing to do
        QCOMPARE(DiagnosticLog::recoverJournals(dir.path(), logPath), 0);
        QCOMPARE(fileBytes(logPath), expected);
    }

    // A copy cut short and then followed by something else (log.txt written by another program,
    // or emptied as too large): the lines not whole in that copy follow in a block that says the
    // copy above was cut; every line is whole in log.txt once.
    void cutCopyFollowedByOtherText_data()
    {
        QTest::addColumn<qint64>("appended");
        QTest::addColumn<QByteArray>("between"); // written to log.txt after the cut; "EMPTIED": log.txt emptied
        QTest::addColumn<QByteArray>("appendedAtTheNextStart");
        const QByteArray block = recoveredBlock();
        const qint64 afterA = block.indexOf("A\r\n") + 3;
        const QByteArray continued = "\n\n" + DiagnosticLog::recoveredHeader(JournalWritten) +
                                     DiagnosticLog::continuedMark() + "\n";
        QTest::newRow("cut in the header") << qint64(10) << QByteArray("\nhand-written\n")
                                           << continued + JournalLines + "\r\n";
        QTest::newRow("cut inside the first line") << afterA - 2 << QByteArray("\nhand-written\n")
                                                   << continued + JournalLines + "\r\n";
        QTest::newRow("cut after the first line") << afterA << QByteArray("\nhand-written\n")
                                                  << continued + "BB\r\nlast line cut\r\n";
        QTest::newRow("cut inside the last line") << block.size() - 3 << QByteArray("\nhand-written\n")
                                                  << continued + "last line cut\r\n";
        QTest::newRow("emptied after the cut") << afterA << QByteArray("EMPTIED") << block;
    }
    void cutCopyFollowedByOtherText()
    {
        QFETCH(qint64, appended);
        QFETCH(QByteArray, between);
        QFETCH(QByteArray, appendedAtTheNextStart);
        QTemporaryDir dir;
        const QString logPath = leaveJournal(dir.path());
        DiagnosticLog::recoverJournals(dir.path(), logPath, nullptr, {DiagnosticLog::RecoveryStep::Appending, appended});
        QFile log(logPath);
        QVERIFY(log.open(between == "EMPTIED" ? QIODevice::WriteOnly : QIODevice::Append));
        if (between != "EMPTIED")
            log.write(between);
        log.close();
        const QByteArray before = fileBytes(logPath);
        QCOMPARE(DiagnosticLog::recoverJournals(dir.path(), logPath), 1);
        QCOMPARE(fileBytes(logPath), before + appendedAtTheNextStart);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"log.txt"});
    }

    void lineBreaksMakeSeveralLines()
    {
        DiagnosticLog log;
        QSignalSpy spy(&log, &DiagnosticLog::linesAppended);
        log.writeLogLine("one\r\ntwo\nthree\rfour");
        QCOMPARE(log.lines(), QStringList({"one", "two", "three", "four"}));
        QCOMPARE(spy.size(), 1);
    }

    // Text from outside (a device, a file, a server) cannot reach the console or log.txt raw.
    void controlCharactersAreEscaped()
    {
        DiagnosticLog log;
        log.writeLogLine(QStringLiteral("serial \x1B]0;pwned\x07\r\nnul ") + QChar(0) + QStringLiteral(" del \x7F c1 ") +
                         QChar(0x9B) + QStringLiteral(" end"));
        QCOMPARE(log.lines(), (QStringList{"serial \\x1B]0;pwned\\x07", "nul \\x00 del \\x7F c1 \\x9B end"}));
    }

    void autoScrollFollowsTheSwitch()
    {
        DiagnosticLog log;
        QSignalSpy spy(&log, &DiagnosticLog::linesAppended);
        log.writeLogLine("scrolls");
        log.consoleAutoScroll = false;
        log.writeLogLine("stays");
        log.consoleAutoScroll = true;
        log.addConsoleLine("direct");
        QCOMPARE(spy[0][1].toBool(), true);
        QCOMPARE(spy[1][1].toBool(), false);
        QCOMPARE(spy[2][1].toBool(), false); // direct console lines never scroll
        log.clear();
        QCOMPARE(log.lineCount(), 0);
    }

    void editorVersion_data()
    {
        QTest::addColumn<QString>("fileVersion");
        QTest::addColumn<QString>("shown");
        QTest::newRow("1.21.0.0") << "1.21.0.0" << "1.21";
        QTest::newRow("2.0.3.4") << "2.0.3.4" << "2.0";
        QTest::newRow("leading zero") << "1.05.0.0" << "1.5";
        QTest::newRow("none") << "" << "";
    }
    void editorVersion()
    {
        QFETCH(QString, fileVersion);
        QFETCH(QString, shown);
        QCOMPARE(editorVersionFrom(fileVersion), shown);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
