#pragma once
// The update service: the start-up check for a newer editor, and Update Now, which refreshes the
// maker's updater program and hands the update to it. Every request is asynchronous with a
// time limit, so the window never waits on the network; nothing downloaded is stored next to
// the editor, let alone started, unless it came whole, over HTTPS, with status 200, within the
// size limit, and is a Windows program.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <functional>

#include "support/Task.h"

class Clock;
class DiagnosticLog;
class ProgramLauncher;
class Prompts;
class QNetworkAccessManager;

class UpdateService : public QObject {
    Q_OBJECT
public:
    inline static const QString DefaultServer = QStringLiteral("https://www.karvoaudio.com");
    inline static const QString VersionPath = QStringLiteral("/download/quarnelo-editor-version.php");
    inline static const QString WhatsNewPath = QStringLiteral("/download/update/whatsnew.html");
    inline static const QString UpdaterVersionPath = QStringLiteral("/download/update/Quarnelo_Win_Updater_Version.php");
    inline static const QString UpdaterPath = QStringLiteral("/download/update/Quarnelo_Win_Updater.exe");
    inline static const QString UpdaterName = QStringLiteral("Quarnelo_Win_Updater.exe");
    inline static const QString UpdaterDownloadName = QStringLiteral("Quarnelo_Win_Updater_Update.exe");
    inline static const QString NewEditorName = QStringLiteral("Quarnelo_Editor_Update.exe");

    UpdateService(DiagnosticLog &log, Prompts &prompts, Clock &clock, QObject *parent = nullptr);
    ~UpdateService() override;

    // The server: https://www.karvoaudio.com, or what QUARNELO_UPDATE_SERVER names (https, or
    // http on a loopback host). Empty when that variable names nothing usable (problem says why).
    static QUrl serverFromEnvironment(QString *problem = nullptr);
    // Whether url may serve updates: https, or http to 127.0.0.1, ::1 or localhost.
    static bool acceptableServer(const QUrl &url);

    QUrl server;                           // empty: there is no update server, nothing is asked
    QList<QSslCertificate> extraTrust;     // certificates trusted besides the system's (tests)
    int quietLimitMs = 15000;              // a request that receives nothing for this long ends
    int versionLimitMs = 30000;            // a version request not whole by then ends, however it trickles
    qint64 minDownloadRate = 4096;         // bytes a second, on average, below which the updater
                                           // download ends (checked from quietLimitMs on)
    qint64 maxDownloadBytes = 64ll << 20;  // an updater larger than this is refused
    QString currentVersion;                // the editor's own, "1.21"
    QString editorPath;                    // the running editor's executable
    QString temporaryFolder;               // where the updater stores the new editor
    ProgramLauncher *launcher;             // starts the updater

    QUrl whatsNewPage() const { return pageUrl(WhatsNewPath); }
    QString editorFolder() const;

    // The start-up check, once, about 1 s after start.
    void scheduleCheck();
    bool checkScheduled() const;
    // Asks the server for the newest version; logs it, compares it, and emits newVersionFound
    // or noNewerVersion. A failure is told in one message and changes nothing.
    void checkForNewVersion();
    QString newVersion() const { return m_newVersion; }

    // The answer of the version endpoint: the version, or why there is none.
    struct VersionAnswer {
        bool ok = false;
        bool answered = false; // the server answered, with status 200, but not with a version
        QString version;
        QString problem;
    };
    void fetchNewestVersion(const std::function<void(const VersionAnswer &)> &done);
    // Whether version is newer than the editor's own (both must be version numbers).
    bool isNewer(const QString &version) const;

    // Update Now: the question, the updater refresh, the updater's start, and quitRequested()
    // once the updater runs. Where the updater cannot run, the what's-new page opens instead.
    void launchUpdate();
    bool updateRunning() const { return m_updateRunning; }

signals:
    void newVersionFound(const QString &version);
    void noNewerVersion();
    void checkFailed(const QString &reason);
    void quitRequested();   // the updater runs: the editor ends
    void updateFinished();  // Update Now is over, whatever its end

private:
    Task<> updateSteps();
    struct Reply {
        bool ok = false;   // status 200, whole, within the limits
        QByteArray body;
        QString problem;   // what went wrong, in words for the user
    };
    // GET path; the body is kept in memory (limit bytes) or, with file, written there as it
    // arrives. A version request ends after versionLimitMs; a download whose average rate falls
    // below minDownloadRate ends.
    enum class Kind { Version, Download };
    void get(const QString &path, Kind kind, qint64 limit, class QFile *file, const std::function<void(const Reply &)> &done);
    // Why a redirect to target may not be followed (empty when it may).
    QString redirectProblem(const QUrl &target) const;
    QUrl pageUrl(const QString &path) const;
    // GET path, whose answer is a version number.
    void fetchVersion(const QString &path, const std::function<void(const VersionAnswer &)> &done);
    void refreshUpdater();
    void onUpdaterVersion(const VersionAnswer &answer);
    void downloadUpdater(bool replacingMissing);
    void runUpdater();
    void endUpdate();

    DiagnosticLog &m_log;
    Prompts &m_prompts;
    Clock &m_clock;
    QNetworkAccessManager *m_network;
    class ClockTimer *m_checkTimer;
    ProgramLauncher *m_ownLauncher;
    QString m_newVersion;
    bool m_updateRunning = false;
};
