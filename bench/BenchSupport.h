#pragma once
// What the benchmarks share: the standalone simulated pedal on a pseudo-terminal, timing a
// program, the wire time of a byte count, the limit of a firmware upgrade, and the table.

#include "algorithms/StandInImages.h"
#include "simulator/SimulatedPedal.h"
#include "support/ManualClock.h"

#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTextStream>
#include <algorithm>

namespace Bench {
constexpr double RunByteS = 10.0 / 115200;  // 8N1
constexpr double BootByteS = 11.0 / 115200; // 8E1
constexpr double HalfWordS = 52e-6;
constexpr double PageEraseS = 0.020;
constexpr double GlobalEraseS = 0.040;

struct Pedal {
    QProcess process;
    QString path;
    explicit Pedal(const QStringList &args)
    {
        process.start(QStringLiteral(PEDAL_SIM_PATH), args);
        if (process.waitForStarted() && process.waitForReadyRead(5000))
            path = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Pedal()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
};

// Runs a program to its end; the seconds it took, or -1 when it failed.
inline double timed(const QString &program, const QStringList &args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(180000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        QTextStream(stderr) << program << " failed: " << p.readAllStandardError() << p.readAllStandardOutput() << "\n";
        return -1;
    }
    return t.elapsed() / 1000.0;
}

// The bytes of the device information answer the simulated pedal sends.
inline int answerBytes()
{
    ManualClock clock;
    SimulatedPedal model(&clock);
    return int(SimulatedPedal::encodeValues(model.deviceInformationValues()).size());
}

// The blocks of an image as the bootloader receives them: 256 bytes, the last rounded up to words.
inline QList<int> blockSizes(int bytes)
{
    QList<int> out;
    for (int at = 0; at < bytes; at += 256)
        out << (std::min(256, bytes - at) + 3) / 4 * 4;
    return out;
}

inline double programmingS(const QList<int> &blocks)
{
    double s = 0;
    for (int c : blocks)
        s += c / 2 * HalfWordS;
    return s;
}

struct FirmwareLimits {
    double ours, oursWithReadBack, stm32flash, stm32flashWithReadBack;
};
// What the wire and the simulated flash take for FIRMWARE_15: the bytes both ways at 115200
// baud (11 bits a byte in the bootloader) plus the flash's programming and erase time.
inline FirmwareLimits firmwareLimits()
{
    const QList<int> blocks = blockSizes(StandInImages::firmwareSize(15));
    qint64 blockBytes = 0;
    for (int c : blocks)
        blockBytes += c;
    const qint64 writeBytes = blockBytes + 12 * blocks.size(); // 31 CE, ACK, address, ACK, N data checksum, ACK
    const qint64 readBytes = blockBytes + 12 * blocks.size();  // 11 EE, ACK, address, ACK, N ~N, ACK data
    // quarnelo-cli: handshake, global erase, blocks, record, [read-back], Go, then the device
    // information request at 8N1 that tells the new number.
    const double ourFixed = (2 + 6 + 20 + 9) * BootByteS + (2 + answerBytes()) * RunByteS + GlobalEraseS +
                            programmingS(blocks) + 4 * HalfWordS;
    // stm32flash: 7F, Get Version, Get, Get ID, erase of the pages the image covers, blocks, [read-back].
    const int pages = (StandInImages::firmwareSize(15) + 1023) / 1024;
    const double theirFixed = (2 + 7 + 13 + 7 + 3 + pages + 3) * BootByteS + pages * PageEraseS + programmingS(blocks);
    FirmwareLimits l;
    l.ours = ourFixed + writeBytes * BootByteS;
    l.oursWithReadBack = l.ours + readBytes * BootByteS;
    l.stm32flash = theirFixed + writeBytes * BootByteS;
    l.stm32flashWithReadBack = l.stm32flash + readBytes * BootByteS;
    return l;
}

// One figure of the table: its samples, its limit and what the limit is.
struct Row {
    Row(const QString &figure_, const QString &unit_, double limit_, const QString &basis_)
        : figure(figure_), unit(unit_), limit(limit_), basis(basis_)
    {
    }
    QString figure;
    QString unit;  // "ms", "MB", "%", "B/line"
    double limit;
    QString basis; // what the limit is
    QList<double> samples;
};

inline void printTable(QTextStream &out, QList<Row> rows)
{
    const auto number = [](double v) {
        return v < 0 ? QStringLiteral("failed") : QString::number(v, 'f', v >= 100 ? 0 : v >= 10 ? 1 : 2);
    };
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7  %8\n")
               .arg(QStringLiteral("figure"), -44)
               .arg(QStringLiteral("unit"), -6)
               .arg(QStringLiteral("min"), 8)
               .arg(QStringLiteral("median"), 8)
               .arg(QStringLiteral("max"), 8)
               .arg(QStringLiteral("limit"), 8)
               .arg(QStringLiteral("ratio"), 6)
               .arg(QStringLiteral("limit is"));
    for (Row &r : rows) {
        std::sort(r.samples.begin(), r.samples.end());
        if (r.samples.isEmpty()) {
            out << QStringLiteral("%1 (not measured)\n").arg(r.figure, -44);
            continue;
        }
        const double median = r.samples[r.samples.size() / 2];
        const bool failed = r.samples.first() < 0;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7  %8\n")
                   .arg(r.figure, -44)
                   .arg(r.unit, -6)
                   .arg(number(r.samples.first()), 8)
                   .arg(number(median), 8)
                   .arg(number(r.samples.last()), 8)
                   .arg(number(r.limit), 8)
                   .arg(failed || r.limit <= 0 ? QStringLiteral("-") : QString::number(median / r.limit, 'f', 2), 6)
                   .arg(r.basis);
    }
}
} // namespace Bench
