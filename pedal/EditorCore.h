#pragma once
// The editor's core objects, created once and shared by the windows, the command-line tool and
// the tests: the log, the per-user files, the transport, the line, the pedal service and the
// update service.

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "pedal/PedalService.h"
#include "support/DiagnosticLog.h"
#include "support/UserFiles.h"
#include "update/UpdateService.h"

#include <memory>

class Clock;
class FtdiBackend;
class Prompts;

struct EditorCore {
    EditorCore(const QString &documentsFolder, Prompts *prompts, Clock *clock, FtdiBackend *scanBackend,
               FtdiBackend *simulatedBackend = nullptr);
    // Commands still waiting now (the program ends during one) are abandoned before the service,
    // the line and the log they use go: never resumed, their frames freed (see Task).
    ~EditorCore();

    Prompts *prompts;
    Clock *clock;
    DiagnosticLog log;
    UserFiles files;
    std::unique_ptr<D2XXUnit> d2xx; // 128 KiB of buffers: kept off the stack
    Communication comm;
    PedalService service;
    UpdateService update;
};
