#include "update/UpdateService.h"

#include "support/BoundedFile.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/OutsideText.h"
#include "support/ProgramLauncher.h"
#include "support/Prompts.h"
#include "update/PeFileVersion.h"
#include "update/VersionNumber.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

namespace {
constexpr int MaxRedirects = 5;
constexpr int MaxStatusText = 200; // characters of a status text from the server shown
constexpr qint64 ReadBufferBytes = 64 * 1024; // what an answer may hold in memory before it is read
const QString RedirectLoop = QStringLiteral("the update server's redirects lead to no answer (a redirect loop?)");

// Text from the server, shown in a message: printable, and short.
QString shown(const QByteArray &body)
{
    QString text = QString::fromUtf8(body.left(60)).trimmed();
    for (QChar &c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return body.size() > 60 ? text + QStringLiteral("...") : text;
}

QString withoutDots(QString text) { return text.remove(QLatin1Char('.')); }
} // namespace

UpdateService::UpdateService(DiagnosticLog &log, Prompts &prompts, Clock &clock, QObject *parent)
    : QObject(parent), m_log(log), m_prompts(prompts), m_clock(clock), m_network(new QNetworkAccessManager(this)),
      m_checkTimer(clock.createTimer(this)), m_ownLauncher(new SystemLauncher)
{
    launcher = m_ownLauncher;
    server = serverFromEnvironment();
    if (QCoreApplication::instance())
        editorPath = QCoreApplication::applicationFilePath();
    temporaryFolder = QDir::tempPath();
    m_network->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    m_checkTimer->setSingleShot(true);
    m_checkTimer->setInterval(1000);
    connect(m_checkTimer, &ClockTimer::timeout, this, &UpdateService::checkForNewVersion);
}

UpdateService::~UpdateService() { delete m_ownLauncher; }

bool UpdateService::acceptableServer(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

QUrl UpdateService::serverFromEnvironment(QString *problem)
{
    const QString named = qEnvironmentVariable("QUARNELO_UPDATE_SERVER").trimmed();
    if (named.isEmpty())
        return QUrl(DefaultServer);
    const QUrl url(named, QUrl::StrictMode);
    if (acceptableServer(url))
        return url.adjusted(QUrl::StripTrailingSlash);
    if (problem)
        *problem = QStringLiteral("QUARNELO_UPDATE_SERVER must name an https:// server (or http:// on this computer), "
                                  "not '%1'")
                       .arg(named.left(80));
    return QUrl();
}

QUrl UpdateService::pageUrl(const QString &path) const
{
    if (server.isEmpty())
        return QUrl();
    QUrl url = server;
    url.setPath(server.path() + path);
    return url;
}

QString UpdateService::editorFolder() const { return QFileInfo(editorPath).absolutePath(); }

// ---------------------------------------------------------------------------------------------
// Requests.

QString UpdateService::redirectProblem(const QUrl &target) const
{
    const QString shownTarget = OutsideText::shown(target.toDisplayString(), 200);
    if (target.scheme() != QLatin1String("https") && target.scheme() != QLatin1String("http"))
        return QStringLiteral("the update server redirected to %1, which is neither https nor http").arg(shownTarget);
    // Elsewhere only over https, whose certificate is checked; plain http only from a plain http
    // server on this computer to the same host.
    if (!acceptableServer(target) ||
        (target.scheme() == QLatin1String("http") &&
         (server.scheme() != QLatin1String("http") || target.host() != server.host())))
        return QStringLiteral("the update server redirected to %1, which is not a safe update server").arg(shownTarget);
    return QString();
}

void UpdateService::get(const QString &path, Kind kind, qint64 limit, QFile *file, const std::function<void(const Reply &)> &done)
{
    QNetworkRequest request(pageUrl(path));
    // Every redirect is looked at before it is followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects + 1); // the loop is told here, below
    if (!extraTrust.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraTrust);
        request.setSslConfiguration(tls);
    }
    QNetworkReply *reply = m_network->get(request);
    // Qt keeps what the server sends in the reply until it is read; without a bound an endless
    // answer (chunked, or with no length) grows the process by gigabytes before the first
    // readyRead is handled. Bounded, the reply stops reading from the connection while this
    // much waits, and the limit below is met after at most this much more.
    reply->setReadBufferSize(std::min<qint64>(limit + 1, ReadBufferBytes));
    struct Progress {
        qint64 received = 0;
        qint64 startMs = 0;
        int redirects = 0;
        QByteArray body;
        QString problem;
    };
    auto progress = std::make_shared<Progress>();
    progress->startMs = m_clock.nowMs();
    ClockTimer *quiet = m_clock.createTimer(reply);
    quiet->setSingleShot(true);
    quiet->setInterval(quietLimitMs);
    quiet->start();
    // The whole request's limit: a time for a version, a rate for a download.
    ClockTimer *whole = m_clock.createTimer(reply);
    whole->setSingleShot(kind == Kind::Version);
    whole->setInterval(kind == Kind::Version ? versionLimitMs : 1000);
    whole->start();
    const auto fail = [reply, progress](const QString &problem) {
        if (progress->problem.isEmpty())
            progress->problem = problem;
        reply->abort();
    };
    connect(quiet, &ClockTimer::timeout, reply, [this, fail] {
        fail(QStringLiteral("the update server did not answer within %1 s").arg(quietLimitMs / 1000));
    });
    connect(whole, &ClockTimer::timeout, reply, [this, kind, progress, fail] {
        const qint64 elapsedMs = m_clock.nowMs() - progress->startMs;
        if (kind == Kind::Version) {
            fail(QStringLiteral("the update server did not finish its answer within %1 s (%2 bytes came)")
                     .arg(versionLimitMs / 1000)
                     .arg(progress->received));
        } else if (elapsedMs >= quietLimitMs && progress->received * 1000 < minDownloadRate * elapsedMs) {
            fail(QStringLiteral("the download is too slow: %1 bytes in %2 s, less than %3 bytes a second")
                     .arg(progress->received)
                     .arg(elapsedMs / 1000)
                     .arg(minDownloadRate));
        }
    });
    connect(reply, &QNetworkReply::redirected, reply, [this, reply, progress, fail](const QUrl &target) {
        const QString problem = ++progress->redirects > MaxRedirects
                                    ? RedirectLoop
                                    : redirectProblem(reply->url().resolved(target));
        if (problem.isEmpty())
            emit reply->redirectAllowed();
        else
            fail(problem);
    });
    const auto tooLarge = [limit] { return QStringLiteral("the answer is larger than %1 bytes").arg(limit); };
    // A length announced beyond the limit ends the request before its body is read; a length
    // that is missing or false changes nothing, since every byte read is counted.
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, limit, fail, tooLarge] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > limit &&
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() / 100 == 2)
            fail(tooLarge());
    });
    const auto take = [reply, progress, quiet, file, limit, fail, tooLarge] {
        quiet->start(); // the silence limit starts again with every piece
        while (progress->problem.isEmpty() && reply->bytesAvailable() > 0) {
            // At most one piece beyond the limit is ever held: read only what the limit leaves,
            // and one byte more to know it was passed.
            const QByteArray chunk = reply->read(std::min<qint64>(limit - progress->received + 1, ReadBufferBytes));
            if (chunk.isEmpty())
                return;
            progress->received += chunk.size();
            if (progress->received > limit) {
                fail(tooLarge());
                return;
            }
            if (file) {
                if (file->write(chunk) != chunk.size())
                    fail(file->errorString());
            } else {
                progress->body += chunk;
            }
        }
    };
    connect(reply, &QNetworkReply::readyRead, reply, take);
    connect(reply, &QNetworkReply::finished, this, [reply, progress, quiet, whole, take, done] {
        if (progress->problem.isEmpty() && reply->error() == QNetworkReply::NoError)
            take();
        quiet->stop();
        whole->stop();
        Reply r;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QNetworkReply::NetworkError error = reply->error();
        const QUrl target = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        const QString shownTarget = OutsideText::shown(target.toDisplayString(), 200);
        if (!progress->problem.isEmpty()) {
            r.problem = progress->problem;
        } else if (error == QNetworkReply::TooManyRedirectsError ||
                   (progress->redirects > 0 && error == QNetworkReply::NoError && status / 100 != 2)) {
            // Redirected, and then no final answer: the redirects go round.
            r.problem = RedirectLoop;
        } else if (error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::InsecureRedirectError) {
            r.problem = QStringLiteral("the update server redirected to %1, which is neither https nor http").arg(shownTarget);
        } else if (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) {
            // No answer, or none from the server asked: the connection, TLS or a proxy failed.
            r.problem = OutsideText::shown(reply->errorString(), MaxStatusText);
        } else if (reply->errorString().startsWith(QLatin1String("Decompression failed"))) {
            r.problem = QStringLiteral("the answer could not be unpacked: its compressed data is damaged or unpacks "
                                       "to more than allowed");
        } else if (status != 0 && status != 200) {
            const QString phrase = OutsideText::shown(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed(),
                                                      MaxStatusText);
            r.problem = phrase.isEmpty() ? QStringLiteral("status %1").arg(status) : phrase;
        } else if (error != QNetworkReply::NoError) {
            r.problem = OutsideText::shown(reply->errorString(), MaxStatusText);
        } else if (status != 200) {
            r.problem = QStringLiteral("no HTTP status");
        } else if (!acceptableServer(reply->url())) {
            r.problem = QStringLiteral("the answer came from %1, which is not a safe update server")
                            .arg(OutsideText::shown(reply->url().toDisplayString(), 200));
        } else {
            r.ok = true;
            r.body = progress->body;
        }
        reply->deleteLater();
        done(r);
    });
}

// ---------------------------------------------------------------------------------------------
// The version check.

void UpdateService::scheduleCheck() { m_checkTimer->start(); }

bool UpdateService::checkScheduled() const { return m_checkTimer->isActive(); }

bool UpdateService::isNewer(const QString &version) const
{
    const auto theirs = VersionNumber::parse(version);
    const auto ours = VersionNumber::parse(currentVersion);
    return theirs && ours && VersionNumber::compare(*ours, *theirs) < 0;
}

void UpdateService::fetchNewestVersion(const std::function<void(const VersionAnswer &)> &done)
{
    fetchVersion(VersionPath, done);
}

void UpdateService::fetchVersion(const QString &path, const std::function<void(const VersionAnswer &)> &done)
{
    if (server.isEmpty()) {
        done(VersionAnswer{false, false, QString(), QStringLiteral("no update server is set")});
        return;
    }
    get(path, Kind::Version, 4096, nullptr, [done](const Reply &r) {
        VersionAnswer a;
        if (!r.ok) {
            a.problem = r.problem;
        } else if (!VersionNumber::parse(QString::fromUtf8(r.body))) {
            a.answered = true;
            a.problem = QStringLiteral("the update server's answer is not a version number: '%1'").arg(shown(r.body));
        } else {
            a.ok = true;
            a.version = QString::fromUtf8(r.body).trimmed();
        }
        done(a);
    });
}

void UpdateService::checkForNewVersion()
{
    m_checkTimer->stop(); // once per start
    if (server.isEmpty())
        return;
    fetchNewestVersion([this](const VersionAnswer &a) {
        if (!a.ok) {
            m_log.writeLogLine(QStringLiteral("version check failed: ") + a.problem);
            m_prompts.show(QStringLiteral("Error: ") + a.problem);
            emit checkFailed(a.problem);
            return;
        }
        m_newVersion = a.version;
        m_log.writeLogLine(QStringLiteral("currentAppVersion: ") + currentVersion);
        m_log.writeLogLine(QStringLiteral("newAppVersion: ") + m_newVersion);
        if (isNewer(m_newVersion))
            emit newVersionFound(m_newVersion);
        else
            emit noNewerVersion();
    });
}

// ---------------------------------------------------------------------------------------------
// Update Now.

void UpdateService::launchUpdate() { updateSteps().detach(); }

Task<> UpdateService::updateSteps()
{
    if (m_updateRunning) {
        m_prompts.show(QStringLiteral("Update Now is already running: the updater is being fetched. Wait for it to "
                                      "end before starting it again."));
        co_return;
    }
    if (server.isEmpty()) {
        m_prompts.show(QStringLiteral("The editor cannot be updated: no update server is set."));
        co_return;
    }
    if (!launcher->canRunUpdater()) {
        m_log.writeLogLine(QStringLiteral("update: the updater is a Windows program; opening ") +
                           whatsNewPage().toString());
        m_prompts.show(QStringLiteral("Automatic updating is available in the editor for Windows. The What's New "
                                         "page opens in your browser; download the new version from there."));
        m_prompts.openExternal(whatsNewPage());
        co_return;
    }
    const bool update = co_await m_prompts.ask(QStringLiteral(
            "This action will update the Quarnelo Editor to the latest version. Do you want to continue?"));
    if (!update)
        co_return;
    m_updateRunning = true;
    refreshUpdater();
}

void UpdateService::endUpdate()
{
    m_updateRunning = false;
    emit updateFinished();
}

void UpdateService::refreshUpdater()
{
    fetchVersion(UpdaterVersionPath, [this](const VersionAnswer &a) { onUpdaterVersion(a); });
}

void UpdateService::onUpdaterVersion(const VersionAnswer &answer)
{
    if (!answer.ok) {
        m_log.writeLogLine(QStringLiteral("update stopped: ") + answer.problem);
        m_prompts.show(QStringLiteral("Error: ") + answer.problem);
        endUpdate();
        return;
    }
    m_log.writeLogLine(QStringLiteral("updater version on server: ") + answer.version);
    const QString local = QDir(editorFolder()).filePath(UpdaterName);
    if (!QFileInfo(local).isFile()) {
        m_log.writeLogLine(QStringLiteral("Local updater not found, proceed with download..."));
        downloadUpdater(true);
        return;
    }
    m_log.writeLogLine(QStringLiteral("local updater exists, check version..."));
    const BoundedFile file = BoundedFile::read(local, maxDownloadBytes);
    const QString localVersion = file.status == BoundedFile::Read ? PeFileVersion::majorMinor(file.data) : QString();
    m_log.writeLogLine(QStringLiteral("currentUpdaterVersion: ") +
                       (localVersion.isEmpty() ? QStringLiteral("unknown") : localVersion));
    m_log.writeLogLine(withoutDots(answer.version));
    m_log.writeLogLine(withoutDots(localVersion));
    const auto ours = VersionNumber::parse(localVersion);
    if (!ours || VersionNumber::compare(*ours, *VersionNumber::parse(answer.version)) < 0) {
        m_log.writeLogLine(QStringLiteral("New version of the updater found on server, downloading the new updater..."));
        downloadUpdater(false);
        return;
    }
    runUpdater();
}

void UpdateService::downloadUpdater(bool replacingMissing)
{
    // The download goes into a private folder of its own; only a complete, checked program is
    // put next to the editor.
    auto folder = std::make_shared<QTemporaryDir>();
    auto file = std::make_shared<QFile>(folder->filePath(UpdaterName));
    const auto failed = [this, replacingMissing](const QString &problem) {
        m_log.writeLogLine(QStringLiteral("updater download failed: ") + problem);
        m_prompts.show(QStringLiteral("Download failed: ") + problem);
        if (replacingMissing)
            endUpdate(); // there is no updater to go on with
        else
            runUpdater(); // the updater already here does the update
    };
    if (!folder->isValid() || !file->open(QIODevice::WriteOnly)) {
        failed(folder->isValid() ? file->errorString() : folder->errorString());
        return;
    }
    get(UpdaterPath, Kind::Download, maxDownloadBytes, file.get(), [this, folder, file, failed, replacingMissing](const Reply &r) {
        file->close();
        if (!r.ok) {
            failed(r.problem);
            return;
        }
        if (!file->open(QIODevice::ReadOnly)) {
            failed(file->errorString());
            return;
        }
        const QByteArray program = file->readAll();
        file->close();
        if (program.size() < 64 || !program.startsWith("MZ")) {
            failed(QStringLiteral("the server's answer (%1 bytes) is not a Windows program").arg(program.size()));
            return;
        }
        // Where the updater is missing, the download becomes the updater; otherwise the
        // updater finds its successor under the download name.
        const QString target = QDir(editorFolder()).filePath(replacingMissing ? UpdaterName : UpdaterDownloadName);
        QSaveFile placed(target);
        if (!placed.open(QIODevice::WriteOnly) || placed.write(program) != program.size() || !placed.commit()) {
            failed(QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(target), placed.errorString()));
            return;
        }
        m_log.writeLogLine(QStringLiteral("updater downloaded: ") + QDir::toNativeSeparators(target));
        // The updater starts once the message is closed.
        m_prompts.tell(QStringLiteral("New updater downloaded! Click OK to proceed with the update."))
            .then([this, replacingMissing] {
                if (!replacingMissing) {
                    const QString updater = QDir(editorFolder()).filePath(UpdaterName);
                    if (!launcher->startElevated(updater, QString()))
                        m_log.writeLogLine(QStringLiteral("the updater did not start to take its new version"));
                }
                runUpdater();
            });
    });
}

void UpdateService::runUpdater()
{
    const QString updater = QDir(editorFolder()).filePath(UpdaterName);
    const QString newEditor = QDir(temporaryFolder).filePath(NewEditorName);
    const QString parameters = QStringLiteral("\"%1\" \"%2\"")
                                   .arg(QDir::toNativeSeparators(newEditor), QDir::toNativeSeparators(editorPath));
    m_log.writeLogLine(QStringLiteral("starting the updater: ") + QDir::toNativeSeparators(updater) +
                       QLatin1Char(' ') + parameters);
    const bool started = launcher->startElevated(updater, parameters);
    endUpdate();
    if (!started) {
        // The editor keeps running: ending it would leave the user with nothing.
        m_prompts.show(QStringLiteral("Failed to launch updater. Please run as administrator."));
        return;
    }
    emit quitRequested();
}
