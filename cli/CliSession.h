#pragma once
// What every command of the tool shares: its options, the prompts that become lines on stderr,
// and the session against one pedal (the editor's core, the messages written, how far a command
// got when the pedal went away).

#include "cli/CliCommands.h"
#include "pedal/EditorCore.h"
#include "support/Prompts.h"

#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

class Clock;
class SystemClock;

namespace Cli {
// Messages meant for a message box become lines on stderr; the next steps they name are the
// tool's commands, not the editor's menus and buttons.
class CliPrompts : public ImmediatePrompts {
public:
    // target: the options that chose the pedal, as typed ("--port /dev/ttyUSB0"; empty for the
    // first FTDI device), so that a command the tool names runs as printed.
    CliPrompts(bool yes, bool noBackup, QString target = QString())
        : m_yes(yes), m_noBackup(noBackup), m_target(std::move(target))
    {
    }
    // A line for stderr, and the fixed text it says, when it says one: a command that tells a
    // story better itself leaves such a line out by its value.
    struct Said {
        QString text;
        std::optional<Fixed> fixed;
    };
    void message(const QString &text) override { messages << Said{oneLine(text), std::nullopt}; }
    // Next steps and fixed texts in the tool's words: its commands and options.
    QString words(NextStep step) const override;
    QString words(Fixed what, int number = -1) const override;
    // The firmware gate of the device information request is said unless firmwareGateIsNews is
    // off; a failed bootloader handshake only noted (the firmware command words it with what it
    // knows). Every one is noted in fixedSaid.
    void fixedMessage(Fixed what, int number = -1) override;
    // Hold SHIFT: said by beforeHoldingShift (the firmware command prints it, and waits for Enter
    // on a terminal); answered as --yes answers.
    bool fixedQuestion(Fixed what) override;
    bool firmwareGateIsNews = true;
    std::function<void()> beforeHoldingShift;
    QList<Fixed> fixedSaid;
    bool question(const QString &text) override
    {
        questions << text;
        return m_yes;
    }
    // A command of the tool for the same pedal, as it is typed: "quarnelo-cli --port P " + words.
    QString command(const QString &words) const;
    // --yes confirms a command; only --no-backup lets it go on without a backup. Said as the
    // fact and what the tool did about it.
    bool goOnWithoutBackup(const QString &fact) override;
    bool wentOnWithoutBackup = false;
    QString openFile(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    void openExternal(const QUrl &) override {}
    QList<Said> messages;
    QStringList questions;

    // A message box's text as one line.
    static QString oneLine(QString text);

private:
    bool m_yes;
    bool m_noBackup;
    QString m_target;
};


// Input from the command line echoed back, cut to a readable length, control characters escaped.
QString echo(const QString &text);

struct Options {
    bool simulate = false;
    QString port;
    QString serial;
    bool yes = false;
    bool noBackup = false; // --no-backup: a command that changes the pedal goes on without a backup
    bool help = false;
    bool version = false;
    int firmware = -1;     // firmware: --firmware N
    QString file;          // firmware: --file IMAGE
    bool noVerify = false; // firmware upgrade: --no-verify
    QString address;       // memory: --address 50|51
    QStringList command;
};

// Options may stand anywhere; "--" ends them. A negative number is a value, not an option.
bool parse(const QStringList &args, Options *o, QString *error);

// The options that chose the pedal, as a command line names them again (quoted for a shell
// where the path needs it).
QString targetWords(const Options &o);

// One run of the tool against one pedal: the editor's core, its messages on stderr and the
// messages that reached the pedal counted.
struct Session {
    Session(FtdiBackend *backend, CliPrompts *prompts_, Clock *clock_, QTextStream &err_, const QString &command_);
    EditorCore core;
    CliPrompts *prompts;
    Clock *clock;
    QTextStream &err;
    QString command;
    QStringList written; // every message written since the link
    QStringList failed;  // messages that did not go out whole
    QList<PedalService::Backup> backups; // every backup logged, made or not
    bool lost = false;   // the pedal went away
    qint64 lastWriteMs = -1;
    int lastWriteBytes = 0;

    PedalService &service() { return core.service; }
    void flush();
    enum class Linked { Yes, NotOpened, Lost };
    // Links and (unless the command asks itself) asks the pedal for its settings; from then on
    // every message written is counted.
    Linked link(bool askForSettings);
    // Lets the last bytes leave, then tells whether the command went through whole: every
    // message written and the pedal still there. When not, says how far it got.
    bool settle();
    // Settles, unlinks and gives code when the command went through whole, Failed when not.
    int done(int code);
    // The backups' lines as the log gives them (saved, snapshot saved, or why there is none), for stdout.
    QStringList backupLines() const;

private:
    std::optional<bool> m_settled;
};

// Why the pedal's parameters are not the tool's to read, back up or compare: its effect is
// beyond the effect list, so what its words mean is not known (empty when they are).
QString effectBeyondTheList(Session &s);
} // namespace Cli
