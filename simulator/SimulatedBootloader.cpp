// The simulated pedal's bootloader: the STM32 USART bootloader's commands as stm32flash and the
// editor use them (Get, Get Version, Get ID, Read Memory, Write Memory, Erase, Go) over a 128 KiB
// flash, the synchronisation on the first 0x7F, and the one-shot faults of an upgrade's steps.
#include "simulator/SimulatedPedal.h"

#include <QStringList>

namespace {
constexpr quint8 Ack = 0x79;
constexpr quint8 Nack = 0x1F;
constexpr quint32 FlashBase = 0x08000000;

quint32 be32(const QByteArray &b, int at)
{
    return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
           quint32(quint8(b[at + 3]));
}
} // namespace

void SimulatedPedal::bootAnswer(const QByteArray &bytes, int workUs)
{
    m_workUs = flashTiming ? workUs : 0;
    if (faults.nack) {
        answer(QByteArray(1, char(Nack)), 0);
        return;
    }
    answer(bytes, 0);
}

BootFault::Kind SimulatedPedal::faultAt(BootFault::Step step, int block)
{
    const bool atBlock = step == BootFault::Step::Block || (step == BootFault::Step::ReadBack && bootFault.block >= 0);
    if (bootFault.kind == BootFault::Kind::None || bootFault.step != step || (atBlock && bootFault.block != block))
        return BootFault::Kind::None;
    const BootFault::Kind kind = bootFault.kind;
    if (step != BootFault::Step::Sync || --bootFault.block <= 0)
        bootFault.kind = BootFault::Kind::None; // once (at sync: for as many 0x7F as it counts)
    if (kind == BootFault::Kind::Unplug)
        m_unplugNow = true;
    return kind;
}

bool BootFault::parse(const QString &text, BootFault *fault)
{
    const QStringList parts = text.toLower().split(QLatin1Char('@'));
    if (parts.size() != 2)
        return false;
    BootFault f;
    if (parts[0] == QLatin1String("nack"))
        f.kind = Kind::Nack;
    else if (parts[0] == QLatin1String("silent"))
        f.kind = Kind::Silent;
    else if (parts[0] == QLatin1String("unplug"))
        f.kind = Kind::Unplug;
    else if (parts[0] == QLatin1String("flip"))
        f.kind = Kind::Flip;
    else
        return false;
    const QString step = parts[1];
    if (step == QLatin1String("sync")) {
        f.step = Step::Sync;
        f.block = 1;
    } else if (step.startsWith(QLatin1String("sync:"))) {
        bool ok = false;
        f.step = Step::Sync;
        f.block = step.mid(5).toInt(&ok);
        if (!ok || f.block < 1)
            return false;
    } else if (step == QLatin1String("erase"))
        f.step = Step::Erase;
    else if (step == QLatin1String("record"))
        f.step = Step::Record;
    else if (step == QLatin1String("read"))
        f.step = Step::ReadBack;
    else if (step == QLatin1String("read:record")) {
        f.step = Step::ReadBack;
        f.block = RecordBlock;
    } else if (step == QLatin1String("go"))
        f.step = Step::Go;
    else if (step.startsWith(QLatin1String("block:")) || step.startsWith(QLatin1String("read:"))) {
        const qsizetype colon = step.indexOf(QLatin1Char(':'));
        bool ok = false;
        f.block = step.mid(colon + 1).toInt(&ok);
        if (!ok || f.block < 0 || f.block >= RecordBlock)
            return false;
        f.step = step.startsWith(QLatin1String("block:")) ? Step::Block : Step::ReadBack;
    } else {
        return false;
    }
    if (f.kind == Kind::Flip && f.step != Step::Sync && f.step != Step::Block && f.step != Step::Record &&
        f.step != Step::ReadBack)
        return false;
    *fault = f;
    return true;
}

void SimulatedPedal::startInBootloader(bool synchronised)
{
    inBootloader = true;
    m_boot = Boot::Command;
    m_synced = synchronised;
}

void SimulatedPedal::holdFirmwareRecord()
{
    QByteArray record(8, '\0');
    record[7] = char(state.firmware);
    state.flash.replace(0x1FC00, int(record.size()), record);
}

void SimulatedPedal::handleBootloader()
{
    using Kind = BootFault::Kind;
    using Step = BootFault::Step;
    const auto addressFrame = [this](quint32 *address) {
        quint8 x = 0;
        for (int i = 0; i < 4; ++i)
            x ^= quint8(m_in[i]);
        *address = be32(m_in, 0);
        return x == quint8(m_in[4]);
    };
    const auto nack = [this] { answer(QByteArray(1, char(Nack)), 0); };
    // Answers an acknowledge after workUs unless a fault at this step says otherwise.
    const auto ackUnlessFault = [this, &nack](Kind fault, int workUs = 0) {
        if (fault == Kind::Nack)
            nack();
        else if (fault == Kind::None)
            bootAnswer(QByteArray(1, char(Ack)), workUs);
        return fault == Kind::None;
    };
    switch (m_boot) {
    case Boot::Command: {
        // 0x7F synchronises a bootloader fresh from a reset: it measures the line's speed on it
        // and answers nothing before it, so whatever comes first (Get, Get Version, a message for
        // the running firmware) is ignored. Once synchronised, 0x7F is the first byte of a
        // command like any other and waits for its complement: 7F 7F is refused.
        if (!m_synced) {
            const qsizetype sync = m_in.indexOf(char(0x7F));
            if (sync != 0) {
                complete(int(sync < 0 ? m_in.size() : sync)); // recorded as it came, unanswered
                return;
            }
            complete(1);
            const Kind fault = faultAt(Step::Sync);
            m_synced = fault != Kind::Silent && fault != Kind::Unplug; // silence: the byte was lost
            if (fault == Kind::Flip)
                answer(QByteArray(1, char(Ack ^ 0x01)), 0); // the acknowledge changed on the way
            else
                ackUnlessFault(fault);
            return;
        }
        if (m_in.size() < 2)
            return;
        const quint8 c = quint8(m_in[0]), nc = quint8(m_in[1]);
        complete(2);
        if (quint8(c ^ nc) != 0xFF) {
            nack();
            return;
        }
        switch (c) {
        case 0x00: bootAnswer(QByteArray::fromHex("7907220001021121314379")); break;
        case 0x01: bootAnswer(QByteArray::fromHex("7922000079")); break;
        case 0x02: bootAnswer(QByteArray::fromHex("7901041079")); break;
        case 0x11: bootAnswer(QByteArray(1, char(Ack))); m_boot = Boot::ReadAddress; break;
        case 0x21: bootAnswer(QByteArray(1, char(Ack))); m_boot = Boot::GoAddress; break;
        case 0x31: bootAnswer(QByteArray(1, char(Ack))); m_boot = Boot::WriteAddress; break;
        case 0x43: bootAnswer(QByteArray(1, char(Ack))); m_boot = Boot::EraseArg; break;
        default: nack(); break;
        }
        return;
    }
    case Boot::WriteAddress:
    case Boot::GoAddress:
    case Boot::ReadAddress: {
        if (m_in.size() < 5)
            return;
        quint32 address = 0;
        const bool ok = addressFrame(&address);
        complete(5);
        const bool inFlash = address >= FlashBase && address < FlashBase + quint32(state.flash.size());
        if (!ok || !inFlash) {
            nack();
            m_boot = Boot::Command;
            return;
        }
        m_bootAddress = address;
        if (m_boot == Boot::GoAddress) {
            m_boot = Boot::Command;
            if (ackUnlessFault(faultAt(Step::Go)))
                startFirmware();
            return;
        }
        bootAnswer(QByteArray(1, char(Ack)));
        m_boot = m_boot == Boot::WriteAddress ? Boot::WriteCount : Boot::ReadCount;
        return;
    }
    case Boot::WriteCount:
        m_writeCount = quint8(m_in[0]) + 1;
        m_boot = Boot::WriteData;
        [[fallthrough]];
    case Boot::WriteData: {
        if (m_in.size() < m_writeCount + 2)
            return;
        quint8 x = quint8(m_in[0]);
        for (int i = 0; i < m_writeCount; ++i)
            x ^= quint8(m_in[1 + i]);
        const QByteArray data = m_in.mid(1, m_writeCount);
        const bool ok = x == quint8(m_in[1 + m_writeCount]);
        complete(m_writeCount + 2);
        m_boot = Boot::Command;
        const qint64 offset = qint64(m_bootAddress) - FlashBase;
        const Kind fault = offset == 0x1FC00 ? faultAt(Step::Record)
                           : offset % 256 == 0 ? faultAt(Step::Block, int(offset / 256))
                                               : Kind::None;
        // Whole words only, into erased bytes only, inside the flash.
        bool erased = true;
        for (int i = 0; i < data.size() && offset + i < state.flash.size(); ++i)
            erased = erased && quint8(state.flash[offset + i]) == 0xFF;
        if (!ok || data.size() % 4 || !erased || offset + data.size() > state.flash.size()) {
            nack();
            return;
        }
        if (fault != Kind::None && fault != Kind::Flip) {
            ackUnlessFault(fault);
            return;
        }
        QByteArray kept = data;
        if (fault == Kind::Flip)
            kept[kept.size() - 1] = char(quint8(kept[kept.size() - 1]) ^ 0x01); // for the record: its number
        state.flash.replace(offset, kept.size(), kept);
        m_flashWritten = true;
        bootAnswer(QByteArray(1, char(Ack)), int(data.size() / 2) * halfWordProgramUs);
        return;
    }
    case Boot::ReadCount: {
        if (m_in.size() < 2)
            return;
        const int n = quint8(m_in[0]) + 1;
        const bool ok = quint8(m_in[0] ^ m_in[1]) == 0xFF;
        complete(2);
        m_boot = Boot::Command;
        const qint64 offset = qint64(m_bootAddress) - FlashBase;
        if (!ok || offset + n > state.flash.size()) {
            nack();
            return;
        }
        const Kind fault = offset % 256 == 0 ? faultAt(Step::ReadBack, int(offset / 256)) : Kind::None;
        QByteArray read = state.flash.mid(offset, n);
        if (fault == Kind::Flip)
            read[n / 2] = char(quint8(read[n / 2]) ^ 0x01);
        if (fault == Kind::Nack)
            nack();
        else if (fault == Kind::None || fault == Kind::Flip)
            bootAnswer(QByteArray(1, char(Ack)) + read);
        return;
    }
    case Boot::EraseArg: {
        if (m_in.size() < 2)
            return;
        if (quint8(m_in[0]) == 0xFF && quint8(m_in[1]) == 0x00) {
            complete(2);
            m_boot = Boot::Command;
            const Kind fault = faultAt(Step::Erase);
            if (fault == Kind::Unplug)
                return;
            state.flash.fill(char(0xFF)); // a NACK or silence after the erase began: erased anyway
            m_flashWritten = true;
            ackUnlessFault(fault, globalEraseMs * 1000);
            return;
        }
        m_eraseCount = quint8(m_in[0]) + 1;
        m_boot = Boot::EraseList;
        [[fallthrough]];
    }
    case Boot::EraseList: {
        if (m_in.size() < 1 + m_eraseCount + 1)
            return;
        quint8 x = quint8(m_in[0]);
        for (int i = 0; i < m_eraseCount; ++i)
            x ^= quint8(m_in[1 + i]);
        const QByteArray list = m_in.mid(1, m_eraseCount);
        const bool ok = x == quint8(m_in[1 + m_eraseCount]);
        complete(m_eraseCount + 2);
        m_boot = Boot::Command;
        if (!ok) {
            nack();
            return;
        }
        for (char page : list) {
            const int at = quint8(page) * 1024;
            if (at + 1024 <= state.flash.size())
                state.flash.replace(at, 1024, QByteArray(1024, char(0xFF)));
        }
        m_flashWritten = true;
        bootAnswer(QByteArray(1, char(Ack)), int(list.size()) * pageEraseMs * 1000);
        return;
    }
    }
}
