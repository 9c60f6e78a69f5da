#pragma once
// The device information answer, decoded: everything the pedal reports about itself and its
// settings. This is the one place where answer positions are read. An answer that holds fewer
// than its 106 values decodes to nothing: a setting the pedal did not report is unknown, never
// zero.

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

struct DeviceInformation {
    static constexpr int Values = 106;
    static constexpr int ParameterCount = 20;

    quint8 firmware = 0;               // position 0
    quint8 algorithmHigh = 0;          // positions 1 and 2: the algorithm number in BCD
    quint8 algorithmLow = 0;
    quint8 effect = 0;                 // position 3, BCD
    quint8 footswitchMode = 0;         // position 4
    quint8 tuning = 0;                 // position 5
    quint8 semitoneVariation = 0;      // position 6, two's complement
    std::array<quint8, 5> assignFlags{};      // positions 7..11: Control I..IV, Remote Footswitch
    std::array<quint16, 5> assignAddresses{}; // positions 12..21, big-endian
    quint8 bypass = 0;                 // position 22
    quint8 bypassStore = 0;            // position 23
    quint8 instrumentRange = 0;        // position 24
    quint8 midiChannel = 0;            // position 25
    std::array<quint32, ParameterCount> parameterWords{}; // positions 26..105, big-endian

    // The values of a complete answer; nothing for a shorter one.
    static std::optional<DeviceInformation> fromValues(const QByteArray &values);

    // The texts the editor shows and compares: "15", "0015", "00".
    QString firmwareText() const { return QString::number(firmware); }
    QString algorithmText() const;
    QString effectText() const;
    // The BCD texts read as decimal numbers; false when a digit is not decimal.
    bool algorithmNumber(int *number) const;
    bool effectNumber(int *number) const;
};
