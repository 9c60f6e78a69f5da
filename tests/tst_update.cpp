// The update service against a web server on this computer: HTTPS with a certificate made for
// this run and trusted by these requests only, a launcher that records instead of starting.
#include "support/Finish.h"
#include "support/ManualClock.h"
#include "EditorRig.h"
#include "LocalHttpServer.h"
#include "UpdateRig.h"
#include "WindowsProgram.h"
#include "support/ProgramLauncher.h"
#include "update/PeFileVersion.h"
#include "update/UpdateService.h"
#include "update/VersionNumber.h"
#include "windows/NewVersionWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray fileBytesOrNothing(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TestUpdate : public QObject {
    Q_OBJECT
    QTemporaryDir m_folder;
    TestCertificate m_tls;
    LocalHttpServer m_https;

private slots:
    void initTestCase()
    {
        m_tls = TestCertificate::make(m_folder.path());
        QVERIFY2(m_tls.problem.isEmpty(), qPrintable(m_tls.problem));
        QVERIFY(m_https.listen(&m_tls));
    }

    void versionsCompareAsNumbers_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order"); // a against b
        QTest::newRow("1.21 < 1.22") << "1.21" << "1.22" << -1;
        QTest::newRow("1.21 < 2.0") << "1.21" << "2.0" << -1;
        QTest::newRow("1.9 < 1.10") << "1.9" << "1.10" << -1;
        QTest::newRow("1.21 = 1.21.0") << "1.21" << "1.21.0" << 0;
        QTest::newRow("1.21.1 > 1.21") << "1.21.1" << "1.21" << 1;
        QTest::newRow("white space") << " 1.22\r\n" << "1.22" << 0;
    }
    void versionsCompareAsNumbers()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(VersionNumber::compare(*VersionNumber::parse(a), *VersionNumber::parse(b)), order);
        for (const char *bad : {"", "1..2", "1.", ".1", "v1.2", "1.2a", "1,2", "<html>", "1 .2", "99999999999"})
            QVERIFY2(!VersionNumber::parse(QString::fromLatin1(bad)), bad);
    }

    void programVersionFromItsResource()
    {
        QCOMPARE(PeFileVersion::majorMinor(windowsProgram(1, 4, 2, 7)), QString("1.4"));
        QCOMPARE(PeFileVersion::majorMinor(windowsProgram(12, 30)), QString("12.30"));
        const QByteArray p = windowsProgram(1, 4);
        for (int cut : {0, 2, 64, 0x100, 0x210, 0x260, 0x2A0})
            QVERIFY2(PeFileVersion::majorMinor(p.left(cut)).isEmpty(), qPrintable(QString::number(cut)));
        QVERIFY(PeFileVersion::majorMinor("<html>error</html>").isEmpty());
    }

    void serverFromTheEnvironment_data()
    {
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("server"); // empty: refused
        QTest::newRow("not set") << "" << "https://www.karvoaudio.com";
        QTest::newRow("a mirror") << "https://mirror.example.org/karvo/" << "https://mirror.example.org/karvo";
        QTest::newRow("http on loopback") << "http://127.0.0.1:8080" << "http://127.0.0.1:8080";
        QTest::newRow("http on localhost") << "http://localhost:8080" << "http://localhost:8080";
        QTest::newRow("http elsewhere") << "http://mirror.example.org" << "";
        QTest::newRow("ftp") << "ftp://127.0.0.1" << "";
        QTest::newRow("with a password") << "https://user:pw@example.org" << "";
        QTest::newRow("not an address") << "karvoaudio" << "";
    }
    void serverFromTheEnvironment()
    {
        QFETCH(QString, named);
        QFETCH(QString, server);
        const QByteArray before = qgetenv("QUARNELO_UPDATE_SERVER");
        qputenv("QUARNELO_UPDATE_SERVER", named.toUtf8());
        QString problem;
        const QUrl url = UpdateService::serverFromEnvironment(&problem);
        qputenv("QUARNELO_UPDATE_SERVER", before);
        QCOMPARE(url.toString(), server);
        QCOMPARE(problem.isEmpty(), !server.isEmpty());
    }

    void versionCheck_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("outcome"); // newer, not newer, or the one message
        QTest::newRow("newer") << 200 << QByteArray("1.22") << "newer";
        QTest::newRow("same") << 200 << QByteArray("1.21") << "not newer";
        QTest::newRow("older") << 200 << QByteArray("1.20") << "not newer";
        QTest::newRow("2.0 against 1.21") << 200 << QByteArray("2.0") << "newer";
        QTest::newRow("1.21.0 is the same") << 200 << QByteArray("1.21.0") << "not newer";
        QTest::newRow("with a line break") << 200 << QByteArray("1.22\r\n") << "newer";
        QTest::newRow("status 404") << 404 << QByteArray("<html>gone</html>") << "Error: Not Found";
        QTest::newRow("status 500") << 500 << QByteArray("1.99") << "Error: Internal Server Error";
        QTest::newRow("malformed") << 200 << QByteArray("<html>\n1.22</html>")
                                   << "Error: the update server's answer is not a version number: '<html>?1.22</html>'";
        QTest::newRow("too long") << 200 << QByteArray(5000, '1') << "Error: the answer is larger than 4096 bytes";
    }
    void versionCheck()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, outcome);
        m_https.routes[UpdateService::VersionPath] = {status, body};
        UpdateRig rig(m_https, m_tls, m_folder.path() + "/check");
        QSignalSpy newer(&rig.update, &UpdateService::newVersionFound);
        QSignalSpy notNewer(&rig.update, &UpdateService::noNewerVersion);
        QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
        rig.update.checkForNewVersion();
        QTRY_VERIFY_WITH_TIMEOUT(newer.size() + notNewer.size() + failed.size() == 1, 10000);
        if (outcome == "newer" || outcome == "not newer") {
            QCOMPARE(newer.size(), outcome == "newer" ? 1 : 0);
            QVERIFY(rig.prompts.messages.isEmpty());
            QVERIFY(rig.log.lines().contains("currentAppVersion: 1.21"));
            QVERIFY(rig.log.lines().contains("newAppVersion: " + QString::fromLatin1(body).trimmed()));
        } else {
            QCOMPARE(rig.prompts.messages, QStringList{outcome});
            QVERIFY(rig.update.newVersion().isEmpty());
        }
    }

    // Nobody there, nobody answering, a certificate nobody trusts: one message each, nothing else.
    void versionCheckWithoutAnAnswer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << "no server" << "Error: Connection refused";
        QTest::newRow("never answers") << "silent" << "Error: the update server did not answer within 15 s";
        QTest::newRow("untrusted certificate") << "untrusted" << "Error: SSL handshake failed";
    }
    void versionCheckWithoutAnAnswer()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        UpdateRig rig(m_https, m_tls, m_folder.path() + "/silent");
        if (kind == "no server") {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            rig.update.server = QUrl(QStringLiteral("https://127.0.0.1:%1").arg(probe.serverPort()));
            probe.close(); // the port is free again: nobody listens there
        } else if (kind == "silent") {
            m_https.routes[UpdateService::VersionPath] = {200, "1.22", true};
        } else {
            m_https.routes[UpdateService::VersionPath] = {200, "1.22"};
            rig.update.extraTrust.clear();
        }
        QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
        m_https.requested.clear();
        rig.update.checkForNewVersion();
        if (kind == "silent") {
            QTRY_VERIFY_WITH_TIMEOUT(m_https.requested.contains(UpdateService::VersionPath), 10000);
            rig.clock.advance(14900);
            QCoreApplication::processEvents();
            QCOMPARE(failed.size(), 0);
            rig.clock.advance(100); // the silence limit, on the test's clock
        }
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(rig.prompts.messages.size(), 1);
        QVERIFY2(rig.prompts.messages[0].startsWith(message), qPrintable(rig.prompts.messages[0]));
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 1);
    }

    // Hostile answers: each ends the check with one message that says what happened, in a
    // readable length and with no control character from the server.
    void hostileAnswers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("location"); // a redirect's target; SELF: this server, PORT: its port
        QTest::addColumn<QString>("message");
        const QString notSafe = ", which is not a safe update server";
        QTest::newRow("a long status text with an escape")
            << "status text" << QByteArray() << "Error: \\x1B[31m" + QString(195, 'A') + "... (5005 characters)";
        QTest::newRow("a redirect loop") << "redirect" << QByteArray("SELF/download/quarnelo-editor-version.php")
                                         << "Error: the update server's redirects lead to no answer (a redirect loop?)";
        QTest::newRow("a redirect to ftp") << "redirect" << QByteArray("ftp://127.0.0.1/v")
                                           << "Error: the update server redirected to ftp://127.0.0.1/v, which is neither https nor http";
        QTest::newRow("a redirect to a file") << "redirect" << QByteArray("file:///etc/passwd")
                                              << "Error: the update server redirected to file:///etc/passwd, which is neither https nor http";
        QTest::newRow("a redirect to http") << "redirect" << QByteArray("http://127.0.0.1:PORT/v")
                                            << "Error: the update server redirected to http://127.0.0.1:PORT/v" + notSafe;
        QTest::newRow("a redirect to an http host elsewhere") << "redirect" << QByteArray("http://example.org/v")
                                                              << "Error: the update server redirected to http://example.org/v" + notSafe;
        QTest::newRow("a redirect to an untrusted host") << "redirect" << QByteArray("https://localhost:PORT/v")
                                                         << "Error: SSL handshake failed: The host name did not match any of the valid hosts for this certificate";
        QTest::newRow("damaged gzip") << "gzip" << QByteArray() << "Error: the answer could not be unpacked: its "
                                                                   "compressed data is damaged or unpacks to more than allowed";
    }
    void hostileAnswers()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, location);
        QFETCH(QString, message);
        const QByteArray port = QByteArray::number(m_https.url().port());
        location.replace("SELF", m_https.url().toString().toLatin1()).replace("PORT", port);
        message.replace("PORT", QString::fromLatin1(port));
        LocalHttpServer::Route route{200, "1.22"};
        if (kind == "status text") {
            route = {500, "1.99"};
            route.phrase = "\x1B[31m" + QByteArray(5000, 'A');
        } else if (kind == "redirect") {
            route = {302, "", false, location};
        } else {
            route.body = "not gzip at all, but said to be";
            route.headers = "Content-Encoding: gzip\r\n";
        }
        m_https.routes[UpdateService::VersionPath] = route;
        m_https.routes["/v"] = {200, "1.22"};
        UpdateRig rig(m_https, m_tls, m_folder.path() + "/hostile");
        QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
        m_https.requested.clear();
        rig.update.checkForNewVersion();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(rig.prompts.messages, QStringList{message});
        if (kind == "redirect" && !location.startsWith("https://localhost"))
            QVERIFY(!m_https.requested.contains("/v")); // refused before it was followed
    }

    // A plain http server on this computer that redirects to another host: the other host is
    // never asked.
    void redirectElsewhereIsNotFollowed()
    {
        LocalHttpServer http, other;
        QVERIFY(http.listen() && other.listen());
        other.routes[UpdateService::VersionPath] = {200, "1.22"};
        const QByteArray elsewhere = "http://localhost:" + QByteArray::number(other.url().port()) + UpdateService::VersionPath.toLatin1();
        http.routes[UpdateService::VersionPath] = {302, "", false, elsewhere};
        UpdateRig rig(http, m_tls, m_folder.path() + "/elsewhere");
        QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
        rig.update.checkForNewVersion();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(rig.prompts.messages, QStringList{"Error: the update server redirected to " + QString::fromLatin1(elsewhere) +
                                                   ", which is not a safe update server"});
        QVERIFY(other.requested.isEmpty());
    }

    // A server that sends one byte every 2 s: the check ends at 30 s, on the test's clock,
    // though the silence limit is never reached.
    void versionCheckThatTrickles()
    {
        UpdateRig rig(m_https, m_tls, m_folder.path() + "/trickle");
        LocalHttpServer::Route route{200, "1.22" + QByteArray(400, ' ')};
        route.trickle = true;
        m_https.routes[UpdateService::VersionPath] = route;
        QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
        QSignalSpy finished(&rig.update, &UpdateService::noNewerVersion);
        m_https.requested.clear();
        rig.update.checkForNewVersion();
        QTRY_VERIFY_WITH_TIMEOUT(m_https.requested.contains(UpdateService::VersionPath), 10000);
        for (int ms = 0; ms < 28000; ms += 2000) {
            QVERIFY(m_https.drip());
            QTest::qWait(20); // the byte arrives
            rig.clock.advance(2000);
        }
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 0);
        rig.clock.advance(2000);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QVERIFY2(rig.prompts.messages.value(0).startsWith("Error: the update server did not finish its answer within 30 s"),
                 qPrintable(rig.prompts.messages.join('|')));
        QCOMPARE(rig.prompts.messages.size(), 1);
        QCOMPARE(finished.size(), 0);
    }

    // The updater download at one byte every 2 s ends once its average rate is too low; a
    // second Update Now meanwhile says that one runs.
    void updaterDownloadThatTrickles()
    {
        QTemporaryDir folder;
        UpdateRig rig(m_https, m_tls, folder.path());
        m_https.routes[UpdateService::UpdaterVersionPath] = {200, "1.4"};
        LocalHttpServer::Route route{200, windowsProgram(1, 4)};
        route.trickle = true;
        m_https.routes[UpdateService::UpdaterPath] = route;
        writeFile(rig.inEditorFolder(UpdateService::UpdaterName), windowsProgram(1, 3));
        QSignalSpy finished(&rig.update, &UpdateService::updateFinished);
        m_https.requested.clear();
        rig.update.launchUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(m_https.requested.contains(UpdateService::UpdaterPath), 10000);
        rig.update.launchUpdate();
        QCOMPARE(rig.prompts.questions.size(), 1);
        QCOMPARE(rig.prompts.messages, QStringList{"Update Now is already running: the updater is being fetched. Wait "
                                                   "for it to end before starting it again."});
        for (int ms = 0; ms < 14000; ms += 2000) {
            QVERIFY(m_https.drip());
            QTest::qWait(20);
            rig.clock.advance(2000);
        }
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 0);
        rig.clock.advance(2000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QVERIFY2(rig.prompts.messages.value(1).startsWith("Download failed: the download is too slow: 7 bytes in 15 s"),
                 qPrintable(rig.prompts.messages.join('|')));
        QVERIFY(!QFile::exists(rig.inEditorFolder(UpdateService::UpdaterDownloadName)));
        QCOMPARE(rig.launcher.starts.size(), 1); // the updater already there, with the paths
    }

    void updaterRefresh_data()
    {
        QTest::addColumn<QString>("local");       // the updater beside the editor: a version, or none
        QTest::addColumn<int>("downloadStatus");
        QTest::addColumn<QByteArray>("download"); // what the server sends as the updater
        QTest::addColumn<QStringList>("starts");  // "-" for the start without parameters, "paths" for the one with
        QTest::addColumn<QString>("message");     // the one message, if any
        QTest::addColumn<QString>("stored");      // the file the download was stored as, if any
        const QByteArray v14 = windowsProgram(1, 4);
        const QString downloaded = "New updater downloaded! Click OK to proceed with the update.";
        QTest::newRow("1.3 against 1.4") << "1.3" << 200 << v14 << QStringList{"-", "paths"} << downloaded
                                         << UpdateService::UpdaterDownloadName;
        QTest::newRow("1.4 against 1.4") << "1.4" << 200 << v14 << QStringList{"paths"} << "" << "";
        QTest::newRow("1.10 against 1.4") << "1.10" << 200 << v14 << QStringList{"paths"} << "" << "";
        QTest::newRow("an error page") << "1.3" << 200 << QByteArray("<html>Service unavailable</html>")
                                       << QStringList{"paths"}
                                       << "Download failed: the server's answer (32 bytes) is not a Windows program" << "";
        QTest::newRow("status 404") << "1.3" << 404 << v14 << QStringList{"paths"} << "Download failed: Not Found" << "";
        QTest::newRow("no version resource") << "none" << 200 << v14 << QStringList{"-", "paths"} << downloaded
                                             << UpdateService::UpdaterDownloadName;
        QTest::newRow("no local updater") << "missing" << 200 << v14 << QStringList{"paths"} << downloaded
                                          << UpdateService::UpdaterName;
        QTest::newRow("no local updater, 404") << "missing" << 404 << v14 << QStringList{} << "Download failed: Not Found"
                                               << "";
    }
    void updaterRefresh()
    {
        QFETCH(QString, local);
        QFETCH(int, downloadStatus);
        QFETCH(QByteArray, download);
        QFETCH(QStringList, starts);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QTemporaryDir folder;
        UpdateRig rig(m_https, m_tls, folder.path());
        m_https.routes[UpdateService::UpdaterVersionPath] = {200, "1.4"};
        m_https.routes[UpdateService::UpdaterPath] = {downloadStatus, download};
        const QString updater = rig.inEditorFolder(UpdateService::UpdaterName);
        QByteArray localBytes;
        if (local == "none")
            localBytes = QByteArray("MZ") + QByteArray(200, '\0');
        else if (local != "missing")
            localBytes = windowsProgram(local.section('.', 0, 0).toInt(), local.section('.', 1, 1).toInt());
        if (!localBytes.isEmpty())
            writeFile(updater, localBytes);
        QSignalSpy quit(&rig.update, &UpdateService::quitRequested);
        m_https.requested.clear();
        rig.launch();

        QCOMPARE(rig.prompts.questions,
                 QStringList{"This action will update the Quarnelo Editor to the latest version. Do you want to continue?"});
        QCOMPARE(rig.prompts.messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(m_https.requested.contains(UpdateService::UpdaterPath), local != "1.4" && local != "1.10");
        QStringList shownStarts;
        const QString paths = QStringLiteral("\"%1\" \"%2\"").arg(QDir(rig.update.temporaryFolder).filePath(UpdateService::NewEditorName),
                                                                 rig.update.editorPath);
        for (const auto &[program, parameters] : rig.launcher.starts) {
            QCOMPARE(program, updater);
            shownStarts << (parameters.isEmpty() ? "-" : parameters == paths ? "paths" : parameters);
        }
        QCOMPARE(shownStarts, starts);
        QCOMPARE(quit.size(), starts.contains("paths") ? 1 : 0);
        // What the server sent is next to the editor only when it was a whole program.
        const QStringList files = QDir(rig.update.editorFolder()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files.contains(UpdateService::UpdaterDownloadName), stored == UpdateService::UpdaterDownloadName);
        if (!stored.isEmpty())
            QCOMPARE(fileBytesOrNothing(rig.inEditorFolder(stored)), download);
        if (!localBytes.isEmpty())
            QCOMPARE(fileBytesOrNothing(updater), localBytes);
        QCOMPARE(files.size(), int(!localBytes.isEmpty() || !stored.isEmpty()) + int(stored == UpdateService::UpdaterDownloadName));
        if (local == "1.3")
            QVERIFY(rig.log.lines().contains("New version of the updater found on server, downloading the new updater..."));
    }

    void updateNowEnds_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("No to the question") << "no";
        QTest::newRow("the updater does not start") << "start fails";
        QTest::newRow("a path with blanks") << "blanks";
        QTest::newRow("redirected to http") << "redirect";
        QTest::newRow("larger than the limit") << "too large";
        QTest::newRow("not Windows") << "not windows";
    }
    void updateNowEnds()
    {
        QFETCH(QString, scenario);
        QTemporaryDir folder;
        UpdateRig rig(m_https, m_tls, folder.path());
        m_https.routes[UpdateService::UpdaterVersionPath] = {200, "1.4"};
        m_https.routes[UpdateService::UpdaterPath] = {200, windowsProgram(1, 4)};
        writeFile(rig.inEditorFolder(UpdateService::UpdaterName), windowsProgram(1, 3));
        QSignalSpy quit(&rig.update, &UpdateService::quitRequested);
        m_https.requested.clear();
        if (scenario == "no")
            rig.prompts.answers = {false};
        if (scenario == "start fails")
            rig.launcher.result = false;
        if (scenario == "blanks")
            rig.update.temporaryFolder = folder.path() + "/My Temp Files";
        if (scenario == "redirect")
            m_https.routes[UpdateService::UpdaterPath] = {302, "", false,
                                                          "http://127.0.0.1:9" + UpdateService::UpdaterPath.toLatin1()};
        if (scenario == "too large")
            rig.update.maxDownloadBytes = 1000;
        if (scenario == "not windows")
            rig.launcher.windows = false;
        rig.launch();

        if (scenario == "no" || scenario == "not windows") {
            QVERIFY(m_https.requested.isEmpty());
            QVERIFY(rig.launcher.starts.isEmpty());
            QCOMPARE(quit.size(), 0);
            if (scenario == "not windows") {
                QVERIFY(rig.prompts.questions.isEmpty());
                QCOMPARE(rig.prompts.opened, QList<QUrl>{QUrl(m_https.url().toString() + UpdateService::WhatsNewPath)});
                QVERIFY(rig.prompts.messages.value(0).startsWith("Automatic updating is available in the editor for Windows."));
            }
        } else if (scenario == "start fails") {
            QCOMPARE(rig.prompts.messages.last(), QString("Failed to launch updater. Please run as administrator."));
            QCOMPARE(quit.size(), 0); // the editor keeps running
        } else if (scenario == "blanks") {
            const QStringList arguments = QProcess::splitCommand(rig.launcher.starts.last().second);
            QCOMPARE(arguments, (QStringList{folder.path() + "/My Temp Files/Quarnelo_Editor_Update.exe",
                                             folder.path() + "/Quarnelo Editor/quarnelo-editor.exe"}));
        } else {
            const QString why = scenario == "redirect" ? "Download failed: " : "Download failed: the answer is larger than 1000 bytes";
            QVERIFY2(rig.prompts.messages.value(0).startsWith(why), qPrintable(rig.prompts.messages.join('|')));
            QVERIFY(!QFile::exists(rig.inEditorFolder(UpdateService::UpdaterDownloadName)));
            QCOMPARE(rig.launcher.starts.size(), 1); // only the updater already there, with the paths
        }
    }

    // The main window: the menu, "Update Now", the New Version window and its switch.
    void mainWindowShowsTheCheck_data()
    {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<bool>("showMessage");
        QTest::addColumn<QString>("menuText");
        QTest::addColumn<bool>("windowShown");
        QTest::newRow("newer") << QByteArray("1.22") << true << "New version available: 1.22" << true;
        QTest::newRow("newer, the notice switched off") << QByteArray("1.22") << false << "New version available: 1.22" << false;
        QTest::newRow("the same") << QByteArray("1.21") << true << "No update available" << false;
        QTest::newRow("no answer") << QByteArray("oops") << true << "New version available:" << false;
    }
    void mainWindowShowsTheCheck()
    {
        QFETCH(QByteArray, served);
        QFETCH(bool, showMessage);
        QFETCH(QString, menuText);
        QFETCH(bool, windowShown);
        QTemporaryDir documents;
        EditorRig rig(documents.path());
        rig.ctx.update.server = m_https.url();
        rig.ctx.update.extraTrust = {m_tls.certificate};
        rig.ctx.update.currentVersion = "1.21";
        rig.ctx.files.showUpdateMessage = showMessage;
        m_https.routes[UpdateService::VersionPath] = {200, served};
        QVERIFY(rig.ctx.update.checkScheduled());
        QSignalSpy newer(&rig.ctx.update, &UpdateService::newVersionFound);
        QSignalSpy notNewer(&rig.ctx.update, &UpdateService::noNewerVersion);
        QSignalSpy failed(&rig.ctx.update, &UpdateService::checkFailed);
        rig.clock.advance(1000); // the check, once, a second after start
        QVERIFY(!rig.ctx.update.checkScheduled());
        QTRY_VERIFY_WITH_TIMEOUT(newer.size() + notNewer.size() + failed.size() == 1, 10000);
        QCOMPARE(rig.main()->menuNewAppVersion->text(), menuText);
        QCOMPARE(rig.main()->menuUpdateNow->isEnabled(), menuText.endsWith("1.22"));
        auto *window = rig.main()->findChild<NewVersionWindow *>(QString(), Qt::FindDirectChildrenOnly);
        if (!window)
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *n = qobject_cast<NewVersionWindow *>(w))
                    window = n;
        QVERIFY(window);
        QCOMPARE(window->isVisible(), windowShown);
        if (windowShown) {
            QCOMPARE(window->versionsLabel->text(), QString("Your version: 1.21     New version: 1.22"));
            window->btnSeeWhatsNew->click();
            QCOMPARE(rig.prompts.opened.value(0).toString(), m_https.url().toString() + "/download/update/whatsnew.html");
            window->close();
        }
    }

    void dontShowAgainWritesOnlyAnExistingFlagFile()
    {
        QTemporaryDir documents;
        EditorRig rig(documents.path());
        NewVersionWindow window(rig.ctx.update, rig.ctx.files, rig.prompts);
        const QString flag = rig.user("ShowMessageVersionAtStartup.txt");
        QCOMPARE(fileBytes(flag), QByteArray("YES")); // made at start-up
        window.dontShowAgainBox->setChecked(true);
        QCOMPARE(fileBytes(flag), QByteArray("NO"));
        window.dontShowAgainBox->setChecked(false); // unchecking writes nothing
        QCOMPARE(fileBytes(flag), QByteArray("NO"));
        QVERIFY(rig.main()->menuShowUpdateMsg->isChecked()); // takes effect at the next start
        QFile::remove(flag);
        window.dontShowAgainBox->setChecked(true);
        QVERIFY(!QFile::exists(flag));
    }

    // quarnelo-cli check-update against a plain web server on this computer.
    void commandLineCheck_data()
    {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output");
        QTest::newRow("newer") << QByteArray("2.0") << 0 << "editor version: 1.21\nnewest version: 2.0\nan update is available\n";
        QTest::newRow("same") << QByteArray("1.21") << 0 << "editor version: 1.21\nnewest version: 1.21\nno update is available\n";
        QTest::newRow("malformed") << QByteArray("<html>") << 1 << "editor version: 1.21\n";
    }
    // The one line on stderr of a failed check says the server answered.
    void commandLineCheck()
    {
        QFETCH(QByteArray, served);
        QFETCH(int, code);
        QFETCH(QString, output);
        LocalHttpServer http;
        QVERIFY(http.listen());
        http.routes[UpdateService::VersionPath] = {200, served};
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARNELO_UPDATE_SERVER", http.url().toString());
        cli.setProcessEnvironment(env);
        QSignalSpy finished(&cli, &QProcess::finished); // the server answers while the test waits
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"check-update"});
        QVERIFY(finished.wait(20000));
        QCOMPARE(cli.exitCode(), code);
        QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()), output);
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(err.count('\n'), code == 0 ? 0 : 1);
        if (code != 0)
            QVERIFY2(err.contains(" answered, but the update server's answer is not a version number"), qPrintable(err));
    }

    // quarnelo-cli check-update against a server that sends one byte every 2 s: it ends with
    // exit 1 and the reason when its whole time is up (30 s, on the real clock).
    void commandLineCheckThatTrickles()
    {
        LocalHttpServer http;
        QVERIFY(http.listen());
        LocalHttpServer::Route route{200, QByteArray(4000, '1')};
        route.trickle = true;
        http.routes[UpdateService::VersionPath] = route;
        QTimer drip;
        connect(&drip, &QTimer::timeout, &http, [&http] { http.drip(); });
        drip.start(2000);
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARNELO_UPDATE_SERVER", http.url().toString());
        cli.setProcessEnvironment(env);
        QSignalSpy finished(&cli, &QProcess::finished);
        QElapsedTimer took;
        took.start();
        cli.start(QStringLiteral(QUARNELO_CLI_PATH), {"check-update"});
        QVERIFY(finished.wait(60000));
        QVERIFY(took.elapsed() < 60000);
        QCOMPARE(cli.exitCode(), 1);
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY2(err.contains("could not be asked: the update server did not finish its answer within 30 s"), qPrintable(err));
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
