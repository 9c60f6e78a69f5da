#pragma once
// The editor's words for what the core says in values: the next steps, named by the editor's
// menus and buttons, and its fixed texts (message boxes and questions) as it shows them. The
// editor's prompts (WidgetPrompts) speak with them; so do the tests' prompts that stand in for it.
// Plain QtCore, so that a test of the core alone can read what the editor would show.

#include "support/Prompts.h"

#include <QString>

namespace EditorWords {
QString step(Prompts::NextStep step);
// number: the firmware number the text names, where it names one.
QString fixed(Prompts::Fixed what, int number = -1);
// The question after the fact that no backup could be made.
QString goOnWithoutBackup(const QString &fact);
} // namespace EditorWords
