// The read-back of a firmware upgrade and verify: every block and the firmware number record
// read from the flash and compared with the image, a block that differs read a second time
// before the flash is called wrong, and the words for what was found.
#include "pedal/FirmwareUpgrade.h"

#include "algorithms/FirmwareImage.h"
#include "device/HexCodec.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"

namespace {
QString hex8(quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); }
} // namespace

Task<FirmwareUpgrade::Outcome> FirmwareUpgrade::verifyImage(QByteArray image, int number)
{
    const Refusal reason = refusalToStart();
    if (reason) {
        m_service.refuse(QStringLiteral("verify firmware"), reason);
        co_return Outcome::Refused;
    }
    const QString problem = FirmwareImage::check(&image);
    if (!problem.isEmpty()) {
        co_await tell(QStringLiteral("The image cannot be compared: %1.").arg(problem));
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
        co_await tell(QStringLiteral("The pedal's bootloader refused to read its flash at %1 (NACK): the flash may be "
                            "read-protected. It was not compared with the image.")
                 .arg(hex8(blockAddress)));
        co_return Outcome::Failed;
    }
    if (r.answer != Bootloader::Answer::Ack) {
        co_await pedalGone();
        co_await tell(QStringLiteral("The flash could not be read at %1: %2.").arg(hex8(blockAddress), m_boot.lastProblem()));
        co_return Outcome::Failed;
    }
    if (atRecord) {
        co_await tell(QStringLiteral("The flash holds the image, but its firmware number record at %1 holds %2, not firmware %3.")
                 .arg(hex8(blockAddress), recordText(r.record))
                 .arg(number));
        co_return Outcome::Failed;
    }
    if (r.block >= 0) {
        co_await tell(differsText(r, true) + QLatin1Char('.'));
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

QString FirmwareUpgrade::differsText(const ReadBack &r, bool opening)
{
    const QString flash = opening ? QStringLiteral("The flash") : QStringLiteral("the flash");
    if (r.erased)
        return QStringLiteral("%1 is erased at %2, where the image has other bytes").arg(flash, hex8(r.address));
    return QStringLiteral("%1 holds other bytes at %2 than the image (read twice)").arg(flash, hex8(r.address));
}

qsizetype FirmwareUpgrade::firstDifference(const QByteArray &back, const QByteArray &expected, bool *erased)
{
    qsizetype at = 0;
    while (at < back.size() && at < expected.size() && back[at] == expected[at])
        ++at;
    // Erased from there to the end, a whole word or more: the flash's own state, which no byte
    // changed on the way makes.
    const qsizetype rest = back.size() - at;
    *erased = rest >= 4 && back.mid(at) == QByteArray(rest, char(0xFF));
    return at;
}

Task<Bootloader::Answer> FirmwareUpgrade::readTwiceIfDifferent(quint32 address, QByteArray expected, QByteArray *back)
{
    Bootloader::Answer a = co_await m_boot.readMemory(address, int(expected.size()), back);
    bool erased = false;
    if (a != Bootloader::Answer::Ack || *back == expected)
        co_return a;
    firstDifference(*back, expected, &erased);
    if (erased)
        co_return a;
    // A byte changed on the way back is not a byte changed in the flash: the flash is called
    // wrong only when a second read finds it so too.
    m_log.writeLogLine(QStringLiteral("read-back: %1 differs from the image; reading it again").arg(hex8(address)));
    a = co_await m_boot.readMemory(address, int(expected.size()), back);
    if (a == Bootloader::Answer::Ack && *back == expected)
        m_log.writeLogLine(QStringLiteral("read-back: %1 holds the image on the second read (the first answer was "
                                          "changed on the way)")
                               .arg(hex8(address)));
    co_return a;
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
        r.answer = co_await readTwiceIfDifferent(address, blocks[i], &back);
        if (r.answer != Bootloader::Answer::Ack || back != blocks[i]) {
            r.block = i;
            r.address = address + quint32(firstDifference(back, blocks[i], &r.erased));
            co_return r;
        }
        address += quint32(blocks[i].size());
        emit readBackProgress(i + 1, count, (m_clock.nowMs() - started) * (count - i - 1) / (i + 1));
    }
    const QByteArray expected = QByteArray(7, '\0') + char(quint8(number));
    r.answer = co_await readTwiceIfDifferent(FirmwareImage::RecordAddress, expected, &r.record);
    if (r.answer != Bootloader::Answer::Ack || r.record != expected) {
        r.block = int(blocks.size());
        r.address = FirmwareImage::RecordAddress;
        co_return r;
    }
    m_log.writeLogLine(QStringLiteral("read-back: the flash holds the image"));
    m_log.writeLogLine(QStringLiteral("read-back: the firmware number record holds firmware %1").arg(number));
    co_return r;
}
