#include "windows/FirmwareUpgradeWindow.h"

#include "pedal/FirmwareUpgrade.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

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
    cmbFirmwareChoose->addItems(upgrade.imageNames());
    cmbFirmwareChoose->setGeometry(8, 8, 180, 24);
    btnUpgradeFirmware = new QPushButton(QStringLiteral("Upgrade Firmware"), this);
    btnUpgradeFirmware->setObjectName(QStringLiteral("btnUpgradeFirmware"));
    btnUpgradeFirmware->setGeometry(8, 36, 180, 26);
    chkVerify = new QCheckBox(QStringLiteral("Verify after writing"), this);
    chkVerify->setObjectName(QStringLiteral("chkVerify"));
    chkVerify->setChecked(upgrade.verifyAfterWriting);
    chkVerify->setGeometry(8, 66, 180, 20);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 90, 180, 20);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("%v / %m blocks"));
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(8, 114, 180, 32); // two lines: a warning or a stop is a sentence
    lblProgress->setWordWrap(true);
    lblProgress->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    WindowUnits::place(this, QSize(196, 152));

    connect(cmbFirmwareChoose, &QComboBox::currentTextChanged, &upgrade, &FirmwareUpgrade::selectImage);
    connect(btnUpgradeFirmware, &QPushButton::clicked, &upgrade, [this] { m_upgrade.upgrade().detach(); });
    connect(chkVerify, &QCheckBox::toggled, this, [this](bool on) { m_upgrade.verifyAfterWriting = on; });
    connect(&upgrade, &FirmwareUpgrade::progress, this, &FirmwareUpgradeWindow::showProgress);
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
        lblProgress->clear();
        hide();
    });
}

void FirmwareUpgradeWindow::showEvent(QShowEvent *event)
{
    cmbFirmwareChoose->setCurrentIndex(cmbFirmwareChoose->count() - 1);
    m_upgrade.selectImage(cmbFirmwareChoose->currentText());
    QWidget::showEvent(event);
}

void FirmwareUpgradeWindow::closeEvent(QCloseEvent *event)
{
    // Leaving the bootloader takes a Go and a request: the window hides when the upgrade says it
    // has finished, and stays while the pedal is still in its bootloader.
    event->ignore();
    m_upgrade.closeWindow().detach();
}

void FirmwareUpgradeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_O && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
        event->accept();
        m_upgrade.upgradeFromFile().detach();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FirmwareUpgradeWindow::showProgress(int block, int blocks, qint64 bytes, qint64 totalBytes, qint64 msLeft)
{
    ProgressBar1->setRange(0, blocks);
    ProgressBar1->setValue(block);
    QString text = QStringLiteral("%1 of %2 KB").arg(bytes / 1024.0, 0, 'f', 1).arg(totalBytes / 1024.0, 0, 'f', 1);
    if (msLeft >= 0)
        text += QStringLiteral(", %1 s left").arg((msLeft + 999) / 1000);
    lblProgress->setText(text);
}
