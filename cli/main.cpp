#include "cli/CliCommands.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << Cli::usage();
        return 0;
    }
    const int code = Cli::run(args, out, err);
    out.flush();
    err.flush();
    return code;
}
