// The editor program on a serial port named on its command line: it links that port at start
// and asks the pedal for its settings, so its windows can be tried against the
// pseudo-terminal pedal.
#include "PedalProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "EditorProgram.h"

class TestEditorE2e : public QObject {
    Q_OBJECT
private slots:
    void portNamedOnTheCommandLineIsLinkedAtStart()
    {
        QTemporaryDir home;
        const QString record = home.filePath(QStringLiteral("record.txt"));
        PedalProcess pedal({QStringLiteral("--record"), record});
        QVERIFY(!pedal.path().isEmpty());
        QProcess editor;
        editor.setProcessEnvironment(privateHome(home.path()));
        editor.start(QStringLiteral(QUARNELO_EDITOR_PATH), {QStringLiteral("--port"), pedal.path()});
        QVERIFY(editor.waitForStarted(10000));
        // The device information request reaches the pedal on that port, and nothing else was
        // asked of it first.
        QTRY_VERIFY_WITH_TIMEOUT(readFile(record).contains(" 0200\n"), 15000);
        QVERIFY(readFile(record).split('\n').first().endsWith(" 0200"));
        editor.terminate();
        QVERIFY(editor.waitForFinished(10000));
    }

    void portAndSimulatedPedalAreOneTooMany()
    {
        QTemporaryDir home;
        QProcess editor;
        editor.setProcessEnvironment(privateHome(home.path()));
        editor.start(QStringLiteral(QUARNELO_EDITOR_PATH), {QStringLiteral("--simulate"), QStringLiteral("--port"),
                                                           QStringLiteral("/dev/null")});
        QVERIFY(editor.waitForFinished(15000));
        QCOMPARE(editor.exitCode(), 64);
        QVERIFY(editor.readAllStandardError().contains("--simulate and --port name two pedals"));
    }
};

QTEST_GUILESS_MAIN(TestEditorE2e)
#include "tst_editor_e2e.moc"
