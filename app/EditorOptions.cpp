#include "EditorOptions.h"

#include "support/OutsideText.h"

#include <QCommandLineParser>

namespace {
QString echo(const QString &text) { return OutsideText::shown(text, 40); }

// Every spelling of an option, by the name that counts for "given twice".
QString optionName(const QString &spelling)
{
    if (spelling == QLatin1String("-h") || spelling == QLatin1String("-?") || spelling == QLatin1String("--help-all"))
        return QStringLiteral("--help");
    if (spelling == QLatin1String("-v"))
        return QStringLiteral("--version");
    return spelling;
}
} // namespace

bool parseEditorOptions(const QStringList &arguments, EditorOptions *o, QString *error)
{
    bool optionsEnded = false;
    QStringList given; // each option once: a second one is a mistake, not a change of mind
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            *error = QStringLiteral("the editor takes no argument, not '%1'").arg(echo(a));
            return false;
        }
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString spelling = eq > 0 ? a.left(eq) : a;
        const QString name = optionName(spelling);
        if (name != QLatin1String("--") && given.contains(name)) {
            *error = QStringLiteral("%1 is given twice").arg(echo(name));
            return false;
        }
        given << name;
        const bool flag = name == QLatin1String("--") || name == QLatin1String("--help") ||
                          name == QLatin1String("--version") || name == QLatin1String("--simulate") ||
                          name == QLatin1String("--report-first-frame");
        if (flag && eq > 0) {
            *error = QStringLiteral("%1 takes no value").arg(echo(spelling));
            return false;
        }
        if (name == QLatin1String("--")) {
            optionsEnded = true;
        } else if (name == QLatin1String("--help")) {
            o->help = true;
        } else if (name == QLatin1String("--version")) {
            o->version = true;
        } else if (name == QLatin1String("--simulate")) {
            o->simulate = true;
        } else if (name == QLatin1String("--report-first-frame")) {
            o->reportFirstFrame = true;
        } else if (name == QLatin1String("--port")) {
            // The value follows, or is joined with "=". An option in its place is not taken for
            // a path: a serial port's path does not begin with '-' (./-name names one that does).
            const QString value = eq > 0 ? a.mid(eq + 1) : i + 1 < arguments.size() ? arguments[++i] : QString();
            if (value.isEmpty()) {
                *error = QStringLiteral("--port needs a value: the serial port's path");
                return false;
            }
            if (eq < 0 && value.startsWith(QLatin1Char('-'))) {
                *error = QStringLiteral("--port needs a value: the serial port's path, not the option %1").arg(echo(value));
                return false;
            }
            o->port = value;
        } else {
            *error = QStringLiteral("unknown option ") + echo(a);
            return false;
        }
    }
    if (o->help || o->version)
        return true;
    if (o->simulate && !o->port.isEmpty()) {
        *error = QStringLiteral("--simulate and --port name two pedals; give one of them");
        return false;
    }
    return true;
}

QString editorUsage()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The editor of the Quarnelo MK3 octave pedal."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("simulate"), QStringLiteral("Start linked to the built-in simulated pedal.")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Start linked to the pedal on this serial port (Scan And Link looks at it "
                                     "alone), as the command-line tool's --port does."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("report-first-frame"),
                      QStringLiteral("Print the resident memory once the main window has painted, then end "
                                     "(the start-up benchmark), whatever else is given.")});
    return parser.helpText();
}
