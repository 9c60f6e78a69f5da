// check-update: the editor's version, the newest one on the update server, and the verdict.
#include "cli/CliCommandTable.h"

#include "support/Clock.h"
#include "support/EditorVersion.h"
#include "support/OutsideText.h"
#include "update/UpdateService.h"

#include <QEventLoop>

namespace Cli {
int runCheckUpdate(Invocation &i)
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
} // namespace Cli
