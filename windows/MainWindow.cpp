// The main window: the device and version labels, the effect list and the command buttons, with
// their enabled states, looks, shortcuts and companion windows. Its layout is built in
// MainWindowLayout.cpp and what each control does is in MainWindowCommands.cpp.
#include "windows/MainWindow.h"

#include "pedal/EditorCore.h"
#include "pedal/PedalService.h"
#include "support/Clock.h"
#include "support/EditorVersion.h"
#include "support/Looks.h"
#include "support/Prompts.h"
#include "windows/CommandOrigin.h"
#include "windows/CompareWindow.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/EffectWindow.h"
#include "windows/FirmwareUpgradeWindow.h"
#include "windows/Gating.h"
#include "windows/LinkStateText.h"
#include "windows/NewVersionWindow.h"
#include "windows/NoteCutWindow.h"
#include "windows/Placement.h"
#include "windows/UpdaterWindow.h"
#include "windows/WrapButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>

const QString MainWindow::SupportPage = QStringLiteral("https://www.karvoaudio.com/contact-us/");

CompareWindow *MainWindow::compareWindow()
{
    if (!m_compare)
        m_compare = new CompareWindow(m_service, *m_core.prompts);
    return m_compare;
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
    const LinkState::State link = m_service.linkState();
    lblDeviceName->setText(LinkStateText::label(link, m_service.pedalName(), m_service.serialNumber()));
    lblDeviceName->setToolTip(LinkStateText::hint(link, m_service.pedalName(), m_service.serialNumber()));
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
        CommandOrigin from(this);
        m_service.resetAssignableParameters(false).then(from.untilEnd());
        return true;
    }
    return false;
}

void MainWindow::logEditorVersion() { m_core.log.writeLogLine(QStringLiteral("current app version: ") + editorVersionText); }

bool MainWindow::applyLook(int n)
{
    bool found = false;
    const QString sheet = Looks::styleSheet(n, &found);
    if (!found)
        return false;
    qApp->setStyleSheet(sheet);
    currentLook = n;
    for (size_t i = 0; i < lookItems.size(); ++i) {
        if (lookItems[i])
            lookItems[i]->setChecked(int(i) == n);
    }
    return true;
}

void MainWindow::applySavedLook()
{
    QString error;
    const int n = Looks::savedLook(m_core.files, &error);
    if (!error.isEmpty())
        m_core.prompts->show(error);
    applyLook(n);
}

void MainWindow::chooseLook(int n)
{
    applyLook(n);
    QString error;
    if (!Looks::saveLook(m_core.files, n, &error))
        m_core.prompts->show(QStringLiteral("The look could not be saved: ") + error);
}

void MainWindow::showEffectWindow()
{
    if (!m_effect)
        return;
    if (m_effect->isVisible())
        m_effect->close();
    Placement::besideMain(m_effect, this, Placement::Side::Right);
    m_effect->setWindowTitle(m_service.selectedEffectName());
    m_effect->show();
    m_effect->enableEffectControls(m_service.linked());
}

EffectWindow *MainWindow::effectWindow() const { return m_effect; }

NoteCutWindow *MainWindow::noteCutWindow() const { return m_noteCut; }

void MainWindow::chooseClickedEffect()
{
    CommandOrigin from(this);
    m_service.chooseEffect(lstEffects->currentRow());
}

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
        Placement::besideMain(m_firmware, this, Placement::Side::Below);
        m_firmware->show();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const bool unsavedSettled = std::exchange(m_unsavedSettled, false);
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
    // Assignable values the pedal would lose at power-off: asked once. Save Parameters is a
    // command that waits: the editor closes when it is done, and stays open if it is not.
    CommandOrigin from(this);
    if (!unsavedSettled) {
        Task<PedalService::Result> settle = m_service.settleUnsavedParameters(QStringLiteral("closing the editor"));
        if (!settle.done()) {
            event->ignore();
            std::move(settle).then([this, from](PedalService::Result r) {
                if (r == PedalService::Result::Done) {
                    m_unsavedSettled = true;
                    close();
                }
            });
            return;
        }
        if (settle.result() != PedalService::Result::Done) {
            event->ignore();
            return;
        }
    }
    if (m_console)
        m_console->flushPending();
    QString error;
    if (!m_core.log.appendToLogFile(m_core.files.userFile(QStringLiteral("log.txt")), m_core.clock->localNow(), &error))
        m_core.prompts->show(QStringLiteral("The log could not be written to log.txt: ") + error);
    event->accept();
    emit closed();
}
