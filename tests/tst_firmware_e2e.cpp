// The firmware upgrade over a real serial device: quarnelo-cli against the simulated pedal on a
// pseudo-terminal, checked by an independent client of the bootloader protocol (stm32flash).
#include "PedalProcess.h"
#include "algorithms/StandInImages.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
using Run = ProgramRun;

Run run(const QString &program, const QStringList &args) { return runProgram(program, args); }

Run cli(const QStringList &args) { return run(QStringLiteral(QUARNELO_CLI_PATH), args); }

QString stm32flash()
{
    return QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QString writeImage(const QTemporaryDir &dir, int n)
{
    return writeFile(dir, QStringLiteral("FIRMWARE_%1.bin").arg(n), StandInImages::firmwareImage(n));
}

// The first 1000 bytes of the carried firmware 15, in a folder that lasts as long as the test.
QString cutImage()
{
    static QTemporaryDir dir;
    return writeFile(dir, QStringLiteral("cut.bin"), StandInImages::firmwareImage(15).left(1000));
}

QString lastLine(const QString &text) { return text.trimmed().section(QLatin1Char('\n'), -1); }
} // namespace

class TestFirmwareEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(!stm32flash().isEmpty(), "stm32flash is not installed (tools/install-deps.sh installs it)");
    }

    // What quarnelo-cli writes, stm32flash reads back byte for byte.
    void upgradeReadBackByStm32flash()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("record.txt");
        PedalProcess pedal({"--firmware", "12", "--no-flash-timing", "--record", record});
        QVERIFY(!pedal.path().isEmpty());
        const Run up = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade", "--firmware", "15"});
        QVERIFY2(up.code == 0, qPrintable(up.err));
        QVERIFY(up.out.contains("block 210/210, 53544 of 53544 bytes"));
        QVERIFY(up.out.endsWith("The pedal runs firmware 15.\n"));
        QVERIFY(up.err.contains("The pedal runs firmware 12. Hold the pedal's SHIFT button"));

        // Back into the bootloader, where stm32flash reads the flash.
        // (the raw enter-bootloader message is confirmed and made after a backup, like an upgrade)
        QCOMPARE(cli({"--port", pedal.path(), "send", "0500010203040506"}).code, 64);
        QCOMPARE(cli({"--port", pedal.path(), "--yes", "send", "0500010203040506"}).code, 0);
        const QString out = dir.filePath("out.bin");
        const Run read = run(stm32flash(), {"-b", "115200", "-m", "8n1", "-r", out, "-S", "0x08000000:53544", pedal.path()});
        QVERIFY2(read.code == 0, qPrintable(read.out + read.err));
        QCOMPARE(readFile(out), StandInImages::firmwareImage(15));
    }

    // What stm32flash writes, the editor's read-back finds equal (and an image changed in its
    // second block not).
    void stm32flashImageVerifiedByTheEditor()
    {
        QTemporaryDir dir;
        PedalProcess pedal({"--start-in-bootloader", "--no-flash-timing"});
        const Run write = run(stm32flash(), {"-b", "115200", "-m", "8n1", "-w", writeImage(dir, 14), "-S", "0x08000000", pedal.path()});
        QVERIFY2(write.code == 0, qPrintable(write.out + write.err));
        // The firmware number record, as the editor writes it after the image.
        const QString record = writeFile(dir, "record.bin", QByteArray::fromHex("000000000000000E"));
        const Run writeRecord = run(stm32flash(), {"-b", "115200", "-m", "8n1", "-w", record, "-S", "0x0801FC00", pedal.path()});
        QVERIFY2(writeRecord.code == 0, qPrintable(writeRecord.out + writeRecord.err));
        const Run same = cli({"--port", pedal.path(), "firmware", "verify", "--firmware", "14"});
        QVERIFY2(same.code == 0, qPrintable(same.err));
        QVERIFY(same.out.contains("The pedal's flash holds Firmware_14."));
        QByteArray changed = StandInImages::firmwareImage(14);
        changed.replace(0x180, 8, "CHANGED!"); // in the second block
        const Run other = cli({"--port", pedal.path(), "firmware", "verify", "--file",
                               writeFile(dir, "changed.bin", changed), "--firmware", "14"});
        QCOMPARE(other.code, 1);
        QVERIFY2(other.err.contains("The flash holds other bytes at 0x08000180 than the image (read twice)."),
                 qPrintable(other.err));
    }

    // A fault stops the upgrade with exit 1, the reason, and no Go; run again, it succeeds.
    void faultThenSecondRun_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("NACK at block 105") << "nack@block:105"
                                           << "The firmware upgrade stopped at block 106 of 210: the bootloader refused it (NACK).";
        QTest::newRow("silence at the record") << "silent@record"
                                               << "The firmware upgrade stopped at the firmware number record: the bootloader did not answer in time.";
        QTest::newRow("NACK at block 51") << "nack@block:50"
                                          << "The firmware upgrade stopped at block 51 of 210: the bootloader refused it (NACK).";
    }
    void faultThenSecondRun()
    {
        QFETCH(QString, fault);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString record = dir.filePath("record.txt");
        PedalProcess pedal({"--firmware", "12", "--no-flash-timing", "--boot-fault", fault, "--record", record});
        const Run first = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QCOMPARE(first.code, 1);
        QVERIFY2(first.err.contains(told), qPrintable(first.err));
        QVERIFY(first.err.contains("The pedal stays in its bootloader; its firmware is erased or incomplete. Run the firmware upgrade again."));
        QVERIFY(!readFile(record).contains(" 21DE\n")); // no Go into a half-written flash
        const Run second = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QVERIFY2(second.code == 0, qPrintable(second.err));
        QVERIFY(second.out.startsWith("The pedal is in its bootloader.\n"));
        QVERIFY(second.out.endsWith("Read back: the flash holds Firmware_15 and the firmware number record 15.\n"
                                    "The pedal runs firmware 15.\n"));
        // The bootloader was left synchronised: 0x7F met silence, a second one was refused.
        QVERIFY(readFile(record).contains(" 7F7F\n"));
    }

    // A read-back refused after the erase and the writes were acknowledged: written, not verified.
    void refusedReadBackIsNoSuccess()
    {
        PedalProcess pedal({"--firmware", "12", "--no-flash-timing", "--boot-fault", "nack@read"});
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QCOMPARE(r.code, 1);
        QCOMPARE(lastLine(r.err),
                 QString("The firmware upgrade stopped at the read-back of block 1 of 210: the bootloader refused it "
                         "(NACK). Firmware_15 was written but not verified: all 210 blocks and the firmware number record "
                         "were acknowledged, and the flash could not be read back. The pedal stays in its bootloader. Run "
                         "the firmware upgrade again."));
        QVERIFY(!r.err.contains("upgrade is complete"));
        QVERIFY(!r.out.contains("The pedal runs firmware"));
    }

    // An unplug ends with one message: where it stopped, what the pedal holds, the way back;
    // never "Nothing was written" after a write.
    void unplugStopsWithTheWayBack_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QString>("told"); // the last line
        const QString atBlock51 =
            "The firmware upgrade stopped at block 51 of 210: the pedal could not be reached (unplugged?). Blocks 1 to 50 "
            "of 210 were written. The pedal's firmware is erased or incomplete, and it starts in its bootloader only "
            "while SHIFT is held. Connect it again while holding SHIFT, then run the firmware upgrade again.";
        QTest::newRow("at block 51, from its firmware") << QStringList{"--firmware", "12", "--boot-fault", "unplug@block:50"}
                                                        << atBlock51;
        QTest::newRow("at block 51, started in its bootloader")
            << QStringList{"--start-in-bootloader", "--boot-fault", "unplug@block:50"} << atBlock51;
        QTest::newRow("at Go") << QStringList{"--firmware", "12", "--boot-fault", "unplug@go"}
                               << "The firmware was written and verified. The pedal did not confirm that it left its "
                                  "bootloader (the pedal could not be reached (unplugged?)). Connected again it starts the "
                                  "firmware in its flash; should it stay silent, connect it again while holding SHIFT, then "
                                  "run the firmware upgrade again.";
    }
    void unplugStopsWithTheWayBack()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QString, told);
        PedalProcess pedal(QStringList{"--no-flash-timing"} + pedalArgs);
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QCOMPARE(r.code, 1);
        QCOMPARE(lastLine(r.err), told);
        QVERIFY2(!r.err.contains("Nothing was written") && !r.err.contains("Written before") &&
                     !r.err.contains("The pedal was disconnected"),
                 qPrintable(r.err));
        QVERIFY(!r.out.contains("The pedal runs firmware"));
        QVERIFY(!r.err.contains("upgrade is complete"));
    }

    // go and verify tell who answered: the running firmware, a bootloader that refuses or is
    // late, or nothing at all.
    void goAndVerifyTellWhoAnswered_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QString>("told");
        const struct {
            const char *name;
            QStringList args;
            const char *told;
        } pedals[] = {
            {"a running firmware", {"--firmware", "13"}, "The pedal is not in its bootloader: it runs its firmware (firmware 13)."},
            {"nothing", {"--silent"},
             "The pedal answers nothing: neither its bootloader (0x7F, twice) nor its firmware (the device information "
             "request). Check that it is powered and connected."},
            {"a bootloader that refuses", {"--start-in-bootloader", "--nack"},
             "The pedal does not answer as its bootloader should: it refuses every command (NACK). Nothing was written to "
             "it. Switch the pedal off and on, holding SHIFT, and run the command again."},
            {"a late bootloader", {"--start-in-bootloader", "--answer-delay", "1500"},
             "The pedal does not answer as its bootloader should: its answer to 0x7F came late (after more than 1000 ms). "
             "Nothing was written to it. Switch the pedal off and on, holding SHIFT, and run the command again."},
        };
        for (const auto &p : pedals) {
            QTest::addRow("go, %s", p.name) << (p.args + QStringList{"go"}) << QString(p.told);
            QTest::addRow("verify, %s", p.name) << (p.args + QStringList{"verify"}) << QString(p.told);
        }
    }
    void goAndVerifyTellWhoAnswered()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QString, told);
        const QString action = pedalArgs.takeLast();
        PedalProcess pedal(pedalArgs);
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", action});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, told + "\n");
        QCOMPARE(r.out, QString());
    }

    // An older firmware is asked about (--yes answers), and the result says it runs.
    void olderFirmwareIsAskedAbout()
    {
        PedalProcess pedal({"--firmware", "15", "--no-flash-timing"});
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade", "--firmware", "14"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains("The pedal runs firmware 15. Write Firmware_14 and go back to the older firmware 14? Yes (--yes).\n"),
                 qPrintable(r.err));
        QCOMPARE(lastLine(r.err), QString("Firmware 14 now runs in the pedal, older than the firmware 15 it ran before."));
        QVERIFY(!r.err.contains("A firmware upgrade is required"));
        QVERIFY(r.out.endsWith("The pedal runs firmware 14.\n"));
        QVERIFY(cli({"--help"}).out.contains("a firmware older\n              than the pedal's is asked about, and --yes answers yes"));
    }

    // Faults an upgrade meets, each a row: the tool against the pseudo-terminal pedal with one of
    // its faults. What the tool says is true and in its own words (no menus, buttons or clicks),
    // what reached the pedal is what the story says, and where a way back is printed, running
    // the command again works.
    void faultTable_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("told");      // each is said (stdout or stderr)
        QTest::addColumn<QStringList>("notTold");   // none is said
        QTest::addColumn<int>("reads");             // Read Memory commands sent (-1: not counted)
        QTest::addColumn<QStringList>("notOnWire"); // messages that never reached the pedal
        QTest::addColumn<bool>("noBackupHome");     // a documents folder where no backup can be made
        QTest::addColumn<QStringList>("again");     // run next against the same pedal: exit 0
        const QStringList upgrade{"--yes", "firmware", "upgrade"};
        const QStringList noStart{"21DE"};
        const QStringList nothingErased{"43BC"};

        QTest::newRow("--no-verify with a byte changed in block 101")
            << QStringList{"--firmware", "12", "--boot-fault", "flip@block:100"} << upgrade + QStringList{"--no-verify"}
            << 0
            << QStringList{"Everything was written and acknowledged, and not read back; the pedal restarts.",
                           "The pedal runs firmware 15.\nFirmware_15 and the firmware number record 15 were written, not "
                           "read back: --no-verify asked for no read-back, so whether the flash holds them was not "
                           "checked. The exit code is 0 for that reason, not because the flash was found right.\n"}
            << QStringList{"upgrade is complete", "Read back:"} << 0 << QStringList() << false << QStringList();
        QTest::newRow("a byte changed on the way back at block 101: read again, it holds the image")
            << QStringList{"--firmware", "12", "--boot-fault", "flip@read:100"} << upgrade << 0
            << QStringList{"Read back: the flash holds Firmware_15 and the firmware number record 15.\n"
                           "The pedal runs firmware 15.\n"}
            << QStringList{"does not hold"} << 210 + 1 + 1 << QStringList() << false << QStringList();
        QTest::newRow("a byte changed in the flash at block 101: stops there")
            << QStringList{"--firmware", "12", "--boot-fault", "flip@block:100"} << upgrade << 1
            << QStringList{"The firmware upgrade stopped at the read-back of block 101 of 210: the flash holds other "
                           "bytes at 0x080064ff than the image (read twice).",
                           "The pedal stays in its bootloader; its flash does not hold what was written. Run the "
                           "firmware upgrade again."}
            << QStringList{"erased", "upgrade is complete"} << 100 + 2 << noStart << false << upgrade;
        QTest::newRow("a downgrade of a pedal in its bootloader: asked")
            << QStringList{"--start-in-bootloader"} << upgrade + QStringList{"--firmware", "14"} << 0
            << QStringList{"The pedal's flash holds firmware 15 (its firmware number record). Write Firmware_14 and go "
                           "back to the older firmware 14? Yes (--yes).",
                           "Firmware 14 now runs in the pedal, older than the firmware 15 it ran before.",
                           "The pedal runs firmware 14."}
            << QStringList{"firmware upgrade is required", "the one this tool edits"} << -1 << QStringList() << false
            << QStringList();
        QTest::newRow("a downgrade of a pedal in its bootloader without --yes: refused")
            << QStringList{"--start-in-bootloader"} << QStringList{"firmware", "upgrade", "--firmware", "14"} << 64
            << QStringList{"add --yes to confirm"} << QStringList() << 0 << QStringList{"7F"} << false << QStringList();
        QTest::newRow("a NACK at the handshake: the pedal waits in its bootloader")
            << QStringList{"--firmware", "12", "--nack"} << upgrade << 1
            << QStringList{"The pedal entered its bootloader and waits there; it refuses every command (NACK). Nothing "
                           "was erased or written. Switch the pedal off and on to leave the bootloader (it starts its "
                           "firmware again), then run the command again."}
            << QStringList{"Connection to bootloader failed"} << 0 << nothingErased << false << QStringList();
        QTest::newRow("one 0x7F lost at the handshake: no fault")
            << QStringList{"--firmware", "12", "--boot-fault", "silent@sync"} << upgrade << 0
            << QStringList{"The pedal runs firmware 15.\n"} << QStringList{"came late"} << -1 << QStringList() << false
            << QStringList();
        QTest::newRow("both 0x7F lost at the handshake: a rerun finds the bootloader")
            << QStringList{"--firmware", "12", "--boot-fault", "silent@sync:2"} << upgrade << 1
            << QStringList{"It may wait in its bootloader. Nothing was erased or written. Run the command again: it "
                           "looks for the bootloader first."}
            << QStringList{"Connection to bootloader failed"} << 0 << nothingErased << false << upgrade;
        QTest::newRow("a garbled acknowledge of 0x7F")
            << QStringList{"--start-in-bootloader", "--boot-fault", "flip@sync"} << upgrade << 1
            << QStringList{"its answer to 0x7F was garbled (0x78, neither ACK nor NACK)"} << QStringList{"answers nothing"}
            << 0 << nothingErased << false << upgrade;
        QTest::newRow("a pedal whose answers are garbled")
            << QStringList{"--firmware", "12", "--garbled"} << upgrade << 1
            << QStringList{"its firmware's answer to the device information request was garbled"}
            << QStringList{"answers nothing"} << 0 << QStringList{"0D01", "0500010203040506"} << false << QStringList();
        QTest::newRow("no backup can be made: refused before SHIFT is asked for")
            << QStringList{"--firmware", "12"} << upgrade << 1 << QStringList{"--no-backup goes on without one."}
            << QStringList{"SHIFT"} << 0 << QStringList{"0D01", "0500010203040506"} << true << QStringList();
    }
    void faultTable()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QStringList, told);
        QFETCH(QStringList, notTold);
        QFETCH(int, reads);
        QFETCH(QStringList, notOnWire);
        QFETCH(bool, noBackupHome);
        QFETCH(QStringList, again);
        QTemporaryDir dir;
        const QString recordFile = dir.filePath("record.txt");
        PedalProcess pedal(QStringList{"--no-flash-timing", "--record", recordFile} + pedalArgs);
        QVERIFY(!pedal.path().isEmpty());
        // A file where the Backups folder goes: no backup can be made.
        const QString home = dir.filePath("home");
        QVERIFY(QDir().mkpath(home + "/Documents/Karvo/Quarnelo MK3"));
        if (noBackupHome)
            writeFile(dir, "home/Documents/Karvo/Quarnelo MK3/Backups", "a file");
        const Run r = runProgram(QStringLiteral(QUARNELO_CLI_PATH), QStringList{"--port", pedal.path()} + args, home);
        const QString said = r.out + r.err;
        QVERIFY2(r.code == code, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(said)));
        for (const QString &t : told)
            QVERIFY2(said.contains(t), qPrintable(said));
        for (const QString &t : notTold)
            QVERIFY2(!said.contains(t), qPrintable(said));
        // The tool's own words: no menus, buttons or clicks of the editor.
        for (const char *editorWords : {"menu", "click", "button", "close editor", "Scan And Link", "Upgrade Firmware"})
            QVERIFY2(!QString(said).remove("SHIFT button").contains(QLatin1String(editorWords), Qt::CaseInsensitive),
                     qPrintable(said));
        QStringList wire;
        for (const QByteArray &line : readFile(recordFile).split('\n'))
            if (!line.trimmed().isEmpty())
                wire << QString::fromLatin1(line.split(' ').last());
        if (reads >= 0)
            QCOMPARE(wire.count("11EE"), reads);
        for (const QString &m : notOnWire)
            QVERIFY2(!wire.contains(m), qPrintable(wire.join(' ').left(400)));
        if (code == 64)
            QVERIFY(wire.isEmpty());
        if (!again.isEmpty()) {
            const Run next = runProgram(QStringLiteral(QUARNELO_CLI_PATH), QStringList{"--port", pedal.path()} + again, home);
            QVERIFY2(next.code == 0, qPrintable(next.out + next.err));
            QVERIFY(next.out.endsWith("The pedal runs firmware 15.\n"));
        }
    }

    // Every way back the tool prints runs as printed: the pedal left in its bootloader by a Go
    // that was not confirmed starts with the command the message names.
    void printedWayBackRunsAsPrinted()
    {
        PedalProcess pedal({"--no-flash-timing", "--firmware", "12", "--boot-fault", "silent@go"});
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QCOMPARE(r.code, 1);
        static const QRegularExpression printed(QStringLiteral("run (quarnelo-cli [^,]*firmware go)"));
        const QRegularExpressionMatch m = printed.match(r.err);
        QVERIFY2(m.hasMatch(), qPrintable(r.err));
        QCOMPARE(m.captured(1), "quarnelo-cli --port " + pedal.path() + " --yes firmware go");
        QStringList words = m.captured(1).split(' ');
        QCOMPARE(words.takeFirst(), QString("quarnelo-cli"));
        const Run go = cli(words);
        QVERIFY2(go.code == 0, qPrintable(go.err));
        QCOMPARE(go.out, QString("The pedal is in its bootloader.\nThe pedal runs firmware 15.\n"));
        // --help says which commands need --yes.
        QVERIFY(cli({"--help"}).out.contains("--yes confirms these commands, which refuse to run without it:\n"
                                             "  upload-algorithm, upload-tuning, firmware upgrade, firmware go,"));
    }

    void usageChecksBeforeThePort_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("told");
        QTest::newRow("no --yes") << QStringList{"--port", "/nonexistent", "firmware", "upgrade"} << 64 << "add --yes";
        QTest::newRow("firmware 16") << QStringList{"--yes", "firmware", "upgrade", "--firmware", "16"} << 64
                                     << "--firmware takes a number from 5 to 15, not '16'";
        QTest::newRow("unknown action") << QStringList{"firmware", "flash"} << 64 << "usage: firmware upgrade|go|verify";
        QTest::newRow("--no-verify with go") << QStringList{"--yes", "firmware", "go", "--no-verify"} << 64
                                             << "--no-verify goes with firmware upgrade";
        QTest::newRow("an image file that is not there")
            << QStringList{"--yes", "firmware", "upgrade", "--file", QStringLiteral(QUARNELO_CLI_PATH) + "-not-there",
                           "--firmware", "15"}
            << 1 << "cannot be written";
        QTest::newRow("a carried image cut to 1000 bytes")
            << QStringList{"--port", "/nonexistent", "--yes", "firmware", "upgrade", "--firmware", "15", "--file", cutImage()}
            << 1 << "cut.bin cannot be written: it does not start with a vector table: its reset vector 0x0800d125 is not a Thumb address inside the image";
        QTest::newRow("a file without its firmware number")
            << QStringList{"--port", "/nonexistent", "--yes", "firmware", "upgrade", "--file", "cut.bin"} << 64
            << "--file needs --firmware N: the number the pedal records for the image";
        QTest::newRow("verify a file without its firmware number")
            << QStringList{"--port", "/nonexistent", "firmware", "verify", "--file", "cut.bin"} << 64
            << "--file needs --firmware N";
    }
    void usageChecksBeforeThePort()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, told);
        const Run r = cli(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(told), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareEndToEnd)
#include "tst_firmware_e2e.moc"
