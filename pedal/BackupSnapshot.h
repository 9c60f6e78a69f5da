#pragma once
// A backup as one file a program can read back: what the pedal was (serial number, firmware,
// algorithm, effect), every setting the editor can send back (PedalSettings), the whole device
// information answer, and, before the settings memory is erased, that memory's contents, kept
// for the record (no message writes them back). JSON, with a format name and version, so a
// later editor can tell what it reads.

#include "pedal/PedalSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

struct BackupSnapshot {
    static constexpr int FormatVersion = 1;
    static constexpr qint64 MaxFileBytes = 1024 * 1024; // far above what one holds (about 40 KB)
    static inline const QString FormatName = QStringLiteral("Quarnelo MK3 settings backup");

    QDateTime saved;
    QString occasion; // "Erase Settings", "the firmware upgrade" ...; empty for a backup asked for
    QString editorVersion;
    QString serialNumber;
    int firmware = 0;
    QString algorithm; // "0015"
    QString effect;    // "00"
    bool bypass = false;
    PedalSettings settings;
    QByteArray answerValues; // the device information answer's values as read

    struct Memory {
        QString address;     // "50"
        QByteArray bytes;    // the 16,384 bytes, when read
        QString problem;     // why they could not be read
    };
    std::optional<Memory> settingsMemory; // only before the settings memory is erased

    QByteArray toJson() const;
    // Reads a snapshot; false with the reason for anything that is not one, whole and valid.
    static bool parse(const QByteArray &json, BackupSnapshot *snapshot, QString *error);
    // Reads a snapshot file, or the snapshot of the backup a preset or report file belongs to.
    static bool load(const QString &path, BackupSnapshot *snapshot, QString *error, QString *snapshotPath = nullptr);
};
