#include "device/PedalMessages.h"

#include "device/HexCodec.h"

namespace {
// Appends value's low `bytes` bytes, most significant first.
void appendNumber(QByteArray &message, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        message.append(char(quint8(value >> (8 * i))));
}

QByteArray message(std::initializer_list<quint8> bytes)
{
    QByteArray m;
    for (quint8 b : bytes)
        m.append(char(b));
    return m;
}
} // namespace

namespace PedalMessages {

QByteArray parameterWrite(quint16 address, quint32 word)
{
    QByteArray m = message({0x01});
    appendNumber(m, address, 2);
    appendNumber(m, word, 4);
    return m;
}

QByteArray bypass(bool on) { return message({0x0D, quint8(on ? 0x01 : 0x00)}); }

QByteArray footswitch(bool shortChangePreset, bool longBypass)
{
    return message({0x08, quint8(shortChangePreset ? 0x01 : 0x00), quint8(longBypass ? 0x01 : 0x00)});
}

QByteArray tuning(int tuningIndex, int semitones) { return message({0x09, quint8(tuningIndex), quint8(qint8(semitones))}); }

QByteArray noteFilters(int first, int second) { return message({0x09, quint8(first), quint8(second)}); }

QByteArray midiChannel(int item) { return message({0x07, quint8(item)}); }

QByteArray deviceInformationRequest() { return message({0x02, 0x00}); }

QByteArray enterBootloader() { return message({0x05, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}); }

QByteArray tuningData(const QString &tableHex) { return message({0x0E}) + HexCodec::hexTextToRaw(tableHex); }

QByteArray eraseMemory(const QString &address)
{
    return message({0x0B}) + HexCodec::hexTextToRaw(address) + message({0x00, 0x00, 0x00});
}

QByteArray readMemory(const QString &address)
{
    return message({0x0C}) + HexCodec::hexTextToRaw(address) + message({0x00, 0x00, 0x00, 0x00});
}

QByteArray consoleParameterWrite(const QString &address, const QString &data)
{
    return message({0x01}) + HexCodec::hexTextToRaw(address) + HexCodec::hexTextToRaw(data);
}

QByteArray storeSettings(const std::array<quint32, 10> &values)
{
    QByteArray m = message({0x03});
    for (quint32 v : values)
        appendNumber(m, v, 4);
    return m;
}

QByteArray assign(const std::array<int, 4> &controlAddresses, int remoteItem)
{
    QByteArray flags = message({0x04});
    QByteArray addresses;
    for (int a : controlAddresses) {
        flags.append(char(a >= 0 ? 0x01 : 0x00));
        appendNumber(addresses, a >= 0 ? quint32(a) : 0xFFFF, 2);
    }
    flags.append(char(remoteItem > 0 ? 0x01 : 0x00));
    QByteArray remote;
    appendNumber(remote, remoteItem == 1 ? RemoteBypassCode : remoteItem == 2 ? RemotePresetCode : 0xFFFF, 2);
    return flags + addresses + remote;
}

QByteArray instrumentRange(quint8 range, quint8 *checksum)
{
    const QByteArray m = message({0x0F, range}) + (range == 0xFF ? message({0x01, 0x02, 0x03, 0x04, 0x05})
                                                                  : message({0x02, 0x03, 0x04, 0x05, 0x06}));
    quint8 c = 0;
    for (char b : m)
        c ^= quint8(b);
    if (checksum)
        *checksum = c;
    return m + char(c);
}

QByteArray storeBypassStatus(bool store) { return message({0x10, quint8(store ? 0x01 : 0xFF)}); }

QByteArray rangeLimit(bool on) { return message({0x11, quint8(on ? 0x01 : 0xFF)}); }

} // namespace PedalMessages
