#include "device/PedalMessages.h"

#include "device/HexCodec.h"

using HexCodec::hexNumber;

namespace PedalMessages {

QString parameterWrite(quint16 address, quint32 word)
{
    return QStringLiteral("01") + hexNumber(address, 4) + hexNumber(word, 8);
}

QString bypass(bool on) { return on ? QStringLiteral("0D01") : QStringLiteral("0D00"); }

QString footswitch(bool shortChangePreset, bool longBypass)
{
    return QStringLiteral("08") + (shortChangePreset ? QStringLiteral("01") : QStringLiteral("00")) +
           (longBypass ? QStringLiteral("01") : QStringLiteral("00"));
}

QString tuning(int tuningIndex, int semitones)
{
    return QStringLiteral("09") + hexNumber(quint8(tuningIndex), 2) + hexNumber(quint8(qint8(semitones)), 2);
}

QString noteFilters(int first, int second)
{
    return QStringLiteral("09") + hexNumber(quint8(first), 2) + hexNumber(quint8(second), 2);
}

QString midiChannel(int item) { return QStringLiteral("07") + hexNumber(quint8(item), 2); }

QString deviceInformationRequest() { return QStringLiteral("0200"); }

QString enterBootloader() { return QStringLiteral("0500010203040506"); }

QString tuningData(const QString &tableHex) { return QStringLiteral("0E") + tableHex; }

QString eraseMemory(const QString &address) { return QStringLiteral("0B") + address + QStringLiteral("000000"); }

QString readMemory(const QString &address) { return QStringLiteral("0C") + address + QStringLiteral("00000000"); }

QString consoleParameterWrite(const QString &address, const QString &data) { return QStringLiteral("01") + address + data; }

QString storeSettings(const std::array<quint32, 10> &values)
{
    QString text = QStringLiteral("03");
    for (quint32 v : values)
        text += hexNumber(v, 8);
    return text;
}

QString assign(const std::array<int, 4> &controlAddresses, int remoteItem)
{
    QString flags = QStringLiteral("04");
    QString addresses;
    for (int a : controlAddresses) {
        flags += a >= 0 ? QStringLiteral("01") : QStringLiteral("00");
        addresses += a >= 0 ? hexNumber(a, 4) : QStringLiteral("FFFF");
    }
    flags += remoteItem > 0 ? QStringLiteral("01") : QStringLiteral("00");
    const QString remote = remoteItem == 1   ? hexNumber(RemoteBypassCode, 4)
                           : remoteItem == 2 ? hexNumber(RemotePresetCode, 4)
                                             : QStringLiteral("FFFF");
    return flags + addresses + remote;
}

QString instrumentRange(quint8 range, quint8 *checksum)
{
    QString text = QStringLiteral("0F") + hexNumber(range, 2) +
                   (range == 0xFF ? QStringLiteral("0102030405") : QStringLiteral("0203040506"));
    const quint8 c = HexCodec::xorChecksum(text, 7);
    if (checksum)
        *checksum = c;
    return text + hexNumber(c, 2);
}

QString storeBypassStatus(bool store) { return store ? QStringLiteral("1001") : QStringLiteral("10FF"); }

QString rangeLimit(bool on) { return on ? QStringLiteral("1101") : QStringLiteral("11FF"); }

} // namespace PedalMessages
