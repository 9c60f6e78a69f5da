// The settings memory from the command line, over a real serial device: quarnelo-cli against
// the simulated pedal on a pseudo-terminal, with the wire's pace.
#include "FullDisk.h"
#include "PedalProcess.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {
using Run = ProgramRun;

// quarnelo-cli with its documents folder (and so its Backups folder) in home.
Run cli(const QString &home, const QStringList &args) { return runProgram(QStringLiteral(QUARNELO_CLI_PATH), args, home); }

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }
} // namespace

class TestMemoryEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void eraseThenDumpGivesAnEmptyMemory()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath("Documents")));
        const QString record = home.filePath("record.txt");
        PedalProcess pedal({"--wire-timing", "--record", record});
        QVERIFY(!pedal.path().isEmpty());
        const QString port = pedal.path();

        const Run before = cli(home.path(), {"--port", port, "memory", "dump", home.filePath("before.bin")});
        QCOMPARE(before.code, 0);
        QVERIFY(before.out.contains("(the memory is not empty)"));
        QCOMPARE(readFile(home.filePath("before.bin")).size(), 16384);

        const Run erase = cli(home.path(), {"--port", port, "--yes", "memory", "erase"});
        QCOMPARE(erase.code, 0);
        QVERIFY2(erase.out.startsWith("backup saved: "), qPrintable(erase.out + erase.err));
        const QString backups = home.filePath("Documents/Karvo/Quarnelo MK3/Backups");
        QVERIFY(!filesIn(backups).filter(" preset.txt").isEmpty());
        // The backup came from the device information answer; the erase message followed it.
        const QString wire = QString::fromLatin1(readFile(record));
        QVERIFY(wire.lastIndexOf(" 0200") < wire.indexOf(" 0B50000000"));

        const QString dump = home.filePath("after.bin");
        const Run after = cli(home.path(), {"--port", port, "memory", "dump", dump});
        QCOMPARE(after.code, 0);
        QCOMPARE(readFile(dump), QByteArray(16384, char(0xFF)));
        QVERIFY(after.out.contains("(the memory is empty)"));
        QCOMPARE(filesIn(backups).filter(" memory 50").size(), 2); // each memory check is kept

        const Run backup = cli(home.path(), {"--port", port, "backup", home.filePath("mine")});
        QCOMPARE(backup.code, 0);
        QCOMPARE(filesIn(home.filePath("mine")).size(), 3); // preset, report and snapshot
        QCOMPARE(filesIn(home.filePath("mine")).filter(QRegularExpression(" (preset|report)\\.txt$| snapshot\\.json$")).size(), 3);
    }

    void shortOrMissingDumpWritesNoFile_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("short dump") << QStringList{"--wire-timing", "--short-dump", "6000"} << QStringList{}
                                    << "The memory check got 6,000 of 16,384 bytes; the memory's state is unknown.";
        QTest::newRow("no memory at 51") << QStringList{} << QStringList{"--address", "51"}
                                         << "The pedal sent no memory dump within 4 s; the memory's state is unknown.";
    }
    void shortOrMissingDumpWritesNoFile()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QTemporaryDir home;
        PedalProcess pedal(pedalArgs);
        const QString file = home.filePath("dump.bin");
        const Run r = cli(home.path(), QStringList{"--port", pedal.path(), "memory", "dump", file} + args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.err.contains("dump.bin was not written."));
        QVERIFY(!QFile::exists(file));
    }

    // A dump asks the pedal for its memory and nothing else: a pedal whose settings answer is
    // short still gives its whole dump, with no word of the settings it was not asked for.
    void dumpAsksForTheMemoryAlone_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::newRow("a whole pedal") << QStringList{};
        QTest::newRow("a short settings answer") << QStringList{"--short-answer", "50"};
    }
    void dumpAsksForTheMemoryAlone()
    {
        QFETCH(QStringList, pedalArgs);
        QTemporaryDir home;
        const QString record = home.filePath("record.txt");
        PedalProcess pedal(QStringList{"--record", record} + pedalArgs);
        const QString file = home.filePath("dump.bin");
        const Run r = cli(home.path(), {"--port", pedal.path(), "memory", "dump", file});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QString("Memory is not empty\n")); // the dump check's own word, and no other
        QCOMPARE(readFile(file).size(), 16384);
        QCOMPARE(QString::fromLatin1(readFile(record)).split('\n', Qt::SkipEmptyParts).size(), 1);
        QVERIFY(QString::fromLatin1(readFile(record)).trimmed().endsWith(" 0C5000000000"));
    }

    // Nothing destructive without a backup: --yes confirms the command but never stands in for
    // a backup that could not be made; only --no-backup goes on without one, and says so.
    void noBackupNoErase_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("backupsIsAFile");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QStringList erase{"--yes", "memory", "erase"};
        QTest::newRow("garbled answer") << QStringList{"--garbled"} << erase << false << 1
                                        << "No backup of the pedal's settings could be made before erasing the settings "
                                           "memory: the pedal's state is not known (the pedal's answer could not be "
                                           "read). Nothing more was sent; --no-backup goes on without one.";
        QTest::newRow("a file where the Backups folder goes") << QStringList{} << erase << true << 1
                                                              << "the backup could not be written: the folder";
        QTest::newRow("upload, a file where the Backups folder goes")
            << QStringList{} << QStringList{"--yes", "upload-algorithm"} << true << 1 << "--no-backup goes on without one";
        QTest::newRow("firmware upgrade, a file where the Backups folder goes")
            << QStringList{} << QStringList{"--yes", "firmware", "upgrade"} << true << 1 << "--no-backup goes on without one";
        QTest::newRow("garbled answer, --no-backup")
            << QStringList{"--garbled"} << QStringList{"--no-backup", "--yes", "memory", "erase"} << false << 0
            << "Going on without one, as --no-backup asks.";
        QTest::newRow("--no-backup with info") << QStringList{} << QStringList{"--no-backup", "info"} << false << 64
                                               << "--no-backup goes with memory erase";
    }
    void noBackupNoErase()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QStringList, args);
        QFETCH(bool, backupsIsAFile);
        QFETCH(int, code);
        QFETCH(QString, said);
        QTemporaryDir home;
        const QString user = home.filePath("Documents/Karvo/Quarnelo MK3");
        QVERIFY(QDir().mkpath(user));
        if (backupsIsAFile) {
            QFile f(user + "/Backups");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString record = home.filePath("record.txt");
        PedalProcess pedal(QStringList{"--record", record} + pedalArgs);
        const Run r = cli(home.path(), QStringList{"--port", pedal.path()} + args);
        QVERIFY2(r.code == code, qPrintable(QString::number(r.code) + r.out + r.err));
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
        const QString wire = QString::fromLatin1(readFile(record));
        QCOMPARE(wire.contains(" 0B50000000"), code == 0 && args.contains("erase"));
        QVERIFY(!wire.contains(" 0D01")); // the bypass message of an upload or an upgrade: nothing was begun
        QVERIFY(!wire.contains(" 05000102"));
    }

    // Set values (dial steps and words between them), assignments, footswitch and tuning; back
    // up; change them all; restore: the pedal holds the backup's settings again, checked.
    void backupThenRestore()
    {
        QTemporaryDir home;
        const QString record = home.filePath("record.txt");
        PedalProcess pedal({"--wire-timing", "--record", record});
        const QString port = pedal.path();
        const auto run = [&](const QStringList &args) {
            const Run r = cli(home.path(), QStringList{"--port", port} + args);
            if (r.code != 0)
                qWarning() << args << r.code << r.out << r.err;
            return r.code;
        };
        const auto settings = [&](bool first) {
            QCOMPARE(run({"set", "Dry", first ? "852" : "100"}), 0);
            QCOMPARE(run({"set", "1st Harmonic", first ? "122" : "5"}), 0);
            QCOMPARE(run({"set", "Input Level", first ? "600" : "1000"}), 0);
            QCOMPARE(run({"set", "Wave", first ? "on" : "off"}), 0);
            QCOMPARE(run({"send", first ? "01000700258123" : "0100070070A001"}), 0);  // Sub Mix, between steps
            QCOMPARE(run({"send", first ? "01000600382001" : "01000600001000"}), 0);  // Dry HPF, between steps
            QCOMPARE(run({"send", first ? "040101000001000B0006FFFFFFFFFFFE" : "04000000000000000000FFFFFFFFFFFF"}), 0);
            QCOMPARE(run({"send", first ? "080101" : "080000"}), 0);
            QCOMPARE(run({"send", first ? "0903FE" : "090100"}), 0);
        };
        settings(true);
        QCOMPARE(run({"preset", "save", home.filePath("before.txt")}), 0);
        const Run backup = cli(home.path(), {"--port", port, "backup", home.filePath("b")});
        QCOMPARE(backup.code, 0);
        const QString snapshot = backup.out.split('\n').filter(" snapshot.json").value(0);
        QVERIFY2(QFile::exists(snapshot), qPrintable(backup.out));
        const QString info = cli(home.path(), {"--port", port, "info"}).out;

        settings(false);
        QCOMPARE(cli(home.path(), {"--port", port, "diff", home.filePath("before.txt")}).code, 1);
        QCOMPARE(cli(home.path(), {"--port", port, "restore", snapshot}).code, 64); // needs --yes
        const Run restore = cli(home.path(), {"--port", port, "--yes", "restore", snapshot});
        QVERIFY2(restore.code == 0, qPrintable(restore.out + restore.err));
        QVERIFY(restore.out.contains("Sub Mix: 0070A001 -> 00258123\n"));
        QVERIFY(restore.out.contains("Control I: Not Assigned -> Input Level\n"));
        QVERIFY(restore.out.contains("Tuning: Standard (EADGBE) -> DADGAD\n"));
        QVERIFY(restore.out.endsWith("the pedal reports every setting the backup holds\n"));
        QCOMPARE(cli(home.path(), {"--port", port, "diff", home.filePath("before.txt")}).code, 0);
        QCOMPARE(cli(home.path(), {"--port", port, "info"}).out, info);
        // The assignable values were saved: the store message went out after the writes.
        QVERIFY(QString::fromLatin1(readFile(record)).contains(QRegularExpression(" 03[0-9A-F]{80}\\n")));
    }

    // A restore says only what is true: a pedal that answers late is not restored from a late
    // answer taken for a fresh one (nothing is sent), and what the backup holds that no message
    // sends back is named, and is no success.
    void restoreTellsTheTruth_data()
    {
        QTest::addColumn<QStringList>("restoringPedal"); // empty: the pedal the backup came from
        QTest::addColumn<QStringList>("afterBackup");     // raw messages sent after the backup
        QTest::addColumn<QString>("said");
        QTest::newRow("late answers") << QStringList{"--answer-delay", "500"} << QStringList{}
                                      << "The pedal did not answer the device information request.";
        QTest::newRow("assignments off the lists")
            << QStringList{} << QStringList{"04000000000000FFFFFFFFFFFFFFFFFFFF", "010027000C6000"}
            << "not restored: Control III (address 0123)\nnot restored: Control IV (address 0123)\n";
    }
    void restoreTellsTheTruth()
    {
        QFETCH(QStringList, restoringPedal);
        QFETCH(QStringList, afterBackup);
        QFETCH(QString, said);
        QTemporaryDir home;
        auto pedal = std::make_unique<PedalProcess>(QStringList{});
        const auto run = [&](const QStringList &args) { return cli(home.path(), QStringList{"--port", pedal->path()} + args); };
        QCOMPARE(run({"send", "040000010100FFFFFFFF01230123FFFF"}).code, 0); // Control III and IV off the lists
        QCOMPARE(run({"set", "Wave", "on"}).code, 0);
        const Run backup = run({"backup", home.filePath("b")});
        const QString snapshot = backup.out.split('\n').filter(" snapshot.json").value(0);
        QVERIFY2(QFile::exists(snapshot), qPrintable(backup.out + backup.err));
        for (const QString &message : afterBackup)
            QCOMPARE(run({"send", message}).code, 0);
        const QString record = home.filePath("record.txt");
        if (!restoringPedal.isEmpty()) {
            pedal = std::make_unique<PedalProcess>(QStringList{"--record", record} + restoringPedal);
            qputenv("QUARNELO_ANSWER_LIMIT_MS", "400");
        }
        const Run restore = run({"--yes", "restore", snapshot});
        qunsetenv("QUARNELO_ANSWER_LIMIT_MS");
        QCOMPARE(restore.code, 1);
        QVERIFY2(restore.err.contains(said), qPrintable(restore.out + restore.err));
        QVERIFY(!restore.out.contains("the pedal reports every setting"));
        if (!restoringPedal.isEmpty()) { // nothing but requests reached the late pedal
            const QStringList wire = QString::fromLatin1(readFile(record)).split('\n', Qt::SkipEmptyParts);
            QVERIFY(!wire.isEmpty());
            for (const QString &line : wire)
                QVERIFY2(line.endsWith(" 0200"), qPrintable(line));
        } else {
            QVERIFY(restore.out.contains("Dry: 000C6000 -> 003FC000")); // what can be sent was
        }
    }

    // Where a dump goes, with a pedal on the line: a named pipe is refused before the pedal is
    // asked and stays a pipe; a link to a regular file is followed; a full disk fails with its
    // reason and leaves no file.
    void dumpTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("a named pipe") << "a named pipe" << 1
                                      << "dump.bin cannot be written: it is a named pipe, not a regular file. Nothing was sent.";
        QTest::newRow("a link to a regular file") << "a link to a regular file" << 0 << "wrote 16384 bytes to ";
        QTest::newRow("a disk full after 8192 bytes") << "a full disk" << 1
                                                      << "dump.bin could not be written: " + QString::fromLocal8Bit(std::strerror(EFBIG));
    }
    void dumpTargets()
    {
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(QString, words);
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath("Documents")));
        const QString record = home.filePath("record.txt");
        PedalProcess pedal({"--record", record});
        QVERIFY(!pedal.path().isEmpty());
        const QString dump = home.filePath("dump.bin");
        if (target == "a named pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(dump).constData(), 0600), 0);
        if (target == "a link to a regular file") {
            QFile real(home.filePath("real.bin"));
            QVERIFY(real.open(QIODevice::WriteOnly) && real.write("earlier") == 7);
            real.close();
            QVERIFY(QFile::link(real.fileName(), dump));
        }
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DOCUMENTS_DIR", home.filePath("Documents"));
        cli.setProcessEnvironment(env);
        if (target == "a full disk")
            cli.setChildProcessModifier([] { FullDisk::limitThisProcess(8192); });
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--port", pedal.path(), "memory", "dump", dump});
        QVERIFY(cli.waitForFinished(60000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), code);
        QVERIFY2((out + err).contains(words), qPrintable(out + err));
        const QString wire = QString::fromLatin1(readFile(record));
        if (target == "a named pipe") {
            QVERIFY(QFileInfo(dump).exists() && !QFileInfo(dump).isFile()); // still the pipe
            struct stat st {};
            QVERIFY(::stat(QFile::encodeName(dump).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
            QVERIFY2(!wire.contains(" 0C50"), qPrintable(wire));
        } else if (target == "a full disk") {
            QVERIFY(!out.contains("wrote"));
            QCOMPARE(filesIn(home.path()), QStringList{"record.txt"}); // no dump, whole or part
            const QString backups = home.filePath("Documents/Karvo/Quarnelo MK3/Backups");
            QCOMPARE(QDir(backups).entryList(QDir::Files | QDir::Hidden), QStringList()); // nor its copy
        } else {
            QVERIFY(QFileInfo(dump).isSymLink());
            QCOMPARE(readFile(home.filePath("real.bin")).size(), 16384);
        }
    }

    // A backup is its three files or nothing: under a file-size limit that stops the preset, the
    // report or the snapshot, the command fails with the system's reason (the limit's signal
    // does not end it) and leaves no file of the backup, whole or part.
    void backupUnderAFileSizeLimit_data()
    {
        QTest::addColumn<int>("room");
        QTest::newRow("the preset does not fit") << 100;    // the preset is about 180 bytes
        QTest::newRow("the report does not fit") << 1024;   // the report about 1,900
        QTest::newRow("the snapshot does not fit") << 2560; // the snapshot about 3,200
    }
    void backupUnderAFileSizeLimit()
    {
        QFETCH(int, room);
        QTemporaryDir home;
        PedalProcess pedal({});
        const QString folder = home.filePath("backups");
        QVERIFY(QDir().mkpath(folder));
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DOCUMENTS_DIR", home.filePath("Documents"));
        cli.setProcessEnvironment(env);
        cli.setChildProcessModifier([room] { FullDisk::limitThisProcess(rlim_t(room), true); });
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--port", pedal.path(), "backup", folder});
        QVERIFY(cli.waitForFinished(60000));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(err.contains("No backup was made: the backup could not be written: " +
                              QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(err));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    }

    void usageIsCheckedBeforeThePort_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        QTest::newRow("erase without --yes") << QStringList{"memory", "erase"} << 64
                                             << "memory erase erases the pedal's settings memory; add --yes to confirm";
        QTest::newRow("dump without a file") << QStringList{"memory", "dump"} << 64 << "usage: memory erase | memory dump FILE";
        QTest::newRow("erase with a file") << QStringList{"--yes", "memory", "erase", "x"} << 64
                                           << "usage: memory erase | memory dump FILE";
        QTest::newRow("address 52") << QStringList{"--address", "52", "memory", "dump", "x"} << 64
                                    << "--address takes 50 or 51, not '52'";
        QTest::newRow("address with info") << QStringList{"--address", "50", "info"} << 64
                                           << "--address goes with memory erase and memory dump";
        QTest::newRow("dump into a missing folder") << QStringList{"memory", "dump", "/nonexistent/x.bin"} << 1
                                                    << "its folder does not exist. Nothing was sent.";
        QTest::newRow("dump onto a device") << QStringList{"memory", "dump", "/dev/full"} << 1
                                            << "/dev/full cannot be written: it is a device, not a regular file. Nothing was sent.";
        QTest::newRow("dump onto a folder") << QStringList{"memory", "dump", "/tmp"} << 1
                                            << "/tmp cannot be written: it is a folder. Nothing was sent.";
        QTest::newRow("preset onto a device") << QStringList{"preset", "save", "/dev/null"} << 1
                                              << "Error saving file: null is a device, not a regular file";
        QTest::newRow("backup into a file") << QStringList{"backup", QStringLiteral(QUARNELO_CLI_PATH)} << 1
                                            << "is not a folder. Nothing was sent.";
    }
    void usageIsCheckedBeforeThePort()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, error);
        QTemporaryDir home;
        // No pedal at this port: a check that passed would end in "No device found" (2).
        const Run r = cli(home.path(), QStringList{"--port", home.filePath("no-such-port")} + args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists("/dev/null.txt")); // nothing is written beside a device
    }
};

QTEST_MAIN(TestMemoryEndToEnd)
#include "tst_memory_e2e.moc"
