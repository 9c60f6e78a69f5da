#pragma once
// The editor's core objects, created once and shared by the windows, the command-line
// tool and the tests.

#include "support/DiagnosticLog.h"
#include "support/UserFiles.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"

#include <memory>

class Clock;
class FtdiBackend;
class Prompts;

struct EditorCore {
    EditorCore(const QString &documentsFolder, Prompts *prompts, Clock *clock, FtdiBackend *scanBackend,
                  FtdiBackend *simulatedBackend = nullptr);

    Prompts *prompts;
    Clock *clock;
    DiagnosticLog log;
    UserFiles files;
    std::unique_ptr<D2XXUnit> d2xx; // 128 KiB of buffers: kept off the stack
    Communication comm;

    // The lines of the data block loaded last (an algorithm image: line 0 is its hex text)
    // and the effect chosen last in the effect list.
    QStringList ResourceLines;
    QString SelectedEffectName;

    // Loads the algorithm image of SelectedEffectName into ResourceLines, with its log lines.
    // On failure the user is told and ResourceLines keeps what it held.
    bool loadSelectedEffectImage();
};
