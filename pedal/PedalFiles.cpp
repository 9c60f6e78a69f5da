// Backups and local presets.
#include "pedal/PedalService.h"

#include "device/Communication.h"
#include "device/HexCodec.h"
#include "pedal/BackupRestore.h"
#include "pedal/DialMath.h"
#include "pedal/EditRecorder.h"
#include "pedal/PedalServiceTexts.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "support/UserFiles.h"

#include <QDir>

using HexCodec::hexNumber;
using namespace DialMath;
using namespace PedalServiceTexts;

QString PedalService::backupFolder() { return m_files.userFile(PedalBackup::FolderName); }

PedalService::Backup PedalService::backUp(const QString &occasion, const QString &folder, bool snapshotLater)
{
    Backup b;
    if (!m_state.reported || m_lastAnswerValues.size() < DeviceInformation::Values) {
        b.problem = QStringLiteral("the pedal's state is not known (%1)")
                        .arg(m_state.unknownReason.isEmpty() ? QStringLiteral("it has not answered a device information request")
                                                             : m_state.unknownReason);
        return b;
    }
    // The values the pedal runs: those it reported, with the editor's changes since.
    PresetFile::PresetValues values{};
    for (int i = 0; i < PresetFile::Values; ++i)
        values[size_t(i)] = m_state.valuesKnown ? ownScaleWord(m_state.parameters[size_t(i)].value,
                                                               ParameterCatalogue::all()[size_t(i)].fullScale)
                                                : m_state.reported->parameterWords[size_t(i)];
    const std::optional<BackupSnapshot> snapshot = m_backups->snapshot(occasion);
    b.made = PedalBackup::write(folder.isEmpty() ? backupFolder() : folder, m_clock.localNow(), m_comm.deviceSerialNumber(),
                                occasion, *m_state.reported, m_lastAnswerValues, values, &b.files, &b.problem,
                                snapshotLater || !snapshot ? QByteArray() : snapshot->toJson());
    if (!b.made)
        b.problem = QStringLiteral("the backup could not be written: ") + b.problem;
    return b;
}

bool PedalService::addSnapshot(Backup *backup, const QString &occasion,
                               const std::optional<BackupSnapshot::Memory> &memory)
{
    if (!backup->made)
        return false;
    const std::optional<BackupSnapshot> snapshot = m_backups->snapshot(occasion, memory);
    QString error = QStringLiteral("the pedal's state is no longer known");
    if (snapshot && PedalBackup::writeSnapshotBeside(backup->files.preset, snapshot->toJson(), &backup->files.snapshot, &error))
        return true;
    backup->made = false;
    backup->problem = QStringLiteral("the backup's snapshot could not be written: ") + error;
    PedalBackup::discard(&backup->files); // a backup without its snapshot is no backup
    return false;
}

QStringList PedalService::backupLogLines(const Backup &backup)
{
    if (!backup.made)
        return {QStringLiteral("no backup: ") + backup.problem};
    QStringList lines{QStringLiteral("backup saved: %1 and %2")
                          .arg(QDir::toNativeSeparators(backup.files.preset), QDir::toNativeSeparators(backup.files.report))};
    if (!backup.files.snapshot.isEmpty())
        lines << QStringLiteral("backup snapshot saved: ") + QDir::toNativeSeparators(backup.files.snapshot);
    return lines;
}

void PedalService::logBackup(const Backup &backup)
{
    for (const QString &line : backupLogLines(backup))
        m_log.writeLogLine(line);
    emit backupLogged(backup);
}

Task<bool> PedalService::backUpBefore(QString occasion)
{
    const Backup backup = backUp(occasion);
    const bool goOn = co_await goOnAfter(backup, occasion);
    co_return goOn;
}

Task<bool> PedalService::goOnAfter(Backup backup, QString occasion)
{
    logBackup(backup);
    if (backup.made)
        co_return true;
    const QString fact =
        QStringLiteral("No backup of the pedal's settings could be made before %1: %2.").arg(occasion, backup.problem);
    const bool goOn = co_await m_prompts.askGoOnWithoutBackup(fact);
    if (goOn) {
        m_log.writeLogLine(QStringLiteral("going on without a backup: ") + occasion);
        co_return true;
    }
    m_log.writeLogLine(QStringLiteral("refused without a backup: ") + occasion);
    co_return false;
}

QString PedalService::presetFolder()
{
    const QString folder = m_files.userFile(QStringLiteral("Preset"));
    QDir().mkpath(folder);
    return folder;
}

Task<PedalService::Result> PedalService::savePreset(QString givenPath)
{
    const bool readBack =
        co_await readValuesToSave(Command::PresetSave, QStringLiteral("Save Local Preset"), QStringLiteral("SAVE LOCAL PRESET"));
    if (!readBack)
        co_return Result::Refused;
    const PresetFile::PresetValues values = parameterValues();
    for (int i = 0; i < PresetFile::Values; ++i)
        m_log.writeLogLine(PresetFile::logKeys()[i] + hexNumber(values[size_t(i)], 8));
    QString path = givenPath;
    if (path.isEmpty())
        path = co_await m_prompts.askFileToSave(QStringLiteral("Save Preset File"), QStringLiteral("Preset files (*.txt)"),
                                                presetFolder(), QStringLiteral("txt"));
    if (path.isEmpty())
        co_return Result::Cancelled;
    path = PresetFile::withExtension(path);
    QString error;
    if (!PresetFile::write(path, values, &error)) {
        co_await m_prompts.tell(QStringLiteral("Error saving file: ") + error);
        co_return Result::Failed;
    }
    co_await m_prompts.tell(QStringLiteral("File saved successfully: ") + path);
    co_return Result::Done;
}

Task<PedalService::Result> PedalService::loadPreset(QString givenPath)
{
    if (!allowed(Command::PresetLoad, QStringLiteral("Load Local Preset")))
        co_return Result::Refused;
    QString path = givenPath;
    if (path.isEmpty())
        path = co_await m_prompts.askFileToOpen(QStringLiteral("Open Preset File"), QStringLiteral("Preset files (*.txt)"),
                                                presetFolder());
    PresetFile::PresetValues values{};
    QString message;
    const bool valid = !path.isEmpty() && PresetFile::load(path, &values, &message);
    if (valid)
        co_await m_prompts.tell(QStringLiteral("File loaded successfully: ") + path);
    else if (!path.isEmpty())
        co_await m_prompts.tell(message);
    m_log.writeLogLine(Banner.arg(QStringLiteral("LOAD LOCAL PRESET")));
    for (int i = 0; i < PresetFile::Values; ++i)
        m_log.writeLogLine(PresetFile::logKeys()[i] + (valid ? hexNumber(values[size_t(i)], 8) : QString()));
    if (!valid)
        co_return path.isEmpty() ? Result::Cancelled : Result::Failed; // nothing changes, nothing is sent
    const PresetFile::PresetValues before = parameterValues();
    putParameterValues(values);
    showParameterValues(true);
    // One step for the whole preset: undo puts every value back as the load had found it.
    const PresetFile::PresetValues after = parameterValues();
    if (!m_applyingHistory && before != after && m_recorder)
        m_recorder->presetEdit(before, after, QFileInfo(path).completeBaseName());
    co_return Result::Done;
}
