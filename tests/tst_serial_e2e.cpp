// End to end over a real serial device: the standalone simulated pedal serves a
// pseudo-terminal, and the serial-port backend (the code that faces real pedals) talks to it.
#include "support/Finish.h"
#include "CoreRig.h"
#include "windows/Dial.h"
#include "windows/Editor.h"
#include "windows/EffectWindow.h"
#include "windows/MainWindow.h"
#include "PedalProcess.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimulatedPedal.h"

#include <QAction>
#include <QLabel>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {
QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The editor's core on the pseudo-terminal's pedal through the serial-port backend, waiting on
// the system's clock.
CoreRig onPort(const QString &port)
{
    return CoreRig(std::make_unique<SystemClock>(), std::make_unique<SerialPortBackend>(QStringList{port}));
}

// Ports named by their paths that pass for a real pedal's, which is the same pedal when it is
// plugged in again (a pseudo-terminal is not).
class ReturningPorts : public SerialPortBackend {
public:
    using SerialPortBackend::SerialPortBackend;
    bool comesBack(const QByteArray &) const override { return true; }
};

// Moves the pressed left button to each point in turn, as a drag does.
void dragTo(QWidget *w, const QList<QPoint> &points)
{
    for (const QPoint &p : points) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(w, &move);
    }
}

const QString Disconnected = QStringLiteral("The pedal was disconnected. Connect it again and choose Scan And Link.");
} // namespace

class TestSerialEndToEnd : public QObject {
    Q_OBJECT
private slots:
    // The system's ports are looked through every time for the editor, once a run for the
    // command-line tool, and never when the port is named.
    void portScans_data()
    {
        QTest::addColumn<int>("scan");
        QTest::addColumn<int>("scans");
        QTest::newRow("every time") << int(SerialPortBackend::PortScan::EveryTime) << 3;
        QTest::newRow("once") << int(SerialPortBackend::PortScan::Once) << 1;
        QTest::newRow("never") << int(SerialPortBackend::PortScan::Never) << 0;
    }
    void portScans()
    {
        QFETCH(int, scan);
        QFETCH(int, scans);
        PedalProcess pedal({});
        SerialPortBackend backend({pedal.path()}, SerialPortBackend::PortScan(scan));
        QList<FtdiDeviceInfo> devices;
        backend.listDevices(&devices);
        backend.listDevices(&devices);
        QCOMPARE(devices.last().serialNumber, pedal.path().toLatin1());
        quint32 handle = 0;
        QCOMPARE(backend.openBySerial(pedal.path().toLatin1(), &handle), 0);
        backend.close(handle);
        QCOMPARE(backend.portScans(), scans);
    }

    // A port that exists but may not be opened: the message names the fix, for the editor and
    // for the tool. As root the tool runs as nobody (root opens any port); otherwise the
    // pseudo-terminal's mode takes the permission away.
    void permissionDeniedNamesTheFix()
    {
        PedalProcess pedal({});
        QVERIFY(!pedal.path().isEmpty());
        QTemporaryDir dir;
        QString program = QStringLiteral(QUARNELO_CLI_PATH);
        QStringList args{"--port", pedal.path(), "info"};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable("setpriv");
            if (setpriv.isEmpty())
                QSKIP("setpriv is needed to run the tool as another user");
            // A copy nobody may run, wherever the build folder is.
            const QString copy = dir.filePath("quarnelo-cli");
            QVERIFY(QFile::copy(program, copy));
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
            QVERIFY(QFile::setPermissions(pedal.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            args = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", copy} + args;
            program = setpriv;
        } else {
            QVERIFY(QFile::setPermissions(pedal.path(), QFileDevice::Permissions()));
        }
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.start(program, args);
        QVERIFY(cli.waitForFinished(20000));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("The pedal's port %1 could not be opened: permission denied.").arg(pedal.path())),
                 qPrintable(err));
        QVERIFY(err.contains("udev rule") && err.contains("dialout"));
    }

    // quarnelo-cli diff FILE: 0 right after preset save, 1 and the line for Dry after set Dry 0,
    // 2 when the file cannot be read.
    void diffAgainstAPreset()
    {
        PedalProcess pedal({});
        QTemporaryDir dir;
        const QString cli = QStringLiteral(QUARNELO_CLI_PATH), file = dir.filePath("p.txt");
        const auto run = [&](const QStringList &args) { return runProgram(cli, QStringList{"--port", pedal.path()} + args); };
        QCOMPARE(run({"preset", "save", file}).code, 0);
        ProgramRun same = run({"diff", file});
        QCOMPARE(same.code, 0);
        QCOMPARE(same.out, QString());
        QCOMPARE(run({"set", "Dry", "0"}).code, 0);
        ProgramRun differ = run({"diff", file});
        QCOMPARE(differ.code, 1);
        QCOMPARE(differ.out, QString("Dry\t00000000\t003FC000\n"));
        QCOMPARE(run({"diff", dir.filePath("missing.txt")}).code, 2);
    }

    void requestOverThePseudoTerminal()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        PedalProcess pedal({"--record", record, "--wire-timing"});
        QVERIFY(pedal.path().startsWith("/dev/"));
        CoreRig rig = onPort(pedal.path());
        finished(rig.service.scanAndLink());
        QVERIFY2(rig.prompts.messages.isEmpty(), qPrintable(rig.prompts.messages.join("|")));
        QVERIFY(rig.comm.linked());
        QCOMPARE(rig.service.gate(), GateState::RequestPassed);
        ManualClock unused;
        SimulatedPedal expected(&unused);
        QCOMPARE(rig.service.lastAnswerValues().toHex(), expected.deviceInformationValues().toHex());
        QCOMPARE(rig.service.firmwareLabel(), QString("Device Firmware: 15"));
        QCOMPARE(rig.service.algorithmLabel(), QString("Device Algorithm: 0015"));

        // A MIDI channel 12 choice arrives as 07 0C.
        QVERIFY(rig.comm.sendHexMessage("070C", 2));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(record).contains(" 070C\n"), 3000);
        const QStringList lines = readAll(record).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.first().endsWith(" 0200"));
        QVERIFY(rig.service.unlink());
    }

    // The whole editor on a real serial device: Scan And Link finds it, the MIDI menu talks to it.
    void editorWindowOverThePseudoTerminal()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        PedalProcess pedal({"--record", record});
        CoreRig rig = onPort(pedal.path());
        rig.core.update.server = QUrl(); // no version check
        Editor editor(rig.core);
        QCOMPARE(editor.main()->lblDeviceName->text(), QString("Quarnelo MK3: not linked")); // listed at start-up
        editor.main()->menuScan->trigger(); // the link and the request run on as steps of the event loop
        QTRY_COMPARE_WITH_TIMEOUT(editor.main()->lblFirmwareVersion->text(), QString("Device Firmware: 15"), 5000);
        QVERIFY2(rig.prompts.messages.isEmpty(), qPrintable(rig.prompts.messages.join("|")));
        QCOMPARE(editor.main()->lblAlgorithmVersion->text(), QString("Device Algorithm: 0015"));
        editor.main()->midiChannelItems[12]->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(readAll(record).contains(" 070C\n"), 3000);
        QCOMPARE(editor.main()->lblDeviceName->text(), "Linked: " + rig.comm.deviceSerialNumber());
        editor.main()->menuDisconnect->trigger();
        QCOMPARE(editor.main()->lblDeviceName->text(), QString("Quarnelo MK3: not linked"));
        QCOMPARE(editor.main()->lblFirmwareVersion->text(), QString("Device Firmware:"));
    }

    void commandLineToolAgainstThePedal()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        PedalProcess pedal({"--record", record, "--firmware", "15", "--algorithm", "0015"});
        QProcess cli;
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--port", pedal.path(), "info"});
        QVERIFY(cli.waitForFinished(10000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(out.startsWith("Firmware: 15\nAlgorithm: 0015\n"));
        QVERIFY(readAll(record).contains(" 0200\n"));
        // The pedal serves one connection after another.
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"--port", pedal.path(), "info"});
        QVERIFY(cli.waitForFinished(10000));
        QCOMPARE(cli.exitCode(), 0);
    }

    // What the pedal's state does not allow is refused with its reason on stderr, exit 1, and
    // nothing but the device information requests reaches the pedal; no preset file is written.
    void refusedOverThePseudoTerminal_data()
    {
        QTest::addColumn<QStringList>("pedalArgs");
        QTest::addColumn<QStringList>("cliArgs");
        QTest::addColumn<QString>("err");
        QTest::newRow("set, firmware 14") << QStringList{"--firmware", "14"} << QStringList{"set", "Dry", "510"}
                                          << "Changing Dry was refused: the pedal's firmware 14 is older than firmware 15";
        QTest::newRow("set, algorithm 0014") << QStringList{"--algorithm", "0014"} << QStringList{"set", "Dry", "510"}
                                             << "Changing Dry was refused: the pedal runs algorithm 0014";
        QTest::newRow("set, effect 05") << QStringList{"--effect", "5"} << QStringList{"set", "Dry", "510"}
                                        << "Changing Dry was refused: the parameter addresses are not known";
        QTest::newRow("preset load, firmware 8") << QStringList{"--firmware", "8"} << QStringList{"preset", "load", "PRESET"}
                                                 << "Load Local Preset was refused: the pedal's firmware 8 is older";
        QTest::newRow("preset save, firmware 8") << QStringList{"--firmware", "8"} << QStringList{"preset", "save", "SAVED"}
                                                 << "Save Local Preset was refused: the pedal's firmware 8 is older";
        QTest::newRow("preset save, 50 of 106 values")
            << QStringList{"--short-answer", "50"} << QStringList{"preset", "save", "SAVED"}
            << "Save Local Preset was refused: the pedal's settings are not known: its answer held 50 of 106 values";
    }
    void refusedOverThePseudoTerminal()
    {
        QFETCH(QStringList, pedalArgs);
        QFETCH(QStringList, cliArgs);
        QFETCH(QString, err);
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        QFile preset(dir.filePath("p.txt"));
        QVERIFY(preset.open(QIODevice::WriteOnly));
        preset.write("007FE000" + QByteArray("\r00000000").repeated(19));
        preset.close();
        cliArgs.replaceInStrings("PRESET", preset.fileName());
        cliArgs.replaceInStrings("SAVED", dir.filePath("saved"));
        PedalProcess pedal(QStringList{"--record", record} + pedalArgs);
        QProcess cli;
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), QStringList{"--port", pedal.path()} + cliArgs);
        QVERIFY(cli.waitForFinished(10000));
        const QString stderrText = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
        QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()), QString());
        const QStringList lines = readAll(record).split('\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        for (const QString &line : lines)
            QVERIFY2(line.endsWith(" 0200"), qPrintable(line));
        QVERIFY(!QFileInfo::exists(dir.filePath("saved.txt")));
    }

    void setAndGetOverThePseudoTerminal()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        PedalProcess pedal({"--record", record});
        const auto cli = [&](const QStringList &args) {
            QProcess p;
            p.start(QStringLiteral(QUARNELO_CLI_PATH), QStringList{"--port", pedal.path()} + args);
            p.waitForFinished(10000);
            return QString::fromUtf8(p.readAllStandardOutput());
        };
        QCOMPARE(cli({"set", "Dry", "300"}), QString("sent: 01002700258000\n"));
        QVERIFY(cli({"get"}).startsWith("Dry 00258000 300\n"));
        QCOMPARE(cli({"set", "Dry", "510"}), QString("sent: 010027003FC000\n"));
        QVERIFY(readAll(record).contains(" 010027003FC000\n"));
        QVERIFY(cli({"get"}).startsWith("Dry 003FC000 510\n"));
    }

    // A request purges the line before it asks; a word written just before it must still reach
    // the pedal (the system's output queue is not thrown away), as a restore that writes its
    // words and then asks the pedal again relies on.
    void wordsWrittenJustBeforeARequestReachThePedal()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath("r.txt");
        PedalProcess pedal({"--record", record});
        CoreRig rig = onPort(pedal.path());
        finished(rig.service.scanAndLink());
        QVERIFY(rig.comm.linked());
        QStringList written;
        for (int i = 0; i < 10; ++i) {
            const QString word = QStringLiteral("010027%1").arg(0x1000 * (i + 1), 8, 16, QLatin1Char('0')).toUpper();
            QVERIFY(rig.comm.sendHexMessage(word, 7));
            written << word;
            QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Done);
        }
        const QString received = readAll(record);
        for (const QString &word : written)
            QVERIFY2(received.contains(" " + word + "\n"), qPrintable(word + " never reached the pedal:\n" + received));
    }

    void largeAnswerArrivesWhole()
    {
        PedalProcess pedal({});
        CoreRig rig = onPort(pedal.path());
        rig.comm.setLegacyUpgradeMode(true); // link only
        finished(rig.service.scanAndLink());
        QVERIFY(rig.comm.sendHexMessage("0C5000000000", 6));
        QByteArray dump;
        QElapsedTimer t;
        t.start();
        while (dump.size() < 16385 && t.elapsed() < 5000) {
            waitOn(*rig.core.clock, 10);
            const quint32 n = rig.core.d2xx->ReadFTDeviceBuffer(65536);
            dump.append(reinterpret_cast<const char *>(rig.core.d2xx->FTReceiveBuffer.data()), int(n));
        }
        QCOMPARE(dump.size(), 16385); // nothing dropped while the line's buffer was full
        QCOMPARE(quint8(dump[0]), quint8(0xAB));
    }

    void unplugTurnsIntoOneMessage()
    {
        PedalProcess pedal({"--unplug-after", "2"});
        CoreRig rig = onPort(pedal.path());
        QSignalSpy lost(&rig.comm, &Communication::deviceDisconnected);
        finished(rig.service.scanAndLink());
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.prompts.messages.size(), 1, 1000);
        QCOMPARE(rig.prompts.messages[0], QString("The pedal was disconnected. Connect it again and choose Scan And Link."));
        QCOMPARE(rig.service.gate(), GateState::Unlinked);
        QVERIFY(!rig.comm.linked());
    }

    // An unplug is one event and gives one message, whatever the editor was doing: idle, asking
    // the pedal for its settings, or sending a dial being dragged. A pedal on a pseudo-terminal
    // is not waited for: what appears at its path later (another program's terminal) is not it.
    void unplugGivesOneMessage_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("idle") << "idle";
        QTest::newRow("a request") << "request";
        QTest::newRow("a dial drag") << "drag";
    }
    void unplugGivesOneMessage()
    {
        QFETCH(QString, during);
        auto pedal = std::make_unique<PedalProcess>(during == "request" ? QStringList{"--unplug-after", "2"} : QStringList{});
        const QString port = pedal->path();
        CoreRig rig = onPort(port);
        rig.core.update.server = QUrl(); // no version check
        Editor editor(rig.core);         // waits for an unplugged pedal, as the editor does
        QSignalSpy lost(&rig.comm, &Communication::deviceDisconnected);
        editor.main()->menuScan->trigger();
        if (during != "request") {
            QTRY_COMPARE_WITH_TIMEOUT(editor.main()->lblFirmwareVersion->text(), QString("Device Firmware: 15"), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(editor.effect()->isVisible() && editor.effect()->dialDry->isEnabled(), 5000);
            QVERIFY2(rig.prompts.messages.isEmpty(), qPrintable(rig.prompts.messages.join("|")));
        }
        if (during == "idle")
            pedal.reset(); // pulled out: its pseudo-terminal goes
        if (during == "drag") {
            RotaryDial *dry = editor.effect()->dialDry;
            const QPoint at = dry->rect().center();
            QTest::mousePress(dry, Qt::LeftButton, Qt::NoModifier, at);
            dragTo(dry, {at - QPoint(0, 10), at - QPoint(0, 20)});
            waitOn(*rig.core.clock, 150); // the throttle sends it
            pedal.reset();
            dragTo(dry, {at - QPoint(0, 30), at - QPoint(0, 40)});
            QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
            dragTo(dry, {at - QPoint(0, 50), at - QPoint(0, 60)});
            QTest::mouseRelease(dry, Qt::LeftButton, Qt::NoModifier, at - QPoint(0, 60));
        }
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.prompts.messages.size(), 1, 3000);
        QCoreApplication::processEvents();
        QVERIFY2(rig.prompts.messages == QStringList{Disconnected}, qPrintable(rig.prompts.messages.join(" | ")));
        QVERIFY(rig.logged(
            QStringLiteral("the pedal %1 was a pseudo-terminal, which does not come back: not waited for").arg(port)));
        QVERIFY(!rig.service.watchingForReturn());
        QVERIFY(!rig.comm.linked());
        QCOMPARE(editor.main()->lblDeviceName->text(), QString("Quarnelo MK3: not linked"));
    }

    // The watch for an unplugged pedal links it again only when the same pedal is listed again:
    // here its port, named by its path, is there again. Meanwhile a port still missing, or
    // another pedal listed, links nothing and says nothing. (The ports pass for real ones: a
    // pseudo-terminal's pedal is not waited for.)
    void backOnlyWhenTheSamePedalIsListed_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("back");
        QTest::newRow("the port still missing") << "nothing" << false;
        QTest::newRow("another pedal listed") << "other" << false;
        QTest::newRow("the port there again") << "same" << true;
    }
    void backOnlyWhenTheSamePedalIsListed()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, back);
        QTemporaryDir dir;
        const QString port = dir.filePath("pedal");
        const QString other = dir.filePath("other");
        auto pedal = std::make_unique<PedalProcess>(QStringList{});
        QVERIFY(QFile::link(pedal->path(), port));
        auto *clock = new ManualClock; // the watch's seconds pass by hand
        auto *ports = new ReturningPorts(QStringList{port, other}, SerialPortBackend::PortScan::Never);
        CoreRig rig{std::unique_ptr<Clock>(clock), std::unique_ptr<FtdiBackend>(ports)};
        rig.service.relinkWhenBack = true;
        rig.comm.setLegacyUpgradeMode(true); // linked without a request, which would need the wire's time
        rig.comm.chooseDevice(ports, port, "Quarnelo MK3");
        finished(rig.service.link());
        QVERIFY(rig.comm.linked());
        QCOMPARE(rig.comm.deviceSerialNumber(), port);
        QSignalSpy lost(&rig.comm, &Communication::deviceDisconnected);
        pedal.reset(); // pulled out
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.prompts.messages.size(), 1, 1000);
        QVERIFY(rig.service.watchingForReturn());

        std::unique_ptr<PedalProcess> again;
        if (meanwhile != "nothing") {
            again = std::make_unique<PedalProcess>(QStringList{});
            QVERIFY(QFile::remove(port)); // the link the pedal left behind leads nowhere
            QVERIFY(QFile::link(again->path(), meanwhile == "same" ? port : other));
        }
        clock->advance(3000); // the watch looks every second
        QCoreApplication::processEvents();
        QCOMPARE(rig.logged(QStringLiteral("the pedal %1 is back: linking").arg(port)), back);
        QCOMPARE(rig.core.log.lines().filter(" is back").size(), back ? 1 : 0);
        QCOMPARE(rig.comm.linked(), back);
        QCOMPARE(rig.service.watchingForReturn(), !back);
        QCOMPARE(rig.comm.deviceSerialNumber(), port); // another pedal is never linked unasked
        QCOMPARE(rig.prompts.messages, QStringList{Disconnected});
    }

    // Scan And Link that finds no pedal says so, once, as the editor always has: also when the
    // port it was given has gone.
    void scanFindingNoPedalSaysSo()
    {
        QTemporaryDir dir;
        CoreRig rig = onPort(dir.filePath("gone"));
        rig.core.update.server = QUrl();
        Editor editor(rig.core);
        editor.main()->menuScan->trigger();
        QCOMPARE(rig.prompts.messages, QStringList{"No device found"});
        QVERIFY(rig.logged("FT device count: 0"));
        QCOMPARE(editor.main()->lblDeviceName->text(), QString("No device found"));
        QVERIFY(!rig.comm.linked());
        QVERIFY(editor.main()->menuScan->isEnabled()); // to be chosen again once the pedal is in
    }

    void bootloaderHandshakeOverThePseudoTerminal()
    {
        PedalProcess pedal({"--start-in-bootloader"});
        CoreRig rig = onPort(pedal.path());
        rig.comm.setFirmwareUpgradeMode(true);
        rig.comm.setLegacyUpgradeMode(true);
        rig.core.d2xx->ReportDeviceErrors = true;
        finished(rig.service.scanAndLink());
        // A pseudo-terminal cannot take even parity; the exchange works all the same.
        QVERIFY(rig.core.log.lines().contains("FT_SetDataCharacteristics - Invalid parameter..."));
        QCOMPARE(rig.prompts.messages, QStringList{"Connection to bootloader succeeded, ready for firmware upgrade"});
        QCOMPARE(rig.service.gate(), GateState::BootloaderLinked);
    }
};

QTEST_MAIN(TestSerialEndToEnd)
#include "tst_serial_e2e.moc"
