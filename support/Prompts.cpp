#include "support/Prompts.h"

#include "support/Clock.h"

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

QString Prompts::saveOrDiscardAsYesNo(const QString &text, const QString &saveName)
{
    return text + QStringLiteral("\r\n\r\nYes: %1 first. No: nothing changes.").arg(saveName);
}

Prompts::Choice ImmediatePrompts::saveOrDiscard(const QString &text, const QString &saveName)
{
    return question(saveOrDiscardAsYesNo(text, saveName)) ? Choice::Save : Choice::Cancel;
}

void Prompts::openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer)
{
    auto yes = Reply<bool>::make();
    yes->whenGiven([yes = yes.get(), answer] { answer->give(*yes->value() ? Choice::Save : Choice::Cancel); });
    openQuestion(saveOrDiscardAsYesNo(text, saveName), yes);
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

void ScriptedPrompts::openQuestion(const QString &text, Reply<bool>::Ptr answer)
{
    if (!holdQuestions) {
        ImmediatePrompts::openQuestion(text, std::move(answer));
        return;
    }
    questions << text;
    if (onQuestion)
        onQuestion(text);
    m_held.push_back(std::move(answer));
}

void ScriptedPrompts::openFixedQuestion(Fixed what, Reply<bool>::Ptr answer)
{
    if (holdQuestions)
        openQuestion(words(what), std::move(answer));
    else
        ImmediatePrompts::openFixedQuestion(what, std::move(answer));
}

void ScriptedPrompts::answerHeld(bool yes)
{
    if (m_held.empty())
        return;
    const Reply<bool>::Ptr answer = m_held.front();
    m_held.pop_front();
    answer->give(yes);
}

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
    case Fixed::HoldShift: return QStringLiteral("Is SHIFT held down on the pedal?");
    case Fixed::ReleaseShift: return QStringLiteral("Release SHIFT on the pedal.");
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

void ImmediatePrompts::fixedMessage(Fixed what, int number) { message(words(what, number)); }

bool ImmediatePrompts::fixedQuestion(Fixed what) { return question(words(what)); }

void Prompts::openFixedQuestion(Fixed what, Reply<bool>::Ptr answer) { openQuestion(words(what), std::move(answer)); }

void Prompts::openFixedMessage(Fixed what, int number, Reply<bool>::Ptr closed)
{
    openMessage(words(what, number), std::move(closed));
}

template <typename T>
Task<T> Prompts::answerOf(typename Reply<T>::Ptr reply)
{
    if (reply->given() || !m_clock)
        co_return reply->value().value_or(T{}); // a view without a clock answers at once
    co_return co_await m_clock->reply<T>(reply);
}

Task<bool> Prompts::ask(QString text)
{
    auto answer = Reply<bool>::make();
    openQuestion(text, answer);
    return answerOf<bool>(answer);
}

Task<bool> Prompts::askFixed(Fixed what)
{
    auto answer = Reply<bool>::make();
    openFixedQuestion(what, answer);
    return answerOf<bool>(answer);
}

Task<> Prompts::tell(QString text)
{
    auto closed = Reply<bool>::make();
    openMessage(text, closed);
    co_await answerOf<bool>(closed);
}

Task<> Prompts::tellFixed(Fixed what, int number)
{
    auto closed = Reply<bool>::make();
    openFixedMessage(what, number, closed);
    co_await answerOf<bool>(closed);
}

void Prompts::show(const QString &text) { openMessage(text, Reply<bool>::make()); }

Task<Prompts::Choice> Prompts::askSaveOrDiscard(QString text, QString saveName)
{
    auto answer = Reply<Choice>::make();
    openSaveOrDiscard(text, saveName, answer);
    return answerOf<Choice>(answer);
}

Task<bool> Prompts::askGoOnWithoutBackup(QString fact)
{
    auto answer = Reply<bool>::make();
    openGoOnWithoutBackup(fact, answer);
    return answerOf<bool>(answer);
}

Task<QString> Prompts::askFileToOpen(QString title, QString filter, QString folder)
{
    auto chosen = Reply<QString>::make();
    openFileDialog({false, title, filter, folder, QString()}, chosen);
    return answerOf<QString>(chosen);
}

Task<QString> Prompts::askFileToSave(QString title, QString filter, QString folder, QString defaultSuffix)
{
    auto chosen = Reply<QString>::make();
    openFileDialog({true, title, filter, folder, defaultSuffix}, chosen);
    return answerOf<QString>(chosen);
}
