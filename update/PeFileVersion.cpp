#include "update/PeFileVersion.h"

#include <QList>
#include <QtEndian>

namespace PeFileVersion {
namespace {
constexpr quint32 FixedInfoSignature = 0xFEEF04BD;
constexpr quint32 VersionResourceType = 16; // RT_VERSION

// Little-endian reads that fail instead of reading past the end.
struct Bytes {
    const QByteArray &data;
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at + n <= data.size(); }
    std::optional<quint32> u32(qint64 at) const
    {
        if (!has(at, 4))
            return std::nullopt;
        return qFromLittleEndian<quint32>(data.constData() + at);
    }
    std::optional<quint16> u16(qint64 at) const
    {
        if (!has(at, 2))
            return std::nullopt;
        return qFromLittleEndian<quint16>(data.constData() + at);
    }
};

struct Section {
    quint32 address, size, fileOffset, fileSize;
};
} // namespace

std::optional<std::array<int, 4>> read(const QByteArray &program)
{
    const Bytes b{program};
    if (!b.has(0, 64) || program[0] != 'M' || program[1] != 'Z')
        return std::nullopt;
    const auto peAt = b.u32(0x3C);
    if (!peAt || !b.has(*peAt, 24) || program.mid(*peAt, 4) != QByteArray("PE\0\0", 4))
        return std::nullopt;
    const qint64 coff = *peAt + 4;
    const auto sectionCount = b.u16(coff + 2);
    const auto optionalSize = b.u16(coff + 16);
    const qint64 optional = coff + 20;
    const auto magic = b.u16(optional);
    if (!sectionCount || !optionalSize || !magic || (*magic != 0x10B && *magic != 0x20B))
        return std::nullopt;
    const qint64 directories = optional + (*magic == 0x10B ? 96 : 112);
    const auto directoryCount = b.u32(directories - 4);
    if (!directoryCount || *directoryCount < 3 || directories + 24 > optional + *optionalSize)
        return std::nullopt;
    const auto resourceAddress = b.u32(directories + 16);
    if (!resourceAddress || *resourceAddress == 0)
        return std::nullopt;

    QList<Section> sections;
    const qint64 table = optional + *optionalSize;
    for (int i = 0; i < std::min<int>(*sectionCount, 96); ++i) {
        const qint64 at = table + 40 * i;
        const auto vsize = b.u32(at + 8), va = b.u32(at + 12), rawSize = b.u32(at + 16), raw = b.u32(at + 20);
        if (!vsize || !va || !rawSize || !raw)
            return std::nullopt;
        sections << Section{*va, std::max(*vsize, *rawSize), *raw, *rawSize};
    }
    // The file offset of an address, when n bytes from there lie in one section's file data.
    const auto offsetOf = [&](quint32 address, qint64 n) -> std::optional<qint64> {
        for (const Section &s : sections) {
            if (address >= s.address && qint64(address) - s.address + n <= s.fileSize) {
                const qint64 at = qint64(s.fileOffset) + (address - s.address);
                if (b.has(at, n))
                    return at;
            }
        }
        return std::nullopt;
    };
    const auto root = offsetOf(*resourceAddress, 16);
    if (!root)
        return std::nullopt;
    // The resource tree: type, then name, then language; the version's type is taken, then the
    // first entry of each level below it.
    const auto entryAt = [&](qint64 directory, bool wantVersionType) -> std::optional<quint32> {
        const auto named = b.u16(directory + 12), ids = b.u16(directory + 14);
        if (!named || !ids)
            return std::nullopt;
        const int count = std::min(*named + *ids, 4096);
        for (int i = 0; i < count; ++i) {
            const auto name = b.u32(directory + 16 + 8 * i), target = b.u32(directory + 16 + 8 * i + 4);
            if (!name || !target)
                return std::nullopt;
            if (!wantVersionType || *name == VersionResourceType)
                return *target;
        }
        return std::nullopt;
    };
    qint64 directory = *root;
    std::optional<quint32> target;
    for (int level = 0; level < 3; ++level) {
        target = entryAt(directory, level == 0);
        if (!target)
            return std::nullopt;
        const bool isDirectory = (*target & 0x80000000u) != 0;
        if (isDirectory != (level < 2))
            return std::nullopt;
        const quint32 offset = *target & 0x7FFFFFFFu;
        const auto at = offsetOf(*resourceAddress + offset, level < 2 ? 16 : 16);
        if (!at)
            return std::nullopt;
        directory = *at;
    }
    // directory is now the data entry: the version resource's address and size.
    const auto dataAddress = b.u32(directory), dataSize = b.u32(directory + 4);
    if (!dataAddress || !dataSize || *dataSize < 92)
        return std::nullopt;
    const auto info = offsetOf(*dataAddress, 92);
    if (!info)
        return std::nullopt;
    static const QString Key = QStringLiteral("VS_VERSION_INFO");
    const auto valueLength = b.u16(*info + 2);
    if (!valueLength || *valueLength < 52)
        return std::nullopt;
    for (int i = 0; i < Key.size(); ++i) {
        if (b.u16(*info + 6 + 2 * i) != Key[i].unicode())
            return std::nullopt;
    }
    const qint64 fixed = *info + 40; // 6 bytes of lengths and type, the key with its 0, padded to 4
    if (b.u32(fixed) != FixedInfoSignature)
        return std::nullopt;
    const quint32 high = *b.u32(fixed + 8), low = *b.u32(fixed + 12);
    return std::array<int, 4>{int(high >> 16), int(high & 0xFFFF), int(low >> 16), int(low & 0xFFFF)};
}

QString majorMinor(const QByteArray &program)
{
    const auto v = read(program);
    return v ? QStringLiteral("%1.%2").arg((*v)[0]).arg((*v)[1]) : QString();
}
} // namespace PeFileVersion
