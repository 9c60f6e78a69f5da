#include "windows/FirmwareUpgradeWindow.h"

#include "algorithms/FirmwareImage.h"
#include "pedal/FirmwareUpgrade.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "windows/CommandOrigin.h"
#include "windows/WindowUnits.h"

FirmwareUpgradeWindow::FirmwareUpgradeWindow(FirmwareUpgrade &upgrade, QWidget *parent)
    : QWidget(parent, Qt::Window), m_upgrade(upgrade)
{
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    cmbFirmwareChoose = new QComboBox(this);
    cmbFirmwareChoose->setObjectName(QStringLiteral("cmbFirmwareChoose"));
    for (const QString &name : upgrade.imageNames())
        cmbFirmwareChoose->addItem(name, name);
    cmbFirmwareChoose->setGeometry(8, 8, 244, 24);
    cmbFirmwareChoose->setToolTip(QStringLiteral("The firmware to write. An image older than the one the pedal runs "
                                                 "is asked about before anything is erased."));
    btnUpgradeFirmware = new QPushButton(QStringLiteral("Upgrade Firmware"), this);
    btnUpgradeFirmware->setObjectName(QStringLiteral("btnUpgradeFirmware"));
    btnUpgradeFirmware->setGeometry(8, 36, 244, 26);
    chkVerify = new QCheckBox(QStringLiteral("Verify after writing"), this);
    chkVerify->setObjectName(QStringLiteral("chkVerify"));
    chkVerify->setChecked(upgrade.verifyAfterWriting);
    chkVerify->setGeometry(8, 66, 244, 20);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 90, 244, 20);
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(8, 114, 244, 32); // two lines: a warning or a stop is a sentence
    lblProgress->setWordWrap(true);
    lblProgress->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    showReady();

    // Wide enough for the whole title beside the close box.
    WindowUnits::place(this, QSize(260, 152));

    connect(cmbFirmwareChoose, &QComboBox::currentIndexChanged, &upgrade, [this](int index) {
        CommandOrigin from(this);
        if (index >= 0)
            m_upgrade.selectImage(cmbFirmwareChoose->itemData(index).toString());
    });
    connect(btnUpgradeFirmware, &QPushButton::clicked, &upgrade, [this] {
        CommandOrigin from(this);
        m_upgrade.upgrade().then(from.untilEnd());
    });
    connect(chkVerify, &QCheckBox::toggled, this, [this](bool on) { m_upgrade.verifyAfterWriting = on; });
    connect(&upgrade, &FirmwareUpgrade::progress, this, &FirmwareUpgradeWindow::showProgress);
    connect(&upgrade, &FirmwareUpgrade::readBackProgress, this, &FirmwareUpgradeWindow::showReadBack);
    connect(&upgrade, &FirmwareUpgrade::runningChanged, this, [this](bool running) {
        btnUpgradeFirmware->setEnabled(!running);
        cmbFirmwareChoose->setEnabled(!running);
        chkVerify->setEnabled(!running);
        if (!running && m_upgrade.writtenUnverified())
            lblProgress->setText(QStringLiteral("Warning: written but not verified"));
        else if (!running && m_upgrade.flashIncomplete())
            lblProgress->setText(QStringLiteral("Stopped: choose Upgrade Firmware to try again"));
    });
    connect(&upgrade, &FirmwareUpgrade::finished, this, [this] {
        ProgressBar1->setValue(0);
        ProgressBar1->setTextVisible(false); // counted afresh when it is shown again
        lblProgress->clear();
        hide();
    });
}

void FirmwareUpgradeWindow::showReady()
{
    // Nothing is counted before an upgrade starts.
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
}

void FirmwareUpgradeWindow::markPedalFirmware()
{
    // Each image by its name and number; the one the pedal runs is said so.
    const int running = m_upgrade.pedalFirmware();
    for (int i = 0; i < cmbFirmwareChoose->count(); ++i) {
        const QString name = cmbFirmwareChoose->itemData(i).toString();
        const bool runs = running >= 0 && FirmwareImage::numberFromName(name, -1) == running;
        cmbFirmwareChoose->setItemText(i, runs ? name + QStringLiteral(" (in the pedal)") : name);
    }
    if (!m_upgrade.running())
        lblProgress->setText(running >= 0 ? QStringLiteral("The pedal runs firmware %1.").arg(running) : QString());
}

void FirmwareUpgradeWindow::showEvent(QShowEvent *event)
{
    markPedalFirmware();
    if (!m_upgrade.running())
        showReady();
    cmbFirmwareChoose->setCurrentIndex(cmbFirmwareChoose->count() - 1);
    m_upgrade.selectImage(cmbFirmwareChoose->itemData(cmbFirmwareChoose->currentIndex()).toString());
    QWidget::showEvent(event);
}

void FirmwareUpgradeWindow::closeEvent(QCloseEvent *event)
{
    // Leaving the bootloader takes a Go and a request: the window hides when the upgrade says it
    // has finished, and stays while the pedal is still in its bootloader.
    event->ignore();
    CommandOrigin from(this);
    m_upgrade.closeWindow().then(from.untilEnd());
}

void FirmwareUpgradeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_O && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        event->accept();
        CommandOrigin from(this);
        m_upgrade.upgradeFromFile().then(from.untilEnd());
        return;
    }
    QWidget::keyPressEvent(event);
}

namespace {
QString timeLeft(qint64 msLeft) { return msLeft < 0 ? QString() : QStringLiteral(", %1 s left").arg((msLeft + 999) / 1000); }
} // namespace

void FirmwareUpgradeWindow::showProgress(int block, int blocks, qint64 bytes, qint64 totalBytes, qint64 msLeft)
{
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setFormat(QStringLiteral("Writing %v / %m blocks"));
    ProgressBar1->setRange(0, blocks);
    ProgressBar1->setValue(block);
    lblProgress->setText(QStringLiteral("%1 of %2 KB").arg(bytes / 1024.0, 0, 'f', 1).arg(totalBytes / 1024.0, 0, 'f', 1) +
                         timeLeft(msLeft));
}

void FirmwareUpgradeWindow::showReadBack(int block, int blocks, qint64 msLeft)
{
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setFormat(QStringLiteral("Reading back %v / %m blocks"));
    ProgressBar1->setRange(0, blocks);
    ProgressBar1->setValue(block);
    lblProgress->setText(QStringLiteral("Comparing with the image") + timeLeft(msLeft));
}
