// The device information exchange: the request, its answer gathered and decoded, and the
// answers owed to requests that gave up on them, dropped wherever they arrive so that a late
// answer is never taken for a later request's.
#include "device/Communication.h"

#include "device/D2XXUnit.h"
#include "device/DeviceInformation.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"

#include <algorithm>
#include <utility>

using HexCodec::hexNumber;

Task<Communication::WaitResult> Communication::gatherAnswer(qint64 firstByteDeadline, bool purgeTransmit,
                                                          QByteArray *bytes)
{
    if (bytes->isEmpty()) {
        const int left = int(qMax<qint64>(0, firstByteDeadline - m_clock->nowMs()));
        const WaitResult first = co_await waitForFirstByte(left);
        if (first != WaitResult::Answered)
            co_return first;
    }
    if (purgeTransmit)
        m_d2xx->PurgeFTDeviceTX();

    // Gather every read of this answer; stop once all values are in and the line is quiet,
    // or when the pedal falls silent short of them, or at the time limit.
    const qint64 deadline = m_clock->nowMs() + m_answerTimeoutMs;
    qint64 lastByteAt = m_clock->nowMs();
    for (;;) {
        co_await m_clock->activity(0);
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (m_d2xx->FTLastIOStatus != 0)
            break;
        if (n > 0) {
            bytes->append(reinterpret_cast<const char *>(m_d2xx->FTReceiveBuffer.data()), int(n));
            lastByteAt = m_clock->nowMs();
            if (lastByteAt >= deadline)
                break; // a line that never falls quiet
            continue;
        }
        const qint64 now = m_clock->nowMs();
        const bool complete = countClosedValues(*bytes) >= DeviceInformation::Values;
        if (complete || now - lastByteAt >= m_answerGapMs || now >= deadline)
            break;
        co_await m_clock->activity(10);
    }
    co_return WaitResult::Answered;
}

qsizetype Communication::endOfFirstAnswer(const QByteArray &bytes)
{
    qsizetype at = 0;
    for (int closed = 0; closed < DeviceInformation::Values; ++closed) {
        const qsizetype end = bytes.indexOf('\r', at);
        if (end < 0)
            return bytes.size();
        at = end + 1;
    }
    return at;
}

void Communication::expireOwedAnswers()
{
    const qint64 now = m_clock->nowMs();
    while (!m_owedUntil.isEmpty() && now >= m_owedUntil.first())
        m_owedUntil.removeFirst();
    if (m_owedUntil.isEmpty())
        m_lateBytes.clear();
}

void Communication::settleOwedAnswer(qsizetype bytes, const QString &when)
{
    m_owedUntil.removeFirst();
    m_log->writeLogLine(QStringLiteral("dropped a late answer to an earlier request (%1 bytes, %2)").arg(bytes).arg(when));
}

void Communication::forgetOwedAnswers()
{
    m_owedUntil.clear();
    m_lateBytes.clear();
}

void Communication::takeLateBytes(const unsigned char *data, int n)
{
    m_lateBytes.append(reinterpret_cast<const char *>(data), n);
    m_lateBytesAt = m_clock->nowMs();
    while (!m_owedUntil.isEmpty() && countClosedValues(m_lateBytes) >= DeviceInformation::Values) {
        const qsizetype end = endOfFirstAnswer(m_lateBytes);
        settleOwedAnswer(end, QStringLiteral("read by the poll"));
        m_lateBytes.remove(0, end);
    }
    if (m_owedUntil.isEmpty())
        m_lateBytes.clear();
}

Task<> Communication::dropLeftovers()
{
    expireOwedAnswers();
    // Late bytes the poll has begun to gather belong to the answer owed first.
    QByteArray carried = std::exchange(m_lateBytes, QByteArray());
    for (;;) {
        expireOwedAnswers();
        if (carried.isEmpty()) {
            if (m_d2xx->GetFTDeviceQueueStatus() != 0)
                co_return;
            if (m_d2xx->FTQueuedBytes == 0) {
                if (m_owedUntil.isEmpty())
                    co_return;
                // An answer owed may still come: it is waited for (until it is no longer
                // expected), so that it cannot arrive in the middle of this request's answer.
                const int left = int(qMax<qint64>(0, m_owedUntil.first() - m_clock->nowMs()));
                const WaitResult w = co_await waitForFirstByte(left);
                if (w == WaitResult::DeviceFailed)
                    co_return;
                if (w == WaitResult::TimedOut) {
                    m_log->writeLogLine(QStringLiteral("the answer to an earlier request did not come"));
                    m_owedUntil.removeFirst();
                }
                continue;
            }
        }
        QByteArray bytes = std::exchange(carried, QByteArray());
        const WaitResult w = co_await gatherAnswer(m_clock->nowMs(), false, &bytes);
        if (w == WaitResult::DeviceFailed)
            co_return;
        if (m_owedUntil.isEmpty()) {
            // Nothing is owed: what the line holds answers nothing that was asked, and goes.
            if (!bytes.isEmpty())
                m_log->writeLogLine(QStringLiteral("dropped %1 bytes left on the line before the request").arg(bytes.size()));
            continue;
        }
        const qsizetype end = endOfFirstAnswer(bytes);
        settleOwedAnswer(end, QStringLiteral("before the request"));
        carried = bytes.mid(end);
    }
}

Task<Communication::Answer> Communication::exchangeDeviceInformation()
{
    stopPoll();
    co_await finishArrivingDump(); // the purge below must not cut a settings-memory dump in two
    co_await dropLeftovers();      // nor may a late answer to an earlier request be taken for this one
    const QByteArray request = PedalMessages::deviceInformationRequest();
    std::copy(request.begin(), request.end(), m_d2xx->FTTransmitBuffer.begin());
    m_d2xx->PurgeFTDeviceRX();
    m_d2xx->PurgeFTDeviceTX();
    m_d2xx->WriteFTDeviceBuffer(quint32(request.size()));
    const qint64 sentAt = m_clock->nowMs();

    // Read as soon as the answer arrives: it is waited for, not slept for. The pedal answers in
    // order, so while an earlier request is owed its answer, the first answer to arrive is that
    // one, however late: it is dropped, and this request's own is waited for until its limit.
    Answer a;
    QByteArray carried;
    bool purgeTransmit = true;
    for (;;) {
        QByteArray bytes = std::exchange(carried, QByteArray());
        a.wait = co_await gatherAnswer(sentAt + m_answerTimeoutMs, std::exchange(purgeTransmit, false), &bytes);
        if (a.wait == WaitResult::TimedOut)
            m_owedUntil.append(m_clock->nowMs() + m_lateAnswerWindowMs);
        if (a.wait != WaitResult::Answered)
            co_return a;
        expireOwedAnswers();
        if (m_owedUntil.isEmpty()) {
            a.bytes = bytes;
            break;
        }
        const qsizetype end = endOfFirstAnswer(bytes);
        settleOwedAnswer(end, QStringLiteral("while waiting for the next one"));
        carried = bytes.mid(end);
    }

    a.decoded = decodeReplyBytes(a.bytes);
    m_d2xx->PurgeFTDeviceRX();
    if (!a.decoded.ok) {
        m_log->writeLogLine(QStringLiteral("answer could not be decoded: ") + a.decoded.error);
        co_return a;
    }
    const QByteArray &values = a.decoded.values;
    m_log->writeLogLine(QStringLiteral("num of bytes received: %1").arg(values.size()));
    m_log->writeLogLine(QStringLiteral("received_bytes_array size: %1").arg(values.size()));
    for (int k = 0; k < values.size(); ++k)
        m_log->writeLogLine(QStringLiteral("%1:    %2").arg(k).arg(hexNumber(quint8(values[k]), 2)));
    co_return a;
}
