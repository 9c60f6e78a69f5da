#include "presets/PresetFile.h"

#include "device/HexCodec.h"
#include "support/BoundedFile.h"
#include "support/FileWriting.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace PresetFile {

const QStringList &logKeys()
{
    static const QStringList keys = {"Dry: ",        "SubMix: ",          "Minus1oct: ",       "Minus2oct: ",
                                     "Wave: ",       "LowPass: ",         "HighPass: ",        "FirstHarmonic: ",
                                     "Split: ",      "Range: ",           "input_level: ",     "Wave2_Pitch: ",
                                     "Clip: ",       "DominantNoteCut: ", "HighNoteCut: ",     "DryHPF: ",
                                     "Limit Range UP: ", "Noise Gate Status: ", "Noise Gate Threshold: ", "Attack: "};
    return keys;
}

QByteArray fileBytes(const PresetValues &values)
{
    QStringList lines;
    for (quint32 v : values)
        lines << HexCodec::hexNumber(v, 8);
    return QByteArrayLiteral("\xEF\xBB\xBF") + lines.join(QLatin1Char('\r')).toUtf8();
}

QString swapByteOrder(const QString &d)
{
    return d.mid(6, 2) + d.mid(4, 2) + d.mid(2, 2) + d.mid(0, 2);
}

bool parse(const QByteArray &data, PresetValues *values, QString *error)
{
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromUtf8(bytes).split(breaks);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // a line end after the last line is fine
    if (lines.size() != Values) {
        *error = QStringLiteral("it has %1 lines, a preset has %2").arg(lines.size()).arg(Values);
        return false;
    }
    static const QRegularExpression eightHex(QStringLiteral("^[0-9A-Fa-f]{8}$"));
    PresetValues parsed{};
    for (int i = 0; i < Values; ++i) {
        if (!eightHex.match(lines[i]).hasMatch()) {
            *error = QStringLiteral("line %1 is '%2', not eight hexadecimal digits").arg(i + 1).arg(lines[i].left(40));
            return false;
        }
        parsed[size_t(i)] = lines[i].toUInt(nullptr, 16);
    }
    *values = parsed;
    return true;
}

bool load(const QString &path, PresetValues *values, QString *message)
{
    const QString name = QFileInfo(path).fileName();
    const BoundedFile file = BoundedFile::read(path, MaxFileBytes);
    switch (file.status) {
    case BoundedFile::NotRegular:
        *message = QStringLiteral("Error loading file: %1 is %2, not a preset file. No value was changed.")
                       .arg(name, file.kind);
        return false;
    case BoundedFile::CannotOpen:
        *message = QStringLiteral("Error loading file: ") + file.error;
        return false;
    case BoundedFile::TooLarge:
        *message = QStringLiteral("Error loading file: %1 is larger than %2 bytes; a preset is %3 bytes. No value was "
                                  "changed.")
                       .arg(name)
                       .arg(MaxFileBytes)
                       .arg(FileBytes);
        return false;
    case BoundedFile::Read:
        break;
    }
    const QByteArray &data = file.data;
    QString why;
    if (!parse(data, values, &why)) {
        *message = QStringLiteral("Error loading file: %1 is not a preset: %2. No value was changed.")
                       .arg(QFileInfo(path).fileName(), why);
        return false;
    }
    return true;
}

bool canWrite(const QString &path, QString *error)
{
    *error = FileWriting::targetProblem(path);
    return error->isEmpty();
}

bool write(const QString &path, const PresetValues &values, QString *error)
{
    return FileWriting::writeWhole(path, fileBytes(values), error);
}

QString withExtension(const QString &path)
{
    // A device, a pipe or a folder at that name keeps it (and is refused for what it is): the
    // extension names the regular file a save creates, never one beside such a thing.
    const QFileInfo there(path);
    if (there.exists() && !there.isFile())
        return path;
    return path.endsWith(QLatin1String(".txt"), Qt::CaseSensitive) ? path : path + QStringLiteral(".txt");
}

} // namespace PresetFile
