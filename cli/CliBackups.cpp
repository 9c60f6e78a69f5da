// backup [DIR] | restore BACKUP: the pedal's settings saved and put back.
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

#include "pedal/BackupRestore.h"

#include <QFileInfo>

namespace Cli {
int checkBackupFolder(Invocation &i)
{
    if (i.rest.size() == 1 && QFileInfo(i.rest[0]).exists() && !QFileInfo(i.rest[0]).isDir()) {
        i.err << i.rest[0] << " is not a folder. Nothing was sent.\n";
        return Failed;
    }
    return Pass;
}

int checkRestoreFile(Invocation &i)
{
    // The backup is read whole before the pedal is asked.
    BackupSnapshot backup;
    QString problem;
    if (!BackupSnapshot::load(i.rest[0], &backup, &problem)) {
        i.err << problem << ". Nothing was sent.\n";
        return Failed;
    }
    return Pass;
}

// backup [DIR]: the pedal's settings as a preset file and a report, as the editor saves them.
int runBackup(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const QStringList &rest = i.rest;
    if (const QString beyond = effectBeyondTheList(s); !beyond.isEmpty()) {
        s.err << "No backup was made: " << beyond << "\n";
        return s.done(Failed);
    }
    const PedalService::Backup b = s.service().backUp(QString(), rest.value(0));
    if (!b.made) {
        s.err << "No backup was made: " << b.problem << "\n";
        return s.done(Failed);
    }
    out << b.files.preset << "\n" << b.files.report << "\n" << b.files.snapshot << "\n";
    return s.done(Ok);
}

// restore BACKUP: puts a backup's settings back on the pedal and checks that the pedal reports them.
int runRestore(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const QString &path = i.rest[0];
    const BackupRestore::Outcome o = Cli::finish(s.service().backups().restore(path));
    for (const QString &change : o.changes)
        out << change << "\n";
    if (o.result == BackupRestore::Result::Done && s.settle()) {
        out << (o.changes.isEmpty() ? QStringLiteral("nothing to restore: the pedal holds every setting of the backup")
                                    : QStringLiteral("restored %1 settings; the pedal reports every setting the backup holds")
                                          .arg(o.changes.size() - o.notChecked.size()))
            << "\n";
        if (!o.notChecked.isEmpty())
            out << "sent, not checked (the pedal never reports them): " << o.notChecked.join(QStringLiteral(", ")) << "\n";
        return s.done(Ok);
    }
    for (const QString &m : o.mismatches)
        s.err << "not taken: " << m << "\n";
    for (const QString &m : o.notRestored)
        s.err << "not restored: " << m << "\n";
    return s.done(Failed);
}
} // namespace Cli
