// The main window's controls and menus as they are laid out, each registered by objectName.
#include "windows/MainWindow.h"

#include "pedal/EditorCore.h"
#include "pedal/PedalService.h"
#include "support/Looks.h"
#include "windows/CommandOrigin.h"
#include "windows/CompareWindow.h"
#include "windows/KeyHabits.h"
#include "windows/WrapButton.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>

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
    lblFirmwareVersion = label("lblFirmwareVersion", QStringLiteral("Device Firmware:"), 9, 48, 174, 20);
    lblFirmwareVersion->setToolTip(QStringLiteral("Shows which firmware is currently installed on the pedal"));
    lblAlgorithmVersion = label("lblAlgorithmVersion", QStringLiteral("Device Algorithm:"), 9, 66, 174, 17);
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
    // Narrow item margins: all six menus fit the window's width in the wider fonts too.
    bar->setStyleSheet(QStringLiteral("QMenuBar { spacing: 2px; } QMenuBar::item { padding: 2px 3px; }"));
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
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
    menuLoadPreset->setShortcut(QKeySequence::Open);
    menuSavePreset->setShortcut(QKeySequence::Save);
    file->addSeparator();
    menuQuit = action(file, "menuQuit", QStringLiteral("Quit"));
    menuQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // the platform may bind none

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menuEdit"));
    menuUndo = action(edit, "menuUndo", QStringLiteral("Undo"));
    menuUndo->setShortcut(QKeySequence::Undo);
    menuRedo = action(edit, "menuRedo", QStringLiteral("Redo"));
    // Ctrl+Shift+Z here, and Ctrl+Y as on Windows.
    menuRedo->setShortcuts(KeyHabits::redoKeys());
    menuUndo->setEnabled(false);
    menuRedo->setEnabled(false);
    edit->addSeparator();
    menuCompare = action(edit, "menuCompare", QStringLiteral("Compare..."));
    menuShowEffectWindow = action(edit, "menuShowEffectWindow", QStringLiteral("Effect Window"));
    menuShowEffectWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

    QMenu *connection = bar->addMenu(QStringLiteral("&Connection"));
    connection->setObjectName(QStringLiteral("menuConnection"));
    menuScan = action(connection, "menuScan", QStringLiteral("Scan And Link"));
    menuConnect = action(connection, "menuConnect", QStringLiteral("Link"));
    menuConnect->setVisible(false);
    menuDisconnect = action(connection, "menuDisconnect", QStringLiteral("Unlink"));
    menuDisconnect->setEnabled(false);
    connection->addSeparator();
    menuLinkSimulated = action(connection, "menuLinkSimulated", QStringLiteral("Link Simulated Pedal"));

    QMenu *settings = bar->addMenu(QStringLiteral("&Settings"));
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

    QMenu *firmware = bar->addMenu(QStringLiteral("Firmware &Upgrade"));
    firmware->setObjectName(QStringLiteral("menuFirmwareUpgrade"));
    menuFirmwareUpgradeMode = action(firmware, "menuFirmwareUpgradeMode", QStringLiteral("Upgrade Mode"));
    menuFirmwareUpgradeMode->setCheckable(true);
    menuStartFirmwareUpgrade = action(firmware, "menuStartFirmwareUpgrade", QStringLiteral("Start Firmware Upgrade"));
    menuStartFirmwareUpgrade->setEnabled(false);
    menuStartFirmwareUpgrade->setVisible(false);
    menuEraseSettings = action(firmware, "menuEraseSettings", QStringLiteral("Erase Settings"));
    menuEraseSettings->setEnabled(false);

    menuInfo = reg(bar->addMenu(QStringLiteral("&Info")), "menuInfo");
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

    // F10 opens the menu bar, as Alt does with a menu's underlined letter.
    auto *openMenuBar = new QAction(this);
    openMenuBar->setObjectName(QStringLiteral("actOpenMenuBar"));
    openMenuBar->setShortcut(QKeySequence(Qt::Key_F10));
    openMenuBar->setShortcutContext(Qt::WindowShortcut);
    connect(openMenuBar, &QAction::triggered, this, [bar] {
        for (QAction *menu : bar->actions()) {
            if (menu->isVisible() && menu->isEnabled()) {
                bar->setActiveAction(menu);
                return;
            }
        }
    });
    addAction(openMenuBar);

    // The menus' own entries for the gating table.
    m_controls.insert(QStringLiteral("menuMIDI"), menuMIDI->menuAction());
    m_controls.insert(QStringLiteral("menuInstrumentRange"), menuInstrumentRange->menuAction());
    m_controls.insert(QStringLiteral("menuBypassStatus"), menuBypassStatus->menuAction());
    m_controls.insert(QStringLiteral("menuRangeLimit"), menuRangeLimit->menuAction());
}

void MainWindow::createLookMenu()
{
    // The looks by their names; the one applied carries the mark (none when a look the menu
    // does not offer, or none at all, is applied).
    auto *group = new QActionGroup(menuLook);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int i = 0; i < Looks::MenuLookCount; ++i) {
        QAction *a = menuLook->addAction(Looks::name(i));
        a->setObjectName(QStringLiteral("menuLook%1").arg(i));
        a->setCheckable(true);
        group->addAction(a);
        lookItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] {
            CommandOrigin from(this);
            chooseLook(i);
        });
    }
}

void MainWindow::createMidiChannelMenu()
{
    for (int i = 0; i <= 16; ++i) {
        QAction *a = menuMIDIchannel->addAction(i == 0 ? QStringLiteral("OMNI") : QString::number(i));
        a->setObjectName(QStringLiteral("menuMIDIchannel%1").arg(i));
        a->setCheckable(true);
        midiChannelItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] {
            CommandOrigin from(this);
            m_service.chooseMidiChannel(i);
            showMarks(); // the mark shows what the pedal reported, not the click
        });
    }
}
