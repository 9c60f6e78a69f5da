#include "pedal/BackupRestore.h"

#include "device/Communication.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/EditorVersion.h"
#include "support/Prompts.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString Banner = QStringLiteral("********************%1********************");

// A serial number that names a pedal: a pseudo-terminal's or a plain serial port's path is no
// identity of the pedal behind it.
bool identifiesAPedal(const QString &serial)
{
    return !serial.isEmpty() && !serial.startsWith(QLatin1Char('/')) && !serial.contains(QLatin1Char('\\'));
}

bool isAssignable(int parameter) { return ParameterCatalogue::all()[size_t(parameter)].record == RecordKind::Assignable; }
} // namespace

BackupRestore::BackupRestore(PedalService &service, DiagnosticLog &log, Prompts &prompts, Communication &comm)
    : m_service(service), m_log(log), m_prompts(prompts), m_comm(comm)
{
}

std::optional<PedalSettings> BackupRestore::knownSettings() const
{
    const PedalState &state = m_service.m_state;
    if (!state.reported)
        return std::nullopt;
    std::array<quint16, ParameterCatalogue::Count> addresses{};
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        addresses[size_t(i)] = state.parameters[size_t(i)].address;
    PedalSettings s = PedalSettings::fromReport(*state.reported, addresses);
    // What the editor sent since the answer: its values and the settings last sent.
    if (state.valuesKnown) {
        // A dial on the pedal's own scale holds the word it sent: kept as the pedal reports it.
        for (int i = 0; i < ParameterCatalogue::Count; ++i)
            s.words[size_t(i)] = DialMath::ownScaleWord(state.parameters[size_t(i)].value,
                                                        ParameterCatalogue::all()[size_t(i)].fullScale);
    }
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
        if (s.assignItems[size_t(c)])
            s.assignItems[size_t(c)] = m_service.m_sentAssignItems[size_t(c)];
    }
    if (s.shortPressChangesPreset && s.longPressBypasses) {
        s.shortPressChangesPreset = m_service.m_sentFootswitch.first;
        s.longPressBypasses = m_service.m_sentFootswitch.second;
    }
    if (s.tuningItem)
        s.tuningItem = m_service.m_sentTuning.first;
    if (s.semitoneVariation)
        s.semitoneVariation = m_service.m_sentTuning.second - 5;
    if (s.storeBypassStatus && state.storeBypassStatus)
        s.storeBypassStatus = state.storeBypassStatus;
    if (m_service.m_sentInstrumentRange)
        s.instrumentRange = m_service.m_sentInstrumentRange;
    if (m_service.m_sentMidiChannel >= 0)
        s.midiChannelItem = m_service.m_sentMidiChannel;
    s.noteFilters = m_service.m_sentNoteFilters;
    s.rangeLimitOn = state.rangeLimitOn;
    return s;
}

std::optional<BackupSnapshot> BackupRestore::snapshot(const QString &occasion,
                                                      const std::optional<BackupSnapshot::Memory> &memory) const
{
    const std::optional<PedalSettings> settings = knownSettings();
    if (!settings)
        return std::nullopt;
    const DeviceInformation &info = *m_service.m_state.reported;
    BackupSnapshot b;
    b.saved = m_service.m_clock.localNow();
    b.occasion = occasion;
    b.editorVersion = editorVersion();
    b.serialNumber = m_comm.deviceSerialNumber();
    b.firmware = info.firmware;
    b.algorithm = info.algorithmText();
    b.effect = info.effectText();
    b.bypass = info.bypass == 1;
    b.settings = *settings;
    b.answerValues = m_service.m_lastAnswerValues;
    b.settingsMemory = memory;
    return b;
}

void BackupRestore::sendWord(int parameter, quint32 word)
{
    PedalState &state = m_service.m_state;
    ParameterRecord &p = state.parameters[size_t(parameter)];
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(parameter)];
    const std::optional<int> shown = ParameterCatalogue::shownState(parameter, word);
    if (shown && (info.control == ControlKind::Dial ? !PedalService::sendsWordAsItIs(parameter)
                                                     : ParameterCatalogue::wordFor(parameter, *shown) == word)) {
        // A switch, check box or list item stands for its word exactly, and a dial on the pedal's
        // own scale takes only its step's word: sent as the control sends it.
        m_service.sendControl(parameter, *shown);
        return;
    }
    const Refusal reason = m_service.refusal(PedalService::Command::ParameterWrite);
    if (reason) {
        m_service.refuse(QStringLiteral("Restoring ") + p.name, reason);
        return;
    }
    if (shown) {
        state.shown[size_t(parameter)] = *shown;
        emit m_service.controlShown(parameter);
    }
    const QByteArray message = PedalMessages::parameterWrite(p.address, word);
    m_log.writeLogLine(QStringLiteral("Send ") + p.name +
                       (isAssignable(parameter) ? QStringLiteral(" string (assignable par): ")
                                                : QStringLiteral(" string (standard par): ")) +
                       HexCodec::bytesToHexText(message));
    m_comm.sendMessage(message);
    p.value = word;
}

Task<> BackupRestore::send(PedalSettings from, PedalSettings to)
{
    PedalState &state = m_service.m_state;
    // The note filters first: their message has the tuning's command byte, so the tuning goes
    // after it and is what the pedal keeps; it purges the transmit queue first, which would
    // throw away anything written just before it.
    if (to.noteFilters && to.noteFilters != from.noteFilters)
        co_await m_service.saveNoteFilters(*to.noteFilters);
    // Then the tuning: the note-cut assignments and check boxes need one.
    if ((to.tuningItem && to.tuningItem != from.tuningItem) ||
        (to.semitoneVariation && to.semitoneVariation != from.semitoneVariation)) {
        state.tuningItem = to.tuningItem.value_or(state.tuningItem);
        state.semitoneItem = to.semitoneVariation ? *to.semitoneVariation + 5 : state.semitoneItem;
        emit m_service.choicesChanged();
        co_await m_service.setTuning();
    }
    bool assignmentsDiffer = false;
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c)
        assignmentsDiffer = assignmentsDiffer || (to.assignItems[size_t(c)] && to.assignItems[size_t(c)] != from.assignItems[size_t(c)]);
    if (assignmentsDiffer) {
        for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
            if (to.assignItems[size_t(c)])
                m_service.chooseAssignment(c, *to.assignItems[size_t(c)]);
        }
        emit m_service.choicesChanged();
        co_await m_service.assign();
    }
    if (to.shortPressChangesPreset && to.longPressBypasses &&
        (to.shortPressChangesPreset != from.shortPressChangesPreset || to.longPressBypasses != from.longPressBypasses)) {
        m_service.chooseFootswitch(*to.shortPressChangesPreset, *to.longPressBypasses);
        emit m_service.choicesChanged();
        m_service.setFootswitchMode();
    }
    if (to.instrumentRange && to.instrumentRange != from.instrumentRange)
        co_await m_service.chooseInstrumentRange(*to.instrumentRange);
    if (to.storeBypassStatus && to.storeBypassStatus != from.storeBypassStatus)
        m_service.chooseBypassStatus(*to.storeBypassStatus);
    if (to.midiChannelItem && to.midiChannelItem != from.midiChannelItem)
        m_service.chooseMidiChannel(*to.midiChannelItem);
    if (to.rangeLimitOn && to.rangeLimitOn != from.rangeLimitOn)
        m_service.chooseRangeLimit(*to.rangeLimitOn);
    for (int i : ParameterCatalogue::showOrder()) {
        if (to.words[size_t(i)] != from.words[size_t(i)])
            sendWord(i, to.words[size_t(i)]);
    }
}

QStringList BackupRestore::beyondReach(const BackupSnapshot &backup) const
{
    const std::optional<DeviceInformation> held = DeviceInformation::fromValues(backup.answerValues);
    const PedalState &state = m_service.m_state;
    if (!held || !state.reported)
        return QStringList();
    std::array<quint16, ParameterCatalogue::Count> addresses{};
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        addresses[size_t(i)] = state.parameters[size_t(i)].address;
    return PedalSettings::beyondReach(*state.reported, *held, addresses);
}

BackupRestore::Outcome BackupRestore::finish(Outcome o)
{
    m_last = o;
    return o;
}

Task<BackupRestore::Outcome> BackupRestore::restore(QString givenPath)
{
    Outcome o;
    QString path = givenPath;
    if (path.isEmpty())
        path = co_await m_prompts.askFileToOpen(QStringLiteral("Restore Backup"),
                                                QStringLiteral("Backups (*snapshot.json);;All files (*)"),
                                                m_service.backupFolder());
    if (path.isEmpty()) {
        o.result = Result::Cancelled;
        co_return finish(o);
    }
    BackupSnapshot backup;
    QString error;
    if (!BackupSnapshot::load(path, &backup, &error, &o.backup)) {
        o.problem = error;
        m_log.writeLogLine(QStringLiteral("restore backup refused: ") + error);
        co_await m_prompts.tell(QStringLiteral("Restore Backup: %1. Nothing was sent.").arg(error));
        o.result = Result::Failed;
        co_return finish(o);
    }
    const QString name = QFileInfo(o.backup).fileName();
    const QString what = QStringLiteral("Restore Backup");
    // What the pedal holds now is read first: the restore sends only what differs.
    if (!m_service.allowed(PedalService::Command::PresetLoad, what, true)) {
        o.problem = m_service.refusalText(m_service.refusal(PedalService::Command::PresetLoad, true));
        o.result = Result::Refused;
        co_return finish(o);
    }
    co_await m_service.requestDeviceInformation();
    const std::optional<PedalSettings> before = knownSettings();
    if (!m_service.allowed(PedalService::Command::PresetLoad, what) || !before) {
        o.problem = m_service.refusalText(m_service.refusal(PedalService::Command::PresetLoad));
        if (o.problem.isEmpty())
            o.problem = QStringLiteral("the pedal's settings are not known");
        o.result = Result::Refused;
        co_return finish(o);
    }
    if (identifiesAPedal(backup.serialNumber) && identifiesAPedal(m_comm.deviceSerialNumber()) &&
        backup.serialNumber != m_comm.deviceSerialNumber()) {
        const QString otherPedal = QStringLiteral("%1 was saved from the pedal %2; the linked pedal is %3. Restore its "
                                                  "settings onto this pedal?")
                                       .arg(name, backup.serialNumber, m_comm.deviceSerialNumber());
        const bool ontoThisPedal = co_await m_prompts.ask(otherPedal);
        if (!ontoThisPedal) {
            o.result = Result::Cancelled;
            co_return finish(o);
        }
    }
    const QList<PedalSettings::Difference> differences = PedalSettings::differences(*before, backup.settings);
    for (const PedalSettings::Difference &d : differences)
        o.changes << PedalSettings::describe(d);
    o.notRestored = beyondReach(backup);
    const QString notRestored = QStringLiteral("not restored, since no message of the editor sends it: %1")
                                    .arg(o.notRestored.join(QStringLiteral(", ")));
    if (differences.isEmpty() && !o.notRestored.isEmpty()) {
        o.problem = notRestored;
        m_log.writeLogLine(QStringLiteral("restore backup failed: ") + o.problem);
        co_await m_prompts.tell(QStringLiteral("The pedal holds every setting of %1 that the editor can send; %2.").arg(name, notRestored));
        o.result = Result::Failed;
        co_return finish(o);
    }
    if (differences.isEmpty()) {
        m_log.writeLogLine(QStringLiteral("restore backup: the pedal already holds every setting of ") + o.backup);
        co_await m_prompts.tell(QStringLiteral("The pedal already holds every setting of %1.").arg(name));
        o.result = Result::Done;
        co_return finish(o);
    }
    QString question = QStringLiteral("%1 (saved %2) differs from the pedal in %3 %4:\r\n")
                           .arg(name, backup.saved.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                           .arg(differences.size())
                           .arg(differences.size() == 1 ? QStringLiteral("setting") : QStringLiteral("settings")) +
                       o.changes.join(QStringLiteral("\r\n"));
    if (backup.settingsMemory)
        question += QStringLiteral("\r\n\r\nThe backup also keeps the settings memory as it was before %1; no message "
                                   "writes it back, so it is not restored.")
                        .arg(backup.occasion.isEmpty() ? QStringLiteral("the erase") : backup.occasion);
    if (!o.notRestored.isEmpty())
        question += QStringLiteral("\r\n\r\nNot restored, since no message of the editor sends them: %1.")
                        .arg(o.notRestored.join(QStringLiteral(", ")));
    question += QStringLiteral("\r\n\r\nSend these settings to the pedal?");
    const bool confirmed = co_await m_prompts.ask(question);
    if (!confirmed) {
        o.result = Result::Cancelled;
        co_return finish(o);
    }

    m_log.writeLogLine(Banner.arg(QStringLiteral("RESTORE BACKUP")));
    m_log.writeLogLine(QStringLiteral("restore backup: ") + QDir::toNativeSeparators(o.backup));
    for (const QString &change : o.changes)
        m_log.writeLogLine(QStringLiteral("restore: ") + change);
    const PedalSettings after = backup.settings;
    co_await m_service.replaySteps([&]() -> Task<> { co_await send(*before, after); });
    // One step of the history: undo sends the settings the pedal held before.
    m_service.pushSetting(
        QStringLiteral("Restore Backup"),
        [this, b = *before, a = after] { m_service.replaySteps([this, a, b]() -> Task<> { co_await send(a, b); }).detach(); },
        [this, b = *before, a = after] { m_service.replaySteps([this, a, b]() -> Task<> { co_await send(b, a); }).detach(); });
    bool assignableChanged = false;
    for (const PedalSettings::Difference &d : differences)
        assignableChanged = assignableChanged || (d.parameter >= 0 && isAssignable(d.parameter));
    if (assignableChanged)
        co_await m_service.sendStoreSettings(); // the pedal keeps assignable values only after Save Parameters

    // Then the pedal is asked again, and what it reports is compared with the backup.
    co_await m_service.requestDeviceInformation();
    const std::optional<PedalSettings> now = m_service.m_state.reported ? knownSettings() : std::nullopt;
    for (const PedalSettings::Difference &d : differences) {
        if (!d.reportedBack)
            o.notChecked << d.name;
    }
    if (!now) {
        o.problem = QStringLiteral("the pedal did not answer completely after the restore, so whether it took the "
                                   "settings is not known");
    } else {
        for (const PedalSettings::Difference &d : PedalSettings::differences(*now, after)) {
            if (d.reportedBack)
                o.mismatches << QStringLiteral("%1: the pedal reports %2, the backup holds %3").arg(d.name, d.from, d.to);
        }
        o.notRestored = beyondReach(backup); // what the pedal holds now
    }
    for (const QString &m : o.mismatches)
        m_log.writeLogLine(QStringLiteral("restore: not taken: ") + m);
    const QString notChecked =
        o.notChecked.isEmpty()
            ? QString()
            : QStringLiteral(" Sent but not checked, since the pedal never reports them: %1.").arg(o.notChecked.join(QStringLiteral(", ")));
    if (now && o.mismatches.isEmpty() && o.notRestored.isEmpty()) {
        m_log.writeLogLine(QStringLiteral("restore backup: done, %1 settings checked").arg(differences.size() - o.notChecked.size()));
        co_await m_prompts.tell(QStringLiteral("%1 restored: the pedal reports every setting the backup holds.%2")
                              .arg(name, notChecked));
        o.result = Result::Done;
        co_return finish(o);
    }
    if (o.problem.isEmpty()) {
        QStringList problems;
        if (!o.mismatches.isEmpty())
            problems << QStringLiteral("the pedal reports %1 %2 differently: %3")
                            .arg(o.mismatches.size())
                            .arg(o.mismatches.size() == 1 ? QStringLiteral("setting") : QStringLiteral("settings"))
                            .arg(o.mismatches.join(QStringLiteral("; ")));
        if (!o.notRestored.isEmpty())
            problems << QStringLiteral("not restored, since no message of the editor sends it: %1")
                            .arg(o.notRestored.join(QStringLiteral(", ")));
        o.problem = problems.join(QStringLiteral("; "));
    }
    m_log.writeLogLine(QStringLiteral("restore backup failed: ") + o.problem);
    co_await m_prompts.tell(QStringLiteral("%1 was sent, but %2.%3").arg(name, o.problem, notChecked));
    o.result = Result::Failed;
    co_return finish(o);
}
