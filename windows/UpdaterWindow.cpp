#include "windows/UpdaterWindow.h"

UpdaterWindow::UpdaterWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("formUpdateUpdater"));
    setWindowTitle(QStringLiteral("UpdateUpdater"));
}
