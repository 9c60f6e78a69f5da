#include "cli/CliCommands.h"
#include "support/FileWriting.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    FileWriting::reportFileSizeLimitAsAnError();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    const int code = Cli::run(args, out, err);
    out.flush();
    err.flush();
    return code;
}
