#pragma once
// The main window: device labels, the effect list, the command buttons and the menus. A view of
// the pedal service: it shows the service's state and turns clicks into calls of the service.

#include "pedal/GateState.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>

struct EditorCore;
class PedalService;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class WrapButton;
class FirmwareUpgradeWindow;
class DebugConsoleWindow;
class EffectWindow;
class NoteCutWindow;
class NewVersionWindow;
class UpdaterWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 356;
    static constexpr int ClientHeight = 228;

    explicit MainWindow(EditorCore &core, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The windows created after this one, in start-up order.
    void setCompanions(FirmwareUpgradeWindow *firmware, DebugConsoleWindow *console, EffectWindow *effect,
                       NoteCutWindow *noteCut, NewVersionWindow *newVersion, UpdaterWindow *updater);

    // Controls (named as their objectNames).
    QLabel *lblDeviceName = nullptr;
    QLabel *lblFirmwareVersion = nullptr;
    QLabel *lblAlgorithmVersion = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *lblShowNewVersion = nullptr;
    WrapButton *btnUpload = nullptr;
    WrapButton *btnRequest = nullptr;
    WrapButton *btnSaveParameters = nullptr;
    QPushButton *btnSaveParametersInfo = nullptr;
    WrapButton *btnAssign = nullptr;
    WrapButton *btnSetFootswitchMode = nullptr;
    WrapButton *btnSetTuning = nullptr;
    WrapButton *btnGetFXInfo = nullptr;
    QListWidget *lstEffects = nullptr;
    QCheckBox *chkFirmwareUpgradeMode = nullptr;

    QAction *menuRestoreBackup = nullptr;
    QAction *menuQuit = nullptr; // closes the editor, as the close box does
    QAction *menuLoadPreset = nullptr, *menuSavePreset = nullptr, *menuLoadIR = nullptr,
            *menuLoadAlgorithmFromFile = nullptr, *menuOpenFilesFolder = nullptr;
    QAction *menuScan = nullptr, *menuConnect = nullptr, *menuDisconnect = nullptr, *menuLinkSimulated = nullptr;
    QAction *menuNoteCut = nullptr;
    QAction *menuUndo = nullptr, *menuRedo = nullptr; // Edit: the live edits' history
    QAction *menuCompare = nullptr;
    QAction *menuShowEffectWindow = nullptr; // shows the effect window again after it was closed
    // The compare window (made when first asked for).
    class CompareWindow *compareWindow();
    QAction *menuLiveEnable = nullptr, *menuEnableAllParameters = nullptr, *menuUploadTuningsData = nullptr,
            *menuReportUSBErrors = nullptr, *menuSetAssignableParamsToDefault = nullptr;
    QMenu *menuLook = nullptr, *menuMIDI = nullptr, *menuMIDIchannel = nullptr, *menuInstrumentRange = nullptr,
          *menuBypassStatus = nullptr, *menuRangeLimit = nullptr, *menuInfo = nullptr;
    QAction *menuStandard = nullptr, *menuLow = nullptr, *menuStoreBypassStatus = nullptr,
            *menuDoNotStoreBypassStatus = nullptr, *menuRangeLimitOFF = nullptr, *menuRangeLimitON = nullptr;
    QAction *menuFirmwareUpgradeMode = nullptr, *menuStartFirmwareUpgrade = nullptr, *menuEraseSettings = nullptr;
    QAction *menuQuickStart = nullptr, *menuSupport = nullptr, *menuAppVersion = nullptr,
            *menuNewAppVersion = nullptr, *menuUpdateNow = nullptr, *menuShowUpdateMsg = nullptr,
            *menuSerialNumber = nullptr;
    std::array<QAction *, 8> lookItems{};
    std::array<QAction *, 17> midiChannelItems{};

    QString editorVersionText;
    int currentLook = -1; // the look applied last; -1: the toolkit's own

    void applyGating(GateState state);
    bool controlEnabled(const QString &name) const;
    // Ctrl+Shift+P (debug console) and Ctrl+Shift+Z (assignable defaults); true when handled.
    bool handleShortcut(int key, Qt::KeyboardModifiers modifiers);
    void logEditorVersion();
    bool applyLook(int n);
    // A click on an item of the effect list.
    void chooseClickedEffect();
    // Up and Down in the effect list move the selection without choosing the effect.
    void moveEffectSelection(int key);
    EffectWindow *effectWindow() const;
    NoteCutWindow *noteCutWindow() const;

    static const QString SupportPage;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUp();
    void buildControls();
    void buildMenus();
    void connectCommands();
    void createLookMenu();
    void applySavedLook();
    void chooseLook(int n);
    void createMidiChannelMenu();
    void showLabels();
    void showMarks();
    void showEffectWindow();
    void showFirmwareUpgradeWindow();
    void setControlEnabled(const QString &name, bool on);
    QAction *action(QMenu *menu, const char *name, const QString &text);
    template <typename W> W *reg(W *w, const char *name);

    EditorCore &m_core;
    PedalService &m_service;
    QHash<QString, QObject *> m_controls; // by objectName, for the gating table
    QHash<QString, bool> m_actionEnabled;
    QPointer<FirmwareUpgradeWindow> m_firmware;
    QPointer<DebugConsoleWindow> m_console;
    QPointer<EffectWindow> m_effect;
    QPointer<NoteCutWindow> m_noteCut;
    QPointer<class CompareWindow> m_compare;
    QPointer<NewVersionWindow> m_newVersion;
    QPointer<UpdaterWindow> m_updater;
    bool m_unsavedSettled = false; // the next close was asked about unsaved parameters already
};
