// The device information request and what its answer puts on the controls (the read-backs).
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/PedalServiceTexts.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

using HexCodec::hexNumber;

using namespace PedalServiceTexts;

namespace {
// An answer made only of the bootloader's acknowledge (0x79) and refusal (0x1F) bytes.
bool bootloaderAnswer(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false;
    for (char c : bytes) {
        if (quint8(c) != 0x79 && quint8(c) != 0x1F)
            return false;
    }
    return true;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// The device information request.

void PedalService::endFailedRequest(const QString &logLine, const QString &message, const QString &reason)
{
    m_log.writeLogLine(logLine);
    m_state.reported.reset();
    forgetValues(reason);
    m_requestInProgress = false;
    if (m_comm.linked() && !m_comm.firmwareUpgradeMode())
        m_comm.startPoll();
    m_prompts.show(message);
}

Task<PedalService::Result> PedalService::requestDeviceInformation()
{
    if (!allowed(Command::Request, QStringLiteral("request"))) {
        m_state.lastAnswer = PedalState::Answer::NotAsked;
        co_return Result::Refused;
    }
    flushDialWrites(); // the pedal takes the last edits first, so the answer holds them
    m_comm.tryBeginExchange(QStringLiteral("request"));
    m_log.writeLogLine(Banner.arg(QStringLiteral("REQUEST")));
    m_requestInProgress = true;
    m_bootloaderAnswered = false;
    const Communication::Answer answer = co_await m_comm.exchangeDeviceInformation();
    m_comm.endExchange();
    m_lastAnswerValues = answer.decoded.ok ? answer.decoded.values : QByteArray();

    if (answer.wait == Communication::WaitResult::DeviceFailed) {
        m_state.lastAnswer = PedalState::Answer::DeviceFailed;
        co_await m_clock.activity(0); // an unplug is reported by the backend as an event
        if (!m_comm.linked()) {
            // Unlinked by the user or unplugged while the pedal was being asked: nothing to tell.
            m_requestInProgress = false;
            m_state.reported.reset();
            m_log.writeLogLine(QStringLiteral("device information request: ended, the pedal is no longer linked"));
            co_return Result::Failed;
        }
        endFailedRequest(QStringLiteral("device information request: the USB device could not be read"),
                         QStringLiteral("The pedal could not be reached: the USB device is not open or was "
                                        "disconnected. Check the cable and ") +
                             m_prompts.words(Prompts::NextStep::RelinkAgain) + QLatin1Char('.'),
                         QStringLiteral("the USB device could not be read"));
        co_return Result::Failed;
    }
    if (answer.wait == Communication::WaitResult::TimedOut) {
        m_state.lastAnswer = PedalState::Answer::NoAnswer;
        endFailedRequest(
            QStringLiteral("device information request: no answer within %1 ms").arg(m_comm.answerTimeoutMs()),
            QStringLiteral("The pedal did not answer the device information request. Check that the pedal is powered "
                           "and connected, then ") +
                m_prompts.words(Prompts::NextStep::AskAgain) + QLatin1Char('.'),
            QStringLiteral("the pedal did not answer the device information request"));
        co_return Result::Failed;
    }
    if (!answer.decoded.ok) {
        m_state.lastAnswer = PedalState::Answer::Unreadable;
        endFailedRequest(
            QStringLiteral("device information request: the answer could not be read: ") + answer.decoded.error,
            QStringLiteral("The pedal's answer could not be read (%1), so nothing was read back. Check the USB "
                           "connection, then %2.")
                .arg(answer.decoded.error, m_prompts.words(Prompts::NextStep::AskAgain)),
            QStringLiteral("the pedal's answer could not be read"));
        co_return Result::Failed;
    }
    const QByteArray &values = answer.decoded.values;
    if (values.size() < DeviceInformation::Values) {
        if (values.isEmpty() && bootloaderAnswer(answer.bytes)) {
            m_bootloaderAnswered = true;
            m_state.lastAnswer = PedalState::Answer::BootloaderByte;
            const QString byte = hexNumber(quint8(answer.bytes[0]), 2);
            endFailedRequest(
                QStringLiteral("device information request: the bootloader answered (%1)").arg(byte),
                QStringLiteral("The pedal answered with its bootloader's byte %1 instead of its settings: it is "
                               "waiting for a firmware upgrade. %2, or switch the pedal off and on again.")
                    .arg(byte, m_prompts.words(Prompts::NextStep::UseUpgradeMenu)),
                QStringLiteral("the pedal is in its bootloader"));
            co_return Result::Failed;
        }
        m_state.lastAnswer = PedalState::Answer::Incomplete;
        endFailedRequest(QStringLiteral("device information request: incomplete answer, %1 of %2 values")
                             .arg(values.size())
                             .arg(DeviceInformation::Values),
                         QStringLiteral("The pedal's answer was incomplete (%1 of %2 values), so nothing was read "
                                        "back. Check the USB connection, then %3.")
                             .arg(values.size())
                             .arg(DeviceInformation::Values)
                             .arg(m_prompts.words(Prompts::NextStep::AskAgain)),
                         QStringLiteral("its answer held %1 of %2 values").arg(values.size()).arg(DeviceInformation::Values));
        co_return Result::Failed;
    }

    m_state.reported = DeviceInformation::fromValues(values);
    m_state.lastAnswer = PedalState::Answer::Complete;
    const DeviceInformation &info = *m_state.reported;
    m_holds.reported(info.parameterWords, m_clock.localNow());
    forgetValues(QStringLiteral("the pedal's values were not read back"));
    m_deviceFirmwareText = info.firmwareText();
    int reportedAlgorithm = -1;
    m_comm.answered(info.firmware, info.algorithmNumber(&reportedAlgorithm) ? reportedAlgorithm : -1);
    m_firmwareLabel = QStringLiteral("Device Firmware: ") + m_deviceFirmwareText;
    m_log.writeLogLine(QStringLiteral("Firmware Version: ") + m_deviceFirmwareText);
    m_deviceAlgorithmText = info.algorithmText();
    m_log.writeLogLine(QStringLiteral("Algorithm version: ") + m_deviceAlgorithmText);
    m_algorithmLabel = QStringLiteral("Device Algorithm: ") + m_deviceAlgorithmText;
    emit labelsChanged();
    m_log.writeLogLine(QStringLiteral("Current device firmware: ") + m_deviceFirmwareText);
    m_log.writeLogLine(QStringLiteral("Most recent firmware: %1").arg(latestFirmwareNumber));
    m_deviceEffectNumberText = info.effectText();
    m_log.writeLogLine(QStringLiteral("Effect Number: ") + m_deviceEffectNumberText);

    if (info.firmware < latestFirmwareNumber) {
        emit effectWindowCloseRequested();
        co_await m_prompts.tellFixed(Prompts::Fixed::FirmwareUpgradeRequired, latestFirmwareNumber);
        co_await m_prompts.tellFixed(Prompts::Fixed::LegacyUpgradeInstructions);
        forgetValues(QStringLiteral("the pedal needs a firmware upgrade"));
        setGate(GateState::FirmwareTooOld);
        m_requestInProgress = false;
        co_return Result::Failed;
    }
    setGate(GateState::RequestPassed);

    int algorithm = 0;
    if (!info.algorithmNumber(&algorithm)) {
        const QString error = HexCodec::conversionError(m_deviceAlgorithmText);
        m_log.writeLogLine(error);
        co_await m_prompts.tell(error);
        m_requestInProgress = false;
        co_return Result::Failed;
    }
    int effect = 0;
    if (algorithm < latestAlgorithmNumber) {
        emit effectWindowCloseRequested();
        co_await m_prompts.tell(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                              .arg(latestAlgorithmNumber));
        if (info.effectNumber(&effect))
            selectEffect(effect);
        forgetValues(QStringLiteral("the pedal's algorithm is older than this editor's"));
        setGate(GateState::AlgorithmTooOld);
        m_requestInProgress = false;
        co_return Result::Failed;
    }
    if (!info.effectNumber(&effect)) {
        const QString error = HexCodec::conversionError(m_deviceEffectNumberText);
        m_log.writeLogLine(error);
        co_await m_prompts.tell(error);
        m_requestInProgress = false;
        co_return Result::Failed;
    }
    if (effect >= m_effectNames.size()) {
        // An effect the editor does not offer: its algorithm image, and so its parameter
        // addresses, are unknown. Nothing is edited or saved rather than written to wrong places.
        emit effectWindowCloseRequested();
        m_state.addressesLoaded = false;
        m_state.addressesReason =
            QStringLiteral("the pedal's effect %1 is not in this editor's effect list").arg(m_deviceEffectNumberText);
        endFailedRequest(QStringLiteral("device information request: effect %1 is not in the effect list")
                             .arg(m_deviceEffectNumberText),
                         QStringLiteral("The pedal runs effect %1, which is not in this editor's effect list, so "
                                        "its parameters cannot be edited or saved. Update the editor or choose an "
                                        "effect on the pedal that the editor offers, then %2.")
                             .arg(m_deviceEffectNumberText, m_prompts.words(Prompts::NextStep::AskAgain)),
                         QStringLiteral("the pedal's effect %1 is not in the effect list").arg(m_deviceEffectNumberText));
        m_state.reported = DeviceInformation::fromValues(values); // what the pedal reported is still known
        co_return Result::Failed;
    }
    selectEffect(effect);
    if (!m_effectWindowShown)
        openEffectWindow();
    m_holds.readBack(info.parameterWords);
    applyReadBacks(info);
    m_state.valuesKnown = true;
    m_state.unknownReason.clear();
    emit readBacksApplied();
    setGate(GateState::RequestPassed);
    m_requestInProgress = false;
    m_comm.startPoll();
    co_return Result::Done;
}

Task<PedalService::Result> PedalService::readPedalReport()
{
    if (!allowed(Command::Request, QStringLiteral("request")))
        co_return Result::Refused;
    flushDialWrites();
    m_comm.tryBeginExchange(QStringLiteral("request"));
    m_log.writeLogLine(Banner.arg(QStringLiteral("REQUEST FOR COMPARE")));
    const Communication::Answer answer = co_await m_comm.exchangeDeviceInformation();
    m_comm.endExchange();
    if (m_comm.linked() && !m_comm.firmwareUpgradeMode())
        m_comm.startPoll();
    const auto info = answer.decoded.ok ? DeviceInformation::fromValues(answer.decoded.values) : std::nullopt;
    if (!info) {
        m_log.writeLogLine(QStringLiteral("request for compare: no complete answer"));
        const QString incomplete = QStringLiteral("The pedal did not answer completely, so its values are not shown. "
                                                  "Check the USB connection, then ") +
                                   m_prompts.words(Prompts::NextStep::ReadReportAgain) + QLatin1Char('.');
        co_await m_prompts.tell(incomplete);
        co_return Result::Failed;
    }
    m_state.reported = info;
    m_lastAnswerValues = answer.decoded.values;
    m_holds.reported(info->parameterWords, m_clock.localNow());
    noteValues();
    co_return Result::Done;
}

void PedalService::applyReadBacks(const DeviceInformation &info)
{
    // Footswitch mode.
    m_state.footswitchMode = info.footswitchMode;
    m_log.writeLogLine(QStringLiteral("Footswitch Mode: %1").arg(info.footswitchMode));
    if (info.footswitchMode <= 3) {
        m_state.shortPressChangesPreset = info.footswitchMode >= 2;
        m_state.longPressBypasses = info.footswitchMode % 2 == 1;
    }
    // Tuning: a tuning or variation the lists do not offer leaves them, and what is sent, as shown.
    m_log.writeLogLine(QStringLiteral("Current Tuning: %1").arg(info.tuning));
    m_log.writeLogLine(QStringLiteral("Semitones variation: ") + hexNumber(info.semitoneVariation, 2));
    if (info.tuning <= 8)
        m_state.tuningItem = info.tuning;
    const int s = qint8(info.semitoneVariation);
    if (s >= -5 && s <= 3)
        m_state.semitoneItem = s + 5;
    readBackAssignments(info);
    m_sentAssignItems = m_state.assignItems;
    m_sentFootswitch = {m_state.shortPressChangesPreset, m_state.longPressBypasses};
    m_sentTuning = {m_state.tuningItem, m_state.semitoneItem};
    // Bypass, the bypass-store marks, the instrument range and the MIDI channel.
    if (info.bypass <= 1)
        m_state.bypass = info.bypass == 1;
    if (info.bypassStore <= 1)
        m_state.storeBypassStatus = info.bypassStore == 1;
    m_state.instrumentRange = info.instrumentRange;
    m_sentInstrumentRange.reset();
    if (info.instrumentRange == 0xFF || info.instrumentRange == 0xBA) {
        m_state.instrumentRangeMark = info.instrumentRange;
        m_sentInstrumentRange = info.instrumentRange;
    }
    const int channel = info.midiChannel;
    m_state.midiChannelItem = channel == 0 || channel == 255 ? 0 : channel <= 16 ? channel : -1;
    m_sentMidiChannel = m_state.midiChannelItem;
    m_log.writeLogLine(QStringLiteral("MIDI channel: %1").arg(channel));
    emit choicesChanged();

    // The parameter values.
    static const char *const labels[] = {"Dry: \t", "Sub Mix: ", "Sub -1: \t", "Sub -2: \t", "Wave: \t", "LPF: \t",
                                         "HPF: \t", "1st Harmonic: \t", "Split: \t", "Range: \t", "Input Lvl: \t",
                                         "Harmonic pitch: \t", "Clip: \t", "Dominant notes cut: \t",
                                         "High notes cut: \t", "Dry HPF: \t", "Limit Range UP: \t"};
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        const quint32 word = info.parameterWords[size_t(i)];
        m_state.parameters[size_t(i)].value = word;
        const QString label =
            i < 17 ? QString::fromLatin1(labels[i]) : m_state.parameters[size_t(i)].name + QStringLiteral(": \t");
        m_log.writeLogLine(label + hexNumber(word, 8));
    }
    showParameterValues(false);
}

void PedalService::readBackAssignments(const DeviceInformation &info)
{
    int reported[ParameterCatalogue::AssignableControls];
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c) {
        if (info.assignFlags[size_t(c)] == 0) {
            m_state.assignItems[size_t(c)] = 0;
            reported[c] = -1;
        } else {
            reported[c] = info.assignAddresses[size_t(c)];
        }
    }
    for (ParameterRecord &p : m_state.parameters)
        p.assigned = false;
    for (int c = 0; c < 4; ++c) {
        if (reported[c] < 0)
            continue;
        const auto &offered = ParameterCatalogue::offeredOn(c);
        for (int k = 0; k < 5; ++k) {
            ParameterRecord &p = m_state.parameters[size_t(offered[size_t(k)])];
            if (p.address == reported[c]) {
                m_state.assignItems[size_t(c)] = k + 1;
                p.assigned = true;
            }
        }
    }
    const int remote = ParameterCatalogue::RemoteFootswitch;
    if (reported[remote] == PedalMessages::RemoteBypassCode)
        m_state.assignItems[remote] = 1;
    else if (reported[remote] == PedalMessages::RemotePresetCode)
        m_state.assignItems[remote] = 2;
}
