// All windows of the editor, created in start-up order and wired together.
#include "windows/Editor.h"

#include "pedal/EditorCore.h"
#include "pedal/PedalService.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/EffectWindow.h"
#include "windows/FirmwareUpgradeWindow.h"
#include "windows/MainWindow.h"
#include "windows/NewVersionWindow.h"
#include "windows/NoteCutWindow.h"
#include "windows/UpdaterWindow.h"

Editor::Editor(EditorCore &core)
{
    core.service.relinkWhenBack = true; // the editor keeps its values and waits for an unplugged pedal
    m_main = new MainWindow(core);
    m_firmware = new FirmwareUpgradeWindow(core.service.firmware());
    m_console = new DebugConsoleWindow(&core.log);
    m_console->setSettingsMemory(&core.service.memory());
    m_effect = new EffectWindow(core.service, core.log);
    m_noteCut = new NoteCutWindow(core.service);
    m_newVersion = new NewVersionWindow(core.update, core.files, *core.prompts);
    m_updater = new UpdaterWindow();
    m_main->setCompanions(m_firmware, m_console, m_effect, m_noteCut, m_newVersion, m_updater);
    QObject::connect(m_effect, &EffectWindow::consoleRequested, m_console, [this] {
        m_console->show();
        m_console->raise();
    });
}

Editor::~Editor()
{
    delete m_updater;
    delete m_newVersion;
    delete m_noteCut;
    delete m_effect;
    delete m_console;
    delete m_firmware;
    delete m_main;
}
