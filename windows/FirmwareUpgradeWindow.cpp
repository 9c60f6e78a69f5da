#include "windows/FirmwareUpgradeWindow.h"

FirmwareUpgradeWindow::FirmwareUpgradeWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(196, 140);
}
