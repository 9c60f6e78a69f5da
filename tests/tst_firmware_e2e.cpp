// The firmware upgrade over a real serial device: quarnelo-cli against the simulated pedal on a
// pseudo-terminal, checked by an independent client of the bootloader protocol (stm32flash).
#include "PedalProcess.h"
#include "algorithms/StandInImages.h"

#include <QProcess>
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

QString writeImage(const QTemporaryDir &dir, int n)
{
    const QString path = dir.filePath(QStringLiteral("FIRMWARE_%1.bin").arg(n));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(StandInImages::firmwareImage(n));
    return path;
}
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

    // What stm32flash writes, the editor's read-back finds equal (and another image not).
    void stm32flashImageVerifiedByTheEditor()
    {
        QTemporaryDir dir;
        PedalProcess pedal({"--start-in-bootloader", "--no-flash-timing"});
        const Run write = run(stm32flash(), {"-b", "115200", "-m", "8n1", "-w", writeImage(dir, 14), "-S", "0x08000000", pedal.path()});
        QVERIFY2(write.code == 0, qPrintable(write.out + write.err));
        const Run same = cli({"--port", pedal.path(), "firmware", "verify", "--firmware", "14"});
        QVERIFY2(same.code == 0, qPrintable(same.err));
        QVERIFY(same.out.contains("The pedal's flash holds Firmware_14."));
        const Run other = cli({"--port", pedal.path(), "firmware", "verify", "--file", writeImage(dir, 13)});
        QCOMPARE(other.code, 1);
        QVERIFY(other.err.contains("The flash differs from the image in the block at 0x08000100."));
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
        QVERIFY(second.out.endsWith("The pedal runs firmware 15.\n"));
    }

    void unplugStopsWithTheWayBack()
    {
        PedalProcess pedal({"--firmware", "12", "--no-flash-timing", "--boot-fault", "unplug@block:50"});
        const Run r = cli({"--port", pedal.path(), "--yes", "firmware", "upgrade"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("The firmware upgrade stopped at block 51 of 210"), qPrintable(r.err));
        QVERIFY(r.err.contains("Connect it again while holding SHIFT"));
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
            << QStringList{"--yes", "firmware", "upgrade", "--file", QStringLiteral(QUARNELO_CLI_PATH) + "-not-there"} << 1
            << "cannot be written";
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
