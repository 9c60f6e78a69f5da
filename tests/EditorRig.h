#pragma once
// The whole editor on simulated pedals, in a private documents folder, on a clock that
// moves only when the code waits or the test moves it: the core's rig (CoreRig.h) with the
// editor's windows on it.

#include "CoreRig.h"
#include "windows/Editor.h"
#include "windows/MainWindow.h"
#include "windows/WrapButton.h"

#include <QFile>
#include <functional>
#include <memory>

struct EditorRig : CoreRig {
    explicit EditorRig(const QString &documents, int realPedals = 0, const Setup &setUp = {})
        : CoreRig(documents, realPedals, setUp)
    {
        clock.setWallTime(QDateTime(QDate(2025, 3, 3), QTime(9, 5, 7)));
        ctx.update.server = QUrl(); // no update server: the start-up check asks nothing
        editor = std::make_unique<Editor>(ctx);
    }
    EditorCore &ctx = core;
    std::unique_ptr<Editor> editor;

    MainWindow *main() const { return editor->main(); }
    PedalService &service() { return ctx.service; }
    const PedalState &state() const { return ctx.service.state(); }
    const ParameterRecord &param(int i) const { return state().parameters[size_t(i)]; }
    bool on(const char *name) const { return main()->controlEnabled(QString::fromLatin1(name)); }
    QString user(const QString &file) const { return ctx.files.userFile(file); }
    // The messages the pedal received since the last call.
    QList<QByteArray> received()
    {
        QList<QByteArray> out;
        for (int i = m_seen; i < pedal()->record.size(); ++i)
            out << pedal()->record[i].bytes;
        m_seen = int(pedal()->record.size());
        return out;
    }
    void link()
    {
        main()->menuLinkSimulated->trigger();
        received();
    }
    // Linked, and what the link set up is sent and done: what the pedal receives from here on
    // and what is shown from here on are the test's own.
    void linkAndSettle()
    {
        link();
        clock.advance(2000);
        received();
        prompts.messages.clear();
        prompts.questions.clear();
    }

private:
    int m_seen = 0;
};

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
