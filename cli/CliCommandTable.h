#pragma once
// The tool's commands, each declared once: its words, the arguments it takes, whether it asks
// for --yes and saves a backup first, its lines of the usage, the checks made before a port is
// opened, how far it reaches (the update server, the device list, the port, the linked pedal)
// and its handler. Usage, argument checks and dispatch all read the table (CliCommands.cpp); the
// handlers live beside their family (CliDevice, CliPresets, CliUploads, CliFirmware, CliMemory,
// CliBackups, CliUpdate).

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "pedal/RawLine.h"
#include "presets/PresetFile.h"

#include <functional>

class SystemClock;

namespace Cli {
// A check's verdict: go on, or end the run with this exit code.
constexpr int Pass = -1;

struct Command;

// One command line on its way: the options, the words after the command's name, the streams,
// and what the checks before the port found (read files, the parameter asked for).
struct Invocation {
    const Options &options;
    QStringList rest; // the words after the command's name (a subcommand is the first)
    QTextStream &out;
    QTextStream &err;
    std::function<int(const QString &)> usageError; // prints the usage error, gives Usage
    SystemClock *clock = nullptr;
    CliPrompts *prompts = nullptr;
    Session *session = nullptr; // none for a command that asks no pedal
    const Command *command = nullptr;
    QList<RawLine::Device> devices{};// the FTDI devices, looked for once the session is made

    PresetFile::PresetValues diffValues{}; // diff: the preset file's values
    QByteArray firmwareImage{};            // firmware --file: the image, read and checked
    int parameter = -1;                    // set: the parameter and the control state asked for
    int state = 0;
};

// When a family's word is followed by a subcommand it does not have, or by the wrong number of
// words for the one it names: the usage error comes at the point where that family has always
// been told, so that a line with two mistakes reports the same one.
enum class BadSubcommand { AfterCount, AfterOptions, AfterConfirmation };

// How far a command reaches.
enum class Reach {
    Server,        // the update server, never a pedal
    Devices,       // the list of devices
    Port,          // the chosen device's port, linked by the handler itself
    Linked,        // the linked pedal, asked for its settings
    LinkedAsksSelf // the linked pedal; the handler asks for the settings itself
};

struct Command {
    const char *name;
    const char *subcommand; // nullptr: none
    int leastWords, mostWords; // words after the name, the subcommand included
    const char *wrongWords;    // the usage error for the wrong words (nullptr: "takes no arguments")
    BadSubcommand badSubcommand;
    // Why the command asks for --yes (nullptr or empty: it does not); saves a backup first when
    // backsUp, and only then is --no-backup its to take.
    QString (*confirmation)(const Invocation &);
    bool backsUp;
    bool takesFirmwareImage; // --firmware N and --file IMAGE
    bool takesNoVerify;
    bool takesAddress;
    const char *synopsis; // the usage: the command's words, then what it does, lines by '\n'
    const char *description;
    int (*checkEarly)(Invocation &);     // before the options are checked (nullptr: none)
    int (*checkFiles)(Invocation &);     // before confirmation: the files it reads or writes
    int (*checkArguments)(Invocation &); // after confirmation: the arguments themselves
    Reach reach;
    int unreadableExit; // the exit code when the pedal cannot be linked or read
    int (*run)(Invocation &);
    // Whether this invocation saves a backup first, when that depends on its arguments (a raw
    // message): then it stands for backsUp.
    bool (*backsUpFor)(const Invocation &) = nullptr;
};

// The handlers and their checks, by family.
int checkSendHex(Invocation &);
int checkSendArguments(Invocation &);
QString sendConfirmation(const Invocation &);
bool sendBacksUp(const Invocation &);
int checkDiffFile(Invocation &);
int checkSetArguments(Invocation &);
int runList(Invocation &);
int runInfo(Invocation &);
int runGet(Invocation &);
int runSet(Invocation &);
int runSend(Invocation &);
int runDiff(Invocation &);

int checkPresetLoad(Invocation &);
int checkPresetSave(Invocation &);
int runPresetSave(Invocation &);
int runPresetLoad(Invocation &);

int checkAlgorithmFile(Invocation &);
int runUploadAlgorithm(Invocation &);
int runUploadTuning(Invocation &);

int checkFirmwareFile(Invocation &);
int runFirmware(Invocation &);

int checkDumpTarget(Invocation &);
int runMemoryErase(Invocation &);
int runMemoryDump(Invocation &);

int checkBackupFolder(Invocation &);
int checkRestoreFile(Invocation &);
int runBackup(Invocation &);
int runRestore(Invocation &);

int runCheckUpdate(Invocation &);
} // namespace Cli
