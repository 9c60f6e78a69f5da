// Every benchmark in one table: each figure's min / median / max over the runs, beside its limit
// (the wire time of the same bytes at 115200 baud, plus the pauses the pedal needs, or a stated
// target) and the ratio. What crosses the serial line crosses it for real: the simulated pedal
// runs as its own program on a pseudo-terminal with wire timing.
//   build/bench/bench_suite [RUNS]      (./run-benchmarks builds and runs it)
#include "support/Finish.h"
#include "BenchSupport.h"

#include "cli/CliCommands.h"
#include "device/SerialPortBackend.h"
#include "pedal/EditorCore.h"
#include "pedal/ParameterCatalogue.h"
#include "presets/PresetFile.h"
#include "support/Prompts.h"
#include "windows/DebugConsoleWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTimer>
#include <sys/resource.h>

using namespace Bench;

namespace {
const QString CliProgram = QStringLiteral(QUARNELO_CLI_PATH);
const QString EditorProgram = QStringLiteral(QUARNELO_EDITOR_PATH);

double ms(const QElapsedTimer &t) { return t.nsecsElapsed() / 1e6; }

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The editor's core linked to a pedal on a pseudo-terminal.
struct Linked {
    QTemporaryDir documents;
    SystemClock clock;
    ScriptedPrompts prompts;
    SerialPortBackend serial;
    EditorCore core;
    Linked(const QString &port, bool askForSettings)
        : serial({port}, SerialPortBackend::PortScan::Never), core(documents.path(), &prompts, &clock, &serial)
    {
        core.update.server = QUrl();
        core.comm.scanDevices();
        core.comm.chooseScannedDevice(0);
        finished(core.service.link(askForSettings));
    }
};

// Waits (running the event loop) until the pedal program prints a line starting with prefix.
bool pedalPrints(Pedal &pedal, const QByteArray &prefix, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        while (pedal.process.canReadLine()) {
            if (pedal.process.readLine().startsWith(prefix))
                return true;
        }
        QEventLoop loop;
        QObject::connect(&pedal.process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return false;
}

// One command of quarnelo-cli run in this process (its start-up is the info row's), timed from
// the command line to its end. bytesSent: the bytes of the "sent: " lines it printed.
struct CommandRun {
    double ms = -1;
    int bytesSent = 0;
};
CommandRun runCommand(const QStringList &args)
{
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QElapsedTimer t;
    t.start();
    const int code = Cli::run(args, out, err);
    CommandRun r;
    if (code != Cli::Ok) {
        QTextStream(stderr) << "quarnelo-cli " << args.join(QLatin1Char(' ')) << " failed: " << errText << "\n";
        return r;
    }
    r.ms = ms(t);
    static const QRegularExpression sent(QStringLiteral("^sent: ([0-9A-F]+)$"), QRegularExpression::MultilineOption);
    for (auto it = sent.globalMatch(outText); it.hasNext();)
        r.bytesSent += int(it.next().captured(1).size() / 2);
    return r;
}

// A preset whose twenty values all differ from the simulated pedal's (saved from it, each word
// changed in its lowest bit).
QString differingPreset(const QString &folder)
{
    Pedal pedal({});
    const QString saved = folder + QStringLiteral("/pedal.txt");
    PresetFile::PresetValues values{};
    QString message;
    if (runCommand({QStringLiteral("--port"), pedal.path, QStringLiteral("preset"), QStringLiteral("save"), saved}).ms < 0 ||
        !PresetFile::load(saved, &values, &message))
        return QString();
    for (quint32 &v : values)
        v ^= 0x00010001; // a different dial position and a different item of every list
    const QString path = folder + QStringLiteral("/differing.txt");
    return PresetFile::write(path, values, &message) ? path : QString();
}

// Xvfb on a display of its own, for as long as it lives.
struct Xvfb {
    QProcess process;
    QString display;
    Xvfb()
    {
        process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (process.waitForStarted(5000) && process.waitForReadyRead(10000))
            display = QLatin1Char(':') + QString::fromLatin1(process.readLine()).trimmed();
    }
    ~Xvfb()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
};

// The editor started with --report-first-frame on a platform: ms to its first painted frame and
// its resident MB then, or -1.
std::pair<double, double> editorFirstFrame(const QString &platform, const QString &display = QString())
{
    QTemporaryDir home;
    QProcess editor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home.path() + QStringLiteral("/Documents"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    editor.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    editor.start(EditorProgram, {QStringLiteral("--report-first-frame")});
    double firstFrame = -1, mb = -1;
    if (editor.waitForReadyRead(10000)) {
        firstFrame = ms(t);
        const QList<QByteArray> words = editor.readAll().trimmed().split(' ');
        mb = words.value(words.size() - 2).toDouble() / 1024; // "first frame, resident N kB"
    }
    editor.waitForFinished(5000);
    return {firstFrame, mb};
}

// Lets the event loop run until widget has painted once more.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *w) : m_widget(w) { w->installEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_widget && e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    void waitForPaint()
    {
        painted = false;
        m_widget->update();
        for (int i = 0; i < 1000 && !painted; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

private:
    QWidget *m_widget;
};
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    const double answerWireMs = (2 + answerBytes()) * RunByteS * 1000;

    Row roundTrip{QStringLiteral("device information round trip"), QStringLiteral("ms"), answerWireMs,
                  QStringLiteral("wire time of 02 00 and the answer")};
    Row infoProcess{QStringLiteral("quarnelo-cli info (the whole process)"), QStringLiteral("ms"), answerWireMs,
                    QStringLiteral("wire time of its exchange (target: ratio under 3)")};
    Row parameterWrite{QStringLiteral("parameter write to the pedal's record"), QStringLiteral("ms"), 7 * RunByteS * 1000,
                       QStringLiteral("wire time of 7 bytes")};
    Row algorithm{QStringLiteral("algorithm upload (answer and check)"), QStringLiteral("ms"), 0, QString()};
    Row tuning{QStringLiteral("tuning upload"), QStringLiteral("ms"),
               2 * RunByteS * 1000 + 400 + std::max(100.0, 641 * RunByteS * 1000),
               QStringLiteral("the 400 and 100 ms the pedal is given; the table crosses the wire in the 100")};
    const FirmwareLimits firmware = firmwareLimits();
    Row upgrade{QStringLiteral("firmware upgrade, FIRMWARE_15 with read-back"), QStringLiteral("ms"),
                firmware.oursWithReadBack * 1000, QStringLiteral("wire time + the simulated flash's time")};
    const QString commandBasis = QStringLiteral("wire time of 02 00, the answer and %1");
    Row getRow{QStringLiteral("quarnelo-cli get (the command)"), QStringLiteral("ms"), answerWireMs,
               QStringLiteral("wire time of 02 00 and the answer")};
    Row setRow{QStringLiteral("quarnelo-cli set Dry (the command)"), QStringLiteral("ms"), 0, QString()};
    Row presetRow{QStringLiteral("quarnelo-cli preset load, 20 differing values"), QStringLiteral("ms"), 0, QString()};
    const int dumpBytes = 6 + 1 + 16384;
    Row memoryRow{QStringLiteral("quarnelo-cli memory dump (the command)"), QStringLiteral("ms"),
                  answerWireMs + dumpBytes * RunByteS * 1000 + 20,
                  commandBasis.arg(QStringLiteral("%1 bytes of read and dump + 20 ms the pedal works").arg(dumpBytes))};
    Row dump{QStringLiteral("console: 16,384-line dump, its own batching"), QStringLiteral("ms"), 300,
             QStringLiteral("target")};
    Row perLine{QStringLiteral("console: memory a line, 1,000,000 lines"), QStringLiteral("B/line"), 120,
                QStringLiteral("target")};
    Row start{QStringLiteral("editor start to the first frame"), QStringLiteral("ms"), 500, QStringLiteral("target")};
    Row startXvfb{QStringLiteral("editor start to the first frame, Xvfb"), QStringLiteral("ms"), 500,
                  QStringLiteral("target")};
    Row resident{QStringLiteral("editor resident memory at the first frame"), QStringLiteral("MB"), 100,
                 QStringLiteral("target")};
    Row idle{QStringLiteral("CPU while waiting for a silent pedal (2 s)"), QStringLiteral("%"), 2,
             QStringLiteral("target, % of one core")};

    QTextStream err(stderr);
    // quarnelo-cli's commands run in this process: its documents folder is a private one.
    QTemporaryDir benchHome;
    qputenv("HOME", benchHome.path().toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (benchHome.path() + QStringLiteral("/Documents")).toLocal8Bit());
    const QString preset = differingPreset(benchHome.path());
    Xvfb xvfb;
    if (xvfb.display.isEmpty())
        err << "Xvfb did not start: the Xvfb row is not measured\n";
    for (int run = 0; run < runs; ++run) {
        err << "run " << run + 1 << " of " << runs << "\n" << Qt::flush;
        {
            Pedal pedal({QStringLiteral("--wire-timing"), QStringLiteral("--verbose")});
            Linked linked(pedal.path, true);
            PedalService &service = linked.core.service;
            for (int i = 0; i < 5; ++i) {
                QElapsedTimer t;
                t.start();
                const bool ok = finished(service.requestDeviceInformation()) == PedalService::Result::Done;
                roundTrip.samples << (ok ? ms(t) : -1);
            }
            for (int i = 0; i < 5; ++i) {
                pedalPrints(pedal, "nothing", 30); // what the pedal printed before is read first
                QElapsedTimer t;
                t.start();
                service.sendControl(Parameter::Dry, i % 2 ? 100 : 200);
                parameterWrite.samples << (pedalPrints(pedal, "received: 01", 2000) ? ms(t) : -1);
            }
            {
                QElapsedTimer t;
                t.start();
                const bool ok = finished(service.uploadSelectedAlgorithm()) == PedalService::UploadResult::Done;
                algorithm.samples << (ok ? ms(t) : -1);
                const int imageBytes = int(service.resourceLines().value(0).size() / 2);
                // bypass, the image, its 17-byte answer, then the request that checks it; the pedal
                // is given 40 ms after bypass, and the simulated pedal answers an image after 30 ms.
                algorithm.limit = (2 + imageBytes + 17) * RunByteS * 1000 + answerWireMs + 40 + 30;
                algorithm.basis = QStringLiteral("wire time of %1 bytes + 40 ms after bypass + 30 ms the pedal works")
                                      .arg(2 + imageBytes + 17 + 2 + answerBytes());
            }
            {
                QElapsedTimer t;
                t.start();
                const bool ok = finished(service.uploadTuningData()) == PedalService::UploadResult::Done;
                QCoreApplication::processEvents();
                tuning.samples << (ok && pedalPrints(pedal, "received: 0E", 2000) ? ms(t) : -1);
            }
        }
        {
            Pedal pedal({QStringLiteral("--wire-timing")});
            const double s = timed(CliProgram, {QStringLiteral("--port"), pedal.path, QStringLiteral("info")});
            infoProcess.samples << (s < 0 ? -1 : s * 1000);
        }
        {
            Pedal pedal({QStringLiteral("--wire-timing")});
            const QStringList port{QStringLiteral("--port"), pedal.path};
            getRow.samples << runCommand(port + QStringList{QStringLiteral("get")}).ms;
            const CommandRun set =
                runCommand(port + QStringList{QStringLiteral("set"), QStringLiteral("Dry"), QString::number(300 + run)});
            setRow.samples << set.ms;
            setRow.limit = answerWireMs + set.bytesSent * RunByteS * 1000;
            setRow.basis = commandBasis.arg(QStringLiteral("the %1 bytes sent").arg(set.bytesSent));
        }
        {
            Pedal pedal({QStringLiteral("--wire-timing")}); // a fresh pedal: all twenty values differ
            const CommandRun load = preset.isEmpty() ? CommandRun{}
                                                     : runCommand({QStringLiteral("--port"), pedal.path,
                                                                   QStringLiteral("preset"), QStringLiteral("load"), preset});
            presetRow.samples << load.ms;
            presetRow.limit = answerWireMs + load.bytesSent * RunByteS * 1000;
            presetRow.basis = commandBasis.arg(QStringLiteral("the %1 bytes sent").arg(load.bytesSent));
        }
        {
            Pedal pedal({QStringLiteral("--wire-timing")});
            memoryRow.samples << runCommand({QStringLiteral("--port"), pedal.path, QStringLiteral("memory"),
                                             QStringLiteral("dump"), benchHome.path() + QStringLiteral("/dump.bin")})
                                     .ms;
        }
        {
            Pedal pedal({QStringLiteral("--silent")});
            Linked linked(pedal.path, false);
            QElapsedTimer t;
            t.start();
            const double cpu = cpuSeconds();
            finished(linked.core.service.requestDeviceInformation()); // no answer: waits its 2 s
            idle.samples << 100.0 * (cpuSeconds() - cpu) / (t.nsecsElapsed() / 1e9);
        }
        {
            DiagnosticLog log;
            DebugConsoleWindow console(&log);
            console.show();
            PaintWatch watch(console.logView->viewport());
            watch.waitForPaint();
            QStringList lines;
            for (int p = 0; p < 16384; ++p)
                lines << QStringLiteral("%1: FF").arg(p);
            const QString text = lines.join(QLatin1Char('\n'));
            bool shown = false; // the view took the lines in (it may fetch them a screenful at a time)
            QObject::connect(console.logView->model(), &QAbstractItemModel::rowsInserted, &console,
                             [&](const QModelIndex &, int, int) {
                                 shown = true;
                                 watch.painted = false;
                             });
            QElapsedTimer t;
            t.start();
            log.writeLogLine(text); // as the memory check writes it; the console batches it itself
            while (!shown && t.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            while (!watch.painted && t.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            dump.samples << (watch.painted ? ms(t) : -1);
        }
        {
            const auto [firstFrame, mb] = editorFirstFrame(QStringLiteral("offscreen"));
            start.samples << firstFrame;
            resident.samples << mb;
            if (!xvfb.display.isEmpty())
                startXvfb.samples << editorFirstFrame(QStringLiteral("xcb"), xvfb.display).first;
        }
        if (run == 0) {
            const qint64 before = residentKb();
            DiagnosticLog log;
            DebugConsoleWindow console(&log);
            console.show();
            for (int i = 0; i < 1000000; i += 1000) {
                QStringList batch;
                for (int k = i; k < i + 1000; ++k)
                    batch << QStringLiteral("num of bytes read: %1").arg(k);
                log.writeLogLine(batch.join(QLatin1Char('\n')));
                console.flushPending();
            }
            PaintWatch(console.logView->viewport()).waitForPaint();
            perLine.samples << (residentKb() - before) * 1024.0 / 1000000;
        }
        {
            Pedal pedal({QStringLiteral("--start-in-bootloader"), QStringLiteral("--wire-timing")});
            const double s = timed(CliProgram, {QStringLiteral("--port"), pedal.path, QStringLiteral("--yes"),
                                         QStringLiteral("firmware"), QStringLiteral("upgrade"),
                                         QStringLiteral("--firmware"), QStringLiteral("15")});
            upgrade.samples << (s < 0 ? -1 : s * 1000);
        }
    }
    out << "runs: " << runs << "\n";
    printTable(out, {roundTrip, infoProcess, getRow, setRow, presetRow, memoryRow, parameterWrite, algorithm, tuning,
                     upgrade, dump, perLine, start, startXvfb, resident, idle});
    return 0;
}
