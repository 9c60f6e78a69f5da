#include "support/Prompts.h"

bool ScriptedPrompts::question(const QString &text)
{
    questions << text;
    if (onQuestion)
        onQuestion(text);
    if (answers.empty())
        return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

Prompts::Choice Prompts::saveOrDiscard(const QString &text, const QString &saveName)
{
    return question(text + QStringLiteral("\r\n\r\nYes: %1 first. No: nothing changes.").arg(saveName)) ? Choice::Save
                                                                                                        : Choice::Cancel;
}

Prompts::Choice ScriptedPrompts::saveOrDiscard(const QString &text, const QString &)
{
    questions << text;
    if (choices.empty())
        return Choice::Cancel;
    const Choice c = choices.front();
    choices.pop_front();
    return c;
}

bool ScriptedPrompts::goOnWithoutBackup(const QString &fact) { return question(fact); }

QString ScriptedPrompts::openFile(const QString &, const QString &, const QString &)
{
    if (files.empty())
        return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QString ScriptedPrompts::saveFile(const QString &, const QString &, const QString &, const QString &)
{
    return openFile({}, {}, {});
}

QString Prompts::words(NextStep step) const
{
    switch (step) {
    case NextStep::Relink:
    case NextStep::RelinkAgain: return QStringLiteral("link it again");
    case NextStep::AskAgain: return QStringLiteral("ask it for its settings again");
    case NextStep::UseUpgradeMenu: return QStringLiteral("Upgrade its firmware, start the firmware in its flash");
    case NextStep::UpgradeAgain: return QStringLiteral("Try the firmware upgrade again.");
    case NextStep::UpgradeFromBootloader: return QStringLiteral("then try the firmware upgrade again.");
    case NextStep::GoAgain: return QStringLiteral("start the firmware in its flash again");
    case NextStep::SaveAgain: return QStringLiteral("store the assignable parameters again");
    case NextStep::ReadReportAgain: return QStringLiteral("read its values again");
    case NextStep::EnterBootloader: return QStringLiteral("ask it to enter its bootloader first");
    case NextStep::StayInBootloader: return QStringLiteral("No keeps the pedal in its bootloader, to try the upgrade again.");
    }
    return QString();
}

QString Prompts::words(Fixed what, int number) const
{
    switch (what) {
    case Fixed::HoldShift: return QStringLiteral("Is the pedal's SHIFT button held down?");
    case Fixed::ReleaseShift: return QStringLiteral("Release the pedal's SHIFT button.");
    case Fixed::FirmwareUpgradeRequired:
        return QStringLiteral("The pedal's firmware is older than firmware %1, which is needed.").arg(number);
    case Fixed::LegacyUpgradeInstructions:
        return QStringLiteral("A pedal below firmware 9 cannot enter its bootloader on request: connect it while "
                              "holding SHIFT.");
    case Fixed::BootloaderConnectionFailed: return QStringLiteral("The pedal's bootloader did not answer.");
    case Fixed::UpgradeComplete: return QStringLiteral("The firmware upgrade is complete; the pedal restarts.");
    case Fixed::UpgradeCompleteUnread:
        return QStringLiteral("The firmware was written and acknowledged, and not read back; the pedal restarts.");
    case Fixed::PedalDisconnected:
        return QStringLiteral("The pedal was disconnected. Connect it again and ") + words(NextStep::Relink) +
               QLatin1Char('.');
    case Fixed::SaveParametersInfo:
        return QStringLiteral("The assignable parameters are stored in the pedal and kept there after firmware and "
                              "algorithm updates.");
    case Fixed::DefaultsNotSaved:
        return QStringLiteral("The assignable parameters are set to their defaults; the pedal keeps them only once "
                              "they are stored.");
    case Fixed::EraseSettingsWarning:
        return QStringLiteral("Delete all the pedal's settings? The algorithm and every other setting (presets, "
                              "assignments) are deleted.");
    case Fixed::ClosingUpgrade: return QStringLiteral("closing the firmware upgrade");
    }
    return QString();
}

void Prompts::fixedMessage(Fixed what, int number) { message(words(what, number)); }

bool Prompts::fixedQuestion(Fixed what) { return question(words(what)); }
