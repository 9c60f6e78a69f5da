#pragma once
// Backups of what a pedal holds, made before anything that can lose it (erasing its settings
// memory, uploading an algorithm, upgrading its firmware) and from a memory check. Each backup
// is a pair of files named with the date, the time and the pedal's serial number: the twenty
// parameter values as a preset file (Load Local Preset restores them) and a readable report of
// the whole device information answer. Backup files are only ever added: an existing file is
// never replaced, and the editor deletes none.

#include "device/DeviceInformation.h"
#include "presets/PresetFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace PedalBackup {
inline const QString FolderName = QStringLiteral("Backups");

struct Files {
    QString preset;   // the twenty values, as Load Local Preset reads them
    QString report;   // the readable report
    QString snapshot; // every setting, as Restore Backup reads it (BackupSnapshot)
};

// "2026-12-10 14-03-27 QMK3SIM01": the date and time, then the serial number with anything
// but letters, digits, '-' and '_' replaced, so it is a safe file name everywhere.
QString stem(const QDateTime &when, const QString &serialNumber);

// The report's text: what the backup is, then every setting of the answer, the preset's values
// and the answer's raw values.
QString reportText(const QDateTime &when, const QString &serialNumber, const QString &occasion,
                   const DeviceInformation &info, const QByteArray &answerValues,
                   const PresetFile::PresetValues &values, const QString &presetName);

// Writes a backup into folder (made when missing): the preset, the report and the snapshot
// (snapshotJson; none when it is empty). A name already taken by any of the three gets " (2)",
// " (3)" ... so the three keep one name. False with the reason when a file could not be written;
// the backup is then not made at all: none of its files is left behind.
bool write(const QString &folder, const QDateTime &when, const QString &serialNumber, const QString &occasion,
           const DeviceInformation &info, const QByteArray &answerValues, const PresetFile::PresetValues &values,
           Files *files, QString *error, const QByteArray &snapshotJson = QByteArray());

// Removes a backup's files that were written (a backup that could not be completed).
void discard(Files *files);

// Writes a backup's snapshot beside its preset file (the same name, " snapshot.json"), never
// replacing a file.
bool writeSnapshotBeside(const QString &presetPath, const QByteArray &snapshotJson, QString *path, QString *error);

// Saves a memory check's 16,384 bytes as "<stem> memory <address>.bin" beside the backups.
bool writeMemory(const QString &folder, const QDateTime &when, const QString &serialNumber, const QString &address,
                 const QByteArray &memory, QString *path, QString *error);

// Writes bytes as a new file in folder, named name + suffix, or name (2) + suffix ... when
// that is taken, without ever replacing a file: the bytes go to a temporary file first, which
// takes its name only where none exists.
bool writeNewFile(const QString &folder, const QString &name, const QString &suffix, const QByteArray &bytes,
                  QString *path, QString *error);
} // namespace PedalBackup
