#include "windows/EditorWords.h"

#include <QStringList>

namespace EditorWords {
QString step(Prompts::NextStep step)
{
    using Step = Prompts::NextStep;
    switch (step) {
    case Step::Relink: return QStringLiteral("choose Scan And Link");
    case Step::RelinkAgain: return QStringLiteral("choose Scan And Link again");
    case Step::AskAgain: return QStringLiteral("press Request");
    case Step::UseUpgradeMenu: return QStringLiteral("Use the Firmware Upgrade menu");
    case Step::UpgradeAgain: return QStringLiteral("Choose Upgrade Firmware to try again.");
    case Step::UpgradeFromBootloader:
        return QStringLiteral("turn Upgrade Mode on in the Firmware Upgrade menu, choose Link, then Upgrade Firmware.");
    case Step::GoAgain: return QStringLiteral("choose Upgrade Firmware to try again");
    case Step::SaveAgain: return QStringLiteral("choose Save Parameters again");
    case Step::ReadReportAgain: return QStringLiteral("press Refresh");
    case Step::EnterBootloader: return QStringLiteral("turn Upgrade Mode on in the Firmware Upgrade menu first");
    case Step::StayInBootloader: return QStringLiteral("Choose No to stay in the bootloader and try the upgrade again.");
    }
    return QString();
}

QString fixed(Prompts::Fixed what, int number)
{
    using Fixed = Prompts::Fixed;
    switch (what) {
    case Fixed::HoldShift: return QStringLiteral("Keep SHIFT button on the pedal pressed and click YES.");
    case Fixed::ReleaseShift: return QStringLiteral("Release SHIFT button and click OK.");
    case Fixed::FirmwareUpgradeRequired:
        return QStringLiteral("A firmware upgrade is required. Upgrade to Firmware %1").arg(number);
    case Fixed::LegacyUpgradeInstructions:
        return QStringLiteral(
            "If current firmware is below 9 follow legacy firmware upgrade mode:\r\n"
            "1) close editor application and disconnect pedal from USB\r\n"
            "2) hold shift button while connecting pedal to USB\r\n"
            "3) start application, check Firmware Upgrade Mode in Firmware Upgrade menu\r\n"
            "4) clink Link under Connection menu\r\n"
            "5) go to Firmware Upgrade menu again and select Firmware Upgrade\r\n"
            "\r\n"
            "If current firmware is 9 or above go to Firmware Upgrade menu and follow instructions.");
    case Fixed::BootloaderConnectionFailed: return QStringLiteral("Connection to bootloader failed");
    case Fixed::UpgradeComplete:
    case Fixed::UpgradeCompleteUnread: return QStringLiteral("Firmware Upgrade Complete, device will now restart");
    case Fixed::PedalDisconnected:
        return QStringLiteral("The pedal was disconnected. Connect it again and ") + step(Prompts::NextStep::Relink) +
               QLatin1Char('.');
    case Fixed::SaveParametersInfo:
        return QStringList{
            QStringLiteral("Permanently saves the current state of all assignable parameters to the pedal, regardless "
                           "of whether they are currently assigned."),
            QStringLiteral("Assignable parameters are those not available as physical controls on the pedal (e.g., "
                           "Input Level, Dominant Notes Cut, etc.)."),
            QStringLiteral("Their saved state is preserved even after firmware or algorithm updates."),
            QString::fromUtf8("Example: you want to set a new Input Level, adjust the Input Level knob in the editor "
                              "and then click \u201CSave Parameters.\u201D"),
            QStringLiteral("Save Parameters is not related to presets, in this way saving preset from the pedal will "
                           "not erase Save Parameters settings."),
            QStringLiteral("Think of Save Parameters as a global preset.")}
            .join(QStringLiteral("\r\n"));
    case Fixed::DefaultsNotSaved: return QStringLiteral("Click Save Parameters button to save the current status on pedal");
    case Fixed::EraseSettingsWarning:
        return QStringList{
            QStringLiteral("Are you sure you want to delete all settings?"),
            QStringLiteral("This action will delete the Quarnelo MK3 algorithm and any other settings like presets "
                           "and assignments"),
            QStringLiteral("Erase settings is suggested in the following cases:"),
            QStringLiteral("- the pedal is unresponsive/freezed after updates"),
            QStringLiteral("- you want to switch to the Kelmo X MultiEfx"),
            QStringLiteral("If you proceed with erasing you can always restore algorithm by:"),
            QStringLiteral("- uploading the Quarnelo MK3 algorithm once again from \"Upload Selected\" button"),
            QStringLiteral("- click Request"),
            QStringLiteral("- set tuning and assignments as desired"),
            QStringLiteral("- click Save Parameters, Set Tuning, Assign"),
        }
            .join(QStringLiteral("\r\n"));
    case Fixed::ClosingUpgrade: return QStringLiteral("closing the firmware upgrade window");
    }
    return QString();
}

QString goOnWithoutBackup(const QString &fact) { return fact + QStringLiteral(" Go on without a backup?"); }
} // namespace EditorWords
