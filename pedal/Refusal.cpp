#include "pedal/Refusal.h"

#include "support/Prompts.h"

namespace {
// Typed input echoed in a refusal, cut to a readable length.
QString shown(const QString &text) { return text.size() <= 20 ? text : text.left(20) + QStringLiteral("..."); }
} // namespace

Refusal Refusal::tooOld(Reason r, const QString &version, int needed)
{
    Refusal refusal(r);
    refusal.version = version;
    refusal.needed = needed;
    return refusal;
}

Refusal Refusal::notKnown(Reason r, const QString &why)
{
    Refusal refusal(r);
    refusal.why = why;
    return refusal;
}

Refusal Refusal::typedInput(Reason r, const QString &typed, const QString &typedData)
{
    Refusal refusal(r);
    refusal.typed = typed;
    refusal.typedData = typedData;
    return refusal;
}

QString Refusal::text(const Prompts &prompts) const
{
    switch (reason) {
    case Reason::None: return QString();
    case Reason::Busy: return QStringLiteral("the pedal is busy with another exchange");
    case Reason::UpgradeUnderWay: return QStringLiteral("a firmware upgrade is under way");
    case Reason::NotLinked: return QStringLiteral("no pedal is linked");
    case Reason::BootloaderLinked: return QStringLiteral("the pedal is linked to its bootloader for a firmware upgrade");
    case Reason::InBootloader: return QStringLiteral("the pedal is in its bootloader");
    case Reason::NotInBootloader:
        return QStringLiteral("the pedal is not in its bootloader; ") + prompts.words(Prompts::NextStep::EnterBootloader);
    case Reason::FirmwareTooOld:
        return QStringLiteral("the pedal's firmware %1 is older than firmware %2, which this editor needs")
            .arg(version)
            .arg(needed);
    case Reason::AlgorithmTooOld:
        return QStringLiteral("the pedal runs algorithm %1, older than %2, which this editor edits")
            .arg(version, QStringLiteral("%1").arg(needed, 4, 10, QLatin1Char('0')));
    case Reason::SettingsUnknown: return QStringLiteral("the pedal's settings are not known: ") + why;
    case Reason::AddressesUnknown: return QStringLiteral("the parameter addresses are not known: ") + why;
    case Reason::AddressNotHex: return QStringLiteral("the I2C address '%1' is not two hex digits").arg(shown(typed));
    case Reason::WriteNotHex:
        return QStringLiteral("the address must be four hex digits and the data eight (they hold '%1' and '%2'); "
                              "nothing was sent")
            .arg(shown(typed), shown(typedData));
    case Reason::LargeChange: return QStringLiteral("the message changes the pedal in a large way");
    }
    return QString();
}
