#include "support/Finish.h"
#include "FuzzTargets.h"

#include "algorithms/FirmwareImage.h"
#include "pedal/Uploads.h"
#include "cli/CliCommands.h"
#include "device/Bootloader.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/DeviceInformation.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "support/ManualClock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "device/ReplyDecoder.h"
#include "pedal/EditorCore.h"
#include "pedal/PedalState.h"
#include "pedal/SettingsMemory.h"
#include "simulator/SimBackend.h"
#include "simulator/SimulatedPedal.h"
#include "presets/PresetFile.h"
#include "update/PeFileVersion.h"
#include "update/VersionNumber.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <optional>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
QByteArray bytes(const uint8_t *data, size_t size) { return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)); }
// A broken invariant ends the run, naming the line that found it.
void check(bool condition, int line = __builtin_LINE())
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken at FuzzTargets.cpp:%d\n", line);
        std::abort();
    }
}

// One device whose answer arrives in timed pieces, on the manual clock.
class PiecesBackend : public FtdiBackend {
public:
    PiecesBackend(Clock *clock, QList<QPair<qint64, QByteArray>> pieces) : m_clock(clock), m_pieces(std::move(pieces)) {}
    bool isSimulated() const override { return true; }
    int listDevices(QList<FtdiDeviceInfo> *devices) override
    {
        *devices = {FtdiDeviceInfo{"F", "Fuzz"}};
        return FtStatus::Ok;
    }
    int openBySerial(const QByteArray &, quint32 *handle) override
    {
        *handle = 1;
        return FtStatus::Ok;
    }
    int close(quint32) override { return FtStatus::Ok; }
    int queueStatus(quint32, quint32 *queued) override
    {
        arrive();
        *queued = quint32(m_queue.size());
        return FtStatus::Ok;
    }
    int read(quint32, unsigned char *buffer, quint32 count, quint32 *got) override
    {
        arrive();
        const auto n = std::min<qsizetype>(count, m_queue.size());
        std::copy_n(m_queue.constData(), n, buffer);
        m_queue.remove(0, n);
        *got = quint32(n);
        return FtStatus::Ok;
    }
    int write(quint32, const unsigned char *, quint32 count, quint32 *written) override
    {
        if (m_startMs < 0)
            m_startMs = m_clock->nowMs(); // the request went out: the answer starts now
        *written = count;
        return FtStatus::Ok;
    }
    int setBaudRate(quint32, quint32) override { return FtStatus::Ok; }
    int setDataCharacteristics(quint32, quint8, quint8, quint8) override { return FtStatus::Ok; }
    int purge(quint32, quint32 mask) override
    {
        if (mask & FtPurge::Rx) {
            arrive();
            m_queue.clear(); // what has arrived is dropped; what is still on its way is not
        }
        return FtStatus::Ok;
    }
    QByteArray delivered; // everything that arrived, in order

private:
    void arrive()
    {
        while (m_startMs >= 0 && !m_pieces.isEmpty() && m_pieces.first().first <= m_clock->nowMs() - m_startMs) {
            m_queue += m_pieces.first().second;
            delivered += m_pieces.first().second;
            m_pieces.removeFirst();
        }
    }
    Clock *m_clock;
    QList<QPair<qint64, QByteArray>> m_pieces;
    QByteArray m_queue;
    qint64 m_startMs = -1;
};

// Cuts payload into pieces of pieceLength bytes, the next one gapMs after the one before.
QList<QPair<qint64, QByteArray>> timedPieces(const QByteArray &payload, int pieceLength, int gapMs)
{
    QList<QPair<qint64, QByteArray>> pieces;
    for (qsizetype at = 0, i = 0; at < payload.size(); at += pieceLength, ++i)
        pieces.append({qint64(i) * gapMs, payload.mid(at, pieceLength)});
    return pieces;
}

// A linked line to one device whose answers arrive in timed pieces, its poll stopped.
struct PiecesLine {
    PiecesLine(QList<QPair<qint64, QByteArray>> pieces, int byteTimeoutMs = -1) : backend(&clock, std::move(pieces))
    {
        comm.chooseSerialNumber(QStringLiteral("F"), comm.deviceLabel());
        if (byteTimeoutMs >= 0)
            comm.setByteTimeoutMs(byteTimeoutMs);
        finished(comm.link());
        comm.stopPoll();
    }
    ManualClock clock;
    ScriptedPrompts prompts;
    DiagnosticLog log;
    PiecesBackend backend;
    D2XXUnit d2xx{&log, &backend};
    Communication comm{&log, &d2xx, &clock, &prompts};
};


// A folder for the files a run writes, emptied by the run: in memory where the system offers
// that (making and removing folders on a disk costs more than the run).
QString scratchFolder()
{
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm/quarnelo-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/quarnelo-fuzz-XXXXXX"));
    return folder.path();
}

QCoreApplication *application()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app;
}
} // namespace

namespace FuzzTargets {

void replyDecoder(const uint8_t *data, size_t size)
{
    const QByteArray answer = bytes(data, size);
    const DecodedReply r = decodeReplyBytes(answer);
    // Never more values than closing markers in the hex text.
    check(!r.ok || r.values.size() <= 2 * answer.size());
}

void hexText(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(bytes(data, size));
    QString error;
    const QByteArray b = HexCodec::hexTextToBytes(text, &error);
    check(error.isEmpty() ? b.size() == text.size() / 2 : b.isEmpty());
    unsigned char dest[8] = {};
    check(HexCodec::hexTextToBuffer(text, dest, 8) <= 8);
    if (error.isEmpty() && !b.isEmpty())
        check(HexCodec::bytesToHexText(b).compare(text.left(2 * b.size()), Qt::CaseInsensitive) == 0);
    HexCodec::xorChecksum(text, 7);
}

void presetFile(const uint8_t *data, size_t size)
{
    PresetFile::PresetValues v{};
    QString error;
    if (PresetFile::parse(bytes(data, size), &v, &error)) {
        PresetFile::PresetValues again{};
        check(PresetFile::parse(PresetFile::fileBytes(v), &again, &error) && again == v);
    }
}

void versionText(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(bytes(data, size));
    const auto parts = VersionNumber::parse(text);
    if (!parts)
        return;
    QStringList again;
    for (int p : *parts) {
        check(p >= 0);
        again << QString::number(p);
    }
    const auto reparsed = VersionNumber::parse(again.join(QLatin1Char('.')));
    check(reparsed && VersionNumber::compare(*reparsed, *parts) == 0);
}

void programVersion(const uint8_t *data, size_t size)
{
    const auto v = PeFileVersion::read(bytes(data, size));
    if (v) {
        for (int part : *v)
            check(part >= 0 && part <= 0xFFFF);
    }
}

void deviceAnswer(const uint8_t *data, size_t size)
{
    if (size == 0)
        return;
    application();
    // Byte 0: the piece length (1..64 bytes) and the gap between pieces (0..3 times 40 ms, so
    // that some answers fall quiet before they are whole).
    const int pieceLength = 1 + (data[0] & 0x3F);
    const int gapMs = 40 * (data[0] >> 6);
    const auto pieces = timedPieces(bytes(data + 1, size - 1), pieceLength, gapMs);

    PiecesLine line(pieces);
    const Communication::Answer a = finished(line.comm.exchangeDeviceInformation());
    const PiecesBackend &backend = line.backend;
    // The answer is exactly what arrived, in order, up to where the exchange stopped reading.
    check(backend.delivered.startsWith(a.bytes));
    if (a.decoded.ok) {
        const std::optional<DeviceInformation> info = DeviceInformation::fromValues(a.decoded.values);
        check(info.has_value() == (a.decoded.values.size() >= DeviceInformation::Values));
        if (info)
            check(info->algorithmText().size() == 4 && info->effectText().size() == 2);
    }
}

void imageHeader(const uint8_t *data, size_t size)
{
    PedalState state;
    state.loadParameterAddresses(QString::fromLatin1(bytes(data, size)));
}

} // namespace FuzzTargets

namespace FuzzTargets {

void algorithmImage(const uint8_t *data, size_t size)
{
    const QByteArray d = bytes(data, size);
    const QString name = QStringLiteral("fuzz.dat");
    QString message;
    const bool accepted = Uploads::checkImage(name, d, &message);
    if (accepted) {
        // An accepted image: at most the limit, the header whole, byte 0 zero, its length field true.
        check(d.size() >= Uploads::HeaderBytes && d.size() <= Uploads::MaxImageBytes);
        check(quint8(d[0]) == 0x00 && quint8(d[1]) * 256 + quint8(d[2]) == d.size());
    } else {
        // A refusal names the file and says nothing went out.
        check(message.contains(name) && message.endsWith(QLatin1String("Nothing was sent.")));
    }
    // The file reader gives the same verdict on the same bytes, and the bytes themselves.
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(d) == d.size());
    f.close();
    QByteArray image;
    QString fileMessage;
    const bool read = Uploads::readImageFile(path, &image, &fileMessage);
    if (d.size() <= Uploads::MaxImageBytes)
        check(read == accepted && (read ? image == d : fileMessage == message));
    else
        check(!read && !fileMessage.isEmpty());
}

void firmwareImage(const uint8_t *data, size_t size)
{
    using namespace FirmwareImage;
    const QByteArray original = bytes(data, size);
    QByteArray image = original;
    const QString why = FirmwareImage::check(&image);
    if (!why.isEmpty()) {
        ::check(image == original); // a refused image is left as it was
        return;
    }
    ::check(original.size() >= MinBytes && original.size() <= MaxBytes);
    // Padded with 0xFF to whole words, nothing else changed.
    ::check(image.size() % 4 == 0 && image.size() - original.size() < 4 && image.startsWith(original));
    for (qsizetype i = original.size(); i < image.size(); ++i)
        ::check(quint8(image[i]) == 0xFF);
    // The vector table: a word-aligned stack pointer inside RAM, handlers Thumb addresses past the
    // table and inside the image (zero only for an unused entry other than the reset vector).
    const auto word = [&](int i) { return qFromLittleEndian<quint32>(original.constData() + 4 * i); };
    const quint32 stack = word(0);
    ::check(stack > RamBase && stack <= RamBase + RamBytes && stack % 4 == 0);
    for (int v = 1; v < VectorWords; ++v) {
        const quint32 h = word(v);
        ::check((h == 0 && v != 1) ||
                ((h & 1u) && h >= FlashBase + VectorWords * 4 && h < FlashBase + quint32(original.size())));
    }
    // The blocks cover the image exactly, in order, each whole but the last.
    const QList<QByteArray> parts = FirmwareImage::blocks(image);
    ::check(parts.size() == (image.size() + BlockBytes - 1) / BlockBytes);
    QByteArray joined;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        ::check(!parts[i].isEmpty() && parts[i].size() <= BlockBytes && (i + 1 == parts.size() || parts[i].size() == BlockBytes));
        joined += parts[i];
    }
    ::check(joined == image);
}

void bootloaderAnswers(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    application();
    // Byte 0: the piece length (1..64) and the gap between pieces (0..3 times 20 ms, against a
    // byte time limit of 50 ms: some answers come late). Byte 1: Read Memory's count (1..256).
    const int pieceLength = 1 + (data[0] & 0x3F);
    const int gapMs = 20 * (data[0] >> 6);
    const int count = 1 + data[1];
    const auto pieces = timedPieces(bytes(data + 2, size - 2), pieceLength, gapMs);

    PiecesLine line(pieces, 50);
    const ManualClock &clock = line.clock;
    const PiecesBackend &backend = line.backend;
    Bootloader boot(line.log, line.d2xx, line.comm);
    boot.byteTimeoutMs = 50;
    boot.eraseTimeoutMs = 200;
    const qint64 start = clock.nowMs();

    // Each step reports success only on acknowledges that arrived: every one is a distinct 0x79
    // byte of what was delivered (an answer is read once, and what follows it is dropped).
    int acknowledges = 0;
    const auto step = [&](Bootloader::Answer a, int needs) {
        if (a == Bootloader::Answer::Ack)
            acknowledges += needs;
        else
            ::check(!boot.lastProblem().isEmpty());
    };
    step(finished(boot.synchronise()), 1);
    QByteArray memory;
    const Bootloader::Answer read = finished(boot.readMemory(Bootloader::FlashBase, count, &memory));
    step(read, 3);
    // A read reports success only with the count asked for: the bytes after an acknowledge, as
    // they arrived.
    if (read == Bootloader::Answer::Ack)
        check(memory.size() == count && backend.delivered.contains(char(Bootloader::AckByte) + memory));
    else
        check(memory.isEmpty());
    step(finished(boot.eraseFlash()), 2);
    step(finished(boot.writeBlock(Bootloader::FlashBase, QByteArray(count, char(0x5A)))), 3);
    step(finished(boot.writeFirmwareNumber(15)), 3);
    step(finished(boot.go()), 2);
    check(acknowledges <= backend.delivered.count(char(Bootloader::AckByte)));
    // Every wait ended at its limit: about 20 byte limits and one erase limit, with the 10 ms
    // steps of the waits.
    check(clock.nowMs() - start <= 20 * (boot.byteTimeoutMs + 20) + boot.eraseTimeoutMs);
}

void settingsDump(const uint8_t *data, size_t size)
{
    if (size < 4)
        return;
    application();
    // Byte 0: the piece length (1, 2, 4 ... 32,768 bytes), the gap between pieces (0, 20, 200 or
    // 700 ms, longer than the quiet that ends a dump) and a delay before the first piece (0, 0.3,
    // 0.9 or 1.5 s, longer than the wait for a dump to begin). Bytes 1-2: the length the rest is
    // repeated to (0: the rest as it is).
    const int pieceLength = 1 << (data[0] & 0x0F);
    static constexpr int Gaps[] = {0, 20, 200, 700};
    static constexpr int Delays[] = {0, 300, 900, 1500};
    const int gapMs = Gaps[(data[0] >> 4) & 3];
    const int delayMs = Delays[data[0] >> 6];
    // Up to a dump and a little more: longer streams only cost time.
    const int length = std::min(data[1] * 256 + data[2], 1 + Communication::MemoryBytes + 1024);
    const QByteArray rest = bytes(data + 3, size - 3);
    QByteArray stream = rest;
    if (length > 0) {
        stream = rest.repeated(length / rest.size() + 1);
        stream.truncate(length);
    }

    const QString documents = scratchFolder() + QStringLiteral("/documents");
    ManualClock clock;
    ScriptedPrompts prompts;
    SimBackend scan(&clock, 0);
    SimBackend simulated(&clock, 1);
    std::optional<EditorCore> rig(std::in_place, documents, &prompts, &clock, &scan, &simulated);
    EditorCore &core = *rig;
    finished(core.service.linkSimulated());
    check(core.comm.linked());
    SettingsMemory &memory = core.service.memory();
    memory.dumpStartMs = 1000;
    QList<QByteArray> dumps;
    QObject::connect(&core.comm, &Communication::settingsDumpReceived, &core.comm,
                     [&](const QByteArray &m) { dumps << m; });
    // The pedal answers a read at address 51 with nothing of its own: the stream comes instead,
    // in timed pieces (the gaps end after 5 s: the rest comes at once).
    SimulatedPedal *pedal = simulated.pedal();
    pedal->onMessage = [&](const SimulatedPedal::Message &m) {
        if (m.bytes.startsWith("\x0C\x51")) {
            for (qsizetype at = 0, i = 0; at < stream.size(); at += pieceLength, ++i)
                pedal->inject(stream.mid(at, pieceLength), delayMs + int(std::min<qint64>(i * gapMs, 5000)));
        }
    };
    const SettingsMemory::Outcome outcome = finished(memory.read(QStringLiteral("51")));
    const SettingsMemory::Check &c = memory.lastCheck();
    const qsizetype marker = stream.indexOf(char(Communication::DumpMarker));
    switch (c.kind) {
    case SettingsMemory::Check::Kind::Complete:
        // Exactly the memory's bytes, as they arrived after a marker.
        check(outcome == SettingsMemory::Outcome::Done);
        check(c.memory.size() == Communication::MemoryBytes && c.bytes == Communication::MemoryBytes);
        check(stream.contains(char(Communication::DumpMarker) + c.memory));
        break;
    case SettingsMemory::Check::Kind::Short:
        // Short, with a count no larger than what came after the first marker.
        check(outcome == SettingsMemory::Outcome::Failed && marker >= 0);
        check(c.bytes >= 0 && c.bytes < Communication::MemoryBytes && c.bytes <= stream.size() - marker - 1);
        check(c.memory.isEmpty());
        break;
    case SettingsMemory::Check::Kind::Missing:
        check(outcome == SettingsMemory::Outcome::Failed);
        break;
    case SettingsMemory::Check::Kind::None:
        check(false);
        break;
    }
    if (marker < 0)
        check(c.kind == SettingsMemory::Check::Kind::Missing && dumps.isEmpty());
    for (const QByteArray &m : dumps)
        check(m.size() == Communication::MemoryBytes && stream.contains(char(Communication::DumpMarker) + m));
    check(dumps.size() <= stream.size() / (Communication::MemoryBytes + 1));
    rig.reset();
    QDir(documents).removeRecursively();
}

void commandLine(const uint8_t *data, size_t size)
{
    application();
    // The tool's folders: HOME (its documents) and the working folder (relative file names),
    // both emptied after every run; standard input is empty, the update server nobody's.
    static const QDir root(scratchFolder());
    static const bool prepared = [] {
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        qputenv("XDG_DOCUMENTS_DIR", QFile::encodeName(root.filePath(QStringLiteral("home/Documents"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/.config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/.local/share"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/.cache"))));
        qputenv("QUARNELO_UPDATE_SERVER", "http://127.0.0.1:9");
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::close(null);
        }
        return true;
    }();
    (void)prepared;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString work = root.filePath(QStringLiteral("work"));
    QDir().mkpath(home + QStringLiteral("/Documents"));
    QDir().mkpath(work);

    // The arguments: the simulated pedal always (so --port, --serial and check-update are
    // refused), then the input split at NUL bytes. A name stays inside the working folder: no
    // slashes, no "..", no "-" (standard input).
    QStringList args{QStringLiteral("--simulate")};
    if (size > 0) {
        for (const QByteArray &part : bytes(data, size).split('\0')) {
            QString a = QString::fromUtf8(part);
            a.replace(QLatin1Char('/'), QLatin1Char('_'));
            if (a == QLatin1String("..") || a == QLatin1String("-"))
                a = QStringLiteral("_");
            args << a;
        }
    }
    const QString before = QDir::currentPath();
    QDir::setCurrent(work);
    ManualClock clock;
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = Cli::run(args, o, e, clock);
    o.flush();
    e.flush();
    QDir::setCurrent(before);
    QDir(work).removeRecursively();
    QDir(home).removeRecursively();

    check(code == Cli::Ok || code == Cli::Failed || code == Cli::NoDevice || code == Cli::Usage);
    for (const QString *text : {&out, &err}) {
        for (const QChar ch : *text) {
            const ushort u = ch.unicode();
            check(!(u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F)) || ch == QLatin1Char('\n') ||
                  ch == QLatin1Char('\r') || ch == QLatin1Char('\t'));
        }
    }
}

} // namespace FuzzTargets
