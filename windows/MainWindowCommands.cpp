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
    connect(btnRequest, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.requestDeviceInformation().then(from.untilEnd());
    });
    connect(btnAssign, &QPushButton::clicked, this, [this] {
        btnAssign->setEnabled(false); // until the pedal has had time to take it
        CommandOrigin from(this);
        m_service.assign().then([this, from](PedalService::Result) {
            btnAssign->setEnabled(Gating::enabledFor(m_service.gate()).value(QStringLiteral("btnAssign"), true));
        });
    });
    connect(btnSetFootswitchMode, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.setFootswitchMode();
    });
    connect(btnSetTuning, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.setTuning().then(from.untilEnd());
    });
    connect(btnSaveParameters, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.saveParameters().then(from.untilEnd());
    });
    connect(btnSaveParametersInfo, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.showSaveParametersInfo();
    });
    connect(btnUpload, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_service.uploadSelectedAlgorithm().then(from.untilEnd());
    });
    connect(menuLoadAlgorithmFromFile, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.uploadAlgorithmFile().then(from.untilEnd());
    });
    connect(menuUploadTuningsData, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.uploadTuningData().then(from.untilEnd());
    });
    connect(menuSavePreset, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.savePreset().then(from.untilEnd());
    });
    connect(menuLoadPreset, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.loadPreset().then(from.untilEnd());
    });
    connect(menuRestoreBackup, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.backups().restore().then(from.untilEnd());
    });
    connect(menuQuit, &QAction::triggered, this, &QWidget::close);
    connect(menuSetAssignableParamsToDefault, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.resetAssignableParameters(true).then(from.untilEnd());
    });
    const auto choose = [this](QAction *item, auto command) {
        connect(item, &QAction::triggered, this, [this, command] {
            CommandOrigin from(this);
            command();
        });
    };
    for (const auto &[item, range] : {std::pair{menuStandard, quint8(0xFF)}, std::pair{menuLow, quint8(0xBA)}}) {
        connect(item, &QAction::triggered, this, [this, range = range] {
            CommandOrigin from(this);
            m_service.chooseInstrumentRange(range).then(from.untilEnd());
        });
    }
    choose(menuStoreBypassStatus, [this] { m_service.chooseBypassStatus(true); });
    choose(menuDoNotStoreBypassStatus, [this] { m_service.chooseBypassStatus(false); });
    choose(menuRangeLimitOFF, [this] { m_service.chooseRangeLimit(false); });
    choose(menuRangeLimitON, [this] { m_service.chooseRangeLimit(true); });
    connect(menuFirmwareUpgradeMode, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.firmware().chooseUpgradeMode().then(from.untilEnd());
    });
    connect(menuStartFirmwareUpgrade, &QAction::triggered, this, &MainWindow::showFirmwareUpgradeWindow);
    connect(menuEraseSettings, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.memory().eraseSettings().then(from.untilEnd());
    });
    connect(&pedal.firmware(), &FirmwareUpgrade::upgradeModeChanged, this, [this](bool on) {
        menuFirmwareUpgradeMode->setChecked(on);
        chkFirmwareUpgradeMode->setChecked(on);
    });
    connect(lstEffects, &QListWidget::itemClicked, this, &MainWindow::chooseClickedEffect);

    // The link.
    connect(menuScan, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.scanAndLink().then(from.untilEnd());
    });
    connect(menuConnect, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.link().then(from.untilEnd());
    });
    connect(menuDisconnect, &QAction::triggered, this, [this] {
        // Unsaved assignable values are asked about first; Unlink waits for Save Parameters.
        CommandOrigin from(this);
        m_service.settleUnsavedParameters(QStringLiteral("unlinking")).then([this, from](PedalService::Result r) {
            if (r == PedalService::Result::Done)
                m_service.unlink();
        });
    });
    connect(menuLinkSimulated, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.linkSimulated().then(from.untilEnd());
    });

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
    connect(menuUndo, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.undo();
    });
    connect(menuCompare, &QAction::triggered, this, [this] {
        if (!compareWindow()->isVisible())
            Placement::besideMain(compareWindow(), this, Placement::Side::Right);
        compareWindow()->show();
        compareWindow()->raise();
    });
    connect(menuRedo, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.redo();
    });
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
