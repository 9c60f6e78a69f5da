#include "cli/CliCommands.h"

#include "cli/CliCommandTable.h"
#include "cli/CliSafety.h"
#include "device/SerialPortBackend.h"
#include "pedal/RawLine.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"

#include <memory>

namespace Cli {
namespace {
QString changesLargely(const Invocation &i)
{
    return QLatin1String(i.command->name) + QStringLiteral(" changes the pedal in a large way");
}
QString erasesMemory(const Invocation &) { return QStringLiteral("memory erase erases the pedal's settings memory"); }

constexpr const char *UploadWords = "usage: upload-algorithm [FILE.dat] | upload-tuning";
constexpr const char *PresetWords = "usage: preset save FILE | preset load FILE";
constexpr const char *FirmwareWords = "usage: firmware upgrade|go|verify";
constexpr const char *MemoryWords = "usage: memory erase | memory dump FILE";
constexpr auto Count = BadSubcommand::AfterCount;

// clang-format off
const std::vector<Command> Commands = {
    {"list", nullptr, 0, 0, nullptr, Count, nullptr, false, false, false, false,
     "list", "the FTDI devices: serial number and description, one per line",
     nullptr, nullptr, nullptr, Reach::Devices, Failed, runList},
    {"info", nullptr, 0, 0, nullptr, Count, nullptr, false, false, false, false,
     "info", "the pedal's firmware, algorithm, effect and every setting",
     nullptr, nullptr, nullptr, Reach::Linked, Failed, runInfo},
    {"send", nullptr, 1, 1, "send needs one HEX argument", Count, sendConfirmation, true, false, false, false,
     "send HEX", "writes one raw message (hex digits, two per byte, at most 65536 bytes);\n"
                 "send - reads the hex from standard input, send @FILE from FILE",
     checkSendHex, nullptr, checkSendArguments, Reach::Port, Failed, runSend, sendBacksUp},
    {"get", nullptr, 0, 0, nullptr, Count, nullptr, false, false, false, false,
     "get", "the twenty parameters: name, data word, and the control's value",
     nullptr, nullptr, nullptr, Reach::Linked, Failed, runGet},
    {"upload-algorithm", nullptr, 0, 1, UploadWords, Count, changesLargely, true, false, false, false,
     "upload-algorithm [FILE.dat]", "sends the carried algorithm image (or a .dat file) and shows the answer (--yes)",
     nullptr, nullptr, checkAlgorithmFile, Reach::Linked, Failed, runUploadAlgorithm},
    {"upload-tuning", nullptr, 0, 0, UploadWords, Count, changesLargely, false, false, false, false,
     "upload-tuning", "sends the tuning table (--yes)",
     nullptr, nullptr, nullptr, Reach::Linked, Failed, runUploadTuning},
    {"preset", "save", 2, 2, PresetWords, BadSubcommand::AfterConfirmation, nullptr, false, false, false, false,
     "preset save FILE", "writes the pedal's twenty values to a preset file",
     nullptr, nullptr, checkPresetSave, Reach::LinkedAsksSelf, Failed, runPresetSave},
    {"preset", "load", 2, 2, PresetWords, BadSubcommand::AfterConfirmation, nullptr, false, false, false, false,
     "preset load FILE", "sends the values of a preset file that differ from the pedal's",
     nullptr, nullptr, checkPresetLoad, Reach::Linked, Failed, runPresetLoad},
    {"set", nullptr, 2, 2, "set needs NAME and VALUE (quote a name with blanks: set \"Sub Mix\" 300)", Count, nullptr,
     false, false, false, false,
     "set NAME VALUE", "changes one parameter as the effect window does, in the terms get\n"
                       "prints: a level 0..1023 for a dial; for Low Pass, High Pass and Range\n"
                       "their step as S/24, S/16, S/22 (a bare number is a level there too);\n"
                       "on or off for a switch or check box, slow or fast for Attack;\n"
                       "semitones -12..+12 (or -12 st..+12 st) for the harmonic pitch",
     nullptr, nullptr, checkSetArguments, Reach::Linked, Failed, runSet},
    {"firmware", "upgrade", 1, 1, FirmwareWords, Count, changesLargely, true, true, true, false,
     "firmware upgrade [--firmware N | --file IMAGE --firmware N] [--no-verify]",
     "writes carried firmware N (5..15, default 15), or an image file recorded\n"
     "as firmware N, into the pedal through its bootloader, reads it back with\n"
     "its firmware number, starts it (--yes); a pedal running firmware 9 or\n"
     "newer is asked to enter its bootloader (hold SHIFT); a firmware older\n"
     "than the pedal's is asked about, and --yes answers yes",
     nullptr, checkFirmwareFile, nullptr, Reach::Port, Failed, runFirmware},
    {"firmware", "go", 1, 1, FirmwareWords, Count, changesLargely, false, false, false, false,
     "firmware go", "leaves the bootloader: the pedal starts the firmware in its flash (--yes)",
     nullptr, nullptr, nullptr, Reach::Port, Failed, runFirmware},
    {"memory", "erase", 1, 1, MemoryWords, BadSubcommand::AfterOptions, erasesMemory, true, false, false, true,
     "memory erase [--address 50|51]", "saves a backup, then erases the pedal's settings memory (--yes)",
     nullptr, nullptr, nullptr, Reach::Linked, Failed, runMemoryErase},
    {"memory", "dump", 2, 2, MemoryWords, BadSubcommand::AfterOptions, nullptr, false, false, false, true,
     "memory dump FILE [--address 50|51]", "reads the 16384 bytes of the settings memory into FILE",
     nullptr, checkDumpTarget, nullptr, Reach::LinkedAsksSelf, Failed, runMemoryDump},
    {"diff", nullptr, 1, 1, nullptr, Count, nullptr, false, false, false, false,
     "diff FILE", "the parameters where the pedal and a preset file differ, one a line:\n"
                  "name, the pedal's word, the file's word; exit 0 when they are the same,\n"
                  "1 when they differ, 2 when either cannot be read (as diff does)",
     nullptr, checkDiffFile, nullptr, Reach::Linked, NoDevice, runDiff},
    {"check-update", nullptr, 0, 0, nullptr, Count, nullptr, false, false, false, false,
     "check-update", "the editor's version, the newest one on the update server, and whether\n"
                     "an update is available (QUARNELO_UPDATE_SERVER names another server)",
     nullptr, nullptr, nullptr, Reach::Server, Failed, runCheckUpdate},
    {"restore", nullptr, 1, 1, "usage: restore BACKUP (a backup's snapshot.json)", Count, changesLargely, false, false,
     false, false,
     "restore BACKUP", "shows what differs from a backup (its snapshot.json, or its preset or\n"
                       "report), sends it, saves the assignable values, reads the pedal again and\n"
                       "checks it; exit 0 only when the pedal reports everything back (--yes)",
     nullptr, checkRestoreFile, nullptr, Reach::Linked, Failed, runRestore},
    {"backup", nullptr, 0, 1, "usage: backup [DIR]", Count, nullptr, false, false, false, false,
     "backup [DIR]", "saves the pedal's settings as a preset file, a readable report and a\n"
                     "snapshot that restore reads, named with the date, time and serial number,\n"
                     "in DIR (default: the editor's Backups folder)",
     nullptr, checkBackupFolder, nullptr, Reach::Linked, Failed, runBackup},
    {"firmware", "verify", 1, 1, FirmwareWords, Count, nullptr, false, true, false, false,
     "firmware verify [--firmware N | --file IMAGE --firmware N]",
     "compares the pedal's flash with an image and its firmware number record\n"
     "with N (the pedal in its bootloader)",
     nullptr, checkFirmwareFile, nullptr, Reach::Port, Failed, runFirmware},
};
// clang-format on

QString confirmation(const Command &c, const Invocation &i)
{
    return c.confirmation ? c.confirmation(i) : QString();
}

using PedalSetup = std::function<void(SimulatedPedal &)>;

int runCommand(const QStringList &args, QTextStream &out, QTextStream &err, Clock *pedalClock, const PedalSetup &setUp)
{
    Options o;
    QString error;
    const auto usageError = [&](const QString &text) {
        // The first line of the usage, not all of it: the error stays readable.
        err << "quarnelo-cli: " << text << "\n"
            << usage().section(QLatin1Char('\n'), 0, 0) << "\n"
            << "quarnelo-cli --help lists the commands.\n";
        return int(Usage);
    };
    if (!parse(args, &o, &error))
        return usageError(error);
    if (o.help) {
        out << usage();
        return Ok;
    }
    if (o.version) {
        out << "quarnelo-cli " << QStringLiteral(QUARNELO_VERSION) << "\n";
        return Ok;
    }

    // Every argument is checked before a port is opened.
    const QString cmd = o.command.first();
    Invocation inv{.options = o, .rest = o.command.mid(1), .out = out, .err = err, .usageError = usageError};
    QStringList &rest = inv.rest;
    std::vector<const Command *> family;
    for (const Command &c : Commands) {
        if (cmd == QLatin1String(c.name))
            family.push_back(&c);
    }
    if (family.empty())
        return usageError(QStringLiteral("unknown command ") + echo(cmd));
    const Command &first = *family.front();
    const QString wrongWords = first.wrongWords ? QString::fromUtf8(first.wrongWords)
                                                : QStringLiteral("%1 takes no arguments, not '%2'")
                                                      .arg(cmd, echo(rest.join(QLatin1Char(' '))));
    int least = first.leastWords, most = first.mostWords;
    for (const Command *c : family) {
        least = std::min(least, c->leastWords);
        most = std::max(most, c->mostWords);
    }
    if (rest.size() < least || rest.size() > most)
        return usageError(wrongWords);
    const Command *row = nullptr; // none: a subcommand the family does not have
    for (const Command *c : family) {
        if ((!c->subcommand || rest[0] == QLatin1String(c->subcommand)) && rest.size() >= c->leastWords &&
            rest.size() <= c->mostWords)
            row = c;
    }
    const auto badSubcommandAt = [&](BadSubcommand when) { return !row && first.badSubcommand == when; };
    if (badSubcommandAt(BadSubcommand::AfterCount))
        return usageError(wrongWords);
    const Command &c = row ? *row : first; // the options a family takes are the same for all its words
    inv.command = &c;
    if (c.checkEarly && row) {
        if (const int code = c.checkEarly(inv); code != Pass)
            return code;
    }
    if ((o.firmware >= 0 || !o.file.isEmpty()) && !c.takesFirmwareImage)
        return usageError(QStringLiteral("--firmware and --file go with firmware upgrade and firmware verify"));
    if (o.noVerify && !c.takesNoVerify)
        return usageError(QStringLiteral("--no-verify goes with firmware upgrade"));
    if (!o.file.isEmpty() && o.firmware < 0)
        return usageError(QStringLiteral("--file needs --firmware N: the number the pedal records for the image"));
    if (badSubcommandAt(BadSubcommand::AfterOptions))
        return usageError(wrongWords);
    if (!o.address.isEmpty() && !c.takesAddress)
        return usageError(QStringLiteral("--address goes with memory erase and memory dump"));
    if (c.checkFiles && row) {
        if (const int code = c.checkFiles(inv); code != Pass)
            return code;
    }
    // A command that changes the pedal in a large way is confirmed, and saves a backup first
    // unless --no-backup says to go on without one.
    const QString why = row ? confirmation(c, inv) : QString();
    const bool backsUp = c.backsUpFor ? row && c.backsUpFor(inv) : c.backsUp;
    if (o.noBackup && !(backsUp && !why.isEmpty()))
        return usageError(QStringLiteral("--no-backup goes with memory erase, upload-algorithm, firmware upgrade and a "
                                         "send that uploads an algorithm, erases or enters the bootloader"));
    if (!why.isEmpty() && !o.yes)
        return usageError(why + QStringLiteral("; add --yes to confirm"));
    if (badSubcommandAt(BadSubcommand::AfterConfirmation))
        return usageError(wrongWords);
    if (c.checkArguments) {
        if (const int code = c.checkArguments(inv); code != Pass)
            return code;
    }
    if (!o.port.isEmpty()) {
        int code = NoDevice;
        const QString problem = CliSafety::portProblem(o.port, &code);
        if (!problem.isEmpty()) {
            err << problem << "\n";
            return code;
        }
    }

    // The pedal's waits run on the system clock, or on a test's clock; the update server's
    // always on the system clock.
    SystemClock systemClock;
    Clock &clock = pedalClock ? *pedalClock : systemClock;
    CliPrompts prompts(o.yes, o.noBackup, targetWords(o));
    inv.clock = &systemClock;
    inv.prompts = &prompts;
    if (c.reach == Reach::Server) {
        if (o.simulate || !o.port.isEmpty() || !o.serial.isEmpty())
            return usageError(QStringLiteral("%1 asks the update server, not a pedal").arg(cmd));
        return c.run(inv);
    }
    std::unique_ptr<FtdiBackend> backend;
    if (o.simulate) {
        auto simulated = std::make_unique<SimBackend>(&clock);
        if (setUp)
            setUp(*simulated->pedal());
        backend = std::move(simulated);
    } else {
        // The ports are looked through once a run, and not at all when --port names the device.
        backend = std::make_unique<SerialPortBackend>(
            o.port.isEmpty() ? QStringList() : QStringList{o.port},
            o.port.isEmpty() ? SerialPortBackend::PortScan::Once : SerialPortBackend::PortScan::Never);
    }
    Session session(backend.get(), &prompts, &clock, err,
                    c.subcommand ? cmd + ' ' + QLatin1String(c.subcommand) : cmd);
    inv.session = &session;
    inv.devices = session.service().rawLine().devices();
    if (c.reach == Reach::Devices)
        return c.run(inv);

    // Choose the device to link.
    QString serial = o.serial;
    QString description;
    for (const RawLine::Device &d : inv.devices) {
        if (serial.isEmpty() ? (o.port.isEmpty() || d.serial == o.port) : d.serial == serial) {
            serial = d.serial;
            description = d.description;
            break;
        }
    }
    if (description.isEmpty()) {
        err << "No device found\n";
        return NoDevice;
    }
    Communication &comm = session.core.comm;
    comm.chooseSerialNumber(serial, description);
    if (c.reach == Reach::Port)
        return c.run(inv);

    switch (session.link(c.reach != Reach::LinkedAsksSelf)) {
    case Session::Linked::Yes:
        break;
    case Session::Linked::NotOpened:
        err << "Could not open " << serial << "\n";
        return c.unreadableExit;
    case Session::Linked::Lost:
        session.done(Failed); // the pedal went away while it was being asked
        return c.unreadableExit;
    }
    return c.run(inv);
}
} // namespace

QString usage()
{
    QString text = QStringLiteral(
        "usage: quarnelo-cli [--simulate | --port PATH | --serial SERIAL] [--yes] [--no-backup] COMMAND [ARGUMENTS]\n"
        "commands:\n");
    // A short synopsis shares its line with the description, a long one stands on its own.
    constexpr int Column = 12;
    const QString indent(2 + Column, QLatin1Char(' '));
    for (const Command &c : Commands) {
        const QString synopsis = QString::fromUtf8(c.synopsis);
        const QStringList lines = QString::fromUtf8(c.description).split(QLatin1Char('\n'));
        text += QStringLiteral("  ") + synopsis;
        text += synopsis.size() < Column ? QString(Column - synopsis.size(), QLatin1Char(' ')) : QStringLiteral("\n") + indent;
        text += lines.join(QStringLiteral("\n") + indent) + QStringLiteral("\n");
    }
    // Which commands refuse to run without --yes, from the table (send asks only for some messages).
    QStringList confirmed;
    for (const Command &c : Commands) {
        if (c.confirmation && QLatin1String(c.name) != QLatin1String("send"))
            confirmed << (c.subcommand ? QStringLiteral("%1 %2").arg(QLatin1String(c.name), QLatin1String(c.subcommand))
                                       : QString::fromLatin1(c.name));
    }
    text += QStringLiteral("--yes confirms these commands, which refuse to run without it:\n  %1,\n"
                           "  and send of an erase 0B.. or enter-bootloader 05.. message.\n")
                .arg(confirmed.join(QStringLiteral(", ")));
    return text + QStringLiteral(
        "Commands that change the pedal in a large way (memory erase, upload-algorithm, firmware\n"
        "upgrade of a running pedal, send of an algorithm image 00.., an erase 0B.. or an\n"
        "enter-bootloader 05.. message) save a backup first and refuse when none can be made; --yes\n"
        "never stands in for it, only --no-backup goes on without one. A send of a store 03.. or a\n"
        "tuning table 0E.. message needs --yes too.\n"
        "A pedal running an effect that is not in the effect list: get, set, preset, diff and backup\n"
        "refuse, since what its parameter words mean is not known; info shows what it reports, and an\n"
        "upload is checked afterwards by asking the pedal again (the backup before a large change is\n"
        "still made, from the words the pedal reports).\n"
        "options may stand anywhere, each once; --help and --version print and exit.\n"
        "Without a target the first FTDI device is used.\n"
        "exit codes: 0 done, 1 failed or refused, 2 no device found, 64 bad usage.\n");
}

namespace {
int runSafely(const QStringList &args, QTextStream &out, QTextStream &err, Clock *pedalClock,
              const PedalSetup &setUp = {})
{
    // Whatever a command prints, from the pedal, a file, a server or the arguments, reaches the
    // terminal with its control characters escaped.
    CliSafety::TerminalSafeDevice outDevice(out);
    CliSafety::TerminalSafeDevice errDevice(err);
    QTextStream safeOut(&outDevice);
    QTextStream safeErr(&errDevice);
    const int code = runCommand(args, safeOut, safeErr, pedalClock, setUp);
    safeOut.flush();
    safeErr.flush();
    return code;
}
} // namespace

int run(const QStringList &args, QTextStream &out, QTextStream &err) { return runSafely(args, out, err, nullptr); }

int run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock) { return runSafely(args, out, err, &clock); }

int run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock,
        const std::function<void(SimulatedPedal &)> &readySimulatedPedal)
{
    return runSafely(args, out, err, &clock, readySimulatedPedal);
}
} // namespace Cli
