#include "cli/CliCommands.h"

#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "device/SerialPortBackend.h"
#include "pedal/DeviceReport.h"
#include "pedal/DialMath.h"
#include "pedal/EditorCore.h"
#include "pedal/ParameterCatalogue.h"
#include "presets/PresetFile.h"
#include "simulator/SimBackend.h"
#include "support/Clock.h"
#include "support/Prompts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <memory>
#include <optional>

namespace {
// Messages meant for a message box become lines on stderr.
class CliPrompts : public Prompts {
public:
    explicit CliPrompts(bool yes) : m_yes(yes) {}
    void message(const QString &text) override { messages << QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")); }
    bool question(const QString &text) override
    {
        questions << text;
        return m_yes;
    }
    QString openFile(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    void openExternal(const QUrl &) override {}
    QStringList messages;
    QStringList questions;

private:
    bool m_yes;
};

struct Options {
    bool simulate = false;
    QString port;
    QString serial;
    bool yes = false;
    QStringList command;
};

bool parse(const QStringList &args, Options *o, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!o->command.isEmpty()) {
            o->command << a;
        } else if (a == QLatin1String("--simulate")) {
            o->simulate = true;
        } else if (a == QLatin1String("--yes")) {
            o->yes = true;
        } else if (a == QLatin1String("--port") || a == QLatin1String("--serial")) {
            if (i + 1 >= args.size()) {
                *error = a + QStringLiteral(" needs a value");
                return false;
            }
            (a == QLatin1String("--port") ? o->port : o->serial) = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            o->command << a;
        }
    }
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
    Session(FtdiBackend *backend, CliPrompts *prompts_, SystemClock *clock_, QTextStream &err_)
        : core(QString(), prompts_, clock_, backend), prompts(prompts_), clock(clock_), err(err_)
    {
    }
    EditorCore core;
    CliPrompts *prompts;
    SystemClock *clock;
    QTextStream &err;
    QStringList written;

    PedalService &service() { return core.service; }
    void flush()
    {
        for (const QString &m : prompts->messages)
            err << m << "\n";
        prompts->messages.clear();
    }
    // Links and asks the pedal for its settings; from then on every message written is counted.
    bool link()
    {
        service().link();
        flush();
        QObject::connect(&core.comm, &Communication::messageWritten, &core.comm,
                         [this](const QString &text) { written << text; });
        return core.comm.linked;
    }
    int done(int code)
    {
        clock->pause(50); // let the bytes leave before the line is closed
        flush();
        service().unlink();
        return code;
    }
};

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
    if (r == PedalService::Result::Done)
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
    if (result != PedalService::UploadResult::Done)
        return s.done(Cli::Failed);
    if (!pedal.uploadStatus().isEmpty())
        out << "answer: " << pedal.uploadStatus() << "\n";
    if (command[0] == QLatin1String("upload-tuning"))
        out << "sent: 641 bytes of tuning data\n";
    return s.done(Cli::Ok);
}

// send HEX: one raw message on the line, without the device information request.
int runSend(Session &s, const QString &serial, const QString &hex, QTextStream &out)
{
    Communication &comm = s.core.comm;
    D2XXUnit &d2xx = *s.core.d2xx;
    if (!comm.link()) {
        s.flush();
        s.err << "Could not open " << serial << "\n";
        return Cli::Failed;
    }
    comm.pollTimer->stop(); // the answer is read here, not by the background poll
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    comm.sendHexMessage(hex.toUpper(), int(bytes.size()));
    const bool writeFailed = d2xx.FTLastIOStatus != 0;
    s.clock->pause(100); // let the bytes leave and a quick answer come back
    QByteArray answer;
    while (d2xx.GetFTDeviceQueueStatus() == 0 && d2xx.FTQueuedBytes > 0 && answer.size() < D2XXUnit::BufferSize) {
        const quint32 n = d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        answer.append(reinterpret_cast<const char *>(d2xx.FTReceiveBuffer.data()), int(n));
        if (n == 0)
            break;
    }
    comm.unlink();
    if (writeFailed) {
        s.err << "Writing to " << serial << " failed:" << D2XXUnit::statusText(d2xx.FTLastIOStatus) << "\n";
        return Cli::Failed;
    }
    out << "sent: " << HexCodec::bytesToHexText(bytes) << "\n";
    if (!answer.isEmpty())
        out << "answer: " << HexCodec::bytesToHexText(answer) << "\n";
    return Cli::Ok;
}
} // namespace

QString Cli::usage()
{
    return QStringLiteral(
        "usage: quarnelo-cli [--simulate | --port PATH | --serial SERIAL] [--yes] COMMAND\n"
        "commands:\n"
        "  list        the FTDI devices: serial number and description, one per line\n"
        "  info        the pedal's firmware, algorithm, effect and every setting\n"
        "  send HEX    writes one raw message (hex digits, two per byte)\n"
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
        "Without a target the first FTDI device is used.\n");
}

int Cli::run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    Options o;
    QString error;
    if (!parse(args, &o, &error)) {
        err << "quarnelo-cli: " << error << "\n" << usage();
        return Usage;
    }
    const QString cmd = o.command.first();
    static const QStringList commands = {"list", "info", "send", "get", "set", "upload-algorithm", "upload-tuning", "preset"};
    if (!commands.contains(cmd)) {
        err << "quarnelo-cli: unknown command " << cmd << "\n" << usage();
        return Usage;
    }
    if (cmd == QLatin1String("send") && o.command.size() != 2) {
        err << "quarnelo-cli: send needs one HEX argument\n";
        return Usage;
    }
    if (cmd == QLatin1String("set") && o.command.size() != 3) {
        err << "quarnelo-cli: set needs NAME and VALUE (quote a name with blanks: set \"Sub Mix\" 300)\n";
        return Usage;
    }
    const bool asks = cmd == QLatin1String("upload-algorithm") || cmd == QLatin1String("upload-tuning");
    if (asks && !o.yes) {
        err << "quarnelo-cli: " << cmd << " changes the pedal in a large way; add --yes to confirm\n";
        return Usage;
    }
    if ((cmd == QLatin1String("upload-algorithm") && o.command.size() > 2) ||
        (cmd == QLatin1String("upload-tuning") && o.command.size() != 1)) {
        err << "quarnelo-cli: usage: upload-algorithm [FILE.dat] | upload-tuning\n";
        return Usage;
    }
    if (cmd == QLatin1String("preset")) {
        const QString action = o.command.value(1);
        if (o.command.size() != 3 || (action != QLatin1String("save") && action != QLatin1String("load"))) {
            err << "quarnelo-cli: usage: preset save FILE | preset load FILE\n";
            return Usage;
        }
        // A file that is not a preset is refused before the pedal is linked.
        PresetFile::PresetValues values{};
        QString message;
        if (action == QLatin1String("load") && !PresetFile::load(o.command[2], &values, &message)) {
            err << message << "\n";
            return Failed;
        }
    }
    int parameter = -1;
    std::optional<int> setState;
    if (cmd == QLatin1String("set")) {
        for (int i = 0; i < ParameterCatalogue::Count; ++i) {
            if (o.command[1].compare(QLatin1String(ParameterCatalogue::all()[size_t(i)].name), Qt::CaseInsensitive) == 0)
                parameter = i;
        }
        if (parameter < 0) {
            err << "quarnelo-cli: no parameter is named " << o.command[1] << "\n";
            return Usage;
        }
        QString takes;
        const QString value = o.command[2].trimmed();
        setState = requestedState(parameter, value, &takes);
        if (!setState) {
            err << "quarnelo-cli: " << ParameterCatalogue::name(parameter) << " takes " << takes << ", not '" << value
                << "'\n";
            return Usage;
        }
    }

    SystemClock clock;
    CliPrompts prompts(o.yes);
    std::unique_ptr<FtdiBackend> backend;
    if (o.simulate)
        backend = std::make_unique<SimBackend>(&clock);
    else
        backend = std::make_unique<SerialPortBackend>(o.port.isEmpty() ? QStringList() : QStringList{o.port});
    Session session(backend.get(), &prompts, &clock, err);
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

    if (cmd == QLatin1String("send")) {
        const QString hex = o.command[1];
        static const QRegularExpression hexText(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
        if (!hexText.match(hex).hasMatch() || hex.size() / 2 > 65536) {
            err << "quarnelo-cli: '" << hex << "' is not hex text (two hex digits per byte)\n";
            return Usage;
        }
        return runSend(session, serial, hex, out);
    }

    if (!session.link()) {
        err << "Could not open " << serial << "\n";
        return Failed;
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
        return runPreset(session, o.command[1], o.command[2], out);
    return runUpload(session, o.command, out);
}
