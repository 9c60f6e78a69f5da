// The settings commands: assign, footswitch mode, tuning, note filters, Save Parameters, the defaults
// and the pedal options (instrument range, bypass status, range limit, MIDI channel).
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/EditRecorder.h"
#include "pedal/PedalServiceTexts.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "support/UserFiles.h"

using HexCodec::hexNumber;
using namespace DialMath;
using namespace PedalServiceTexts;

// ---------------------------------------------------------------------------------------------
// Commands.

QByteArray PedalService::buildAssignMessage()
{
    std::array<int, 4> addresses{};
    for (int c = 0; c < 4; ++c) {
        const int item = m_state.assignItems[size_t(c)];
        addresses[size_t(c)] =
            item > 0 ? m_state.parameters[size_t(ParameterCatalogue::offeredOn(c)[size_t(item - 1)])].address : -1;
    }
    const QByteArray message = PedalMessages::assign(addresses, m_state.assignItems[ParameterCatalogue::RemoteFootswitch]);
    m_log.writeLogLine(QStringLiteral("lenght of assign message in bytes: %1").arg(message.size()));
    m_log.writeLogLine(QStringLiteral("assign message: ") + HexCodec::bytesToHexText(message));
    return message;
}

Task<PedalService::Result> PedalService::assign()
{
    if (!allowed(Command::Assign, QStringLiteral("Assign")))
        co_return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("ASSIGN")));
    const QByteArray message = buildAssignMessage();
    bool upload = true;
    if (!m_applyingHistory)
        upload = co_await m_prompts.ask(QStringLiteral("Upload Assignments?"));
    if (!upload)
        co_return Result::Cancelled;
    m_comm.sendMessage(message);
    // Recorded before the pause: the replay of a step asks nothing and records nothing, and that
    // holds only until the command first waits.
    const auto before = std::exchange(m_sentAssignItems, m_state.assignItems), after = m_state.assignItems;
    if (before != after)
        recordSetting(QStringLiteral("Assign"), before, after, [this](const auto &items) {
            m_state.assignItems = items;
            emit choicesChanged();
            assign().detach();
        });
    co_await m_clock.pause(100);
    co_return Result::Done;
}

PedalService::Result PedalService::setFootswitchMode()
{
    if (!allowed(Command::Footswitch, QStringLiteral("Set Footswitch Mode")))
        return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("SET FOOTSWITCH MODE")));
    const QByteArray message = PedalMessages::footswitch(m_state.shortPressChangesPreset, m_state.longPressBypasses);
    m_log.writeLogLine(QStringLiteral("footswitch behaviour message: ") + HexCodec::bytesToHexText(message));
    logAndSend(message);
    const auto after = std::make_pair(m_state.shortPressChangesPreset, m_state.longPressBypasses);
    const auto before = std::exchange(m_sentFootswitch, after);
    if (before != after)
        recordSetting(QStringLiteral("Footswitch Mode"), before, after, [this](std::pair<bool, bool> mode) {
            chooseFootswitch(mode.first, mode.second);
            emit choicesChanged();
            setFootswitchMode();
        });
    return Result::Done;
}

Task<PedalService::Result> PedalService::setTuning()
{
    if (!allowed(Command::Tuning, QStringLiteral("Set Tuning")))
        co_return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("SET TUNING")));
    const QByteArray message = PedalMessages::tuning(m_state.tuningItem, m_state.semitoneVariation());
    m_log.writeLogLine(QStringLiteral("Tuning Message: ") + HexCodec::bytesToHexText(message));
    bool set = true;
    if (!m_applyingHistory)
        set = co_await m_prompts.ask(QStringLiteral("Set new tuning?"));
    if (!set)
        co_return Result::Cancelled;
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendMessage(message);
    // Recorded before the pause: the replay of a step asks nothing and records nothing, and that
    // holds only until the command first waits.
    const auto after = std::make_pair(m_state.tuningItem, m_state.semitoneItem);
    const auto before = std::exchange(m_sentTuning, after);
    if (before != after)
        recordSetting(QStringLiteral("Tuning"), before, after, [this](std::pair<int, int> tuning) {
            m_state.tuningItem = tuning.first;
            m_state.semitoneItem = tuning.second;
            emit choicesChanged();
            setTuning().detach();
        });
    co_await m_clock.pause(100);
    co_return Result::Done;
}

Task<PedalService::Result> PedalService::saveNoteFilters(QList<int> noteCodes)
{
    if (!allowed(Command::NoteFilters, QStringLiteral("Note Cut")))
        co_return Result::Refused;
    int first = 0xFF, second = 0xFF;
    for (int code : noteCodes) {
        if (first == 0xFF)
            first = code;
        else
            second = code;
    }
    m_log.writeLogLine(QStringLiteral("byte 1: ") + hexNumber(quint8(first), 2));
    m_log.writeLogLine(QStringLiteral("byte 2: ") + hexNumber(quint8(second), 2));
    const QByteArray message = PedalMessages::noteFilters(first, second);
    m_log.writeLogLine(QStringLiteral("Set note filters: ") + HexCodec::bytesToHexText(message));
    m_log.writeLogLine(QString::number(message.size()));
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendMessage(message);
    // The pedal does not report its note filters: only a change from filters the editor sent
    // can be taken back.
    // Recorded before the pause: the replay of a step asks nothing and records nothing, and that
    // holds only until the command first waits.
    const auto before = std::exchange(m_sentNoteFilters, noteCodes);
    if (before && *before != noteCodes)
        recordSetting(QStringLiteral("Note Cut"), *before, noteCodes, [this](const QList<int> &codes) {
            saveNoteFilters(codes).detach();
            emit choicesChanged();
        });
    co_await m_clock.pause(100);
    co_return Result::Done;
}

Task<bool> PedalService::readValuesToSave(Command command, QString what, QString banner)
{
    if (!allowed(command, what, true))
        co_return false;
    co_await requestDeviceInformation(); // the values saved are those the pedal is running
    m_log.writeLogLine(Banner.arg(banner));
    co_return allowed(command, what);
}

Task<PedalService::Result> PedalService::saveParameters(bool confirmed)
{
    const bool readBack =
        co_await readValuesToSave(Command::SaveParameters, QStringLiteral("Save Parameters"), QStringLiteral("SAVE PARAMETERS"));
    if (!readBack)
        co_return Result::Refused;
    std::array<quint32, 10> values{};
    for (int i = 0; i < 10; ++i)
        values[size_t(i)] = m_state.parameters[size_t(Parameter::InputLevel + i)].value;
    const QByteArray message = PedalMessages::storeSettings(values);
    m_log.writeLogLine(QStringLiteral("Store settings message (HEX): ") + HexCodec::bytesToHexText(message));
    m_log.writeLogLine(QStringLiteral("num of bytes to send: %1").arg(message.size()));
    bool save = true;
    if (!confirmed)
        save = co_await m_prompts.ask(QStringLiteral("Save Parameters to pedal?"));
    if (!save)
        co_return Result::Cancelled;
    m_d2xx.PurgeFTDeviceTX();
    quint32 written = 0;
    m_comm.sendMessage(message, &written);
    m_log.writeLogLine(QStringLiteral("num of bytes sent: %1").arg(written));
    if (written != quint32(message.size())) {
        m_log.writeLogLine(
            QStringLiteral("Save Parameters failed: %1 of %2 bytes reached the pedal").arg(written).arg(message.size()));
        co_await m_prompts.tell(QStringLiteral("Save Parameters failed: only %1 of the %2 bytes reached the pedal, so it "
                                         "may not have stored the assignable parameters. Check the USB connection, "
                                         "then %3.")
                              .arg(written)
                              .arg(message.size())
                              .arg(m_prompts.words(Prompts::NextStep::SaveAgain)));
        co_return Result::Failed;
    }
    m_holds.saved(values);
    noteValues();
    co_await m_clock.pause(100);
    co_return Result::Done;
}

Task<PedalService::Result> PedalService::settleUnsavedParameters(QString occasion)
{
    const QStringList names = unsavedParameters();
    if (names.isEmpty())
        co_return Result::Done;
    const QString listed = names.size() == 1 ? names.first()
                                             : names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
                                                   QStringLiteral(" and ") + names.last();
    const QString question =
        QStringLiteral("%1 %2 changed, and the pedal keeps %3 only after Save Parameters: switched off, it goes back "
                       "to the values it stored. Save Parameters before %4?")
            .arg(listed, names.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"),
                 names.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"), occasion);
    const Prompts::Choice choice = co_await m_prompts.askSaveOrDiscard(question, QStringLiteral("Save Parameters"));
    if (choice == Prompts::Choice::Cancel)
        co_return Result::Cancelled;
    if (choice == Prompts::Choice::Discard) {
        m_log.writeLogLine(QStringLiteral("%1 without Save Parameters: the pedal does not keep %2")
                               .arg(occasion, names.join(QStringLiteral(", "))));
        co_return Result::Done;
    }
    const Result saved = co_await saveParameters(true);
    co_return saved;
}

Task<> PedalService::sendStoreSettings()
{
    std::array<quint32, 10> values{};
    for (int i = 0; i < 10; ++i)
        values[size_t(i)] = m_state.parameters[size_t(Parameter::InputLevel + i)].value;
    const QByteArray message = PedalMessages::storeSettings(values);
    m_log.writeLogLine(QStringLiteral("Store settings message (HEX): ") + HexCodec::bytesToHexText(message));
    // No purge of the transmit queue here: it would throw away the values just written before it.
    quint32 written = 0;
    m_comm.sendMessage(message, &written);
    m_log.writeLogLine(QStringLiteral("num of bytes sent: %1").arg(written));
    co_await m_clock.pause(100);
}

void PedalService::showSaveParametersInfo() { m_prompts.tellFixed(Prompts::Fixed::SaveParametersInfo).detach(); }

Task<PedalService::Result> PedalService::resetAssignableParameters(bool tellUser)
{
    if (!allowed(Command::ResetDefaults, QStringLiteral("Set Assignable Parameters to Default")))
        co_return Result::Refused;
    using namespace Parameter;
    const auto record = [this](int i) -> ParameterRecord & { return m_state.parameters[size_t(i)]; };
    const PresetFile::PresetValues before = parameterValues();
    record(InputLevel).value = FullScale;
    record(FirstHarmonicPitch).value = HarmonicPitchTable[12];
    for (int i : {WaveClip, DominantNotesCut, HighNotesCut, DryHPF, LimitRangeUp, NoiseGateStatus, NoiseGateThreshold})
        record(i).value = 0;
    record(Attack).value = PedalMessages::AttackFastValue;

    const auto plain = [&](int i) {
        m_comm.sendMessage(PedalMessages::parameterWrite(record(i).address, record(i).value));
        m_holds.sent(i, record(i).value);
    };
    const auto assignable = [&](int i) {
        const QByteArray message = PedalMessages::parameterWrite(record(i).address, record(i).value);
        m_log.writeLogLine(QStringLiteral("Send ") + record(i).name + QStringLiteral(" string (assignable par): ") +
                           HexCodec::bytesToHexText(message));
        m_comm.sendMessage(message);
        m_holds.sent(i, record(i).value);
    };
    plain(InputLevel);
    co_await m_clock.pause(10);
    plain(FirstHarmonicPitch);
    co_await m_clock.pause(10);
    plain(WaveClip);
    co_await m_clock.pause(10);
    for (int i : {DominantNotesCut, HighNotesCut}) {
        m_comm.writeDspMessage(record(i).address, record(i).value);
        m_holds.sent(i, record(i).value);
    }
    co_await m_clock.pause(10);
    plain(DryHPF);
    co_await m_clock.pause(10);
    assignable(LimitRangeUp);
    co_await m_clock.pause(10);
    // The noise gate: both parameters, each to its own address.
    assignable(NoiseGateStatus);
    assignable(NoiseGateThreshold);
    co_await m_clock.pause(10);
    assignable(Attack);
    co_await m_clock.pause(10);
    showParameterValues(false);
    // One step of the history, as a loaded preset is: undo sends back every value it changed.
    const PresetFile::PresetValues after = parameterValues();
    if (!m_applyingHistory && before != after && m_recorder)
        m_recorder->valuesEdit(before, after, QStringLiteral("Set Assignable Parameters to Default"));
    if (tellUser)
        co_await m_prompts.tellFixed(Prompts::Fixed::DefaultsNotSaved);
    co_return Result::Done;
}

Task<PedalService::Result> PedalService::chooseInstrumentRange(quint8 range)
{
    if (!allowed(Command::PedalOption, QStringLiteral("Instrument Range")))
        co_return Result::Refused;
    const quint8 rangeBefore = m_state.instrumentRange;
    m_state.instrumentRange = range;
    m_state.instrumentRangeMark = range;
    emit choicesChanged();
    QString error;
    if (!UserFiles::writeTextFile(m_files.userFile(QStringLiteral("Instrument.txt")),
                                  range == 0xFF ? QStringLiteral("STANDARD") : QStringLiteral("LOW"), &error))
        m_log.writeLogLine(QStringLiteral("Instrument.txt could not be written: ") + error);
    quint8 checksum = 0;
    const QByteArray message = PedalMessages::instrumentRange(range, &checksum);
    m_log.writeLogLine(QStringLiteral("checksum byte: ") + hexNumber(checksum, 2));
    bool change = true;
    if (!m_applyingHistory)
        change = co_await m_prompts.ask(QStringLiteral("Change current Instrument?"));
    if (!change)
        co_return Result::Cancelled;
    logAndSend(message);
    if (range == 0xFF || range == 0xBA)
        m_sentInstrumentRange = range;
    if (rangeBefore != range && (rangeBefore == 0xFF || rangeBefore == 0xBA))
        recordSetting(QStringLiteral("Instrument Range"), rangeBefore, range,
                      [this](quint8 r) { chooseInstrumentRange(r).detach(); });
    co_return Result::Done;
}

PedalService::Result PedalService::chooseBypassStatus(bool store)
{
    if (!allowed(Command::PedalOption, QStringLiteral("Bypass Status")))
        return Result::Refused;
    const std::optional<bool> before = std::exchange(m_state.storeBypassStatus, store);
    emit choicesChanged();
    logAndSend(PedalMessages::storeBypassStatus(store));
    if (before && *before != store)
        recordSetting(QStringLiteral("Bypass Status"), *before, store, [this](bool b) { chooseBypassStatus(b); });
    return Result::Done;
}

PedalService::Result PedalService::chooseRangeLimit(bool on)
{
    if (!allowed(Command::PedalOption, QStringLiteral("Limit Range")))
        return Result::Refused;
    m_log.writeLogLine(Banner.arg(on ? QStringLiteral("RANGE LIMIT ON") : QStringLiteral("RANGE LIMIT OFF")));
    logAndSend(PedalMessages::rangeLimit(on));
    const std::optional<bool> before = std::exchange(m_state.rangeLimitOn, on);
    emit choicesChanged();
    if (before && *before != on)
        recordSetting(QStringLiteral("Limit Range"), *before, on, [this](bool b) { chooseRangeLimit(b); });
    return Result::Done;
}

PedalService::Result PedalService::chooseMidiChannel(int item)
{
    if (item < 0 || item > 16)
        return Result::Refused;
    if (!allowed(Command::PedalOption, QStringLiteral("MIDI channel")))
        return Result::Refused;
    m_log.addConsoleLine(QStringLiteral("Midi channel: ") + (item == 0 ? QStringLiteral("OMNI") : QString::number(item)));
    logAndSend(PedalMessages::midiChannel(item));
    // The menu's mark keeps showing the channel the pedal reported; the history knows what was sent.
    const int before = std::exchange(m_sentMidiChannel, item);
    if (before >= 0 && before != item)
        recordSetting(QStringLiteral("MIDI Channel"), before, item, [this](int i) { chooseMidiChannel(i); });
    return Result::Done;
}
