#include "windows/WidgetPrompts.h"

#include "support/OutsideText.h"
#include "windows/CommandOrigin.h"
#include "windows/EditorWords.h"
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

void WidgetPrompts::openCentred(QMessageBox *box, QWidget *owner, std::function<void(QMessageBox *)> done)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box, [box, done = std::move(done)] { done(box); });
    centreOn(box, owner);
    box->open();
    // A message box takes its final size as it is shown: centred again then.
    QPointer<QWidget> ownerLater(owner);
    QTimer::singleShot(0, box, [box, ownerLater] { centreOn(box, ownerLater); });
}

void WidgetPrompts::askBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                           QMessageBox::StandardButton preferred, Reply<bool>::Ptr yes)
{
    QWidget *parent = owner();
    auto *box = new QMessageBox(icon, Title, OutsideText::forTerminal(text), buttons, parent);
    box->setDefaultButton(preferred);
    openCentred(box, parent, [yes](QMessageBox *b) {
        yes->give(b->standardButton(b->clickedButton()) == QMessageBox::Yes ||
                  b->standardButton(b->clickedButton()) == QMessageBox::Ok);
    });
}

void WidgetPrompts::openMessage(const QString &text, Reply<bool>::Ptr closed)
{
    askBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok, std::move(closed));
}

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

void WidgetPrompts::openQuestion(const QString &text, Reply<bool>::Ptr answer)
{
    askBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, std::move(answer));
}

void WidgetPrompts::openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer)
{
    QWidget *parent = owner();
    auto *box = new QMessageBox(QMessageBox::Warning, Title, OutsideText::forTerminal(text), QMessageBox::NoButton, parent);
    QPushButton *save = box->addButton(saveName, QMessageBox::AcceptRole);
    QPushButton *discard = box->addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    save->setObjectName(QStringLiteral("btnSave"));
    discard->setObjectName(QStringLiteral("btnDiscard"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    openCentred(box, parent, [answer, save, discard](QMessageBox *b) {
        if (b->clickedButton() == save)
            answer->give(Choice::Save);
        else if (b->clickedButton() == discard)
            answer->give(Choice::Discard);
        else
            answer->give(Choice::Cancel);
    });
}

void WidgetPrompts::openGoOnWithoutBackup(const QString &fact, Reply<bool>::Ptr answer)
{
    askBox(QMessageBox::Warning, EditorWords::goOnWithoutBackup(fact), QMessageBox::Yes | QMessageBox::No,
           QMessageBox::No, std::move(answer));
}

QString WidgetPrompts::words(NextStep step) const { return EditorWords::step(step); }

QString WidgetPrompts::words(Fixed what, int number) const { return EditorWords::fixed(what, number); }

void WidgetPrompts::openFileDialog(const FileRequest &request, Reply<QString>::Ptr chosen)
{
    auto *dialog = new QFileDialog(owner(), request.title, request.folder, request.filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (request.save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setDefaultSuffix(request.defaultSuffix);
    } else {
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, chosen](int result) {
        const QStringList files = dialog->selectedFiles();
        chosen->give(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
    });
    dialog->open();
}

void WidgetPrompts::openExternal(const QUrl &url) { QDesktopServices::openUrl(url); }
