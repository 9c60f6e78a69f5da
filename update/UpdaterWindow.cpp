#include "update/UpdaterWindow.h"

TformUpdateUpdater::TformUpdateUpdater(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("formUpdateUpdater"));
    setWindowTitle(QStringLiteral("UpdateUpdater"));
}
