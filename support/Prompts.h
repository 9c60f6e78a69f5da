#pragma once
// The seam between the editor's logic and the person: every message box, question, file
// dialog and hand-over to the desktop goes through Prompts, so tests can answer questions
// and pick files.

#include <QString>
#include <QStringList>
#include <QUrl>
#ifndef Q_MOC_RUN
#include "support/Reply.h"
#include "support/Task.h"
#endif
#include <deque>
#include <functional>

class Clock;

class Prompts {
public:
    // What the person does next, worded by each view for its own user: the editor names its menus
    // and buttons, the command-line tool its commands. The core says only which step.
    enum class NextStep {
        Relink,                // link the pedal (after it was disconnected)
        RelinkAgain,           // link it again (the link could not be used)
        AskAgain,              // ask the pedal for its settings again
        UseUpgradeMenu,        // for a pedal waiting in its bootloader: upgrade, or start its firmware
        UpgradeAgain,          // a sentence: try the firmware upgrade again (the pedal waits in its bootloader)
        UpgradeFromBootloader, // after "...while holding SHIFT, ": how to upgrade from the bootloader
        GoAgain,               // start the firmware in the flash again (the pedal may wait in its bootloader)
        SaveAgain,             // store the assignable parameters again
        ReadReportAgain,       // read the pedal's values for the comparison again
        EnterBootloader,       // after "the pedal is not in its bootloader; ": how to get it there
        StayInBootloader,      // a sentence after a question to start the firmware: No keeps the bootloader
    };
    // Texts the editor shows in fixed words of its own (its message boxes and questions, and the
    // name of a refused close). A view words each for its user, or leaves it to the command that
    // knows more about it; number: the firmware number the text names, where it names one.
    enum class Fixed {
        HoldShift,                  // the question before the pedal is asked to enter its bootloader
        ReleaseShift,               // the message after the bootloader answered
        FirmwareUpgradeRequired,    // the pedal's firmware is older than firmware number
        LegacyUpgradeInstructions,  // how to upgrade a pedal below firmware 9
        BootloaderConnectionFailed, // the bootloader did not answer the request to enter it
        UpgradeComplete,            // the message at the end of an upgrade
        UpgradeCompleteUnread,      // the same, when the flash was not read back (asked for no read-back)
        PedalDisconnected,          // the pedal went away while it was linked
        SaveParametersInfo,         // what Save Parameters does
        DefaultsNotSaved,           // the assignable defaults are set but not stored in the pedal
        EraseSettingsWarning,       // the lines that open the question before Erase Settings
        ClosingUpgrade,             // the name of the close of the firmware upgrade, as a refusal names it
    };
    // Before something that would lose changes: save them first (saveName names the command that
    // does, e.g. "Save Parameters"), go on without them, or stay where things are.
    enum class Choice { Save, Discard, Cancel };

    virtual ~Prompts() = default;
    // The clock whose waits the questions are (EditorCore attaches its own): while a question is
    // open its command counts as running (Clock::waiting, Clock::answering).
    void attach(Clock &clock) { m_clock = &clock; }
    // The words of a next step and of a fixed text. These plain ones name no control of any view;
    // the editor and the command-line tool give their own.
    virtual QString words(NextStep step) const;
    virtual QString words(Fixed what, int number = -1) const;

    // The steps a command awaits: the view opens the question (never a nested event loop) and
    // the command resumes with the answer, e.g. `const bool yes = co_await prompts.ask(text);`.
    // A yes/no question; true for Yes.
    Task<bool> ask(QString text);
    // A fixed text (see Fixed), in this view's words.
    Task<bool> askFixed(Fixed what);
    // A message box; the command goes on once it is closed.
    Task<> tell(QString text);
    Task<> tellFixed(Fixed what, int number = -1);
    // Save first, discard, or cancel. Cancel is the default and what Escape chooses. A view
    // without a three-way question asks it as a yes/no question: Yes saves, No cancels, so
    // nothing is lost without a word.
    Task<Choice> askSaveOrDiscard(QString text, QString saveName);
    // Whether to go on with a command that changes the pedal although no backup of its settings
    // could be made (fact: that none could, and why): its own question, No unless the person
    // chooses Yes.
    Task<bool> askGoOnWithoutBackup(QString fact);
    // Open and save dialogs; an empty result means the person cancelled.
    Task<QString> askFileToOpen(QString title, QString filter, QString folder);
    Task<QString> askFileToSave(QString title, QString filter, QString folder, QString defaultSuffix);
    // A message box that ends something that does not wait (a refusal, a change made at once):
    // shown, and nobody waits for it to close.
    void show(const QString &text);
    // A message that must not hold up a command under way (a command refused while another one
    // runs): shown without waiting for the person to close it, and without holding the window.
    virtual void notice(const QString &text) { show(text); }
    // Hands a web address or a folder to the desktop's default handler; failures are silent.
    virtual void openExternal(const QUrl &url) = 0;

protected:
    struct FileRequest {
        bool save = false;
        QString title, filter, folder, defaultSuffix;
    };
    // What a view does: opens the question, message or dialog, and gives the answer to the reply
    // once the person has given it (at once, for a view that answers by itself).
    virtual void openQuestion(const QString &text, Reply<bool>::Ptr answer) = 0;
    virtual void openMessage(const QString &text, Reply<bool>::Ptr closed) = 0;
    virtual void openFixedQuestion(Fixed what, Reply<bool>::Ptr answer);
    virtual void openFixedMessage(Fixed what, int number, Reply<bool>::Ptr closed);
    virtual void openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer);
    virtual void openGoOnWithoutBackup(const QString &fact, Reply<bool>::Ptr answer) = 0;
    virtual void openFileDialog(const FileRequest &request, Reply<QString>::Ptr chosen) = 0;

    // The three-way question asked as a yes/no one: Yes saves, No changes nothing.
    static QString saveOrDiscardAsYesNo(const QString &text, const QString &saveName);

private:
    // The answer a view gives to reply, awaited on the attached clock when it is not given yet.
    template <typename T>
    Task<T> answerOf(typename Reply<T>::Ptr reply);
    Clock *m_clock = nullptr;
};

// A view that answers at once, without a person waiting in between (a script, the command-line
// tool): each question is a plain call.
class ImmediatePrompts : public Prompts {
public:
    virtual void message(const QString &text) = 0;
    virtual bool question(const QString &text) = 0;
    // A fixed text as a message or a question: by default shown in this view's words.
    virtual void fixedMessage(Fixed what, int number = -1);
    virtual bool fixedQuestion(Fixed what);
    virtual Choice saveOrDiscard(const QString &text, const QString &saveName);
    virtual bool goOnWithoutBackup(const QString &fact) = 0;
    virtual QString openFile(const QString &title, const QString &filter, const QString &folder) = 0;
    virtual QString saveFile(const QString &title, const QString &filter, const QString &folder,
                             const QString &defaultSuffix) = 0;

protected:
    void openQuestion(const QString &text, Reply<bool>::Ptr answer) override { answer->give(question(text)); }
    void openMessage(const QString &text, Reply<bool>::Ptr closed) override
    {
        message(text);
        closed->give(true);
    }
    void openFixedQuestion(Fixed what, Reply<bool>::Ptr answer) override { answer->give(fixedQuestion(what)); }
    void openFixedMessage(Fixed what, int number, Reply<bool>::Ptr closed) override
    {
        fixedMessage(what, number);
        closed->give(true);
    }
    void openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer) override
    {
        answer->give(saveOrDiscard(text, saveName));
    }
    void openGoOnWithoutBackup(const QString &fact, Reply<bool>::Ptr answer) override
    {
        answer->give(goOnWithoutBackup(fact));
    }
    void openFileDialog(const FileRequest &r, Reply<QString>::Ptr chosen) override
    {
        chosen->give(r.save ? saveFile(r.title, r.filter, r.folder, r.defaultSuffix) : openFile(r.title, r.filter, r.folder));
    }
};

// Answers prompts from a script and records what was shown.
class ScriptedPrompts : public ImmediatePrompts {
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
    // With holdQuestions, a yes/no question stays open, as a box does before the person answers,
    // until answerHeld() gives its answer.
    bool holdQuestions = false;
    int heldQuestions() const { return int(m_held.size()); }
    void answerHeld(bool yes);

protected:
    void openQuestion(const QString &text, Reply<bool>::Ptr answer) override;
    void openFixedQuestion(Fixed what, Reply<bool>::Ptr answer) override;

private:
    std::deque<Reply<bool>::Ptr> m_held;
};
