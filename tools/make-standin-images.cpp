// Writes the stand-in images as the editor carries them: the algorithm images as one line of
// upper-case hex text each, no line end, named QUARNELO_MK3_NNNN.hex; the firmware images raw,
// named FIRMWARE_N.bin.
//   make-standin-images resources/algorithms resources/firmware
#include "algorithms/StandInImages.h"
#include "device/HexCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: make-standin-images ALGORITHM-FOLDER FIRMWARE-FOLDER\n";
        return 64;
    }
    const auto save = [&err](const QDir &dir, const QString &name, const QByteArray &bytes) {
        if (!dir.exists() && !QDir().mkpath(dir.path())) {
            err << "cannot create " << dir.path() << "\n";
            return false;
        }
        QSaveFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
            err << dir.filePath(name) << ": " << f.errorString() << "\n";
            return false;
        }
        return true;
    };
    const QDir algorithms(QString::fromLocal8Bit(argv[1]));
    for (int n : StandInImages::algorithmNumbers()) {
        if (!save(algorithms, QStringLiteral("QUARNELO_MK3_%1.hex").arg(n, 4, 10, QLatin1Char('0')),
                  HexCodec::bytesToHexText(StandInImages::algorithmImage(n)).toLatin1()))
            return 1;
    }
    const QDir firmware(QString::fromLocal8Bit(argv[2]));
    for (int n : StandInImages::firmwareNumbers()) {
        if (!save(firmware, QStringLiteral("FIRMWARE_%1.bin").arg(n), StandInImages::firmwareImage(n)))
            return 1;
    }
    return 0;
}
