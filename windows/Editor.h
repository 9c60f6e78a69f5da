#pragma once

class DebugConsoleWindow;
struct EditorCore;
class EffectWindow;
class FirmwareUpgradeWindow;
class MainWindow;
class NewVersionWindow;
class NoteCutWindow;
class UpdaterWindow;

// All windows of the editor, created in start-up order and wired together.
class Editor {
public:
    explicit Editor(EditorCore &core);
    ~Editor();
    MainWindow *main() const { return m_main; }
    DebugConsoleWindow *console() const { return m_console; }
    EffectWindow *effect() const { return m_effect; }
    FirmwareUpgradeWindow *firmware() const { return m_firmware; }

private:
    MainWindow *m_main;
    FirmwareUpgradeWindow *m_firmware;
    DebugConsoleWindow *m_console;
    EffectWindow *m_effect;
    NoteCutWindow *m_noteCut;
    NewVersionWindow *m_newVersion;
    UpdaterWindow *m_updater;
};
