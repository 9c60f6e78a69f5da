// check-update: the editor's version, the newest one on the update server, and the verdict.
#include "cli/CliCommandTable.h"

#include "support/Clock.h"
#include "support/EditorVersion.h"
#include "support/OutsideText.h"
#include "update/UpdateService.h"

#include <QEventLoop>
#include <QFile>

namespace Cli {
namespace {
// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 where there is none.
qint64 statusKb(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

int checkUpdate(Invocation &i)
{
    QTextStream &out = i.out;
    QTextStream &err = i.err;
    DiagnosticLog log;
    UpdateService update(log, *i.prompts, *i.clock);
    update.currentVersion = editorVersion();
    QString problem;
    update.server = UpdateService::serverFromEnvironment(&problem);
    if (update.server.isEmpty()) {
        err << problem << "\n";
        return Failed;
    }
    std::optional<UpdateService::VersionAnswer> answer;
    QEventLoop loop;
    update.fetchNewestVersion([&](const UpdateService::VersionAnswer &a) {
        answer = a;
        loop.quit();
    });
    if (!answer)
        loop.exec();
    out << "editor version: " << update.currentVersion << "\n";
    if (!answer->ok) {
        err << "The update server " << OutsideText::shown(update.server.toDisplayString(), 200)
            << (answer->answered ? " answered, but " : " could not be asked: ") << answer->problem << "\n";
        return Failed;
    }
    out << "newest version: " << answer->version << "\n";
    out << (update.isNewer(answer->version) ? "an update is available" : "no update is available") << "\n";
    return Ok;
}
} // namespace

int runCheckUpdate(Invocation &i)
{
    // QUARNELO_REPORT_PEAK_MEMORY, for tests only (--help does not name it): the check ends with
    // a line on stderr giving the resident memory before it and the peak the process reached.
    const bool reportMemory = qEnvironmentVariableIsSet("QUARNELO_REPORT_PEAK_MEMORY");
    const qint64 residentBefore = reportMemory ? statusKb("VmRSS") : 0;
    const int code = checkUpdate(i);
    if (reportMemory)
        i.err << "memory: resident " << residentBefore << " kB before the check, peak " << statusKb("VmHWM") << " kB\n";
    return code;
}
} // namespace Cli
