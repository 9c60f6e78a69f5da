#include "pedal/EditorCore.h"

#include "support/Clock.h"
#include "support/Prompts.h"
#include "support/EditorVersion.h"

EditorCore::EditorCore(const QString &documentsFolder, Prompts *prompts_, Clock *clock_, FtdiBackend *scanBackend,
                       FtdiBackend *simulatedBackend)
    : prompts(prompts_), clock(clock_), files(documentsFolder, prompts_),
      d2xx(std::make_unique<D2XXUnit>(&log, scanBackend)), comm(&log, d2xx.get(), clock_, prompts_),
      service(log, files, *prompts_, *clock_, *d2xx, comm), update(log, *prompts_, *clock_)
{
    prompts->attach(*clock);
    update.currentVersion = editorVersion();
    comm.setSimulatedBackend(simulatedBackend);
    comm.setScanBackend(scanBackend);
}

EditorCore::~EditorCore() { clock->abandonWaits(); }
