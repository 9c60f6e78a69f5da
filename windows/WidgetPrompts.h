#pragma once
// Message boxes, questions, file dialogs and the desktop, for the real editor, in its words
// (EditorWords).

#include "support/Prompts.h"
#include "support/Clock.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class WidgetPrompts : public Prompts {
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(const QString &text) override;
    void notice(const QString &text) override;
    bool question(const QString &text) override;
    Choice saveOrDiscard(const QString &text, const QString &saveName) override;
    bool goOnWithoutBackup(const QString &fact) override;
    QString words(NextStep step) const override;
    QString words(Fixed what, int number = -1) const override;
    QString openFile(const QString &title, const QString &filter, const QString &folder) override;
    QString saveFile(const QString &title, const QString &filter, const QString &folder,
                     const QString &defaultSuffix) override;
    void openExternal(const QUrl &url) override;

    // Puts a dialog at the centre of its window, wholly on the screen.
    static void centreOn(QWidget *dialog, const QWidget *owner);

private:
    QWidget *owner() const;
    // Shows box modal, centred on owner (again once it has its final size); its result.
    static int execCentred(QMessageBox &box, QWidget *owner);
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton preferred);
    QPointer<QWidget> m_parent;
};
