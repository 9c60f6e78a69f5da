// Every answer from the update server is held in bounded memory: an answer that never ends, in
// chunks, without a length or with a false one, ends the request at its limit with one message,
// in the editor's update service and in quarnelo-cli check-update, whose peak memory it reports.
#include "LocalHttpServer.h"
#include "UpdateRig.h"
#include "WindowsProgram.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
using Endless = LocalHttpServer::Route::Endless;

LocalHttpServer::Route endless(Endless framing, const QByteArray &headers = {})
{
    LocalHttpServer::Route route{200};
    route.endless = framing;
    route.headers = headers;
    return route;
}

// quarnelo-cli check-update against server, to its end, with its memory figures on stderr.
struct CheckRun {
    int exitCode = -1;
    QByteArray out, err;
    qint64 startKb = -1, peakKb = -1;
};
CheckRun checkUpdate(const QUrl &server)
{
    CheckRun r;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUARNELO_UPDATE_SERVER"), server.toString());
    env.insert(QStringLiteral("QUARNELO_REPORT_PEAK_MEMORY"), QStringLiteral("1"));
    cli.setProcessEnvironment(env);
    QSignalSpy finished(&cli, &QProcess::finished); // the server answers while the test waits
    cli.start(QStringLiteral(QUARNELO_CLI_PATH), {QStringLiteral("check-update")});
    if (!finished.wait(60000)) {
        cli.kill();
        cli.waitForFinished(5000);
        r.err = "check-update did not end within 60 s";
        return r;
    }
    r.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    r.out = cli.readAllStandardOutput();
    r.err = cli.readAllStandardError();
    static const QRegularExpression figures(QStringLiteral("memory: resident (\\d+) kB before the check, peak (\\d+) kB"));
    const QRegularExpressionMatch m = figures.match(QString::fromUtf8(r.err));
    if (m.hasMatch()) {
        r.startKb = m.captured(1).toLongLong();
        r.peakKb = m.captured(2).toLongLong();
    }
    return r;
}
} // namespace

class TestUpdateBounds : public QObject {
    Q_OBJECT
    QTemporaryDir m_folder;
    TestCertificate m_tls;
    LocalHttpServer m_https;
    LocalHttpServer m_http;

private slots:
    void initTestCase()
    {
        m_tls = TestCertificate::make(m_folder.path());
        QVERIFY2(m_tls.problem.isEmpty(), qPrintable(m_tls.problem));
        QVERIFY(m_https.listen(&m_tls));
        QVERIFY(m_http.listen());
    }

    // The version check and the updater download, each against an answer that never ends.
    void endlessAnswerEndsAtTheLimit_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<int>("framing");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<bool>("download");
        QTest::addColumn<QString>("message");
        const QString version = "Error: the answer is larger than 4096 bytes";
        const QString download = "Download failed: the answer is larger than 1048576 bytes";
        QTest::newRow("version, chunked, https") << true << int(Endless::Chunked) << QByteArray() << false << version;
        QTest::newRow("version, chunked, http") << false << int(Endless::Chunked) << QByteArray() << false << version;
        QTest::newRow("version, no length") << true << int(Endless::Unframed) << QByteArray() << false << version;
        QTest::newRow("version, a false length beyond the limit")
            << true << int(Endless::Unframed) << QByteArray("Content-Length: 1000000000000\r\n") << false << version;
        QTest::newRow("download, chunked, https") << true << int(Endless::Chunked) << QByteArray() << true << download;
        QTest::newRow("download, chunked, http") << false << int(Endless::Chunked) << QByteArray() << true << download;
        QTest::newRow("download, no length") << true << int(Endless::Unframed) << QByteArray() << true << download;
        QTest::newRow("download, a false length beyond the limit")
            << true << int(Endless::Unframed) << QByteArray("Content-Length: 1000000000000\r\n") << true << download;
    }
    void endlessAnswerEndsAtTheLimit()
    {
        QFETCH(bool, tls);
        QFETCH(int, framing);
        QFETCH(QByteArray, headers);
        QFETCH(bool, download);
        QFETCH(QString, message);
        LocalHttpServer &server = tls ? m_https : m_http;
        QTemporaryDir folder;
        UpdateRig rig(server, m_tls, folder.path());
        rig.update.maxDownloadBytes = 1 << 20;
        const QString path = download ? UpdateService::UpdaterPath : UpdateService::VersionPath;
        server.routes[UpdateService::UpdaterVersionPath] = {200, "1.4"};
        server.routes[path] = endless(Endless(framing), headers);
        if (download) {
            const QString updater = rig.inEditorFolder(UpdateService::UpdaterName);
            QFile f(updater);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(windowsProgram(1, 3));
            f.close();
            rig.launch();
            QCOMPARE(rig.launcher.starts.size(), 1); // the updater already there takes over
            QVERIFY(!QFile::exists(rig.inEditorFolder(UpdateService::UpdaterDownloadName)));
        } else {
            QSignalSpy failed(&rig.update, &UpdateService::checkFailed);
            rig.update.checkForNewVersion();
            QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        }
        QCOMPARE(rig.prompts.messages, QStringList{message});
        server.routes.remove(path);
    }

    // quarnelo-cli check-update against an endless chunked answer: it ends with the limit in its
    // message, and its peak memory (as it reports it) stays within 64 MB of its start.
    void commandLineCheckOfAnEndlessAnswerStaysSmall()
    {
        m_http.routes[UpdateService::VersionPath] = {200, "1.22"};
        const CheckRun answered = checkUpdate(m_http.url());
        QCOMPARE(answered.exitCode, 0);
        QVERIFY2(answered.out.contains("newest version: 1.22"), answered.out.constData());
        QVERIFY2(answered.startKb > 0 && answered.peakKb >= answered.startKb, answered.err.constData());

        m_http.routes[UpdateService::VersionPath] = endless(Endless::Chunked);
        const qint64 sentBefore = m_http.endlessBytesSent;
        const CheckRun endlessRun = checkUpdate(m_http.url());
        m_http.routes.remove(UpdateService::VersionPath);
        QCOMPARE(endlessRun.exitCode, 1);
        QVERIFY2(endlessRun.err.contains("could not be asked: the answer is larger than 4096 bytes"), endlessRun.err.constData());
        QVERIFY(m_http.endlessBytesSent - sentBefore > 4096); // the server did send more than the limit
        QVERIFY2(endlessRun.startKb > 0, endlessRun.err.constData());
        qInfo("check-update: %lld kB at the start, peak %lld kB (answered: %lld, peak %lld)", endlessRun.startKb,
              endlessRun.peakKb, answered.startKb, answered.peakKb);
        QVERIFY2(endlessRun.peakKb - endlessRun.startKb < 64 * 1024, endlessRun.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestUpdateBounds)
#include "tst_update_bounds.moc"
