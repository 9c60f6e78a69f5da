#include "pedal/EditorCore.h"

#include "algorithms/EffectList.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/HexCodec.h"

EditorCore::EditorCore(const QString &documentsFolder, Prompts *prompts_, Clock *clock_,
                             FtdiBackend *scanBackend, FtdiBackend *simulatedBackend)
    : prompts(prompts_), clock(clock_), files(documentsFolder, prompts_),
      d2xx(std::make_unique<D2XXUnit>(&log, scanBackend)), comm(&log, d2xx.get(), clock_, prompts_)
{
    comm.setSimulatedBackend(simulatedBackend);
    comm.setScanBackend(scanBackend);
}

bool EditorCore::loadSelectedEffectImage()
{
    const QString resource = HexCodec::effectNameToResourceName(SelectedEffectName);
    log.WriteLogLine(QStringLiteral("resource name: ") + resource);
    QString error;
    if (!EffectList::LoadResourceToList(resource, &ResourceLines, &error)) {
        prompts->message(QStringLiteral("Error loading resource: ") + error);
        return false;
    }
    log.WriteLogLine(QStringLiteral("filecontent (first 128 bytes): ") + ResourceLines.value(0).left(256));
    return true;
}
