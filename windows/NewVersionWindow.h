#pragma once
// Tells the user that a newer editor exists, and offers the update and the what's-new page.

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class Prompts;
class UpdateService;
class UserFiles;

class NewVersionWindow : public QWidget {
    Q_OBJECT
public:
    NewVersionWindow(UpdateService &update, UserFiles &files, Prompts &prompts, QWidget *parent = nullptr);

    QLabel *titleLabel = nullptr;
    QLabel *versionsLabel = nullptr;
    QPushButton *btnLaunchUpdate = nullptr;
    QPushButton *btnSeeWhatsNew = nullptr;
    QCheckBox *dontShowAgainBox = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    UpdateService &m_update;
    UserFiles &m_files;
    Prompts &m_prompts;
};
