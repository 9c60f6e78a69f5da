#include "pedal/FirmwareUpgrade.h"

#include "device/PedalMessages.h"
#include "algorithms/FirmwareImage.h"
#include "algorithms/StandInImages.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

#include <QFileInfo>

namespace {
// The way back after an upgrade stopped, in the words of the view that shows it.
QString stoppedWayBack(const Prompts &prompts, FirmwareUpgrade::Held held, bool gone)
{
    using Step = Prompts::NextStep;
    using Held = FirmwareUpgrade::Held;
    if (!gone) {
        const QString stays = held == Held::Unverified ? QStringLiteral("The pedal stays in its bootloader. ")
                              : held == Held::Wrong
                                  ? QStringLiteral("The pedal stays in its bootloader; its flash does not hold what was written. ")
                                  : QStringLiteral("The pedal stays in its bootloader; its firmware is erased or incomplete. ");
        return stays + prompts.words(Step::UpgradeAgain);
    }
    const QString away = held == Held::Unverified
                             ? QStringLiteral("The pedal went away; it starts in its bootloader only while SHIFT is held. ")
                         : held == Held::Wrong ? QStringLiteral("The pedal's flash does not hold what was written, and it "
                                                                "starts in its bootloader only while SHIFT is held. ")
                                               : QStringLiteral("The pedal's firmware is erased or incomplete, and it starts "
                                                                "in its bootloader only while SHIFT is held. ");
    return away + QStringLiteral("Connect it again while holding SHIFT, ") + prompts.words(Step::UpgradeFromBootloader);
}

QString hex8(quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); }

// What the flash holds when a write stopped at block (0-based) of blocks.
QString heldBefore(int block, int blocks)
{
    if (block == 0)
        return QStringLiteral("The flash was erased; no block was written.");
    if (block == 1)
        return QStringLiteral("Block 1 of %1 was written.").arg(blocks);
    return QStringLiteral("Blocks 1 to %1 of %2 were written.").arg(block).arg(blocks);
}
} // namespace

FirmwareUpgrade::FirmwareUpgrade(PedalService &service, DiagnosticLog &log, Prompts &prompts, Clock &clock,
                                 D2XXUnit &d2xx, Communication &comm, QObject *parent)
    : QObject(parent), m_service(service), m_log(log), m_prompts(prompts), m_clock(clock), m_d2xx(d2xx), m_comm(comm),
      m_boot(log, d2xx, comm)
{
    m_imageName = imageNames().last();
    // The legacy way: the link itself shook hands with the bootloader.
    connect(&comm, &Communication::bootloaderReady, this, &FirmwareUpgrade::enterBootloaderReady);
    connect(&comm, &Communication::bootloaderHandshakeFailed, this, [this] { setUpgradeMode(false); });
}

QStringList FirmwareUpgrade::imageNames() const { return FirmwareImage::chooserNames(); }

int FirmwareUpgrade::pedalFirmware() const
{
    const std::optional<DeviceInformation> &reported = m_service.state().reported;
    return reported ? reported->firmware : -1;
}

bool FirmwareUpgrade::upgradeModeOn() const { return m_comm.firmwareUpgradeMode(); }

void FirmwareUpgrade::setUpgradeMode(bool on)
{
    m_comm.setFirmwareUpgradeMode(on);
    emit upgradeModeChanged(on);
}

Task<> FirmwareUpgrade::tell(QString text)
{
    m_lastMessage = text;
    co_await m_prompts.tell(text);
}

void FirmwareUpgrade::restoreNormalLine()
{
    m_comm.setLineSettings(Communication::NormalLine);
    m_d2xx.SetFTDeviceDataCharacteristics();
}

void FirmwareUpgrade::enterBootloaderReady()
{
    if (!m_comm.bootloaderLinked()) // the legacy way's link reached it already
        m_comm.bootloaderReached();
    m_service.bootloaderLinked();
    // Start Firmware Upgrade: no background poll, no transport error lines while the
    // bootloader talks.
    m_comm.stopPoll();
    m_d2xx.ReportDeviceErrors = false;
    emit bootloaderReady();
}

Task<> FirmwareUpgrade::chooseUpgradeMode()
{
    if (m_running) {
        m_service.refuse(QStringLiteral("upgrade mode"), {Refusal::Reason::UpgradeUnderWay});
        emit upgradeModeChanged(true);
        co_return;
    }
    if (upgradeModeOn()) {
        setUpgradeMode(false);
        co_return;
    }
    setUpgradeMode(true);
    if (!m_comm.linked() || m_comm.bootloaderLinked() || m_comm.linkState().firmware() < 9) {
        m_comm.setLegacyUpgradeMode(true);
        co_return;
    }
    const Refusal busy = m_service.refusal(PedalService::Command::Request, true);
    if (busy) {
        m_service.refuse(QStringLiteral("upgrade mode"), busy);
        setUpgradeMode(false);
        co_return;
    }
    // What the pedal holds is saved while its firmware can still tell it.
    const bool backedUp = co_await m_service.backUpBefore(QStringLiteral("the firmware upgrade"));
    if (!backedUp) {
        setUpgradeMode(false);
        co_return;
    }
    m_comm.sendMessage(PedalMessages::bypass(true));
    const bool holding = co_await m_prompts.askFixed(Prompts::Fixed::HoldShift);
    if (!holding) {
        setUpgradeMode(false);
        co_return;
    }
    m_comm.sendMessage(PedalMessages::enterBootloader());
    co_await m_clock.pause(settleAfterEnterMs);
    m_comm.stopPoll();
    m_comm.upgradeStarted();
    QString text;
    const Bootloader::Answer a = co_await m_boot.synchronise(&text);
    m_log.addConsoleLine(QStringLiteral("received Byte from bootloader: ") + text);
    if (a == Bootloader::Answer::Ack) {
        co_await m_prompts.tellFixed(Prompts::Fixed::ReleaseShift);
        enterBootloaderReady();
        co_return;
    }
    // No acknowledge: the pedal may still run its firmware (silence), or wait in a bootloader
    // that refuses (NACK); the line goes back to its normal settings and the background poll
    // runs again. The bootloader's last answer tells a view which.
    co_await m_clock.activity(0); // an unplug is reported by the backend as an event
    m_comm.upgradeEnded();
    m_lastMessage = m_prompts.words(Prompts::Fixed::BootloaderConnectionFailed);
    co_await m_prompts.tellFixed(Prompts::Fixed::BootloaderConnectionFailed);
    setUpgradeMode(false);
    restoreNormalLine();
    if (m_comm.linked())
        m_comm.startPoll();
}

Task<Bootloader::Answer> FirmwareUpgrade::findBootloader()
{
    if (!m_comm.linked() || m_running)
        co_return Bootloader::Answer::DeviceFailed;
    if (m_comm.bootloaderLinked())
        co_return Bootloader::Answer::Ack;
    m_comm.stopPoll();
    m_comm.setFirmwareUpgradeMode(true);
    m_comm.upgradeStarted();
    QString text;
    const Bootloader::Answer a = co_await m_boot.synchronise(&text);
    m_log.addConsoleLine(QStringLiteral("received Byte from bootloader: ") + text);
    if (a == Bootloader::Answer::Ack) {
        m_comm.setLegacyUpgradeMode(true); // no device information request: the bootloader cannot answer it
        setUpgradeMode(true);
        enterBootloaderReady();
        co_return a;
    }
    co_await m_clock.activity(0); // an unplug is reported by the backend as an event
    m_comm.upgradeEnded();
    m_comm.setFirmwareUpgradeMode(false);
    restoreNormalLine();
    if (m_comm.linked())
        m_comm.startPoll();
    co_return a;
}

void FirmwareUpgrade::selectImage(const QString &name)
{
    m_imageName = name;
    m_number = FirmwareImage::numberFromName(name, m_number);
    m_log.writeLogLine(QStringLiteral("Firmware Version(DEC): %1").arg(m_number));
    m_log.writeLogLine(name);
}

Refusal FirmwareUpgrade::refusalToStart() const
{
    if (m_running)
        return {Refusal::Reason::UpgradeUnderWay};
    if (!m_comm.linked())
        return {Refusal::Reason::NotLinked};
    if (!m_comm.bootloaderLinked())
        return {Refusal::Reason::NotInBootloader};
    return {};
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgrade()
{
    const Refusal reason = refusalToStart();
    if (reason) {
        m_service.refuse(QStringLiteral("upgrade firmware"), reason);
        co_return Outcome::Refused;
    }
    QByteArray image;
    QString error;
    if (!FirmwareImage::loadCarried(m_imageName, &image, &error)) {
        m_log.writeLogLine(QStringLiteral("firmware image not loaded: ") + error);
        co_await tell(QStringLiteral("Error loading resource: ") + error);
        co_return Outcome::Failed;
    }
    co_return co_await upgradeImage(image, m_number, m_imageName);
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgradeFromFile(QString givenPath)
{
    const Refusal reason = refusalToStart();
    if (reason) {
        m_service.refuse(QStringLiteral("upgrade firmware from a file"), reason);
        co_return Outcome::Refused;
    }
    QString path = givenPath;
    if (path.isEmpty())
        path = co_await m_prompts.askFileToOpen(QStringLiteral("Firmware image"),
                                                QStringLiteral("Firmware images (*.bin);;All files (*)"), QString());
    if (path.isEmpty())
        co_return Outcome::Cancelled;
    m_log.addConsoleLine(QStringLiteral("Opening: ") + path);
    const QString name = QFileInfo(path).fileName();
    QByteArray image;
    QString why;
    if (!FirmwareImage::readFile(path, &image, &why)) {
        co_await tell(QStringLiteral("%1 cannot be written: %2. Nothing in the pedal was changed.").arg(name, why));
        co_return Outcome::Failed;
    }
    m_log.writeLogLine(QStringLiteral("num of bytes read: %1").arg(image.size()));
    const bool write = co_await m_prompts.ask(QStringLiteral("Write %1 (%2 bytes) into the pedal and record it as firmware %3?")
                                .arg(name)
                                .arg(image.size())
                                .arg(m_number));
    if (!write)
        co_return Outcome::Cancelled;
    co_return co_await upgradeImage(image, m_number, name);
}

Task<bool> FirmwareUpgrade::pedalGone()
{
    co_await m_clock.activity(0); // an unplug is reported by the backend as an event
    co_return !m_comm.linked() || m_boot.lastAnswer() == Bootloader::Answer::DeviceFailed;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::stop(QString step, QString problem, QString holds, Held held)
{
    m_running = false;
    m_unverified = held == Held::Unverified;
    m_log.writeLogLine(QStringLiteral("firmware upgrade stopped at %1: %2").arg(step, problem));
    const bool gone = co_await pedalGone();
    emit runningChanged(false);
    const QString wayBack = stoppedWayBack(m_prompts, held, gone);
    co_await tell(QStringLiteral("The firmware upgrade stopped at %1: %2. %3 ").arg(step, problem, holds) + wayBack);
    co_return m_unverified ? Outcome::Unverified : Outcome::Failed;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgradeImage(QByteArray image, int number, QString what)
{
    const Refusal reason = refusalToStart();
    if (reason) {
        m_service.refuse(QStringLiteral("upgrade firmware"), reason);
        co_return Outcome::Refused;
    }
    m_log.writeLogLine(QStringLiteral("********************FIRMWARE UPGRADE********************"));
    m_d2xx.ReportDeviceErrors = false;
    m_log.writeLogLine(QStringLiteral("Firmware num of bytes: %1").arg(image.size()));

    // Before anything is erased.
    const QString problem = FirmwareImage::check(&image);
    if (!problem.isEmpty()) {
        m_log.writeLogLine(QStringLiteral("firmware image refused: ") + problem);
        co_await tell(QStringLiteral("%1 cannot be written: %2. Nothing in the pedal was changed.").arg(what, problem));
        co_return Outcome::Refused;
    }
    if (StandInImages::isStandInFirmware(image) && m_comm.linkedToRealPedal()) {
        m_log.writeLogLine(QStringLiteral("firmware image refused: a stand-in for a real pedal"));
        co_await tell(QStringLiteral("%1 is a stand-in for tests and the simulated pedal, not the maker's firmware; it is never "
                            "written into a real pedal. Nothing in the pedal was changed.")
                 .arg(what));
        co_return Outcome::Refused;
    }
    if (number < 0 || number > 255) {
        co_await tell(QStringLiteral("%1 cannot be written: %2 is not a firmware number. Nothing in the pedal was changed.")
                 .arg(what)
                 .arg(number));
        co_return Outcome::Refused;
    }
    // Going back to an older firmware is asked about. The pedal's own report says what it runs;
    // a pedal that has not reported (it was found in its bootloader) says it by the firmware
    // number record in its flash.
    m_downgradedFrom = -1;
    const std::optional<DeviceInformation> &reported = m_service.state().reported;
    int current = reported ? reported->firmware : -1;
    QString currentText = QStringLiteral("The pedal runs firmware %1.").arg(current);
    if (!reported) {
        QByteArray record;
        const Bootloader::Answer a = co_await m_boot.readMemory(FirmwareImage::RecordAddress, 8, &record);
        if (a != Bootloader::Answer::Ack) {
            // Nothing more is sent on top of an answer that did not come as it should.
            m_log.writeLogLine(QStringLiteral("firmware number record not read: ") + m_boot.lastProblem());
            const bool gone = co_await pedalGone();
            const QString next = gone ? QStringLiteral("Connect it again while holding SHIFT, ") +
                                            m_prompts.words(Prompts::NextStep::UpgradeFromBootloader)
                                      : m_prompts.words(Prompts::NextStep::UpgradeAgain);
            const QString text = QStringLiteral("The firmware number record at %1 could not be read (%2), so whether %3 "
                                                "is older than the pedal's firmware is not known. Nothing in the pedal "
                                                "was changed. %4")
                                     .arg(hex8(FirmwareImage::RecordAddress), m_boot.lastProblem(), what, next);
            co_await tell(text);
            co_return Outcome::Failed;
        }
        m_log.writeLogLine(QStringLiteral("firmware number record: ") + recordText(record));
        if (record.left(7) == QByteArray(7, '\0')) {
            current = quint8(record[7]);
            currentText = QStringLiteral("The pedal's flash holds firmware %1 (its firmware number record).").arg(current);
        }
    }
    if (number < current) {
        const QString question =
            QStringLiteral("%1 Write %2 and go back to the older firmware %3?").arg(currentText, what).arg(number);
        const bool yes = co_await m_prompts.ask(question);
        m_log.writeLogLine(QStringLiteral("firmware downgrade from %1 to %2 asked: %3")
                               .arg(current)
                               .arg(number)
                               .arg(yes ? QStringLiteral("Yes") : QStringLiteral("No")));
        if (!yes)
            co_return Outcome::Cancelled;
        m_downgradedFrom = current;
    }

    const QList<QByteArray> blocks = FirmwareImage::blocks(image);
    const int n = int(image.size());
    const int count = int(blocks.size());
    m_log.writeLogLine(QStringLiteral("num of chunks: %1").arg(n / FirmwareImage::BlockBytes));
    m_log.writeLogLine(QStringLiteral("num of bytes last chunk: %1").arg(n % FirmwareImage::BlockBytes));
    for (int i = 0; i < count; ++i) {
        if (i == count - 1)
            m_log.writeLogLine(QStringLiteral("num of bytes last chunk: %1").arg(blocks[i].size()));
        m_log.addConsoleLine(QStringLiteral("chunk from string %1: ").arg(i));
        m_log.addConsoleLine(HexCodec::bytesToHexText(blocks[i]));
        m_log.writeLogLine(QStringLiteral("chunk %1 size: %2").arg(i).arg(blocks[i].size()));
        m_log.addConsoleLine(QString());
        m_log.addConsoleLine(QString());
    }

    m_running = true;
    m_unverified = false;
    m_writtenAndVerified = false;
    emit runningChanged(true);
    const qint64 started = m_clock.nowMs();
    emit progress(0, count, 0, n, -1);

    Bootloader::Answer a = co_await m_boot.eraseFlash();
    m_flashIncomplete = true; // from here the old firmware may be gone
    if (a != Bootloader::Answer::Ack)
        co_return co_await stop(QStringLiteral("the erase"), m_boot.lastProblem(), QStringLiteral("The flash may be erased."));

    m_log.addConsoleLine(QStringLiteral("Start Write Command"));
    m_log.addConsoleLine(QString());
    quint32 address = FirmwareImage::FlashBase;
    qint64 written = 0;
    for (int i = 0; i < count; ++i) {
        a = co_await m_boot.writeBlock(address, blocks[i]);
        if (a != Bootloader::Answer::Ack)
            co_return co_await stop(QStringLiteral("block %1 of %2").arg(i + 1).arg(count), m_boot.lastProblem(), heldBefore(i, count));
        address += quint32(blocks[i].size());
        written += blocks[i].size();
        // Until it is measured, the read-back is reckoned to take as long as the writing: it moves
        // the same bytes over the same line.
        const qint64 elapsed = m_clock.nowMs() - started;
        const qint64 perByte = qMax<qint64>(1, written);
        const qint64 left = elapsed * (n - written) / perByte + (verifyAfterWriting ? elapsed * n / perByte : 0);
        emit progress(i + 1, count, written, n, left);
    }
    a = co_await m_boot.writeFirmwareNumber(number);
    if (a != Bootloader::Answer::Ack)
        co_return co_await stop(QStringLiteral("the firmware number record"), m_boot.lastProblem(),
                    QStringLiteral("All %1 blocks were written, the firmware number record was not.").arg(count));

    if (verifyAfterWriting) {
        const ReadBack r = co_await readBack(blocks, number);
        const QString where = r.block == count ? QStringLiteral("the read-back of the firmware number record")
                                               : QStringLiteral("the read-back of block %1 of %2").arg(r.block + 1).arg(count);
        if (r.answer != Bootloader::Answer::Ack) {
            // Not read protection: a protected flash refuses the erase and the writes as well,
            // and those were acknowledged.
            co_return co_await stop(where, m_boot.lastProblem(),
                        QStringLiteral("%1 was written but not verified: all %2 blocks and the firmware number record "
                                       "were acknowledged, and the flash could not be read back.")
                            .arg(what)
                            .arg(count),
                        Held::Unverified);
        }
        if (r.block == count)
            co_return co_await stop(where,
                        QStringLiteral("it holds %1, not firmware %2%3")
                            .arg(recordText(r.record))
                            .arg(number)
                            .arg(r.record == QByteArray(8, char(0xFF)) ? QString() : QStringLiteral(" (read twice)")),
                        QStringLiteral("All %1 blocks were written and read back.").arg(count), Held::Wrong);
        if (r.block >= 0)
            co_return co_await stop(where, differsText(r),
                        QStringLiteral("All %1 blocks and the firmware number record were written and acknowledged; "
                                       "the flash does not hold the image.")
                            .arg(count),
                        Held::Wrong);
        m_writtenAndVerified = true;
    }
    m_flashIncomplete = false;
    m_running = false;
    emit runningChanged(false);
    m_log.writeLogLine(QStringLiteral("firmware upgrade: %1 bytes written in %2 ms").arg(n).arg(m_clock.nowMs() - started));
    co_await m_clock.pause(10);
    co_await m_prompts.tellFixed(verifyAfterWriting ? Prompts::Fixed::UpgradeComplete : Prompts::Fixed::UpgradeCompleteUnread);
    const Outcome restarted = co_await restartDevice(number);
    if (restarted == Outcome::Done && m_downgradedFrom >= 0)
        co_await tell(QStringLiteral("Firmware %1 now runs in the pedal, older than the firmware %2 it ran before.")
                 .arg(number)
                 .arg(m_downgradedFrom));
    co_return restarted;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::restartDevice(int expectNumber)
{
    if (m_running) {
        m_service.refuse(QStringLiteral("restart"), {Refusal::Reason::UpgradeUnderWay});
        co_return Outcome::Refused;
    }
    Outcome outcome = Outcome::Done;
    if (m_comm.linked() && m_comm.bootloaderLinked()) {
        const Bootloader::Answer a = co_await m_boot.go();
        if (a != Bootloader::Answer::Ack) {
            const bool gone = co_await pedalGone();
            m_log.writeLogLine(QStringLiteral("Go not acknowledged: ") + m_boot.lastProblem());
            const QString written =
                m_writtenAndVerified ? QStringLiteral("The firmware was written and verified. ") : QString();
            const QString notConfirmed =
                QStringLiteral("The pedal did not confirm that it left its bootloader (%1). ").arg(m_boot.lastProblem());
            if (gone)
                co_await tell(written + notConfirmed +
                     QStringLiteral("Connected again it starts the firmware in its flash; should it stay silent, connect "
                                    "it again while holding SHIFT, ") +
                     m_prompts.words(Prompts::NextStep::UpgradeFromBootloader));
            else
                co_await tell(written + notConfirmed +
                     QStringLiteral("It may still be waiting there: %1, or switch it off and on.")
                         .arg(m_prompts.words(Prompts::NextStep::GoAgain)));
            m_writtenAndVerified = false;
            co_return Outcome::Failed;
        }
        m_writtenAndVerified = false;
        m_d2xx.ReportDeviceErrors = true;
        restoreNormalLine();
        m_comm.upgradeEnded();
        m_service.bootloaderLeft();
        m_comm.setLegacyUpgradeMode(false);
        const PedalService::Result r = co_await m_service.requestDeviceInformation();
        if (m_comm.linked())
            m_comm.startPoll();
        if (r != PedalService::Result::Done && !m_service.state().reported) {
            outcome = Outcome::Failed;
        } else if (expectNumber >= 0 && m_service.state().reported &&
                   m_service.state().reported->firmware != expectNumber) {
            m_log.writeLogLine(QStringLiteral("after the upgrade the pedal reports firmware %1, not %2")
                                   .arg(m_service.state().reported->firmware)
                                   .arg(expectNumber));
            outcome = Outcome::Failed;
        }
    }
    m_flashIncomplete = false;
    m_unverified = false;
    setUpgradeMode(false);
    emit finished();
    co_return outcome;
}

Task<bool> FirmwareUpgrade::closeWindow()
{
    if (m_running) {
        m_service.refuse(m_prompts.words(Prompts::Fixed::ClosingUpgrade), {Refusal::Reason::UpgradeUnderWay});
        co_return false;
    }
    if (!m_comm.linked() || !m_comm.bootloaderLinked()) {
        emit finished();
        co_return true;
    }
    if (m_flashIncomplete) {
        const QString question =
            (m_unverified ? QStringLiteral("The pedal's firmware was written but not verified, and starting it may "
                                           "leave the pedal silent if the flash is not right. Start it anyway?\r\n")
                          : QStringLiteral("The pedal's firmware is erased or incomplete, and starting it may leave "
                                           "the pedal silent until it is upgraded. Start it anyway?\r\n")) +
            m_prompts.words(Prompts::NextStep::StayInBootloader);
        const bool start = co_await m_prompts.ask(question);
        if (!start)
            co_return false;
    }
    co_await restartDevice();
    co_return !m_comm.bootloaderLinked(); // a Go the pedal did not confirm keeps the window
}
