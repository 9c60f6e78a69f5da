#include "FuzzTargets.h"

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/DeviceInformation.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "device/ReplyDecoder.h"
#include "pedal/PedalState.h"
#include "presets/PresetFile.h"
#include "update/PeFileVersion.h"
#include "update/VersionNumber.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {
QByteArray bytes(const uint8_t *data, size_t size) { return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)); }
void check(bool condition)
{
    if (!condition)
        std::abort();
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
    int purge(quint32, quint32) override { return FtStatus::Ok; }
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
    QList<QPair<qint64, QByteArray>> pieces;
    const QByteArray payload = bytes(data + 1, size - 1);
    for (qsizetype at = 0, i = 0; at < payload.size(); at += pieceLength, ++i)
        pieces.append({qint64(i) * gapMs, payload.mid(at, pieceLength)});

    ManualClock clock;
    ScriptedPrompts prompts;
    DiagnosticLog log;
    PiecesBackend backend(&clock, pieces);
    D2XXUnit d2xx(&log, &backend);
    Communication comm(&log, &d2xx, &clock, &prompts);
    comm.chooseSerialNumber(QStringLiteral("F"), comm.deviceLabel());
    comm.link();
    comm.stopPoll();
    const Communication::Answer a = comm.exchangeDeviceInformation();
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
