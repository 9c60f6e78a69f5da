#pragma once
// The firmware upgrade window, shown while the bootloader is linked: the image chooser,
// Upgrade Firmware, Verify after writing, and the progress in blocks, bytes and time left.
// Ctrl+Shift+O writes an image file instead. A view of the core's FirmwareUpgrade.

#include <QWidget>

class FirmwareUpgrade;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

class FirmwareUpgradeWindow : public QWidget {
    Q_OBJECT
public:
    explicit FirmwareUpgradeWindow(FirmwareUpgrade &upgrade, QWidget *parent = nullptr);

    QComboBox *cmbFirmwareChoose;
    QPushButton *btnUpgradeFirmware;
    QCheckBox *chkVerify;
    QProgressBar *ProgressBar1;
    QLabel *lblProgress;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showReady();
    void markPedalFirmware();
    void showProgress(int block, int blocks, qint64 bytes, qint64 totalBytes, qint64 msLeft);
    void showReadBack(int block, int blocks, qint64 msLeft);

    FirmwareUpgrade &m_upgrade;
};
