#include "windows/NewVersionWindow.h"

#include "support/Prompts.h"
#include "support/UserFiles.h"
#include "update/UpdateService.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "windows/CommandOrigin.h"
#include "windows/WindowUnits.h"

NewVersionWindow::NewVersionWindow(UpdateService &update, UserFiles &files, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_update(update), m_files(files), m_prompts(prompts)
{
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    titleLabel = new QLabel(this);
    titleLabel->setObjectName(QStringLiteral("lblNewVersionTitle"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setGeometry(10, 14, 320, 20);
    versionsLabel = new QLabel(this);
    versionsLabel->setObjectName(QStringLiteral("lblVersions"));
    versionsLabel->setAlignment(Qt::AlignCenter);
    versionsLabel->setGeometry(10, 42, 320, 20);
    btnLaunchUpdate = new QPushButton(QStringLiteral("Update Now"), this);
    btnLaunchUpdate->setObjectName(QStringLiteral("btnLaunchUpdate"));
    btnLaunchUpdate->setGeometry(50, 76, 110, 28);
    btnSeeWhatsNew = new QPushButton(QStringLiteral("What's New?"), this);
    btnSeeWhatsNew->setObjectName(QStringLiteral("btnSeeWhatsNew"));
    btnSeeWhatsNew->setGeometry(180, 76, 110, 28);
    dontShowAgainBox = new QCheckBox(QStringLiteral("Don't Show This Message Again"), this);
    dontShowAgainBox->setObjectName(QStringLiteral("chkDontShowAgain"));
    dontShowAgainBox->setGeometry(50, 120, 260, 22);

    WindowUnits::place(this, QSize(340, 160));

    connect(btnLaunchUpdate, &QPushButton::clicked, this, [this] {
        CommandOrigin from(this);
        m_update.launchUpdate();
    });
    connect(btnSeeWhatsNew, &QPushButton::clicked, this, [this] { m_prompts.openExternal(m_update.whatsNewPage()); });
    connect(dontShowAgainBox, &QCheckBox::toggled, this, [this](bool on) {
        CommandOrigin from(this);
        // Takes effect at the next start; unchecking writes nothing.
        if (on)
            m_files.rewriteFlagFile(QStringLiteral("ShowMessageVersionAtStartup.txt"), false);
    });
}

void NewVersionWindow::showEvent(QShowEvent *event)
{
    titleLabel->setText(QStringLiteral("A new version of the Quarnelo Editor is available"));
    versionsLabel->setText(QStringLiteral("Your version: ") + m_update.currentVersion + QStringLiteral("     ") +
                           QStringLiteral("New version: ") + m_update.newVersion());
    QWidget::showEvent(event);
}
