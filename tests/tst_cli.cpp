#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "pedal/Refusal.h"
#include "support/Prompts.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Run {
    int code;
    QString out;
    QString err;
};
Run run(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = Cli::run(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
}
} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void infoOnTheSimulatedPedal()
    {
        const Run r = run({"--simulate", "info"});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QString("Firmware: 15"));
        QCOMPARE(lines.value(1), QString("Algorithm: 0015"));
        QVERIFY(lines.contains("Dry: 003FC000"));
        QVERIFY(lines.contains("MIDI Channel: OMNI"));
        QCOMPARE(lines.size(), 15 + 20);
    }

    void listAndSend()
    {
        Run r = run({"--simulate", "list"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("QMK3SIM01\tQuarnelo MK3\n"));
        r = run({"--simulate", "send", "070c"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("sent: 070C\n"));
        r = run({"--simulate", "send", "0200"});
        QVERIFY(r.out.contains("answer: 0A31350D"));
    }

    void getAndSet_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");
        QTest::newRow("dial at a level") << QStringList{"set", "Dry", "510"} << "sent: 010027003FC000\n";
        QTest::newRow("dial level between two steps") << QStringList{"set", "dry", "511"} << "sent: 010027003FC000\n";
        QTest::newRow("name with a blank") << QStringList{"set", "Sub Mix", "1023"} << "sent: 010007007FE000\n";
        QTest::newRow("Range at address 0") << QStringList{"set", "Range", "0"} << "sent: 01000000000000\n";
        QTest::newRow("Wave on") << QStringList{"set", "Wave", "on"} << "sent: 01000200400000\n";
        QTest::newRow("Split off") << QStringList{"set", "Split", "off"} << "sent: 0100C500000000\n";
        QTest::newRow("Attack three times")
            << QStringList{"set", "Attack", "ON"} << "sent: 0100AE00000800\nsent: 0100AE00000800\nsent: 0100AE00000800\n";
        QTest::newRow("harmonic pitch") << QStringList{"set", "1st Harmonic Pitch", "+3"} << "sent: 01005200500000\n";
        QTest::newRow("tracking off") << QStringList{"set", "High Notes Cut", "off"} << "sent: 01000E00000000\n";
        // The terms get prints: a step of a dial on the pedal's own scale, semitones, slow/fast.
        QTest::newRow("Low Pass step 12/24") << QStringList{"set", "Low Pass", "12/24"} << "sent: 0100AF003FC000\n";
        QTest::newRow("Low Pass step as get prints it") << QStringList{"set", "Low Pass", "12 / 24"} << "sent: 0100AF003FC000\n";
        QTest::newRow("Low Pass step 0/24") << QStringList{"set", "Low Pass", "0/24"} << "sent: 0100AF00000000\n";
        QTest::newRow("High Pass step 16/16") << QStringList{"set", "High Pass", "16/16"} << "sent: 0100BD007FE000\n";
        QTest::newRow("Range step 11/22") << QStringList{"set", "Range", "11/22"} << "sent: 010000003FC000\n";
        QTest::newRow("Low Pass bare number is a level") << QStringList{"set", "Low Pass", "300"} << "sent: 0100AF00258000\n";
        QTest::newRow("harmonic pitch with its unit") << QStringList{"set", "1st Harmonic Pitch", "-3 st"} << "sent: 01005200380000\n";
        QTest::newRow("Attack slow three times")
            << QStringList{"set", "Attack", "slow"} << "sent: 0100AE00000800\nsent: 0100AE00000800\nsent: 0100AE00000800\n";
    }
    void getAndSet()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        const Run r = run(QStringList{"--simulate"} + args);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, out);
    }

    void getPrintsEveryParameter()
    {
        const Run r = run({"--simulate", "get"});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 20);
        QCOMPARE(lines[0], QString("Dry 003FC000 510"));
        QCOMPARE(lines[4], QString("Wave 00600000 off"));
        QCOMPARE(lines[5], QString("Low Pass 0000000C 12 / 24"));
        QCOMPARE(lines[6], QString("High Pass 00000004 4 / 16"));
        QCOMPARE(lines[9], QString("Range 0000000B 11 / 22"));
        QCOMPARE(lines[10], QString("Input Level 00800000 1023"));
        QCOMPARE(lines[11], QString("1st Harmonic Pitch 00400000 0 st"));
        QCOMPARE(lines[19], QString("Attack 00008000 fast"));
    }

    void uploadsAndPresets()
    {
        Run r = run({"--simulate", "--yes", "upload-algorithm"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("answer: Algorithm 0015 OK\n"));
        r = run({"--simulate", "--yes", "upload-tuning"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("sent: 641 bytes of tuning data\n"));
        QTemporaryDir dir;
        r = run({"--simulate", "preset", "save", dir.filePath("p")});
        QCOMPARE(r.code, 0);
        QCOMPARE(QFileInfo(dir.filePath("p.txt")).size(), 182);
        QFile f(dir.filePath("p.txt"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        bytes.replace(3, 8, "007FE000"); // Dry at its maximum
        f.seek(0);
        f.write(bytes);
        f.close();
        r = run({"--simulate", "preset", "load", dir.filePath("p.txt")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("sent: 010027007FE000\n1 messages sent\n"));
    }

    // The longest message does not fit in one argument: send @FILE takes it, whole, and no more.
    void sendFromAFile_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("code");
        QTest::newRow("65,536 bytes") << 65536 << 0;
        QTest::newRow("65,537 bytes") << 65537 << 64;
    }
    void sendFromAFile()
    {
        QFETCH(int, bytes);
        QFETCH(int, code);
        QTemporaryDir dir;
        QFile f(dir.filePath("hex"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray hex = QByteArray("0D00").repeated(bytes / 2) + QByteArray(bytes % 2 ? "0D" : "");
        for (int i = 0; i < hex.size(); i += 64) // lines of 32 bytes, as a hex dump has them
            f.write(hex.mid(i, 64) + "\n");
        f.close();
        const Run r = run({"--simulate", "send", "@" + f.fileName()});
        QCOMPARE(r.code, code);
        if (code == 0)
            QCOMPARE(r.out.section('\n', 0, 0), "sent: " + QString::fromLatin1(hex));
        else
            QCOMPARE(r.err.section('\n', 0, 0), QString("quarnelo-cli: send writes at most 65536 bytes, not 65537"));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("no command") << QStringList{"--simulate"} << 64 << "quarnelo-cli: no command given";
        QTest::newRow("unknown command") << QStringList{"--simulate", "dance"} << 64 << "quarnelo-cli: unknown command dance";
        QTest::newRow("two targets") << QStringList{"--simulate", "--port", "/dev/null", "info"} << 64
                                     << "quarnelo-cli: choose one of --simulate, --port and --serial";
        QTest::newRow("odd hex") << QStringList{"--simulate", "send", "070"} << 64
                                 << "quarnelo-cli: '070' is not hex text (two hex digits per byte)";
        QTest::newRow("65,537 bytes to send") << QStringList{"--simulate", "send", QString(131074, 'A')} << 64
                                              << "quarnelo-cli: send writes at most 65536 bytes, not 65537";
        QTest::newRow("no such port") << QStringList{"--port", "/dev/no-such-pedal", "info"} << 2
                                      << "No device found: /dev/no-such-pedal does not exist";
        QTest::newRow("--port twice") << QStringList{"--port", "/dev/ttyS0", "--port", "/dev/ttyS1", "info"} << 64
                                      << "quarnelo-cli: --port is given twice";
        QTest::newRow("--yes twice") << QStringList{"--simulate", "--yes", "info", "--yes"} << 64
                                     << "quarnelo-cli: --yes is given twice";
        QTest::newRow("port: /dev/null") << QStringList{"--port", "/dev/null", "info"} << 2
                                         << "No device found: /dev/null is not a serial port";
        QTest::newRow("port: a folder") << QStringList{"--port", "/proc", "info"} << 2
                                        << "No device found: /proc is not a serial port";
        QTest::newRow("port: a regular file") << QStringList{"--port", "/proc/version", "info"} << 2
                                              << "No device found: /proc/version is not a serial port";
        QTest::newRow("escape in an argument") << QStringList{"--simulate", "send", "0\x1b]0;pwned\x07"} << 64
                                               << "quarnelo-cli: '0\\x1B]0;pwned\\x07' is not hex text (two hex digits per byte)";
        QTest::newRow("send @ a missing file") << QStringList{"--simulate", "send", "@/nonexistent/hex"} << 1
                                               << "/nonexistent/hex could not be read: No such file or directory. Nothing was sent.";
        QTest::newRow("no such serial") << QStringList{"--serial", "NOPE", "info"} << 2 << "No device found";
        QTest::newRow("no FTDI device") << QStringList{"list"} << 2 << "No device found";
        QTest::newRow("unknown parameter") << QStringList{"--simulate", "set", "Volume", "3"} << 64
                                           << "quarnelo-cli: no parameter is named Volume";
        QTest::newRow("level out of range") << QStringList{"--simulate", "set", "Dry", "1024"} << 64
                                            << "quarnelo-cli: Dry takes a level from 0 to 1023, not '1024'";
        QTest::newRow("switch value") << QStringList{"--simulate", "set", "Wave", "yes"} << 64
                                      << "quarnelo-cli: Wave takes on or off, not 'yes'";
        QTest::newRow("step beyond the full scale") << QStringList{"--simulate", "set", "Low Pass", "25/24"} << 64
                                                    << "quarnelo-cli: Low Pass takes a step from 0/24 to 24/24 or a level from 0 to 1023, not '25/24'";
        QTest::newRow("step of another scale") << QStringList{"--simulate", "set", "High Pass", "12/24"} << 64
                                               << "quarnelo-cli: High Pass takes a step from 0/16 to 16/16 or a level from 0 to 1023, not '12/24'";
        QTest::newRow("a step on a level dial") << QStringList{"--simulate", "set", "Dry", "12/24"} << 64
                                                << "quarnelo-cli: Dry takes a level from 0 to 1023, not '12/24'";
        QTest::newRow("semitones beyond an octave") << QStringList{"--simulate", "set", "1st Harmonic Pitch", "+13 st"} << 64
                                                    << "quarnelo-cli: 1st Harmonic Pitch takes semitones from -12 to +12, not '+13 st'";
        QTest::newRow("Attack value") << QStringList{"--simulate", "set", "Attack", "quick"} << 64
                                      << "quarnelo-cli: Attack takes slow or fast (on or off), not 'quick'";
        QTest::newRow("tracking without a tuning") << QStringList{"--simulate", "set", "Dominant Notes Cut", "on"} << 1
                                                   << "Set a tuning before using this parameter";
        QTest::newRow("upload without --yes") << QStringList{"--simulate", "upload-algorithm"} << 64
                                              << "quarnelo-cli: upload-algorithm changes the pedal in a large way; add --yes to confirm";
        QTest::newRow("tuning without --yes") << QStringList{"--simulate", "upload-tuning"} << 64
                                              << "quarnelo-cli: upload-tuning changes the pedal in a large way; add --yes to confirm";
        QTest::newRow("missing .dat") << QStringList{"--simulate", "--yes", "upload-algorithm", "/nonexistent/x.dat"} << 1
                                      << "No such file or directory";
        QTest::newRow("preset load of a missing file") << QStringList{"--simulate", "preset", "load", "/nonexistent/p.txt"}
                                                       << 1 << "Error loading file: No such file or directory";
        QTest::newRow("preset without a file") << QStringList{"--simulate", "preset", "save"} << 64
                                               << "quarnelo-cli: usage: preset save FILE | preset load FILE";
        QTest::newRow("set without a value") << QStringList{"--simulate", "set", "Dry"} << 64
                                             << "quarnelo-cli: set needs NAME and VALUE (quote a name with blanks: set \"Sub Mix\" 300)";
        // A line with two mistakes reports the one it always has: a family's unknown word comes
        // before its options (firmware), after them (memory) or after the confirmation (preset).
        QTest::newRow("firmware: unknown word and --no-verify") << QStringList{"--simulate", "firmware", "flash", "--no-verify"}
                                                                << 64 << "quarnelo-cli: usage: firmware upgrade|go|verify";
        QTest::newRow("memory: unknown word and --firmware") << QStringList{"--simulate", "memory", "wipe", "--firmware", "9"}
                                                             << 64 << "quarnelo-cli: --firmware and --file go with firmware upgrade and firmware verify";
        QTest::newRow("memory: erase with a file and --address") << QStringList{"--simulate", "memory", "erase", "x", "--address", "51"}
                                                                 << 64 << "quarnelo-cli: usage: memory erase | memory dump FILE";
        QTest::newRow("preset: unknown word and --no-backup") << QStringList{"--simulate", "preset", "swap", "x", "--no-backup"}
                                                              << 64 << "quarnelo-cli: --no-backup goes with memory erase, upload-algorithm, firmware upgrade and a send that uploads an algorithm, erases or enters the bootloader";
        QTest::newRow("preset: unknown word and --yes") << QStringList{"--simulate", "--yes", "preset", "swap", "x"}
                                                        << 64 << "quarnelo-cli: usage: preset save FILE | preset load FILE";
        QTest::newRow("erasing send: --yes asked before --no-backup") << QStringList{"--simulate", "send", "0B00", "--no-backup"}
                                                                     << 64 << "quarnelo-cli: 0B00 erases the pedal's settings memory; add --yes to confirm";
        QTest::newRow("plain send with --no-backup") << QStringList{"--simulate", "send", "0100", "--no-backup"}
                                                     << 64 << "quarnelo-cli: --no-backup goes with memory erase, upload-algorithm, firmware upgrade and a send that uploads an algorithm, erases or enters the bootloader";
        QTest::newRow("firmware go takes no image") << QStringList{"--simulate", "--yes", "firmware", "go", "--firmware", "9"}
                                                    << 64 << "quarnelo-cli: --firmware and --file go with firmware upgrade and firmware verify";
        QTest::newRow("firmware go asks for --yes") << QStringList{"--simulate", "firmware", "go"}
                                                    << 64 << "quarnelo-cli: firmware changes the pedal in a large way; add --yes to confirm";
        QTest::newRow("restore: the file before --yes") << QStringList{"--simulate", "restore", "/nonexistent/snapshot.json"}
                                                        << 1 << "snapshot.json cannot be read: No such file or directory. Nothing was sent.";
        QTest::newRow("diff without a file") << QStringList{"--simulate", "diff"} << 64 << "quarnelo-cli: diff takes no arguments, not ''";
        QTest::newRow("check-update with a target") << QStringList{"--simulate", "check-update"}
                                                    << 64 << "quarnelo-cli: check-update asks the update server, not a pedal";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, err);
        const Run r = run(args);
        QCOMPARE(r.code, code);
        QCOMPARE(r.err.split('\n').first(), err);
    }

    // What the core says in values, the tool words in its own terms (its commands and options),
    // and so do the plain words every view starts from: never a click, a menu, a button or a
    // window of the editor. The pedal's SHIFT button is the pedal's own.
    void everyValueInTheToolsWords()
    {
        Cli::CliPrompts tool(true, false, "--port /dev/ttyUSB0");
        ScriptedPrompts plain;
        const QRegularExpression editors("click|clink|press|button|menu|window|Scan And Link|[Cc]hoose [A-Z]");
        const auto check = [&](const QString &words, const QString &name) {
            QVERIFY2(!words.isEmpty(), qPrintable(name));
            QVERIFY2(!QString(words).remove("SHIFT button").contains(editors), qPrintable(name + ": " + words));
        };
        for (int i = 0; i <= int(Prompts::NextStep::StayInBootloader); ++i) {
            check(tool.words(Prompts::NextStep(i)), QString("tool: step %1").arg(i));
            check(plain.words(Prompts::NextStep(i)), QString("plain: step %1").arg(i));
        }
        for (int i = 0; i <= int(Prompts::Fixed::ClosingUpgrade); ++i) {
            check(tool.words(Prompts::Fixed(i), 15), QString("tool: fixed text %1").arg(i));
            check(plain.words(Prompts::Fixed(i), 15), QString("plain: fixed text %1").arg(i));
        }
        QCOMPARE(Refusal{Refusal::Reason::NotInBootloader}.text(tool),
                 QString("the pedal is not in its bootloader; quarnelo-cli --port /dev/ttyUSB0 --yes firmware upgrade "
                         "finds it, or asks the pedal to enter it"));
        // A fixed text is said with its value, so that a command can leave out one it tells better.
        tool.fixedMessage(Prompts::Fixed::PedalDisconnected);
        QCOMPARE(tool.messages.size(), 1);
        QCOMPARE(tool.messages[0].text, QString("The pedal was disconnected. Connect it again and run the command again."));
        QVERIFY(tool.messages[0].fixed == Prompts::Fixed::PedalDisconnected);
        tool.firmwareGateIsNews = false;
        tool.fixedMessage(Prompts::Fixed::FirmwareUpgradeRequired, 15);
        tool.fixedMessage(Prompts::Fixed::BootloaderConnectionFailed);
        QCOMPARE(tool.messages.size(), 1);
        QCOMPARE(tool.fixedSaid.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
