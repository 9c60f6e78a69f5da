// The Quarnelo MK3 editor.
//   quarnelo-editor              start unlinked; Scan And Link finds real pedals
//   quarnelo-editor --simulate   start linked to the built-in simulated pedal
//   quarnelo-editor --report-first-frame
//                                print "first frame, resident N kB" once the main window has
//                                painted, then end (the start-up benchmark)

#include "pedal/EditorCore.h"
#include "windows/Editor.h"
#include "windows/MainWindow.h"
#include "support/Clock.h"
#include "support/FileWriting.h"
#include "windows/WidgetPrompts.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimBackend.h"

#include <QApplication>
#include <QIcon>
#include <QCommandLineParser>
#include <QFile>
#include <QTimer>
#include <cstdio>

namespace {
// Reports the first paint of a widget on stdout and ends the program.
class FirstFrameReport : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QByteArray resident = "?";
            QFile status(QStringLiteral("/proc/self/status"));
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray &line : status.readAll().split('\n'))
                    if (line.startsWith("VmRSS:"))
                        resident = line.mid(6).trimmed().split(' ').first();
            std::printf("first frame, resident %s kB\n", resident.constData());
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};
} // namespace

namespace {
void describeOptions(QCommandLineParser &parser)
{
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
                                     "(the start-up benchmark).")});
}

bool asksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" || a == "-v")
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    FileWriting::reportFileSizeLimitAsAnError();
    QCoreApplication::setApplicationName(QStringLiteral("Quarnelo Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARNELO_VERSION));
    if (asksForHelpOrVersion(argc, argv)) {
        // Answered without a display: no window system is needed to print.
        QCoreApplication plain(argc, argv);
        QCommandLineParser parser;
        describeOptions(parser);
        parser.process(plain); // prints and ends
        return 0;
    }
    QApplication app(argc, argv);
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app); // an unknown option ends the program with a message
    // Docks and Wayland match the window to its desktop entry; the icon is the installed theme's,
    // or the one the program carries when it is not installed.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.karvoaudio.QuarneloEditor"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("com.karvoaudio.QuarneloEditor"), QIcon(QStringLiteral(":/app/icon.svg"))));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    QApplication::setFont(font);

    const bool simulate = parser.isSet(QStringLiteral("simulate"));
    const QString port = parser.value(QStringLiteral("port"));
    if (simulate && !port.isEmpty()) {
        std::fprintf(stderr, "%s: --simulate and --port name two pedals; give one of them\n",
                     qPrintable(QCoreApplication::applicationFilePath()));
        return 64;
    }

    SystemClock clock;
    WidgetPrompts prompts;
    SerialPortBackend serial(port.isEmpty() ? QStringList() : QStringList{port},
                             port.isEmpty() ? SerialPortBackend::PortScan::EveryTime : SerialPortBackend::PortScan::Never);
    SimBackend simulated(&clock);
    simulated.pedal()->wireTiming = true; // answers take as long as on a real line

    EditorCore core(UserFiles::defaultDocumentsFolder(), &prompts, &clock, &serial, &simulated);
    Editor editor(core);
    // The folders exist and log.txt is trimmed: a run that never closed is appended now, and this
    // run's lines go to a journal of their own until its window closes.
    const QString logPath = core.files.userFile(QStringLiteral("log.txt"));
    QString journalError;
    DiagnosticLog::recoverJournals(core.files.userFolder(), logPath, &journalError);
    if (!core.log.startJournal(core.files.userFolder(), &journalError) || !journalError.isEmpty())
        std::fprintf(stderr, "log journal: %s\n", qPrintable(journalError));
    prompts.setParent(editor.main());
    QObject::connect(editor.main(), &MainWindow::closed, &app, &QApplication::quit);
    FirstFrameReport firstFrame;
    if (parser.isSet(QStringLiteral("report-first-frame")))
        editor.main()->installEventFilter(&firstFrame);
    editor.main()->show();
    if (simulate)
        QTimer::singleShot(0, &core.service, [&core] { core.service.linkSimulated().detach(); });
    else if (!port.isEmpty())
        QTimer::singleShot(0, &core.service, [&core] { core.service.scanAndLink().detach(); });
    const int code = app.exec();
    core.log.endJournal(); // a window closed normally has written log.txt; any other end leaves it as it was
    return code;
}
