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
QString stoppedWayBack(const Prompts &prompts, bool unverified, bool gone)
{
    using Step = Prompts::NextStep;
    if (!gone)
        return (unverified ? QStringLiteral("The pedal stays in its bootloader. ")
                           : QStringLiteral("The pedal stays in its bootloader; its firmware is erased or incomplete. ")) +
               prompts.words(Step::UpgradeAgain);
    return (unverified ? QStringLiteral("The pedal went away; it starts in its bootloader only while SHIFT is held. ")
                       : QStringLiteral("The pedal's firmware is erased or incomplete, and it starts in its bootloader "
                                        "only while SHIFT is held. ")) +
           QStringLiteral("Connect it again while holding SHIFT, ") + prompts.words(Step::UpgradeFromBootloader);
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

void FirmwareUpgrade::tell(const QString &text)
{
    m_lastMessage = text;
    m_prompts.message(text);
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
        m_service.refuse(QStringLiteral("upgrade mode"), QStringLiteral("a firmware upgrade is under way"));
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
    const QString busy = m_service.refusal(PedalService::Command::Request, true);
    if (!busy.isEmpty()) {
        m_service.refuse(QStringLiteral("upgrade mode"), busy);
        setUpgradeMode(false);
        co_return;
    }
    // What the pedal holds is saved while its firmware can still tell it.
    if (!m_service.backUpBefore(QStringLiteral("the firmware upgrade"))) {
        setUpgradeMode(false);
        co_return;
    }
    m_comm.sendMessage(PedalMessages::bypass(true));
    if (!m_prompts.question(QStringLiteral("Keep SHIFT button on the pedal pressed and click YES."))) {
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
        m_prompts.message(m_prompts.words(Prompts::NextStep::ReleaseShift));
        enterBootloaderReady();
        co_return;
    }
    // The pedal did not reach its bootloader: it still runs its firmware, so the line goes back
    // to its normal settings and the background poll runs again.
    co_await m_clock.activity(0); // an unplug is reported by the backend as an event
    m_comm.upgradeEnded();
    tell(QStringLiteral("Connection to bootloader failed"));
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

QString FirmwareUpgrade::refusalToStart() const
{
    if (m_running)
        return QStringLiteral("a firmware upgrade is under way");
    if (!m_comm.linked())
        return QStringLiteral("no pedal is linked");
    if (!m_comm.bootloaderLinked())
        return QStringLiteral("the pedal is not in its bootloader; turn Upgrade Mode on in the Firmware Upgrade menu first");
    return QString();
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgrade()
{
    const QString reason = refusalToStart();
    if (!reason.isEmpty()) {
        m_service.refuse(QStringLiteral("upgrade firmware"), reason);
        co_return Outcome::Refused;
    }
    QByteArray image;
    QString error;
    if (!FirmwareImage::loadCarried(m_imageName, &image, &error)) {
        m_log.writeLogLine(QStringLiteral("firmware image not loaded: ") + error);
        tell(QStringLiteral("Error loading resource: ") + error);
        co_return Outcome::Failed;
    }
    co_return co_await upgradeImage(image, m_number, m_imageName);
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgradeFromFile(QString givenPath)
{
    const QString reason = refusalToStart();
    if (!reason.isEmpty()) {
        m_service.refuse(QStringLiteral("upgrade firmware from a file"), reason);
        co_return Outcome::Refused;
    }
    const QString path = givenPath.isEmpty()
                             ? m_prompts.openFile(QStringLiteral("Firmware image"),
                                                  QStringLiteral("Firmware images (*.bin);;All files (*)"), QString())
                             : givenPath;
    if (path.isEmpty())
        co_return Outcome::Cancelled;
    m_log.addConsoleLine(QStringLiteral("Opening: ") + path);
    const QString name = QFileInfo(path).fileName();
    QByteArray image;
    QString why;
    if (!FirmwareImage::readFile(path, &image, &why)) {
        tell(QStringLiteral("%1 cannot be written: %2. Nothing in the pedal was changed.").arg(name, why));
        co_return Outcome::Failed;
    }
    m_log.writeLogLine(QStringLiteral("num of bytes read: %1").arg(image.size()));
    if (!m_prompts.question(QStringLiteral("Write %1 (%2 bytes) into the pedal and record it as firmware %3?")
                                .arg(name)
                                .arg(image.size())
                                .arg(m_number)))
        co_return Outcome::Cancelled;
    co_return co_await upgradeImage(image, m_number, name);
}

Task<bool> FirmwareUpgrade::pedalGone()
{
    co_await m_clock.activity(0); // an unplug is reported by the backend as an event
    co_return !m_comm.linked() || m_boot.lastAnswer() == Bootloader::Answer::DeviceFailed;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::stop(QString step, QString problem, QString holds, bool unverified)
{
    m_running = false;
    m_unverified = unverified;
    m_log.writeLogLine(QStringLiteral("firmware upgrade stopped at %1: %2").arg(step, problem));
    const bool gone = co_await pedalGone();
    emit runningChanged(false);
    const QString wayBack = stoppedWayBack(m_prompts, unverified, gone);
    tell(QStringLiteral("The firmware upgrade stopped at %1: %2. %3 ").arg(step, problem, holds) + wayBack);
    co_return unverified ? Outcome::Unverified : Outcome::Failed;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::upgradeImage(QByteArray image, int number, QString what)
{
    const QString reason = refusalToStart();
    if (!reason.isEmpty()) {
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
        tell(QStringLiteral("%1 cannot be written: %2. Nothing in the pedal was changed.").arg(what, problem));
        co_return Outcome::Refused;
    }
    if (StandInImages::isStandInFirmware(image) && m_comm.linkedToRealPedal()) {
        m_log.writeLogLine(QStringLiteral("firmware image refused: a stand-in for a real pedal"));
        tell(QStringLiteral("%1 is a stand-in for tests and the simulated pedal, not the maker's firmware; it is never "
                            "written into a real pedal. Nothing in the pedal was changed.")
                 .arg(what));
        co_return Outcome::Refused;
    }
    if (number < 0 || number > 255) {
        tell(QStringLiteral("%1 cannot be written: %2 is not a firmware number. Nothing in the pedal was changed.")
                 .arg(what)
                 .arg(number));
        co_return Outcome::Refused;
    }
    // Going back to an older firmware is asked about; the pedal's own report says what it runs.
    m_downgradedFrom = -1;
    const std::optional<DeviceInformation> &reported = m_service.state().reported;
    if (reported && number < reported->firmware) {
        const QString question = QStringLiteral("The pedal runs firmware %1. Write %2 and go back to the older "
                                                "firmware %3?")
                                     .arg(reported->firmware)
                                     .arg(what)
                                     .arg(number);
        const bool yes = m_prompts.question(question);
        m_log.writeLogLine(QStringLiteral("firmware downgrade from %1 to %2 asked: %3")
                               .arg(reported->firmware)
                               .arg(number)
                               .arg(yes ? QStringLiteral("Yes") : QStringLiteral("No")));
        if (!yes)
            co_return Outcome::Cancelled;
        m_downgradedFrom = reported->firmware;
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
                        true);
        }
        if (r.block == count)
            co_return co_await stop(where, QStringLiteral("it holds %1, not firmware %2").arg(recordText(r.record)).arg(number),
                        QStringLiteral("All %1 blocks were written and read back.").arg(count));
        if (r.block >= 0)
            co_return co_await stop(where, QStringLiteral("the flash at %1 holds other bytes than the image").arg(hex8(r.address)),
                        QStringLiteral("All %1 blocks and the firmware number record were written; the flash does not "
                                       "hold the image.")
                            .arg(count));
        m_writtenAndVerified = true;
    }
    m_flashIncomplete = false;
    m_running = false;
    emit runningChanged(false);
    m_log.writeLogLine(QStringLiteral("firmware upgrade: %1 bytes written in %2 ms").arg(n).arg(m_clock.nowMs() - started));
    co_await m_clock.pause(10);
    m_prompts.message(m_prompts.words(Prompts::NextStep::UpgradeComplete));
    const Outcome restarted = co_await restartDevice(number);
    if (restarted == Outcome::Done && m_downgradedFrom >= 0)
        tell(QStringLiteral("Firmware %1 now runs in the pedal, older than the firmware %2 it ran before.")
                 .arg(number)
                 .arg(m_downgradedFrom));
    co_return restarted;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::verifyImage(QByteArray image, int number)
{
    const QString reason = refusalToStart();
    if (!reason.isEmpty()) {
        m_service.refuse(QStringLiteral("verify firmware"), reason);
        co_return Outcome::Refused;
    }
    const QString problem = FirmwareImage::check(&image);
    if (!problem.isEmpty()) {
        tell(QStringLiteral("The image cannot be compared: %1.").arg(problem));
        co_return Outcome::Refused;
    }
    const QList<QByteArray> blocks = FirmwareImage::blocks(image);
    const ReadBack r = co_await readBack(blocks, number);
    const bool atRecord = r.block == blocks.size();
    const quint32 blockAddress = atRecord ? FirmwareImage::RecordAddress
                                          : FirmwareImage::FlashBase + quint32(qMax(0, r.block)) * FirmwareImage::BlockBytes;
    if (r.answer == Bootloader::Answer::Nack && r.block == 0) {
        // Nothing was written in this run that the bootloader took: a refusal of the very first
        // read may be the flash's read protection.
        tell(QStringLiteral("The pedal's bootloader refused to read its flash at %1 (NACK): the flash may be "
                            "read-protected. It was not compared with the image.")
                 .arg(hex8(blockAddress)));
        co_return Outcome::Failed;
    }
    if (r.answer != Bootloader::Answer::Ack) {
        co_await pedalGone();
        tell(QStringLiteral("The flash could not be read at %1: %2.").arg(hex8(blockAddress), m_boot.lastProblem()));
        co_return Outcome::Failed;
    }
    if (atRecord) {
        tell(QStringLiteral("The flash holds the image, but its firmware number record at %1 holds %2, not firmware %3.")
                 .arg(hex8(blockAddress), recordText(r.record))
                 .arg(number));
        co_return Outcome::Failed;
    }
    if (r.block >= 0) {
        tell(QStringLiteral("The flash differs from the image in the block at %1.").arg(hex8(blockAddress)));
        co_return Outcome::Failed;
    }
    co_return Outcome::Done;
}

QString FirmwareUpgrade::recordText(const QByteArray &record)
{
    if (record == QByteArray(8, char(0xFF)))
        return QStringLiteral("nothing (it is erased)");
    if (record.left(7) == QByteArray(7, '\0'))
        return QStringLiteral("firmware %1").arg(quint8(record[7]));
    return QStringLiteral("the bytes ") + HexCodec::bytesToHexText(record);
}

Task<FirmwareUpgrade::ReadBack> FirmwareUpgrade::readBack(QList<QByteArray> blocks, int number)
{
    ReadBack r;
    quint32 address = FirmwareImage::FlashBase;
    const qint64 started = m_clock.nowMs();
    const int count = int(blocks.size());
    emit readBackProgress(0, count, -1);
    for (int i = 0; i < count; ++i) {
        QByteArray back;
        r.answer = co_await m_boot.readMemory(address, int(blocks[i].size()), &back);
        if (r.answer != Bootloader::Answer::Ack || back != blocks[i]) {
            r.block = i;
            qsizetype at = 0;
            while (at < back.size() && back[at] == blocks[i][at])
                ++at;
            r.address = address + quint32(at);
            co_return r;
        }
        address += quint32(blocks[i].size());
        emit readBackProgress(i + 1, count, (m_clock.nowMs() - started) * (count - i - 1) / (i + 1));
    }
    const QByteArray expected = QByteArray(7, '\0') + char(quint8(number));
    r.answer = co_await m_boot.readMemory(FirmwareImage::RecordAddress, int(expected.size()), &r.record);
    if (r.answer != Bootloader::Answer::Ack || r.record != expected) {
        r.block = int(blocks.size());
        r.address = FirmwareImage::RecordAddress;
        co_return r;
    }
    m_log.writeLogLine(QStringLiteral("read-back: the flash holds the image"));
    m_log.writeLogLine(QStringLiteral("read-back: the firmware number record holds firmware %1").arg(number));
    co_return r;
}

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::restartDevice(int expectNumber)
{
    if (m_running) {
        m_service.refuse(QStringLiteral("restart"), QStringLiteral("a firmware upgrade is under way"));
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
                tell(written + notConfirmed +
                     QStringLiteral("Connected again it starts the firmware in its flash; should it stay silent, connect "
                                    "it again while holding SHIFT, ") +
                     m_prompts.words(Prompts::NextStep::UpgradeFromBootloader));
            else
                tell(written + notConfirmed +
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
        m_service.refuse(QStringLiteral("closing the firmware upgrade window"),
                         QStringLiteral("a firmware upgrade is under way"));
        co_return false;
    }
    if (!m_comm.linked() || !m_comm.bootloaderLinked()) {
        emit finished();
        co_return true;
    }
    if (m_flashIncomplete &&
        !m_prompts.question(m_unverified
                                ? QStringLiteral("The pedal's firmware was written but not verified, and starting it may "
                                                 "leave the pedal silent if the flash is not right. Start it anyway?\r\n"
                                                 "Choose No to stay in the bootloader and try the upgrade again.")
                                : QStringLiteral("The pedal's firmware is erased or incomplete, and starting it may leave "
                                                 "the pedal silent until it is upgraded. Start it anyway?\r\n"
                                                 "Choose No to stay in the bootloader and try the upgrade again.")))
        co_return false;
    co_await restartDevice();
    co_return !m_comm.bootloaderLinked(); // a Go the pedal did not confirm keeps the window
}
