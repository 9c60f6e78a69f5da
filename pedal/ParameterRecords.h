#pragma once
// The twenty parameter records of the effect: ten standard parameters (the pedal's own knobs
// and switches) and ten assignable ones, each a DSP address and a 32-bit data word.

#include <QString>
#include <QStringList>
#include <array>

class standard_parameter {
public:
    standard_parameter(const QString &name, quint16 address_, quint8 numOfAddresses)
        : num_of_addresses(numOfAddresses), parameter_name(name), address(address_)
    {
    }
    bool is_assigned = false;
    quint8 num_of_addresses = 1;
    QString parameter_name;
    quint8 parameter_type = 0;
    bool control_type = false;
    quint32 value = 0;
    quint16 address = 0;
};

class assignable_parameter {
public:
    assignable_parameter(const QString &name, quint16 address_, bool isAssigned)
        : address(address_), is_assigned(isAssigned), parameter_name(name)
    {
    }
    quint16 address = 0xFFFF;
    bool is_assigned = false;
    QString parameter_name;
    bool control_type = false;
    quint32 value = 0;
};

// All twenty, with a reference per parameter and access in catalogue order.
struct EffectParameters {
    EffectParameters();

    standard_parameter Dry, SubMix, Minus1Oct, Minus2Oct, Wave, LowPass, HighPass, FirstHarmonic, Split, Range;
    assignable_parameter InputLevel, FirstHarmonicPitch, WaveClip, DominantNotesCut, HighNotesCut, DryHPF,
        LimitRangeUP, NoiseGateStatus, NoiseGateThreshold, Attack;

    // Catalogue position i (0..19).
    const QString &name(int i) const;
    quint16 &address(int i);
    quint32 &value(int i);
    bool isAssignable(int i) const { return i >= 10; }
    // The ten assignable records in the order of the store-settings message.
    std::array<assignable_parameter *, 10> assignables();

    // Copies the address words of an algorithm image's first line (hex text) into the records.
    // Words the line does not fully hold keep their address; false when any was missing or bad.
    bool loadParameterAddresses(const QString &headerLine);

private:
    std::array<standard_parameter *, 10> m_standard;
    std::array<assignable_parameter *, 10> m_assignable;
};
