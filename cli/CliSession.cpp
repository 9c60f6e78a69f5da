#include "cli/CliSession.h"
#include "cli/CliWait.h"

#include "device/FtdiBackend.h"

#include "support/Clock.h"
#include "support/OutsideText.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace Cli {
bool CliPrompts::goOnWithoutBackup(const QString &fact)
{
    questions << fact;
    messages << Said{oneLine(fact) + (m_noBackup ? QStringLiteral(" Going on without one, as --no-backup asks.")
                                                 : QStringLiteral(" Nothing more was sent; --no-backup goes on without one.")),
                     std::nullopt};
    if (m_noBackup)
        wentOnWithoutBackup = true;
    return m_noBackup;
}

QString CliPrompts::words(NextStep step) const
{
    switch (step) {
    case NextStep::Relink:
    case NextStep::RelinkAgain:
    case NextStep::AskAgain:
    case NextStep::SaveAgain:
    case NextStep::ReadReportAgain: return QStringLiteral("run the command again");
    case NextStep::UseUpgradeMenu:
        return QStringLiteral("Upgrade its firmware (%1), start the firmware in its flash (%2)")
            .arg(command(QStringLiteral("--yes firmware upgrade")), command(QStringLiteral("--yes firmware go")));
    case NextStep::UpgradeAgain: return QStringLiteral("Run the firmware upgrade again.");
    case NextStep::UpgradeFromBootloader: return QStringLiteral("then run the firmware upgrade again.");
    case NextStep::GoAgain: return QStringLiteral("run %1").arg(command(QStringLiteral("--yes firmware go")));
    case NextStep::EnterBootloader:
        return QStringLiteral("%1 finds it, or asks the pedal to enter it")
            .arg(command(QStringLiteral("--yes firmware upgrade")));
    case NextStep::StayInBootloader: break;
    }
    return Prompts::words(step);
}

QString CliPrompts::words(Fixed what, int number) const
{
    switch (what) {
    case Fixed::ReleaseShift: return QStringLiteral("Release the SHIFT button.");
    case Fixed::UpgradeComplete: return QStringLiteral("The firmware upgrade is complete; the pedal restarts.");
    case Fixed::UpgradeCompleteUnread:
        return QStringLiteral("Everything was written and acknowledged, and not read back; the pedal restarts.");
    case Fixed::FirmwareUpgradeRequired:
        return QStringLiteral("The pedal's firmware is older than firmware %1, the one this tool edits: %2 writes it.")
            .arg(number)
            .arg(command(QStringLiteral("--yes firmware upgrade")));
    case Fixed::LegacyUpgradeInstructions:
        return QStringLiteral("A pedal below firmware 9 cannot enter its bootloader on request: connect it while "
                              "holding SHIFT, then run that command.");
    default: break;
    }
    return Prompts::words(what, number);
}

void CliPrompts::fixedMessage(Fixed what, int number)
{
    fixedSaid << what;
    switch (what) {
    case Fixed::FirmwareUpgradeRequired:
    case Fixed::LegacyUpgradeInstructions:
        if (!firmwareGateIsNews)
            return;
        break;
    case Fixed::BootloaderConnectionFailed: return; // the firmware command words it
    default: break;
    }
    messages << Said{oneLine(words(what, number)), what};
}

bool CliPrompts::fixedQuestion(Fixed what)
{
    fixedSaid << what;
    if (what != Fixed::HoldShift)
        return question(words(what));
    if (beforeHoldingShift)
        beforeHoldingShift();
    return m_yes;
}

QString CliPrompts::command(const QString &words) const
{
    return QStringLiteral("quarnelo-cli ") + (m_target.isEmpty() ? QString() : m_target + QLatin1Char(' ')) + words;
}

QString targetWords(const Options &o)
{
    const auto quoted = [](const QString &value) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
        if (plain.match(value).hasMatch())
            return value;
        QString q = value;
        q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        return QLatin1Char('\'') + q + QLatin1Char('\'');
    };
    if (o.simulate)
        return QStringLiteral("--simulate");
    if (!o.port.isEmpty())
        return QStringLiteral("--port ") + quoted(o.port);
    if (!o.serial.isEmpty())
        return QStringLiteral("--serial ") + quoted(o.serial);
    return QString();
}

QString CliPrompts::oneLine(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral(" ")); }

QString echo(const QString &text) { return OutsideText::shown(text, 40); }

bool parse(const QStringList &args, Options *o, QString *error)
{
    // A negative number is a value, not an option, with its unit too: "-3 st", as get prints it.
    static const QRegularExpression negativeNumber(QStringLiteral("^-[0-9]+( ?st)?$"));
    bool optionsEnded = false;
    QStringList given; // each option once: a second one is a mistake, not a change of mind
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-") ||
            negativeNumber.match(a).hasMatch()) {
            o->command << a;
            continue;
        }
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString name = eq > 0 ? a.left(eq) : a;
        const QString once = name == QLatin1String("-h") ? QStringLiteral("--help") : name;
        if (name != QLatin1String("--") && given.contains(once)) {
            *error = QStringLiteral("%1 is given twice").arg(echo(once));
            return false;
        }
        given << once;
        if (name == QLatin1String("--")) {
            optionsEnded = true;
        } else if (name == QLatin1String("--simulate") && eq < 0) {
            o->simulate = true;
        } else if (name == QLatin1String("--yes") && eq < 0) {
            o->yes = true;
        } else if ((name == QLatin1String("--help") || name == QLatin1String("-h")) && eq < 0) {
            o->help = true;
        } else if (name == QLatin1String("--version") && eq < 0) {
            o->version = true;
        } else if (name == QLatin1String("--no-backup") && eq < 0) {
            o->noBackup = true;
        } else if (name == QLatin1String("--no-verify") && eq < 0) {
            o->noVerify = true;
        } else if (name == QLatin1String("--address")) {
            const QString value = eq > 0 ? a.mid(eq + 1) : i + 1 < args.size() ? args[++i] : QString();
            if (value != QLatin1String("50") && value != QLatin1String("51")) {
                *error = value.isEmpty() ? QStringLiteral("--address needs a value")
                                         : QStringLiteral("--address takes 50 or 51, not '%1'").arg(echo(value));
                return false;
            }
            o->address = value;
        } else if (name == QLatin1String("--firmware") || name == QLatin1String("--file")) {
            const QString value = eq > 0 ? a.mid(eq + 1) : i + 1 < args.size() ? args[++i] : QString();
            if (value.isEmpty()) {
                *error = name + QStringLiteral(" needs a value");
                return false;
            }
            if (name == QLatin1String("--file")) {
                o->file = value;
            } else {
                bool ok = false;
                o->firmware = value.toInt(&ok);
                if (!ok || o->firmware < 5 || o->firmware > 15) {
                    *error = QStringLiteral("--firmware takes a number from 5 to 15, not '%1'").arg(echo(value));
                    return false;
                }
            }
        } else if (name == QLatin1String("--port") || name == QLatin1String("--serial")) {
            QString value;
            if (eq > 0) {
                value = a.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            }
            if (value.isEmpty()) {
                *error = name + QStringLiteral(" needs a value");
                return false;
            }
            (name == QLatin1String("--port") ? o->port : o->serial) = value;
        } else {
            *error = QStringLiteral("unknown option ") + echo(a);
            return false;
        }
    }
    if (o->help || o->version)
        return true;
    if (o->command.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }
    if (int(o->simulate) + int(!o->port.isEmpty()) + int(!o->serial.isEmpty()) > 1) {
        *error = QStringLiteral("choose one of --simulate, --port and --serial");
        return false;
    }
    return true;
}

Session::Session(FtdiBackend *backend, CliPrompts *prompts_, Clock *clock_, QTextStream &err_, const QString &command_)
    : core(UserFiles::defaultDocumentsFolder(), prompts_, clock_, backend), prompts(prompts_), clock(clock_), err(err_), command(command_)
{
    // QUARNELO_ANSWER_LIMIT_MS, for tests only (--help does not name it): a shorter wait for the
    // first byte of the device information answer than the 2 s a pedal is given, so that a test
    // of a pedal that never answers does not wait it out. A longer one is not taken.
    bool given = false;
    const int limit = qEnvironmentVariableIntValue("QUARNELO_ANSWER_LIMIT_MS", &given);
    if (given && limit > 0 && limit < core.comm.answerTimeoutMs())
        core.comm.setAnswerTimeoutMs(limit);
    QObject::connect(&core.comm, &Communication::deviceDisconnected, &core.comm, [this] { lost = true; });
    QObject::connect(&core.service, &PedalService::backupLogged, &core.comm,
                     [this](const PedalService::Backup &backup) { backups << backup; });
    QObject::connect(&core.comm, &Communication::messageWritten, &core.comm, [this](const QString &text) {
        lastWriteMs = clock->nowMs();
        lastWriteBytes = int(text.size() / 2);
    });
    QObject::connect(&core.comm, &Communication::writeFailed, &core.comm,
                     [this](const QString &text) { failed << text; });
}

void Session::flush()
{
    QCoreApplication::processEvents(); // messages queued by a lost device
    for (const CliPrompts::Said &m : prompts->messages)
        err << m.text << "\n";
    prompts->messages.clear();
}

Session::Linked Session::link(bool askForSettings)
{
    Cli::finish(service().link(askForSettings));
    flush();
    QObject::connect(&core.comm, &Communication::messageWritten, &core.comm,
                     [this](const QString &text) { written << text; });
    if (lost) {
        err << QStringLiteral("The pedal was disconnected during %1 while it was asked for its settings; nothing "
                              "else was written to it.\n")
                   .arg(command);
        m_settled = false;
        return Linked::Lost;
    }
    return core.comm.linked() ? Linked::Yes : Linked::NotOpened;
}

bool Session::settle()
{
    if (m_settled)
        return *m_settled;
    // The last message's bytes cross the wire (10 bits a byte at 115200 baud) and nothing
    // more is waited for; a pedal that answered long ago costs nothing.
    if (lastWriteMs >= 0) {
        const qint64 until = lastWriteMs + (lastWriteBytes * 10 + 114) / 115;
        for (qint64 now = clock->nowMs(); now < until && !lost; now = clock->nowMs())
            Cli::finish(Cli::activity(*clock, int(until - now)));
    }
    flush();
    const bool whole = !lost && failed.isEmpty() && core.comm.linked();
    if (!whole) {
        QStringList parts;
        for (const QString &m : written)
            parts << (m.size() <= 24 ? m : m.left(24) + QStringLiteral("... (%1 bytes)").arg(m.size() / 2));
        err << (lost ? QStringLiteral("The pedal was disconnected during %1. ").arg(command)
                     : QStringLiteral("A write to the pedal failed during %1. ").arg(command))
            << (parts.isEmpty() ? QStringLiteral("Nothing was written to it.")
                                : QStringLiteral("Written before: %1; whether the pedal took %2 is not known.")
                                      .arg(parts.join(QStringLiteral(", ")),
                                           parts.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")))
            << "\n";
    }
    m_settled = whole;
    return whole;
}

int Session::done(int code)
{
    const bool whole = settle();
    if (core.comm.linked())
        service().unlink();
    flush();
    return whole ? code : int(Failed);
}

QStringList Session::backupLines() const
{
    QStringList lines;
    for (const PedalService::Backup &backup : backups)
        lines << PedalService::backupLogLines(backup);
    return lines;
}

QString effectBeyondTheList(Session &s)
{
    const PedalState &state = s.service().state();
    int effect = -1;
    if (!state.reported || !state.reported->effectNumber(&effect) || effect < s.service().effectNames().size())
        return QString();
    return QStringLiteral("the pedal's effect %1 is not in the effect list").arg(state.reported->effectText());
}
} // namespace Cli
