// quarnelo-pedal-sim: the simulated pedal on a pseudo-terminal. The first line of output is
// the path to open; it serves one connection after another until it is stopped.

#include "support/Prompts.h"
#include "support/Clock.h"
#include "simulator/PtyServer.h"
#include "simulator/SimulatedPedal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarnelo-pedal-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARNELO_VERSION));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Simulated Quarnelo MK3 pedal on a pseudo-terminal."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption firmware(QStringLiteral("firmware"), QStringLiteral("Firmware number (default 15)."), QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption algorithm(QStringLiteral("algorithm"), QStringLiteral("Algorithm number, four digits (default 0015)."), QStringLiteral("NNNN"), QStringLiteral("0015"));
    const QCommandLineOption effect(QStringLiteral("effect"), QStringLiteral("Selected effect number (default 0)."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Append each received message to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption timing(QStringLiteral("wire-timing"), QStringLiteral("Pace the line both ways as 115200 baud (11 bits a byte in the bootloader, 10 otherwise)."));
    const QCommandLineOption bootFault(QStringLiteral("boot-fault"), QStringLiteral("One bootloader fault, once: KIND@STEP with KIND nack, silent, unplug or flip (one byte changed) and STEP sync, sync:N (the first N 0x7F), erase, block:K, record, read (the first Read Memory), read:K, read:record or go; flip goes with sync, block:K, record and the reads."), QStringLiteral("FAULT"));
    const QCommandLineOption noFlashTiming(QStringLiteral("no-flash-timing"), QStringLiteral("Program and erase the flash at once instead of at a Cortex-M3's pace."));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption shortAnswer(QStringLiteral("short-answer"), QStringLiteral("Answer only N values of the device information."), QStringLiteral("N"));
    const QCommandLineOption garbled(QStringLiteral("garbled"), QStringLiteral("Corrupt the bytes of every answer."));
    const QCommandLineOption nack(QStringLiteral("nack"), QStringLiteral("The bootloader answers NACK."));
    const QCommandLineOption unplug(QStringLiteral("unplug-after"), QStringLiteral("Disappear after receiving N bytes."), QStringLiteral("N"));
    const QCommandLineOption delay(QStringLiteral("answer-delay"), QStringLiteral("Wait MS before answering."), QStringLiteral("MS"));
    const QCommandLineOption shortDump(QStringLiteral("short-dump"), QStringLiteral("Stop the settings-memory dump after N of its 16384 bytes."), QStringLiteral("N"));
    const QCommandLineOption bootloader(QStringLiteral("start-in-bootloader"), QStringLiteral("Start in the bootloader (SHIFT held while plugging in)."));
    const QCommandLineOption synchronised(QStringLiteral("bootloader-synchronised"), QStringLiteral("With --start-in-bootloader: its bootloader was synchronised before, as an upgrade that stopped leaves it (it answers 02 00 with NACK; fresh from a reset it answers nothing before 0x7F)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print each received message."));
    for (const auto &o : {firmware, algorithm, effect, record, timing, silent, shortAnswer, garbled, nack, unplug, delay, shortDump, bootloader, synchronised, verbose, bootFault, noFlashTiming})
        p.addOption(o);
    p.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = true;
    const auto number = [&](const QCommandLineOption &o, int fallback) {
        if (!p.isSet(o))
            return fallback;
        bool good = false;
        const int v = p.value(o).toInt(&good, 10);
        if (!good || v < 0) {
            err << "quarnelo-pedal-sim: --" << o.names().first() << " takes a whole number\n";
            ok = false;
        }
        return v;
    };

    SystemClock clock;
    SimulatedPedal pedal(&clock);
    pedal.state.firmware = quint8(number(firmware, 15));
    pedal.state.algorithm = quint16(number(algorithm, 15));
    pedal.state.effect = quint8(number(effect, 0));
    pedal.wireTiming = p.isSet(timing);
    pedal.faults.silent = p.isSet(silent);
    pedal.faults.shortAnswerValues = number(shortAnswer, -1);
    pedal.faults.garbled = p.isSet(garbled);
    pedal.faults.nack = p.isSet(nack);
    pedal.faults.unplugAfterBytes = number(unplug, -1);
    pedal.faults.answerDelayMs = number(delay, 0);
    pedal.faults.dumpBytes = number(shortDump, -1);
    pedal.holdFirmwareRecord();
    if (p.isSet(bootloader))
        pedal.startInBootloader(p.isSet(synchronised));
    else if (p.isSet(synchronised)) {
        err << "quarnelo-pedal-sim: --bootloader-synchronised goes with --start-in-bootloader\n";
        ok = false;
    }
    pedal.flashTiming = !p.isSet(noFlashTiming);
    if (p.isSet(bootFault) && !BootFault::parse(p.value(bootFault), &pedal.bootFault)) {
        err << "quarnelo-pedal-sim: --boot-fault takes KIND@STEP, for example nack@block:105\n";
        ok = false;
    }
    if (!ok)
        return 64;

    PtyServer server(&pedal, &clock);
    server.verbose = p.isSet(verbose);
    QString path, error;
    if (p.isSet(record) && !server.setRecordFile(p.value(record), &error)) {
        err << "quarnelo-pedal-sim: cannot open " << p.value(record) << ": " << error << "\n";
        return 1;
    }
    if (!server.open(&path, &error)) {
        err << "quarnelo-pedal-sim: cannot open a pseudo-terminal: " << error << "\n";
        return 1;
    }
    out << path << Qt::endl;
    QObject::connect(&server, &PtyServer::unplugged, &app, [&] {
        err << "quarnelo-pedal-sim: unplugged" << Qt::endl;
        app.exit(0);
    });
    std::signal(SIGINT, [](int) { QCoreApplication::exit(0); });
    std::signal(SIGTERM, [](int) { QCoreApplication::exit(0); });
    return app.exec();
}
