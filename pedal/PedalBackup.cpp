#include "pedal/PedalBackup.h"

#include "device/HexCodec.h"
#include "pedal/DeviceReport.h"
#include "pedal/ParameterCatalogue.h"
#include "support/EditorVersion.h"
#include "support/FileWriting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

using HexCodec::hexNumber;

namespace PedalBackup {

QString stem(const QDateTime &when, const QString &serialNumber)
{
    QString serial;
    for (const QChar c : serialNumber)
        serial += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') || c == QLatin1Char('_')
                      ? c
                      : QLatin1Char('_');
    if (serial.isEmpty())
        serial = QStringLiteral("unknown-pedal");
    return when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss ")) + serial;
}

QString reportText(const QDateTime &when, const QString &serialNumber, const QString &occasion,
                   const DeviceInformation &info, const QByteArray &answerValues,
                   const PresetFile::PresetValues &values, const QString &presetName)
{
    QStringList lines;
    lines << QStringLiteral("Quarnelo MK3 settings backup");
    lines << QStringLiteral("Saved: ") + when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                 (occasion.isEmpty() ? QString() : QStringLiteral(", before ") + occasion);
    lines << QStringLiteral("Pedal serial number: ") + (serialNumber.isEmpty() ? QStringLiteral("unknown") : serialNumber);
    lines << QStringLiteral("Editor version: ") + editorVersion();
    lines << QStringLiteral("Preset file: %1 (Load Local Preset puts these values back on the pedal)").arg(presetName);
    lines << QString() << QStringLiteral("What the pedal reported:");
    lines << DeviceReport::describe(info);
    lines << QString() << QStringLiteral("Values in the preset file:");
    for (int i = 0; i < PresetFile::Values; ++i)
        lines << QStringLiteral("%1: %2").arg(QLatin1String(ParameterCatalogue::all()[size_t(i)].name),
                                              hexNumber(values[size_t(i)], 8));
    lines << QString() << QStringLiteral("Device information answer (%1 values, hex):").arg(answerValues.size());
    for (int at = 0; at < answerValues.size(); at += 16) {
        QStringList row;
        for (int k = at; k < std::min<int>(at + 16, int(answerValues.size())); ++k)
            row << hexNumber(quint8(answerValues[k]), 2);
        lines << row.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

namespace {
bool makeFolder(const QString &folder, QString *error)
{
    if (QDir().mkpath(folder))
        return true;
    *error = QStringLiteral("the folder %1 could not be made").arg(QDir::toNativeSeparators(folder));
    return false;
}

QString numbered(const QString &name, int n) { return n == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(n); }

// A finished temporary file in folder holding bytes; empty (with the reason) when it could not be written.
QString temporaryWith(const QString &folder, const QByteArray &bytes, QString *error)
{
    QTemporaryFile temp(folder + QStringLiteral("/.backup-XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        *error = temp.errorString();
        return QString();
    }
    // Every byte on the disk before the file counts as written: a full disk is not always
    // reported by the write itself.
    const bool whole = temp.write(bytes) == bytes.size();
    if (!whole)
        *error = temp.errorString();
    if (!whole || !FileWriting::checkWritten(temp, bytes.size(), error)) {
        temp.remove();
        return QString();
    }
    temp.close();
    return temp.fileName();
}
} // namespace

bool writeNewFile(const QString &folder, const QString &name, const QString &suffix, const QByteArray &bytes,
                  QString *path, QString *error)
{
    if (!makeFolder(folder, error))
        return false;
    const QString temp = temporaryWith(folder, bytes, error);
    if (temp.isEmpty())
        return false;
    for (int n = 1; n < 1000; ++n) {
        const QString target = QDir(folder).filePath(numbered(name, n) + suffix);
        if (QFileInfo::exists(target))
            continue;
        if (QFile::rename(temp, target)) { // never replaces: fails when the name is taken
            *path = target;
            return true;
        }
    }
    QFile::remove(temp);
    *error = QStringLiteral("no free name for %1%2 in %3").arg(name, suffix, QDir::toNativeSeparators(folder));
    return false;
}

bool write(const QString &folder, const QDateTime &when, const QString &serialNumber, const QString &occasion,
           const DeviceInformation &info, const QByteArray &answerValues, const PresetFile::PresetValues &values,
           Files *files, QString *error, const QByteArray &snapshotJson)
{
    if (!makeFolder(folder, error))
        return false;
    const QString base = stem(when, serialNumber);
    const QByteArray preset = PresetFile::fileBytes(values);
    const QString presetTemp = temporaryWith(folder, preset, error);
    if (presetTemp.isEmpty())
        return false;
    // The three files share one name: the first number free for all of them.
    for (int n = 1; n < 1000; ++n) {
        const QString name = numbered(base, n);
        const QString presetPath = QDir(folder).filePath(name + QStringLiteral(" preset.txt"));
        const QString reportPath = QDir(folder).filePath(name + QStringLiteral(" report.txt"));
        const QString snapshotPath = QDir(folder).filePath(name + QStringLiteral(" snapshot.json"));
        if (QFileInfo::exists(presetPath) || QFileInfo::exists(reportPath) || QFileInfo::exists(snapshotPath))
            continue;
        if (!QFile::rename(presetTemp, presetPath))
            continue;
        files->preset = presetPath;
        // The report and the snapshot take the name the preset took; each is written whole or not at all.
        const auto place = [&](const QString &target, const QByteArray &bytes) {
            const QString temp = temporaryWith(folder, bytes, error);
            if (temp.isEmpty())
                return false;
            if (QFile::rename(temp, target))
                return true;
            QFile::remove(temp);
            *error = QStringLiteral("%1 could not be written").arg(QDir::toNativeSeparators(target));
            return false;
        };
        const QByteArray report =
            reportText(when, serialNumber, occasion, info, answerValues, values, QFileInfo(presetPath).fileName())
                .toUtf8();
        // A backup is its files together: one that cannot be completed leaves none of them.
        if (!place(reportPath, report)) {
            discard(files);
            return false;
        }
        files->report = reportPath;
        if (snapshotJson.isEmpty())
            return true;
        if (!place(snapshotPath, snapshotJson)) {
            discard(files);
            return false;
        }
        files->snapshot = snapshotPath;
        return true;
    }
    QFile::remove(presetTemp);
    *error = QStringLiteral("no free name for %1 in %2").arg(base, QDir::toNativeSeparators(folder));
    return false;
}

void discard(Files *files)
{
    for (QString *path : {&files->preset, &files->report, &files->snapshot}) {
        if (!path->isEmpty())
            QFile::remove(*path);
        path->clear();
    }
}

bool writeSnapshotBeside(const QString &presetPath, const QByteArray &snapshotJson, QString *path, QString *error)
{
    const QString suffix = QStringLiteral(" preset.txt");
    if (!presetPath.endsWith(suffix)) {
        *error = QStringLiteral("%1 is not a backup's preset").arg(QDir::toNativeSeparators(presetPath));
        return false;
    }
    const QString folder = QFileInfo(presetPath).absolutePath();
    const QString target = presetPath.chopped(suffix.size()) + QStringLiteral(" snapshot.json");
    const QString temp = temporaryWith(folder, snapshotJson, error);
    if (temp.isEmpty())
        return false;
    if (!QFile::rename(temp, target)) { // never replaces
        QFile::remove(temp);
        *error = QStringLiteral("%1 could not be written").arg(QDir::toNativeSeparators(target));
        return false;
    }
    *path = target;
    return true;
}

bool writeMemory(const QString &folder, const QDateTime &when, const QString &serialNumber, const QString &address,
                 const QByteArray &memory, QString *path, QString *error)
{
    return writeNewFile(folder, stem(when, serialNumber) + QStringLiteral(" memory ") + address, QStringLiteral(".bin"),
                        memory, path, error);
}
} // namespace PedalBackup
