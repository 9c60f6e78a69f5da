#include "algorithms/StandInImages.h"

#include <array>

namespace {
// Image 0015's parameter address words, as the maker's image carries them.
constexpr std::array<quint16, 22> Words0015 = {0x0027, 0x0007, 0x007D, 0x0080, 0x0002, 0x00AF, 0x00BD, 0x007E,
                                               0x00C5, 0x002D, 0x0041, 0x0037, 0x000B, 0x0052, 0x00C3, 0x001D,
                                               0x000E, 0x0006, 0xFF00, 0x00BC, 0x0003, 0x00AE};

std::array<quint16, 22> wordsFor(int n)
{
    std::array<quint16, 22> w = Words0015;
    if (n >= 13)
        return w; // 0013 and 0014 share 0015's layout
    // Older algorithms: the same parameters at other places of a smaller program.
    for (int k = 0; k < 22; ++k) {
        if (w[size_t(k)] == 0xFF00)
            continue;
        w[size_t(k)] = quint16(0x0004 + (w[size_t(k)] + 7 * (13 - n) + k) % 0xD8);
    }
    if (n == 8) {
        for (int k = 17; k <= 21; ++k)
            w[size_t(k)] = 0x0000; // parameters the first algorithm did not have
    }
    return w;
}
} // namespace

QList<int> StandInImages::algorithmNumbers() { return {8, 9, 10, 11, 12, 13, 14, 15}; }

int StandInImages::imageSize(int n)
{
    switch (n) {
    case 8: return 4640;
    case 9: return 4672;
    case 10:
    case 11: return 4544;
    case 12: return 4512;
    case 13:
    case 14: return 4352;
    case 15: return 4256;
    default: return 0;
    }
}

QByteArray StandInImages::marker() { return QByteArrayLiteral("QUARNELO STAND-IN ALGORITHM "); }

bool StandInImages::isStandIn(const QByteArray &image) { return image.contains(marker()); }

QByteArray StandInImages::algorithmImage(int n)
{
    const int size = imageSize(n);
    if (size == 0)
        return QByteArray();
    QByteArray img(size, '\0');
    img[0] = 0x00;
    img[1] = char(size >> 8);
    img[2] = char(size & 0xFF);
    const auto words = wordsFor(n);
    for (int k = 0; k < 22; ++k) {
        img[3 + 2 * k] = char(words[size_t(k)] >> 8);
        img[4 + 2 * k] = char(words[size_t(k)] & 0xFF);
    }
    const QByteArray text = marker() + QByteArray::number(n).rightJustified(4, '0') +
                            " - NOT THE MAKER'S DSP PROGRAM. FOR TESTS AND THE SIMULATED PEDAL ONLY. ";
    img.replace(47, int(text.size()), text);
    // Deterministic filler where the DSP program would be, zero padding at the end.
    quint32 x = 0x2545F491u ^ quint32(n);
    for (int i = 47 + int(text.size()); i < size - 32; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        img[i] = char(x & 0xFF);
    }
    return img;
}

QList<int> StandInImages::firmwareNumbers() { return {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}; }

int StandInImages::firmwareSize(int n)
{
    switch (n) {
    case 5: return 53840;
    case 6: return 53640;
    case 7: return 53700;
    case 8: return 50720;
    case 9: return 51152;
    case 10: return 51472;
    case 11: return 52376;
    case 12: return 53136;
    case 13: return 53152;
    case 14: return 53400;
    case 15: return 53544;
    default: return 0;
    }
}

QByteArray StandInImages::firmwareMarker() { return QByteArrayLiteral("QUARNELO STAND-IN FIRMWARE "); }

bool StandInImages::isStandInFirmware(const QByteArray &image) { return image.contains(firmwareMarker()); }

QByteArray StandInImages::firmwareImage(int n)
{
    const int size = firmwareSize(n);
    if (size == 0)
        return QByteArray();
    QByteArray img(size, char(0xFF));
    const auto putWord = [&img](int at, quint32 w) {
        for (int i = 0; i < 4; ++i)
            img[at + i] = char((w >> (8 * i)) & 0xFF); // little-endian, as the core reads it
    };
    // The vector table: 76 words (stack pointer, reset and the 74 exception and interrupt
    // vectors of a medium-density part). Every handler is the loop in the image's last word, as
    // a real program's code reaches to its end: an image cut short points past its end.
    constexpr int HandlerOffset = 0x130;
    const int loopOffset = size - 4;
    putWord(0, 0x20005000u);
    for (int v = 1; v < 76; ++v)
        putWord(4 * v, 0x08000000u + quint32(loopOffset) + 1); // Thumb: lowest bit set
    img[HandlerOffset] = char(0xFE); // b .   (0xE7FE)
    img[HandlerOffset + 1] = char(0xE7);
    img[HandlerOffset + 2] = 0;
    img[HandlerOffset + 3] = 0;
    const QByteArray text = firmwareMarker() + QByteArray::number(n) +
                            " - NOT THE MAKER'S PEDAL PROGRAM. FOR TESTS AND THE SIMULATED PEDAL ONLY. ";
    img.replace(HandlerOffset + 4, int(text.size()), text);
    // The rest: rows of 16 bytes that name the image and the row, so a block written at the
    // wrong place or left out shows in a read-back.
    const int bodyStart = (HandlerOffset + 4 + int(text.size()) + 15) / 16 * 16;
    for (int at = bodyStart; at + 16 <= size; at += 16) {
        const QByteArray row = QStringLiteral("FW%1 ROW %2 ").arg(n, 2, 10, QLatin1Char('0')).arg(at / 16, 4, 16, QLatin1Char('0')).toLatin1();
        img.replace(at, 16, row.leftJustified(16, '.', true));
    }
    img[loopOffset] = char(0xFE); // b .
    img[loopOffset + 1] = char(0xE7);
    img[loopOffset + 2] = 0;
    img[loopOffset + 3] = 0;
    return img;
}
