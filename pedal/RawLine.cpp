#include "pedal/RawLine.h"

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "pedal/PedalService.h"
#include "pedal/SettingsMemory.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

static_assert(RawLine::MaxMessageBytes == D2XXUnit::BufferSize);

QList<RawLine::Device> RawLine::devices()
{
    QList<Device> found;
    m_d2xx.GetFTDeviceCount();
    for (quint32 i = 0; i < m_d2xx.FTDeviceCount; ++i) {
        Device d;
        m_d2xx.GetFTDeviceSerialNo(int(i));
        d.serial = QString::fromLatin1(m_d2xx.FTDeviceString);
        m_d2xx.GetFTDeviceDescription(int(i));
        d.description = QString::fromLatin1(m_d2xx.FTDeviceString);
        found << d;
    }
    return found;
}

Task<QByteArray> RawLine::send(QString hex)
{
    m_comm.stopPoll(); // the answer is read here, not by the background poll
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    m_comm.sendHexMessage(hex, int(bytes.size()));
    co_await m_clock.pause(100); // let the bytes leave and a quick answer come back
    QByteArray answer;
    while (m_d2xx.GetFTDeviceQueueStatus() == 0 && m_d2xx.FTQueuedBytes > 0 && answer.size() < D2XXUnit::BufferSize) {
        const quint32 n = m_d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        answer.append(reinterpret_cast<const char *>(m_d2xx.FTReceiveBuffer.data()), int(n));
        if (n == 0)
            break;
    }
    co_return answer;
}

RawLine::Kind RawLine::classify(const QByteArray &message)
{
    if (message.isEmpty())
        return Kind::Other;
    switch (quint8(message[0])) {
    case 0x00: return Kind::AlgorithmUpload;
    case 0x01: return Kind::ParameterWrite;
    case 0x02: return Kind::Request;
    case 0x03: return Kind::Store;
    case 0x04: return Kind::Assignment;
    case 0x05: return Kind::EnterBootloader;
    case 0x07: return Kind::MidiChannel;
    case 0x08: return Kind::Footswitch;
    case 0x09: return Kind::Tuning;
    case 0x0B: return Kind::Erase;
    case 0x0C: return Kind::MemoryRead;
    case 0x0D: return Kind::Bypass;
    case 0x0E: return Kind::TuningUpload;
    case 0x0F: return Kind::InstrumentRange;
    case 0x10: return Kind::BypassStorage;
    case 0x11: return Kind::RangeLimit;
    default: return Kind::Other;
    }
}

RawLine::Needs RawLine::needs(Kind kind)
{
    switch (kind) {
    case Kind::AlgorithmUpload:
    case Kind::EnterBootloader:
    case Kind::Erase:
        return {true, true};
    case Kind::Store:
    case Kind::TuningUpload:
        return {true, false};
    default:
        return {};
    }
}

QString RawLine::eraseAddress(const QByteArray &message)
{
    return classify(message) == Kind::Erase && message.size() >= 2 ? HexCodec::hexNumber(quint8(message[1]), 2) : QString();
}

Task<RawLine::Sent> RawLine::sendGuarded(QByteArray message, QString what)
{
    Sent sent;
    const Kind kind = classify(message);
    const Needs need = needs(kind);
    const QString hex = HexCodec::bytesToHexText(message);
    bool confirmed = true;
    if (need.confirmation)
        confirmed = co_await m_prompts.ask(QStringLiteral("%1 changes the pedal in a large way. Send it?").arg(what));
    if (!confirmed) {
        sent.outcome = Outcome::Cancelled;
        co_return sent;
    }
    if (need.backup) {
        const QString occasion = QStringLiteral("the raw message %1").arg(hex.size() <= 24 ? hex : hex.left(24) + QStringLiteral("..."));
        const QString address = eraseAddress(message);
        bool backedUp = false;
        if (address.isEmpty())
            backedUp = co_await m_service.backUpBefore(occasion);
        else
            backedUp = co_await m_service.memory().backUpWithMemory(occasion, address);
        if (!backedUp) {
            sent.outcome = Outcome::Cancelled;
            co_return sent;
        }
    }
    m_log.writeLogLine(QStringLiteral("raw message: ") + hex);
    sent.answer = co_await send(hex);
    sent.outcome = Outcome::Done;
    co_return sent;
}
