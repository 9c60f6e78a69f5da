// The pedal service's guard, whole: every command it knows, in every state of the link and the
// pedal that it refuses for. A refused command tells its reason and puts nothing on the wire; a
// command the state allows reaches the pedal.
#include "support/Finish.h"
#include "CoreRig.h"
#include "pedal/EditorCore.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/SettingsMemory.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/Prompts.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {
using Command = PedalService::Command;

struct Rig : CoreRig {
};

// Each command of the guard through the service's own entry point; true when it was refused.
struct CommandCase {
    Command command;
    const char *name;
    std::function<bool(Rig &)> run;
};

bool refused(PedalService::Result r) { return r == PedalService::Result::Refused; }
bool refused(PedalService::UploadResult r) { return r == PedalService::UploadResult::Refused; }
bool refused(SettingsMemory::Outcome r) { return r == SettingsMemory::Outcome::Refused; }

QString presetFile(const QTemporaryDir &dir)
{
    PresetFile::PresetValues values{};
    values[0] = 0x007FE000; // Dry at its maximum: differs from the pedal's
    const QString path = dir.filePath("preset.txt");
    QString error;
    PresetFile::write(path, values, &error);
    return path;
}

const QList<CommandCase> &commands()
{
    static const QList<CommandCase> all = {
        {Command::Request, "Request", [](Rig &r) { return refused(finished(r.service.requestDeviceInformation())); }},
        {Command::ParameterWrite, "Dry", [](Rig &r) { return refused(r.service.sendControl(Parameter::Dry, 90)); }},
        {Command::Bypass, "Bypass", [](Rig &r) { return refused(r.service.setBypass(!r.service.state().bypass)); }},
        {Command::Assign, "Assign", [](Rig &r) { return refused(finished(r.service.assign())); }},
        {Command::Footswitch, "Set Footswitch Mode", [](Rig &r) { return refused(r.service.setFootswitchMode()); }},
        {Command::Tuning, "Set Tuning", [](Rig &r) { return refused(finished(r.service.setTuning())); }},
        {Command::NoteFilters, "Note Cut", [](Rig &r) { return refused(finished(r.service.saveNoteFilters({40}))); }},
        {Command::SaveParameters, "Save Parameters", [](Rig &r) { return refused(finished(r.service.saveParameters())); }},
        {Command::ResetDefaults, "Set Assignable Parameters to Default",
         [](Rig &r) { return refused(finished(r.service.resetAssignableParameters(false))); }},
        {Command::PedalOption, "MIDI channel", [](Rig &r) { return refused(r.service.chooseMidiChannel(3)); }},
        {Command::PresetSave, "Save Local Preset",
         [](Rig &r) { return refused(finished(r.service.savePreset(r.docs.filePath("saved")))); }},
        {Command::PresetLoad, "Load Local Preset",
         [](Rig &r) { return refused(finished(r.service.loadPreset(presetFile(r.docs)))); }},
        {Command::AlgorithmUpload, "upload", [](Rig &r) { return refused(finished(r.service.uploadSelectedAlgorithm())); }},
        {Command::TuningUpload, "tuning upload", [](Rig &r) { return refused(finished(r.service.uploadTuningData())); }},
        {Command::MemoryTool, "Read E2P", [](Rig &r) { return refused(finished(r.service.memory().read("50"))); }},
        {Command::RawWrite, "Send",
         [](Rig &r) { return refused(r.service.memory().sendParameterWrite("0027", "003FC000")); }},
    };
    return all;
}

// The states the guard refuses for, each reached as a user gets there, with the reason it gives
// and the commands it still lets through.
struct StateCase {
    const char *name;
    const char *reason;
    QStringList allowed;
};

const QList<StateCase> &states()
{
    static const QList<StateCase> all = {
        {"in its bootloader", "the pedal is linked to its bootloader for a firmware upgrade", {}},
        // Linked as usual to a pedal that was started with SHIFT held: the request finds the
        // bootloader, which would take a message for the firmware as its own commands.
        {"answering from its bootloader", "the pedal is in its bootloader", {"Request"}},
        {"firmware 14", "the pedal's firmware 14 is older than firmware 15, which this editor needs",
         {"Request", "Read E2P", "Send"}},
        {"algorithm 0014", "the pedal runs algorithm 0014, older than 0015, which this editor edits",
         {"Request", "Note Cut", "MIDI channel", "upload", "tuning upload", "Read E2P", "Send"}},
        {"105 of 106 values", "the pedal's settings are not known: its answer held 105 of 106 values",
         {"Request", "Dry", "Bypass", "Assign", "Set Footswitch Mode", "Set Tuning", "Note Cut", "MIDI channel",
          "Read E2P", "Send"}},
        {"busy with an exchange", "the pedal is busy with another exchange", {}},
        {"not linked", "no pedal is linked", {}},
    };
    return all;
}

void putInto(Rig &rig, const QString &state)
{
    if (state == "answering from its bootloader")
        rig.pedal()->startInBootloader(true); // left there synchronised: it refuses 02 00 with its NACK
    else if (state == "firmware 14")
        rig.pedal()->state.firmware = 14;
    else if (state == "algorithm 0014")
        rig.pedal()->state.algorithm = 14;
    finished(rig.service.linkSimulated());
    if (state == "in its bootloader") {
        // Upgrade Mode on a pedal that answered completely: its values and addresses are known,
        // only the bootloader stands in the way until the upgrade.
        finished(rig.service.firmware().chooseUpgradeMode());
        QVERIFY(rig.core.comm.bootloaderLinked() && rig.service.state().valuesKnown);
    } else if (state == "105 of 106 values") {
        // A later request got one value short: the addresses of the first answer are still loaded.
        rig.pedal()->faults.shortAnswerValues = 105;
        QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Failed);
        QVERIFY(rig.service.state().addressesLoaded && !rig.service.state().reported);
    } else if (state == "busy with an exchange") {
        QVERIFY(rig.core.comm.tryBeginExchange(QStringLiteral("an earlier command")));
    } else if (state == "not linked") {
        QVERIFY(rig.service.unlink());
    }
}
} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void everyCommandInEveryState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("command"); // index into commands()
        QTest::addColumn<QString>("reason"); // empty: allowed
        QTest::addColumn<bool>("requestsAllowed");
        for (const StateCase &s : states())
            for (int c = 0; c < commands().size(); ++c) {
                const QString name = QLatin1String(commands()[c].name);
                const QString reason = s.allowed.contains(name) ? QString() : QString::fromLatin1(s.reason);
                QTest::addRow("%s: %s", s.name, commands()[c].name)
                    << QString::fromLatin1(s.name) << c << reason << s.allowed.contains("Request");
            }
    }
    void everyCommandInEveryState()
    {
        QFETCH(QString, state);
        QFETCH(int, command);
        QFETCH(QString, reason);
        QFETCH(bool, requestsAllowed);
        Rig rig;
        putInto(rig, state);
        if (QTest::currentTestFailed())
            return;
        const qsizetype mark = rig.pedal()->record.size();
        rig.prompts.messages.clear();
        const int logMark = rig.core.log.lineCount();

        const bool wasRefused = commands()[command].run(rig);
        rig.core.comm.endExchange();

        QStringList wire;
        for (qsizetype i = mark; i < rig.pedal()->record.size(); ++i)
            wire << rig.pedal()->record[i].bytes.toHex().toUpper();
        const QString shown = rig.prompts.messages.join(" | ");
        if (reason.isEmpty()) {
            QVERIFY2(!wasRefused, qPrintable(shown));
            QVERIFY2(!shown.contains(" was refused: "), qPrintable(shown));
            QVERIFY(!wire.isEmpty()); // the command reached the pedal
            return;
        }
        QVERIFY2(wasRefused, qPrintable(wire.join(' ')));
        // The reason is the state's own, or ends with it ("the pedal's settings are not known: ...").
        const QString told = rig.prompts.messages.value(rig.prompts.messages.size() - 1);
        QVERIFY2(told.contains(" was refused: ") && told.endsWith(": " + reason + "."), qPrintable(shown));
        const QString logged = reason == "the pedal is busy with another exchange"
                                   ? QStringLiteral(" ignored: an exchange with the pedal is under way")
                                   : ": " + reason;
        bool found = false;
        for (const QString &line : rig.core.log.lines().mid(logMark))
            found = found || ((line.contains(" refused: ") || line.contains(" ignored: ")) && line.endsWith(logged));
        QVERIFY2(found, qPrintable(logged));
        // Nothing on the wire; a command that saves the pedal's values may have asked for them.
        for (const QString &m : wire)
            QVERIFY2(requestsAllowed && m == "0200", qPrintable(wire.join(' ')));
        QVERIFY(!QFileInfo::exists(rig.docs.filePath("saved.txt")));
    }

    // Switched off and on, the pedal runs its firmware again: the next request that it answers
    // lifts the refusal the bootloader's answer brought.
    void theFirmwareAnsweringAgainLiftsTheBootloaderRefusal()
    {
        Rig rig;
        rig.pedal()->startInBootloader(true); // left there synchronised: it refuses 02 00 with its NACK
        finished(rig.service.linkSimulated());
        QCOMPARE(rig.service.setBypass(true), PedalService::Result::Refused);
        rig.pedal()->plugIn(false);
        QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Done);
        const qsizetype mark = rig.pedal()->record.size();
        QCOMPARE(rig.service.setBypass(true), PedalService::Result::Done);
        QCOMPARE(rig.pedal()->record.mid(mark).value(0).bytes, QByteArray::fromHex("0D01"));
    }

    // The table names every command the guard knows.
    void theTableCoversEveryCommand()
    {
        QSet<int> covered;
        for (const CommandCase &c : commands())
            covered << int(c.command);
        QCOMPARE(covered.size(), int(Command::RawWrite) + 1);
        QCOMPARE(commands().size(), covered.size());
    }
};

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
