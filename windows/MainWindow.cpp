#include "windows/MainWindow.h"

#include "algorithms/EffectList.h"
#include "algorithms/Uploads.h"
#include "presets/PresetFile.h"
#include "pedal/EditorCore.h"
#include "support/EditorVersion.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "support/Looks.h"
#include "windows/WrapButton.h"
#include "windows/DebugConsoleWindow.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "windows/EffectWindow.h"
#include "windows/NoteCutWindow.h"
#include "windows/FirmwareUpgradeWindow.h"
#include "windows/NewVersionWindow.h"
#include "windows/UpdaterWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
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

MainWindow::MainWindow(EditorCore &ctx, QWidget *parent) : QMainWindow(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Quarnelo Editor"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();
    buildMenus();
    setFixedSize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight);
    move(37, 31);

    m_uploads = new Uploads(m_ctx, this);
    connect(m_uploads, &Uploads::statusChanged, lblStatus, &QLabel::setText);
    connect(btnUpload, &QPushButton::clicked, m_uploads, &Uploads::btnUploadClick);
    connect(menuLoadAlgorithmFromFile, &QAction::triggered, m_uploads, &Uploads::menuLoadAlgorithmFromFileClick);
    connect(menuUploadTuningsData, &QAction::triggered, m_uploads, &Uploads::menuUploadTuningsDataClick);
    connect(menuSavePreset, &QAction::triggered, this, &MainWindow::menuSavePresetClick);
    connect(menuLoadPreset, &QAction::triggered, this, &MainWindow::menuLoadPresetClick);
    TimerCheckWebVersion.setInterval(1000);
    TimerCheckWebVersion.setSingleShot(true);

    Communication &comm = m_ctx.comm;
    connect(&comm, &Communication::labelsChanged, this, &MainWindow::showLabels);
    connect(&comm, &Communication::gateChanged, this, &MainWindow::applyGating);
    connect(&comm, &Communication::effectSelected, this, [this](int index) {
        lstEffects->setCurrentRow(index < lstEffects->count() ? index : -1);
        GetResourceFile();
    });
    connect(&comm, &Communication::openEffectWindowRequested, this, [this] {
        if (!m_effect || !m_effect->isVisible())
            OpenEffectWindow();
    });
    connect(&comm, &Communication::effectWindowCloseRequested, this, [this] {
        if (m_effect)
            m_effect->close();
    });
    connect(&comm, &Communication::readBacksRequested, this, &MainWindow::readBacks);
    connect(&comm, &Communication::bootloaderReady, this, &MainWindow::StartFirmwareUpgrade);

    qApp->installEventFilter(this);
    FormCreate();
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

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
    lblDeviceName = label("lblDeviceName", Communication::NoDeviceFound, 9, 32, 174, 17);
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

    Communication &comm = m_ctx.comm;
    connect(btnRequest, &QPushButton::clicked, &comm, &Communication::RequestDeviceInformation);
    connect(btnAssign, &QPushButton::clicked, this, &MainWindow::btnAssignClick);
    connect(btnSetFootswitchMode, &QPushButton::clicked, this, &MainWindow::btnSetFootswitchModeClick);
    connect(btnSetTuning, &QPushButton::clicked, this, &MainWindow::btnSetTuningClick);
    connect(btnSaveParameters, &QPushButton::clicked, this, &MainWindow::btnSaveParametersClick);
    connect(btnSaveParametersInfo, &QPushButton::clicked, this, &MainWindow::btnSaveParametersInfoClick);
    connect(lstEffects, &QListWidget::itemClicked, this, &MainWindow::effetto_cliccato);
    lstEffects->installEventFilter(this);
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("menuFile"));
    menuLoadPreset = action(file, "menuLoadPreset", QStringLiteral("Load Local Preset"));
    menuSavePreset = action(file, "menuSavePreset", QStringLiteral("Save Local Preset"));
    menuLoadIR = action(file, "menuLoadIR", QStringLiteral("Load IR"));
    menuLoadIR->setVisible(false);
    menuLoadAlgorithmFromFile = action(file, "menuLoadAlgorithmFromFile", QStringLiteral("Load Effect From File"));
    menuOpenFilesFolder = action(file, "menuOpenFilesFolder", QStringLiteral("Open Files Folder"));
    for (QAction *a : {menuLoadPreset, menuSavePreset, menuLoadIR, menuLoadAlgorithmFromFile})
        a->setEnabled(false);

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

    Communication &comm = m_ctx.comm;
    connect(menuScan, &QAction::triggered, &comm, &Communication::ScanAndLink);
    connect(menuConnect, &QAction::triggered, &comm, &Communication::Link);
    connect(menuDisconnect, &QAction::triggered, &comm, &Communication::menuDisconnectClick);
    connect(menuLinkSimulated, &QAction::triggered, &comm, &Communication::LinkSimulated);
    connect(menuInfo, &QMenu::aboutToShow, this, &MainWindow::menuInfoClick);
    connect(menuReportUSBErrors, &QAction::triggered, this, &MainWindow::menuReportUSBErrorsClick);
    connect(menuShowUpdateMsg, &QAction::triggered, this, &MainWindow::menuShowUpdateMsgClick);
    connect(menuSupport, &QAction::triggered, this, &MainWindow::menuSupportClick);
    connect(menuOpenFilesFolder, &QAction::triggered, this, &MainWindow::menuOpenFilesFolderClick);
    connect(menuSetAssignableParamsToDefault, &QAction::triggered, this, &MainWindow::menuSetAssignableParamsToDefaultClick);
    connect(menuEnableAllParameters, &QAction::triggered, this, [this] {
        if (m_effect) {
            m_effect->OnClickEnableAllParameters();
            menuEnableAllParameters->setChecked(m_effect->AllParametersEnabled);
        }
    });
    menuEnableAllParameters->setCheckable(true);
    connect(menuNoteCut, &QAction::triggered, this, [this] {
        if (m_noteCut) {
            m_noteCut->move(x() + 20, y() + frameGeometry().height() + 10);
            m_noteCut->show();
            m_noteCut->raise();
        }
    });
    connect(menuStandard, &QAction::triggered, this, [this] { chooseInstrumentRange(0xFF); });
    connect(menuLow, &QAction::triggered, this, [this] { chooseInstrumentRange(0xBA); });
    menuStandard->setCheckable(true);
    menuLow->setCheckable(true);
    connect(menuStoreBypassStatus, &QAction::triggered, this, [this] { chooseBypassStatus(true); });
    connect(menuDoNotStoreBypassStatus, &QAction::triggered, this, [this] { chooseBypassStatus(false); });
    menuRangeLimitOFF->setCheckable(true);
    menuRangeLimitON->setCheckable(true);
    connect(menuRangeLimitOFF, &QAction::triggered, this, [this] { chooseRangeLimit(false); });
    connect(menuRangeLimitON, &QAction::triggered, this, [this] { chooseRangeLimit(true); });
    connect(menuFirmwareUpgradeMode, &QAction::triggered, this, [this](bool checked) {
        // Turning it on before linking leads the link through the bootloader.
        m_ctx.comm.firmware_upgrade_mode = checked;
        if (checked && (m_ctx.comm.DeviceFirmwareText == QLatin1String("0") ||
                        m_ctx.comm.DeviceFirmwareText.toInt() < 9))
            m_ctx.comm.LegacyUpgradeMode = true;
    });
}

void MainWindow::FormCreate()
{
    UserFiles &files = m_ctx.files;
    files.CreateMakerFolder(QString::fromLatin1(UserFiles::MakerName));
    files.CreateProductFolder(QString::fromLatin1(UserFiles::MakerName), QString::fromLatin1(UserFiles::ProductName));
    files.LoadUserSettings();
    menuShowUpdateMsg->setChecked(files.showUpdateMessage);
    menuReportUSBErrors->setChecked(files.reportUsbErrors);
    files.TrimLogFile();

    Communication &comm = m_ctx.comm;
    comm.RefreshDeviceList();
    comm.SetLineSettings(Communication::NormalLine);
    showLabels();
    comm.firmware_upgrade_mode = false;
    applyGating(GateState::Startup);
    if (lblDeviceName->text().isEmpty() || lblDeviceName->text() == Communication::NoDeviceFound)
        setControlEnabled(QStringLiteral("menuConnect"), false);

    FillEffectList();
    TimerCheckWebVersion.start();

    currentAppVersion = GetEditorVersion();
    menuAppVersion->setText(menuAppVersion->text() + QLatin1Char(' ') + currentAppVersion);

    CreateLookMenu();
    ApplySavedStyle();
    CreateMidiChannelMenu();

    if (lstEffects->count() > 0)
        comm.LatestAlgorithmNumber = EffectList::latestAlgorithmNumber(lstEffects->item(0)->text());
    comm.LatestFirmwareNumber = 15;
    btnSaveParameters->setToolTip(QStringLiteral("Saves current status of assignable parameters to pedal."));
}

void MainWindow::FillEffectList()
{
    lstEffects->clear();
    QString error;
    if (!EffectList::LoadResourceToList(QStringLiteral("octave"), &m_ctx.ResourceLines, &error)) {
        m_ctx.prompts->message(QStringLiteral("Error loading resource: ") + error);
        return;
    }
    lstEffects->addItems(m_ctx.ResourceLines);
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
    const Communication &comm = m_ctx.comm;
    lblDeviceName->setText(comm.deviceLabel);
    lblFirmwareVersion->setText(comm.firmwareLabel);
    lblAlgorithmVersion->setText(comm.algorithmLabel);
    menuSerialNumber->setText(comm.serialMenuText);
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

void MainWindow::EnableUSBobjects(bool status)
{
    for (const QString &name : Gating::usbObjects())
        setControlEnabled(name, status);
    if (m_effect)
        m_effect->enableEffectControls(status);
}

void MainWindow::SetCommandButtonsEnabled(bool status)
{
    for (const QString &name : Gating::commandButtons())
        setControlEnabled(name, status);
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
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstEffects && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            move_up_or_down(key);
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->window() == this) {
            auto *k = static_cast<QKeyEvent *>(event);
            if (FormKeyDown(k->key(), k->modifiers()))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
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
        if (m_effect)
            m_effect->setDefaultAssignableParameterValues();
        return true;
    }
    return false;
}

void MainWindow::menuInfoClick()
{
    m_ctx.log.WriteLogLine(QStringLiteral("current app version: ") + currentAppVersion);
}

void MainWindow::menuReportUSBErrorsClick()
{
    const bool on = menuReportUSBErrors->isChecked();
    if (m_ctx.files.rewriteFlagFile(QStringLiteral("ReportUSBErrors.txt"), on))
        m_ctx.files.reportUsbErrors = on;
}

void MainWindow::menuShowUpdateMsgClick()
{
    const bool on = menuShowUpdateMsg->isChecked();
    m_ctx.files.showUpdateMessage = on;
    m_ctx.files.rewriteFlagFile(QStringLiteral("ShowMessageVersionAtStartup.txt"), on);
}

void MainWindow::CreateLookMenu()
{
    for (int i = 0; i < Looks::MenuLookCount; ++i) {
        QAction *a = menuLook->addAction(QString::number(i));
        a->setObjectName(QStringLiteral("menuLook%1").arg(i));
        LookItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, a] { menuLookClickItem(a); });
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

void MainWindow::ApplySavedStyle()
{
    QString error;
    const int n = Looks::savedLook(m_ctx.files, &error);
    if (!error.isEmpty())
        m_ctx.prompts->message(error);
    applyLook(n);
}

void MainWindow::menuLookClickItem(QAction *sender)
{
    int i = 0;
    for (int k = 0; k < int(LookItems.size()); ++k) {
        if (LookItems[size_t(k)] == sender)
            i = k;
    }
    applyLook(i);
    QString error;
    if (!Looks::saveLook(m_ctx.files, i, &error))
        m_ctx.prompts->message(QStringLiteral("The look could not be saved: ") + error);
}

void MainWindow::CreateMidiChannelMenu()
{
    for (int i = 0; i <= 16; ++i) {
        QAction *a = menuMIDIchannel->addAction(i == 0 ? QStringLiteral("OMNI") : QString::number(i));
        a->setObjectName(QStringLiteral("menuMIDIchannel%1").arg(i));
        a->setCheckable(true);
        MidiChannelItems[size_t(i)] = a;
        connect(a, &QAction::triggered, this, [this, a] {
            a->setChecked(!a->isChecked()); // plain items: the mark shows what the pedal reported
            menuMIDIchannelsClickItem(a);
        });
    }
}

void MainWindow::menuMIDIchannelsClickItem(QAction *sender)
{
    QString t = sender->text();
    m_ctx.log.addConsoleLine(QStringLiteral("Midi channel: ") + t);
    if (t == QLatin1String("OMNI"))
        t = QStringLiteral("00");
    else if (t.toInt() < 10)
        t = QLatin1Char('0') + t;
    if (t.toInt() >= 10)
        t = HexCodec::hexNumber(t.toInt(), 2);
    const QString message = QStringLiteral("07") + t;
    m_ctx.log.WriteLogLine(message);
    m_ctx.comm.SendHexMessage(message, 2);
}

void MainWindow::ShowMidiChannel(int position)
{
    for (QAction *a : MidiChannelItems)
        a->setChecked(false);
    const QByteArray &reply = m_ctx.comm.ReplyBytes;
    if (position < 0 || position >= reply.size())
        return;
    const int v = quint8(reply[position]);
    if (v == 0 || v == 255)
        MidiChannelItems[0]->setChecked(true);
    else if (v >= 1 && v <= 16)
        MidiChannelItems[size_t(v)]->setChecked(true);
    m_ctx.log.WriteLogLine(QStringLiteral("MIDI channel: %1").arg(v));
}

void MainWindow::menuSupportClick() { m_ctx.prompts->openExternal(QUrl(SupportPage)); }

void MainWindow::menuOpenFilesFolderClick()
{
    m_ctx.prompts->openExternal(QUrl::fromLocalFile(QDir(m_ctx.files.userFolder()).absolutePath()));
}

void MainWindow::OpenEffectWindow()
{
    if (!m_effect)
        return;
    if (m_effect->isVisible())
        m_effect->close();
    m_effect->move(x() + frameGeometry().width(), y());
    m_effect->setWindowTitle(m_ctx.SelectedEffectName);
    m_effect->show(); // loads the image and the parameter addresses
    m_effect->enableEffectControls(m_ctx.comm.Linked);
}

EffectWindow *MainWindow::effectWindow() const { return m_effect; }

NoteCutWindow *MainWindow::noteCutWindow() const { return m_noteCut; }

void MainWindow::GetResourceFile()
{
    const int index = lstEffects->currentRow();
    m_ctx.log.WriteLogLine(QStringLiteral("efx index :%1").arg(index));
    if (index < 0) {
        m_ctx.log.WriteLogLine(QStringLiteral("no effect selected: nothing loaded"));
        return;
    }
    m_ctx.SelectedEffectName = lstEffects->item(index)->text();
    m_ctx.log.WriteLogLine(QStringLiteral("selected effect name: ") + m_ctx.SelectedEffectName);
    m_ctx.loadSelectedEffectImage();
}

void MainWindow::effetto_cliccato()
{
    GetResourceFile();
    if (!m_ctx.comm.Linked) {
        OpenEffectWindow();
        return;
    }
    bool ok = false;
    const int n = m_ctx.comm.DeviceAlgorithmText.toInt(&ok, 10);
    if (!ok) {
        m_ctx.prompts->message(HexCodec::conversionError(m_ctx.comm.DeviceAlgorithmText));
        return;
    }
    if (n >= m_ctx.comm.LatestAlgorithmNumber) {
        OpenEffectWindow();
        return;
    }
    if (m_effect && m_effect->isVisible())
        m_effect->close();
    m_ctx.prompts->message(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                               .arg(m_ctx.comm.LatestAlgorithmNumber));
    SetCommandButtonsEnabled(false);
}

void MainWindow::move_up_or_down(int key)
{
    const int row = lstEffects->currentRow();
    if (key == Qt::Key_Up) {
        m_ctx.log.WriteLogLine(QStringLiteral("arrow up pressed"));
        if (row > 0)
            lstEffects->setCurrentRow(row - 1);
    } else {
        m_ctx.log.WriteLogLine(QStringLiteral("arrow down pressed"));
        if (row < lstEffects->count() - 1)
            lstEffects->setCurrentRow(row + 1);
    }
}

void MainWindow::readBacks()
{
    if (m_effect) {
        m_effect->getFootswitchMode(4);
        m_effect->getTuning(5);
        m_effect->getAssignments(7);
        m_effect->getBypassStatus(22);
    }
    const QByteArray &reply = m_ctx.comm.ReplyBytes;
    if (reply.size() > 24) {
        const quint8 store = quint8(reply[23]);
        if (store <= 1) {
            menuStoreBypassStatus->setChecked(store == 1);
            menuDoNotStoreBypassStatus->setChecked(store == 0);
        }
        InstrumentRange = quint8(reply[24]);
        if (InstrumentRange == 0xFF || InstrumentRange == 0xBA) {
            menuStandard->setChecked(InstrumentRange == 0xFF);
            menuLow->setChecked(InstrumentRange == 0xBA);
        }
    }
    ShowMidiChannel(25);
    if (m_effect)
        m_effect->getParameterValues(26);
}

void MainWindow::btnAssignClick()
{
    m_ctx.log.WriteLogLine(QStringLiteral("********************ASSIGN********************"));
    if (!m_effect)
        return;
    const QString text = m_effect->buildAssignMessage();
    const int n = int(text.size() / 2);
    if (!m_ctx.prompts->question(QStringLiteral("Upload Assignments?")))
        return;
    m_ctx.comm.SendHexMessage(text, n);
    btnAssign->setEnabled(false);
    m_ctx.clock->pause(100);
    btnAssign->setEnabled(true);
}

void MainWindow::btnSetFootswitchModeClick()
{
    m_ctx.log.WriteLogLine(QStringLiteral("********************SET FOOTSWITCH MODE********************"));
    if (!m_effect)
        return;
    const QString text = m_effect->buildFootswitchMessage();
    m_ctx.log.WriteLogLine(text);
    m_ctx.comm.SendHexMessage(text, 3);
}

void MainWindow::btnSetTuningClick()
{
    m_ctx.log.WriteLogLine(QStringLiteral("********************SET TUNING********************"));
    if (!m_effect)
        return;
    const QString text = PedalMessages::tuning(m_effect->CurrentTuning, m_effect->SemitoneVariation);
    m_ctx.log.WriteLogLine(QStringLiteral("Tuning Message: ") + text);
    if (!m_ctx.prompts->question(QStringLiteral("Set new tuning?")))
        return;
    m_ctx.d2xx->PurgeFTDeviceTX();
    m_ctx.comm.SendHexMessage(text, 3);
    m_ctx.clock->pause(100);
}

void MainWindow::btnSaveParametersClick()
{
    m_ctx.comm.RequestDeviceInformation();
    m_ctx.log.WriteLogLine(QStringLiteral("********************SAVE PARAMETERS********************"));
    if (!m_effect)
        return;
    std::array<quint32, 10> values{};
    const auto records = m_effect->P.assignables();
    for (int i = 0; i < 10; ++i)
        values[size_t(i)] = records[size_t(i)]->value;
    const QString text = PedalMessages::storeSettings(values);
    m_ctx.log.WriteLogLine(QStringLiteral("Store settings message (HEX): ") + text);
    const int n = int(text.size() / 2);
    m_ctx.log.WriteLogLine(QStringLiteral("num of bytes to send: %1").arg(n));
    if (!m_ctx.prompts->question(QStringLiteral("Save Parameters to pedal?")))
        return;
    m_ctx.d2xx->PurgeFTDeviceTX();
    HexCodec::hexTextToBuffer(text, m_ctx.d2xx->FTTransmitBuffer.data(), n);
    const quint32 m = m_ctx.d2xx->WriteFTDeviceBuffer(quint32(n));
    m_ctx.log.WriteLogLine(QStringLiteral("num of bytes sent: %1").arg(m));
    m_ctx.clock->pause(100);
}

void MainWindow::btnSaveParametersInfoClick()
{
    m_ctx.prompts->message(QStringList{
        QStringLiteral("Permanently saves the current state of all assignable parameters to the pedal, regardless of "
                       "whether they are currently assigned."),
        QStringLiteral("Assignable parameters are those not available as physical controls on the pedal (e.g., Input "
                       "Level, Dominant Notes Cut, etc.)."),
        QStringLiteral("Their saved state is preserved even after firmware or algorithm updates."),
        QString::fromUtf8("Example: you want to set a new Input Level, adjust the Input Level knob in the editor and "
                          "then click \u201CSave Parameters.\u201D"),
        QStringLiteral("Save Parameters is not related to presets, in this way saving preset from the pedal will not "
                       "erase Save Parameters settings."),
        QStringLiteral("Think of Save Parameters as a global preset.")}
                               .join(QStringLiteral("\r\n")));
}

void MainWindow::menuSetAssignableParamsToDefaultClick()
{
    if (m_effect)
        m_effect->setDefaultAssignableParameterValues();
    m_ctx.prompts->message(QStringLiteral("Click Save Parameters button to save the current status on pedal"));
}

void MainWindow::chooseInstrumentRange(quint8 range)
{
    InstrumentRange = range;
    menuStandard->setChecked(range == 0xFF);
    menuLow->setChecked(range == 0xBA);
    QString error;
    if (!UserFiles::writeTextFile(m_ctx.files.userFile(QStringLiteral("Instrument.txt")),
                                  range == 0xFF ? QStringLiteral("STANDARD") : QStringLiteral("LOW"), &error))
        m_ctx.log.WriteLogLine(QStringLiteral("Instrument.txt could not be written: ") + error);
    ChangeInstrument();
}

void MainWindow::ChangeInstrument()
{
    quint8 checksum = 0;
    const QString text = PedalMessages::instrumentRange(InstrumentRange, &checksum);
    m_ctx.log.WriteLogLine(QStringLiteral("checksum byte: ") + HexCodec::hexNumber(checksum, 2));
    if (!m_ctx.prompts->question(QStringLiteral("Change current Instrument?")))
        return;
    m_ctx.log.WriteLogLine(text);
    m_ctx.comm.SendHexMessage(text, 8);
}

void MainWindow::chooseBypassStatus(bool store)
{
    menuStoreBypassStatus->setChecked(store);
    menuDoNotStoreBypassStatus->setChecked(!store);
    const QString text = PedalMessages::storeBypassStatus(store);
    m_ctx.log.WriteLogLine(text);
    m_ctx.comm.SendHexMessage(text, 2);
}

QString MainWindow::presetFolder()
{
    const QString folder = m_ctx.files.userFile(QStringLiteral("Preset"));
    QDir().mkpath(folder);
    return folder;
}

void MainWindow::menuSavePresetClick()
{
    m_ctx.comm.RequestDeviceInformation();
    DiagnosticLog &log = m_ctx.log;
    log.WriteLogLine(QStringLiteral("********************SAVE LOCAL PRESET********************"));
    if (!m_effect)
        return;
    PresetFile::PresetValues values{};
    for (int i = 0; i < PresetFile::Values; ++i) {
        values[size_t(i)] = m_effect->P.value(i);
        log.WriteLogLine(PresetFile::logKeys()[i] + HexCodec::hexNumber(values[size_t(i)], 8));
    }
    QString path = m_ctx.prompts->saveFile(QStringLiteral("Save Preset File"), QStringLiteral("Preset files (*.txt)"),
                                           presetFolder(), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    path = PresetFile::withExtension(path);
    QString error;
    if (PresetFile::write(path, values, &error))
        m_ctx.prompts->message(QStringLiteral("File saved successfully: ") + path);
    else
        m_ctx.prompts->message(QStringLiteral("Error saving file: ") + error);
}

void MainWindow::menuLoadPresetClick()
{
    DiagnosticLog &log = m_ctx.log;
    const QString path = m_ctx.prompts->openFile(QStringLiteral("Open Preset File"), QStringLiteral("Preset files (*.txt)"),
                                                 presetFolder());
    PresetFile::PresetValues values{};
    QString message;
    const bool valid = !path.isEmpty() && PresetFile::load(path, &values, &message);
    if (valid)
        m_ctx.prompts->message(QStringLiteral("File loaded successfully: ") + path);
    else if (!path.isEmpty())
        m_ctx.prompts->message(message);
    log.WriteLogLine(QStringLiteral("********************LOAD LOCAL PRESET********************"));
    for (int i = 0; i < PresetFile::Values; ++i)
        log.WriteLogLine(PresetFile::logKeys()[i] + (valid ? HexCodec::hexNumber(values[size_t(i)], 8) : QString()));
    if (!valid || !m_effect)
        return; // a cancelled, unreadable or malformed file changes nothing and sends nothing
    for (int i = 0; i < PresetFile::Values; ++i)
        m_effect->P.value(i) = values[size_t(i)];
    m_effect->showParameterValues(true);
}

void MainWindow::chooseRangeLimit(bool on)
{
    m_ctx.log.WriteLogLine(on ? QStringLiteral("********************RANGE LIMIT ON********************")
                              : QStringLiteral("********************RANGE LIMIT OFF********************"));
    const QString text = PedalMessages::rangeLimit(on);
    m_ctx.log.WriteLogLine(text);
    m_ctx.comm.SendHexMessage(text, 2);
    menuRangeLimitON->setChecked(on);
    menuRangeLimitOFF->setChecked(!on);
}

void MainWindow::StartFirmwareUpgrade()
{
    m_ctx.comm.Timer_USB_Read->stop();
    m_ctx.d2xx->ReportDeviceErrors = false;
    if (m_firmware) {
        m_firmware->move(x(), y() + frameGeometry().height());
        m_firmware->show();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_console)
        m_console->flushPending();
    QString error;
    if (!m_ctx.log.AppendLogFile(m_ctx.files.userFile(QStringLiteral("log.txt")), m_ctx.clock->localNow(), &error))
        m_ctx.prompts->message(QStringLiteral("The log could not be written to log.txt: ") + error);
    event->accept();
    emit closed();
}

Editor::Editor(EditorCore &ctx)
{
    m_main = new MainWindow(ctx);
    m_firmware = new FirmwareUpgradeWindow();
    m_console = new DebugConsoleWindow(&ctx.log);
    m_effect = new EffectWindow(ctx);
    m_noteCut = new NoteCutWindow(ctx);
    m_newVersion = new NewVersionWindow();
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
