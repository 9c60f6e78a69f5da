#pragma once
// The messages of the effect's settings, as bytes, byte for byte as the pedal takes them.

#include <QByteArray>
#include <QString>
#include <array>

namespace PedalMessages {
// 01, address, data word: the 7-byte parameter write.
QByteArray parameterWrite(quint16 address, quint32 word);
// 0D 01 / 0D 00.
QByteArray bypass(bool on);
// 08, short press (00 Bypass, 01 Change Preset), long press (00 Change Preset, 01 Bypass).
QByteArray footswitch(bool shortChangePreset, bool longBypass);
// 09, tuning number, semitone variation as a two's-complement byte.
QByteArray tuning(int tuningIndex, int semitones);
// 09, first and second note code (0xFF: none).
QByteArray noteFilters(int first, int second);
// 03 and the ten assignable data words.
QByteArray storeSettings(const std::array<quint32, 10> &values);
// 04, five flags, four control addresses (-1: "Not Assigned") and the remote footswitch code.
QByteArray assign(const std::array<int, 4> &controlAddresses, int remoteItem);
// 0F, range byte, five fixed bytes and the checksum. checksum receives the last byte.
QByteArray instrumentRange(quint8 range, quint8 *checksum = nullptr);
QByteArray storeBypassStatus(bool store);
QByteArray rangeLimit(bool on);
// 07 and the MIDI channel (0 OMNI, 1..16).
QByteArray midiChannel(int item);
// 02 00: the device information request.
QByteArray deviceInformationRequest();
// 05 00 01 02 03 04 05 06: restart into the bootloader (the pedal's SHIFT held).
QByteArray enterBootloader();
// 0E and the tuning table, given as its hex text.
QByteArray tuningData(const QString &tableHex);
// The settings memory at an I2C address given as two hex digits ("50", "51"): 0B address 00
// 0000 erases it, 0C address 0000 0000 asks for its 16,384 bytes, 01 address data writes one of
// the pedal's parameters from the console (address and data as the console's hex text).
QByteArray eraseMemory(const QString &address);
QByteArray readMemory(const QString &address);
QByteArray consoleParameterWrite(const QString &address, const QString &data);

constexpr quint16 RemoteBypassCode = 0xFFFE;
constexpr quint16 RemotePresetCode = 0xFFFD;
constexpr quint32 WaveOnValue = 0x400000;
constexpr quint32 WaveOffValue = 0x600000;
constexpr quint32 AttackSlowValue = 0x800;
constexpr quint32 AttackFastValue = 0x8000;
} // namespace PedalMessages
