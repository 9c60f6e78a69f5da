#include "cli/CliCommands.h"

#include "algorithms/FirmwareImage.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "device/SerialPortBackend.h"
#include "pedal/BackupRestore.h"
#include "cli/CliSafety.h"
#include "pedal/DeviceReport.h"
#include "pedal/DialMath.h"
#include "pedal/EditorCore.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/SettingsMemory.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/EditorVersion.h"
#include "support/FileWriting.h"
#include "support/OutsideText.h"
#include "support/Prompts.h"
#include "update/UpdateService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {
// Messages meant for a message box become lines on stderr, in the tool's own words: the
// editor's hints name its menus and buttons.
class CliPrompts : public Prompts {
public:
    CliPrompts(bool yes, bool noBackup) : m_yes(yes), m_noBackup(noBackup) {}
    void message(const QString &text) override { messages << toolWords(text); }
    bool question(const QString &text) override
    {
        questions << text;
        return m_yes;
    }
    // --yes confirms a command; only --no-backup lets it go on without a backup.
    bool goOnWithoutBackup(const QString &text) override
    {
        questions << text;
        QString said = toolWords(text);
        said.chop(QStringLiteral(" Go on without a backup?").size());
        messages << said + (m_noBackup ? QStringLiteral(" Going on without one, as --no-backup asks.")
                                       : QStringLiteral(" Nothing more was sent; --no-backup goes on without one."));
        if (m_noBackup)
            wentOnWithoutBackup = true;
        return m_noBackup;
    }
    bool wentOnWithoutBackup = false;
    QString openFile(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    void openExternal(const QUrl &) override {}
    QStringList messages;
    QStringList questions;

    static QString toolWords(QString text)
    {
        static const std::pair<const char *, const char *> Hints[] = {
            {"Connect it again and choose Scan And Link.", "Connect it again and run the command again."},
            {"choose Scan And Link again.", "run the command again."},
            {"then press Request.", "then run the command again."},
            {"Use the Firmware Upgrade menu,", "Upgrade its firmware with the editor,"},
            {"Choose Upgrade Firmware to try again.", "Run the firmware upgrade again."},
            {"turn Upgrade Mode on in the Firmware Upgrade menu, choose Link, then Upgrade Firmware.",
             "then run the firmware upgrade again."},
            {"choose Upgrade Firmware to try again, or switch it off and on.",
             "run quarnelo-cli firmware go again, or switch it off and on."},
            {"Release SHIFT button and click OK.", "Release the SHIFT button."},
            {"Firmware Upgrade Complete, device will now restart", "The firmware upgrade is complete; the pedal restarts."},
        };
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        for (const auto &[editor, tool] : Hints)
            text.replace(QLatin1String(editor), QLatin1String(tool));
        return text;
    }

private:
    bool m_yes;
    bool m_noBackup;
};

// Input from the command line echoed back, cut to a readable length, control characters escaped.
QString echo(const QString &text) { return OutsideText::shown(text, 40); }

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
bool parse(const QStringList &args, Options *o, QString *error)
{
    static const QRegularExpression negativeNumber(QStringLiteral("^-[0-9]+$"));
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

// Hex text of whole bytes: an even number of hex digits.
bool isHexText(const QString &text)
{
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return true;
}

// What a control shows for a data word, as `get` prints it and `set` takes it.
QString controlValue(int i, quint32 word)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    switch (info.control) {
    case ControlKind::Dial:
        return QString::number(DialMath::wordToLevel(word, info.fullScale));
    case ControlKind::List:
        for (int k = 0; k < int(DialMath::HarmonicPitchTable.size()); ++k) {
            if (DialMath::HarmonicPitchTable[size_t(k)] == word)
                return k > 12 ? QStringLiteral("+%1").arg(k - 12) : QString::number(k - 12);
        }
        return QStringLiteral("?");
    case ControlKind::Switch:
        if (i == 4)
            return word == PedalMessages::WaveOnValue ? onOff(true) : word == PedalMessages::WaveOffValue ? onOff(false) : QStringLiteral("?");
        if (i == 19)
            return word == PedalMessages::AttackSlowValue ? onOff(true) : word == PedalMessages::AttackFastValue ? onOff(false) : QStringLiteral("?");
        return word <= 1 ? onOff(word == 1) : QStringLiteral("?");
    case ControlKind::CheckBox:
        return word <= 1 ? onOff(word == 1) : QStringLiteral("?");
    }
    return QString();
}

// The control state set asks for: a dial's angle for a level, 1/0 for on/off, the harmonic
// pitch list's item. Empty (with the reason) when the value does not fit the control.
std::optional<int> requestedState(int parameter, const QString &value, QString *takes)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(parameter)];
    bool ok = false;
    switch (info.control) {
    case ControlKind::Dial: {
        *takes = QStringLiteral("a level from 0 to 1023");
        const int level = value.toInt(&ok);
        if (!ok || level < 0 || level > DialMath::MaxLevel)
            return std::nullopt;
        // The dial moves in whole degrees: the level of the nearest position goes out.
        return DialMath::positionToAngle(int(std::lround(level * double(DialMath::MaxPosition) / DialMath::MaxLevel)));
    }
    case ControlKind::Switch:
    case ControlKind::CheckBox:
        *takes = QStringLiteral("on or off");
        if (value.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
            return 1;
        if (value.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
            return 0;
        return std::nullopt;
    case ControlKind::List: {
        *takes = QStringLiteral("an item from -12 to +12");
        const int semitones = value.toInt(&ok);
        if (!ok || semitones < -12 || semitones > 12)
            return std::nullopt;
        return semitones + 12;
    }
    }
    return std::nullopt;
}

// One run of the tool against one pedal: the editor's core, its messages on stderr and the
// messages that reached the pedal counted.
struct Session {
    Session(FtdiBackend *backend, CliPrompts *prompts_, Clock *clock_, QTextStream &err_, const QString &command_)
        : core(UserFiles::defaultDocumentsFolder(), prompts_, clock_, backend), prompts(prompts_), clock(clock_), err(err_), command(command_)
    {
        QObject::connect(&core.comm, &Communication::deviceDisconnected, &core.comm, [this] { lost = true; });
        QObject::connect(&core.comm, &Communication::messageWritten, &core.comm, [this](const QString &text) {
            lastWriteMs = clock->nowMs();
            lastWriteBytes = int(text.size() / 2);
        });
        QObject::connect(&core.comm, &Communication::writeFailed, &core.comm,
                         [this](const QString &text) { failed << text; });
    }
    EditorCore core;
    CliPrompts *prompts;
    Clock *clock;
    QTextStream &err;
    QString command;
    QStringList written; // every message written since the link
    QStringList failed;  // messages that did not go out whole
    bool lost = false;   // the pedal went away
    qint64 lastWriteMs = -1;
    int lastWriteBytes = 0;

    PedalService &service() { return core.service; }
    void flush()
    {
        QCoreApplication::processEvents(); // messages queued by a lost device
        for (const QString &m : prompts->messages)
            err << m << "\n";
        prompts->messages.clear();
    }
    enum class Linked { Yes, NotOpened, Lost };
    // Links and (unless the command asks itself) asks the pedal for its settings; from then on
    // every message written is counted.
    Linked link(bool askForSettings)
    {
        service().link(askForSettings);
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
        return core.comm.linked ? Linked::Yes : Linked::NotOpened;
    }
    // Lets the last bytes leave, then tells whether the command went through whole: every
    // message written and the pedal still there. When not, says how far it got.
    bool settle()
    {
        if (m_settled)
            return *m_settled;
        // The last message's bytes cross the wire (10 bits a byte at 115200 baud) and nothing
        // more is waited for; a pedal that answered long ago costs nothing.
        if (lastWriteMs >= 0) {
            const qint64 until = lastWriteMs + (lastWriteBytes * 10 + 114) / 115;
            for (qint64 now = clock->nowMs(); now < until && !lost; now = clock->nowMs())
                clock->waitForActivity(int(until - now));
        }
        flush();
        const bool whole = !lost && failed.isEmpty() && core.comm.linked;
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
    int done(int code)
    {
        const bool whole = settle();
        if (core.comm.linked)
            service().unlink();
        flush();
        return whole ? code : int(Cli::Failed);
    }

private:
    std::optional<bool> m_settled;
};

// diff FILE: the parameters where the pedal and a preset file differ, one a line (name, the
// pedal's word, the file's word); 0 when none differ, 1 when some do, 2 when the pedal's values
// are not known.
// Why the pedal's parameters are not the tool's to read, back up or compare: its effect is
// beyond the effect list, so what its words mean is not known (empty when they are).
QString effectBeyondTheList(Session &s)
{
    const PedalState &state = s.service().state();
    int effect = -1;
    if (!state.reported || !state.reported->effectNumber(&effect) || effect < s.service().effectNames().size())
        return QString();
    return QStringLiteral("the pedal's effect %1 is not in the effect list").arg(state.reported->effectText());
}

int runDiff(Session &s, const PresetFile::PresetValues &file, QTextStream &out)
{
    const PedalState &state = s.service().state();
    if (const QString beyond = effectBeyondTheList(s); !beyond.isEmpty()) {
        s.err << "The pedal's settings are not compared: " << beyond << "\n";
        s.done(Cli::Failed);
        return Cli::NoDevice;
    }
    if (!state.reported) {
        s.err << "The pedal's settings are not known: " << state.unknownReason << "\n";
        s.done(Cli::Failed);
        return Cli::NoDevice;
    }
    int differences = 0;
    for (int i = 0; i < PresetFile::Values; ++i) {
        const quint32 pedal = state.reported->parameterWords[size_t(i)];
        if (pedal == file[size_t(i)])
            continue;
        ++differences;
        out << ParameterCatalogue::all()[size_t(i)].name << "\t" << HexCodec::hexNumber(pedal, 8) << "\t"
            << HexCodec::hexNumber(file[size_t(i)], 8) << "\n";
    }
    const int code = s.done(Cli::Ok);
    return code != Cli::Ok ? int(Cli::NoDevice) : differences == 0 ? int(Cli::Ok) : int(Cli::Failed);
}

int runGet(Session &s, QTextStream &out)
{
    const PedalState &state = s.service().state();
    if (!state.valuesKnown || !state.reported) {
        s.err << "The pedal's settings are not known: " << state.unknownReason << "\n";
        return s.done(Cli::Failed);
    }
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        const quint32 word = state.reported->parameterWords[size_t(i)];
        out << ParameterCatalogue::all()[size_t(i)].name << " " << HexCodec::hexNumber(word, 8) << " "
            << controlValue(i, word) << "\n";
    }
    return s.done(Cli::Ok);
}

int runSet(Session &s, int parameter, int state, QTextStream &out)
{
    const PedalService::Result r = s.service().sendControl(parameter, state);
    for (const QString &text : s.written)
        out << "sent: " << text << "\n";
    return s.done(r == PedalService::Result::Done ? Cli::Ok : Cli::Failed);
}

int runPreset(Session &s, const QString &action, const QString &path, QTextStream &out)
{
    if (action == QLatin1String("save"))
        return s.done(s.service().savePreset(path) == PedalService::Result::Done ? Cli::Ok : Cli::Failed);
    const PedalService::Result r = s.service().loadPreset(path);
    for (const QString &text : s.written)
        out << "sent: " << text << "\n";
    if (r == PedalService::Result::Done && s.settle())
        out << s.written.size() << " messages sent\n";
    return s.done(r == PedalService::Result::Done ? Cli::Ok : Cli::Failed);
}

int runUpload(Session &s, const QStringList &command, QTextStream &out)
{
    PedalService &pedal = s.service();
    PedalService::UploadResult result;
    if (command[0] == QLatin1String("upload-tuning")) {
        result = pedal.uploadTuningData();
    } else if (command.size() == 2) {
        result = pedal.uploadAlgorithmFile(command[1]);
    } else {
        if (pedal.selectedEffect() < 0)
            pedal.selectEffect(0); // the pedal's effect is not known: the first of the list
        result = pedal.uploadSelectedAlgorithm();
    }
    if (result == PedalService::UploadResult::Unconfirmed)
        s.err << "The pedal answered the upload (" << pedal.uploadStatus()
              << "), but it does not report the new algorithm in place.\n";
    if (result != PedalService::UploadResult::Done || !s.settle())
        return s.done(Cli::Failed);
    if (!pedal.uploadStatus().isEmpty() && command[0] == QLatin1String("upload-algorithm"))
        out << "answer: " << pedal.uploadStatus() << "\n";
    if (command[0] == QLatin1String("upload-tuning"))
        out << "sent: 641 bytes of tuning data\n";
    return s.done(Cli::Ok);
}

// send HEX: one raw message on the line, without the device information request.
int runSend(Session &s, const QString &hex, bool destructive, QTextStream &out)
{
    Communication &comm = s.core.comm;
    D2XXUnit &d2xx = *s.core.d2xx;
    if (destructive) {
        // The pedal is asked for its settings, so that they can be saved before the message.
        if (s.link(true) != Session::Linked::Yes) {
            if (!comm.linked)
                s.err << CliPrompts::toolWords(comm.openFailureText()) << "\n";
            return s.done(Cli::Failed);
        }
        const QString occasion = QStringLiteral("the raw message %1").arg(echo(hex.toUpper()));
        const bool backedUp = s.service().backUpBefore(occasion);
        for (const QString &line : s.core.log.lines().filter(QRegularExpression(QStringLiteral("^(backup saved|backup snapshot saved|no backup): "))))
            out << line << "\n";
        if (!backedUp)
            return s.done(Cli::Failed);
        s.written.clear();
    } else {
        if (!comm.link()) {
            s.flush();
            s.err << CliPrompts::toolWords(comm.openFailureText()) << "\n";
            return Cli::Failed;
        }
        QObject::connect(&comm, &Communication::messageWritten, &comm, [&s](const QString &text) { s.written << text; });
    }
    comm.pollTimer->stop(); // the answer is read here, not by the background poll
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    comm.sendHexMessage(hex.toUpper(), int(bytes.size()));
    s.clock->pause(100); // let the bytes leave and a quick answer come back
    QByteArray answer;
    while (d2xx.GetFTDeviceQueueStatus() == 0 && d2xx.FTQueuedBytes > 0 && answer.size() < D2XXUnit::BufferSize) {
        const quint32 n = d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        answer.append(reinterpret_cast<const char *>(d2xx.FTReceiveBuffer.data()), int(n));
        if (n == 0)
            break;
    }
    if (!s.settle())
        return s.done(Cli::Failed);
    out << "sent: " << HexCodec::bytesToHexText(bytes) << "\n";
    if (!answer.isEmpty())
        out << "answer: " << HexCodec::bytesToHexText(answer) << "\n";
    return s.done(Cli::Ok);
}
// memory erase | memory dump FILE: the settings memory at --address (50 when not given).
int runMemory(Session &s, const Options &o, const QStringList &rest, QTextStream &out)
{
    SettingsMemory &memory = s.service().memory();
    const QString address = o.address.isEmpty() ? QStringLiteral("50") : o.address;
    if (rest[0] == QLatin1String("erase")) {
        const SettingsMemory::Outcome r = memory.erase(address);
        const QStringList backup = s.core.log.lines().filter(QRegularExpression(QStringLiteral("^(backup saved|backup snapshot saved|no backup): ")));
        s.flush();
        for (const QString &line : backup)
            out << line << "\n";
        if (r == SettingsMemory::Outcome::Done && s.settle())
            out << "The settings memory at " << address << " was told to erase itself; memory dump shows the result.\n";
        return s.done(r == SettingsMemory::Outcome::Done ? Cli::Ok : Cli::Failed);
    }
    const SettingsMemory::Outcome r = memory.read(address);
    s.flush();
    const SettingsMemory::Check &check = memory.lastCheck();
    if (r != SettingsMemory::Outcome::Done || check.kind != SettingsMemory::Check::Kind::Complete) {
        if (check.kind == SettingsMemory::Check::Kind::None)
            s.err << "No memory dump was read; " << rest[1] << " was not written.\n";
        else
            s.err << rest[1] << " was not written.\n";
        return s.done(Cli::Failed);
    }
    QString error;
    if (!FileWriting::writeWhole(rest[1], check.memory, &error)) {
        s.err << rest[1] << " could not be written: " << error << "\n";
        return s.done(Cli::Failed);
    }
    out << "wrote " << check.memory.size() << " bytes to " << rest[1] << " (the memory is "
        << (check.empty ? "empty" : "not empty") << ")\n";
    return s.done(Cli::Ok);
}

// backup [DIR]: the pedal's settings as a preset file and a report, as the editor saves them.
int runBackup(Session &s, const QStringList &rest, QTextStream &out)
{
    if (const QString beyond = effectBeyondTheList(s); !beyond.isEmpty()) {
        s.err << "No backup was made: " << beyond << "\n";
        return s.done(Cli::Failed);
    }
    const PedalService::Backup b = s.service().backUp(QString(), rest.value(0));
    if (!b.made) {
        s.err << "No backup was made: " << b.problem << "\n";
        return s.done(Cli::Failed);
    }
    out << b.files.preset << "\n" << b.files.report << "\n" << b.files.snapshot << "\n";
    return s.done(Cli::Ok);
}

// restore BACKUP: puts a backup's settings back on the pedal and checks that the pedal reports them.
int runRestore(Session &s, const QString &path, QTextStream &out)
{
    const BackupRestore::Outcome o = s.service().backups().restore(path);
    for (const QString &change : o.changes)
        out << change << "\n";
    if (o.result == BackupRestore::Result::Done && s.settle()) {
        out << (o.changes.isEmpty() ? QStringLiteral("nothing to restore: the pedal holds every setting of the backup")
                                    : QStringLiteral("restored %1 settings; the pedal reports every setting the backup holds")
                                          .arg(o.changes.size() - o.notChecked.size()))
            << "\n";
        if (!o.notChecked.isEmpty())
            out << "sent, not checked (the pedal never reports them): " << o.notChecked.join(QStringLiteral(", ")) << "\n";
        return s.done(Cli::Ok);
    }
    for (const QString &m : o.mismatches)
        s.err << "not taken: " << m << "\n";
    return s.done(Cli::Failed);
}

// check-update: the editor's version, the newest one on the update server, and the verdict.
int runCheckUpdate(SystemClock &clock, CliPrompts &prompts, QTextStream &out, QTextStream &err)
{
    DiagnosticLog log;
    UpdateService update(log, prompts, clock);
    update.currentVersion = editorVersion();
    QString problem;
    update.server = UpdateService::serverFromEnvironment(&problem);
    if (update.server.isEmpty()) {
        err << problem << "\n";
        return Cli::Failed;
    }
    std::optional<UpdateService::VersionAnswer> answer;
    QEventLoop loop;
    update.fetchNewestVersion([&](const UpdateService::VersionAnswer &a) {
        answer = a;
        loop.quit();
    });
    if (!answer)
        loop.exec();
    out << "editor version: " << update.currentVersion << "\n";
    if (!answer->ok) {
        err << "The update server " << OutsideText::shown(update.server.toDisplayString(), 200)
            << (answer->answered ? " answered, but " : " could not be asked: ") << answer->problem << "\n";
        return Cli::Failed;
    }
    out << "newest version: " << answer->version << "\n";
    out << (update.isNewer(answer->version) ? "an update is available" : "no update is available") << "\n";
    return Cli::Ok;
}

// firmware upgrade | go | verify: finds the pedal in its bootloader or running its firmware.
// It ends with what the upgrade told: where it stopped and the way back.
int runFirmware(Session &s, const Options &o, const QByteArray &fileImage, QTextStream &out)
{
    const QString action = o.command.value(1);
    Communication &comm = s.core.comm;
    FirmwareUpgrade &upgrade = s.service().firmware();
    const auto finish = [&](int code) {
        if (comm.linked)
            s.service().unlink();
        s.flush();
        return code;
    };
    // When the upgrade told where it stopped and the way back, the link's own word on an unplug
    // would only send the user the wrong way.
    const auto oneStory = [&](bool done) {
        QCoreApplication::processEvents(); // messages queued by a lost device
        if (!upgrade.lastMessage().isEmpty())
            s.prompts->messages.removeIf(
                [](const QString &m) { return m.startsWith(QLatin1String("The pedal was disconnected.")); });
        if (!done) // the pedal did not restart after all
            s.prompts->messages.removeAll(CliPrompts::toolWords(QStringLiteral("Firmware Upgrade Complete, device will now restart")));
    };
    s.service().link(false);
    s.prompts->messages.clear();
    if (s.lost || !comm.linked) {
        if (s.lost)
            s.err << "Could not open " << comm.deviceSerialNumber << "\n";
        else
            s.err << CliPrompts::toolWords(comm.openFailureText()) << "\n";
        return Cli::Failed;
    }
    // First look for the bootloader (a pedal plugged in with SHIFT held, or left there by an
    // upgrade that stopped); a running firmware ignores the byte.
    const Bootloader::Answer found = upgrade.findBootloader();
    if (found == Bootloader::Answer::DeviceFailed || s.lost) {
        s.err << "The pedal went away while its bootloader was looked for. Nothing was written to it.\n";
        return finish(Cli::Failed);
    }
    if (found != Bootloader::Answer::Ack && found != Bootloader::Answer::NoAnswer) {
        s.err << "The pedal does not answer as its bootloader should: " << upgrade.bootloader().lastProblem()
              << ". Nothing was written to it. Switch the pedal off and on, holding SHIFT, and run the command again.\n";
        return finish(Cli::Failed);
    }
    if (found == Bootloader::Answer::NoAnswer) {
        // No bootloader: the pedal's firmware answers the device information request, or nothing does.
        comm.legacyUpgradeMode = false;
        s.service().requestDeviceInformation();
        s.prompts->messages.clear(); // "A firmware upgrade is required" and the like
        if (s.lost) {
            s.err << "The pedal went away while it was asked for its firmware. Nothing was written to it.\n";
            return finish(Cli::Failed);
        }
        if (!s.service().state().reported) {
            s.err << "The pedal answers nothing: neither its bootloader (0x7F, twice) nor its firmware (the device "
                     "information request). Check that it is powered and connected.\n";
            return finish(Cli::Failed);
        }
        const int running = s.service().state().reported->firmware;
        if (action != QLatin1String("upgrade")) {
            s.err << "The pedal is not in its bootloader: it runs its firmware (firmware " << running << ").\n";
            return finish(Cli::Failed);
        }
        if (running < 9) {
            s.err << QStringLiteral("The pedal runs firmware %1, which cannot enter its bootloader on request. Unplug "
                                    "it, connect it again while holding SHIFT, and run the command again.\n")
                         .arg(running);
            return finish(Cli::Failed);
        }
        s.err << "The pedal runs firmware " << running << ". Hold the pedal's SHIFT button";
        if (isatty(STDIN_FILENO)) {
            s.err << " and press Enter." << Qt::flush;
            QTextStream(stdin).readLine();
        } else {
            s.err << "; it enters its bootloader now.\n";
        }
        s.err.flush();
        upgrade.chooseUpgradeMode();
        s.flush();
        if (!comm.bootloaderLinked)
            return finish(Cli::Failed);
    } else {
        out << "The pedal is in its bootloader.\n";
    }

    if (action == QLatin1String("go")) {
        const auto r = upgrade.restartDevice();
        oneStory(r == FirmwareUpgrade::Outcome::Done);
        s.flush();
        if (r == FirmwareUpgrade::Outcome::Done && s.service().state().reported)
            out << "The pedal runs firmware " << s.service().state().reported->firmware << ".\n";
        return finish(r == FirmwareUpgrade::Outcome::Done ? Cli::Ok : Cli::Failed);
    }
    QByteArray image;
    QString what;
    const int number = o.firmware < 0 ? 15 : o.firmware; // a file comes with its number
    if (!o.file.isEmpty()) {
        image = fileImage; // read and checked before the port was opened
        what = QFileInfo(o.file).fileName();
    } else {
        what = QStringLiteral("Firmware_%1").arg(number);
        QString error;
        FirmwareImage::loadCarried(what, &image, &error);
    }
    if (action == QLatin1String("verify")) {
        const auto r = upgrade.verifyImage(image, number);
        oneStory(r == FirmwareUpgrade::Outcome::Done);
        s.flush();
        if (r == FirmwareUpgrade::Outcome::Done)
            out << "The pedal's flash holds " << what << ".\n";
        return finish(r == FirmwareUpgrade::Outcome::Done ? Cli::Ok : Cli::Failed);
    }

    upgrade.verifyAfterWriting = !o.noVerify;
    const bool terminal = isatty(STDOUT_FILENO);
    int shownTenth = -1;
    QElapsedTimer timer;
    timer.start();
    QObject::connect(&upgrade, &FirmwareUpgrade::progress, &upgrade,
                     [&](int block, int blocks, qint64 bytes, qint64 total, qint64 msLeft) {
                         const double rate = timer.elapsed() > 0 ? bytes * 1000.0 / timer.elapsed() : 0;
                         const QString line =
                             QStringLiteral("block %1/%2, %3 of %4 bytes, %5 KB/s, %6 s left")
                                 .arg(block)
                                 .arg(blocks)
                                 .arg(bytes)
                                 .arg(total)
                                 .arg(rate / 1024, 0, 'f', 1)
                                 .arg(msLeft < 0 ? QStringLiteral("?") : QString::number((msLeft + 999) / 1000));
                         if (terminal) {
                             out << "\r" << line << "   " << Qt::flush;
                         } else if (blocks > 0 && block * 10 / blocks != shownTenth) {
                             shownTenth = block * 10 / blocks;
                             out << line << "\n" << Qt::flush;
                         }
                     });
    const qsizetype asked = s.prompts->questions.size();
    const auto r = upgrade.upgradeImage(image, number, what);
    if (terminal)
        out << "\n";
    // The downgrade question, answered by --yes, is said with its answer.
    for (const QString &q : s.prompts->questions.mid(asked))
        s.err << q << " Yes (--yes).\n";
    if (upgrade.downgradedFrom() >= 0) {
        // The older firmware runs as asked: the editor's call for an upgrade is no news here.
        s.prompts->messages.removeIf([](const QString &m) {
            return m.startsWith(QLatin1String("A firmware upgrade is required")) ||
                   m.startsWith(QLatin1String("If current firmware is below 9"));
        });
    }
    oneStory(r == FirmwareUpgrade::Outcome::Done);
    s.flush();
    const auto &reported = s.service().state().reported;
    if (r == FirmwareUpgrade::Outcome::Done && upgrade.verifyAfterWriting)
        out << "Read back: the flash holds " << what << " and the firmware number record " << number << ".\n";
    if (r == FirmwareUpgrade::Outcome::Done && reported)
        out << "The pedal runs firmware " << reported->firmware << ".\n";
    else if (reported && comm.linked && !comm.bootloaderLinked)
        s.err << "The pedal reports firmware " << reported->firmware << ", not " << number << ".\n";
    return finish(r == FirmwareUpgrade::Outcome::Done ? Cli::Ok : Cli::Failed);
}
} // namespace

QString Cli::usage()
{
    return QStringLiteral(
        "usage: quarnelo-cli [--simulate | --port PATH | --serial SERIAL] [--yes] [--no-backup] COMMAND [ARGUMENTS]\n"
        "commands:\n"
        "  list        the FTDI devices: serial number and description, one per line\n"
        "  info        the pedal's firmware, algorithm, effect and every setting\n"
        "  send HEX    writes one raw message (hex digits, two per byte, at most 65536 bytes);\n"
        "              send - reads the hex from standard input, send @FILE from FILE\n"
        "  get         the twenty parameters: name, data word, and the control's value\n"
        "  upload-algorithm [FILE.dat]\n"
        "              sends the carried algorithm image (or a .dat file) and shows the answer (--yes)\n"
        "  upload-tuning\n"
        "              sends the tuning table (--yes)\n"
        "  preset save FILE\n"
        "              writes the pedal's twenty values to a preset file\n"
        "  preset load FILE\n"
        "              sends the values of a preset file that differ from the pedal's\n"
        "  set NAME VALUE\n"
        "              changes one parameter as the effect window does: a level 0..1023 for a\n"
        "              dial, on or off for a switch or check box, the item (-12..+12) for the\n"
        "              harmonic pitch\n"
        "  firmware upgrade [--firmware N | --file IMAGE --firmware N] [--no-verify]\n"
        "              writes carried firmware N (5..15, default 15), or an image file recorded\n"
        "              as firmware N, into the pedal through its bootloader, reads it back with\n"
        "              its firmware number, starts it (--yes); a pedal running firmware 9 or\n"
        "              newer is asked to enter its bootloader (hold SHIFT); a firmware older\n"
        "              than the pedal's is asked about, and --yes answers yes\n"
        "  firmware go leaves the bootloader: the pedal starts the firmware in its flash\n"
        "  memory erase [--address 50|51]\n"
        "              saves a backup, then erases the pedal's settings memory (--yes)\n"
        "  memory dump FILE [--address 50|51]\n"
        "              reads the 16384 bytes of the settings memory into FILE\n"
        "  diff FILE   the parameters where the pedal and a preset file differ, one a line:\n"
        "              name, the pedal's word, the file's word; exit 0 when they are the same,\n"
        "              1 when they differ, 2 when either cannot be read (as diff does)\n"
        "  check-update\n"
        "              the editor's version, the newest one on the update server, and whether\n"
        "              an update is available (QUARNELO_UPDATE_SERVER names another server)\n"
        "  restore BACKUP\n"
        "              shows what differs from a backup (its snapshot.json, or its preset or\n"
        "              report), sends it, saves the assignable values, reads the pedal again and\n"
        "              checks it; exit 0 only when the pedal reports everything back (--yes)\n"
        "  backup [DIR]\n"
        "              saves the pedal's settings as a preset file, a readable report and a\n"
        "              snapshot that restore reads, named with the date, time and serial number,\n"
        "              in DIR (default: the editor's Backups folder)\n"
        "  firmware verify [--firmware N | --file IMAGE --firmware N]\n"
        "              compares the pedal's flash with an image and its firmware number record\n"
        "              with N (the pedal in its bootloader)\n"
        "Commands that change the pedal in a large way (memory erase, upload-algorithm, firmware\n"
        "upgrade of a running pedal, send of an erase 0B.. or enter-bootloader 05.. message) save a\n"
        "backup first and refuse when none can be made; --yes never stands in for it, only\n"
        "--no-backup goes on without one.\n"
        "A pedal running an effect that is not in the effect list: get, set, preset, diff and backup\n"
        "refuse, since what its parameter words mean is not known; info shows what it reports, and an\n"
        "upload is checked afterwards by asking the pedal again (the backup before a large change is\n"
        "still made, from the words the pedal reports).\n"
        "options may stand anywhere, each once; --help and --version print and exit.\n"
        "Without a target the first FTDI device is used.\n"
        "exit codes: 0 done, 1 failed or refused, 2 no device found, 64 bad usage.\n");
}

namespace {
int runCommand(const QStringList &args, QTextStream &out, QTextStream &err, Clock *pedalClock);
}

namespace {
int runSafely(const QStringList &args, QTextStream &out, QTextStream &err, Clock *pedalClock)
{
    // Whatever a command prints, from the pedal, a file, a server or the arguments, reaches the
    // terminal with its control characters escaped.
    CliSafety::TerminalSafeDevice outDevice(out);
    CliSafety::TerminalSafeDevice errDevice(err);
    QTextStream safeOut(&outDevice);
    QTextStream safeErr(&errDevice);
    const int code = runCommand(args, safeOut, safeErr, pedalClock);
    safeOut.flush();
    safeErr.flush();
    return code;
}
} // namespace

int Cli::run(const QStringList &args, QTextStream &out, QTextStream &err) { return runSafely(args, out, err, nullptr); }

int Cli::run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock)
{
    return runSafely(args, out, err, &clock);
}

namespace {
int runCommand(const QStringList &args, QTextStream &out, QTextStream &err, Clock *pedalClock)
{
    using namespace Cli;
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
    QStringList rest = o.command.mid(1);
    static const QHash<QString, QPair<int, int>> arguments = {
        {"list", {0, 0}}, {"info", {0, 0}}, {"get", {0, 0}}, {"send", {1, 1}}, {"set", {2, 2}},
        {"upload-algorithm", {0, 1}}, {"upload-tuning", {0, 0}}, {"preset", {2, 2}}, {"firmware", {1, 1}},
        {"memory", {1, 2}}, {"backup", {0, 1}}, {"check-update", {0, 0}}, {"diff", {1, 1}}, {"restore", {1, 1}}};
    if (!arguments.contains(cmd))
        return usageError(QStringLiteral("unknown command ") + echo(cmd));
    const auto [least, most] = arguments.value(cmd);
    if (rest.size() < least || rest.size() > most) {
        if (cmd == QLatin1String("send"))
            return usageError(QStringLiteral("send needs one HEX argument"));
        if (cmd == QLatin1String("set"))
            return usageError(QStringLiteral("set needs NAME and VALUE (quote a name with blanks: set \"Sub Mix\" 300)"));
        if (cmd == QLatin1String("preset"))
            return usageError(QStringLiteral("usage: preset save FILE | preset load FILE"));
        if (cmd == QLatin1String("upload-algorithm") || cmd == QLatin1String("upload-tuning"))
            return usageError(QStringLiteral("usage: upload-algorithm [FILE.dat] | upload-tuning"));
        if (cmd == QLatin1String("firmware"))
            return usageError(QStringLiteral("usage: firmware upgrade|go|verify"));
        if (cmd == QLatin1String("memory"))
            return usageError(QStringLiteral("usage: memory erase | memory dump FILE"));
        if (cmd == QLatin1String("backup"))
            return usageError(QStringLiteral("usage: backup [DIR]"));
        if (cmd == QLatin1String("restore"))
            return usageError(QStringLiteral("usage: restore BACKUP (a backup's snapshot.json)"));
        return usageError(QStringLiteral("%1 takes no arguments, not '%2'").arg(cmd, echo(rest.join(QLatin1Char(' ')))));
    }
    if (cmd == QLatin1String("send")) {
        // "send -" and "send @FILE" take the hex from standard input or a file: the longest
        // message is longer than one argument may be.
        QString problem;
        if (!CliSafety::sendHex(rest[0], 2 * D2XXUnit::BufferSize, &rest[0], &problem)) {
            err << problem << ". Nothing was sent.\n";
            return Failed;
        }
    }
    const bool firmwareCommand = cmd == QLatin1String("firmware");
    if (firmwareCommand && !QStringList{"upgrade", "go", "verify"}.contains(rest[0]))
        return usageError(QStringLiteral("usage: firmware upgrade|go|verify"));
    if ((o.firmware >= 0 || !o.file.isEmpty()) && !(firmwareCommand && rest[0] != QLatin1String("go")))
        return usageError(QStringLiteral("--firmware and --file go with firmware upgrade and firmware verify"));
    if (o.noVerify && !(firmwareCommand && rest[0] == QLatin1String("upgrade")))
        return usageError(QStringLiteral("--no-verify goes with firmware upgrade"));
    if (!o.file.isEmpty() && o.firmware < 0)
        return usageError(QStringLiteral("--file needs --firmware N: the number the pedal records for the image"));
    const bool memoryCommand = cmd == QLatin1String("memory");
    if (memoryCommand && !((rest[0] == QLatin1String("erase") && rest.size() == 1) ||
                           (rest[0] == QLatin1String("dump") && rest.size() == 2)))
        return usageError(QStringLiteral("usage: memory erase | memory dump FILE"));
    if (!o.address.isEmpty() && !memoryCommand)
        return usageError(QStringLiteral("--address goes with memory erase and memory dump"));
    if (memoryCommand && rest[0] == QLatin1String("dump")) {
        // Where the dump goes is checked before the pedal is asked for it: a regular file or a
        // new name, never a device or a pipe it would replace.
        const FileWriting::Target target = FileWriting::checkTarget(rest[1]);
        if (target != FileWriting::Target::Writable) {
            err << rest[1] << " cannot be written: "
                << (target == FileWriting::Target::NoFolder     ? QStringLiteral("its folder does not exist")
                    : target == FileWriting::Target::BrokenLink ? QStringLiteral("it is a link to nothing")
                                                                : QStringLiteral("it is ") + FileWriting::kindText(target))
                << ". Nothing was sent.\n";
            return Failed;
        }
    }
    PresetFile::PresetValues diffValues{};
    if (cmd == QLatin1String("diff")) {
        // The file is read whole before the pedal is asked; trouble exits with 2, as diff does.
        QString message;
        if (!PresetFile::load(rest[0], &diffValues, &message)) {
            err << message << "\n";
            return NoDevice;
        }
    }
    if (cmd == QLatin1String("backup") && rest.size() == 1 && QFileInfo(rest[0]).exists() && !QFileInfo(rest[0]).isDir()) {
        err << rest[0] << " is not a folder. Nothing was sent.\n";
        return Failed;
    }
    QByteArray fileImage;
    if (firmwareCommand && !o.file.isEmpty()) {
        // The image is read and checked before anything is opened.
        QString problem;
        if (FirmwareImage::readFile(o.file, &fileImage, &problem)) {
            QByteArray checked = fileImage;
            problem = FirmwareImage::check(&checked);
        }
        if (!problem.isEmpty()) {
            err << QFileInfo(o.file).fileName() << " cannot be written: " << problem << ". Nothing was sent.\n";
            return Failed;
        }
    }
    if (cmd == QLatin1String("restore")) {
        // The backup is read whole before the pedal is asked.
        BackupSnapshot backup;
        QString problem;
        if (!BackupSnapshot::load(rest[0], &backup, &problem)) {
            err << problem << ". Nothing was sent.\n";
            return Failed;
        }
    }
    // A raw message that erases the settings memory or sends the pedal into its bootloader is
    // confirmed, and a backup is made first, as for memory erase and firmware upgrade.
    const bool destructiveSend = cmd == QLatin1String("send") && isHexText(rest[0]) &&
                                 (rest[0].startsWith(QLatin1String("0B"), Qt::CaseInsensitive) ||
                                  rest[0].startsWith(QLatin1String("05")));
    if (destructiveSend && !o.yes)
        return usageError(QStringLiteral("%1 %2; add --yes to confirm")
                              .arg(echo(rest[0]),
                                   rest[0].startsWith(QLatin1String("05"))
                                       ? QStringLiteral("asks the pedal to enter its bootloader")
                                       : QStringLiteral("erases the pedal's settings memory")));
    if (o.noBackup && !(destructiveSend || cmd == QLatin1String("upload-algorithm") ||
                        (cmd == QLatin1String("memory") && rest[0] == QLatin1String("erase")) ||
                        (firmwareCommand && rest[0] == QLatin1String("upgrade"))))
        return usageError(QStringLiteral("--no-backup goes with memory erase, upload-algorithm, firmware upgrade and a "
                                         "send that erases or enters the bootloader"));
    const bool asks = cmd == QLatin1String("restore") || cmd == QLatin1String("upload-algorithm") || cmd == QLatin1String("upload-tuning") ||
                      (firmwareCommand && rest[0] != QLatin1String("verify")) ||
                      (memoryCommand && rest[0] == QLatin1String("erase"));
    if (asks && !o.yes)
        return usageError((memoryCommand ? QStringLiteral("memory erase erases the pedal's settings memory")
                                         : cmd + QStringLiteral(" changes the pedal in a large way")) +
                          QStringLiteral("; add --yes to confirm"));
    if (cmd == QLatin1String("send") && !isHexText(rest[0]))
        return usageError(QStringLiteral("'%1' is not hex text (two hex digits per byte)").arg(echo(rest[0])));
    if (cmd == QLatin1String("send") && rest[0].size() / 2 > D2XXUnit::BufferSize)
        return usageError(QStringLiteral("send writes at most %1 bytes, not %2").arg(D2XXUnit::BufferSize).arg(rest[0].size() / 2));
    if (cmd == QLatin1String("preset")) {
        if (rest[0] != QLatin1String("save") && rest[0] != QLatin1String("load"))
            return usageError(QStringLiteral("usage: preset save FILE | preset load FILE"));
        // A file that is not a preset, or a place a preset cannot be saved, is refused before the
        // pedal is linked.
        QString message;
        if (rest[0] == QLatin1String("load")) {
            PresetFile::PresetValues values{};
            if (!PresetFile::load(rest[1], &values, &message)) {
                err << message << "\n";
                return Failed;
            }
        } else if (!PresetFile::canWrite(PresetFile::withExtension(rest[1]), &message)) {
            err << "Error saving file: " << message << "\n";
            return Failed;
        }
    }
    if (cmd == QLatin1String("upload-algorithm") && rest.size() == 1) {
        QByteArray image;
        QString message;
        if (!Uploads::readImageFile(rest[0], &image, &message)) {
            err << message << "\n";
            return Failed;
        }
    }
    int parameter = -1;
    std::optional<int> setState;
    if (cmd == QLatin1String("set")) {
        for (int i = 0; i < ParameterCatalogue::Count; ++i) {
            if (rest[0].compare(QLatin1String(ParameterCatalogue::all()[size_t(i)].name), Qt::CaseInsensitive) == 0)
                parameter = i;
        }
        if (parameter < 0)
            return usageError(QStringLiteral("no parameter is named ") + echo(rest[0]));
        QString takes;
        const QString value = rest[1].trimmed();
        setState = requestedState(parameter, value, &takes);
        if (!setState)
            return usageError(QStringLiteral("%1 takes %2, not '%3'").arg(ParameterCatalogue::name(parameter), takes, echo(value)));
    }
    if (!o.port.isEmpty()) {
        int code = NoDevice;
        const QString problem = CliSafety::portProblem(o.port, &code);
        if (!problem.isEmpty()) {
            err << problem << "\n";
            return code;
        }
    }

    SystemClock systemClock;
    Clock &clock = pedalClock ? *pedalClock : systemClock;
    CliPrompts prompts(o.yes, o.noBackup);
    if (cmd == QLatin1String("check-update")) {
        if (o.simulate || !o.port.isEmpty() || !o.serial.isEmpty())
            return usageError(QStringLiteral("check-update asks the update server, not a pedal"));
        return runCheckUpdate(systemClock, prompts, out, err);
    }
    std::unique_ptr<FtdiBackend> backend;
    if (o.simulate)
        backend = std::make_unique<SimBackend>(&clock);
    else
        // The ports are looked through once a run, and not at all when --port names the device.
        backend = std::make_unique<SerialPortBackend>(
            o.port.isEmpty() ? QStringList() : QStringList{o.port},
            o.port.isEmpty() ? SerialPortBackend::PortScan::Once : SerialPortBackend::PortScan::Never);
    Session session(backend.get(), &prompts, &clock, err, cmd == QLatin1String("preset") || cmd == QLatin1String("memory") ? cmd + ' ' + rest[0] : cmd);
    D2XXUnit &d2xx = *session.core.d2xx;

    d2xx.GetFTDeviceCount();
    if (cmd == QLatin1String("list")) {
        if (d2xx.FTDeviceCount == 0) {
            err << "No device found\n";
            return NoDevice;
        }
        for (quint32 i = 0; i < d2xx.FTDeviceCount; ++i) {
            d2xx.GetFTDeviceSerialNo(int(i));
            const QString serial = QString::fromLatin1(d2xx.FTDeviceString);
            d2xx.GetFTDeviceDescription(int(i));
            out << serial << "\t" << QString::fromLatin1(d2xx.FTDeviceString) << "\n";
        }
        return Ok;
    }

    // Choose the device to link.
    QString serial = o.serial;
    QString description;
    for (quint32 i = 0; i < d2xx.FTDeviceCount; ++i) {
        d2xx.GetFTDeviceSerialNo(int(i));
        const QString s = QString::fromLatin1(d2xx.FTDeviceString);
        if (serial.isEmpty() ? (o.port.isEmpty() || s == o.port) : s == serial) {
            serial = s;
            d2xx.GetFTDeviceDescription(int(i));
            description = QString::fromLatin1(d2xx.FTDeviceString);
            break;
        }
    }
    if (description.isEmpty()) {
        err << "No device found\n";
        return NoDevice;
    }
    Communication &comm = session.core.comm;
    comm.deviceSerialNumber = serial;
    comm.deviceLabel = description;

    if (cmd == QLatin1String("send"))
        return runSend(session, rest[0], destructiveSend, out);
    if (cmd == QLatin1String("firmware"))
        return runFirmware(session, o, fileImage, out);

    // Save Local Preset asks the pedal for its settings itself.
    const bool commandAsks = cmd == QLatin1String("preset") && rest[0] == QLatin1String("save");
    switch (session.link(!commandAsks)) {
    case Session::Linked::Yes:
        break;
    case Session::Linked::NotOpened:
        err << "Could not open " << serial << "\n";
        return cmd == QLatin1String("diff") ? NoDevice : Failed; // for diff, 1 means "they differ"
    case Session::Linked::Lost:
        session.done(Failed); // the pedal went away while it was being asked
        return cmd == QLatin1String("diff") ? NoDevice : Failed;
    }
    if (cmd == QLatin1String("info")) {
        const std::optional<DeviceInformation> &reported = session.service().state().reported;
        if (!reported)
            return session.done(Failed);
        for (const QString &line : DeviceReport::describe(*reported))
            out << line << "\n";
        return session.done(Ok);
    }
    if (cmd == QLatin1String("get"))
        return runGet(session, out);
    if (cmd == QLatin1String("set"))
        return runSet(session, parameter, *setState, out);
    if (cmd == QLatin1String("preset"))
        return runPreset(session, rest[0], rest[1], out);
    if (cmd == QLatin1String("memory"))
        return runMemory(session, o, rest, out);
    if (cmd == QLatin1String("backup"))
        return runBackup(session, rest, out);
    if (cmd == QLatin1String("diff"))
        return runDiff(session, diffValues, out);
    if (cmd == QLatin1String("restore"))
        return runRestore(session, rest[0], out);
    return runUpload(session, o.command, out);
}
} // namespace
