#pragma once
#include <QWidget>

// The firmware upgrade window, shown while the bootloader is linked.
class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT
public:
    explicit TformFirmwareUpgrade(QWidget *parent = nullptr);
};
