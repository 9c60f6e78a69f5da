#include "effect/EffectWindow.h"

TformFXsettings::TformFXsettings(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 448);
}

void TformFXsettings::enableEffectControls(bool enabled)
{
    m_enabled = enabled;
    for (QWidget *w : findChildren<QWidget *>())
        w->setEnabled(enabled);
}
