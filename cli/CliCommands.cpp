#include "cli/CliCommands.h"

#include "pedal/EditorCore.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "algorithms/EffectList.h"
#include "algorithms/Uploads.h"
#include "presets/PresetFile.h"
#include "device/DeviceInformation.h"
#include "pedal/DeviceReport.h"
#include "pedal/ControlStates.h"
#include "pedal/DialMath.h"
#include "device/PedalMessages.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/ParameterRecords.h"
#include "device/HexCodec.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <memory>

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

// The parameter addresses of the algorithm the pedal runs, from the header of its image.
bool loadPedalAddresses(const Communication &comm, EffectParameters *P, QTextStream &err)
{
    QStringList lines;
    QString error;
    if (!EffectList::LoadResourceToList(QStringLiteral("QUARNELO_MK3_") + comm.DeviceAlgorithmText, &lines, &error)) {
        err << "The pedal runs algorithm " << comm.DeviceAlgorithmText << ", which this editor does not carry\n";
        return false;
    }
    P->loadParameterAddresses(lines.value(0));
    return true;
}

template <typename Flush>
int runParameterCommand(Communication &comm, EditorCore &ctx, const QStringList &command, int parameter,
                        QTextStream &out, QTextStream &err, Flush flushMessages)
{
    comm.Link();
    flushMessages();
    if (!comm.Linked)
        return Cli::Failed;
    if (comm.ReplyBytes.size() < Communication::CompleteAnswerValues) {
        comm.menuDisconnectClick();
        return Cli::Failed;
    }
    const QByteArray &r = comm.ReplyBytes;
    const auto words = DeviceInformation::fromValues(r)->parameterWords;
    if (command[0] == QLatin1String("get")) {
        for (int i = 0; i < 20; ++i)
            out << ParameterCatalogue::all()[size_t(i)].name << " " << HexCodec::hexNumber(words[size_t(i)], 8) << " "
                << controlValue(i, words[size_t(i)]) << "\n";
        comm.menuDisconnectClick();
        return Cli::Ok;
    }

    EffectParameters P;
    if (!loadPedalAddresses(comm, &P, err)) {
        comm.menuDisconnectClick();
        return Cli::Failed;
    }

    const ParameterInfo &info = ParameterCatalogue::all()[size_t(parameter)];
    const QString value = command[2].trimmed();
    const QString name = P.name(parameter);
    const auto bad = [&](const QString &what) {
        err << "quarnelo-cli: " << name << " takes " << what << ", not '" << value << "'\n";
        comm.menuDisconnectClick();
        return int(Cli::Usage);
    };
    int state = 0;
    bool ok = false;
    switch (info.control) {
    case ControlKind::Dial: {
        const int level = value.toInt(&ok);
        if (!ok || level < 0 || level > DialMath::MaxLevel)
            return bad(QStringLiteral("a level from 0 to 1023"));
        // The dial moves in whole degrees: the level of the nearest position goes out.
        state = DialMath::positionToAngle(int(std::lround(level * double(DialMath::MaxPosition) / DialMath::MaxLevel)));
        break;
    }
    case ControlKind::Switch:
    case ControlKind::CheckBox:
        if (value.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
            state = 1;
        else if (value.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
            state = 0;
        else
            return bad(QStringLiteral("on or off"));
        if (info.control == ControlKind::CheckBox && state == 1 && quint8(r[5]) == 0) {
            err << "Set a tuning before using this parameter\n";
            comm.menuDisconnectClick();
            return Cli::Failed;
        }
        break;
    case ControlKind::List: {
        const int semitones = value.toInt(&ok);
        if (!ok || semitones < -12 || semitones > 12)
            return bad(QStringLiteral("an item from -12 to +12"));
        state = semitones + 12;
        break;
    }
    }
    QStringList messages;
    const QString text = ControlStates::messageFor(parameter, state, P.address(parameter));
    for (int t = 0; t < ControlStates::timesSent(parameter); ++t) {
        ctx.log.WriteLogLine(ControlStates::logLine(parameter, name, text));
        messages << text;
    }
    for (const QString &m : messages) {
        comm.SendHexMessage(m, 7);
        out << "sent: " << m << "\n";
    }
    ctx.clock->pause(50); // let the bytes leave before the line is closed
    comm.menuDisconnectClick();
    return Cli::Ok;
}
template <typename Flush>
int runDataCommand(EditorCore &ctx, const QStringList &command, const PresetFile::PresetValues &preset,
                   QTextStream &out, QTextStream &err, Flush flushMessages)
{
    Communication &comm = ctx.comm;
    const QString cmd = command[0];
    comm.Link();
    flushMessages();
    if (!comm.Linked)
        return Cli::Failed;
    const bool complete = comm.ReplyBytes.size() >= Communication::CompleteAnswerValues;
    const auto done = [&](int code) {
        flushMessages();
        comm.menuDisconnectClick();
        return code;
    };

    if (cmd == QLatin1String("upload-algorithm") || cmd == QLatin1String("upload-tuning")) {
        Uploads uploads(ctx);
        Uploads::Result result;
        if (cmd == QLatin1String("upload-tuning")) {
            result = uploads.menuUploadTuningsDataClick();
        } else if (command.size() == 2) {
            result = uploads.uploadFile(command[1]);
        } else {
            QStringList effects;
            QString error;
            EffectList::LoadResourceToList(QStringLiteral("octave"), &effects, &error);
            const int effect = complete ? comm.DeviceEffectNumberText.toInt() : 0;
            ctx.SelectedEffectName = effects.value(effect);
            result = uploads.btnUploadClick();
        }
        if (result != Uploads::Result::Done)
            return done(Cli::Failed);
        if (!uploads.status.isEmpty())
            out << "answer: " << uploads.status << "\n";
        if (cmd == QLatin1String("upload-tuning"))
            out << "sent: 641 bytes of tuning data\n";
        return done(Cli::Ok);
    }

    if (!complete)
        return done(Cli::Failed);
    const PresetFile::PresetValues current = DeviceInformation::fromValues(comm.ReplyBytes)->parameterWords;
    if (command[1] == QLatin1String("save")) {
        const QString path = PresetFile::withExtension(command[2]);
        QString error;
        if (!PresetFile::write(path, current, &error)) {
            err << "Error saving file: " << error << "\n";
            return done(Cli::Failed);
        }
        out << "File saved successfully: " << path << "\n";
        return done(Cli::Ok);
    }

    // preset load: what the effect window sends when the preset's values go on its controls.
    EffectParameters P;
    if (!loadPedalAddresses(comm, &P, err))
        return done(Cli::Failed);
    int sent = 0;
    for (int i = 0; i < PresetFile::Values; ++i) {
        const std::optional<int> before = ControlStates::shownState(i, current[size_t(i)]);
        std::optional<int> after = ControlStates::shownState(i, preset[size_t(i)]);
        if (!after || after == before)
            continue;
        const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
        if (info.control == ControlKind::CheckBox && *after == 1 && quint8(comm.ReplyBytes[5]) == 0) {
            err << "Set a tuning before using this parameter\n";
            after = 0; // refused: the value 0 is sent, as the effect window does
        }
        const QString text = ControlStates::messageFor(i, *after, P.address(i));
        for (int t = 0; t < ControlStates::timesSent(i); ++t) {
            ctx.log.WriteLogLine(ControlStates::logLine(i, P.name(i), text));
            comm.SendHexMessage(text, 7);
            out << "sent: " << text << "\n";
            ++sent;
        }
    }
    ctx.clock->pause(50); // let the bytes leave before the line is closed
    out << sent << " messages sent\n";
    return done(Cli::Ok);
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
    PresetFile::PresetValues presetValues{};
    if (cmd == QLatin1String("preset")) {
        const QString action = o.command.value(1);
        if (o.command.size() != 3 || (action != QLatin1String("save") && action != QLatin1String("load"))) {
            err << "quarnelo-cli: usage: preset save FILE | preset load FILE\n";
            return Usage;
        }
        QString message;
        if (action == QLatin1String("load") && !PresetFile::load(o.command[2], &presetValues, &message)) {
            err << message << "\n";
            return Failed;
        }
    }
    int parameter = -1;
    if (cmd == QLatin1String("set")) {
        for (int i = 0; i < ParameterCatalogue::Count; ++i) {
            if (o.command[1].compare(QLatin1String(ParameterCatalogue::all()[size_t(i)].name), Qt::CaseInsensitive) == 0)
                parameter = i;
        }
        if (parameter < 0) {
            err << "quarnelo-cli: no parameter is named " << o.command[1] << "\n";
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
    EditorCore ctx(QString(), &prompts, &clock, backend.get());
    Communication &comm = ctx.comm;
    D2XXUnit &d2xx = *ctx.d2xx;
    const auto flushMessages = [&] {
        for (const QString &m : prompts.messages)
            err << m << "\n";
        prompts.messages.clear();
    };

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
    comm.DeviceSerialNumber = serial;
    comm.deviceLabel = description;
    comm.SetLineSettings(Communication::NormalLine);

    if (cmd == QLatin1String("get") || cmd == QLatin1String("set"))
        return runParameterCommand(comm, ctx, o.command, parameter, out, err, flushMessages);
    if (asks || cmd == QLatin1String("preset"))
        return runDataCommand(ctx, o.command, presetValues, out, err, flushMessages);

    if (cmd == QLatin1String("info")) {
        comm.Link();
        flushMessages();
        if (!comm.Linked) {
            err << "Could not open " << serial << "\n";
            return Failed;
        }
        if (comm.ReplyBytes.size() < Communication::CompleteAnswerValues) {
            comm.menuDisconnectClick();
            return Failed;
        }
        for (const QString &line : DeviceReport::describe(*DeviceInformation::fromValues(comm.ReplyBytes)))
            out << line << "\n";
        comm.menuDisconnectClick();
        return Ok;
    }

    // send HEX
    const QString hex = o.command[1];
    static const QRegularExpression hexText(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    if (!hexText.match(hex).hasMatch() || hex.size() / 2 > 65536) {
        err << "quarnelo-cli: '" << hex << "' is not hex text (two hex digits per byte)\n";
        return Usage;
    }
    if (!comm.OpenLink()) {
        flushMessages();
        err << "Could not open " << serial << "\n";
        return Failed;
    }
    comm.Linked = true;
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    comm.SendHexMessage(hex.toUpper(), int(bytes.size()));
    const bool writeFailed = d2xx.FTLastIOStatus != 0;
    clock.pause(100); // let the bytes leave and a quick answer come back
    QByteArray answer;
    while (d2xx.GetFTDeviceQueueStatus() == 0 && d2xx.FTQueuedBytes > 0 && answer.size() < D2XXUnit::BufferSize) {
        const quint32 n = d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        answer.append(reinterpret_cast<const char *>(d2xx.FTReceiveBuffer.data()), int(n));
        if (n == 0)
            break;
    }
    comm.menuDisconnectClick();
    if (writeFailed) {
        err << "Writing to " << serial << " failed:" << D2XXUnit::statusText(d2xx.FTLastIOStatus) << "\n";
        return Failed;
    }
    out << "sent: " << HexCodec::bytesToHexText(bytes) << "\n";
    if (!answer.isEmpty())
        out << "answer: " << HexCodec::bytesToHexText(answer) << "\n";
    return Ok;
}
