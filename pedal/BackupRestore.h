#pragma once
// Backups as snapshots, and putting one back: the settings the editor knows the pedal holds,
// the snapshot made of them, and Restore Backup, which shows what differs, asks, sends every
// differing value with its exact word and every differing setting through the service's
// commands, saves the assignable values where they changed, reads the pedal again and compares.
// Done only when the pedal reports back everything the backup holds that it reports at all.

#include "pedal/BackupSnapshot.h"
#include "pedal/PedalSettings.h"

#include <QString>
#include <QStringList>
#include <optional>

#include "support/Task.h"

class Clock;
class Communication;
class DiagnosticLog;
class PedalService;
class Prompts;

class BackupRestore {
public:
    BackupRestore(PedalService &service, DiagnosticLog &log, Prompts &prompts, Communication &comm);

    // The settings the pedal holds as far as the editor knows: its last complete answer, with
    // what the editor has sent since. Empty while no complete answer is known.
    std::optional<PedalSettings> knownSettings() const;
    // A snapshot of them; memory is the settings memory read just before (Erase Settings).
    std::optional<BackupSnapshot> snapshot(const QString &occasion,
                                           const std::optional<BackupSnapshot::Memory> &memory = std::nullopt) const;

    enum class Result { Done, Refused, Cancelled, Failed };
    struct Outcome {
        Result result = Result::Failed;
        QString backup;          // the snapshot file read
        QStringList changes;     // what differed before ("Dry: 003FC000 -> 00520000"), as asked
        QStringList notChecked;  // sent, but the pedal never reports them
        QStringList mismatches;  // what the pedal reports differently afterwards
        QStringList notRestored; // what the backup holds that no message of the editor sends, where the pedal differs
        QString problem;         // why it was refused or failed
    };
    // Restore Backup: an empty path asks for the file.
    Task<Outcome> restore(QString path = QString());
    const Outcome &lastOutcome() const { return m_last; }

    // Sends what differs from `from` to `to` through the service's commands, asking nothing and
    // recording nothing (the caller records one step). Data words go out exactly.
    Task<> send(PedalSettings from, PedalSettings to);

private:
    Outcome finish(Outcome o);
    // What of the backup's answer differs from the pedal's last answer and cannot be sent back.
    QStringList beyondReach(const BackupSnapshot &backup) const;
    void sendWord(int parameter, quint32 word);

    PedalService &m_service;
    DiagnosticLog &m_log;
    Prompts &m_prompts;
    Communication &m_comm;
    Outcome m_last;
};
