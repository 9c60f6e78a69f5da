#include "support/Prompts.h"
#include "support/Clock.h"
#include "support/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

class TestUserFiles : public QObject {
    Q_OBJECT
private slots:
    void firstRunCreatesExactlyTheStartupFiles()
    {
        QTemporaryDir docs;
        ScriptedPrompts prompts;
        UserFiles files(docs.path(), &prompts);
        files.createMakerFolder(QStringLiteral("Karvo"));
        files.createProductFolder(QStringLiteral("Karvo"), QStringLiteral("Quarnelo MK3"));
        files.loadUserSettings();
        files.trimLogFile();

        const QString user = docs.path() + QStringLiteral("/Karvo/Quarnelo MK3");
        QCOMPARE(files.userFolder(), user);
        QCOMPARE(QDir(user).entryList(QDir::Files, QDir::Name),
                 QStringList({"ReportUSBErrors.txt", "ShowMessageVersionAtStartup.txt", "log.txt"}));
        QCOMPARE(QDir(docs.path() + "/Karvo").entryList(QDir::Files), QStringList());
        QCOMPARE(contents(user + "/ShowMessageVersionAtStartup.txt"), QByteArray("YES"));
        QCOMPARE(contents(user + "/ReportUSBErrors.txt"), QByteArray("YES"));
        QCOMPARE(contents(user + "/log.txt"), QByteArray());
        QVERIFY(files.showUpdateMessage);
        QVERIFY(files.reportUsbErrors);
        QVERIFY(prompts.messages.isEmpty());
    }

    void flagContents_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("showUpdate");
        QTest::addColumn<bool>("reportUsb");
        QTest::newRow("YES") << QByteArray("YES") << true << true;
        QTest::newRow("NO") << QByteArray("NO") << false << false;
        QTest::newRow("NO and LF") << QByteArray("NO\n") << true << false;
        QTest::newRow("NO and CR LF") << QByteArray("NO\r\n") << true << false;
        QTest::newRow("lower case no") << QByteArray("no") << true << false;
        QTest::newRow("blank before NO") << QByteArray(" NO") << true << false;
        QTest::newRow("NO with BOM") << QByteArray("\xEF\xBB\xBFNO") << false << false;
        QTest::newRow("empty") << QByteArray() << true << false;
    }
    // Unexpected content leaves each setting at its initial value and the file unchanged.
    void flagContents()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, showUpdate);
        QFETCH(bool, reportUsb);
        QTemporaryDir docs;
        ScriptedPrompts prompts;
        UserFiles files(docs.path(), &prompts);
        files.createProductFolder(QStringLiteral("Karvo"), QStringLiteral("Quarnelo MK3"));
        writeBytes(files.userFile("ShowMessageVersionAtStartup.txt"), bytes);
        writeBytes(files.userFile("ReportUSBErrors.txt"), bytes);
        files.loadUserSettings();
        QCOMPARE(files.showUpdateMessage, showUpdate);
        QCOMPARE(files.reportUsbErrors, reportUsb);
        QCOMPARE(contents(files.userFile("ShowMessageVersionAtStartup.txt")), bytes);
        QCOMPARE(contents(files.userFile("ReportUSBErrors.txt")), bytes);
    }

    void trimBoundary_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("after");
        QTest::newRow("4,999,999 kept") << qint64(4999999) << qint64(4999999);
        QTest::newRow("5,000,000 emptied") << qint64(5000000) << qint64(0);
        QTest::newRow("5,000,001 emptied") << qint64(5000001) << qint64(0);
    }
    void trimBoundary()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, after);
        QTemporaryDir docs;
        UserFiles files(docs.path(), nullptr);
        files.createProductFolder(QStringLiteral("Karvo"), QStringLiteral("Quarnelo MK3"));
        QFile f(files.userFile("log.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
        f.close();
        files.loadUserSettings();
        files.trimLogFile();
        QCOMPARE(QFileInfo(files.userFile("log.txt")).size(), after);
    }

    void flagRewrittenOnlyWhileItExists()
    {
        QTemporaryDir docs;
        UserFiles files(docs.path(), nullptr);
        files.createProductFolder(QStringLiteral("Karvo"), QStringLiteral("Quarnelo MK3"));
        files.loadUserSettings();
        QVERIFY(files.rewriteFlagFile("ReportUSBErrors.txt", false));
        QCOMPARE(contents(files.userFile("ReportUSBErrors.txt")), QByteArray("NO"));
        QFile::remove(files.userFile("ReportUSBErrors.txt"));
        QVERIFY(!files.rewriteFlagFile("ReportUSBErrors.txt", true));
        QVERIFY(!QFile::exists(files.userFile("ReportUSBErrors.txt")));
    }

    void folderThatCannotBeCreatedIsReported()
    {
        QTemporaryDir docs;
        writeBytes(docs.path() + "/Karvo", "a file where the folder should be");
        ScriptedPrompts prompts;
        UserFiles files(docs.path(), &prompts);
        files.createMakerFolder("Karvo");
        files.createProductFolder("Karvo", "Quarnelo MK3");
        QCOMPARE(prompts.messages.size(), 2);
        QVERIFY(prompts.messages[0].startsWith("Error creating folder: "));
        QVERIFY(prompts.messages[1].startsWith("Error creating subfolder: "));
    }

    void readTextFallsBackToLatin1()
    {
        QTemporaryDir dir;
        writeBytes(dir.path() + "/t.txt", QByteArray("caf\xE9"));
        QCOMPARE(UserFiles::readTextFile(dir.path() + "/t.txt"), QString::fromUtf8("café"));
    }
};

QTEST_GUILESS_MAIN(TestUserFiles)
#include "tst_userfiles.moc"
