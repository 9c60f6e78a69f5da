// The Quarnelo MK3 editor.
//   quarnelo-editor              start unlinked; Scan And Link finds real pedals
//   quarnelo-editor --simulate   start linked to the built-in simulated pedal
//   quarnelo-editor --port PATH  start linked to the pedal on that serial port
//   quarnelo-editor --report-first-frame
//                                print "first frame, resident N kB" once the main window has
//                                painted, then end (the start-up benchmark)
// A usage it refuses (an option given twice, an unknown one, an argument) ends it with exit 64
// and the usage on stderr.

#include "EditorOptions.h"

#include "pedal/EditorCore.h"
#include "windows/Editor.h"
#include "windows/MainWindow.h"
#include "support/Clock.h"
#include "support/FileWriting.h"
#include "windows/WidgetPrompts.h"
#include "device/SerialPortBackend.h"
#include "simulator/SimBackend.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <optional>

namespace {
constexpr int UsageExit = 64;

// Reports the first paint of a widget on stdout, then ends the run (by ended).
class FirstFrameReport : public QObject {
public:
    std::function<void()> ended;
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
            QTimer::singleShot(0, qApp, ended);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};

bool asksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" || a == "-v")
            return true;
    }
    return false;
}

// Reads the options of app; prints what --help or --version asks for, or the usage error.
// The exit code when the editor is to end here.
std::optional<int> readOptions(const QCoreApplication &app, EditorOptions *options)
{
    QString error;
    if (!parseEditorOptions(app.arguments().mid(1), options, &error)) {
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(QFileInfo(app.applicationFilePath()).fileName()), qPrintable(error),
                     qPrintable(editorUsage()));
        return UsageExit;
    }
    if (options->help) {
        std::printf("%s", qPrintable(editorUsage()));
        return 0;
    }
    if (options->version) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}
} // namespace

int main(int argc, char **argv)
{
    FileWriting::reportFileSizeLimitAsAnError();
    QCoreApplication::setApplicationName(QStringLiteral("Quarnelo Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARNELO_VERSION));
    EditorOptions options;
    if (asksForHelpOrVersion(argc, argv)) {
        // Answered without a display: no window system is needed to print.
        QCoreApplication plain(argc, argv);
        return readOptions(plain, &options).value_or(0);
    }
    QApplication app(argc, argv); // takes the window system's own options (-platform ...)
    if (const auto code = readOptions(app, &options))
        return *code;
    // Docks and Wayland match the window to its desktop entry; the icon is the installed theme's,
    // or the one the program carries when it is not installed.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.karvoaudio.QuarneloEditor"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("com.karvoaudio.QuarneloEditor"), QIcon(QStringLiteral(":/app/icon.svg"))));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    QApplication::setFont(font);

    const QString port = options.port;
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
    // The report ends the run whatever it is doing. The main window closes as always where it
    // can (its close appends the run's log to log.txt); while a command with the pedal is under
    // way it would refuse, so the run's log is appended here and the run ends all the same.
    firstFrame.ended = [&] {
        const bool closed = !clock.waiting() && editor.main()->close();
        QString error;
        if (!closed && !core.log.appendToLogFile(logPath, clock.localNow(), &error))
            std::fprintf(stderr, "log.txt: %s\n", qPrintable(error));
        QCoreApplication::exit(0);
    };
    if (options.reportFirstFrame)
        editor.main()->installEventFilter(&firstFrame);
    editor.main()->show();
    if (options.simulate)
        QTimer::singleShot(0, &core.service, [&core] { core.service.linkSimulated().detach(); });
    else if (!port.isEmpty())
        QTimer::singleShot(0, &core.service, [&core] { core.service.scanAndLink().detach(); });
    const int code = app.exec();
    core.log.endJournal(); // a window closed normally has written log.txt; any other end leaves it as it was
    return code;
}
