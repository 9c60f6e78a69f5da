#include "pedal/SettingsMemory.h"
#include "pedal/RawLine.h"

#include "device/PedalMessages.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "pedal/PedalBackup.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

using HexCodec::hexNumber;

namespace {
const QString Banner = QStringLiteral("********************%1********************");

bool isHexDigits(const QString &text, int count)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return text.size() == count && hex.match(text).hasMatch();
}

QString grouped(int n) { return QLocale(QLocale::English).toString(n); }
} // namespace

SettingsMemory::SettingsMemory(PedalService &service, DiagnosticLog &log, Prompts &prompts, Clock &clock,
                               D2XXUnit &d2xx, Communication &comm, QObject *parent)
    : QObject(parent), m_service(service), m_log(log), m_prompts(prompts), m_clock(clock), m_d2xx(d2xx), m_comm(comm)
{
    connect(&comm, &Communication::settingsDumpReceived, this, &SettingsMemory::onDump);
    connect(&comm, &Communication::settingsDumpIncomplete, this, &SettingsMemory::onShortDump);
}

bool SettingsMemory::allowed(const QString &what)
{
    return m_service.allowed(PedalService::Command::MemoryTool, what);
}

// ---------------------------------------------------------------------------------------------
// The two messages.

Task<> SettingsMemory::eraseEEPROM(QString address)
{
    const QByteArray message = PedalMessages::eraseMemory(address);
    m_log.writeLogLine(QStringLiteral("erase message: ") + HexCodec::bytesToHexText(message));
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendMessage(message);
    co_await m_clock.pause(eraseMessageMs);
}

void SettingsMemory::readEEPROM(const QString &address)
{
    const QByteArray message = PedalMessages::readMemory(address);
    m_log.writeLogLine(QStringLiteral("Read message: ") + HexCodec::bytesToHexText(message));
    m_readAddress = address;
    m_comm.sendMessage(message);
}

// ---------------------------------------------------------------------------------------------
// Commands.

Task<SettingsMemory::Outcome> SettingsMemory::eraseSettings()
{
    if (!allowed(QStringLiteral("Erase Settings")))
        co_return Outcome::Refused;
    // The backup is made before the question, so the question can say where it is; it is
    // logged only when the user goes on.
    // Its snapshot is written after the user says Yes, with the settings memory read from the
    // pedal just before the erase.
    const QString occasion = QStringLiteral("Erase Settings");
    PedalService::Backup backup = m_service.backUp(occasion, QString(), true);
    QString question = m_prompts.words(Prompts::Fixed::EraseSettingsWarning) + QStringLiteral("\r\n\r\n");
    if (backup.made)
        question += QStringLiteral("A backup of the pedal's settings was saved in %1: %2 (Load Local Preset restores "
                                   "its values) and %3. Before the erase the settings memory is read into the backup's "
                                   "snapshot too, for the record: Restore Backup puts the settings back, but no message "
                                   "writes the memory itself back.")
                        .arg(QDir::toNativeSeparators(m_service.backupFolder()),
                             QFileInfo(backup.files.preset).fileName(), QFileInfo(backup.files.report).fileName());
    else
        question += QStringLiteral("No backup of the pedal's settings could be made: %1. Erase them anyway?")
                        .arg(backup.problem);
    const bool confirmed = co_await m_prompts.ask(question);
    if (!confirmed)
        co_return Outcome::Cancelled;
    m_log.writeLogLine(Banner.arg(QStringLiteral("ERASE EEPROM 1")));
    backup = co_await addMemory(backup, occasion, QStringLiteral("50"));
    bool goOn = backup.made;
    if (!goOn) {
        const QString withoutBackup =
            QStringLiteral("No backup of the pedal's settings could be made before Erase Settings: %1.").arg(backup.problem);
        goOn = co_await m_prompts.askGoOnWithoutBackup(withoutBackup);
    }
    if (!goOn) {
        m_service.logBackup(backup);
        m_log.writeLogLine(QStringLiteral("refused without a backup: ") + occasion);
        co_return Outcome::Cancelled;
    }
    m_service.logBackup(backup);
    co_await eraseEEPROM(QStringLiteral("50"));
    co_await m_clock.pause(eraseSettleMs);
    const bool check = co_await m_prompts.ask(QStringLiteral("Memory has been erased, do you want to make a memory check now?"));
    if (!check)
        co_return Outcome::Done;
    co_return co_await read(QStringLiteral("50"));
}

Task<SettingsMemory::Outcome> SettingsMemory::eraseWithQuestion(QString address)
{
    const bool confirmed = co_await m_prompts.ask(QStringLiteral("Erase EEPROM now?"));
    if (!confirmed)
        co_return Outcome::Cancelled;
    co_return co_await erase(address);
}

Task<SettingsMemory::Outcome> SettingsMemory::erase(QString address)
{
    if (!isHexDigits(address, 2)) {
        m_service.refuse(QStringLiteral("Erase E2P"), Refusal::typedInput(Refusal::Reason::AddressNotHex, address));
        co_return Outcome::Refused;
    }
    if (!allowed(QStringLiteral("Erase E2P")))
        co_return Outcome::Refused;
    const bool backedUp = co_await backUpWithMemory(QStringLiteral("erasing the settings memory"), address.toUpper());
    if (!backedUp)
        co_return Outcome::Cancelled;
    co_await eraseEEPROM(address.toUpper());
    co_return Outcome::Done;
}

Task<PedalService::Backup> SettingsMemory::addMemory(PedalService::Backup backup, QString occasion, QString address)
{
    if (!backup.made)
        co_return backup;
    const BackupSnapshot::Memory memory = co_await readForBackup(address);
    if (!memory.problem.isEmpty()) {
        backup.made = false;
        PedalBackup::discard(&backup.files); // a backup without the memory it was to keep is none
        backup.problem = QStringLiteral("the settings memory could not be read into the backup: ") + memory.problem;
    } else {
        m_service.addSnapshot(&backup, occasion, memory);
    }
    co_return backup;
}

Task<bool> SettingsMemory::backUpWithMemory(QString occasion, QString address)
{
    const PedalService::Backup backup = co_await addMemory(m_service.backUp(occasion, QString(), true), occasion, address);
    co_return co_await m_service.goOnAfter(backup, occasion);
}

Task<SettingsMemory::Outcome> SettingsMemory::read(QString address)
{
    if (!isHexDigits(address, 2)) {
        m_service.refuse(QStringLiteral("Read E2P"), Refusal::typedInput(Refusal::Reason::AddressNotHex, address));
        co_return Outcome::Refused;
    }
    if (!allowed(QStringLiteral("Read E2P")) || !m_comm.tryBeginExchange(QStringLiteral("Read E2P")))
        co_return Outcome::Refused;
    const int before = m_checks;
    readEEPROM(address.toUpper());
    // The dump arrives unasked for and is gathered by the background poll; this waits until it
    // has been checked (a complete dump takes about 1.4 s on the wire), it ended short, or it has
    // not begun within the time limit.
    if (!m_comm.pollRunning())
        m_comm.startPoll();
    // A dump that has begun has the time it takes on the wire (about 1.4 s) and as long again
    // before the read gives up on it, so that the wait ends even if the dump's end never comes.
    const qint64 start = m_clock.nowMs();
    const qint64 limit = dumpStartMs + 2 * dumpWireMs;
    while (m_checks == before && m_comm.linked() &&
           (m_comm.dumpArriving() ? m_clock.nowMs() - start < limit : m_clock.nowMs() - start < dumpStartMs))
        co_await m_clock.pause(50);
    m_comm.endExchange();
    if (m_checks == before) {
        m_check = Check{};
        m_check.kind = Check::Kind::Missing;
        ++m_checks;
        if (m_comm.linked()) {
            m_log.writeLogLine(QStringLiteral("no settings memory dump within %1 ms").arg(dumpStartMs));
        }
        if (m_comm.linked() && !m_readingForBackup) {
            co_await m_prompts.tell(QStringLiteral("The pedal sent no memory dump within %1 s; the memory's state is unknown.")
                                  .arg(dumpStartMs / 1000.0));
        }
        emit checked();
    }
    co_return m_check.kind == Check::Kind::Complete ? Outcome::Done : Outcome::Failed;
}

Task<BackupSnapshot::Memory> SettingsMemory::readForBackup(QString address)
{
    BackupSnapshot::Memory memory;
    memory.address = address;
    m_readingForBackup = true;
    co_await read(address);
    m_readingForBackup = false;
    switch (m_check.kind) {
    case Check::Kind::Complete:
        memory.bytes = m_check.memory;
        m_log.writeLogLine(QStringLiteral("settings memory read for the backup: %1 bytes").arg(memory.bytes.size()));
        break;
    case Check::Kind::Short:
        memory.problem = QStringLiteral("the pedal sent %1 of %2 bytes").arg(grouped(m_check.bytes), grouped(Communication::MemoryBytes));
        break;
    case Check::Kind::Missing:
    case Check::Kind::None:
        memory.problem = m_comm.linked() ? QStringLiteral("the pedal sent no memory dump within %1 s").arg(dumpStartMs / 1000.0)
                                       : QStringLiteral("no pedal is linked");
        break;
    }
    co_return memory;
}

SettingsMemory::Outcome SettingsMemory::sendParameterWrite(const QString &address, const QString &data)
{
    if (!isHexDigits(address, 4) || !isHexDigits(data, 8)) {
        m_service.refuse(QStringLiteral("Send"),
                         Refusal::typedInput(Refusal::Reason::WriteNotHex, address, data));
        return Outcome::Refused;
    }
    if (!m_service.allowed(PedalService::Command::RawWrite, QStringLiteral("Send")))
        return Outcome::Refused;
    // Every raw message is told from its bytes: what needs a question or a backup first goes
    // through the raw line's guard, which the console's Send does not offer.
    const QByteArray message = PedalMessages::consoleParameterWrite(address, data);
    const RawLine::Needs needs = RawLine::needs(RawLine::classify(message));
    if (needs.confirmation || needs.backup) {
        m_service.refuse(QStringLiteral("Send"), {Refusal::Reason::LargeChange});
        return Outcome::Refused;
    }
    m_log.writeLogLine(QStringLiteral("01") + address + data); // as typed
    m_comm.sendMessage(message);
    return Outcome::Done;
}

// ---------------------------------------------------------------------------------------------
// The dump check.

void SettingsMemory::onDump(const QByteArray &memory)
{
    if (m_readingForBackup) {
        // The bytes go into the backup's snapshot: no position lines, no file of their own, no message.
        m_check = Check{};
        m_check.kind = Check::Kind::Complete;
        m_check.memory = memory;
        m_check.bytes = int(memory.size());
        ++m_checks;
        emit checked();
        return;
    }
    QStringList lines;
    lines.reserve(memory.size());
    bool empty = true;
    for (int p = 0; p < memory.size(); ++p) {
        const quint8 b = quint8(memory[p]);
        lines << QString::number(p) + QStringLiteral(": ") + hexNumber(b, 2);
        empty = empty && b == 0xFF;
    }
    m_log.writeLogLine(lines.join(QLatin1Char('\n')));
    m_check = Check{};
    m_check.kind = Check::Kind::Complete;
    m_check.memory = memory;
    m_check.bytes = int(memory.size());
    m_check.empty = empty;
    QString error;
    const QString address = m_readAddress.isEmpty() ? QStringLiteral("unasked") : m_readAddress;
    if (PedalBackup::writeMemory(m_service.backupFolder(), m_clock.localNow(), m_comm.deviceSerialNumber(), address,
                                 memory, &m_check.savedPath, &error))
        m_log.writeLogLine(QStringLiteral("memory dump saved: ") + QDir::toNativeSeparators(m_check.savedPath));
    else
        m_log.writeLogLine(QStringLiteral("memory dump not saved: ") + error);
    ++m_checks;
    m_prompts.show(empty ? QStringLiteral("Memory is empty") : QStringLiteral("Memory is not empty"));
    if (m_check.savedPath.isEmpty())
        m_prompts.show(QStringLiteral("The memory dump could not be saved with the backups: ") + error);
    emit checked();
}

void SettingsMemory::onShortDump(int bytes)
{
    m_check = Check{};
    m_check.kind = Check::Kind::Short;
    m_check.bytes = bytes;
    ++m_checks;
    const QString text = QStringLiteral("The memory check got %1 of %2 bytes; the memory's state is unknown.")
                             .arg(grouped(bytes), grouped(Communication::MemoryBytes));
    m_log.writeLogLine(text);
    if (!m_readingForBackup)
        m_prompts.show(text);
    emit checked();
}
