#include "FuzzTargets.h"

#include "device/HexCodec.h"
#include "device/ReplyDecoder.h"
#include "pedal/PedalState.h"
#include "presets/PresetFile.h"

#include <cstdlib>

namespace {
QByteArray bytes(const uint8_t *data, size_t size) { return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)); }
void check(bool condition)
{
    if (!condition)
        std::abort();
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

void imageHeader(const uint8_t *data, size_t size)
{
    PedalState state;
    state.loadParameterAddresses(QString::fromLatin1(bytes(data, size)));
}

} // namespace FuzzTargets
