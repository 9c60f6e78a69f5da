#include "windows/WidgetPrompts.h"

#include "support/OutsideText.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
const QString Title = QStringLiteral("Quarnelo Editor");
}

void WidgetPrompts::message(const QString &text) { QMessageBox::information(m_parent, Title, OutsideText::forTerminal(text)); }

void WidgetPrompts::notice(const QString &text)
{
    // Not modal and not waited for: the command that holds the line goes on behind it.
    auto *box = new QMessageBox(QMessageBox::Information, Title, OutsideText::forTerminal(text), QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

bool WidgetPrompts::question(const QString &text)
{
    return QMessageBox::question(m_parent, Title, OutsideText::forTerminal(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

Prompts::Choice WidgetPrompts::saveOrDiscard(const QString &text, const QString &saveName)
{
    QMessageBox box(QMessageBox::Warning, Title, OutsideText::forTerminal(text), QMessageBox::NoButton, m_parent);
    QPushButton *save = box.addButton(saveName, QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    save->setObjectName(QStringLiteral("btnSave"));
    discard->setObjectName(QStringLiteral("btnDiscard"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return Choice::Save;
    if (box.clickedButton() == discard)
        return Choice::Discard;
    return Choice::Cancel;
}

bool WidgetPrompts::goOnWithoutBackup(const QString &text)
{
    return QMessageBox::warning(m_parent, Title, OutsideText::forTerminal(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString WidgetPrompts::openFile(const QString &title, const QString &filter, const QString &folder)
{
    return QFileDialog::getOpenFileName(m_parent, title, folder, filter);
}

QString WidgetPrompts::saveFile(const QString &title, const QString &filter, const QString &folder,
                                const QString &defaultSuffix)
{
    QFileDialog dialog(m_parent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void WidgetPrompts::openExternal(const QUrl &url) { QDesktopServices::openUrl(url); }
