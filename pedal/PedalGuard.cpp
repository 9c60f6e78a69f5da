// The pedal service's guard: what each command needs, and the refusal that names what is missing.
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "pedal/FirmwareUpgrade.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

// ---------------------------------------------------------------------------------------------
// The guard.

Refusal PedalService::refusal(Command command, bool beforeRequest, Busy busy) const
{
    using Reason = Refusal::Reason;
    const bool upload = command == Command::AlgorithmUpload || command == Command::TuningUpload;
    if (m_firmware->running())
        return {Reason::UpgradeUnderWay};
    // Started by an event handled inside another command's pause or wait: that command holds the
    // line until it ends.
    if (busy == Busy::Refuses && (m_comm.exchangeBusy() || m_clock.waiting() || (upload && m_uploads->uploading())))
        return {Reason::Busy};
    if (!m_comm.linked())
        return {Reason::NotLinked};
    if (m_comm.bootloaderLinked() || m_gate == GateState::BootloaderLinked)
        return {Reason::BootloaderLinked};
    if (beforeRequest)
        return {};
    // A bootloader would take a message meant for the firmware as commands of its own; only a
    // new request may ask whether the pedal runs its firmware again.
    const Refusal inBootloader{Reason::InBootloader};
    // The settings memory tools are for a pedal in trouble: only the link matters to them.
    if (command == Command::MemoryTool || command == Command::RawWrite)
        return m_bootloaderAnswered ? inBootloader : Refusal{};
    if (command != Command::Request && m_gate == GateState::FirmwareTooOld)
        return Refusal::tooOld(Reason::FirmwareTooOld, m_deviceFirmwareText, latestFirmwareNumber);
    const CommandGuard::Needs needs = CommandGuard::needs(command);
    if (needs.currentAlgorithm && m_gate == GateState::AlgorithmTooOld)
        return Refusal::tooOld(Reason::AlgorithmTooOld, m_deviceAlgorithmText, latestAlgorithmNumber);
    if (needs.completeAnswer && !m_state.reported)
        return Refusal::notKnown(Reason::SettingsUnknown, m_state.unknownReason);
    if (needs.addresses && !m_state.addressesLoaded)
        return Refusal::notKnown(Reason::AddressesUnknown,
                                 m_state.reported ? m_state.addressesReason : m_state.unknownReason);
    if (needs.knownValues && !m_state.valuesKnown)
        return Refusal::notKnown(Reason::SettingsUnknown, m_state.unknownReason);
    if (m_bootloaderAnswered && command != Command::Request)
        return inBootloader;
    return {};
}

QString PedalService::refusalText(const Refusal &refusal) const { return refusal.text(m_prompts); }

void PedalService::refuse(const QString &what, const Refusal &refusal)
{
    const bool busy = refusal.reason == Refusal::Reason::Busy;
    const QString reason = refusalText(refusal);
    if (busy)
        m_log.writeLogLine(what + QStringLiteral(" ignored: an exchange with the pedal is under way"));
    else
        m_log.writeLogLine(what + QStringLiteral(" refused: ") + reason);
    QString command = what;
    command[0] = command[0].toUpper();
    const QString text = QStringLiteral("%1 was refused: %2.").arg(command, reason);
    if (busy || m_clock.waiting())
        m_prompts.notice(text); // the command under way goes on while this shows
    else
        m_prompts.show(text);
}

bool PedalService::allowed(Command command, const QString &what, bool beforeRequest)
{
    const Refusal refusal = this->refusal(command, beforeRequest);
    if (!refusal)
        return true;
    refuse(what, refusal);
    return false;
}
