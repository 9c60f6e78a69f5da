// The command-line tool against the pseudo-terminal pedal with each of its faults, and against
// hostile input: the exit code and the message tell the truth, nothing reaches a pedal that did
// not answer, no existing file is changed by a command that failed.
#include "PedalProcess.h"
#include "cli/CliCommands.h"
#include "simulator/SimulatedPedal.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
constexpr int ShortLimitMs = 400;
constexpr int ToolLimitMs = 2000;

struct Fault {
    const char *name;
    QStringList pedalArgs;
    // The exit code of each command, in the order of Commands.
    const char *codes;
    // What a failing command says.
    const char *words;
    // Whether the pedal answered nothing usable: then it gets nothing but 02 00.
    bool onlyRequests;
    // The tool's wait for the device information answer (QUARNELO_ANSWER_LIMIT_MS): short where
    // the pedal answers at once or never; the tool's own 2,000 ms where the answer's delay is
    // what the row is about.
    int answerLimitMs = ShortLimitMs;
    // Against the simulated pedal in the tool's own process, which takes each byte as it is
    // written: a pedal that vanishes in the middle of a message the tool waits no answer for
    // does so before the tool's last look at the line. On a pseudo-terminal the tool may be done
    // before the pedal's program has read the byte at which it vanishes, and nothing on the
    // tool's side of a pseudo-terminal can tell (its bytes wait in the terminal's buffer).
    bool inProcess = false;
};

// The faults of the pseudo-terminal pedal. Commands: info, get, set, send, upload-tuning,
// upload-algorithm, preset save, preset load, memory erase, send of an erase message (the last
// two make a backup first and refuse when none can be made, --yes or not).
const Fault Faults[] = {
    {"none", {}, "0000000000", "", false},
    {"silent", {"--silent"}, "1110111111", "did not answer", true},
    {"short 50", {"--short-answer", "50"}, "1110111111", "50 of 106 values", true},
    {"short 105", {"--short-answer", "105"}, "1110111111", "105 of 106 values", true},
    {"garbled", {"--garbled"}, "1110111111", "could not be read", true},
    {"unplug after 0", {"--unplug-after", "0"}, "1111111111", "disconnected", false},
    {"unplug after 5", {"--unplug-after", "5"}, "0010110111", "disconnected", false, ShortLimitMs, true},
    {"unplug after 9", {"--unplug-after", "9"}, "0010110111", "disconnected", false, ShortLimitMs, true},
    {"unplug after 300", {"--unplug-after", "300"}, "0000110000", "disconnected", false},
    {"answer delay 1500", {"--answer-delay", "1500"}, "0000000000", "", false, ToolLimitMs},
    {"answer delay 2500", {"--answer-delay", "2500"}, "1110111111", "did not answer", true, ToolLimitMs},
    {"answer delay 21000", {"--answer-delay", "21000"}, "1110111111", "did not answer", true, ToolLimitMs},
    // Left in its bootloader synchronised (by an upgrade that stopped), it refuses 02 00 with its
    // NACK; fresh from a reset it answers nothing before 0x7F.
    {"bootloader", {"--start-in-bootloader", "--bootloader-synchronised"}, "1110111111", "bootloader", true},
    {"bootloader fresh from a reset", {"--start-in-bootloader"}, "1110111111", "did not answer", true},
};

struct Command {
    QStringList args;    // PRESET and SAVED stand for files of the test
    const char *success; // what the command prints when it went through
};
const Command Commands[] = {
    {{"info"}, "Firmware: 15"},
    {{"get"}, "Dry 003FC000 510"},
    {{"set", "Dry", "510"}, "sent: 010027003FC000"},
    {{"send", "0200"}, "sent: 0200"},
    {{"--yes", "upload-tuning"}, "sent: 641 bytes of tuning data"},
    {{"--yes", "upload-algorithm"}, "answer: Algorithm 0015 OK"},
    {{"preset", "save", "SAVED"}, "File saved successfully"},
    {{"preset", "load", "PRESET"}, "6 messages sent"},
    {{"--yes", "memory", "erase"}, "was told to erase itself"},
    {{"--yes", "send", "0B50000000"}, "sent: 0B50000000"},
};

// A preset that differs from the simulated pedal in six parameters.
QByteArray presetBytes()
{
    return QByteArray("\xEF\xBB\xBF") + "007FE000\r00000000\r00000000\r00000000\r00600000\r00000000\r00000000\r00000000\r"
           "00000000\r00000000\r00800000\r00400000\r00000000\r00000000\r00000000\r00000000\r00000000\r00000000\r"
           "00000000\r00008000";
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct Outcome {
    int code = -1;
    QString out, err;
    QStringList wire; // messages the pedal received, in hex
};

Outcome runAgainst(const QStringList &pedalArgs, QStringList cliArgs, const QTemporaryDir &dir, int answerLimitMs = 0)
{
    const QString record = dir.filePath("r.txt");
    QFile::remove(record);
    cliArgs.replaceInStrings("PRESET", dir.filePath("p.txt"));
    cliArgs.replaceInStrings("SAVED", dir.filePath("saved"));
    PedalProcess pedal(QStringList{"--record", record} + pedalArgs);
    Outcome o;
    QProcess cli;
    if (answerLimitMs > 0) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARNELO_ANSWER_LIMIT_MS"), QString::number(answerLimitMs));
        cli.setProcessEnvironment(env);
    }
    cli.start(QStringLiteral(QUARNELO_CLI_PATH), QStringList{"--port", pedal.path()} + cliArgs);
    if (!cli.waitForFinished(40000))
        return o;
    o.code = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -2;
    o.out = QString::fromUtf8(cli.readAllStandardOutput());
    o.err = QString::fromUtf8(cli.readAllStandardError());
    QFile f(record);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                o.wire << QString::fromLatin1(line.split(' ').last());
    return o;
}
// The same, with the simulated pedal in this process (only --unplug-after N is taken).
Outcome runInProcess(const QStringList &pedalArgs, QStringList cliArgs, const QTemporaryDir &dir)
{
    cliArgs.replaceInStrings("PRESET", dir.filePath("p.txt"));
    cliArgs.replaceInStrings("SAVED", dir.filePath("saved"));
    const int unplugAfter = pedalArgs.value(pedalArgs.indexOf("--unplug-after") + 1).toInt();
    Outcome o;
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    ManualClock clock;
    o.code = Cli::run(QStringList{"--simulate"} + cliArgs, outStream, errStream, clock, [&](SimulatedPedal &pedal) {
        pedal.faults.unplugAfterBytes = unplugAfter;
        pedal.onMessage = [&o](const SimulatedPedal::Message &m) { o.wire << QString::fromLatin1(m.bytes.toHex().toUpper()); };
    });
    outStream.flush();
    errStream.flush();
    o.out = out;
    o.err = err;
    return o;
}
} // namespace

class TestCliFaults : public QObject {
    Q_OBJECT
private:
    void faultRows(int command)
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("onlyRequests");
        QTest::addColumn<int>("answerLimitMs");
        QTest::addColumn<bool>("inProcess");
        for (const Fault &f : Faults) {
            const int code = f.codes[command] - '0';
            // A plain send writes without asking first: whatever it writes is what it was given.
            const bool send = Commands[command].args.first() == QLatin1String("send");
            QTest::newRow(f.name) << f.pedalArgs << command << code
                                  << QString::fromLatin1(code == 0 ? Commands[command].success : f.words)
                                  << (f.onlyRequests && !send) << f.answerLimitMs << f.inProcess;
        }
    }
    void checkFault()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(int, command);
        QFETCH(int, code);
        QFETCH(QString, words);
        QFETCH(bool, onlyRequests);
        QFETCH(int, answerLimitMs);
        QFETCH(bool, inProcess);
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("p.txt"), presetBytes()));
        const Outcome o = inProcess ? runInProcess(pedalArgs, Commands[command].args, dir)
                                    : runAgainst(pedalArgs, Commands[command].args, dir, answerLimitMs);
        const QString said = o.out + o.err;
        QVERIFY2(o.code == code, qPrintable(QStringLiteral("exit %1, expected %2: %3").arg(o.code).arg(code).arg(said)));
        QVERIFY2(said.contains(words), qPrintable(said));
        // The tool's own words: no menus or buttons of the editor.
        for (const char *editorWords : {"Scan And Link", "press Request"})
            QVERIFY2(!said.contains(QLatin1String(editorWords)), qPrintable(said));
        if (code != 0) {
            // Never a success line for a command that failed.
            QVERIFY2(!o.out.contains(QLatin1String(Commands[command].success)) || words == "disconnected", qPrintable(o.out));
            QVERIFY(!QFileInfo::exists(dir.filePath("saved.txt")));
        }
        if (onlyRequests)
            for (const QString &m : o.wire)
                QVERIFY2(m == QLatin1String("0200"), qPrintable(o.wire.join(' ')));
    }

private slots:
    void info_data() { faultRows(0); }
    void info() { checkFault(); }
    void get_data() { faultRows(1); }
    void get() { checkFault(); }
    void set_data() { faultRows(2); }
    void set() { checkFault(); }
    void send_data() { faultRows(3); }
    void send() { checkFault(); }
    void uploadTuning_data() { faultRows(4); }
    void uploadTuning() { checkFault(); }
    void uploadAlgorithm_data() { faultRows(5); }
    void uploadAlgorithm() { checkFault(); }
    void presetSave_data() { faultRows(6); }
    void presetSave() { checkFault(); }
    void presetLoad_data() { faultRows(7); }
    void presetLoad() { checkFault(); }
    void memoryErase_data() { faultRows(8); }
    void memoryErase() { checkFault(); }
    void sendErase_data() { faultRows(9); }
    void sendErase() { checkFault(); }

    // diff and backup need the pedal's settings: when its answer is short, garbled, missing or
    // its bootloader's, diff exits 2 (it cannot tell whether they differ) and backup 1, neither
    // writes anything, and the pedal gets nothing but 02 00.
    void unknownSettings_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        const QStringList diff{"diff", "PRESET"}, backup{"backup", "BACKUPS"};
        const QString diffWords = "The pedal's settings are not known: ";
        const QString backupWords = "No backup was made: the pedal's state is not known (";
        const std::pair<const char *, QStringList> faults[] = {
            {"105 of 106 values", {"--short-answer", "105"}},
            {"a garbled answer", {"--garbled"}},
            {"silence", {"--silent"}},
            {"the bootloader", {"--start-in-bootloader", "--bootloader-synchronised"}},
        };
        const char *reasons[] = {"its answer held 105 of 106 values", "the pedal's answer could not be read",
                                 "the pedal did not answer the device information request",
                                 "the pedal is in its bootloader"};
        for (int f = 0; f < 4; ++f) {
            QTest::addRow("diff, %s", faults[f].first) << faults[f].second << diff << 2 << diffWords + reasons[f];
            QTest::addRow("backup, %s", faults[f].first)
                << faults[f].second << backup << 1 << backupWords + reasons[f] + ")";
        }
    }
    void unknownSettings()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, words);
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("p.txt"), presetBytes()));
        args.replaceInStrings("BACKUPS", dir.filePath("backups"));
        const Outcome o = runAgainst(pedalArgs, args, dir, ShortLimitMs);
        QVERIFY2(o.code == code, qPrintable(QStringLiteral("exit %1, expected %2: %3").arg(o.code).arg(code).arg(o.err)));
        QVERIFY2(o.err.contains(words), qPrintable(o.err));
        QCOMPARE(o.out, QString()); // no difference lines, no files named
        QVERIFY(QDir(dir.filePath("backups")).entryList(QDir::Files).isEmpty());
        QVERIFY(!o.wire.isEmpty());
        for (const QString &m : o.wire)
            QVERIFY2(m == QLatin1String("0200"), qPrintable(o.wire.join(' ')));
    }

    // Input from outside: a clear refusal before anything reaches the pedal, and no existing file
    // changed.
    void hostileInput_data()
    {
        QTest::addColumn<QStringList>("args"); // FILE: the row's file; DIR: the test's folder
        QTest::addColumn<QString>("file");     // how FILE is made
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        const QString dat = "upload-algorithm";
        QTest::newRow(".dat: 5 bytes 0B 00 05 00 00") << QStringList{"--yes", dat, "FILE"} << "erase message" << 1
                                                       << "is not an algorithm image";
        QTest::newRow(".dat: a folder") << QStringList{"--yes", dat, "DIR"} << "" << 1 << "is a folder";
        QTest::newRow(".dat: missing") << QStringList{"--yes", dat, "FILE"} << "missing" << 1 << "No such file";
        QTest::newRow(".dat: a path through a file") << QStringList{"--yes", dat, "FILE/x.dat"} << "empty" << 1
                                                     << "Not a directory";
        QTest::newRow(".dat: empty") << QStringList{"--yes", dat, "FILE"} << "empty" << 1 << "holds 0 bytes";
        QTest::newRow(".dat: binary") << QStringList{"--yes", dat, "FILE"} << "binary" << 1 << "not a complete";
        QTest::newRow(".dat: a device") << QStringList{"--yes", dat, "/dev/zero"} << "" << 1 << "not a regular file";
        QTest::newRow(".dat: a named pipe") << QStringList{"--yes", dat, "FILE"} << "fifo" << 1 << "not a regular file";
        QTest::newRow(".dat: 100 MB") << QStringList{"--yes", dat, "FILE"} << "100 MB" << 1 << "is 104857600 bytes long";
        QTest::newRow("preset: a folder") << QStringList{"preset", "load", "DIR"} << "" << 1 << "is a folder";
        QTest::newRow("preset: missing") << QStringList{"preset", "load", "FILE"} << "missing" << 1 << "No such file";
        QTest::newRow("preset: empty") << QStringList{"preset", "load", "FILE"} << "empty" << 1 << "it has 0 lines";
        QTest::newRow("preset: binary") << QStringList{"preset", "load", "FILE"} << "binary" << 1 << "is not a preset";
        QTest::newRow("preset: a device") << QStringList{"preset", "load", "/dev/zero"} << "" << 1 << "not a regular file";
        QTest::newRow("preset: a named pipe") << QStringList{"preset", "load", "FILE"} << "fifo" << 1
                                              << "not a regular file";
        QTest::newRow("preset: 100 MB") << QStringList{"preset", "load", "FILE"} << "100 MB" << 1 << "larger than 4096";
        QTest::newRow("preset: lies about its size") << QStringList{"preset", "load", "/proc/self/maps"} << "" << 1
                                                     << "larger than 4096";
        QTest::newRow("preset save onto a folder") << QStringList{"preset", "save", "FILE.txt"} << "folder.txt" << 1
                                                   << "is a folder";
        QTest::newRow("preset save, missing folder") << QStringList{"preset", "save", "DIR/no/p"} << "" << 1
                                                     << "does not exist";
        QTest::newRow("send: not hex, echoed short")
            << QStringList{"send", QString(5000, 'G')} << "" << 64 << "GGGG... (5000 characters)' is not hex text";
        QTest::newRow("set: a word for a level") << QStringList{"set", "Dry", "abc"} << "" << 64 << "takes a level";
        QTest::newRow("set: a level too high") << QStringList{"set", "Dry", "1024"} << "" << 64 << "not '1024'";
        QTest::newRow("info with an extra word") << QStringList{"info", "now"} << "" << 64 << "info takes no arguments";
        QTest::newRow("get with an extra word") << QStringList{"get", "Dry"} << "" << 64 << "get takes no arguments";
        QTest::newRow("unknown option") << QStringList{"info", "--fast"} << "" << 64 << "unknown option --fast";
        QTest::newRow("preset: an escape sequence in a line") << QStringList{"preset", "load", "FILE"} << "escape preset" << 1
                                                              << "line 1 is '\\x1B]0;pwned\\x07', not eight";
        QTest::newRow("--port twice") << QStringList{"--port", "/dev/null", "info"} << "" << 64 << "--port is given twice";
        QTest::newRow("upload without --yes") << QStringList{"upload-tuning"} << "" << 64 << "add --yes to confirm";
    }
    void hostileInput()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(int, code);
        QFETCH(QString, words);
        QTemporaryDir dir;
        const QString path = dir.filePath("input");
        if (file == "erase message")
            QVERIFY(write(path, QByteArray::fromHex("0B00050000")));
        else if (file == "empty")
            QVERIFY(write(path, QByteArray()));
        else if (file == "binary")
            QVERIFY(write(path, QByteArray::fromHex("DEADBEEF00FF7F80").repeated(40)));
        else if (file == "folder.txt")
            QVERIFY(QDir(dir.path()).mkdir("input.txt"));
        else if (file == "escape preset")
            QVERIFY(write(path, "\x1B]0;pwned\x07\r\n" + QByteArray("00000000\r\n").repeated(19)));
        else if (file == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (file == "100 MB") {
            QFile big(path);
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(100 * 1024 * 1024)); // sparse
        }
        args.replaceInStrings("FILE", path);
        args.replaceInStrings("DIR", dir.path());
        const Outcome o = runAgainst({}, args, dir);
        QVERIFY2(o.code == code, qPrintable(QStringLiteral("exit %1: %2").arg(o.code).arg(o.err)));
        QVERIFY2(o.err.contains(words), qPrintable(o.err.left(400)));
        QVERIFY2(o.wire.isEmpty(), qPrintable(o.wire.join(' '))); // refused before the port was opened
        QVERIFY(o.err.size() < 2000);                              // no wall of echoed input
        for (const QChar c : o.out + o.err) // nothing from outside reaches the terminal raw
            QVERIFY2(c >= QLatin1Char(' ') || c == QLatin1Char('\n'), qPrintable(QString::number(c.unicode())));
    }

    // A failed preset save leaves an existing file as it was; options may follow the command.
    void existingFileAndOptionsAnywhere()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath("saved.txt");
        QVERIFY(write(saved, "keep me"));
        Outcome o = runAgainst({"--silent"}, {"preset", "save", saved}, dir);
        QCOMPARE(o.code, 1);
        QFile f(saved);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));

        o = runAgainst({}, {"upload-tuning", "--yes"}, dir);
        QCOMPARE(o.code, 0);
        QVERIFY(write(dir.filePath("p.txt"), presetBytes()));
        o = runAgainst({}, {"preset", "load", "PRESET", "--yes"}, dir);
        QCOMPARE(o.code, 0);
        o = runAgainst({}, {"set", "1st Harmonic Pitch", "-5"}, dir); // a negative value is no option
        QCOMPARE(o.code, 0);
        QVERIFY2(o.out.contains("sent: 0100520032AAA8"), qPrintable(o.out + o.err));
        // Long hex text is hex text: 30,000 bytes reach the pedal whole.
        o = runAgainst({}, {"send", QString("0D00").repeated(15000)}, dir);
        QCOMPARE(o.code, 0);
        QCOMPARE(o.wire.size(), 15000);
    }

    // A pedal whose effect is beyond the effect list: one story. Commands that read its
    // parameters refuse; an upload, carried or from a .dat file, is checked by asking again.
    void effectBeyondTheList_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("get") << QStringList{"get"} << 1 << "not in the effect list";
        QTest::newRow("backup") << QStringList{"backup", "DIR"} << 1 << "No backup was made: the pedal's effect 40 is not in the effect list";
        QTest::newRow("diff") << QStringList{"diff", "PRESET"} << 2
                              << "The pedal's settings are not compared: the pedal's effect 40 is not in the effect list";
        QTest::newRow("carried image") << QStringList{"--yes", "upload-algorithm"} << 1 << "does not report the new algorithm in place";
        QTest::newRow(".dat file") << QStringList{"--yes", "upload-algorithm", "DAT"} << 1 << "does not report the new algorithm in place";
    }
    void effectBeyondTheList()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, words);
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath("p.txt"), presetBytes()));
        QFile hex(QFINDTESTDATA("../resources/algorithms/QUARNELO_MK3_0015.hex"));
        QVERIFY(hex.open(QIODevice::ReadOnly));
        QVERIFY(write(dir.filePath("a.dat"), QByteArray::fromHex(hex.readAll().trimmed())));
        args.replaceInStrings("DAT", dir.filePath("a.dat"));
        args.replaceInStrings("DIR", dir.filePath("backups"));
        QVERIFY(QDir(dir.path()).mkdir("backups"));
        const Outcome o = runAgainst({"--effect", "40"}, args, dir);
        QVERIFY2(o.code == code, qPrintable(QStringLiteral("exit %1: %2").arg(o.code).arg(o.err)));
        QVERIFY2(o.err.contains(words), qPrintable(o.err));
        if (args.first() == "backup")
            QVERIFY(QDir(dir.filePath("backups")).isEmpty());
    }

    void missingPortAndHelp()
    {
        QProcess cli;
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--port", "/dev/no-such-pedal", "info"});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 2);
        QVERIFY(cli.readAllStandardError().startsWith("No device found: /dev/no-such-pedal does not exist"));
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"info", "--help"});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(cli.readAllStandardOutput().startsWith("usage: quarnelo-cli"));
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--version"});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(cli.readAllStandardOutput().startsWith("quarnelo-cli 1.21"));
    }
};

QTEST_GUILESS_MAIN(TestCliFaults)
#include "tst_cli_faults.moc"
