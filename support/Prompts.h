#pragma once
// The seam between the editor's logic and the person: every message box, question, file
// dialog and hand-over to the desktop goes through Prompts, so tests can answer questions
// and pick files.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>

class Prompts {
public:
    // What the person does next, worded by each view for its own user: the editor names its menus
    // and buttons, the command-line tool its commands.
    enum class NextStep {
        Relink,          // "choose Scan And Link"
        RelinkAgain,     // "choose Scan And Link again"
        AskAgain,        // "press Request"
        UseUpgradeMenu,  // "Use the Firmware Upgrade menu"
        UpgradeAgain,    // "Choose Upgrade Firmware to try again."
        UpgradeFromBootloader, // after "...while holding SHIFT, ": how to upgrade from the bootloader
        GoAgain,         // "choose Upgrade Firmware to try again" (the pedal may wait in its bootloader)
        ReleaseShift,    // the message after the bootloader answered
        UpgradeComplete, // the message at the end of an upgrade
        UpgradeCompleteUnread, // the same, when the flash was not read back (asked for no read-back)
    };
    // Texts the editor shows in fixed words of its own (its message boxes and questions). A view
    // with words of its own (the command-line tool) takes the value and words it for its user,
    // or leaves it to the command that knows more about it; number: the firmware number the
    // text names, where it names one.
    enum class Fixed {
        HoldShift,                  // "Keep SHIFT button on the pedal pressed and click YES." (a question)
        FirmwareUpgradeRequired,    // "A firmware upgrade is required. Upgrade to Firmware N"
        LegacyUpgradeInstructions,  // the editor's steps for a pedal below firmware 9
        BootloaderConnectionFailed, // "Connection to bootloader failed"
    };
    virtual ~Prompts() = default;
    // The editor's words for a next step; the command-line tool has its own.
    virtual QString words(NextStep step) const;
    // A fixed text: the editor shows editorText as it is.
    virtual void fixedMessage(Fixed what, const QString &editorText, int number = -1);
    virtual bool fixedQuestion(Fixed what, const QString &editorText);
    // A plain message box with a fixed text.
    virtual void message(const QString &text) = 0;
    // A message that must not hold up a command under way (a command refused while another one
    // runs): shown without waiting for the person to close it.
    virtual void notice(const QString &text) { message(text); }
    // A yes/no question; true for Yes.
    virtual bool question(const QString &text) = 0;
    // Before something that would lose changes: save them first (saveName names the command that
    // does, e.g. "Save Parameters"), go on without them, or stay where things are.
    enum class Choice { Save, Discard, Cancel };
    // Cancel is the default and what Escape chooses. A view without a three-way question asks it
    // as a yes/no question: Yes saves, No cancels, so nothing is lost without a word.
    virtual Choice saveOrDiscard(const QString &text, const QString &saveName);
    // Whether to go on with a command that changes the pedal although no backup of its
    // settings could be made: its own question, No unless the person chooses Yes.
    virtual bool goOnWithoutBackup(const QString &text) = 0;
    // Open and save dialogs; an empty result means the user cancelled.
    virtual QString openFile(const QString &title, const QString &filter, const QString &folder) = 0;
    virtual QString saveFile(const QString &title, const QString &filter, const QString &folder,
                             const QString &defaultSuffix) = 0;
    // Hands a web address or a folder to the desktop's default handler; failures are silent.
    virtual void openExternal(const QUrl &url) = 0;
};

// Answers prompts from a script and records what was shown.
class ScriptedPrompts : public Prompts {
public:
    void message(const QString &text) override { messages << text; }
    bool question(const QString &text) override;
    // Recorded with the questions; answered from choices.
    Choice saveOrDiscard(const QString &text, const QString &saveName) override;
    // Recorded with the questions and answered from the same script.
    bool goOnWithoutBackup(const QString &text) override;
    QString openFile(const QString &, const QString &, const QString &) override;
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override;
    void openExternal(const QUrl &url) override { opened << url; }

    QStringList messages;
    QList<QUrl> opened;
    QStringList questions;
    std::deque<bool> answers;   // next answers to questions; Yes when empty
    std::deque<Choice> choices; // next answers to save-or-discard questions; Cancel when empty
    std::deque<QString> files;  // next file dialog results; cancel when empty
    std::function<void(const QString &)> onQuestion; // called as a question is asked, before its answer
};
