#include "windows/MainWindow.h"

#include "pedal/BackupRestore.h"

#include "pedal/SettingsMemory.h"

#include "pedal/EditHistory.h"
#include "pedal/EditorCore.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/EditorVersion.h"
#include "support/Looks.h"
#include "support/Prompts.h"
#include "windows/CompareWindow.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/EffectWindow.h"
#include "windows/FirmwareUpgradeWindow.h"
#include "pedal/FirmwareUpgrade.h"
#include "windows/Gating.h"
#include "windows/NewVersionWindow.h"
#include "windows/NoteCutWindow.h"
#include "windows/UpdaterWindow.h"
#include "update/UpdateService.h"

#include <QUndoStack>
#include "windows/WrapButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QUrl>

const QString MainWindow::SupportPage = QStringLiteral("https://www.karvoaudio.com/contact-us/");

template <typename W> W *MainWindow::reg(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    m_controls.insert(w->objectName(), w);
    return w;
}

QAction *MainWindow::action(QMenu *menu, const char *name, const QString &text)
{
    auto *a = reg(new QAction(text, menu), name);
    menu->addAction(a);
    return a;
}

MainWindow::MainWindow(EditorCore &core, QWidget *parent) : QMainWindow(parent), m_core(core), m_service(core.service)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Quarnelo Editor"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();
    buildMenus();
    setFixedSize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight);
    move(37, 31);
    connectCommands();
    qApp->installEventFilter(this);
    setUp();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    delete m_compare;
}

CompareWindow *MainWindow::compareWindow()
{
    if (!m_compare)
        m_compare = new CompareWindow(m_service, *m_core.prompts);
    return m_compare;
}

void MainWindow::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    auto label = [&](const char *name, const QString &text, int x, int y, int w, int h) {
        auto *l = reg(new QLabel(text, client), name);
        l->setGeometry(x, y, w, h);
        return l;
    };
    lblDeviceName = label("lblDeviceName", QStringLiteral("No device found"), 9, 32, 174, 17);
    lblFirmwareVersion = label("lblFirmwareVersion", QStringLiteral("Device Firmware:"), 9, 48, 144, 20);
    lblFirmwareVersion->setToolTip(QStringLiteral("Shows which firmware is currently installed on the pedal"));
    lblAlgorithmVersion = label("lblAlgorithmVersion", QStringLiteral("Device Algorithm:"), 9, 66, 133, 17);
    lblStatus = label("lblStatus", QStringLiteral("Status: "), 9, 84, 174, 17);
    lblShowNewVersion = label("lblShowNewVersion", QString(), 8, 450, 174, 17);

    QFont big(QStringLiteral("Arial"));
    big.setPointSizeF(11);
    QFont bottom(QStringLiteral("Arial"));
    bottom.setPointSizeF(10.5);
    auto button = [&](const char *name, const QString &text, int x, int y, int w, int h, const QFont &font) {
        auto *b = reg(new WrapButton(text, client), name);
        b->setGeometry(x, y, w, h);
        b->setFont(font);
        return b;
    };
    btnUpload = button("btnUpload", QStringLiteral("Upload Audio Algorithm"), 9, 103, 86, 33, big);
    btnRequest = button("btnRequest", QStringLiteral("Request"), 108, 103, 86, 33, big);
    btnSaveParameters = button("btnSaveParameters", QStringLiteral("Save Parameters"), 8, 144, 87, 33, big);
    // Sits on the Save Parameters button but is not its child, so it can be used while the
    // button is disabled: the explanation is there before a pedal is linked.
    btnSaveParametersInfo = reg(new QPushButton(QStringLiteral("i"), client), "btnSaveParametersInfo");
    btnSaveParametersInfo->setGeometry(8 + 71, 144 + 0, 16, 18);
    btnSaveParametersInfo->raise();
    btnAssign = button("btnAssign", QStringLiteral("Assign"), 108, 144, 86, 33, big);
    btnSetFootswitchMode =
        button("btnSetFootswitchMode", QStringLiteral("Set Footswitch Mode"), 9, 185, 86, 31, bottom);
    btnSetTuning = button("btnSetTuning", QStringLiteral("Set Tuning"), 108, 185, 86, 31, bottom);
    btnGetFXInfo = button("btnGetFXInfo", QStringLiteral("?"), 161, 179, 25, 25, big);
    btnGetFXInfo->setEnabled(false);
    btnGetFXInfo->hide();

    lstEffects = reg(new QListWidget(client), "lstEffects");
    lstEffects->setGeometry(202, 32, 143, 168);

    chkFirmwareUpgradeMode = reg(new QCheckBox(QStringLiteral("Firmware Upgrade Mode"), client), "chkFirmwareUpgradeMode");
    chkFirmwareUpgradeMode->move(9, 423);
    chkFirmwareUpgradeMode->hide();
    lstEffects->installEventFilter(this);
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("menuFile"));
    menuLoadPreset = action(file, "menuLoadPreset", QStringLiteral("Load Local Preset"));
    menuSavePreset = action(file, "menuSavePreset", QStringLiteral("Save Local Preset"));
    menuRestoreBackup = action(file, "menuRestoreBackup", QStringLiteral("Restore Backup..."));
    menuLoadIR = action(file, "menuLoadIR", QStringLiteral("Load IR"));
    menuLoadIR->setVisible(false);
    menuLoadAlgorithmFromFile = action(file, "menuLoadAlgorithmFromFile", QStringLiteral("Load Effect From File"));
    menuOpenFilesFolder = action(file, "menuOpenFilesFolder", QStringLiteral("Open Files Folder"));
    for (QAction *a : {menuLoadPreset, menuSavePreset, menuRestoreBackup, menuLoadIR, menuLoadAlgorithmFromFile})
        a->setEnabled(false);

    QMenu *edit = bar->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("menuEdit"));
    menuUndo = action(edit, "menuUndo", QStringLiteral("Undo"));
    menuUndo->setShortcut(QKeySequence::Undo);
    menuRedo = action(edit, "menuRedo", QStringLiteral("Redo"));
    menuRedo->setShortcut(QKeySequence::Redo); // Ctrl+Shift+Z here, Ctrl+Y on Windows
    menuUndo->setEnabled(false);
    menuRedo->setEnabled(false);
    edit->addSeparator();
    menuCompare = action(edit, "menuCompare", QStringLiteral("Compare..."));

    QMenu *connection = bar->addMenu(QStringLiteral("Connection"));
    connection->setObjectName(QStringLiteral("menuConnection"));
    menuScan = action(connection, "menuScan", QStringLiteral("Scan And Link"));
    menuConnect = action(connection, "menuConnect", QStringLiteral("Link"));
    menuConnect->setVisible(false);
    menuDisconnect = action(connection, "menuDisconnect", QStringLiteral("Unlink"));
    menuDisconnect->setEnabled(false);
    connection->addSeparator();
    menuLinkSimulated = action(connection, "menuLinkSimulated", QStringLiteral("Link Simulated Pedal"));

    QMenu *settings = bar->addMenu(QStringLiteral("Settings"));
    settings->setObjectName(QStringLiteral("menuSettings"));
    menuLiveEnable = action(settings, "menuLiveEnable", QStringLiteral("Alive Parameters!"));
    menuLiveEnable->setCheckable(true);
    menuLiveEnable->setVisible(false);
    menuLook = reg(settings->addMenu(QStringLiteral("Look")), "menuLook");
    menuMIDI = reg(settings->addMenu(QStringLiteral("MIDI")), "menuMIDI");
    menuMIDIchannel = reg(menuMIDI->addMenu(QStringLiteral("Channel")), "menuMIDIchannel");
    menuEnableAllParameters = action(settings, "menuEnableAllParameters", QStringLiteral("Enable All Parameters"));
    menuEnableAllParameters->setVisible(false);
    menuUploadTuningsData = action(settings, "menuUploadTuningsData", QStringLiteral("Upload Tuning Data"));
    menuNoteCut = action(settings, "menuNoteCut", QStringLiteral("Note Cut"));
    menuReportUSBErrors = action(settings, "menuReportUSBErrors", QStringLiteral("Report USB Errors"));
    menuReportUSBErrors->setCheckable(true);
    menuReportUSBErrors->setChecked(true);
    menuReportUSBErrors->setVisible(false);
    menuInstrumentRange = reg(settings->addMenu(QStringLiteral("Instrument Range")), "menuInstrumentRange");
    menuStandard = action(menuInstrumentRange, "menuStandard",
                          QStringLiteral("Standard: Guitar or other instrument with similar range"));
    menuLow = action(menuInstrumentRange, "menuLow", QStringLiteral("Low: Bass Guitar, Baritone, tuned down guitar etc."));
    menuBypassStatus = reg(settings->addMenu(QStringLiteral("Bypass Status")), "menuBypassStatus");
    menuStoreBypassStatus = action(menuBypassStatus, "menuStoreBypassStatus", QStringLiteral("Store Bypass Status"));
    menuDoNotStoreBypassStatus =
        action(menuBypassStatus, "menuDoNotStoreBypassStatus", QStringLiteral("Do Not Store Bypass Status"));
    menuStoreBypassStatus->setCheckable(true);
    menuDoNotStoreBypassStatus->setCheckable(true);
    menuDoNotStoreBypassStatus->setChecked(true);
    menuRangeLimit = reg(settings->addMenu(QStringLiteral("Limit Range")), "menuRangeLimit");
    menuRangeLimitOFF = action(menuRangeLimit, "menuRangeLimitOFF", QStringLiteral("Range Limit OFF"));
    menuRangeLimitON = action(menuRangeLimit, "menuRangeLimitON", QStringLiteral("Range Limit ON"));
    menuRangeLimit->menuAction()->setVisible(false);
    menuSetAssignableParamsToDefault =
        action(settings, "menuSetAssignableParamsToDefault", QStringLiteral("Set Assignable Parameters to Default"));
    for (QMenu *m : {menuInstrumentRange, menuBypassStatus, menuRangeLimit})
        m->menuAction()->setEnabled(false);

    QMenu *firmware = bar->addMenu(QStringLiteral("Firmware Upgrade"));
    firmware->setObjectName(QStringLiteral("menuFirmwareUpgrade"));
    menuFirmwareUpgradeMode = action(firmware, "menuFirmwareUpgradeMode", QStringLiteral("Upgrade Mode"));
    menuFirmwareUpgradeMode->setCheckable(true);
    menuStartFirmwareUpgrade = action(firmware, "menuStartFirmwareUpgrade", QStringLiteral("Start Firmware Upgrade"));
    menuStartFirmwareUpgrade->setEnabled(false);
    menuStartFirmwareUpgrade->setVisible(false);
    menuEraseSettings = action(firmware, "menuEraseSettings", QStringLiteral("Erase Settings"));
    menuEraseSettings->setEnabled(false);

    menuInfo = reg(bar->addMenu(QStringLiteral("Info")), "menuInfo");
    menuQuickStart = action(menuInfo, "menuQuickStart", QStringLiteral("Quick Start"));
    menuQuickStart->setVisible(false);
    menuSupport = action(menuInfo, "menuSupport", QStringLiteral("Support"));
    menuAppVersion = action(menuInfo, "menuAppVersion", QStringLiteral("Editor Version: "));
    menuAppVersion->setEnabled(false);
    menuNewAppVersion = action(menuInfo, "menuNewAppVersion", QStringLiteral("New version available:"));
    menuNewAppVersion->setEnabled(false);
    menuUpdateNow = action(menuInfo, "menuUpdateNow", QStringLiteral("Update Now"));
    menuUpdateNow->setEnabled(false);
    menuShowUpdateMsg = action(menuInfo, "menuShowUpdateMsg", QStringLiteral("Show Update Message"));
    menuShowUpdateMsg->setCheckable(true);
    menuSerialNumber = action(menuInfo, "menuSerialNumber", QStringLiteral("Device Serial: "));
    menuSerialNumber->setEnabled(false);

    // The menus' own entries for the gating table.
    m_controls.insert(QStringLiteral("menuMIDI"), menuMIDI->menuAction());
    m_controls.insert(QStringLiteral("menuInstrumentRange"), menuInstrumentRange->menuAction());
    m_controls.insert(QStringLiteral("menuBypassStatus"), menuBypassStatus->menuAction());
    m_controls.insert(QStringLiteral("menuRangeLimit"), menuRangeLimit->menuAction());
}

void MainWindow::connectCommands()
{
    PedalService &pedal = m_service;
    // Device commands: each is one call of the service, which decides what reaches the pedal.
    connect(btnRequest, &QPushButton::clicked, &pedal, &PedalService::requestDeviceInformation);
    connect(btnAssign, &QPushButton::clicked, this, [this] {
        btnAssign->setEnabled(false); // until the pedal has had time to take it
        m_service.assign();
        btnAssign->setEnabled(Gating::enabledFor(m_service.gate()).value(QStringLiteral("btnAssign"), true));
    });
    connect(btnSetFootswitchMode, &QPushButton::clicked, &pedal, &PedalService::setFootswitchMode);
    connect(btnSetTuning, &QPushButton::clicked, &pedal, &PedalService::setTuning);
    connect(btnSaveParameters, &QPushButton::clicked, &pedal, &PedalService::saveParameters);
    connect(btnSaveParametersInfo, &QPushButton::clicked, &pedal, &PedalService::showSaveParametersInfo);
    connect(btnUpload, &QPushButton::clicked, &pedal, &PedalService::uploadSelectedAlgorithm);
    connect(menuLoadAlgorithmFromFile, &QAction::triggered, this, [this] { m_service.uploadAlgorithmFile(); });
    connect(menuUploadTuningsData, &QAction::triggered, &pedal, &PedalService::uploadTuningData);
    connect(menuSavePreset, &QAction::triggered, this, [this] { m_service.savePreset(); });
    connect(menuLoadPreset, &QAction::triggered, this, [this] { m_service.loadPreset(); });
    connect(menuRestoreBackup, &QAction::triggered, this, [this] { m_service.backups().restore(); });
    connect(menuSetAssignableParamsToDefault, &QAction::triggered, this,
            [this] { m_service.resetAssignableParameters(true); });
    connect(menuStandard, &QAction::triggered, this, [this] { m_service.chooseInstrumentRange(0xFF); });
    connect(menuLow, &QAction::triggered, this, [this] { m_service.chooseInstrumentRange(0xBA); });
    connect(menuStoreBypassStatus, &QAction::triggered, this, [this] { m_service.chooseBypassStatus(true); });
    connect(menuDoNotStoreBypassStatus, &QAction::triggered, this, [this] { m_service.chooseBypassStatus(false); });
    connect(menuRangeLimitOFF, &QAction::triggered, this, [this] { m_service.chooseRangeLimit(false); });
    connect(menuRangeLimitON, &QAction::triggered, this, [this] { m_service.chooseRangeLimit(true); });
    connect(menuFirmwareUpgradeMode, &QAction::triggered, this, [this] { m_service.firmware().chooseUpgradeMode(); });
    connect(menuStartFirmwareUpgrade, &QAction::triggered, this, &MainWindow::showFirmwareUpgradeWindow);
    connect(menuEraseSettings, &QAction::triggered, this, [this] { m_service.memory().eraseSettings(); });
    connect(&pedal.firmware(), &FirmwareUpgrade::upgradeModeChanged, this, [this](bool on) {
        menuFirmwareUpgradeMode->setChecked(on);
        chkFirmwareUpgradeMode->setChecked(on);
    });
    connect(lstEffects, &QListWidget::itemClicked, this, &MainWindow::chooseClickedEffect);

    // The link.
    connect(menuScan, &QAction::triggered, &pedal, &PedalService::scanAndLink);
    connect(menuConnect, &QAction::triggered, this, [this] { m_service.link(); });
    connect(menuDisconnect, &QAction::triggered, &pedal, &PedalService::unlink);
    connect(menuLinkSimulated, &QAction::triggered, &pedal, &PedalService::linkSimulated);

    // Editor-only items.
    connect(menuInfo, &QMenu::aboutToShow, this, &MainWindow::logEditorVersion);
    connect(menuReportUSBErrors, &QAction::triggered, this, [this] {
        const bool on = menuReportUSBErrors->isChecked();
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
    connect(menuUndo, &QAction::triggered, this, [this] { m_service.undo(); });
    connect(menuCompare, &QAction::triggered, this, [this] {
        compareWindow()->show();
        compareWindow()->raise();
    });
    connect(menuRedo, &QAction::triggered, this, [this] { m_service.redo(); });

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
    connect(menuUpdateNow, &QAction::triggered, &update, &UpdateService::launchUpdate);
    connect(&update, &UpdateService::quitRequested, this, &MainWindow::close);
    connect(menuShowUpdateMsg, &QAction::triggered, this, [this] {
        const bool on = menuShowUpdateMsg->isChecked();
        m_core.files.showUpdateMessage = on;
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
            m_noteCut->move(x() + 20, y() + frameGeometry().height() + 10);
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

void MainWindow::setUp()
{
    UserFiles &files = m_core.files;
    files.createMakerFolder(QString::fromLatin1(UserFiles::MakerName));
    files.createProductFolder(QString::fromLatin1(UserFiles::MakerName), QString::fromLatin1(UserFiles::ProductName));
    files.loadUserSettings();
    menuShowUpdateMsg->setChecked(files.showUpdateMessage);
    menuReportUSBErrors->setChecked(files.reportUsbErrors);
    files.trimLogFile();

    m_service.refreshDeviceList();
    showLabels();
    applyGating(GateState::Startup);
    if (lblDeviceName->text().isEmpty() || lblDeviceName->text() == QLatin1String("No device found"))
        setControlEnabled(QStringLiteral("menuConnect"), false);

    lstEffects->clear();
    lstEffects->addItems(m_service.effectNames());
    m_core.update.scheduleCheck();

    editorVersionText = editorVersion();
    menuAppVersion->setText(menuAppVersion->text() + QLatin1Char(' ') + editorVersionText);
    menuAppVersion->setIcon(QApplication::windowIcon()); // the Info menu's "about" line shows the editor's icon

    createLookMenu();
    applySavedLook();
    createMidiChannelMenu();
    showMarks();
    btnSaveParameters->setToolTip(QStringLiteral("Saves current status of assignable parameters to pedal."));
}

void MainWindow::setCompanions(FirmwareUpgradeWindow *firmware, DebugConsoleWindow *console, EffectWindow *effect,
                               NoteCutWindow *noteCut, NewVersionWindow *newVersion, UpdaterWindow *updater)
{
    m_firmware = firmware;
    m_console = console;
    m_effect = effect;
    m_noteCut = noteCut;
    m_newVersion = newVersion;
    m_updater = updater;
    if (m_effect)
        m_effect->enableEffectControls(false);
}

void MainWindow::showLabels()
{
    lblDeviceName->setText(m_service.deviceLabel());
    lblFirmwareVersion->setText(m_service.firmwareLabel());
    lblAlgorithmVersion->setText(m_service.algorithmLabel());
    menuSerialNumber->setText(m_service.serialMenuText());
}

void MainWindow::showMarks()
{
    const PedalState &s = m_service.state();
    menuStandard->setChecked(s.instrumentRangeMark == 0xFF);
    menuLow->setChecked(s.instrumentRangeMark == 0xBA);
    menuStoreBypassStatus->setChecked(s.storeBypassStatus == true);
    menuDoNotStoreBypassStatus->setChecked(s.storeBypassStatus == false);
    menuRangeLimitON->setChecked(s.rangeLimitOn == true);
    menuRangeLimitOFF->setChecked(s.rangeLimitOn == false);
    for (int i = 0; i <= 16; ++i) {
        if (midiChannelItems[size_t(i)])
            midiChannelItems[size_t(i)]->setChecked(s.midiChannelItem == i);
    }
}

void MainWindow::setControlEnabled(const QString &name, bool on)
{
    QObject *o = m_controls.value(name);
    if (auto *w = qobject_cast<QWidget *>(o)) {
        w->setEnabled(on);
    } else if (auto *a = qobject_cast<QAction *>(o)) {
        a->setEnabled(on);
        m_actionEnabled.insert(name, on); // a hidden action reads as disabled whatever it was set to
    }
}

bool MainWindow::controlEnabled(const QString &name) const
{
    if (name == Gating::EffectControls)
        return m_effect && m_effect->effectControlsEnabled();
    QObject *o = m_controls.value(name);
    if (auto *w = qobject_cast<QWidget *>(o))
        return w->isEnabled();
    if (auto *a = qobject_cast<QAction *>(o))
        return a->isVisible() ? a->isEnabled() : m_actionEnabled.value(name, false);
    return false;
}

void MainWindow::applyGating(GateState state)
{
    const QHash<QString, bool> enabled = Gating::enabledFor(state);
    for (auto it = enabled.constBegin(); it != enabled.constEnd(); ++it) {
        if (it.key() == Gating::EffectControls) {
            if (m_effect)
                m_effect->enableEffectControls(it.value());
        } else {
            setControlEnabled(it.key(), it.value());
        }
    }
    // Unplugged, the effect window keeps its values, greyed, and says they are not on a pedal.
    if (m_effect && !m_service.selectedEffectName().isEmpty())
        m_effect->setWindowTitle(m_service.selectedEffectName() +
                                 (state == GateState::Unlinked ? QStringLiteral(" (not on a pedal)") : QString()));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstEffects && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            moveEffectSelection(key);
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->window() == this) {
            auto *k = static_cast<QKeyEvent *>(event);
            if (handleShortcut(k->key(), k->modifiers()))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::handleShortcut(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrlShift = modifiers.testFlag(Qt::ControlModifier) && modifiers.testFlag(Qt::ShiftModifier);
    if (!ctrlShift)
        return false;
    if (key == Qt::Key_P) {
        if (m_console) {
            m_console->show();
            m_console->raise();
        }
        return true;
    }
    if (key == Qt::Key_Z) {
        m_service.resetAssignableParameters(false);
        return true;
    }
    return false;
}

void MainWindow::logEditorVersion() { m_core.log.writeLogLine(QStringLiteral("current app version: ") + editorVersionText); }

void MainWindow::createLookMenu()
{
    for (int i = 0; i < Looks::MenuLookCount; ++i) {
        QAction *a = menuLook->addAction(QString::number(i));
        a->setObjectName(QStringLiteral("menuLook%1").arg(i));
        lookItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] { chooseLook(i); });
    }
}

bool MainWindow::applyLook(int n)
{
    bool found = false;
    const QString sheet = Looks::styleSheet(n, &found);
    if (!found)
        return false;
    qApp->setStyleSheet(sheet);
    currentLook = n;
    return true;
}

void MainWindow::applySavedLook()
{
    QString error;
    const int n = Looks::savedLook(m_core.files, &error);
    if (!error.isEmpty())
        m_core.prompts->message(error);
    applyLook(n);
}

void MainWindow::chooseLook(int n)
{
    applyLook(n);
    QString error;
    if (!Looks::saveLook(m_core.files, n, &error))
        m_core.prompts->message(QStringLiteral("The look could not be saved: ") + error);
}

void MainWindow::createMidiChannelMenu()
{
    for (int i = 0; i <= 16; ++i) {
        QAction *a = menuMIDIchannel->addAction(i == 0 ? QStringLiteral("OMNI") : QString::number(i));
        a->setObjectName(QStringLiteral("menuMIDIchannel%1").arg(i));
        a->setCheckable(true);
        midiChannelItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] {
            m_service.chooseMidiChannel(i);
            showMarks(); // the mark shows what the pedal reported, not the click
        });
    }
}

void MainWindow::showEffectWindow()
{
    if (!m_effect)
        return;
    if (m_effect->isVisible())
        m_effect->close();
    m_effect->move(x() + frameGeometry().width(), y());
    m_effect->setWindowTitle(m_service.selectedEffectName());
    m_effect->show();
    m_effect->enableEffectControls(m_service.linked());
}

EffectWindow *MainWindow::effectWindow() const { return m_effect; }

NoteCutWindow *MainWindow::noteCutWindow() const { return m_noteCut; }

void MainWindow::chooseClickedEffect() { m_service.chooseEffect(lstEffects->currentRow()); }

void MainWindow::moveEffectSelection(int key)
{
    const int row = lstEffects->currentRow();
    if (key == Qt::Key_Up) {
        m_core.log.writeLogLine(QStringLiteral("arrow up pressed"));
        if (row > 0)
            lstEffects->setCurrentRow(row - 1);
    } else {
        m_core.log.writeLogLine(QStringLiteral("arrow down pressed"));
        if (row < lstEffects->count() - 1)
            lstEffects->setCurrentRow(row + 1);
    }
}

void MainWindow::showFirmwareUpgradeWindow()
{
    if (m_firmware) {
        m_firmware->move(x(), y() + frameGeometry().height());
        m_firmware->show();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Inside a command's wait (an upgrade, an upload, a request): closing now would leave the
    // command half done and the editor running without its main window. The close is refused as
    // a whole, with a word, and can be made again once the command has ended.
    if (m_core.clock->waiting()) {
        event->ignore();
        m_core.log.writeLogLine(QStringLiteral("close refused: a command with the pedal is under way"));
        m_core.prompts->notice(QStringLiteral("The editor cannot close while a command with the pedal is under way; "
                                              "close it again when the command has ended."));
        return;
    }
    if (m_console)
        m_console->flushPending();
    QString error;
    if (!m_core.log.appendToLogFile(m_core.files.userFile(QStringLiteral("log.txt")), m_core.clock->localNow(), &error))
        m_core.prompts->message(QStringLiteral("The log could not be written to log.txt: ") + error);
    event->accept();
    emit closed();
}

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
