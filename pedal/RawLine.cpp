#include "pedal/RawLine.h"

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "support/Clock.h"

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
