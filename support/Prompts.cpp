#include "support/Prompts.h"

bool ScriptedPrompts::question(const QString &text)
{
    questions << text;
    if (answers.empty())
        return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
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
