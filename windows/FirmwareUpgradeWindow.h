#pragma once
#include <QWidget>

// The firmware upgrade window, shown while the bootloader is linked.
class FirmwareUpgradeWindow : public QWidget {
    Q_OBJECT
public:
    explicit FirmwareUpgradeWindow(QWidget *parent = nullptr);
};
