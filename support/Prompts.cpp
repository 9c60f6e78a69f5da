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

bool ScriptedPrompts::goOnWithoutBackup(const QString &text) { return question(text); }

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
    case NextStep::Relink: return QStringLiteral("choose Scan And Link");
    case NextStep::RelinkAgain: return QStringLiteral("choose Scan And Link again");
    case NextStep::AskAgain: return QStringLiteral("press Request");
    case NextStep::UseUpgradeMenu: return QStringLiteral("Use the Firmware Upgrade menu");
    case NextStep::UpgradeAgain: return QStringLiteral("Choose Upgrade Firmware to try again.");
    case NextStep::UpgradeFromBootloader:
        return QStringLiteral("turn Upgrade Mode on in the Firmware Upgrade menu, choose Link, then Upgrade Firmware.");
    case NextStep::GoAgain: return QStringLiteral("choose Upgrade Firmware to try again");
    case NextStep::ReleaseShift: return QStringLiteral("Release SHIFT button and click OK.");
    case NextStep::UpgradeComplete:
    case NextStep::UpgradeCompleteUnread: return QStringLiteral("Firmware Upgrade Complete, device will now restart");
    }
    return QString();
}

void Prompts::fixedMessage(Fixed, const QString &editorText, int) { message(editorText); }

bool Prompts::fixedQuestion(Fixed, const QString &editorText) { return question(editorText); }
