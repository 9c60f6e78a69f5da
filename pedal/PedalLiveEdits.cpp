// Live edits: the effect window's controls, the dial throttle, bypass, the lists and the history's replays.
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/EditRecorder.h"
#include "pedal/PedalServiceTexts.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

using namespace DialMath;

// ---------------------------------------------------------------------------------------------
// Values used from elsewhere (Compare, restore).

PedalService::Result PedalService::useValue(int parameter, quint32 word)
{
    if (parameter < 0 || parameter >= ParameterCatalogue::Count)
        return Result::Refused;
    const std::optional<int> state = ParameterCatalogue::shownState(parameter, word);
    if (!state)
        return Result::Refused;
    if (!sendsWordAsItIs(parameter)) {
        // A switch or list item stands for its word exactly; a dial on the pedal's own scale
        // (Low Pass, High Pass, Range) is sent as its step's word, the only kind it takes.
        return ParameterCatalogue::all()[size_t(parameter)].control == ControlKind::Dial ? sendControl(parameter, *state)
                                                                                          : setControl(parameter, *state);
    }
    // A dial's word is sent as it is: the nearest dial position may stand for a slightly
    // different word.
    const Refusal reason = refusal(Command::ParameterWrite);
    if (reason) {
        refuse(QStringLiteral("Use"), reason);
        return Result::Refused;
    }
    const int previous = m_state.shown[size_t(parameter)];
    sendDialWord(parameter, word);
    recordControlEdit(parameter, previous);
    noteValues();
    return Result::Done;
}

bool PedalService::sendsWordAsItIs(int parameter)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(parameter)];
    return info.control == ControlKind::Dial && info.fullScale == DialMath::FullScale;
}

void PedalService::sendDialWord(int parameter, quint32 word)
{
    ParameterRecord &p = m_state.parameters[size_t(parameter)];
    if (const std::optional<int> state = ParameterCatalogue::shownState(parameter, word)) {
        m_state.shown[size_t(parameter)] = *state;
        emit controlShown(parameter);
    }
    // A drag's message still held by the throttle would come after this one: it goes.
    m_pendingDials.removeIf([&](const auto &pending) { return pending.first == p.address; });
    const QByteArray message = PedalMessages::parameterWrite(p.address, word);
    m_log.writeLogLine(QStringLiteral("Send ") + p.name + QStringLiteral(" string (standard par): ") +
                       HexCodec::bytesToHexText(message));
    m_comm.sendMessage(message);
    m_holds.sent(parameter, word);
    p.value = word;
}

// ---------------------------------------------------------------------------------------------
// The effect window's controls.

PedalService::Result PedalService::setControl(int parameter, int state)
{
    if (parameter < 0 || parameter >= ParameterCatalogue::Count)
        return Result::Refused;
    const int previous = m_state.shown[size_t(parameter)];
    if (state == previous)
        return Result::Done;
    m_state.shown[size_t(parameter)] = state;
    emit controlShown(parameter);
    const Result r = controlChanged(parameter, previous);
    if (r == Result::Done)
        recordControlEdit(parameter, previous);
    noteValues();
    return r;
}

void PedalService::recordControlEdit(int parameter, int from)
{
    const int to = m_state.shown[size_t(parameter)];
    if (m_applyingHistory || m_showingValues || m_requestInProgress || to == from)
        return;
    if (m_recorder)
        m_recorder->controlEdit(parameter, from, to, m_clock.nowMs());
}

void PedalService::setEditRecorder(std::unique_ptr<EditRecorder> recorder) { m_recorder = std::move(recorder); }

void PedalService::pushSetting(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter)
{
    if (m_recorder)
        m_recorder->settingEdit(text, std::move(sendBefore), std::move(sendAfter));
}

void PedalService::replay(const std::function<void()> &send)
{
    const bool was = std::exchange(m_applyingHistory, true);
    send();
    m_applyingHistory = was;
}

Task<> PedalService::replaySteps(std::function<Task<>()> send)
{
    const bool was = std::exchange(m_applyingHistory, true);
    co_await send();
    m_applyingHistory = was;
}

bool PedalService::undo() { return stepHistory(true); }

bool PedalService::redo() { return stepHistory(false); }

bool PedalService::stepHistory(bool back)
{
    if (!m_recorder || !m_recorder->canStep(back))
        return false;
    if (!allowed(Command::ParameterWrite, back ? QStringLiteral("Undo") : QStringLiteral("Redo")))
        return false;
    m_recorder->step(back);
    return true;
}

void PedalService::applyFromHistory(int parameter, int state)
{
    replay([&] { setControl(parameter, state); });
}

void PedalService::applyValuesFromHistory(const PresetFile::PresetValues &values)
{
    // The words go back exactly, as the compare window's Use sends them: a dial's word that lies
    // between two steps would otherwise come back as the word of the step it shows at. The
    // other controls stand for their words, and a dial on the pedal's own scale takes its step.
    replay([&] {
        const bool wasShowing = std::exchange(m_showingValues, true);
        m_sendImmediately = true;
        for (int i : ParameterCatalogue::showOrder()) {
            const quint32 word = values[size_t(i)];
            if (sendsWordAsItIs(i)) {
                if (word != m_state.parameters[size_t(i)].value)
                    sendDialWord(i, word);
                continue;
            }
            m_state.parameters[size_t(i)].value = word;
            if (const std::optional<int> state = ParameterCatalogue::shownState(i, word))
                setControl(i, *state);
        }
        m_sendImmediately = false;
        m_showingValues = wasShowing;
    });
    noteValues();
}

PresetFile::PresetValues PedalService::parameterValues() const
{
    PresetFile::PresetValues values{};
    for (int i = 0; i < PresetFile::Values; ++i)
        values[size_t(i)] = m_state.parameters[size_t(i)].value;
    return values;
}

void PedalService::putParameterValues(const PresetFile::PresetValues &values)
{
    for (int i = 0; i < PresetFile::Values; ++i)
        m_state.parameters[size_t(i)].value = values[size_t(i)];
}

PedalService::Result PedalService::sendControl(int parameter, int state)
{
    if (parameter < 0 || parameter >= ParameterCatalogue::Count)
        return Result::Refused;
    const int previous = m_state.shown[size_t(parameter)];
    m_state.shown[size_t(parameter)] = state;
    emit controlShown(parameter);
    m_sendImmediately = true;
    const Result r = controlChanged(parameter, previous);
    m_sendImmediately = false;
    if (r == Result::Done)
        recordControlEdit(parameter, previous);
    noteValues();
    return r;
}

PedalService::Result PedalService::controlChanged(int i, int previous)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
    ParameterRecord &p = m_state.parameters[size_t(i)];
    int &shown = m_state.shown[size_t(i)];
    // While the request puts the pedal's values on the controls nothing is sent, but for
    // Wave and Split, which send whenever they change. A dial waits for an exchange under way.
    const bool quiet = m_requestInProgress && !(i == Parameter::Wave || i == Parameter::Split);
    const bool held = info.control == ControlKind::Dial && !m_sendImmediately;
    const Refusal reason = refusal(Command::ParameterWrite, false, held ? Busy::Waits : Busy::Refuses);
    if (quiet && !reason)
        return Result::Done;
    if (info.control == ControlKind::List && shown < 0)
        return Result::Done;
    if (reason) {
        refuse(QStringLiteral("changing ") + p.name, reason);
        shown = previous; // the control goes back to what the pedal has
        emit controlShown(i);
        return Result::Refused;
    }

    switch (info.control) {
    case ControlKind::Dial: {
        const int snapped = snapDialAngle(shown); // the knob jumps out of the dead zone
        if (snapped != shown) {
            shown = snapped;
            emit controlShown(i);
        }
        const quint32 word = ParameterCatalogue::wordFor(i, shown);
        const QByteArray message = PedalMessages::parameterWrite(p.address, word);
        m_log.writeLogLine(QStringLiteral("Send ") + p.name + QStringLiteral(" string (standard par): ") +
                           HexCodec::bytesToHexText(message));
        if (m_sendImmediately)
            m_comm.sendMessage(message);
        else
            queueDialWrite(p.address, message);
        m_holds.sent(i, word);
        p.value = word;
        return Result::Done;
    }
    case ControlKind::Switch: {
        const QByteArray message = PedalMessages::parameterWrite(p.address, ParameterCatalogue::wordFor(i, shown));
        const QString line = QStringLiteral("Send ") + p.name +
                             (info.record == RecordKind::Assignable ? QStringLiteral(" string (assignable par): ")
                                                                         : QStringLiteral(" string (standard par): ")) +
                             HexCodec::bytesToHexText(message);
        const int times = i == Parameter::Attack ? 3 : 1; // the pedal takes Attack only this way
        for (int t = 0; t < times; ++t) {
            m_log.writeLogLine(line);
            m_comm.sendMessage(message);
        }
        p.value = ParameterCatalogue::wordFor(i, shown); // what a backup made now must hold
        m_holds.sent(i, p.value);
        return Result::Done;
    }
    case ControlKind::List: {
        const quint32 word = ParameterCatalogue::wordFor(i, shown);
        const QByteArray message = PedalMessages::parameterWrite(p.address, word);
        m_log.writeLogLine(QStringLiteral("Send Harmonic Pitch string: ") + HexCodec::bytesToHexText(message));
        m_comm.sendMessage(message);
        m_holds.sent(i, word);
        p.value = word;
        return Result::Done;
    }
    case ControlKind::CheckBox: {
        Result result = Result::Done;
        if (m_state.tuningItem == PedalState::NoTuningIndex && shown == 1) {
            m_prompts.show(QStringLiteral("Set a tuning before using this parameter"));
            shown = 0;
            emit controlShown(i);
            result = Result::Refused; // the value 0 is still sent
        }
        p.value = quint32(shown);
        m_comm.writeDspMessage(p.address, p.value);
        m_holds.sent(i, p.value);
        return result;
    }
    }
    return Result::Done;
}

void PedalService::logAndSend(const QByteArray &message)
{
    m_log.writeLogLine(HexCodec::bytesToHexText(message));
    m_comm.sendMessage(message);
}

void PedalService::queueDialWrite(quint16 address, const QByteArray &message)
{
    bool replaced = false;
    for (auto &pending : m_pendingDials) {
        if (pending.first == address) {
            pending.second = message;
            replaced = true;
        }
    }
    if (!replaced)
        m_pendingDials.append({address, message});
    if (!m_dialTimer->isActive() || m_dialTimer->interval() != 100)
        m_dialTimer->start(100); // already running at 100 ms: left alone, so a drag still sends every 100 ms
}

void PedalService::onDialTick()
{
    m_dialTimer->stop();
    if (m_pendingDials.isEmpty())
        return;
    if (m_comm.exchangeBusy() || m_clock.waiting()) {
        m_dialTimer->start(100); // the pedal is busy with another command: the dials wait their turn
        return;
    }
    const Refusal reason = refusal(Command::ParameterWrite);
    const auto pending = std::exchange(m_pendingDials, {});
    if (reason) {
        m_log.writeLogLine(QStringLiteral("%1 dial messages not sent: %2").arg(pending.size()).arg(refusalText(reason)));
        return;
    }
    for (const auto &p : pending)
        m_comm.sendMessage(p.second);
}

void PedalService::flushDialWrites()
{
    m_dialTimer->stop();
    const auto pending = std::exchange(m_pendingDials, {});
    for (const auto &p : pending)
        m_comm.sendMessage(p.second);
}

PedalService::Result PedalService::setBypass(bool on)
{
    if (m_state.bypass == on)
        return Result::Done;
    m_state.bypass = on;
    const Refusal reason = refusal(Command::Bypass);
    if (m_requestInProgress && !reason)
        return Result::Done;
    if (reason) {
        refuse(QStringLiteral("Bypass"), reason);
        m_state.bypass = !on;
        emit choicesChanged();
        return Result::Refused;
    }
    m_comm.sendMessage(PedalMessages::bypass(on));
    return Result::Done;
}

void PedalService::chooseTuning(int item) { m_state.tuningItem = qMax(0, item); }

void PedalService::chooseSemitoneVariation(int item)
{
    if (item >= 0 && item <= 8)
        m_state.semitoneItem = item;
}

PedalService::Result PedalService::chooseAssignment(int control, int item)
{
    if (control < 0 || control >= ParameterCatalogue::AssignableControls)
        return Result::Refused;
    if (m_state.assignItems[size_t(control)] == item)
        return Result::Done;
    m_state.assignItems[size_t(control)] = item;
    if ((control == 2 || control == 3) && !m_requestInProgress && m_state.tuningItem == PedalState::NoTuningIndex &&
        item > 0) {
        const int p = ParameterCatalogue::offeredOn(control)[size_t(item - 1)];
        if (p == Parameter::DominantNotesCut || p == Parameter::HighNotesCut) {
            m_prompts.show(QStringLiteral("No tuning selected, Select a tuning before assigning this parameter"));
            m_state.assignItems[size_t(control)] = 0;
            emit choicesChanged();
            return Result::Refused;
        }
    }
    return Result::Done;
}

void PedalService::chooseFootswitch(bool shortPressChangesPreset, bool longPressBypasses)
{
    m_state.shortPressChangesPreset = shortPressChangesPreset;
    m_state.longPressBypasses = longPressBypasses;
}

void PedalService::showParameterValues(bool sendImmediately)
{
    const bool wasShowing = std::exchange(m_showingValues, true);
    m_sendImmediately = sendImmediately;
    for (int i : ParameterCatalogue::showOrder()) {
        const std::optional<int> state = ParameterCatalogue::shownState(i, m_state.parameters[size_t(i)].value);
        if (state)
            setControl(i, *state);
    }
    m_sendImmediately = false;
    m_showingValues = wasShowing;
    noteValues(); // values no control shows differently are in the records all the same
}

QStringList PedalService::unsavedParameters() const
{
    if (!m_comm.linked())
        return {};
    PedalHolds::Words words{};
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        words[size_t(i)] = m_state.parameters[size_t(i)].value;
    return m_holds.unsaved(words);
}

void PedalService::noteValues()
{
    const bool unsaved = !unsavedParameters().isEmpty();
    if (std::exchange(m_unsaved, unsaved) != unsaved)
        emit unsavedChanged(unsaved);
    emit valuesChanged();
}
