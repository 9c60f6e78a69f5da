#include "app/EditorContext.h"

EditorContext::EditorContext(const QString &documentsFolder, Prompts *prompts_, Clock *clock_,
                             FtdiBackend *scanBackend, FtdiBackend *simulatedBackend)
    : prompts(prompts_), clock(clock_), files(documentsFolder, prompts_),
      d2xx(std::make_unique<D2XXUnit>(&log, scanBackend)), comm(&log, d2xx.get(), clock_, prompts_)
{
    comm.setSimulatedBackend(simulatedBackend);
    comm.setScanBackend(scanBackend);
}
