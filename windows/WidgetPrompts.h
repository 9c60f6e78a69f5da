#pragma once
// Message boxes, questions, file dialogs and the desktop, for the real editor.

#include "support/Prompts.h"
#include "support/Clock.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>

class WidgetPrompts : public Prompts {
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void notice(const QString &text) override;
    void openExternal(const QUrl &url) override;
    QString words(NextStep step) const override;
    QString words(Fixed what, int number = -1) const override;

    // Puts a dialog at the centre of its window, wholly on the screen.
    static void centreOn(QWidget *dialog, const QWidget *owner);

protected:
    // Each opens its box or dialog window-modal (open(), never a nested event loop) and gives
    // the answer when it is closed; the command that asked resumes then.
    void openQuestion(const QString &text, Reply<bool>::Ptr answer) override;
    void openMessage(const QString &text, Reply<bool>::Ptr closed) override;
    void openSaveOrDiscard(const QString &text, const QString &saveName, Reply<Choice>::Ptr answer) override;
    void openGoOnWithoutBackup(const QString &fact, Reply<bool>::Ptr answer) override;
    void openFileDialog(const FileRequest &request, Reply<QString>::Ptr chosen) override;

private:
    QWidget *owner() const;
    // Opens box window-modal, centred on owner (again once it has its final size); done is
    // called with the box when it is closed, and the box is deleted after.
    static void openCentred(QMessageBox *box, QWidget *owner, std::function<void(QMessageBox *)> done);
    void askBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                QMessageBox::StandardButton preferred, Reply<bool>::Ptr yes);
    QPointer<QWidget> m_parent;
};
