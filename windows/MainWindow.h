#pragma once
// The main window: device labels, the effect list, the command buttons and the menus.
// It shows the core's state and calls the core; it owns no protocol logic.

#include "windows/Gating.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>

struct EditorCore;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class WrapButton;
class Uploads;
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

    explicit MainWindow(EditorCore &ctx, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The windows created after this one, in start-up order.
    void setCompanions(FirmwareUpgradeWindow *firmware, DebugConsoleWindow *console, EffectWindow *effect,
                       NoteCutWindow *noteCut, NewVersionWindow *newVersion, UpdaterWindow *updater);

    // Controls.
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

    QAction *menuLoadPreset = nullptr, *menuSavePreset = nullptr, *menuLoadIR = nullptr,
            *menuLoadAlgorithmFromFile = nullptr, *menuOpenFilesFolder = nullptr;
    QAction *menuScan = nullptr, *menuConnect = nullptr, *menuDisconnect = nullptr, *menuLinkSimulated = nullptr;
    QAction *menuNoteCut = nullptr;
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
    std::array<QAction *, 8> LookItems{};
    std::array<QAction *, 17> MidiChannelItems{};

    QTimer TimerCheckWebVersion;
    QString currentAppVersion;
    int currentLook = -1; // the look applied last; -1: the toolkit's own

    // Operations.
    void EnableUSBobjects(bool status);
    void SetCommandButtonsEnabled(bool status);
    void applyGating(GateState state);
    bool controlEnabled(const QString &name) const;
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void menuInfoClick();
    void menuReportUSBErrorsClick();
    void menuShowUpdateMsgClick();
    void menuLookClickItem(QAction *sender);
    bool applyLook(int n);
    void menuMIDIchannelsClickItem(QAction *sender);
    void ShowMidiChannel(int position);
    void menuSupportClick();
    void menuOpenFilesFolderClick();
    void OpenEffectWindow();
    void GetResourceFile();
    void effetto_cliccato();
    void move_up_or_down(int key);
    void readBacks();
    void btnAssignClick();
    void btnSetFootswitchModeClick();
    void btnSetTuningClick();
    void btnSaveParametersClick();
    void btnSaveParametersInfoClick();
    void menuSetAssignableParamsToDefaultClick();
    void chooseInstrumentRange(quint8 range);
    void ChangeInstrument();
    void chooseBypassStatus(bool store);
    void chooseRangeLimit(bool on);
    void menuSavePresetClick();
    void menuLoadPresetClick();
    // UserFolder/Preset, created when missing.
    QString presetFolder();
    Uploads *uploads() const { return m_uploads; }
    quint8 InstrumentRange = 0;
    EffectWindow *effectWindow() const;
    NoteCutWindow *noteCutWindow() const;

    static const QString SupportPage;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void buildControls();
    void buildMenus();
    void CreateLookMenu();
    void ApplySavedStyle();
    void CreateMidiChannelMenu();
    void FillEffectList();
    void showLabels();
    void StartFirmwareUpgrade();
    void setControlEnabled(const QString &name, bool on);
    QAction *action(QMenu *menu, const char *name, const QString &text);
    template <typename W> W *reg(W *w, const char *name);

    EditorCore &m_ctx;
    Uploads *m_uploads = nullptr;
    QHash<QString, QObject *> m_controls; // by objectName, for the gating table
    QHash<QString, bool> m_actionEnabled;
    QPointer<FirmwareUpgradeWindow> m_firmware;
    QPointer<DebugConsoleWindow> m_console;
    QPointer<EffectWindow> m_effect;
    QPointer<NoteCutWindow> m_noteCut;
    QPointer<NewVersionWindow> m_newVersion;
    QPointer<UpdaterWindow> m_updater;
};

// All windows of the editor, created in start-up order and wired together.
class Editor {
public:
    explicit Editor(EditorCore &ctx);
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
