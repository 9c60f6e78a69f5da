// The pedal service's guard, whole: every command it knows, in every state of the link and the
// pedal that it refuses for. A refused command tells its reason and puts nothing on the wire; a
// command the state allows reaches the pedal. And whatever way a command ends, it leaves nothing
// behind that refuses the next one as busy.
#include "support/Finish.h"
#include "CoreRig.h"
#include "pedal/BackupRestore.h"
#include "pedal/EditorCore.h"
#include "pedal/FirmwareUpgrade.h"
#include "support/ResultWords.h"
#include "pedal/RawLine.h"
#include "pedal/SettingsMemory.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/Prompts.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>

Q_DECLARE_METATYPE(Refusal)

namespace {
using Command = PedalService::Command;
using Reason = Refusal::Reason;

struct Rig : CoreRig {
    using CoreRig::CoreRig;
    QString snapshot; // a backup's snapshot, for Restore Backup
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
    Reason value;
    const char *reason;
    QStringList allowed;
};

const QList<StateCase> &states()
{
    static const QList<StateCase> all = {
        {"in its bootloader", Reason::BootloaderLinked, "the pedal is linked to its bootloader for a firmware upgrade", {}},
        // Linked as usual to a pedal that was started with SHIFT held: the request finds the
        // bootloader, which would take a message for the firmware as its own commands.
        {"answering from its bootloader", Reason::InBootloader, "the pedal is in its bootloader", {"Request"}},
        {"firmware 14", Reason::FirmwareTooOld, "the pedal's firmware 14 is older than firmware 15, which this editor needs",
         {"Request", "Read E2P", "Send"}},
        {"algorithm 0014", Reason::AlgorithmTooOld, "the pedal runs algorithm 0014, older than 0015, which this editor edits",
         {"Request", "Note Cut", "MIDI channel", "upload", "tuning upload", "Read E2P", "Send"}},
        {"105 of 106 values", Reason::SettingsUnknown, "the pedal's settings are not known: its answer held 105 of 106 values",
         {"Request", "Dry", "Bypass", "Assign", "Set Footswitch Mode", "Set Tuning", "Note Cut", "MIDI channel",
          "Read E2P", "Send"}},
        {"busy with an exchange", Reason::Busy, "the pedal is busy with another exchange", {}},
        {"not linked", Reason::NotLinked, "no pedal is linked", {}},
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

// ---- No command leaves the service busy ----------------------------------------------------

// How a command ended, in one word for every kind of result.
QString said(PedalService::Result r) { return resultWord(r); }
QString said(Uploads::Result r)
{
    switch (r) {
    case Uploads::Result::Done: return QStringLiteral("done");
    case Uploads::Result::Cancelled: return QStringLiteral("cancelled");
    case Uploads::Result::Refused: return QStringLiteral("refused");
    case Uploads::Result::NoAnswer: return QStringLiteral("no answer");
    case Uploads::Result::DeviceFailed: return QStringLiteral("device failed");
    case Uploads::Result::Unconfirmed: return QStringLiteral("unconfirmed");
    }
    return QStringLiteral("?");
}
QString said(SettingsMemory::Outcome r)
{
    return QStringList{"done", "refused", "cancelled", "failed"}.value(int(r), QStringLiteral("?"));
}
QString said(FirmwareUpgrade::Outcome r)
{
    return QStringList{"done", "refused", "cancelled", "failed", "unverified"}.value(int(r), QStringLiteral("?"));
}
QString said(BackupRestore::Result r)
{
    return QStringList{"done", "refused", "cancelled", "failed"}.value(int(r), QStringLiteral("?"));
}
QString said(RawLine::Outcome r) { return QStringList{"done", "refused", "cancelled"}.value(int(r), QStringLiteral("?")); }
QString said(const BackupRestore::Outcome &o) { return said(o.result); }
QString said(const RawLine::Sent &s) { return said(s.outcome); }
// A command's task, ending with how the command ended.
template <typename T>
Task<QString> saying(Task<T> command)
{
    co_return said(co_await std::move(command));
}
// A command that ends inside its call, as a task.
Task<QString> ended(QString outcome) { co_return outcome; }
QString linkSaid(Rig &r)
{
    return r.comm.bootloaderLinked() ? QStringLiteral("bootloader linked")
           : r.comm.linked()         ? QStringLiteral("linked")
                                     : QStringLiteral("not linked");
}

// One command run to its end on the simulated pedal, as the person or the tool starts it.
struct EndCase {
    const char *name;
    std::function<void(Rig &)> prepare; // after the link, before the command: faults, answers
    std::function<Task<QString>(Rig &)> run;
    const char *outcome; // how it ends
    CoreRig::Setup pedalSetUp = {}; // the pedal before it is linked
    const char *next = "done";      // how the request that follows ends
};

void silent(Rig &r) { r.pedal()->faults.silent = true; }
void answerNo(Rig &r) { r.prompts.answers = {false}; }

const QList<EndCase> &endings()
{
    using R = Rig;
    static const QList<EndCase> all = {
        {"Request", {}, [](R &r) { return saying(r.service.requestDeviceInformation()); }, "done"},
        {"Request, the pedal silent", silent,
         [](R &r) { return saying(r.service.requestDeviceInformation()); }, "failed"},
        {"Request, the pedal unplugged", [](R &r) { r.pedal()->faults.unplugAfterBytes = 0; },
         [](R &r) { return saying(r.service.requestDeviceInformation()); }, "failed"},
        // The pedal's answer is whole, but names what this editor cannot edit.
        {"Request, firmware 14", {}, [](R &r) { return saying(r.service.requestDeviceInformation()); }, "failed",
         [](SimulatedPedal *p) { p->state.firmware = 14; }, "failed"},
        {"Request, algorithm 0014", {}, [](R &r) { return saying(r.service.requestDeviceInformation()); }, "failed",
         [](SimulatedPedal *p) { p->state.algorithm = 14; }, "failed"},
        {"Request, effect 10, not in the list", {}, [](R &r) { return saying(r.service.requestDeviceInformation()); }, "failed",
         [](SimulatedPedal *p) { p->state.effect = 10; }, "failed"},
        {"Read report", {}, [](R &r) { return saying(r.service.readPedalReport()); }, "done"},
        {"Read report, the pedal silent", silent,
         [](R &r) { return saying(r.service.readPedalReport()); }, "failed"},
        {"Dry", {}, [](R &r) { return ended(said(r.service.sendControl(Parameter::Dry, 90))); }, "done"},
        {"Bypass", {}, [](R &r) { return ended(said(r.service.setBypass(true))); }, "done"},
        {"Assign", {}, [](R &r) { return saying(r.service.assign()); }, "done"},
        {"Assign, answered No", answerNo, [](R &r) { return saying(r.service.assign()); },
         "cancelled"},
        {"Set Footswitch Mode", {}, [](R &r) { return ended(said(r.service.setFootswitchMode())); }, "done"},
        {"Set Tuning", {}, [](R &r) { return saying(r.service.setTuning()); }, "done"},
        {"Set Tuning, answered No", answerNo,
         [](R &r) { return saying(r.service.setTuning()); }, "cancelled"},
        {"Note Cut", {}, [](R &r) { return saying(r.service.saveNoteFilters({40})); }, "done"},
        {"Save Parameters", {}, [](R &r) { return saying(r.service.saveParameters()); }, "done"},
        {"Save Parameters, answered No", answerNo,
         [](R &r) { return saying(r.service.saveParameters()); }, "cancelled"},
        // Its request gets no answer: the values it would store are not known.
        {"Save Parameters, the pedal silent", silent,
         [](R &r) { return saying(r.service.saveParameters()); }, "refused"},
        {"Set Assignable Parameters to Default", {},
         [](R &r) { return saying(r.service.resetAssignableParameters(false)); }, "done"},
        {"MIDI channel", {}, [](R &r) { return ended(said(r.service.chooseMidiChannel(3))); }, "done"},
        {"Instrument range, answered No", answerNo,
         [](R &r) { return saying(r.service.chooseInstrumentRange(1)); }, "cancelled"},
        {"Save Local Preset", {},
         [](R &r) { return saying(r.service.savePreset(r.docs.filePath("saved"))); }, "done"},
        {"Load Local Preset", {}, [](R &r) { return saying(r.service.loadPreset(presetFile(r.docs))); },
         "done"},
        {"upload", {}, [](R &r) { return saying(r.service.uploadSelectedAlgorithm()); }, "done"},
        {"upload, answered No", answerNo,
         [](R &r) { return saying(r.service.uploadSelectedAlgorithm()); }, "cancelled"},
        {"upload, the pedal silent", [](R &r) { r.pedal()->faults.silent = true; },
         [](R &r) { return saying(r.service.uploadSelectedAlgorithm()); }, "no answer"},
        {"tuning upload", {}, [](R &r) { return saying(r.service.uploadTuningData()); }, "done"},
        {"tuning upload, answered No", answerNo,
         [](R &r) { return saying(r.service.uploadTuningData()); }, "cancelled"},
        {"Read E2P", {}, [](R &r) { return saying(r.service.memory().read("50")); }, "done"},
        {"Read E2P, the pedal silent", silent,
         [](R &r) { return saying(r.service.memory().read("50")); }, "failed"},
        {"Erase Settings", {}, [](R &r) { return saying(r.service.memory().eraseSettings()); },
         "done"},
        {"Erase Settings, answered No", answerNo,
         [](R &r) { return saying(r.service.memory().eraseSettings()); }, "cancelled"},
        {"Erase E2P, answered No", answerNo,
         [](R &r) { return saying(r.service.memory().eraseWithQuestion("50")); }, "cancelled"},
        {"Send", {}, [](R &r) { return ended(said(r.service.memory().sendParameterWrite("0027", "003FC000"))); },
         "done"},
        {"raw message", {},
         [](R &r) { return saying(r.service.rawLine().sendGuarded(QByteArray::fromHex("0D01"), QStringLiteral("send"))); },
         "done"},
        {"Restore Backup", [](R &r) {
             r.snapshot = r.service.backUp(QStringLiteral("test"), r.docs.filePath("backups")).files.snapshot;
             r.service.useValue(Parameter::Dry, 0);
         },
         [](R &r) { return saying(r.service.backups().restore(r.snapshot)); }, "done"},
        {"Restore Backup, answered No", [](R &r) {
             r.snapshot = r.service.backUp(QStringLiteral("test"), r.docs.filePath("backups")).files.snapshot;
             r.service.useValue(Parameter::Dry, 0);
             r.prompts.answers = {false};
         },
         [](R &r) { return saying(r.service.backups().restore(r.snapshot)); },
         "cancelled"},
        {"Upgrade Mode, answered No", answerNo,
         [](R &r) -> Task<QString> {
             co_await r.service.firmware().chooseUpgradeMode();
             co_return linkSaid(r);
         },
         "linked"},
        {"Upgrade Mode, the pedal silent", silent,
         [](R &r) -> Task<QString> {
             co_await r.service.firmware().chooseUpgradeMode();
             co_return linkSaid(r);
         },
         "linked"},
        {"Upgrade Mode and Upgrade Firmware", [](R &r) { r.service.firmware().selectImage(QStringLiteral("Firmware_15")); },
         [](R &r) -> Task<QString> {
             co_await r.service.firmware().chooseUpgradeMode();
             co_return said(co_await r.service.firmware().upgrade());
         },
         "done", [](SimulatedPedal *p) { p->state.firmware = 12; }},
        {"Link Simulated again", {},
         [](R &r) -> Task<QString> {
             co_await r.service.linkSimulated();
             co_return linkSaid(r);
         },
         "linked"},
        {"Scan And Link", {},
         [](R &r) -> Task<QString> {
             co_await r.service.scanAndLink();
             co_return linkSaid(r);
         },
         "linked"},
        {"Unlink", {}, [](R &r) { return ended(r.service.unlink() ? linkSaid(r) : QStringLiteral("kept")); },
         "not linked"},
        {"closing with unsaved values, Cancel", [](R &r) { r.service.useValue(Parameter::InputLevel, 0); },
         [](R &r) { return saying(r.service.settleUnsavedParameters(QStringLiteral("closing the editor"))); },
         "cancelled"},
    };
    return all;
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
        QTest::addColumn<int>("value");      // the refusal's reason, as a value
        QTest::addColumn<bool>("requestsAllowed");
        for (const StateCase &s : states())
            for (int c = 0; c < commands().size(); ++c) {
                const QString name = QLatin1String(commands()[c].name);
                const bool allowed = s.allowed.contains(name);
                QTest::addRow("%s: %s", s.name, commands()[c].name)
                    << QString::fromLatin1(s.name) << c << (allowed ? QString() : QString::fromLatin1(s.reason))
                    << int(allowed ? Reason::None : s.value) << s.allowed.contains("Request");
            }
    }
    void everyCommandInEveryState()
    {
        QFETCH(QString, state);
        QFETCH(int, command);
        QFETCH(QString, reason);
        QFETCH(int, value);
        QFETCH(bool, requestsAllowed);
        Rig rig;
        putInto(rig, state);
        if (QTest::currentTestFailed())
            return;
        // The guard's answer is the state's reason as a value, or a value that gives it as the
        // reason the pedal's settings are not known ("...: the pedal is in its bootloader").
        const Refusal refusal = rig.service.refusal(commands()[command].command);
        if (!reason.isEmpty()) {
            QVERIFY2(int(refusal.reason) == value || refusal.why == reason, qPrintable(rig.service.refusalText(refusal)));
            QVERIFY2(rig.service.refusalText(refusal).endsWith(reason), qPrintable(rig.service.refusalText(refusal)));
        }
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
        const QString logged = value == int(Reason::Busy)
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

    // Each reason, worded once for the log line and the message; a busy line is "ignored" in the
    // log. The next step of a reason is the editor's (these prompts speak its words).
    void refusalWords_data()
    {
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *name, const Refusal &r, const QString &what, const QString &reason) {
            QTest::newRow(name) << r << what << what + " refused: " + reason
                                << QString(what).replace(0, 1, what[0].toUpper()) + " was refused: " + reason + ".";
        };
        QTest::newRow("busy") << Refusal{Reason::Busy} << "changing Dry"
                              << "changing Dry ignored: an exchange with the pedal is under way"
                              << "Changing Dry was refused: the pedal is busy with another exchange.";
        row("upgrade under way", {Reason::UpgradeUnderWay}, "unlink", "a firmware upgrade is under way");
        row("not linked", {Reason::NotLinked}, "request", "no pedal is linked");
        row("linked to the bootloader", {Reason::BootloaderLinked}, "Save Parameters",
            "the pedal is linked to its bootloader for a firmware upgrade");
        row("answered from the bootloader", {Reason::InBootloader}, "Bypass", "the pedal is in its bootloader");
        row("not in the bootloader", {Reason::NotInBootloader}, "upgrade firmware",
            "the pedal is not in its bootloader; turn Upgrade Mode on in the Firmware Upgrade menu first");
        row("firmware too old", Refusal::tooOld(Reason::FirmwareTooOld, "9", 15), "Assign",
            "the pedal's firmware 9 is older than firmware 15, which this editor needs");
        row("algorithm too old", Refusal::tooOld(Reason::AlgorithmTooOld, "0008", 15), "Set Tuning",
            "the pedal runs algorithm 0008, older than 0015, which this editor edits");
        row("settings unknown", Refusal::notKnown(Reason::SettingsUnknown, "its answer held 40 of 106 values"),
            "Save Parameters", "the pedal's settings are not known: its answer held 40 of 106 values");
        row("addresses unknown",
            Refusal::notKnown(Reason::AddressesUnknown, "the pedal's effect 9 is not in this editor's effect list"),
            "changing Dry", "the parameter addresses are not known: the pedal's effect 9 is not in this editor's effect list");
        row("an address not hex", Refusal::typedInput(Reason::AddressNotHex, "5G"), "Read E2P",
            "the I2C address '5G' is not two hex digits");
        row("a long address cut short", Refusal::typedInput(Reason::AddressNotHex, "0123456789abcdefghijKLMN"),
            "Erase E2P", "the I2C address '0123456789abcdefghij...' is not two hex digits");
        row("a write not hex", Refusal::typedInput(Reason::WriteNotHex, "27", "003FC000"), "Send",
            "the address must be four hex digits and the data eight (they hold '27' and '003FC000'); nothing was sent");
        row("a large change", {Reason::LargeChange}, "Send", "the message changes the pedal in a large way");
    }
    void refusalWords()
    {
        QFETCH(Refusal, refusal);
        QFETCH(QString, what);
        QFETCH(QString, logged);
        QFETCH(QString, told);
        Rig rig;
        rig.service.refuse(what, refusal);
        QCOMPARE(rig.core.log.lines().last(), logged);
        QCOMPARE(rig.prompts.messages, QStringList{told});
        QVERIFY(refusal);
        QVERIFY(!Refusal{});
        QVERIFY(rig.service.refusalText(Refusal{}).isEmpty());
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

    // Every command, however it ends (done, refused, cancelled, failed; the pedal silent, a
    // question answered No), leaves the service free: nothing is refused as busy afterwards, no
    // wait is under way, no exchange is held, and a request that follows reaches the pedal and is
    // answered. The commands run as on the real clock: their waits suspend them.
    void noCommandLeavesTheServiceBusy_data()
    {
        QTest::addColumn<int>("row"); // index into endings()
        for (int i = 0; i < endings().size(); ++i)
            QTest::newRow(endings()[i].name) << i;
    }
    // While a command's question is open (a box the person has not answered yet), the command
    // runs: every other command is refused as busy, and nothing reaches the pedal, not from the
    // poll, the dial throttle or the return watch either, however long the person takes.
    void anOpenQuestionKeepsItsCommandRunning_data()
    {
        QTest::addColumn<int>("row");
        const QList<const char *> names = {"Assign", "Set Tuning", "Save Parameters", "Instrument range", "upload",
                                           "tuning upload", "Erase Settings", "Upgrade Mode"};
        for (int i = 0; i < names.size(); ++i)
            QTest::newRow(names[i]) << i;
    }
    void anOpenQuestionKeepsItsCommandRunning()
    {
        QFETCH(int, row);
        Rig rig;
        finished(rig.service.linkSimulated());
        QVERIFY(rig.comm.linked());
        const QList<std::function<Task<QString>(Rig &)>> starts = {
            [](Rig &r) { return saying(r.service.assign()); },
            [](Rig &r) { return saying(r.service.setTuning()); },
            [](Rig &r) { return saying(r.service.saveParameters()); },
            [](Rig &r) { return saying(r.service.chooseInstrumentRange(0xBA)); },
            [](Rig &r) { return saying(r.service.uploadSelectedAlgorithm()); },
            [](Rig &r) { return saying(r.service.uploadTuningData()); },
            [](Rig &r) { return saying(r.service.memory().eraseSettings()); },
            [](Rig &r) -> Task<QString> {
                co_await r.service.firmware().chooseUpgradeMode();
                co_return QStringLiteral("ended");
            },
        };
        rig.prompts.holdQuestions = true;
        Task<QString> command = starts[row](rig);
        QVERIFY(!command.done());
        QCOMPARE(rig.prompts.heldQuestions(), 1);
        const int sentBefore = int(rig.received().size());

        QVERIFY(rig.clock.waiting());
        QCOMPARE(rig.service.refusal(Command::Request).reason, Refusal::Reason::Busy);
        QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Refused);
        rig.service.setControl(Parameter::Dry, 90); // a dial turned meanwhile waits its turn in the throttle
        rig.clock.advance(5000); // the poll, the dial throttle, the return watch: all tick meanwhile
        QCOMPARE(int(rig.received().size()), sentBefore);
        QVERIFY(!command.done());

        rig.prompts.answerHeld(false);
        rig.clock.setDriven(true);
        QVERIFY(rig.clock.runUntil([&] { return command.done(); }, 60000));
        QVERIFY(!rig.clock.waiting());
        QVERIFY(rig.service.refusal(Command::Request).reason != Refusal::Reason::Busy);
    }

    void noCommandLeavesTheServiceBusy()
    {
        QFETCH(int, row);
        const EndCase &c = endings()[row];
        const bool scan = QByteArray(c.name).startsWith("Scan");
        Rig rig(scan ? 1 : 0, c.pedalSetUp);
        // Scan And Link reaches the pedal a scan finds, the other rows the simulated one.
        SimulatedPedal *pedal = scan ? rig.scan.pedal() : rig.pedal();
        const auto link = [&] { return scan ? rig.service.scanAndLink() : rig.service.linkSimulated(); };
        QVERIFY(rig.runToEnd(link));
        QVERIFY(rig.comm.linked());
        if (c.prepare)
            c.prepare(rig);

        const std::optional<QString> outcome = rig.runToEnd([&] { return c.run(rig); });
        QVERIFY2(outcome, "the command did not end within 600 s on the clock");
        QCOMPARE(*outcome, QString::fromLatin1(c.outcome));

        QVERIFY(!rig.clock.waiting());
        QVERIFY(!rig.comm.exchangeBusy());
        QVERIFY(!rig.service.uploads().uploading());
        QVERIFY(!rig.service.firmware().running());
        // A request that finds old firmware or an old algorithm ends too: a request left in
        // progress would keep the service putting an answer on the controls (no undo steps,
        // Bypass reported done and not sent) until a later request ended.
        QVERIFY(!rig.service.requestInProgress());
        for (const CommandCase &k : commands())
            QVERIFY2(rig.service.refusal(k.command).reason != Refusal::Reason::Busy, k.name);

        // The pedal answers again, and is linked again where the command let it go.
        pedal->faults = PedalFaults{};
        rig.prompts.answers.clear();
        if (pedal->inBootloader && !rig.comm.bootloaderLinked())
            pedal->plugIn(false); // left in its bootloader: switched off and on, as the person is told
        if (!rig.comm.linked()) {
            if (pedal->unplugged())
                pedal->plugIn(false);
            QVERIFY(rig.runToEnd(link));
            QVERIFY(rig.comm.linked());
        }
        const qsizetype mark = pedal->record.size();
        rig.prompts.messages.clear();
        const std::optional<QString> next = rig.runToEnd([&] { return saying(rig.service.requestDeviceInformation()); });
        QCOMPARE(next, std::optional(QString::fromLatin1(c.next)));
        QVERIFY2(!rig.prompts.messages.join(' ').contains(" was refused: "), qPrintable(rig.prompts.messages.join(" | ")));
        QCOMPARE(pedal->record.mid(mark).value(0).bytes, QByteArray::fromHex("0200"));
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
