#pragma once
// The tests' scripted prompts in the editor's words: what a test reads of a next step, a fixed
// text or the question without a backup is what the editor would show.

#include "support/Prompts.h"
#include "windows/EditorWords.h"

class EditorScriptedPrompts : public ScriptedPrompts {
public:
    QString words(NextStep step) const override { return EditorWords::step(step); }
    QString words(Fixed what, int number = -1) const override { return EditorWords::fixed(what, number); }
    bool goOnWithoutBackup(const QString &fact) override { return question(EditorWords::goOnWithoutBackup(fact)); }
};
