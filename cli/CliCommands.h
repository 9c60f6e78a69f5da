#pragma once
// quarnelo-cli: the editor's core from the command line, for scripted rigs and service.

#include <QStringList>
#include <QTextStream>

class Clock;

namespace Cli {
enum Exit { Ok = 0, Failed = 1, NoDevice = 2, Usage = 64 };
// Runs one command line (without the program name). Output to out, errors (one line each) to err.
int run(const QStringList &args, QTextStream &out, QTextStream &err);
// The same with the pedal's waits on another clock (a test's manual clock; for --simulate).
int run(const QStringList &args, QTextStream &out, QTextStream &err, Clock &clock);
QString usage();
} // namespace Cli
