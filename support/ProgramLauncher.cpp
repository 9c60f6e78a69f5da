#include "support/ProgramLauncher.h"

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#include <shellapi.h>

bool SystemLauncher::canRunUpdater() const { return true; }

bool SystemLauncher::startElevated(const QString &program, const QString &parameters)
{
    const std::wstring file = QDir::toNativeSeparators(program).toStdWString();
    const std::wstring args = parameters.toStdWString();
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"runas", file.c_str(), args.empty() ? nullptr : args.c_str(), nullptr, SW_SHOWNORMAL));
    return result > 32;
}
#else
bool SystemLauncher::canRunUpdater() const { return false; }

bool SystemLauncher::startElevated(const QString &, const QString &) { return false; }
#endif
