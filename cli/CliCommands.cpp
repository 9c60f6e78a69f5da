#include "cli/CliCommands.h"

#include "app/EditorContext.h"
#include "app/Interaction.h"
#include "device/DeviceReport.h"
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
} // namespace

QString Cli::usage()
{
    return QStringLiteral(
        "usage: quarnelo-cli [--simulate | --port PATH | --serial SERIAL] [--yes] COMMAND\n"
        "commands:\n"
        "  list        the FTDI devices: serial number and description, one per line\n"
        "  info        the pedal's firmware, algorithm, effect and every setting\n"
        "  send HEX    writes one raw message (hex digits, two per byte)\n"
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
    if (cmd != QLatin1String("list") && cmd != QLatin1String("info") && cmd != QLatin1String("send")) {
        err << "quarnelo-cli: unknown command " << cmd << "\n" << usage();
        return Usage;
    }
    if (cmd == QLatin1String("send") && o.command.size() != 2) {
        err << "quarnelo-cli: send needs one HEX argument\n";
        return Usage;
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
