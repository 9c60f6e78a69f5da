// preset save FILE | preset load FILE: the pedal's twenty values and a preset file.
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

namespace Cli {
// A file that is not a preset, or a place a preset cannot be saved, is refused before the pedal
// is linked.
int checkPresetLoad(Invocation &i)
{
    QString message;
    PresetFile::PresetValues values{};
    if (!PresetFile::load(i.rest[1], &values, &message)) {
        i.err << message << "\n";
        return Failed;
    }
    return Pass;
}

int checkPresetSave(Invocation &i)
{
    QString message;
    if (!PresetFile::canWrite(PresetFile::withExtension(i.rest[1]), &message)) {
        i.err << "Error saving file: " << message << "\n";
        return Failed;
    }
    return Pass;
}

int runPresetSave(Invocation &i)
{
    Session &s = *i.session;
    return s.done(Cli::finish(s.service().savePreset(i.rest[1])) == PedalService::Result::Done ? Ok : Failed);
}

int runPresetLoad(Invocation &i)
{
    Session &s = *i.session;
    const PedalService::Result r = Cli::finish(s.service().loadPreset(i.rest[1]));
    for (const QString &text : s.written)
        i.out << "sent: " << text << "\n";
    if (r == PedalService::Result::Done && s.settle())
        i.out << s.written.size() << " messages sent\n";
    return s.done(r == PedalService::Result::Done ? Ok : Failed);
}
} // namespace Cli
