#include "simulator/SimulatedPedal.h"

#include "support/Prompts.h"
#include "support/Clock.h"

#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace {
constexpr int StaleInputMs = 500; // a partial message this old is dropped

quint8 bcd(int v) { return quint8(((v / 10) % 10) << 4 | (v % 10)); }

quint32 be32(const QByteArray &b, int at)
{
    return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
           quint32(quint8(b[at + 3]));
}

quint16 be16(const QByteArray &b, int at) { return quint16(quint8(b[at]) << 8 | quint8(b[at + 1])); }

// Length of a message to the running pedal by its first byte; 0 for an algorithm image
// (its length is in bytes 1 and 2); -1 for a byte that starts no message.
int messageLength(quint8 cmd)
{
    switch (cmd) {
    case 0x01: return 7;
    case 0x02: return 2;
    case 0x03: return 41;
    case 0x04: return 16;
    case 0x05: return 8;
    case 0x07: return 2;
    case 0x08: return 3;
    case 0x09: return 3;
    case 0x0B: return 5;
    case 0x0C: return 6;
    case 0x0D: return 2;
    case 0x0E: return 641;
    case 0x0F: return 8;
    case 0x10: return 2;
    case 0x11: return 2;
    case 0x00: return 0;
    default: return -1;
    }
}
} // namespace

SimulatedPedalState::SimulatedPedalState()
{
    // A pedal as it might leave the factory: mid-level dials, wave off, split off.
    // Low Pass, High Pass and Range are kept on their own scales (0..24, 0..16, 0..22).
    parameters = {0x003FC000, 0x003FC000, 0x003FC000, 0x00000000, 0x00600000, 12,         4,
                  0x00000000, 0x00000000, 11,         0x00800000, 0x00400000, 0x00000000, 0x00000000,
                  0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00008000};
    for (int i = 0; i < 10; ++i)
        storedAssignable[size_t(i)] = parameters[size_t(10 + i)];
    // A settings memory in use: a header, the stored assignable values, and the algorithm.
    const auto put = [this](int at, const QByteArray &bytes) { settingsMemory.replace(at, bytes.size(), bytes); };
    put(0, QByteArrayLiteral("QMK3 SETTINGS"));
    for (int i = 0; i < 10; ++i) {
        const quint32 w = storedAssignable[size_t(i)];
        const char word[4] = {char(w >> 24), char(w >> 16), char(w >> 8), char(w)};
        put(0x40 + 4 * i, QByteArray(word, 4));
    }
    put(0x100, QByteArrayLiteral("ALGORITHM 0015"));
}

SimulatedPedal::SimulatedPedal(Clock *clock) : m_clock(clock) {}

qint64 SimulatedPedal::nowUs() const { return m_clock->nowUs(); }

QByteArray SimulatedPedal::deviceInformationValues() const
{
    QByteArray v;
    auto put = [&v](int x) { v.append(char(quint8(x))); };
    put(state.firmware);
    put(bcd(state.algorithm / 100));
    put(bcd(state.algorithm % 100));
    put(bcd(state.effect));
    put(state.footswitchMode);
    put(state.tuning);
    put(state.semitones);
    for (quint8 f : state.assignFlags)
        put(f);
    for (quint16 a : state.assignAddresses) {
        put(a >> 8);
        put(a & 0xFF);
    }
    put(state.bypass);
    put(state.bypassStore);
    put(state.instrumentRange);
    put(state.midiChannel);
    for (quint32 w : state.parameters) {
        put(w >> 24);
        put(w >> 16);
        put(w >> 8);
        put(w);
    }
    return v;
}

QByteArray SimulatedPedal::encodeValues(const QByteArray &values)
{
    QByteArray out;
    for (char c : values) {
        out.append('\n');
        out.append(QByteArray::number(quint8(c)));
        out.append('\r');
    }
    return out;
}

QList<QByteArray> SimulatedPedal::messagesWith(quint8 cmd) const
{
    QList<QByteArray> out;
    for (const Message &m : record) {
        if (!m.bytes.isEmpty() && quint8(m.bytes[0]) == cmd)
            out << m.bytes;
    }
    return out;
}

double SimulatedPedal::byteUs() const { return 1e6 * ((evenParity || inBootloader) ? 11 : 10) / 115200; }

void SimulatedPedal::answer(const QByteArray &bytes, int delayMs)
{
    if (faults.silent || bytes.isEmpty() || (dead && !inBootloader))
        return;
    QByteArray data = bytes;
    if (faults.garbled) {
        for (int i = 0; i < data.size(); i += 3)
            data[i] = char(quint8(data[i]) ^ 0x5B);
    }
    const double perByte = byteUs();
    // An answer starts once the message it answers has arrived whole and the pedal has done
    // its work, and not before the previous answer has left.
    qint64 t = std::max(nowUs(), m_inArrivedUs) + qint64(delayMs + faults.answerDelayMs) * 1000 + m_workUs;
    m_workUs = 0;
    if (!m_outAtUs.isEmpty())
        t = std::max(t, m_outAtUs.last());
    for (int i = 0; i < data.size(); ++i) {
        m_out.append(data[i]);
        m_outAtUs.append(wireTiming ? t + qint64((i + 1) * perByte) : t);
    }
}

void SimulatedPedal::plugIn(bool holdingShift)
{
    m_unplugged = false;
    m_unplugNow = false;
    m_in.clear();
    m_out.clear();
    m_outAtUs.clear();
    inBootloader = holdingShift;
    m_boot = Boot::Command;
    m_synced = false;
    if (!holdingShift)
        startFirmware();
}

void SimulatedPedal::startFirmware()
{
    // The firmware number is the last byte of the record at 0x0801FC00; the program runs when
    // its vector table holds a stack pointer in RAM.
    inBootloader = false;
    m_synced = false;
    const quint8 n = quint8(state.flash[0x1FC00 + 7]);
    const quint32 stack = quint32(quint8(state.flash[0])) | quint32(quint8(state.flash[1])) << 8 |
                          quint32(quint8(state.flash[2])) << 16 | quint32(quint8(state.flash[3])) << 24;
    if (m_flashWritten) {
        dead = (stack & 0xFFFF0000u) != 0x20000000u;
        if (n != 0xFF)
            state.firmware = n;
    }
}

int SimulatedPedal::available(qint64 aheadUs) const
{
    const qint64 now = nowUs() + aheadUs;
    int n = 0;
    while (n < m_outAtUs.size() && m_outAtUs[n] <= now)
        ++n;
    return n;
}

int SimulatedPedal::take(unsigned char *dest, int max, qint64 aheadUs)
{
    const int n = std::min(available(aheadUs), max);
    std::copy_n(reinterpret_cast<const unsigned char *>(m_out.constData()), n, dest);
    m_out.remove(0, n);
    m_outAtUs.remove(0, n);
    return n;
}

void SimulatedPedal::purgeArrived()
{
    const int n = available();
    m_out.remove(0, n);
    m_outAtUs.remove(0, n);
}

void SimulatedPedal::receive(const unsigned char *data, int count)
{
    if (m_unplugged)
        return;
    bool unplugNow = false;
    if (faults.unplugAfterBytes >= 0 && bytesReceived + count >= faults.unplugAfterBytes) {
        count = int(std::max<qint64>(0, faults.unplugAfterBytes - bytesReceived));
        unplugNow = true; // what arrived before the cable came out is still handled
    }
    const qint64 now = m_clock->nowMs();
    // The running firmware drops a message that never finished; the bootloader waits for the
    // rest of a command however long it takes, as the real one does.
    if (!m_in.isEmpty() && !inBootloader && now - m_lastInMs > StaleInputMs) {
        complete(int(m_in.size())); // a message that never finished: recorded as it came
        m_boot = Boot::Command;
    }
    m_lastInMs = now;
    m_inArrivedUs = wireTiming && !inputPacedByLine ? std::max(nowUs(), m_inArrivedUs) + qint64(count * byteUs())
                                                    : nowUs();
    m_in.append(reinterpret_cast<const char *>(data), count);
    bytesReceived += count;
    for (;;) {
        const qsizetype before = m_in.size();
        if (m_in.isEmpty())
            break;
        if (inBootloader)
            handleBootloader();
        else
            handleRunning();
        if (m_in.size() == before || m_unplugNow)
            break;
    }
    if (unplugNow || m_unplugNow) {
        m_unplugNow = false;
        m_in.clear();
        m_unplugged = true;
        m_out.clear();
        m_outAtUs.clear();
    }
}

void SimulatedPedal::complete(int length)
{
    Message m{m_clock->nowMs(), m_in.left(length)};
    m_in.remove(0, length);
    record.append(m);
    if (onMessage)
        onMessage(m);
}

namespace {
// The pedal keeps three parameters on a scale of their own; a dial level arrives shifted by 13.
quint32 toOwnScale(int parameter, quint32 word)
{
    const int scale = parameter == 5 ? 24 : parameter == 6 ? 16 : parameter == 9 ? 22 : 0;
    if (!scale)
        return word;
    const quint32 level = std::min<quint32>(word >> 13, 1023);
    return quint32((level * scale * 2 + 1023) / (2 * 1023));
}
} // namespace

void SimulatedPedal::applyParameterWrite(quint16 address, quint32 word)
{
    // Standard parameters are header words 0 to 8; Range has no word and is written at 0x0000;
    // the assignable ones are words 12 to 21.
    for (int w = 0; w < 9; ++w) {
        if (state.addresses[size_t(w)] == address) {
            state.parameters[size_t(w)] = toOwnScale(w, word);
            return;
        }
    }
    for (int w = 12; w < 22; ++w) {
        if (state.addresses[size_t(w)] == address) {
            state.parameters[size_t(w - 2)] = word;
            return;
        }
    }
    if (address == 0x0000)
        state.parameters[9] = toOwnScale(9, word);
}

void SimulatedPedal::handleRunning()
{
    const quint8 cmd = quint8(m_in[0]);
    int len = messageLength(cmd);
    if (len < 0) {
        complete(1); // not a message the pedal knows: dropped
        return;
    }
    if (len == 0) {
        if (m_in.size() < 3)
            return;
        len = std::max<int>(3, be16(m_in, 1));
    }
    if (m_in.size() < len)
        return;
    const QByteArray msg = m_in.left(len);
    complete(len);
    switch (cmd) {
    case 0x00: {
        state.algorithmImage = msg;
        static const QRegularExpression marker(QStringLiteral("ALGORITHM (\\d{4})"));
        const auto match = marker.match(QString::fromLatin1(msg));
        if (match.hasMatch())
            state.algorithm = quint16(match.captured(1).toInt());
        QByteArray text = QStringLiteral("Algorithm %1 OK").arg(state.algorithm, 4, 10, QLatin1Char('0')).toLatin1();
        answer(text.leftJustified(17, ' ', true), 30);
        break;
    }
    case 0x01:
        applyParameterWrite(be16(msg, 1), be32(msg, 3));
        break;
    case 0x02: {
        QByteArray values = deviceInformationValues();
        if (faults.shortAnswerValues >= 0)
            values.truncate(faults.shortAnswerValues);
        answer(encodeValues(values), 2);
        break;
    }
    case 0x03:
        for (int i = 0; i < 10; ++i)
            state.storedAssignable[size_t(i)] = be32(msg, 1 + 4 * i);
        break;
    case 0x04:
        for (int c = 0; c < 5; ++c) {
            state.assignFlags[size_t(c)] = quint8(msg[1 + c]);
            state.assignAddresses[size_t(c)] = be16(msg, 6 + 2 * c);
        }
        break;
    case 0x05:
        if (msg == QByteArray::fromHex("0500010203040506")) {
            inBootloader = true;
            m_boot = Boot::Command;
            m_synced = false;
        }
        break;
    case 0x07:
        state.midiChannel = quint8(msg[1]);
        break;
    case 0x08:
        state.footswitchMode = quint8(2 * quint8(msg[1]) + quint8(msg[2]));
        break;
    case 0x09: {
        // The same command byte carries the tuning and the note filters. A second byte that
        // is no semitone variation (-5..+3) marks the note filters.
        const quint8 b1 = quint8(msg[1]), b2 = quint8(msg[2]);
        const bool semitone = b2 >= 0xFB || b2 <= 0x03;
        if (!semitone || (b1 == 0xFF && b2 == 0xFF)) {
            state.noteFilter1 = b1;
            state.noteFilter2 = b2;
        } else {
            state.tuning = b1;
            state.semitones = b2;
        }
        break;
    }
    case 0x0B:
        if (quint8(msg[1]) == 0x50)
            state.settingsMemory.fill(char(0xFF));
        break;
    case 0x0C:
        if (quint8(msg[1]) == 0x50) {
            QByteArray dump = QByteArray(1, char(0xAB)) + state.settingsMemory;
            QByteArray trailing(std::max(0, faults.dumpTrailingBytes), char(0));
            for (int i = 0; i < trailing.size(); ++i)
                trailing[i] = char(i & 0x7F);
            if (faults.dumpBytes >= 0)
                dump.truncate(1 + faults.dumpBytes);
            else if (faults.dumpTrailingAfterMs < 0)
                dump += std::exchange(trailing, QByteArray());
            answer(dump, 20);
            if (faults.dumpBytes < 0)
                answer(trailing, 20 + faults.dumpTrailingAfterMs);
        }
        break;
    case 0x0D:
        state.bypass = quint8(msg[1]) == 1 ? 1 : 0;
        break;
    case 0x0E:
        state.tuningTable = msg.mid(1);
        break;
    case 0x0F: {
        quint8 x = 0;
        for (int i = 0; i < 7; ++i)
            x ^= quint8(msg[i]);
        if (x == quint8(msg[7]))
            state.instrumentRange = quint8(msg[1]);
        break;
    }
    case 0x10:
        state.bypassStore = quint8(msg[1]) == 1 ? 1 : 0;
        break;
    case 0x11:
        state.rangeLimit = quint8(msg[1]);
        break;
    default:
        break;
    }
}

