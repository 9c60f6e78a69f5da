#include "support/Finish.h"
#include "CoreRig.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const QString UpgradeRequired = QStringLiteral("A firmware upgrade is required. Upgrade to Firmware 15");
const QString UploadAlgorithm =
    QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 0015");

} // namespace

class TestCommunication : public QObject {
    Q_OBJECT
private slots:
    void scanAndLink_data()
    {
        QTest::addColumn<int>("devices");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
    }
    void scanAndLink()
    {
        QFETCH(int, devices);
        CoreRig rig(devices);
        QSignalSpy gates(&rig.service, &PedalService::gateChanged);
        finished(rig.service.scanAndLink());
        QVERIFY(rig.logged(QStringLiteral("FT device count: %1").arg(devices)));
        if (devices == 0) {
            QCOMPARE(rig.prompts.messages, QStringList{"No device found"});
            QCOMPARE(rig.comm.deviceLabel(), QString("No device found"));
            QVERIFY(!rig.comm.linked());
            QCOMPARE(rig.comm.linkState().state(), LinkState::State::NotLinked);
            QVERIFY(gates.isEmpty());
            return;
        }
        QVERIFY(rig.prompts.messages.isEmpty());
        QVERIFY(rig.comm.linked());
        QCOMPARE(rig.service.gate(), GateState::RequestPassed);
        QCOMPARE(rig.comm.deviceLabel(), QString("Quarnelo MK3 linked"));
        // Every device is linked in turn and asked; the last one is the one in use.
        for (int i = 0; i < devices; ++i)
            QCOMPARE(rig.scan.pedal(i)->messagesWith(0x02), QList<QByteArray>{QByteArray::fromHex("0200")});
        QCOMPARE(rig.comm.deviceSerialNumber(), QString::fromLatin1(rig.scan.pedal(devices - 1)->serialNumber));
        QVERIFY(rig.comm.pollRunning());
        QVERIFY(!rig.service.requestInProgress());
        // The answer's numbers are kept with the link.
        QCOMPARE(rig.comm.linkState().state(), LinkState::State::RunningFirmware);
        QCOMPARE(rig.comm.linkState().firmware(), int(rig.scan.pedal(devices - 1)->state.firmware));
        QCOMPARE(rig.comm.linkState().algorithm(), int(rig.scan.pedal(devices - 1)->state.algorithm));
    }

    void versionGates_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("algorithm");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("gate");
        QTest::addColumn<bool>("readBacks");
        QTest::newRow("15 / 0015 passes") << 15 << 15 << QStringList{} << int(GateState::RequestPassed) << true;
        QTest::newRow("16 / 0016 passes") << 16 << 16 << QStringList{} << int(GateState::RequestPassed) << true;
        QTest::newRow("firmware 14") << 14 << 15 << QStringList{UpgradeRequired, "legacy"}
                                     << int(GateState::FirmwareTooOld) << false;
        QTest::newRow("algorithm 0014") << 15 << 14 << QStringList{UploadAlgorithm}
                                        << int(GateState::AlgorithmTooOld) << false;
    }
    void versionGates()
    {
        QFETCH(int, firmware);
        QFETCH(int, algorithm);
        QFETCH(QStringList, messages);
        QFETCH(int, gate);
        QFETCH(bool, readBacks);
        CoreRig rig(1);
        rig.scan.pedal()->state.firmware = quint8(firmware);
        rig.scan.pedal()->state.algorithm = quint16(algorithm);
        QSignalSpy readBackSpy(&rig.service, &PedalService::readBacksApplied);
        QSignalSpy effectSpy(&rig.service, &PedalService::effectSelected);
        finished(rig.service.scanAndLink());
        QCOMPARE(rig.service.firmwareLabel(), QStringLiteral("Device Firmware: %1").arg(firmware));
        QCOMPARE(rig.service.algorithmLabel(), QStringLiteral("Device Algorithm: %1").arg(algorithm, 4, 10, QLatin1Char('0')));
        QCOMPARE(rig.prompts.messages.size(), messages.size());
        if (messages.size() == 2) {
            QCOMPARE(rig.prompts.messages[0], messages[0]);
            QVERIFY(rig.prompts.messages[1].startsWith("If current firmware is below 9 follow legacy firmware upgrade mode:\r\n"));
            QVERIFY(rig.prompts.messages[1].endsWith("follow instructions."));
        } else {
            QCOMPARE(rig.prompts.messages, messages);
        }
        QCOMPARE(int(rig.service.gate()), gate);
        QCOMPARE(readBackSpy.size(), readBacks ? 1 : 0);
        QCOMPARE(rig.service.requestInProgress(), false); // a request that finds old firmware ends too
        QCOMPARE(rig.comm.pollRunning(), readBacks);
        // The algorithm check still selects the pedal's effect so its image can be uploaded.
        QCOMPARE(effectSpy.size(), firmware >= 15 ? 1 : 0);
    }

    void requestLogsTheAnswer()
    {
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        for (const char *line : {"********************REQUEST********************", "num of bytes received: 106",
                                 "received_bytes_array size: 106", "0:    0F", "2:    15", "105:    00",
                                 "Firmware Version: 15", "Algorithm version: 0015", "Current device firmware: 15",
                                 "Most recent firmware: 15", "Effect Number: 00", "firmware upgrade mode: False",
                                 "baud rate = 115200"})
            QVERIFY2(rig.logged(QString::fromLatin1(line)), line);
        QCOMPARE(rig.service.lastAnswerValues(), rig.scan.pedal()->deviceInformationValues());
        QVERIFY(rig.clock.pauses.isEmpty()); // the answer is waited for, never slept for
    }

    void unlinkRestoresTheStartupCommands()
    {
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        QVERIFY(rig.service.unlink());
        QCOMPARE(rig.comm.deviceLabel(), QString("Quarnelo MK3 ")); // the blank before "linked" stays
        QCOMPARE(rig.service.gate(), GateState::Unlinked);
        QVERIFY(!rig.comm.linked());
        QVERIFY(!rig.comm.pollRunning());
        // Closing again fails: nothing changes.
        QVERIFY(!rig.service.unlink());
    }

    void silentPedalEndsTheWait()
    {
        CoreRig rig(1);
        rig.scan.pedal()->faults.silent = true;
        const qint64 start = rig.clock.nowMs();
        finished(rig.service.scanAndLink());
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY(rig.prompts.messages[0].startsWith("The pedal did not answer"));
        QVERIFY(rig.logged("device information request: no answer within 2000 ms"));
        const qint64 waited = rig.clock.nowMs() - start;
        QVERIFY(waited >= 2000 && waited < 3000);
        // Never a spin: every poll of the queue is followed by a wait of up to 10 ms.
        QVERIFY(rig.clock.eventPasses <= rig.clock.activityWaits + 2);
        QVERIFY(rig.clock.activityWaits <= 2000 / 10 + 2);
        // The editor stays usable: commands on, poll running, controls not silenced.
        QCOMPARE(rig.service.gate(), GateState::Linked);
        QVERIFY(!rig.service.requestInProgress());
        QVERIFY(rig.comm.pollRunning());
        // A second request works once the pedal speaks again.
        rig.scan.pedal()->faults.silent = false;
        finished(rig.service.requestDeviceInformation());
        QCOMPARE(rig.service.gate(), GateState::RequestPassed);
    }

    void incompleteAnswer_data()
    {
        QTest::addColumn<int>("values");
        QTest::newRow("40 values") << 40;
        QTest::newRow("105 values") << 105;
        QTest::newRow("nothing but markers") << 0;
    }
    void incompleteAnswer()
    {
        QFETCH(int, values);
        CoreRig rig(1);
        rig.scan.pedal()->faults.shortAnswerValues = values;
        QSignalSpy readBackSpy(&rig.service, &PedalService::readBacksApplied);
        finished(rig.service.scanAndLink());
        QVERIFY(rig.service.lastAnswerValues().size() == values);
        QCOMPARE(readBackSpy.size(), 0);
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY(rig.prompts.messages[0].startsWith(values ? QStringLiteral("The pedal's answer was incomplete (%1 of 106").arg(values)
                                                          : QStringLiteral("The pedal did not answer")));
        QVERIFY(!rig.service.requestInProgress());
        QCOMPARE(rig.service.firmwareLabel(), QString("Device Firmware:"));
    }

    void answerArrivingInPiecesIsGathered()
    {
        CoreRig rig(1);
        rig.scan.pedal()->wireTiming = true;
        rig.scan.pedal()->faults.answerDelayMs = 185; // half of it is there at the first read
        finished(rig.service.scanAndLink());
        QCOMPARE(rig.service.lastAnswerValues(), rig.scan.pedal()->deviceInformationValues());
        QCOMPARE(rig.service.gate(), GateState::RequestPassed);
    }

    void lateAnswerIsNotTakenForTheNextOne()
    {
        CoreRig rig(1);
        rig.scan.pedal()->faults.answerDelayMs = 2600;
        finished(rig.service.scanAndLink());
        QVERIFY(rig.prompts.messages.value(0).startsWith("The pedal did not answer"));
        rig.clock.advance(1000); // the late answer is now queued
        rig.scan.pedal()->faults.answerDelayMs = 0;
        rig.scan.pedal()->state.firmware = 16;
        finished(rig.service.requestDeviceInformation());
        QCOMPARE(rig.service.deviceFirmwareText(), QString("16"));
        QCOMPARE(rig.service.lastAnswerValues().size(), 106);
    }

    // The pedal answers in order: after a request gave up, the next answer to arrive is its
    // answer, however late, and is dropped wherever it is read (by the poll, before the next
    // request, or during it). Only an answer sent after the firmware changed to 16 may be taken.
    void lateAnswerBelongsToItsRequest_data()
    {
        QTest::addColumn<int>("pollMs");       // the poll runs this long after the failed request
        QTest::addColumn<int>("nextDelayMs");  // the pedal's delay for the next answer
        QTest::addColumn<bool>("answered");    // the next request gets its own answer in time
        QTest::addColumn<QString>("droppedAt");
        QTest::newRow("read by the poll") << 500 << 0 << true << "read by the poll";
        QTest::newRow("arriving as the next request begins, answered in time")
            << 0 << 500 << true << "before the request";
        QTest::newRow("arriving as the next request begins, late again") << 0 << 2100 << false << "before the request";
        QTest::newRow("queued before the next request, the poll stopped") << -1 << 0 << true << "read by the poll";
    }
    void lateAnswerBelongsToItsRequest()
    {
        QFETCH(int, pollMs);
        QFETCH(int, nextDelayMs);
        QFETCH(bool, answered);
        QFETCH(QString, droppedAt);
        CoreRig rig(1);
        SimulatedPedal *pedal = rig.scan.pedal();
        pedal->faults.answerDelayMs = 2100; // the limit is 2000
        finished(rig.service.scanAndLink());
        QVERIFY(rig.prompts.messages.value(0).startsWith("The pedal did not answer"));
        QCOMPARE(rig.comm.owedAnswers(), 1);
        int lateBytes = 0; // each value: 0x0A, its decimal digits, 0x0D
        for (const char v : pedal->deviceInformationValues())
            lateBytes += 2 + int(QString::number(quint8(v)).size());
        pedal->state.firmware = 16; // what the late answer does not say
        if (pollMs < 0) {
            rig.comm.stopPoll();
            rig.clock.advance(500); // the late answer waits in the queue
        } else {
            rig.clock.advance(pollMs);
        }
        pedal->faults.answerDelayMs = nextDelayMs;
        rig.prompts.messages.clear();
        finished(rig.service.requestDeviceInformation());
        QVERIFY2(rig.logged(QStringLiteral("dropped a late answer to an earlier request (%1 bytes, %2)")
                                .arg(lateBytes)
                                .arg(droppedAt)),
                 qPrintable(rig.core.log.lines().filter("dropped").join('\n')));
        if (answered) {
            QCOMPARE(rig.service.deviceFirmwareText(), QString("16"));
            QCOMPARE(rig.comm.owedAnswers(), 0);
        } else {
            QVERIFY(rig.prompts.messages.value(0).startsWith("The pedal did not answer"));
            QVERIFY(!rig.service.state().reported);
            QCOMPARE(rig.comm.owedAnswers(), 1);
        }
    }

    void deviceThatCannotBeOpened()
    {
        CoreRig rig(1);
        rig.comm.chooseSerialNumber("NOT-THERE", rig.comm.deviceLabel());
        finished(rig.service.link());
        QVERIFY(!rig.comm.linked());
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY(rig.prompts.messages[0].startsWith("The pedal could not be reached"));
        QCOMPARE(rig.service.gate(), GateState::Startup);
    }

    void unplugDuringTheRequest()
    {
        CoreRig rig(1);
        rig.scan.pedal()->faults.unplugAfterBytes = 2; // gone right after 02 00
        QSignalSpy lost(&rig.comm, &Communication::deviceDisconnected);
        finished(rig.service.scanAndLink());
        QCoreApplication::processEvents();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(rig.prompts.messages,
                 QStringList{"The pedal was disconnected. Connect it again and choose Scan And Link."});
        QCOMPARE(rig.service.gate(), GateState::Unlinked);
        QVERIFY(!rig.comm.linked());
        QVERIFY(!rig.comm.pollRunning());
        QCOMPARE(rig.comm.deviceLabel(), QString("Quarnelo MK3 "));
    }

    void legacyUpgradeModeSendsNoRequest()
    {
        CoreRig rig(1);
        rig.comm.setLegacyUpgradeMode(true);
        finished(rig.service.scanAndLink());
        QVERIFY(rig.comm.linked());
        QVERIFY(rig.scan.pedal()->record.isEmpty());
    }

    void bootloaderHandshake_data()
    {
        QTest::addColumn<int>("fault"); // 0 none, 1 NACK, 2 silent
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("received");
        QTest::newRow("ACK") << 0 << "Connection to bootloader succeeded, ready for firmware upgrade" << "79";
        QTest::newRow("NACK") << 1 << "Connection to bootloader failed" << "1F";
        QTest::newRow("no answer") << 2 << "Connection to bootloader failed" << "";
    }
    void bootloaderHandshake()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QFETCH(QString, received);
        CoreRig rig(1);
        rig.scan.pedal()->inBootloader = true;
        rig.scan.pedal()->faults.nack = fault == 1;
        rig.scan.pedal()->faults.silent = fault == 2;
        rig.comm.setFirmwareUpgradeMode(true);
        rig.comm.setLegacyUpgradeMode(true);
        QSignalSpy ready(&rig.comm, &Communication::bootloaderReady);
        finished(rig.service.scanAndLink());
        QCOMPARE(rig.prompts.messages, QStringList{message});
        QCOMPARE(ready.size(), fault == 0 ? 1 : 0);
        QCOMPARE(rig.scan.pedal()->record.value(0).bytes, QByteArray("\x7F"));
        QVERIFY(rig.logged("received Byte: " + received));
        // Found: the line stays at the bootloader's 8E1 without the poll. Not found: the pedal
        // runs its firmware, so Upgrade Mode goes off and the line is a normal one again.
        QCOMPARE(rig.core.d2xx->FTParity, quint8(fault == 0 ? 2 : 0));
        QCOMPARE(rig.service.gate(), fault == 0 ? GateState::BootloaderLinked : GateState::Linked);
        QCOMPARE(rig.comm.pollRunning(), fault != 0);
        QCOMPARE(rig.comm.firmwareUpgradeMode(), fault == 0);
        QCOMPARE(rig.comm.linkState().state(), fault == 0 ? LinkState::State::Bootloader : LinkState::State::RunningFirmware);
        if (fault == 2)
            QVERIFY(rig.logged("no answer from the bootloader within 1000 ms"));
    }

    void noStaleBytesAreEverSent()
    {
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        rig.scan.pedal()->record.clear();
        rig.core.d2xx->FTTransmitBuffer[1] = 0x99;
        QVERIFY(!rig.comm.sendHexMessage("07G1", 2));
        QVERIFY(rig.scan.pedal()->record.isEmpty());
        QVERIFY(rig.logged("message not sent: '07G1' does not hold 2 bytes"));
        QVERIFY(rig.comm.sendHexMessage("070C", 2));
        QCOMPARE(rig.scan.pedal()->state.midiChannel, quint8(12));
    }

    void sendMessageWritesWholeOrNothing_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<qint64>("unplugAfter");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<quint32>("written");
        QTest::addColumn<QStringList>("wholeSignals");
        QTest::addColumn<QStringList>("failedSignals");
        const QByteArray midi12 = QByteArray::fromHex("070c");
        QTest::newRow("whole") << midi12 << qint64(-1) << true << 2u << QStringList{"070C"} << QStringList{};
        QTest::newRow("cut short") << midi12 << qint64(1) << true << 1u << QStringList{} << QStringList{"070C"};
        QTest::newRow("empty") << QByteArray() << qint64(-1) << true << 0u << QStringList{QString()} << QStringList{};
        QTest::newRow("larger than the transmit buffer") << QByteArray(D2XXUnit::BufferSize + 1, '\x07') << qint64(-1)
                                                         << false << 99u << QStringList{} << QStringList{};
    }
    void sendMessageWritesWholeOrNothing()
    {
        QFETCH(QByteArray, message);
        QFETCH(qint64, unplugAfter);
        QFETCH(bool, sent);
        QFETCH(quint32, written);
        QFETCH(QStringList, wholeSignals);
        QFETCH(QStringList, failedSignals);
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        rig.scan.pedal()->record.clear();
        if (unplugAfter >= 0)
            rig.scan.pedal()->faults.unplugAfterBytes = rig.scan.pedal()->bytesReceived + unplugAfter;
        QStringList whole, failed;
        connect(&rig.comm, &Communication::messageWritten, this, [&](const QString &text) { whole << text; });
        connect(&rig.comm, &Communication::writeFailed, this, [&](const QString &text) { failed << text; });
        quint32 count = 99;
        QCOMPARE(rig.comm.sendMessage(message, &count), sent);
        disconnect(&rig.comm, nullptr, this, nullptr);
        QCOMPARE(count, written);
        QCOMPARE(whole, wholeSignals);
        QCOMPARE(failed, failedSignals);
        if (!sent) {
            QVERIFY(rig.scan.pedal()->record.isEmpty());
            QVERIFY(rig.logged(QStringLiteral("message not sent: %1 bytes do not fit the transmit buffer").arg(message.size())));
        } else if (unplugAfter < 0 && !message.isEmpty()) {
            QCOMPARE(rig.scan.pedal()->record.last().bytes, message);
            QCOMPARE(rig.scan.pedal()->state.midiChannel, quint8(12));
        }
    }

    void dspWrite()
    {
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        rig.comm.writeDspMessage(0x0027, 0x003FC000);
        QVERIFY(rig.logged("write to DSP msg: 010027003FC000"));
        QCOMPARE(rig.scan.pedal()->record.last().bytes, QByteArray::fromHex("010027003FC000"));
        QCOMPARE(rig.scan.pedal()->state.parameters[0], 0x003FC000u);
    }

    void pollLogsAndHandsOnTheDump()
    {
        CoreRig rig(1);
        finished(rig.service.scanAndLink());
        QSignalSpy dumps(&rig.comm, &Communication::settingsDumpReceived);
        rig.scan.pedal()->inject(QByteArray::fromHex("010203"));
        rig.comm.pollDeviceData();
        QVERIFY(rig.logged("num of bytes read: 3"));
        QCOMPARE(dumps.size(), 0);
        rig.comm.sendHexMessage("0C5000000000", 6);
        rig.clock.advance(100);
        rig.comm.pollDeviceData();
        QVERIFY(rig.logged("num of bytes read: 16385"));
        QCOMPARE(dumps.size(), 1);
        QCOMPARE(dumps[0][0].toByteArray(), rig.scan.pedal()->state.settingsMemory); // the marker is not part of it
        QVERIFY(rig.core.d2xx->ReportDeviceErrors);
    }

    void refreshDeviceListAtStartup()
    {
        CoreRig rig(2);
        rig.comm.refreshDeviceList();
        QCOMPARE(rig.comm.serialMenuText(), QString("Device Serial: QMK3SIM01QMK3SIM02"));
        QCOMPARE(rig.comm.deviceLabel(), QString("Quarnelo MK3"));
        CoreRig none(0);
        none.comm.refreshDeviceList();
        QCOMPARE(none.comm.serialMenuText(), QString("Device Serial: "));
        QCOMPARE(none.comm.deviceLabel(), QString("No device found"));
    }

    void simulatedPedalIsLinkedOnRequestOnly()
    {
        CoreRig rig(0);
        finished(rig.service.scanAndLink()); // finds only real devices
        QCOMPARE(rig.prompts.messages, QStringList{"No device found"});
        finished(rig.service.linkSimulated());
        QVERIFY(rig.comm.linked());
        QVERIFY(rig.comm.linkedToSimulation());
        QCOMPARE(rig.service.gate(), GateState::RequestPassed);
    }
};

QTEST_GUILESS_MAIN(TestCommunication)
#include "tst_communication.moc"
