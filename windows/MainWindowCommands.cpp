// What each control and menu item of the main window does: the service's command it starts.
#include "windows/MainWindow.h"

#include "pedal/BackupRestore.h"
#include "pedal/EditHistory.h"
#include "pedal/EditorCore.h"
#include "pedal/FirmwareUpgrade.h"
#include "pedal/PedalService.h"
#include "pedal/SettingsMemory.h"
#include "support/Prompts.h"
#include "windows/CommandOrigin.h"
#include "windows/CompareWindow.h"
#include "windows/EffectWindow.h"
#include "windows/Gating.h"
#include "windows/NewVersionWindow.h"
#include "windows/NoteCutWindow.h"
#include "windows/Placement.h"
#include "windows/WrapButton.h"

#include <utility>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>

void MainWindow::connectCommands()
{
    PedalService &pedal = m_service;
    // Device commands: each is one call of the service, which decides what reaches the pedal.
    // Each names this window as where it starts (CommandOrigin): what it shows opens here.
    const auto starts = [this](auto *control, auto signal, auto command) {
        connect(control, signal, this, [this, command] { CommandOrigin::start(this, command); });
    };
    starts(btnRequest, &QPushButton::clicked, [this] { return m_service.requestDeviceInformation(); });
    connect(btnAssign, &QPushButton::clicked, this, [this] {
        btnAssign->setEnabled(false); // until the pedal has had time to take it
        CommandOrigin from(this);
        m_service.assign().then([this, from](PedalService::Result) {
            btnAssign->setEnabled(Gating::enabledFor(m_service.gate()).value(QStringLiteral("btnAssign"), true));
        });
    });
    starts(btnSetFootswitchMode, &QPushButton::clicked, [this] { return m_service.setFootswitchMode(); });
    starts(btnSetTuning, &QPushButton::clicked, [this] { return m_service.setTuning(); });
    starts(btnSaveParameters, &QPushButton::clicked, [this] { return m_service.saveParameters(); });
    starts(btnSaveParametersInfo, &QPushButton::clicked, [this] { return m_service.showSaveParametersInfo(); });
    starts(btnUpload, &QPushButton::clicked, [this] { return m_service.uploadSelectedAlgorithm(); });
    starts(menuLoadAlgorithmFromFile, &QAction::triggered, [this] { return m_service.uploadAlgorithmFile(); });
    starts(menuUploadTuningsData, &QAction::triggered, [this] { return m_service.uploadTuningData(); });
    starts(menuSavePreset, &QAction::triggered, [this] { return m_service.savePreset(); });
    starts(menuLoadPreset, &QAction::triggered, [this] { return m_service.loadPreset(); });
    starts(menuRestoreBackup, &QAction::triggered, [this] { return m_service.backups().restore(); });
    connect(menuQuit, &QAction::triggered, this, &QWidget::close);
    starts(menuSetAssignableParamsToDefault, &QAction::triggered, [this] { return m_service.resetAssignableParameters(true); });
    starts(menuStandard, &QAction::triggered, [this] { return m_service.chooseInstrumentRange(0xFF); });
    starts(menuLow, &QAction::triggered, [this] { return m_service.chooseInstrumentRange(0xBA); });
    starts(menuStoreBypassStatus, &QAction::triggered, [this] { return m_service.chooseBypassStatus(true); });
    starts(menuDoNotStoreBypassStatus, &QAction::triggered, [this] { return m_service.chooseBypassStatus(false); });
    starts(menuRangeLimitOFF, &QAction::triggered, [this] { return m_service.chooseRangeLimit(false); });
    starts(menuRangeLimitON, &QAction::triggered, [this] { return m_service.chooseRangeLimit(true); });
    starts(menuFirmwareUpgradeMode, &QAction::triggered, [this] { return m_service.firmware().chooseUpgradeMode(); });
    connect(menuStartFirmwareUpgrade, &QAction::triggered, this, &MainWindow::showFirmwareUpgradeWindow);
    starts(menuEraseSettings, &QAction::triggered, [this] { return m_service.memory().eraseSettings(); });
    connect(&pedal.firmware(), &FirmwareUpgrade::upgradeModeChanged, this, [this](bool on) {
        menuFirmwareUpgradeMode->setChecked(on);
        chkFirmwareUpgradeMode->setChecked(on);
    });
    connect(lstEffects, &QListWidget::itemClicked, this, &MainWindow::chooseClickedEffect);

    // The link.
    starts(menuScan, &QAction::triggered, [this] { return m_service.scanAndLink(); });
    starts(menuConnect, &QAction::triggered, [this] { return m_service.link(); });
    connect(menuDisconnect, &QAction::triggered, this, [this] {
        // Unsaved assignable values are asked about first; Unlink waits for Save Parameters.
        CommandOrigin from(this);
        m_service.settleUnsavedParameters(QStringLiteral("unlinking")).then([this, from](PedalService::Result r) {
            if (r == PedalService::Result::Done)
                m_service.unlink();
        });
    });
    starts(menuLinkSimulated, &QAction::triggered, [this] { return m_service.linkSimulated(); });

    // Editor-only items.
    connect(menuInfo, &QMenu::aboutToShow, this, &MainWindow::logEditorVersion);
    connect(menuReportUSBErrors, &QAction::triggered, this, [this] {
        const bool on = menuReportUSBErrors->isChecked();
        CommandOrigin from(this);
        if (m_core.files.rewriteFlagFile(QStringLiteral("ReportUSBErrors.txt"), on))
            m_core.files.reportUsbErrors = on;
    });
    // The edit history: the menu says what the next undo and redo will do.
    QUndoStack &history = EditHistory::of(m_service);
    const auto showHistory = [this, &history] {
        menuUndo->setText(history.canUndo() ? QStringLiteral("Undo ") + history.undoText() : QStringLiteral("Undo"));
        menuRedo->setText(history.canRedo() ? QStringLiteral("Redo ") + history.redoText() : QStringLiteral("Redo"));
        menuUndo->setEnabled(history.canUndo());
        menuRedo->setEnabled(history.canRedo());
    };
    connect(&history, &QUndoStack::indexChanged, this, showHistory);
    connect(&history, &QUndoStack::cleanChanged, this, showHistory);
    starts(menuUndo, &QAction::triggered, [this] { return m_service.undo(); });
    connect(menuCompare, &QAction::triggered, this, [this] {
        if (!compareWindow()->isVisible())
            Placement::besideMain(compareWindow(), this, Placement::Side::Right);
        compareWindow()->show();
        compareWindow()->raise();
    });
    starts(menuRedo, &QAction::triggered, [this] { return m_service.redo(); });
    connect(menuShowEffectWindow, &QAction::triggered, this, [this] {
        if (!m_effect)
            return;
        if (!m_effect->isVisible())
            showEffectWindow();
        m_effect->raise();
        m_effect->activateWindow();
    });

    // The update service.
    UpdateService &update = m_core.update;
    connect(&update, &UpdateService::newVersionFound, this, [this](const QString &version) {
        menuNewAppVersion->setText(menuNewAppVersion->text() + QLatin1Char(' ') + version);
        if (m_core.files.showUpdateMessage && m_newVersion)
            m_newVersion->show();
        menuUpdateNow->setEnabled(true);
    });
    connect(&update, &UpdateService::noNewerVersion, this, [this] {
        menuNewAppVersion->setText(QStringLiteral("No update available"));
        menuUpdateNow->setEnabled(false);
    });
    connect(menuUpdateNow, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_core.update.launchUpdate();
    });
    connect(&update, &UpdateService::quitRequested, this, &MainWindow::close);
    connect(menuShowUpdateMsg, &QAction::triggered, this, [this] {
        const bool on = menuShowUpdateMsg->isChecked();
        m_core.files.showUpdateMessage = on;
        CommandOrigin from(this);
        m_core.files.rewriteFlagFile(QStringLiteral("ShowMessageVersionAtStartup.txt"), on);
    });
    connect(menuSupport, &QAction::triggered, this, [this] { m_core.prompts->openExternal(QUrl(SupportPage)); });
    connect(menuOpenFilesFolder, &QAction::triggered, this, [this] {
        m_core.prompts->openExternal(QUrl::fromLocalFile(QDir(m_core.files.userFolder()).absolutePath()));
    });
    menuEnableAllParameters->setCheckable(true);
    connect(menuEnableAllParameters, &QAction::triggered, this, [this] {
        if (m_effect) {
            m_effect->toggleAllParametersEnabled();
            menuEnableAllParameters->setChecked(m_effect->allParametersEnabled());
        }
    });
    connect(menuNoteCut, &QAction::triggered, this, [this] {
        if (m_noteCut) {
            Placement::besideMain(m_noteCut, this, Placement::Side::Below, QPoint(20, 10));
            m_noteCut->show();
            m_noteCut->raise();
        }
    });
    for (QAction *a : {menuStandard, menuLow, menuRangeLimitOFF, menuRangeLimitON}) {
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, &MainWindow::showMarks); // the marks show the service's state
    }
    connect(menuStoreBypassStatus, &QAction::triggered, this, &MainWindow::showMarks);
    connect(menuDoNotStoreBypassStatus, &QAction::triggered, this, &MainWindow::showMarks);

    // What the service reports.
    connect(&pedal, &PedalService::labelsChanged, this, &MainWindow::showLabels);
    connect(&pedal, &PedalService::gateChanged, this, &MainWindow::applyGating);
    connect(&pedal, &PedalService::choicesChanged, this, &MainWindow::showMarks);
    connect(&pedal, &PedalService::uploadStatusChanged, lblStatus, &QLabel::setText);
    connect(&pedal, &PedalService::effectSelected, this, [this](int index) { lstEffects->setCurrentRow(index); });
    connect(&pedal, &PedalService::effectWindowRequested, this, &MainWindow::showEffectWindow);
    connect(&pedal, &PedalService::effectWindowCloseRequested, this, [this] {
        if (m_effect)
            m_effect->close();
    });
    connect(&pedal, &PedalService::bootloaderReady, this, &MainWindow::showFirmwareUpgradeWindow);
}
