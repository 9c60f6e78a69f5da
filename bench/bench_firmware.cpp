// The firmware upgrade at the wire's pace: quarnelo-cli writes FIRMWARE_15 into the simulated
// pedal on a pseudo-terminal (wire timing, 11 bits a byte in the bootloader, the flash's
// programming and erase times), and stm32flash writes the same image into the same simulated
// bootloader. Each figure is printed beside the link's limit: the bytes on the wire at 115200
// baud plus the time the simulated flash takes.
//   build/bench/bench_firmware [RUNS]
#include "algorithms/StandInImages.h"
#include "simulator/SimulatedPedal.h"
#include "support/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace {
constexpr double BootByteS = 11.0 / 115200; // 8E1
constexpr double RunByteS = 10.0 / 115200;  // 8N1
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

// Runs a program; the seconds it took, or -1 when it failed.
double timed(const QString &program, const QStringList &args)
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

// The blocks of an image as the bootloader receives them: 256 bytes, the last rounded up to words.
QList<int> blockSizes(int bytes)
{
    QList<int> out;
    for (int at = 0; at < bytes; at += 256)
        out << (std::min(256, bytes - at) + 3) / 4 * 4;
    return out;
}

double programmingS(const QList<int> &blocks)
{
    double s = 0;
    for (int c : blocks)
        s += c / 2 * HalfWordS;
    return s;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 1;
    const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    const QString cli = QStringLiteral(QUARNELO_CLI_PATH);
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("FIRMWARE_15.bin"));
    {
        QFile f(image);
        f.open(QIODevice::WriteOnly);
        f.write(StandInImages::firmwareImage(15));
    }
    const QList<int> blocks = blockSizes(StandInImages::firmwareSize(15));
    qint64 blockBytes = 0;
    for (int c : blocks)
        blockBytes += c;
    const qint64 writeBytes = blockBytes + 12 * blocks.size(); // 31 CE, ACK, address, ACK, N data checksum, ACK
    const qint64 readBytes = blockBytes + 12 * blocks.size();  // 11 EE, ACK, address, ACK, N ~N, ACK data

    // quarnelo-cli: handshake, global erase, blocks, record, [read-back], Go, then the device
    // information request at 8N1 that tells the new number.
    ManualClock clock;
    SimulatedPedal model(&clock);
    const qint64 answerBytes = SimulatedPedal::encodeValues(model.deviceInformationValues()).size();
    const double ourFixed = (2 + 6 + 20 + 9) * BootByteS + (2 + answerBytes) * RunByteS + GlobalEraseS +
                            programmingS(blocks) + 4 * HalfWordS;
    const double ourLimit = ourFixed + writeBytes * BootByteS;
    const double ourVerifyLimit = ourLimit + readBytes * BootByteS;
    // stm32flash: 7F, Get Version, Get, Get ID, erase of the pages the image covers, blocks, [read-back].
    const int pages = (StandInImages::firmwareSize(15) + 1023) / 1024;
    const double theirFixed = (2 + 7 + 13 + 7 + 3 + pages + 3) * BootByteS + pages * PageEraseS + programmingS(blocks);
    const double theirLimit = theirFixed + writeBytes * BootByteS;
    const double theirVerifyLimit = theirLimit + readBytes * BootByteS;

    struct Row {
        QString name;
        double limit;
        QList<double> times;
    };
    QList<Row> rows = {{QStringLiteral("quarnelo-cli firmware upgrade (with read-back)"), ourVerifyLimit, {}},
                       {QStringLiteral("quarnelo-cli firmware upgrade --no-verify"), ourLimit, {}},
                       {QStringLiteral("stm32flash -w -v (with read-back)"), theirVerifyLimit, {}},
                       {QStringLiteral("stm32flash -w"), theirLimit, {}}};
    for (int r = 0; r < runs; ++r) {
        {
            Pedal pedal({QStringLiteral("--start-in-bootloader"), QStringLiteral("--wire-timing")});
            rows[0].times << timed(cli, {"--port", pedal.path, "--yes", "firmware", "upgrade", "--firmware", "15"});
        }
        {
            Pedal pedal({QStringLiteral("--start-in-bootloader"), QStringLiteral("--wire-timing")});
            rows[1].times << timed(cli, {"--port", pedal.path, "--yes", "firmware", "upgrade", "--firmware", "15", "--no-verify"});
        }
        if (stm32flash.isEmpty())
            continue;
        {
            Pedal pedal({QStringLiteral("--start-in-bootloader"), QStringLiteral("--wire-timing")});
            rows[2].times << timed(stm32flash, {"-b", "115200", "-m", "8n1", "-w", image, "-v", "-S", "0x08000000", pedal.path});
        }
        {
            Pedal pedal({QStringLiteral("--start-in-bootloader"), QStringLiteral("--wire-timing")});
            rows[3].times << timed(stm32flash, {"-b", "115200", "-m", "8n1", "-w", image, "-S", "0x08000000", pedal.path});
        }
    }
    out << QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("figure"), -48).arg(QStringLiteral("median s"), 9)
                                           .arg(QStringLiteral("limit s"), 8).arg(QStringLiteral("ratio"), 6);
    for (Row &row : rows) {
        if (row.times.isEmpty()) {
            out << QStringLiteral("%1 (stm32flash is not installed)\n").arg(row.name, -48);
            continue;
        }
        std::sort(row.times.begin(), row.times.end());
        const double median = row.times[row.times.size() / 2];
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(row.name, -48)
                   .arg(median, 9, 'f', 2)
                   .arg(row.limit, 8, 'f', 2)
                   .arg(median < 0 ? QStringLiteral("failed") : QString::number(median / row.limit, 'f', 2), 6);
    }
    if (!rows[0].times.isEmpty() && !rows[2].times.isEmpty() && rows[2].times.first() > 0)
        out << QStringLiteral("quarnelo-cli / stm32flash, with read-back: %1; without: %2\n")
                   .arg(rows[0].times[rows[0].times.size() / 2] / rows[2].times[rows[2].times.size() / 2], 0, 'f', 2)
                   .arg(rows[1].times[rows[1].times.size() / 2] / rows[3].times[rows[3].times.size() / 2], 0, 'f', 2);
    return 0;
}
