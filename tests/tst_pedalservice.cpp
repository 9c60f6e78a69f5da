// The pedal service against the in-process simulated pedal: what it refuses to write, and what
// it tells the user when the pedal's answer cannot be used.
#include "support/Finish.h"
#include "CoreRig.h"
#include "pedal/SettingsMemory.h"
#include "presets/PresetFile.h"
#include "support/Clock.h"
#include "support/Prompts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Every message the pedal received but the device information requests.
QList<QByteArray> writes(CoreRig &rig)
{
    QList<QByteArray> out = rig.received();
    out.removeAll(QByteArray::fromHex("0200"));
    return out;
}

// What the pedal reports, by name.
CoreRig::Setup pedalWith(const QString &what)
{
    return [what](SimulatedPedal *p) {
        if (what == "firmware 14")
            p->state.firmware = 14;
        else if (what == "firmware 8")
            p->state.firmware = 8;
        else if (what == "algorithm 0014")
            p->state.algorithm = 14;
        else if (what == "effect 05")
            p->state.effect = 5;
        else if (what == "50 of 106 values")
            p->faults.shortAnswerValues = 50;
        else if (what == "a garbled answer")
            p->faults.garbled = true;
        else if (what == "its bootloader")
            p->startInBootloader(true); // left there synchronised: it refuses 02 00 with its NACK
        else if (what == "silence")
            p->faults.silent = true;
    };
}

QString presetFile(const QTemporaryDir &dir)
{
    PresetFile::PresetValues values{};
    values[0] = 0x007FE000; // Dry at its maximum: differs from the pedal's
    const QString path = dir.filePath("preset.txt");
    QString error;
    PresetFile::write(path, values, &error);
    return path;
}
} // namespace

class TestPedalService : public QObject {
    Q_OBJECT
private slots:
    // A write the pedal's state does not allow is refused with its reason, and nothing reaches
    // the pedal after the request; a command that saves the pedal's values saves nothing.
    void writesTheStateDoesNotAllow_data()
    {
        QTest::addColumn<QString>("pedal");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("Dry, firmware 14") << "firmware 14" << "Dry"
                                          << "Changing Dry was refused: the pedal's firmware 14 is older than firmware 15";
        QTest::newRow("Dry, algorithm 0014") << "algorithm 0014" << "Dry"
                                             << "Changing Dry was refused: the pedal runs algorithm 0014";
        QTest::newRow("Assign, algorithm 0014") << "algorithm 0014" << "Assign" << "Assign was refused: the pedal runs algorithm 0014";
        QTest::newRow("preset load, firmware 8") << "firmware 8" << "preset load"
                                                 << "Load Local Preset was refused: the pedal's firmware 8 is older";
        QTest::newRow("preset save, firmware 8") << "firmware 8" << "preset save"
                                                 << "Save Local Preset was refused: the pedal's firmware 8 is older";
        QTest::newRow("Dry, an effect beyond the list") << "effect 05" << "Dry"
                                                        << "Changing Dry was refused: the parameter addresses are not known: the pedal's effect 05 is not in "
                                                           "this editor's effect list";
        QTest::newRow("Save Parameters, 50 of 106 values")
            << "50 of 106 values" << "Save Parameters"
            << "Save Parameters was refused: the pedal's settings are not known: its answer held 50 of 106 values";
        QTest::newRow("preset save, 50 of 106 values")
            << "50 of 106 values" << "preset save"
            << "Save Local Preset was refused: the pedal's settings are not known: its answer held 50 of 106 values";
        QTest::newRow("Save Parameters, a garbled answer") << "a garbled answer" << "Save Parameters"
                                                           << "Save Parameters was refused: the pedal's settings are not "
                                                              "known: the pedal's answer could not be read";
        QTest::newRow("Save Parameters, the bootloader") << "its bootloader" << "Save Parameters"
                                                         << "Save Parameters was refused: the pedal's settings are not "
                                                            "known: the pedal is in its bootloader";
        QTest::newRow("upload, 50 of 106 values")
            << "50 of 106 values" << "upload"
            << "Upload was refused: the pedal's settings are not known: its answer held 50 of 106 values";
        QTest::newRow("tuning upload, silence") << "silence" << "tuning upload"
                                                << "Tuning upload was refused: the pedal's settings are not known: the "
                                                   "pedal did not answer";
        QTest::newRow("tuning upload, the bootloader") << "its bootloader" << "tuning upload"
                                                       << "Tuning upload was refused: the pedal's settings are not "
                                                          "known: the pedal is in its bootloader";
        QTest::newRow(".dat upload, a garbled answer") << "a garbled answer" << ".dat upload"
                                                       << "Upload was refused: the pedal's settings are not known";
        QTest::newRow("Save Parameters, an effect beyond the list")
            << "effect 05" << "Save Parameters"
            << "Save Parameters was refused: the pedal's settings are not known: the pedal's effect 05";
    }
    void writesTheStateDoesNotAllow()
    {
        QFETCH(QString, pedal);
        QFETCH(QString, command);
        QFETCH(QString, message);
        CoreRig rig(pedalWith(pedal));
        QSignalSpy windows(&rig.service, &PedalService::effectWindowRequested);
        finished(rig.service.linkSimulated());
        const QString preset = presetFile(rig.docs);
        const QString saved = rig.docs.filePath("saved");
        rig.prompts.messages.clear();

        PedalService::Result result = PedalService::Result::Done;
        if (command == "Dry")
            result = rig.service.setControl(Parameter::Dry, 90);
        else if (command == "Assign")
            result = finished(rig.service.assign());
        else if (command == "preset load")
            result = finished(rig.service.loadPreset(preset));
        else if (command == "preset save")
            result = finished(rig.service.savePreset(saved));
        else if (command == "Save Parameters")
            result = finished(rig.service.saveParameters());
        else if (command == "upload")
            result = finished(rig.service.uploadSelectedAlgorithm()) == PedalService::UploadResult::Refused
                         ? PedalService::Result::Refused
                         : PedalService::Result::Done;
        else if (command == "tuning upload")
            result = finished(rig.service.uploadTuningData()) == PedalService::UploadResult::Refused ? PedalService::Result::Refused
                                                                                           : PedalService::Result::Done;
        else if (command == ".dat upload")
            result = finished(rig.service.uploadAlgorithmFile(preset)) == PedalService::UploadResult::Refused
                         ? PedalService::Result::Refused
                         : PedalService::Result::Done;

        QCOMPARE(result, PedalService::Result::Refused);
        QVERIFY2(!rig.prompts.messages.isEmpty() && rig.prompts.messages.last().startsWith(message),
                 qPrintable(rig.prompts.messages.join(" | ")));
        QVERIFY2(writes(rig).isEmpty(), qPrintable(writes(rig).value(0).toHex()));
        QVERIFY(!QFileInfo::exists(saved + ".txt"));
        for (const QString &m : rig.prompts.messages)
            QVERIFY2(!m.startsWith("Error loading resource") && !m.startsWith("File saved"), qPrintable(m));
        if (pedal == "effect 05")
            QCOMPARE(windows.size(), 0); // no effect window without its addresses
        QVERIFY(rig.service.state().shown[Parameter::Dry] != 90 || command != "Dry"); // the dial goes back
    }

    // The user is told why the answer could not be used, and the state is unknown, not zero.
    void requestThatGetsNoUsableAnswer_data()
    {
        QTest::addColumn<QString>("pedal");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("silence") << "silence" << "The pedal did not answer the device information request."
                                 << "device information request: no answer within 2000 ms";
        QTest::newRow("50 of 106 values") << "50 of 106 values" << "The pedal's answer was incomplete (50 of 106 values)"
                                          << "device information request: incomplete answer, 50 of 106 values";
        QTest::newRow("a garbled answer") << "a garbled answer" << "The pedal's answer could not be read ('"
                                          << "device information request: the answer could not be read: '";
        QTest::newRow("its bootloader") << "its bootloader"
                                        << "The pedal answered with its bootloader's byte 1F instead of its settings"
                                        << "device information request: the bootloader answered (1F)";
    }
    void requestThatGetsNoUsableAnswer()
    {
        QFETCH(QString, pedal);
        QFETCH(QString, message);
        QFETCH(QString, line);
        CoreRig rig(pedalWith(pedal));
        finished(rig.service.linkSimulated());
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY2(rig.prompts.messages[0].startsWith(message), qPrintable(rig.prompts.messages[0]));
        bool found = false;
        for (const QString &l : rig.core.log.lines())
            found = found || l.startsWith(line);
        QVERIFY2(found, qPrintable(line));
        const PedalState &s = rig.service.state();
        QVERIFY(!s.reported && !s.valuesKnown);
        QCOMPARE(s.parameters[Parameter::InputLevel].value, 0u); // never read, so never "read as zero" either:
        QVERIFY(!rig.service.requestInProgress());                // the store commands refuse (above)
        QVERIFY(rig.core.comm.pollRunning());
        QCOMPARE(rig.service.firmwareLabel(), QString("Device Firmware:"));
    }

    // An answer one value short gives nothing: the request forgets the pedal's settings (so no
    // backup is made of them), and the compare view's report keeps the last complete answer.
    void answerOneValueShort_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("message");
        QTest::newRow("request") << "request" << "The pedal's answer was incomplete (105 of 106 values)";
        QTest::newRow("report for compare") << "report" << "The pedal did not answer completely, so its values are not shown.";
    }
    void answerOneValueShort()
    {
        QFETCH(QString, reader);
        QFETCH(QString, message);
        CoreRig rig;
        finished(rig.service.linkSimulated());
        QVERIFY(rig.service.state().reported);
        const quint32 dryBefore = rig.service.state().reported->parameterWords[Parameter::Dry];
        const QByteArray answerBefore = rig.service.lastAnswerValues();
        rig.pedal()->state.parameters[Parameter::Dry] = 0x00100000; // changed on the pedal since
        rig.pedal()->faults.shortAnswerValues = 105;
        rig.prompts.messages.clear();

        const PedalService::Result r =
            reader == "request" ? finished(rig.service.requestDeviceInformation()) : finished(rig.service.readPedalReport());
        QCOMPARE(r, PedalService::Result::Failed);
        QVERIFY2(rig.prompts.messages.value(0).startsWith(message), qPrintable(rig.prompts.messages.join(" | ")));
        if (reader == "request") {
            QVERIFY(!rig.service.state().reported && !rig.service.state().valuesKnown);
            const PedalService::Backup b = rig.service.backUp("a test", rig.docs.filePath("backups"));
            QVERIFY(!b.made);
            QCOMPARE(b.problem, QString("the pedal's state is not known (its answer held 105 of 106 values)"));
        } else {
            QVERIFY(rig.service.state().reported);
            QCOMPARE(rig.service.state().reported->parameterWords[Parameter::Dry], dryBefore);
            QCOMPARE(rig.service.lastAnswerValues(), answerBefore);
        }
    }

    // Unlink while a slow pedal is being asked ends the request without blaming the cable.
    void unlinkWhileTheRequestWaits()
    {
        CoreRig rig([](SimulatedPedal *p) { p->faults.answerDelayMs = 1500; });
        ClockTimer *user = rig.clock.createTimer(&rig.service);
        user->setSingleShot(true);
        QObject::connect(user, &ClockTimer::timeout, &rig.service, [&] { rig.service.unlink(); });
        user->start(600); // the user chooses Unlink 600 ms into the request
        finished(rig.service.linkSimulated());
        QCoreApplication::processEvents();
        QCOMPARE(rig.prompts.messages, QStringList());
        QVERIFY(rig.logged("device information request: ended, the pedal is no longer linked"));
        QCOMPARE(rig.service.gate(), GateState::Unlinked);
        QVERIFY(!rig.service.requestInProgress());
        QVERIFY(!rig.core.comm.pollRunning());
    }

    // A link that reached the bootloader asks nothing of it: 02 00 is no bootloader command.
    void linkToTheBootloaderAsksNothing()
    {
        CoreRig rig([](SimulatedPedal *p) { p->inBootloader = true; });
        rig.core.comm.setFirmwareUpgradeMode(true); // Upgrade Mode chosen with firmware 9 or above
        finished(rig.service.linkSimulated());
        QCOMPARE(rig.prompts.messages, QStringList{"Connection to bootloader succeeded, ready for firmware upgrade"});
        QCOMPARE(rig.pedal()->record.size(), 1); // 7F only
        QCOMPARE(rig.service.gate(), GateState::BootloaderLinked);
        QVERIFY(rig.logged("device information request skipped: the line talks to the bootloader"));
        QCOMPARE(rig.service.setControl(Parameter::Dry, 90), PedalService::Result::Refused);
        QCOMPARE(rig.pedal()->record.size(), 1);
    }

    // A write that the state allows goes out exactly as before, and a known state is kept.
    void allowedWritesAfterACompleteAnswer()
    {
        CoreRig rig;
        finished(rig.service.linkSimulated());
        QVERIFY(rig.service.state().valuesKnown);
        QCOMPARE(rig.service.sendControl(Parameter::Dry, 90), PedalService::Result::Done);
        QCOMPARE(writes(rig), QList<QByteArray>{QByteArray::fromHex("010027003FC000")});
        QVERIFY(rig.logged("Send Dry string (standard par): 010027003FC000"));
        // A request that fails afterwards makes the values unknown again.
        rig.pedal()->faults.shortAnswerValues = 30;
        finished(rig.service.requestDeviceInformation());
        QVERIFY(!rig.service.state().valuesKnown);
        QCOMPARE(finished(rig.service.saveParameters()), PedalService::Result::Refused);
    }

    // A dial edit still held by the throttle reaches the pedal before a request asks for its
    // values; one made while an upload waits for its answer waits for that answer.
    void heldDialMessagesAndExchanges()
    {
        CoreRig rig;
        finished(rig.service.linkSimulated());
        rig.pedal()->record.clear();
        rig.service.setControl(Parameter::Dry, 0); // held by the throttle
        finished(rig.service.requestDeviceInformation());
        QCOMPARE(rig.pedal()->record.value(0).bytes, QByteArray::fromHex("010027006A8000"));
        QCOMPARE(rig.pedal()->record.value(1).bytes, QByteArray::fromHex("0200"));
        QCOMPARE(rig.service.state().shown[Parameter::Dry], 0); // the pedal's 852, on the step that sent it

        rig.pedal()->record.clear();
        SimulatedPedal *p = rig.pedal(); // the upload's answer comes after 3 s, the request's at once
        p->onMessage = [p](const SimulatedPedal::Message &m) {
            p->faults.answerDelayMs = !m.bytes.isEmpty() && m.bytes[0] == 0x00 ? 3000 : 0;
        };
        ClockTimer *user = rig.clock.createTimer(&rig.service);
        user->setSingleShot(true);
        qint64 movedAt = 0;
        QObject::connect(user, &ClockTimer::timeout, &rig.service, [&] {
            movedAt = rig.clock.nowMs();
            rig.service.setControl(Parameter::SubMix, 0);
        });
        user->start(1000); // during the upload's wait for its answer
        QCOMPARE(finished(rig.service.uploadSelectedAlgorithm()), PedalService::UploadResult::Done);
        qint64 answerAt = -1, subMixAt = -1;
        for (const auto &m : rig.pedal()->record) {
            if (m.bytes == QByteArray::fromHex("0200") && answerAt < 0)
                answerAt = m.atMs;
            if (m.bytes.startsWith(QByteArray::fromHex("010007")))
                subMixAt = m.atMs;
        }
        QVERIFY(movedAt > 0 && subMixAt > 0);
        QVERIFY2(subMixAt >= movedAt + 3000 - 1000 && subMixAt <= answerAt, "held until the answer, sent before the request");
    }

    // A command started by a timer or a queued event inside another command's pause gets nothing
    // onto the line in its middle: it is refused as busy, with the log line that says so, and the
    // command under way ends as it would have.
    void commandsStartedInsideAnotherCommandsPause_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("tuning upload") << 0;
        QTest::newRow("Save Parameters") << 1;
        QTest::newRow("Erase Settings") << 2;
    }
    void commandsStartedInsideAnotherCommandsPause()
    {
        QFETCH(int, operation);
        CoreRig rig;
        finished(rig.service.linkSimulated());
        rig.clock.advance(2000);
        rig.pedal()->record.clear();
        rig.prompts.messages.clear();
        ClockTimer *intruder = rig.clock.createTimer(&rig.service);
        intruder->setSingleShot(true);
        PedalService::Result intruded = PedalService::Result::Done;
        QObject::connect(intruder, &ClockTimer::timeout, &rig.service,
                         [&] { intruded = finished(rig.service.requestDeviceInformation()); });
        intruder->start(5); // inside the operation's first pause
        bool done = false;
        if (operation == 0)
            done = finished(rig.service.uploadTuningData()) == PedalService::UploadResult::Done;
        else if (operation == 1)
            done = finished(rig.service.saveParameters()) == PedalService::Result::Done;
        else
            done = finished(rig.service.memory().eraseSettings()) == SettingsMemory::Outcome::Done;
        QVERIFY(done);
        QCOMPARE(intruded, PedalService::Result::Refused);
        QVERIFY(rig.logged("request ignored: an exchange with the pedal is under way"));
        QVERIFY(rig.prompts.messages.contains("Request was refused: the pedal is busy with another exchange."));
        if (operation == 0) // Save Parameters and Erase Settings ask the pedal themselves
            for (const auto &m : rig.pedal()->record)
                QVERIFY2(m.bytes != QByteArray::fromHex("0200"), "a request got onto the line");
    }
};

QTEST_GUILESS_MAIN(TestPedalService)
#include "tst_pedalservice.moc"
