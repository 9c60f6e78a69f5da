// The commands that read and write the pedal's live settings and messages: list, info, get,
// set, send and diff.
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

#include "cli/CliSafety.h"
#include "device/HexCodec.h"
#include "pedal/DeviceReport.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/RawLine.h"
#include "pedal/ValueText.h"
#include "support/Clock.h"

namespace Cli {
namespace {
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
} // namespace

int checkSendHex(Invocation &i)
{
    // "send -" and "send @FILE" take the hex from standard input or a file: the longest
    // message is longer than one argument may be.
    QString problem;
    switch (CliSafety::sendHex(i.rest[0], 2 * RawLine::MaxMessageBytes, &i.rest[0], &problem)) {
    case CliSafety::HexSource::Read:
        return Pass;
    case CliSafety::HexSource::Usage:
        return i.usageError(problem);
    case CliSafety::HexSource::Unreadable:
        break;
    }
    i.err << problem << ". Nothing was sent.\n";
    return Failed;
}

namespace {
// What a raw message does that needs --yes, in the tool's words; empty when it needs nothing.
QString largeChange(RawLine::Kind kind)
{
    switch (kind) {
    case RawLine::Kind::AlgorithmUpload: return QStringLiteral("uploads an algorithm image");
    case RawLine::Kind::EnterBootloader: return QStringLiteral("asks the pedal to enter its bootloader");
    case RawLine::Kind::Erase: return QStringLiteral("erases the pedal's settings memory");
    case RawLine::Kind::Store: return QStringLiteral("stores the assignable parameters in the pedal");
    case RawLine::Kind::TuningUpload: return QStringLiteral("uploads a tuning table");
    default: return QString();
    }
}

QByteArray sendBytes(const Invocation &i) { return QByteArray::fromHex(i.rest[0].toLatin1()); }
} // namespace

// A raw message is told from its bytes and gets what the command that sends such a message gets:
// --yes for a large change, and a backup first where that command makes one.
QString sendConfirmation(const Invocation &i)
{
    const QString &hex = i.rest[0];
    if (!isHexText(hex) || !RawLine::needs(RawLine::classify(sendBytes(i))).confirmation)
        return QString();
    return QStringLiteral("%1 %2").arg(echo(hex), largeChange(RawLine::classify(sendBytes(i))));
}

bool sendBacksUp(const Invocation &i)
{
    return isHexText(i.rest[0]) && RawLine::needs(RawLine::classify(sendBytes(i))).backup;
}

int checkSendArguments(Invocation &i)
{
    const QString &hex = i.rest[0];
    if (!isHexText(hex))
        return i.usageError(QStringLiteral("'%1' is not hex text (two hex digits per byte)").arg(echo(hex)));
    if (hex.size() / 2 > RawLine::MaxMessageBytes)
        return i.usageError(QStringLiteral("send writes at most %1 bytes, not %2").arg(RawLine::MaxMessageBytes).arg(hex.size() / 2));
    return Pass;
}

int checkDiffFile(Invocation &i)
{
    // The file is read whole before the pedal is asked; trouble exits with 2, as diff does.
    QString message;
    if (!PresetFile::load(i.rest[0], &i.diffValues, &message)) {
        i.err << message << "\n";
        return NoDevice;
    }
    return Pass;
}

int checkSetArguments(Invocation &i)
{
    for (int p = 0; p < ParameterCatalogue::Count; ++p) {
        if (i.rest[0].compare(QLatin1String(ParameterCatalogue::all()[size_t(p)].name), Qt::CaseInsensitive) == 0)
            i.parameter = p;
    }
    if (i.parameter < 0)
        return i.usageError(QStringLiteral("no parameter is named ") + echo(i.rest[0]));
    // The value in the pedal's own terms, as get prints it; a bare number on a dial of the
    // pedal's own scale is a level, as set has always taken it, and "12/24" is its step.
    QString takes;
    const QString value = i.rest[1].trimmed();
    const std::optional<int> state = ValueText::stateOf(i.parameter, value, ValueText::BareNumber::Level, &takes);
    if (!state)
        return i.usageError(QStringLiteral("%1 takes %2, not '%3'").arg(ParameterCatalogue::name(i.parameter), takes, echo(value)));
    i.state = *state;
    return Pass;
}

int runList(Invocation &i)
{
    if (i.devices.isEmpty()) {
        i.err << "No device found\n";
        return NoDevice;
    }
    for (const RawLine::Device &d : i.devices)
        i.out << d.serial << "\t" << d.description << "\n";
    return Ok;
}

int runInfo(Invocation &i)
{
    Session &session = *i.session;
    const std::optional<DeviceInformation> &reported = session.service().state().reported;
    if (!reported)
        return session.done(Failed);
    for (const QString &line : DeviceReport::describe(*reported))
        i.out << line << "\n";
    return session.done(Ok);
}

// diff FILE: the parameters where the pedal and a preset file differ, one a line (name, the
// pedal's word, the file's word); 0 when none differ, 1 when some do, 2 when the pedal's values
// are not known.
int runDiff(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const PresetFile::PresetValues &file = i.diffValues;
    const PedalState &state = s.service().state();
    if (const QString beyond = effectBeyondTheList(s); !beyond.isEmpty()) {
        s.err << "The pedal's settings are not compared: " << beyond << "\n";
        s.done(Failed);
        return NoDevice;
    }
    if (!state.reported) {
        s.err << "The pedal's settings are not known: " << state.unknownReason << "\n";
        s.done(Failed);
        return NoDevice;
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
    const int code = s.done(Ok);
    return code != Ok ? int(NoDevice) : differences == 0 ? int(Ok) : int(Failed);
}

int runGet(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const PedalState &state = s.service().state();
    if (!state.valuesKnown || !state.reported) {
        s.err << "The pedal's settings are not known: " << state.unknownReason << "\n";
        return s.done(Failed);
    }
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        const quint32 word = state.reported->parameterWords[size_t(i)];
        out << ParameterCatalogue::all()[size_t(i)].name << " " << HexCodec::hexNumber(word, 8) << " "
            << ValueText::ofWord(i, word) << "\n";
    }
    return s.done(Ok);
}

int runSet(Invocation &i)
{
    Session &s = *i.session;
    const PedalService::Result r = s.service().sendControl(i.parameter, i.state);
    for (const QString &text : s.written)
        i.out << "sent: " << text << "\n";
    return s.done(r == PedalService::Result::Done ? Ok : Failed);
}

// send HEX: one raw message on the line, without the device information request unless a
// backup is made first.
int runSend(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const QString &hex = i.rest[0];
    const QByteArray bytes = sendBytes(i);
    const bool backsUp = RawLine::needs(RawLine::classify(bytes)).backup;
    Communication &comm = s.core.comm;
    if (backsUp) {
        // The pedal is asked for its settings, so that they can be saved before the message.
        if (s.link(true) != Session::Linked::Yes) {
            if (!comm.linked())
                s.err << CliPrompts::oneLine(comm.openFailureText()) << "\n";
            return s.done(Failed);
        }
    } else {
        if (!Cli::finish(comm.link())) {
            s.flush();
            s.err << CliPrompts::oneLine(comm.openFailureText()) << "\n";
            return Failed;
        }
        QObject::connect(&comm, &Communication::messageWritten, &comm, [&s](const QString &text) { s.written << text; });
    }
    const RawLine::Sent sent =
        Cli::finish(s.service().rawLine().sendGuarded(bytes, QStringLiteral("The raw message %1").arg(echo(hex.toUpper()))));
    if (backsUp) {
        for (const QString &line : s.backupLines())
            out << line << "\n";
    }
    if (sent.outcome != RawLine::Outcome::Done || !s.settle())
        return s.done(Failed);
    out << "sent: " << HexCodec::bytesToHexText(bytes) << "\n";
    if (!sent.answer.isEmpty())
        out << "answer: " << HexCodec::bytesToHexText(sent.answer) << "\n";
    return s.done(Ok);
}
} // namespace Cli
