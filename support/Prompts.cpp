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

Prompts::Choice ImmediatePrompts::saveOrDiscard(const QString &text, const QString &saveName)
{
    return question(text + QStringLiteral("\r\n\r\nYes: %1 first. No: nothing changes.").arg(saveName)) ? Choice::Save
                                                                                                        : Choice::Cancel;
}

void Prompts::openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer)
{
    auto yes = Reply<bool>::make();
    yes->whenGiven([yes = yes.get(), answer] { answer->give(*yes->value() ? Choice::Save : Choice::Cancel); });
    openQuestion(text + QStringLiteral("\r\n\r\nYes: %1 first. No: nothing changes.").arg(saveName), yes);
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

void ScriptedPrompts::openFixedQuestion(Fixed what, const QString &editorText, Reply<bool>::Ptr answer)
{
    if (holdQuestions)
        openQuestion(editorText, std::move(answer));
    else
        ImmediatePrompts::openFixedQuestion(what, editorText, std::move(answer));
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

void ImmediatePrompts::fixedMessage(Fixed, const QString &editorText, int) { message(editorText); }

bool ImmediatePrompts::fixedQuestion(Fixed, const QString &editorText) { return question(editorText); }

void Prompts::openFixedQuestion(Fixed, const QString &editorText, Reply<bool>::Ptr answer)
{
    openQuestion(editorText, std::move(answer));
}

void Prompts::openFixedMessage(Fixed, const QString &editorText, int, Reply<bool>::Ptr closed)
{
    openMessage(editorText, std::move(closed));
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
    co_return co_await answerOf<bool>(answer);
}

Task<bool> Prompts::askFixed(Fixed what, QString editorText)
{
    auto answer = Reply<bool>::make();
    openFixedQuestion(what, editorText, answer);
    co_return co_await answerOf<bool>(answer);
}

Task<> Prompts::tell(QString text)
{
    auto closed = Reply<bool>::make();
    openMessage(text, closed);
    co_await answerOf<bool>(closed);
}

Task<> Prompts::tellFixed(Fixed what, QString editorText, int number)
{
    auto closed = Reply<bool>::make();
    openFixedMessage(what, editorText, number, closed);
    co_await answerOf<bool>(closed);
}

void Prompts::show(const QString &text) { openMessage(text, Reply<bool>::make()); }

Task<Prompts::Choice> Prompts::askSaveOrDiscard(QString text, QString saveName)
{
    auto answer = Reply<Choice>::make();
    openSaveOrDiscard(text, saveName, answer);
    co_return co_await answerOf<Choice>(answer);
}

Task<bool> Prompts::askGoOnWithoutBackup(QString text)
{
    auto answer = Reply<bool>::make();
    openGoOnWithoutBackup(text, answer);
    co_return co_await answerOf<bool>(answer);
}

Task<QString> Prompts::askFileToOpen(QString title, QString filter, QString folder)
{
    auto chosen = Reply<QString>::make();
    openFileDialog({false, title, filter, folder, QString()}, chosen);
    co_return co_await answerOf<QString>(chosen);
}

Task<QString> Prompts::askFileToSave(QString title, QString filter, QString folder, QString defaultSuffix)
{
    auto chosen = Reply<QString>::make();
    openFileDialog({true, title, filter, folder, defaultSuffix}, chosen);
    co_return co_await answerOf<QString>(chosen);
}
