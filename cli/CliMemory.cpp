// memory erase | memory dump FILE: the settings memory at --address (50 when not given).
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

#include "pedal/SettingsMemory.h"
#include "support/FileWriting.h"

namespace Cli {
namespace {
QString address(const Invocation &i) { return i.options.address.isEmpty() ? QStringLiteral("50") : i.options.address; }
} // namespace

int checkDumpTarget(Invocation &i)
{
    // Where the dump goes is checked before the pedal is asked for it: a regular file or a
    // new name, never a device or a pipe it would replace.
    const FileWriting::Target target = FileWriting::checkTarget(i.rest[1]);
    if (target != FileWriting::Target::Writable) {
        i.err << i.rest[1] << " cannot be written: "
              << (target == FileWriting::Target::NoFolder     ? QStringLiteral("its folder does not exist")
                  : target == FileWriting::Target::BrokenLink ? QStringLiteral("it is a link to nothing")
                                                              : QStringLiteral("it is ") + FileWriting::kindText(target))
              << ". Nothing was sent.\n";
        return Failed;
    }
    return Pass;
}

int runMemoryErase(Invocation &i)
{
    Session &s = *i.session;
    const SettingsMemory::Outcome r = Cli::finish(s.service().memory().erase(address(i)));
    const QStringList backup = s.backupLines();
    s.flush();
    for (const QString &line : backup)
        i.out << line << "\n";
    if (r == SettingsMemory::Outcome::Done && s.settle())
        i.out << "The settings memory at " << address(i) << " was told to erase itself; memory dump shows the result.\n";
    return s.done(r == SettingsMemory::Outcome::Done ? Ok : Failed);
}

int runMemoryDump(Invocation &i)
{
    Session &s = *i.session;
    QTextStream &out = i.out;
    const QStringList &rest = i.rest;
    SettingsMemory &memory = s.service().memory();
    const SettingsMemory::Outcome r = Cli::finish(memory.read(address(i)));
    s.flush();
    const SettingsMemory::Check &check = memory.lastCheck();
    if (r != SettingsMemory::Outcome::Done || check.kind != SettingsMemory::Check::Kind::Complete) {
        if (check.kind == SettingsMemory::Check::Kind::None)
            s.err << "No memory dump was read; " << rest[1] << " was not written.\n";
        else
            s.err << rest[1] << " was not written.\n";
        return s.done(Failed);
    }
    QString error;
    if (!FileWriting::writeWhole(rest[1], check.memory, &error)) {
        s.err << rest[1] << " could not be written: " << error << "\n";
        return s.done(Failed);
    }
    out << "wrote " << check.memory.size() << " bytes to " << rest[1] << " (the memory is "
        << (check.empty ? "empty" : "not empty") << ")\n";
    return s.done(Ok);
}
} // namespace Cli
