#pragma once
// The seam between the editor and starting another program (the updater): tests record what
// would be started instead of starting it.

#include <QString>

class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Whether this system can run the maker's updater (a Windows program).
    virtual bool canRunUpdater() const = 0;
    // Starts program with administrator rights, handing it parameters as one command-line text.
    // False when it could not be started.
    virtual bool startElevated(const QString &program, const QString &parameters) = 0;
};

// The real one: on Windows the shell's "runas" verb; elsewhere the updater cannot run.
class SystemLauncher : public ProgramLauncher {
public:
    bool canRunUpdater() const override;
    bool startElevated(const QString &program, const QString &parameters) override;
};
