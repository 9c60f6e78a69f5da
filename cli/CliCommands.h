#pragma once
// quarnelo-cli: the editor's core from the command line, for scripted rigs and service.

#include <QStringList>
#include <QTextStream>
#include <functional>

class Clock;
class SimulatedPedal;

namespace Cli {
enum Exit { Ok = 0, Failed = 1, NoDevice = 2, Usage = 64 };
// Runs one command line (without the program name). Output to out, errors (one line each) to err.
int run(const QStringList &args, QTextStream &out, QTextStream &err);
// The same with the pedal's waits on another clock (a test's manual clock; for --simulate).
int run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock);
// The same, with the simulated pedal of --simulate readied first (a test's faults).
int run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock,
        const std::function<void(SimulatedPedal &)> &readySimulatedPedal);
QString usage();
} // namespace Cli
