// The pedal service: the one way every command reaches the pedal. This file holds its state, the
// link and the effect list; the other jobs have files of their own: PedalGuard.cpp (what each
// command needs), PedalRequest.cpp (the device information request and its read-backs),
// PedalLiveEdits.cpp (controls, the dial throttle, history replays), PedalSettingsCommands.cpp
// (assign, tuning, Save Parameters, the pedal options), PedalFiles.cpp (backups and presets).
#include "pedal/PedalService.h"


#include "algorithms/EffectList.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "pedal/BackupRestore.h"
#include "pedal/EditRecorder.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/PedalServiceTexts.h"
#include "pedal/RawLine.h"
#include "pedal/SettingsMemory.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

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
    connect(&comm.linkState(), &LinkState::stateChanged, this, &PedalService::labelsChanged);
    connect(&comm, &Communication::settingsDumpReceived, this, &PedalService::settingsDumpReceived);
    connect(&comm, &Communication::unlinked, this, [this] {
        m_gateBeforeUnlink = m_gate;
        m_state.reported.reset();
        forgetValues(QStringLiteral("no pedal is linked"));
        m_holds.forget();
        noteValues();
        setGate(GateState::Unlinked);
    });
    m_firmware = new FirmwareUpgrade(*this, log, prompts, clock, d2xx, comm, this);
    connect(m_firmware, &FirmwareUpgrade::bootloaderReady, this, &PedalService::bootloaderReady);
    m_memory = new SettingsMemory(*this, log, prompts, clock, d2xx, comm, this);
    m_backups = std::make_unique<BackupRestore>(*this, log, prompts, comm);
    m_rawLine = std::make_unique<RawLine>(*this, log, prompts, d2xx, comm, clock);
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
        m_prompts.show(QStringLiteral("Error loading resource: ") + error);
    if (!m_effectNames.isEmpty())
        latestAlgorithmNumber = EffectList::latestAlgorithmNumber(m_effectNames.first());
}

PedalService::~PedalService() = default;

bool PedalService::linked() const { return m_comm.linked(); }

QString PedalService::deviceLabel() const { return m_comm.deviceLabel(); }

namespace {
bool pedalAtHand(LinkState::State state) { return state != LinkState::State::NotLinked && state != LinkState::State::Linking; }

// The pedal's name as its USB bridge reports it, without the link's mark.
QString deviceName(const Communication &comm)
{
    QString name = comm.deviceLabel();
    if (name.endsWith(QLatin1String(" linked")))
        name.chop(7);
    return name.trimmed();
}
} // namespace

QString PedalService::firmwareLabel() const
{
    return pedalAtHand(m_comm.linkState().state()) ? m_firmwareLabel : QStringLiteral("Device Firmware:");
}

QString PedalService::algorithmLabel() const
{
    return pedalAtHand(m_comm.linkState().state()) ? m_algorithmLabel : QStringLiteral("Device Algorithm:");
}

LinkState::State PedalService::linkState() const { return m_comm.linkState().state(); }

QString PedalService::pedalName() const { return deviceName(m_comm); }

QString PedalService::serialNumber() const { return m_comm.deviceSerialNumber(); }

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
// The link.

void PedalService::refreshDeviceList() { m_comm.refreshDeviceList(); }

Task<> PedalService::scanAndLink()
{
    const int count = m_comm.scanDevices();
    for (int i = 0; i < count; ++i) {
        m_comm.chooseScannedDevice(i);
        co_await link();
    }
}

Task<> PedalService::linkSimulated()
{
    if (m_comm.chooseSimulatedPedal())
        co_await link();
}

Task<> PedalService::link(bool askForSettings)
{
    forgetValues(QStringLiteral("the device information request has not run"));
    const bool opened = co_await m_comm.link();
    if (!opened) {
        const QString denied = m_d2xx.backend() ? m_d2xx.backend()->permissionDeniedPort() : QString();
        m_log.writeLogLine(QStringLiteral("link: the USB device %1 could not be opened%2")
                               .arg(m_comm.deviceSerialNumber(),
                                    denied.isEmpty() ? QString() : QStringLiteral(": permission denied on ") + denied));
        co_await m_prompts.tell(m_comm.openFailureText());
        co_return;
    }
    m_bootloaderAnswered = false;
    setGate(m_comm.bootloaderLinked() ? GateState::BootloaderLinked : GateState::Linked);
    if (m_comm.bootloaderLinked())
        m_log.writeLogLine(QStringLiteral("device information request skipped: the line talks to the bootloader"));
    else if (askForSettings && !m_comm.legacyUpgradeMode())
        co_await requestDeviceInformation();
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
    if (m_lostBackend && !m_lostBackend->comesBack(m_lostSerial.toLatin1())) {
        // What appears at its path later is not this pedal: it is linked again only on request.
        m_log.writeLogLine(QStringLiteral("the pedal %1 was a pseudo-terminal, which does not come back: not waited for")
                               .arg(m_lostSerial));
        return;
    }
    m_keptValues = parameterValues();
    m_keptShown = m_state.shown;
    m_log.writeLogLine(QStringLiteral("waiting for the pedal %1 to come back; the editor keeps its values").arg(m_lostSerial));
    m_returnWatch->start();
    m_comm.watchingForReturn();
}

void PedalService::lookForLostPedal()
{
    if (m_clock.waiting())
        return; // a command (or its question) is under way: looked for again at the next tick
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
    link().then([this] { offerKeptValues().detach(); });
}

Task<> PedalService::offerKeptValues()
{
    const auto kept = std::exchange(m_keptValues, std::nullopt);
    if (!kept || !m_state.valuesKnown)
        co_return;
    const PresetFile::PresetValues now = parameterValues();
    int differing = 0;
    for (int i = 0; i < PresetFile::Values; ++i)
        differing += (*kept)[size_t(i)] != now[size_t(i)];
    if (differing == 0)
        co_return;
    const bool sendEditorValues = co_await m_prompts.ask(QStringLiteral("The pedal came back with %1 settings different from the editor. Send the "
                                               "editor's settings?")
                                    .arg(differing));
    if (!sendEditorValues)
        co_return; // the pedal's values stay on the controls
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
        refuse(QStringLiteral("unlink"), {Refusal::Reason::UpgradeUnderWay});
        return false;
    }
    return m_comm.unlink();
}

// ---------------------------------------------------------------------------------------------
// The effect list and the effect window.

bool PedalService::loadSelectedEffectImage()
{
    const QString resource = HexCodec::effectNameToResourceName(m_selectedEffectName);
    m_log.writeLogLine(QStringLiteral("resource name: ") + resource);
    QString error;
    if (!EffectList::loadResourceToList(resource, &m_resourceLines, &error)) {
        m_prompts.show(QStringLiteral("Error loading resource: ") + error);
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
        m_prompts.show(HexCodec::conversionError(m_deviceAlgorithmText));
        return;
    }
    if (n >= latestAlgorithmNumber) {
        openEffectWindow();
        return;
    }
    emit effectWindowCloseRequested();
    m_prompts.show(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                          .arg(latestAlgorithmNumber));
    setGate(GateState::AlgorithmTooOld);
}

Task<PedalService::UploadResult> PedalService::uploadSelectedAlgorithm()
{
    if (!allowed(Command::AlgorithmUpload, QStringLiteral("upload")))
        co_return UploadResult::Refused;
    co_return co_await m_uploads->uploadCarriedImage(m_selectedEffectName, &m_resourceLines,
                                         [this]() -> Task<bool> { co_return co_await requestDeviceInformation() == Result::Done; });
}

Task<PedalService::UploadResult> PedalService::uploadAlgorithmFile(QString path)
{
    if (!allowed(Command::AlgorithmUpload, QStringLiteral("upload")))
        co_return UploadResult::Refused;
    UploadResult r;
    if (path.isEmpty())
        r = co_await m_uploads->chooseAndUploadFile();
    else
        r = co_await m_uploads->uploadFile(path);
    // As for a carried image, the pedal is asked again and must answer with an effect the editor
    // knows; a file may hold an older algorithm than the editor's, which the answer then tells.
    const bool answered = r != UploadResult::Done || co_await requestDeviceInformation() == Result::Done;
    if (!answered && m_gate != GateState::AlgorithmTooOld)
        co_return UploadResult::Unconfirmed;
    co_return r;
}

Task<PedalService::UploadResult> PedalService::uploadTuningData()
{
    if (!allowed(Command::TuningUpload, QStringLiteral("tuning upload")))
        co_return UploadResult::Refused;
    co_return co_await m_uploads->uploadTuningData();
}
