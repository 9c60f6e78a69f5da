// The pedal service's guard: what each command needs, and the refusal that names what is missing.
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/PedalServiceTexts.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

using namespace PedalServiceTexts;

// ---------------------------------------------------------------------------------------------
// The guard.

QString PedalService::refusal(Command command, bool beforeRequest, Busy busy) const
{
    const bool upload = command == Command::AlgorithmUpload || command == Command::TuningUpload;
    if (m_firmware->running())
        return QStringLiteral("a firmware upgrade is under way");
    // Started by an event handled inside another command's pause or wait: that command holds the
    // line until it ends.
    if (busy == Busy::Refuses && (m_comm.exchangeBusy() || m_clock.waiting() || (upload && m_uploads->uploading())))
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
    const CommandGuard::Needs needs = CommandGuard::needs(command);
    if (needs.currentAlgorithm && m_gate == GateState::AlgorithmTooOld)
        return QStringLiteral("the pedal runs algorithm %1, older than %2, which this editor edits")
            .arg(m_deviceAlgorithmText, QStringLiteral("%1").arg(latestAlgorithmNumber, 4, 10, QLatin1Char('0')));
    if (needs.completeAnswer && !m_state.reported)
        return QStringLiteral("the pedal's settings are not known: ") + m_state.unknownReason;
    if (needs.addresses && !m_state.addressesLoaded)
        return QStringLiteral("the parameter addresses are not known: ") +
               (m_state.reported ? m_state.addressesReason : m_state.unknownReason);
    if (needs.knownValues && !m_state.valuesKnown)
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
    const QString text = QStringLiteral("%1 was refused: %2.").arg(command, reason);
    if (reason == BusyReason || m_clock.waiting())
        m_prompts.notice(text); // the command under way goes on while this shows
    else
        m_prompts.show(text);
}

bool PedalService::allowed(Command command, const QString &what, bool beforeRequest)
{
    const QString reason = refusal(command, beforeRequest);
    if (reason.isEmpty())
        return true;
    refuse(what, reason);
    return false;
}
