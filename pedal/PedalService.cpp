#include "pedal/PedalService.h"

#include "pedal/BackupRestore.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/SettingsMemory.h"
#include "pedal/EditRecorder.h"
#include "pedal/RawLine.h"

#include "algorithms/EffectList.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "presets/PresetFile.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "support/UserFiles.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

using HexCodec::hexNumber;
using namespace DialMath;

namespace {
const QString Banner = QStringLiteral("********************%1********************");
const QString BusyReason = QStringLiteral("the pedal is busy with another exchange");

QString upgradeInstructions()
{
    return QStringLiteral(
        "If current firmware is below 9 follow legacy firmware upgrade mode:\r\n"
        "1) close editor application and disconnect pedal from USB\r\n"
        "2) hold shift button while connecting pedal to USB\r\n"
        "3) start application, check Firmware Upgrade Mode in Firmware Upgrade menu\r\n"
        "4) clink Link under Connection menu\r\n"
        "5) go to Firmware Upgrade menu again and select Firmware Upgrade\r\n"
        "\r\n"
        "If current firmware is 9 or above go to Firmware Upgrade menu and follow instructions.");
}

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

bool needsCurrentAlgorithm(PedalService::Command c)
{
    using C = PedalService::Command;
    switch (c) {
    case C::ParameterWrite:
    case C::Bypass:
    case C::Assign:
    case C::Footswitch:
    case C::Tuning:
    case C::SaveParameters:
    case C::ResetDefaults:
    case C::PresetSave:
    case C::PresetLoad:
        return true;
    default:
        return false;
    }
}

bool needsAddresses(PedalService::Command c)
{
    using C = PedalService::Command;
    return c == C::ParameterWrite || c == C::Assign || c == C::ResetDefaults || c == C::PresetLoad;
}

// Commands that send many messages or large data: only to a pedal that answered completely.
bool needsCompleteAnswer(PedalService::Command c)
{
    using C = PedalService::Command;
    return c == C::AlgorithmUpload || c == C::TuningUpload || c == C::PresetLoad || c == C::ResetDefaults;
}

bool needsKnownValues(PedalService::Command c)
{
    using C = PedalService::Command;
    return c == C::SaveParameters || c == C::PresetSave;
}
} // namespace

PedalService::PedalService(DiagnosticLog &log, UserFiles &files, Prompts &prompts, Clock &clock, D2XXUnit &d2xx,
                           Communication &comm, QObject *parent)
    : QObject(parent), m_log(log), m_files(files), m_prompts(prompts), m_clock(clock), m_d2xx(d2xx), m_comm(comm)
{
    m_uploads = new Uploads(log, prompts, clock, d2xx, comm, this);
    connect(m_uploads, &Uploads::statusChanged, this, &PedalService::uploadStatusChanged);
    m_dialTimer = clock.createTimer(this);
    m_dialTimer->setInterval(1000);
    connect(m_dialTimer, &ClockTimer::timeout, this, &PedalService::onDialTick);

    connect(&comm, &Communication::labelsChanged, this, &PedalService::labelsChanged);
    connect(&comm, &Communication::settingsDumpReceived, this, &PedalService::settingsDumpReceived);
    connect(&comm, &Communication::unlinked, this, [this] {
        m_gateBeforeUnlink = m_gate;
        m_state.reported.reset();
        forgetValues(QStringLiteral("no pedal is linked"));
        setGate(GateState::Unlinked);
    });
    m_firmware = new FirmwareUpgrade(*this, log, prompts, clock, d2xx, comm, this);
    connect(m_firmware, &FirmwareUpgrade::bootloaderReady, this, &PedalService::bootloaderReady);
    m_memory = new SettingsMemory(*this, log, prompts, clock, d2xx, comm, this);
    m_backups = std::make_unique<BackupRestore>(*this, log, prompts, comm);
    m_rawLine = std::make_unique<RawLine>(d2xx, comm, clock);
    m_returnWatch = clock.createTimer(this);
    m_returnWatch->setInterval(1000);
    connect(m_returnWatch, &ClockTimer::timeout, this, &PedalService::lookForLostPedal);
    connect(&comm, &Communication::deviceDisconnected, this, &PedalService::onDeviceLost);
    m_uploads->beforeWriting = [this] { return backUpBefore(QStringLiteral("the algorithm upload")); };

    // The effect list the editor offers, and the newest algorithm it carries.
    QString error;
    if (EffectList::loadResourceToList(QStringLiteral("octave"), &m_resourceLines, &error))
        m_effectNames = m_resourceLines;
    else
        m_prompts.message(QStringLiteral("Error loading resource: ") + error);
    if (!m_effectNames.isEmpty())
        latestAlgorithmNumber = EffectList::latestAlgorithmNumber(m_effectNames.first());
}

PedalService::~PedalService() = default;

bool PedalService::linked() const { return m_comm.linked(); }

QString PedalService::deviceLabel() const { return m_comm.deviceLabel(); }

QString PedalService::serialMenuText() const { return m_comm.serialMenuText(); }

void PedalService::setGate(GateState state)
{
    m_gate = state;
    emit gateChanged(state);
}

void PedalService::forgetValues(const QString &reason)
{
    m_state.valuesKnown = false;
    m_state.unknownReason = reason;
}

// ---------------------------------------------------------------------------------------------
// The guard.

QString PedalService::refusal(Command command, bool beforeRequest, Busy busy) const
{
    const bool upload = command == Command::AlgorithmUpload || command == Command::TuningUpload;
    if (m_firmware->running())
        return QStringLiteral("a firmware upgrade is under way");
    if (busy == Busy::Refuses && (m_comm.exchangeBusy() || (upload && m_uploads->uploading())))
        return BusyReason;
    if (!m_comm.linked())
        return QStringLiteral("no pedal is linked");
    if (m_comm.bootloaderLinked() || m_gate == GateState::BootloaderLinked)
        return QStringLiteral("the pedal is linked to its bootloader for a firmware upgrade");
    if (beforeRequest)
        return QString();
    // A bootloader would take a message meant for the firmware as commands of its own; only a
    // new request may ask whether the pedal runs its firmware again.
    const QString inBootloader = QStringLiteral("the pedal is in its bootloader");
    // The settings memory tools are for a pedal in trouble: only the link matters to them.
    if (command == Command::MemoryTool || command == Command::RawWrite)
        return m_bootloaderAnswered ? inBootloader : QString();
    if (command != Command::Request && m_gate == GateState::FirmwareTooOld)
        return QStringLiteral("the pedal's firmware %1 is older than firmware %2, which this editor needs")
            .arg(m_deviceFirmwareText)
            .arg(latestFirmwareNumber);
    if (needsCurrentAlgorithm(command) && m_gate == GateState::AlgorithmTooOld)
        return QStringLiteral("the pedal runs algorithm %1, older than %2, which this editor edits")
            .arg(m_deviceAlgorithmText, QStringLiteral("%1").arg(latestAlgorithmNumber, 4, 10, QLatin1Char('0')));
    if (needsCompleteAnswer(command) && !m_state.reported)
        return QStringLiteral("the pedal's settings are not known: ") + m_state.unknownReason;
    if (needsAddresses(command) && !m_state.addressesLoaded)
        return QStringLiteral("the parameter addresses are not known: ") +
               (m_state.reported ? m_state.addressesReason : m_state.unknownReason);
    if (needsKnownValues(command) && !m_state.valuesKnown)
        return QStringLiteral("the pedal's settings are not known: ") + m_state.unknownReason;
    if (m_bootloaderAnswered && command != Command::Request)
        return inBootloader;
    return QString();
}

void PedalService::refuse(const QString &what, const QString &reason)
{
    if (reason == BusyReason)
        m_log.writeLogLine(what + QStringLiteral(" ignored: an exchange with the pedal is under way"));
    else
        m_log.writeLogLine(what + QStringLiteral(" refused: ") + reason);
    QString command = what;
    command[0] = command[0].toUpper();
    m_prompts.message(QStringLiteral("%1 was refused: %2.").arg(command, reason));
}

bool PedalService::allowed(Command command, const QString &what, bool beforeRequest)
{
    const QString reason = refusal(command, beforeRequest);
    if (reason.isEmpty())
        return true;
    refuse(what, reason);
    return false;
}

// ---------------------------------------------------------------------------------------------
// The link.

void PedalService::refreshDeviceList() { m_comm.refreshDeviceList(); }

void PedalService::scanAndLink()
{
    const int count = m_comm.scanDevices();
    for (int i = 0; i < count; ++i) {
        m_comm.chooseScannedDevice(i);
        link();
    }
}

void PedalService::linkSimulated()
{
    if (m_comm.chooseSimulatedPedal())
        link();
}

void PedalService::link(bool askForSettings)
{
    forgetValues(QStringLiteral("the device information request has not run"));
    if (!m_comm.link()) {
        const QString denied = m_d2xx.backend() ? m_d2xx.backend()->permissionDeniedPort() : QString();
        m_log.writeLogLine(QStringLiteral("link: the USB device %1 could not be opened%2")
                               .arg(m_comm.deviceSerialNumber(),
                                    denied.isEmpty() ? QString() : QStringLiteral(": permission denied on ") + denied));
        m_prompts.message(m_comm.openFailureText());
        return;
    }
    m_bootloaderAnswered = false;
    setGate(m_comm.bootloaderLinked() ? GateState::BootloaderLinked : GateState::Linked);
    if (m_comm.bootloaderLinked())
        m_log.writeLogLine(QStringLiteral("device information request skipped: the line talks to the bootloader"));
    else if (askForSettings && !m_comm.legacyUpgradeMode())
        requestDeviceInformation();
}

bool PedalService::watchingForReturn() const { return m_returnWatch->isActive(); }

void PedalService::onDeviceLost()
{
    // Only a pedal that ran its firmware is waited for: a bootloader has its own way back.
    const bool normal = m_gateBeforeUnlink == GateState::Linked || m_gateBeforeUnlink == GateState::RequestPassed ||
                        m_gateBeforeUnlink == GateState::AlgorithmTooOld ||
                        m_gateBeforeUnlink == GateState::FirmwareTooOld;
    if (!relinkWhenBack || !normal || m_firmware->running() || m_comm.firmwareUpgradeMode())
        return;
    m_lostBackend = m_d2xx.backend();
    m_lostSerial = m_comm.deviceSerialNumber();
    m_keptValues = parameterValues();
    m_keptShown = m_state.shown;
    m_log.writeLogLine(QStringLiteral("waiting for the pedal %1 to come back; the editor keeps its values").arg(m_lostSerial));
    m_returnWatch->start();
    m_comm.watchingForReturn();
}

void PedalService::lookForLostPedal()
{
    // Linked by hand meanwhile (to this pedal or another), or Upgrade Mode chosen (the pedal will
    // come back in its bootloader): nothing to offer.
    if (m_comm.linked() || m_comm.firmwareUpgradeMode()) {
        m_returnWatch->stop();
        m_comm.cameBack(); // no longer awaited
        m_keptValues.reset();
        return;
    }
    QString description;
    if (!Communication::listed(m_lostBackend, m_lostSerial, &description))
        return;
    m_returnWatch->stop();
    m_comm.cameBack();
    m_log.writeLogLine(QStringLiteral("the pedal %1 is back: linking").arg(m_lostSerial));
    m_comm.chooseDevice(m_lostBackend, m_lostSerial, description);
    link();
    offerKeptValues();
}

void PedalService::offerKeptValues()
{
    const auto kept = std::exchange(m_keptValues, std::nullopt);
    if (!kept || !m_state.valuesKnown)
        return;
    const PresetFile::PresetValues now = parameterValues();
    int differing = 0;
    for (int i = 0; i < PresetFile::Values; ++i)
        differing += (*kept)[size_t(i)] != now[size_t(i)];
    if (differing == 0)
        return;
    if (!m_prompts.question(QStringLiteral("The pedal came back with %1 settings different from the editor. Send the "
                                           "editor's settings?")
                                .arg(differing)))
        return; // the pedal's values stay on the controls
    // Each control that differs goes back to what the editor showed and sends it at once, as
    // the user's change of that control would (not a step of the history).
    const bool wasShowing = std::exchange(m_showingValues, true);
    for (int i : ParameterCatalogue::showOrder()) {
        if ((*kept)[size_t(i)] != now[size_t(i)])
            sendControl(i, m_keptShown[size_t(i)]);
    }
    m_showingValues = wasShowing;
}

bool PedalService::unlink()
{
    if (m_firmware->running()) {
        refuse(QStringLiteral("unlink"), QStringLiteral("a firmware upgrade is under way"));
        return false;
    }
    return m_comm.unlink();
}

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
    m_prompts.message(message);
}

PedalService::Result PedalService::requestDeviceInformation()
{
    if (!allowed(Command::Request, QStringLiteral("request")))
        return Result::Refused;
    flushDialWrites(); // the pedal takes the last edits first, so the answer holds them
    m_comm.tryBeginExchange(QStringLiteral("request"));
    m_log.writeLogLine(Banner.arg(QStringLiteral("REQUEST")));
    m_requestInProgress = true;
    m_bootloaderAnswered = false;
    const Communication::Answer answer = m_comm.exchangeDeviceInformation();
    m_comm.endExchange();
    m_lastAnswerValues = answer.decoded.ok ? answer.decoded.values : QByteArray();

    if (answer.wait == Communication::WaitResult::DeviceFailed) {
        m_clock.waitForActivity(0); // an unplug is reported by the backend as an event
        if (!m_comm.linked()) {
            // Unlinked by the user or unplugged while the pedal was being asked: nothing to tell.
            m_requestInProgress = false;
            m_state.reported.reset();
            m_log.writeLogLine(QStringLiteral("device information request: ended, the pedal is no longer linked"));
            return Result::Failed;
        }
        endFailedRequest(QStringLiteral("device information request: the USB device could not be read"),
                         QStringLiteral("The pedal could not be reached: the USB device is not open or was "
                                        "disconnected. Check the cable and choose Scan And Link again."),
                         QStringLiteral("the USB device could not be read"));
        return Result::Failed;
    }
    if (answer.wait == Communication::WaitResult::TimedOut) {
        endFailedRequest(
            QStringLiteral("device information request: no answer within %1 ms").arg(m_comm.answerTimeoutMs()),
            QStringLiteral("The pedal did not answer the device information request. Check that the pedal is powered "
                           "and connected, then press Request."),
            QStringLiteral("the pedal did not answer the device information request"));
        return Result::Failed;
    }
    if (!answer.decoded.ok) {
        endFailedRequest(
            QStringLiteral("device information request: the answer could not be read: ") + answer.decoded.error,
            QStringLiteral("The pedal's answer could not be read (%1), so nothing was read back. Check the USB "
                           "connection, then press Request.")
                .arg(answer.decoded.error),
            QStringLiteral("the pedal's answer could not be read"));
        return Result::Failed;
    }
    const QByteArray &values = answer.decoded.values;
    if (values.size() < DeviceInformation::Values) {
        if (values.isEmpty() && bootloaderAnswer(answer.bytes)) {
            m_bootloaderAnswered = true;
            const QString byte = hexNumber(quint8(answer.bytes[0]), 2);
            endFailedRequest(
                QStringLiteral("device information request: the bootloader answered (%1)").arg(byte),
                QStringLiteral("The pedal answered with its bootloader's byte %1 instead of its settings: it is "
                               "waiting for a firmware upgrade. Use the Firmware Upgrade menu, or switch the pedal "
                               "off and on again.")
                    .arg(byte),
                QStringLiteral("the pedal is in its bootloader"));
            return Result::Failed;
        }
        endFailedRequest(QStringLiteral("device information request: incomplete answer, %1 of %2 values")
                             .arg(values.size())
                             .arg(DeviceInformation::Values),
                         QStringLiteral("The pedal's answer was incomplete (%1 of %2 values), so nothing was read "
                                        "back. Check the USB connection, then press Request.")
                             .arg(values.size())
                             .arg(DeviceInformation::Values),
                         QStringLiteral("its answer held %1 of %2 values").arg(values.size()).arg(DeviceInformation::Values));
        return Result::Failed;
    }

    m_state.reported = DeviceInformation::fromValues(values);
    const DeviceInformation &info = *m_state.reported;
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
        m_prompts.message(QStringLiteral("A firmware upgrade is required. Upgrade to Firmware %1").arg(latestFirmwareNumber));
        m_prompts.message(upgradeInstructions());
        forgetValues(QStringLiteral("the pedal needs a firmware upgrade"));
        setGate(GateState::FirmwareTooOld);
        return Result::Failed;
    }
    setGate(GateState::RequestPassed);

    int algorithm = 0;
    if (!info.algorithmNumber(&algorithm)) {
        const QString error = HexCodec::conversionError(m_deviceAlgorithmText);
        m_log.writeLogLine(error);
        m_prompts.message(error);
        return Result::Failed;
    }
    int effect = 0;
    if (algorithm < latestAlgorithmNumber) {
        emit effectWindowCloseRequested();
        m_prompts.message(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                              .arg(latestAlgorithmNumber));
        if (info.effectNumber(&effect))
            selectEffect(effect);
        forgetValues(QStringLiteral("the pedal's algorithm is older than this editor's"));
        setGate(GateState::AlgorithmTooOld);
        return Result::Failed;
    }
    if (!info.effectNumber(&effect)) {
        const QString error = HexCodec::conversionError(m_deviceEffectNumberText);
        m_log.writeLogLine(error);
        m_prompts.message(error);
        return Result::Failed;
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
                                        "effect on the pedal that the editor offers, then press Request.")
                             .arg(m_deviceEffectNumberText),
                         QStringLiteral("the pedal's effect %1 is not in the effect list").arg(m_deviceEffectNumberText));
        m_state.reported = DeviceInformation::fromValues(values); // what the pedal reported is still known
        return Result::Failed;
    }
    selectEffect(effect);
    if (!m_effectWindowShown)
        openEffectWindow();
    applyReadBacks(info);
    m_state.valuesKnown = true;
    m_state.unknownReason.clear();
    emit readBacksApplied();
    setGate(GateState::RequestPassed);
    m_requestInProgress = false;
    m_comm.startPoll();
    return Result::Done;
}

PedalService::Result PedalService::readPedalReport()
{
    if (!allowed(Command::Request, QStringLiteral("request")))
        return Result::Refused;
    flushDialWrites();
    m_comm.tryBeginExchange(QStringLiteral("request"));
    m_log.writeLogLine(Banner.arg(QStringLiteral("REQUEST FOR COMPARE")));
    const Communication::Answer answer = m_comm.exchangeDeviceInformation();
    m_comm.endExchange();
    if (m_comm.linked() && !m_comm.firmwareUpgradeMode())
        m_comm.startPoll();
    const auto info = answer.decoded.ok ? DeviceInformation::fromValues(answer.decoded.values) : std::nullopt;
    if (!info) {
        m_log.writeLogLine(QStringLiteral("request for compare: no complete answer"));
        m_prompts.message(QStringLiteral("The pedal did not answer completely, so its values are not shown. Check the "
                                         "USB connection, then press Refresh."));
        return Result::Failed;
    }
    m_state.reported = info;
    m_lastAnswerValues = answer.decoded.values;
    return Result::Done;
}

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
    const QString reason = refusal(Command::ParameterWrite);
    if (!reason.isEmpty()) {
        refuse(QStringLiteral("Use"), reason);
        return Result::Refused;
    }
    const int previous = m_state.shown[size_t(parameter)];
    sendDialWord(parameter, word);
    recordControlEdit(parameter, previous);
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
    const QString text = PedalMessages::parameterWrite(p.address, word);
    m_log.writeLogLine(QStringLiteral("Send ") + p.name + QStringLiteral(" string (standard par): ") + text);
    m_comm.sendHexMessage(text, 7);
    p.value = word;
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

// ---------------------------------------------------------------------------------------------
// The effect list and the effect window.

bool PedalService::loadSelectedEffectImage()
{
    const QString resource = HexCodec::effectNameToResourceName(m_selectedEffectName);
    m_log.writeLogLine(QStringLiteral("resource name: ") + resource);
    QString error;
    if (!EffectList::loadResourceToList(resource, &m_resourceLines, &error)) {
        m_prompts.message(QStringLiteral("Error loading resource: ") + error);
        return false;
    }
    m_log.writeLogLine(QStringLiteral("filecontent (first 128 bytes): ") + m_resourceLines.value(0).left(256));
    return true;
}

bool PedalService::selectEffect(int index)
{
    m_log.writeLogLine(QStringLiteral("efx index :%1").arg(index));
    if (index < 0 || index >= m_effectNames.size()) {
        m_log.writeLogLine(QStringLiteral("no effect selected: nothing loaded"));
        return false;
    }
    m_selectedEffect = index;
    m_selectedEffectName = m_effectNames[index];
    m_log.writeLogLine(QStringLiteral("selected effect name: ") + m_selectedEffectName);
    emit effectSelected(index);
    return loadSelectedEffectImage();
}

void PedalService::openEffectWindow()
{
    if (m_effectWindowShown)
        emit effectWindowCloseRequested();
    // The window shows the selected effect with the addresses of its image. When the image
    // cannot be loaded, the lines loaded before are not this effect's: its addresses are unknown.
    if (loadSelectedEffectImage()) {
        if (!m_state.loadParameterAddresses(m_resourceLines.value(0)))
            m_log.writeLogLine(QStringLiteral("algorithm header too short: some parameter addresses were not loaded"));
        m_state.addressesLoaded = true;
    } else {
        m_state.addressesLoaded = false;
        m_state.addressesReason = QStringLiteral("the algorithm image of %1 could not be loaded").arg(m_selectedEffectName);
    }
    emit effectWindowRequested();
}

void PedalService::chooseEffect(int index)
{
    selectEffect(index);
    if (!m_comm.linked()) {
        openEffectWindow();
        return;
    }
    bool ok = false;
    const int n = m_deviceAlgorithmText.toInt(&ok, 10);
    if (!ok) {
        m_prompts.message(HexCodec::conversionError(m_deviceAlgorithmText));
        return;
    }
    if (n >= latestAlgorithmNumber) {
        openEffectWindow();
        return;
    }
    emit effectWindowCloseRequested();
    m_prompts.message(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                          .arg(latestAlgorithmNumber));
    setGate(GateState::AlgorithmTooOld);
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
    const QString reason = refusal(Command::ParameterWrite, false, held ? Busy::Waits : Busy::Refuses);
    if (quiet && reason.isEmpty())
        return Result::Done;
    if (info.control == ControlKind::List && shown < 0)
        return Result::Done;
    if (!reason.isEmpty()) {
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
        const QString text = PedalMessages::parameterWrite(p.address, word);
        m_log.writeLogLine(QStringLiteral("Send ") + p.name + QStringLiteral(" string (standard par): ") + text);
        if (m_sendImmediately)
            m_comm.sendHexMessage(text, 7);
        else
            queueDialWrite(p.address, text);
        p.value = word;
        return Result::Done;
    }
    case ControlKind::Switch: {
        const QString text = PedalMessages::parameterWrite(p.address, ParameterCatalogue::wordFor(i, shown));
        const QString line = QStringLiteral("Send ") + p.name +
                             (info.record == RecordKind::Assignable ? QStringLiteral(" string (assignable par): ")
                                                                         : QStringLiteral(" string (standard par): ")) +
                             text;
        const int times = i == Parameter::Attack ? 3 : 1; // the pedal takes Attack only this way
        for (int t = 0; t < times; ++t) {
            m_log.writeLogLine(line);
            m_comm.sendHexMessage(text, 7);
        }
        p.value = ParameterCatalogue::wordFor(i, shown); // what a backup made now must hold
        return Result::Done;
    }
    case ControlKind::List: {
        const quint32 word = ParameterCatalogue::wordFor(i, shown);
        const QString text = PedalMessages::parameterWrite(p.address, word);
        m_log.writeLogLine(QStringLiteral("Send Harmonic Pitch string: ") + text);
        m_comm.sendHexMessage(text, 7);
        p.value = word;
        return Result::Done;
    }
    case ControlKind::CheckBox: {
        Result result = Result::Done;
        if (m_state.tuningItem == PedalState::NoTuningIndex && shown == 1) {
            m_prompts.message(QStringLiteral("Set a tuning before using this parameter"));
            shown = 0;
            emit controlShown(i);
            result = Result::Refused; // the value 0 is still sent
        }
        p.value = quint32(shown);
        m_comm.writeDspMessage(p.address, p.value);
        return result;
    }
    }
    return Result::Done;
}

void PedalService::logAndSend(const QString &text)
{
    m_log.writeLogLine(text);
    m_comm.sendHexMessage(text, int(text.size() / 2));
}

void PedalService::queueDialWrite(quint16 address, const QString &text)
{
    bool replaced = false;
    for (auto &pending : m_pendingDials) {
        if (pending.first == address) {
            pending.second = text;
            replaced = true;
        }
    }
    if (!replaced)
        m_pendingDials.append({address, text});
    if (!m_dialTimer->isActive() || m_dialTimer->interval() != 100)
        m_dialTimer->start(100); // already running at 100 ms: left alone, so a drag still sends every 100 ms
}

void PedalService::onDialTick()
{
    m_dialTimer->stop();
    if (m_pendingDials.isEmpty())
        return;
    if (m_comm.exchangeBusy()) {
        m_dialTimer->start(100); // the pedal is answering something else: the dials wait their turn
        return;
    }
    const QString reason = refusal(Command::ParameterWrite);
    const auto pending = std::exchange(m_pendingDials, {});
    if (!reason.isEmpty()) {
        m_log.writeLogLine(QStringLiteral("%1 dial messages not sent: %2").arg(pending.size()).arg(reason));
        return;
    }
    for (const auto &p : pending)
        m_comm.sendHexMessage(p.second, 7);
}

void PedalService::flushDialWrites()
{
    m_dialTimer->stop();
    const auto pending = std::exchange(m_pendingDials, {});
    for (const auto &p : pending)
        m_comm.sendHexMessage(p.second, 7);
}

PedalService::Result PedalService::setBypass(bool on)
{
    if (m_state.bypass == on)
        return Result::Done;
    m_state.bypass = on;
    const QString reason = refusal(Command::Bypass);
    if (m_requestInProgress && reason.isEmpty())
        return Result::Done;
    if (!reason.isEmpty()) {
        refuse(QStringLiteral("Bypass"), reason);
        m_state.bypass = !on;
        emit choicesChanged();
        return Result::Refused;
    }
    m_comm.sendHexMessage(PedalMessages::bypass(on), 2);
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
            m_prompts.message(QStringLiteral("No tuning selected, Select a tuning before assigning this parameter"));
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
}

// ---------------------------------------------------------------------------------------------
// Commands.

QString PedalService::buildAssignMessage()
{
    std::array<int, 4> addresses{};
    for (int c = 0; c < 4; ++c) {
        const int item = m_state.assignItems[size_t(c)];
        addresses[size_t(c)] =
            item > 0 ? m_state.parameters[size_t(ParameterCatalogue::offeredOn(c)[size_t(item - 1)])].address : -1;
    }
    const QString text = PedalMessages::assign(addresses, m_state.assignItems[ParameterCatalogue::RemoteFootswitch]);
    m_log.writeLogLine(QStringLiteral("lenght of assign message in bytes: %1").arg(text.size() / 2));
    m_log.writeLogLine(QStringLiteral("assign message: ") + text);
    return text;
}

PedalService::Result PedalService::assign()
{
    if (!allowed(Command::Assign, QStringLiteral("Assign")))
        return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("ASSIGN")));
    const QString text = buildAssignMessage();
    if (!m_applyingHistory && !m_prompts.question(QStringLiteral("Upload Assignments?")))
        return Result::Cancelled;
    m_comm.sendHexMessage(text, int(text.size() / 2));
    m_clock.pause(100);
    const auto before = std::exchange(m_sentAssignItems, m_state.assignItems), after = m_state.assignItems;
    if (before != after)
        recordSetting(QStringLiteral("Assign"), before, after, [this](const auto &items) {
            m_state.assignItems = items;
            emit choicesChanged();
            assign();
        });
    return Result::Done;
}

PedalService::Result PedalService::setFootswitchMode()
{
    if (!allowed(Command::Footswitch, QStringLiteral("Set Footswitch Mode")))
        return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("SET FOOTSWITCH MODE")));
    const QString text = PedalMessages::footswitch(m_state.shortPressChangesPreset, m_state.longPressBypasses);
    m_log.writeLogLine(QStringLiteral("footswitch behaviour message: ") + text);
    logAndSend(text);
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

PedalService::Result PedalService::setTuning()
{
    if (!allowed(Command::Tuning, QStringLiteral("Set Tuning")))
        return Result::Refused;
    m_log.writeLogLine(Banner.arg(QStringLiteral("SET TUNING")));
    const QString text = PedalMessages::tuning(m_state.tuningItem, m_state.semitoneVariation());
    m_log.writeLogLine(QStringLiteral("Tuning Message: ") + text);
    if (!m_applyingHistory && !m_prompts.question(QStringLiteral("Set new tuning?")))
        return Result::Cancelled;
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendHexMessage(text, 3);
    m_clock.pause(100);
    const auto after = std::make_pair(m_state.tuningItem, m_state.semitoneItem);
    const auto before = std::exchange(m_sentTuning, after);
    if (before != after)
        recordSetting(QStringLiteral("Tuning"), before, after, [this](std::pair<int, int> tuning) {
            m_state.tuningItem = tuning.first;
            m_state.semitoneItem = tuning.second;
            emit choicesChanged();
            setTuning();
        });
    return Result::Done;
}

PedalService::Result PedalService::saveNoteFilters(const QList<int> &noteCodes)
{
    if (!allowed(Command::NoteFilters, QStringLiteral("Note Cut")))
        return Result::Refused;
    int first = 0xFF, second = 0xFF;
    for (int code : noteCodes) {
        if (first == 0xFF)
            first = code;
        else
            second = code;
    }
    m_log.writeLogLine(QStringLiteral("byte 1: ") + hexNumber(quint8(first), 2));
    m_log.writeLogLine(QStringLiteral("byte 2: ") + hexNumber(quint8(second), 2));
    const QString text = PedalMessages::noteFilters(first, second);
    m_log.writeLogLine(QStringLiteral("Set note filters: ") + text);
    const int n = int(text.size() / 2);
    m_log.writeLogLine(QString::number(n));
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendHexMessage(text, n);
    m_clock.pause(100);
    // The pedal does not report its note filters: only a change from filters the editor sent
    // can be taken back.
    const auto before = std::exchange(m_sentNoteFilters, noteCodes);
    if (before && *before != noteCodes)
        recordSetting(QStringLiteral("Note Cut"), *before, noteCodes, [this](const QList<int> &codes) {
            saveNoteFilters(codes);
            emit choicesChanged();
        });
    return Result::Done;
}

bool PedalService::readValuesToSave(Command command, const QString &what, const QString &banner)
{
    if (!allowed(command, what, true))
        return false;
    requestDeviceInformation(); // the values saved are those the pedal is running
    m_log.writeLogLine(Banner.arg(banner));
    return allowed(command, what);
}

PedalService::Result PedalService::saveParameters()
{
    if (!readValuesToSave(Command::SaveParameters, QStringLiteral("Save Parameters"), QStringLiteral("SAVE PARAMETERS")))
        return Result::Refused;
    std::array<quint32, 10> values{};
    for (int i = 0; i < 10; ++i)
        values[size_t(i)] = m_state.parameters[size_t(Parameter::InputLevel + i)].value;
    const QString text = PedalMessages::storeSettings(values);
    m_log.writeLogLine(QStringLiteral("Store settings message (HEX): ") + text);
    const int n = int(text.size() / 2);
    m_log.writeLogLine(QStringLiteral("num of bytes to send: %1").arg(n));
    if (!m_prompts.question(QStringLiteral("Save Parameters to pedal?")))
        return Result::Cancelled;
    m_d2xx.PurgeFTDeviceTX();
    quint32 written = 0;
    m_comm.sendHexMessage(text, n, &written);
    m_log.writeLogLine(QStringLiteral("num of bytes sent: %1").arg(written));
    m_clock.pause(100);
    return Result::Done;
}

void PedalService::sendStoreSettings()
{
    std::array<quint32, 10> values{};
    for (int i = 0; i < 10; ++i)
        values[size_t(i)] = m_state.parameters[size_t(Parameter::InputLevel + i)].value;
    const QString text = PedalMessages::storeSettings(values);
    m_log.writeLogLine(QStringLiteral("Store settings message (HEX): ") + text);
    // No purge of the transmit queue here: it would throw away the values just written before it.
    quint32 written = 0;
    m_comm.sendHexMessage(text, int(text.size() / 2), &written);
    m_log.writeLogLine(QStringLiteral("num of bytes sent: %1").arg(written));
    m_clock.pause(100);
}

void PedalService::showSaveParametersInfo()
{
    m_prompts.message(QStringList{
        QStringLiteral("Permanently saves the current state of all assignable parameters to the pedal, regardless of "
                       "whether they are currently assigned."),
        QStringLiteral("Assignable parameters are those not available as physical controls on the pedal (e.g., Input "
                       "Level, Dominant Notes Cut, etc.)."),
        QStringLiteral("Their saved state is preserved even after firmware or algorithm updates."),
        QString::fromUtf8("Example: you want to set a new Input Level, adjust the Input Level knob in the editor and "
                          "then click \u201CSave Parameters.\u201D"),
        QStringLiteral("Save Parameters is not related to presets, in this way saving preset from the pedal will not "
                       "erase Save Parameters settings."),
        QStringLiteral("Think of Save Parameters as a global preset.")}
                          .join(QStringLiteral("\r\n")));
}

PedalService::Result PedalService::resetAssignableParameters(bool tellUser)
{
    if (!allowed(Command::ResetDefaults, QStringLiteral("Set Assignable Parameters to Default")))
        return Result::Refused;
    using namespace Parameter;
    const auto record = [this](int i) -> ParameterRecord & { return m_state.parameters[size_t(i)]; };
    record(InputLevel).value = FullScale;
    record(FirstHarmonicPitch).value = HarmonicPitchTable[12];
    for (int i : {WaveClip, DominantNotesCut, HighNotesCut, DryHPF, LimitRangeUp, NoiseGateStatus, NoiseGateThreshold})
        record(i).value = 0;
    record(Attack).value = PedalMessages::AttackFastValue;

    const auto plain = [&](int i) {
        m_comm.sendHexMessage(PedalMessages::parameterWrite(record(i).address, record(i).value), 7);
        m_clock.pause(10);
    };
    const auto assignable = [&](int i) {
        const QString text = PedalMessages::parameterWrite(record(i).address, record(i).value);
        m_log.writeLogLine(QStringLiteral("Send ") + record(i).name + QStringLiteral(" string (assignable par): ") + text);
        m_comm.sendHexMessage(text, 7);
    };
    plain(InputLevel);
    plain(FirstHarmonicPitch);
    plain(WaveClip);
    m_comm.writeDspMessage(record(DominantNotesCut).address, record(DominantNotesCut).value);
    m_comm.writeDspMessage(record(HighNotesCut).address, record(HighNotesCut).value);
    m_clock.pause(10);
    plain(DryHPF);
    assignable(LimitRangeUp);
    m_clock.pause(10);
    // The noise gate: both parameters, each to its own address.
    assignable(NoiseGateStatus);
    assignable(NoiseGateThreshold);
    m_clock.pause(10);
    assignable(Attack);
    m_clock.pause(10);
    showParameterValues(false);
    if (tellUser)
        m_prompts.message(QStringLiteral("Click Save Parameters button to save the current status on pedal"));
    return Result::Done;
}

PedalService::Result PedalService::chooseInstrumentRange(quint8 range)
{
    if (!allowed(Command::PedalOption, QStringLiteral("Instrument Range")))
        return Result::Refused;
    const quint8 rangeBefore = m_state.instrumentRange;
    m_state.instrumentRange = range;
    m_state.instrumentRangeMark = range;
    emit choicesChanged();
    QString error;
    if (!UserFiles::writeTextFile(m_files.userFile(QStringLiteral("Instrument.txt")),
                                  range == 0xFF ? QStringLiteral("STANDARD") : QStringLiteral("LOW"), &error))
        m_log.writeLogLine(QStringLiteral("Instrument.txt could not be written: ") + error);
    quint8 checksum = 0;
    const QString text = PedalMessages::instrumentRange(range, &checksum);
    m_log.writeLogLine(QStringLiteral("checksum byte: ") + hexNumber(checksum, 2));
    if (!m_applyingHistory && !m_prompts.question(QStringLiteral("Change current Instrument?")))
        return Result::Cancelled;
    logAndSend(text);
    if (range == 0xFF || range == 0xBA)
        m_sentInstrumentRange = range;
    if (rangeBefore != range && (rangeBefore == 0xFF || rangeBefore == 0xBA))
        recordSetting(QStringLiteral("Instrument Range"), rangeBefore, range,
                      [this](quint8 r) { chooseInstrumentRange(r); });
    return Result::Done;
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

QString PedalService::backupFolder() { return m_files.userFile(PedalBackup::FolderName); }

PedalService::Backup PedalService::backUp(const QString &occasion, const QString &folder, bool snapshotLater)
{
    Backup b;
    if (!m_state.reported || m_lastAnswerValues.size() < DeviceInformation::Values) {
        b.problem = QStringLiteral("the pedal's state is not known (%1)")
                        .arg(m_state.unknownReason.isEmpty() ? QStringLiteral("it has not answered a device information request")
                                                             : m_state.unknownReason);
        return b;
    }
    // The values the pedal runs: those it reported, with the editor's changes since.
    PresetFile::PresetValues values{};
    for (int i = 0; i < PresetFile::Values; ++i)
        values[size_t(i)] = m_state.valuesKnown ? ownScaleWord(m_state.parameters[size_t(i)].value,
                                                               ParameterCatalogue::all()[size_t(i)].fullScale)
                                                : m_state.reported->parameterWords[size_t(i)];
    const std::optional<BackupSnapshot> snapshot = m_backups->snapshot(occasion);
    b.made = PedalBackup::write(folder.isEmpty() ? backupFolder() : folder, m_clock.localNow(), m_comm.deviceSerialNumber(),
                                occasion, *m_state.reported, m_lastAnswerValues, values, &b.files, &b.problem,
                                snapshotLater || !snapshot ? QByteArray() : snapshot->toJson());
    if (!b.made)
        b.problem = QStringLiteral("the backup could not be written: ") + b.problem;
    return b;
}

bool PedalService::addSnapshot(Backup *backup, const QString &occasion,
                               const std::optional<BackupSnapshot::Memory> &memory)
{
    if (!backup->made)
        return false;
    const std::optional<BackupSnapshot> snapshot = m_backups->snapshot(occasion, memory);
    QString error = QStringLiteral("the pedal's state is no longer known");
    if (snapshot && PedalBackup::writeSnapshotBeside(backup->files.preset, snapshot->toJson(), &backup->files.snapshot, &error))
        return true;
    backup->made = false;
    backup->problem = QStringLiteral("the backup's snapshot could not be written: ") + error;
    return false;
}

void PedalService::logBackup(const Backup &backup)
{
    if (backup.made) {
        m_log.writeLogLine(QStringLiteral("backup saved: %1 and %2")
                               .arg(QDir::toNativeSeparators(backup.files.preset),
                                    QDir::toNativeSeparators(backup.files.report)));
        if (!backup.files.snapshot.isEmpty())
            m_log.writeLogLine(QStringLiteral("backup snapshot saved: ") + QDir::toNativeSeparators(backup.files.snapshot));
    } else {
        m_log.writeLogLine(QStringLiteral("no backup: ") + backup.problem);
    }
}

bool PedalService::backUpBefore(const QString &occasion)
{
    const Backup backup = backUp(occasion);
    logBackup(backup);
    if (backup.made)
        return true;
    if (m_prompts.goOnWithoutBackup(
            QStringLiteral("No backup of the pedal's settings could be made before %1: %2. Go on without a backup?")
                .arg(occasion, backup.problem))) {
        m_log.writeLogLine(QStringLiteral("going on without a backup: ") + occasion);
        return true;
    }
    m_log.writeLogLine(QStringLiteral("refused without a backup: ") + occasion);
    return false;
}

QString PedalService::presetFolder()
{
    const QString folder = m_files.userFile(QStringLiteral("Preset"));
    QDir().mkpath(folder);
    return folder;
}

PedalService::Result PedalService::savePreset(const QString &givenPath)
{
    if (!readValuesToSave(Command::PresetSave, QStringLiteral("Save Local Preset"), QStringLiteral("SAVE LOCAL PRESET")))
        return Result::Refused;
    const PresetFile::PresetValues values = parameterValues();
    for (int i = 0; i < PresetFile::Values; ++i)
        m_log.writeLogLine(PresetFile::logKeys()[i] + hexNumber(values[size_t(i)], 8));
    QString path = givenPath;
    if (path.isEmpty())
        path = m_prompts.saveFile(QStringLiteral("Save Preset File"), QStringLiteral("Preset files (*.txt)"),
                                  presetFolder(), QStringLiteral("txt"));
    if (path.isEmpty())
        return Result::Cancelled;
    path = PresetFile::withExtension(path);
    QString error;
    if (!PresetFile::write(path, values, &error)) {
        m_prompts.message(QStringLiteral("Error saving file: ") + error);
        return Result::Failed;
    }
    m_prompts.message(QStringLiteral("File saved successfully: ") + path);
    return Result::Done;
}

PedalService::Result PedalService::loadPreset(const QString &givenPath)
{
    if (!allowed(Command::PresetLoad, QStringLiteral("Load Local Preset")))
        return Result::Refused;
    QString path = givenPath;
    if (path.isEmpty())
        path = m_prompts.openFile(QStringLiteral("Open Preset File"), QStringLiteral("Preset files (*.txt)"),
                                  presetFolder());
    PresetFile::PresetValues values{};
    QString message;
    const bool valid = !path.isEmpty() && PresetFile::load(path, &values, &message);
    if (valid)
        m_prompts.message(QStringLiteral("File loaded successfully: ") + path);
    else if (!path.isEmpty())
        m_prompts.message(message);
    m_log.writeLogLine(Banner.arg(QStringLiteral("LOAD LOCAL PRESET")));
    for (int i = 0; i < PresetFile::Values; ++i)
        m_log.writeLogLine(PresetFile::logKeys()[i] + (valid ? hexNumber(values[size_t(i)], 8) : QString()));
    if (!valid)
        return path.isEmpty() ? Result::Cancelled : Result::Failed; // nothing changes, nothing is sent
    const PresetFile::PresetValues before = parameterValues();
    putParameterValues(values);
    showParameterValues(true);
    // One step for the whole preset: undo puts every value back as the load had found it.
    const PresetFile::PresetValues after = parameterValues();
    if (!m_applyingHistory && before != after && m_recorder)
        m_recorder->presetEdit(before, after, QFileInfo(path).completeBaseName());
    return Result::Done;
}

PedalService::UploadResult PedalService::uploadSelectedAlgorithm()
{
    if (!allowed(Command::AlgorithmUpload, QStringLiteral("upload")))
        return UploadResult::Refused;
    return m_uploads->uploadCarriedImage(m_selectedEffectName, &m_resourceLines,
                                         [this] { return requestDeviceInformation() == Result::Done; });
}

PedalService::UploadResult PedalService::uploadAlgorithmFile(const QString &path)
{
    if (!allowed(Command::AlgorithmUpload, QStringLiteral("upload")))
        return UploadResult::Refused;
    const UploadResult r = path.isEmpty() ? m_uploads->chooseAndUploadFile() : m_uploads->uploadFile(path);
    // As for a carried image, the pedal is asked again and must answer with an effect the editor
    // knows; a file may hold an older algorithm than the editor's, which the answer then tells.
    if (r == UploadResult::Done && requestDeviceInformation() != Result::Done && m_gate != GateState::AlgorithmTooOld)
        return UploadResult::Unconfirmed;
    return r;
}

PedalService::UploadResult PedalService::uploadTuningData()
{
    if (!allowed(Command::TuningUpload, QStringLiteral("tuning upload")))
        return UploadResult::Refused;
    return m_uploads->uploadTuningData();
}
