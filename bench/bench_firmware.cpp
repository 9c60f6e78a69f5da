// The firmware upgrade at the wire's pace: quarnelo-cli writes FIRMWARE_15 into the simulated
// pedal on a pseudo-terminal (wire timing, 11 bits a byte in the bootloader, the flash's
// programming and erase times), and stm32flash writes the same image into the same simulated
// bootloader. Each figure is printed beside the link's limit: the bytes on the wire at 115200
// baud plus the time the simulated flash takes.
//   build/bench/bench_firmware [RUNS]
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Bench;

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
    const FirmwareLimits limits = firmwareLimits();
    const double ourLimit = limits.ours, ourVerifyLimit = limits.oursWithReadBack;
    const double theirLimit = limits.stm32flash, theirVerifyLimit = limits.stm32flashWithReadBack;

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
