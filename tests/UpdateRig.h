#pragma once
// The update service with its seams, pointed at a test's web server: HTTPS with the test's
// certificate trusted by these requests only, the test's clock, and a launcher that records
// instead of starting.

#include "LocalHttpServer.h"
#include "support/DiagnosticLog.h"
#include "support/ManualClock.h"
#include "support/ProgramLauncher.h"
#include "support/Prompts.h"
#include "update/UpdateService.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

struct RecordingLauncher : ProgramLauncher {
    bool windows = true;
    bool result = true;
    QList<QPair<QString, QString>> starts; // program, parameters
    bool canRunUpdater() const override { return windows; }
    bool startElevated(const QString &program, const QString &parameters) override
    {
        starts << qMakePair(program, parameters);
        return result;
    }
};

// The update service with its seams, pointed at the test's server.
struct UpdateRig {
    explicit UpdateRig(LocalHttpServer &server, const TestCertificate &tls, const QString &folder)
        : update(log, prompts, clock)
    {
        update.server = server.url();
        update.extraTrust = {tls.certificate};
        update.currentVersion = QStringLiteral("1.21");
        update.editorPath = folder + QStringLiteral("/Quarnelo Editor/quarnelo-editor.exe");
        update.temporaryFolder = folder + QStringLiteral("/temp");
        update.launcher = &launcher;
        QDir().mkpath(QFileInfo(update.editorPath).absolutePath());
    }
    DiagnosticLog log;
    ScriptedPrompts prompts;
    ManualClock clock;
    RecordingLauncher launcher;
    UpdateService update;
    QString inEditorFolder(const QString &name) const { return QDir(update.editorFolder()).filePath(name); }
    // Update Now, to its end.
    void launch()
    {
        QSignalSpy finished(&update, &UpdateService::updateFinished);
        update.launchUpdate();
        if (update.updateRunning())
            QVERIFY(finished.wait(10000));
    }
};
