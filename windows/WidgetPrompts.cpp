#include "windows/WidgetPrompts.h"

#include "support/OutsideText.h"
#include "windows/CommandOrigin.h"
#include "windows/Placement.h"

#include <QApplication>
#include <QDesktopServices>
#include <QScreen>
#include <QTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
const QString Title = QStringLiteral("Quarnelo Editor");
} // namespace

QWidget *WidgetPrompts::owner() const
{
    // The window whose control started the command (the effect window, the upgrade window...)
    // owns the dialog, whichever window is active meanwhile; the main window owns what no view's
    // command started.
    if (QWidget *origin = CommandOrigin::current())
        return origin;
    return m_parent;
}

void WidgetPrompts::centreOn(QWidget *dialog, const QWidget *owner)
{
    dialog->adjustSize();
    const QRect frame = owner && owner->isVisible() ? owner->frameGeometry() : QRect();
    QScreen *screen = owner && owner->isVisible() ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    QRect r(QPoint(0, 0), dialog->frameGeometry().size());
    r.moveCenter(frame.isValid() ? frame.center() : available.center());
    // Wholly on the screen, even beside a window at its edge.
    dialog->move(available.isValid() ? Placement::onto(r.size(), r.topLeft(), available) : r.topLeft());
}

int WidgetPrompts::execCentred(QMessageBox &box, QWidget *owner)
{
    centreOn(&box, owner);
    // A message box takes its final size as it is shown: centred again then.
    QTimer::singleShot(0, &box, [&box, owner] { centreOn(&box, owner); });
    return box.exec();
}

QMessageBox::StandardButton WidgetPrompts::ask(QMessageBox::Icon icon, const QString &text,
                                               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton preferred)
{
    QWidget *parent = owner();
    QMessageBox box(icon, Title, OutsideText::forTerminal(text), buttons, parent);
    box.setDefaultButton(preferred);
    return QMessageBox::StandardButton(execCentred(box, parent));
}

void WidgetPrompts::message(const QString &text) { ask(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok); }

void WidgetPrompts::notice(const QString &text)
{
    // Not modal and not waited for: the command that holds the line goes on behind it.
    QWidget *parent = owner();
    auto *box = new QMessageBox(QMessageBox::Information, Title, OutsideText::forTerminal(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    centreOn(box, parent);
    box->show();
    centreOn(box, parent);
}

bool WidgetPrompts::question(const QString &text)
{
    return ask(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

Prompts::Choice WidgetPrompts::saveOrDiscard(const QString &text, const QString &saveName)
{
    QWidget *parent = owner();
    QMessageBox box(QMessageBox::Warning, Title, OutsideText::forTerminal(text), QMessageBox::NoButton, parent);
    QPushButton *save = box.addButton(saveName, QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    save->setObjectName(QStringLiteral("btnSave"));
    discard->setObjectName(QStringLiteral("btnDiscard"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    execCentred(box, parent);
    if (box.clickedButton() == save)
        return Choice::Save;
    if (box.clickedButton() == discard)
        return Choice::Discard;
    return Choice::Cancel;
}

bool WidgetPrompts::goOnWithoutBackup(const QString &text)
{
    return ask(QMessageBox::Warning, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QString WidgetPrompts::openFile(const QString &title, const QString &filter, const QString &folder)
{
    QFileDialog dialog(owner(), title, folder, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString WidgetPrompts::saveFile(const QString &title, const QString &filter, const QString &folder,
                                const QString &defaultSuffix)
{
    QFileDialog dialog(owner(), title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void WidgetPrompts::openExternal(const QUrl &url) { QDesktopServices::openUrl(url); }
