#include "cli/CliCommands.h"

#include "app/EditorContext.h"
#include "app/Interaction.h"
#include "algorithms/EffectList.h"
#include "device/DeviceReport.h"
#include "effect/EffectMath.h"
#include "effect/EffectMessages.h"
#include "effect/ParameterCatalogue.h"
#include "effect/ParameterRecords.h"
#include "device/FunctionsUnit.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimBackend.h"

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
        return QString::number(EffectMath::wordToLevel(word, info.fullScale));
    case ControlKind::List:
        for (int k = 0; k < int(EffectMath::HarmonicPitchTable.size()); ++k) {
            if (EffectMath::HarmonicPitchTable[size_t(k)] == word)
                return k > 12 ? QStringLiteral("+%1").arg(k - 12) : QString::number(k - 12);
        }
        return QStringLiteral("?");
    case ControlKind::Switch:
        if (i == 4)
            return word == EffectMessages::WaveOnValue ? onOff(true) : word == EffectMessages::WaveOffValue ? onOff(false) : QStringLiteral("?");
        if (i == 19)
            return word == EffectMessages::AttackSlowValue ? onOff(true) : word == EffectMessages::AttackFastValue ? onOff(false) : QStringLiteral("?");
        return word <= 1 ? onOff(word == 1) : QStringLiteral("?");
    case ControlKind::CheckBox:
        return word <= 1 ? onOff(word == 1) : QStringLiteral("?");
    }
    return QString();
}

template <typename Flush>
int runParameterCommand(Communication &comm, EditorContext &ctx, const QStringList &command, int parameter,
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
    std::array<quint32, 20> words{};
    for (int i = 0; i < 20; ++i) {
        const int at = 26 + 4 * i;
        words[size_t(i)] = quint32(quint8(r[at])) << 24 | quint32(quint8(r[at + 1])) << 16 |
                           quint32(quint8(r[at + 2])) << 8 | quint32(quint8(r[at + 3]));
    }
    if (command[0] == QLatin1String("get")) {
        for (int i = 0; i < 20; ++i)
            out << ParameterCatalogue::all()[size_t(i)].name << " " << FunctionsUnit::HexNumber(words[size_t(i)], 8) << " "
                << controlValue(i, words[size_t(i)]) << "\n";
        comm.menuDisconnectClick();
        return Cli::Ok;
    }

    // The addresses come from the header of the algorithm the pedal runs.
    EffectParameters P;
    QStringList lines;
    QString error;
    const QString image = QStringLiteral("QUARNELO_MK3_") + comm.DeviceAlgorithmText;
    if (!EffectList::LoadResourceToList(image, &lines, &error)) {
        err << "The pedal runs algorithm " << comm.DeviceAlgorithmText << ", which this editor does not carry\n";
        comm.menuDisconnectClick();
        return Cli::Failed;
    }
    P.loadParameterAddresses(lines.value(0));

    const ParameterInfo &info = ParameterCatalogue::all()[size_t(parameter)];
    const QString value = command[2].trimmed();
    const QString name = P.name(parameter);
    const quint16 address = P.address(parameter);
    const QString kind = P.isAssignable(parameter) ? QStringLiteral(" string (assignable par): ") : QStringLiteral(" string (standard par): ");
    QStringList messages;
    const auto bad = [&](const QString &what) {
        err << "quarnelo-cli: " << name << " takes " << what << ", not '" << value << "'\n";
        comm.menuDisconnectClick();
        return int(Cli::Usage);
    };
    const auto onOff = [&](bool *on) {
        if (value.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
            *on = true;
        else if (value.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
            *on = false;
        else
            return false;
        return true;
    };
    bool on = false;
    switch (info.control) {
    case ControlKind::Dial: {
        bool ok = false;
        const int level = value.toInt(&ok);
        if (!ok || level < 0 || level > EffectMath::MaxLevel)
            return bad(QStringLiteral("a level from 0 to 1023"));
        // The dial moves in whole degrees: the level of the nearest position goes out.
        const int position = int(std::lround(level * double(EffectMath::MaxPosition) / EffectMath::MaxLevel));
        const QString text = EffectMessages::parameterWrite(address, EffectMath::levelToWord(EffectMath::positionToLevel(position)));
        ctx.log.WriteLogLine(QStringLiteral("Send ") + name + QStringLiteral(" string (standard par): ") + text);
        messages << text;
        break;
    }
    case ControlKind::Switch: {
        if (!onOff(&on))
            return bad(QStringLiteral("on or off"));
        quint32 word = on ? 1 : 0;
        int times = 1;
        if (parameter == 4)
            word = on ? EffectMessages::WaveOnValue : EffectMessages::WaveOffValue;
        if (parameter == 19) {
            word = on ? EffectMessages::AttackSlowValue : EffectMessages::AttackFastValue;
            times = 3;
        }
        const QString text = EffectMessages::parameterWrite(address, word);
        for (int t = 0; t < times; ++t) {
            ctx.log.WriteLogLine(QStringLiteral("Send ") + name + kind + text);
            messages << text;
        }
        break;
    }
    case ControlKind::CheckBox: {
        if (!onOff(&on))
            return bad(QStringLiteral("on or off"));
        if (on && quint8(r[5]) == 0) {
            err << "Set a tuning before using this parameter\n";
            comm.menuDisconnectClick();
            return Cli::Failed;
        }
        messages << EffectMessages::parameterWrite(address, on ? 1 : 0);
        ctx.log.WriteLogLine(QStringLiteral("write to DSP msg: ") + messages.last());
        break;
    }
    case ControlKind::List: {
        bool ok = false;
        const int semitones = value.toInt(&ok);
        if (!ok || semitones < -12 || semitones > 12)
            return bad(QStringLiteral("an item from -12 to +12"));
        messages << EffectMessages::parameterWrite(address, EffectMath::HarmonicPitchTable[size_t(semitones + 12)]);
        ctx.log.WriteLogLine(QStringLiteral("Send Harmonic Pitch string: ") + messages.last());
        break;
    }
    }
    for (const QString &m : messages) {
        comm.SendHexMessage(m, 7);
        out << "sent: " << m << "\n";
    }
    ctx.clock->pause(50); // let the bytes leave before the line is closed
    comm.menuDisconnectClick();
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
    static const QStringList commands = {"list", "info", "send", "get", "set"};
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
    EditorContext ctx(QString(), &prompts, &clock, backend.get());
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
        for (const QString &line : DeviceReport::describe(comm.ReplyBytes))
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
    while (d2xx.GetFTDeviceQueueStatus() == 0 && d2xx.FTQueuedBytes > 0) {
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
    out << "sent: " << FunctionsUnit::BytesToHexText(bytes) << "\n";
    if (!answer.isEmpty())
        out << "answer: " << FunctionsUnit::BytesToHexText(answer) << "\n";
    return Ok;
}
