// Writes the stand-in algorithm images as the editor carries them: one line of upper-case hex
// text per image, no line end, named QUARNELO_MK3_NNNN.hex.
//   make-standin-images resources/algorithms
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
    if (argc != 2) {
        err << "usage: make-standin-images OUTPUT-FOLDER\n";
        return 64;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }
    for (int n : StandInImages::algorithmNumbers()) {
        QSaveFile f(out.filePath(QStringLiteral("QUARNELO_MK3_%1.hex").arg(n, 4, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly)) {
            err << f.errorString() << "\n";
            return 1;
        }
        f.write(HexCodec::bytesToHexText(StandInImages::algorithmImage(n)).toLatin1());
        if (!f.commit()) {
            err << f.errorString() << "\n";
            return 1;
        }
    }
    return 0;
}
