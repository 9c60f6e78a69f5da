#include "windows/NewVersionWindow.h"

NewVersionWindow::NewVersionWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(300, 160);
}
