#pragma once
// Why the pedal service refuses a command, as a value: the reason and what its words need (the
// versions, why the settings are not known, the input that was refused). text() words it, once,
// for the log line "<what> refused: <reason>" and the message "<What> was refused: <reason>.";
// the one next step a reason names (how to get the pedal into its bootloader) is the view's.

#include <QString>

class Prompts;

struct Refusal {
    enum class Reason {
        None,             // not refused
        Busy,             // another exchange with the pedal is under way
        UpgradeUnderWay,  // a firmware upgrade is under way
        NotLinked,        // no pedal is linked
        BootloaderLinked, // the link is to the pedal's bootloader, for a firmware upgrade
        InBootloader,     // the pedal answered the request from its bootloader
        NotInBootloader,  // a firmware upgrade needs the pedal in its bootloader
        FirmwareTooOld,   // version: the pedal's firmware; needed: the firmware this editor needs
        AlgorithmTooOld,  // version: the pedal's algorithm; needed: the algorithm this editor edits
        SettingsUnknown,  // why: why the pedal's settings are not known
        AddressesUnknown, // why: why the parameter addresses are not known
        AddressNotHex,    // typed: an I2C address that is not two hex digits
        WriteNotHex,      // typed, typedData: a parameter write's address and data, not 4 and 8 hex digits
        LargeChange,      // a raw message that changes the pedal in a large way
    };
    Reason reason = Reason::None;
    QString version;
    int needed = -1;
    QString why;
    QString typed;
    QString typedData;

    Refusal() = default;
    Refusal(Reason r) : reason(r) {} // a reason with nothing more to say
    static Refusal tooOld(Reason r, const QString &version, int needed);
    static Refusal notKnown(Reason r, const QString &why);
    static Refusal typedInput(Reason r, const QString &typed, const QString &typedData = QString());

    // True when the command is refused.
    explicit operator bool() const { return reason != Reason::None; }
    // The reason in words; prompts words the next step a reason names.
    QString text(const Prompts &prompts) const;
};
