// The editor program on a serial port named on its command line: it links that port at start
// and asks the pedal for its settings, so its windows can be tried against the
// pseudo-terminal pedal.
#include "PedalProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

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

    // The editor's options follow the tool's rules: each once, anywhere, "--" ends them, no
    // argument. A usage it refuses ends it at once with exit 64, the reason and the usage on
    // stderr, and nothing written.
    void refusedUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("--port twice") << QStringList{"--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB1"}
                                      << "--port is given twice";
        QTest::newRow("--simulate twice") << QStringList{"--simulate", "--report-first-frame", "--simulate"}
                                          << "--simulate is given twice";
        QTest::newRow("-h and --help") << QStringList{"-h", "--help"} << "--help is given twice";
        QTest::newRow("an option taken as --port's value") << QStringList{"--port", "--report-first-frame"}
                                                          << "--port needs a value: the serial port's path, not the option --report-first-frame";
        QTest::newRow("--port without a value") << QStringList{"--simulate", "--port"}
                                                << "--port needs a value: the serial port's path";
        QTest::newRow("--port with an empty value") << QStringList{"--port="}
                                                    << "--port needs a value: the serial port's path";
        QTest::newRow("an unknown option") << QStringList{"--simulate", "--fast"} << "unknown option --fast";
        QTest::newRow("a value on a switch") << QStringList{"--simulate=yes"} << "--simulate takes no value";
        QTest::newRow("a stray argument") << QStringList{"/dev/ttyUSB0"} << "the editor takes no argument, not '/dev/ttyUSB0'";
        QTest::newRow("an argument after --") << QStringList{"--report-first-frame", "--", "--simulate"}
                                             << "the editor takes no argument, not '--simulate'";
        QTest::newRow("two pedals") << QStringList{"--port=/dev/ttyUSB0", "--simulate"}
                                    << "--simulate and --port name two pedals; give one of them";
    }
    void refusedUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QTemporaryDir home;
        QProcess editor;
        editor.setProcessEnvironment(privateHome(home.path()));
        editor.start(QStringLiteral(QUARNELO_EDITOR_PATH), args);
        QVERIFY2(editor.waitForFinished(15000), "the editor did not end within 15 s");
        QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(editor.exitCode(), 64);
        const QString err = QString::fromUtf8(editor.readAllStandardError());
        QVERIFY2(err.contains("quarnelo-editor: " + reason + "\nUsage: "), qPrintable(err));
        QVERIFY2(err.contains("--report-first-frame"), qPrintable(err)); // the options are listed
        QCOMPARE(editor.readAllStandardOutput(), QByteArray());
        QVERIFY(!QFileInfo::exists(home.filePath("Documents/Karvo"))); // refused before anything was written
    }

    // --report-first-frame ends the run after the first frame whatever else is given, even while
    // the link of --simulate or --port is under way, and the run's log reaches log.txt as at
    // any close: nothing is left to recover.
    void firstFrameReportEnds_data()
    {
        QTest::addColumn<QStringList>("args"); // PTY: the pseudo-terminal pedal's path
        QTest::newRow("alone") << QStringList{"--report-first-frame"};
        QTest::newRow("after --simulate") << QStringList{"--simulate", "--report-first-frame"};
        QTest::newRow("before --simulate") << QStringList{"--report-first-frame", "--simulate"};
        QTest::newRow("with --port") << QStringList{"--report-first-frame", "--port", "PTY"};
    }
    void firstFrameReportEnds()
    {
        QFETCH(QStringList, args);
        QTemporaryDir home;
        std::unique_ptr<PedalProcess> pedal;
        if (args.contains("PTY")) {
            pedal = std::make_unique<PedalProcess>(QStringList{});
            QVERIFY(!pedal->path().isEmpty());
            args.replace(args.indexOf("PTY"), pedal->path());
        }
        QProcess editor;
        editor.setProcessEnvironment(privateHome(home.path()));
        editor.start(QStringLiteral(QUARNELO_EDITOR_PATH), args);
        const bool ended = editor.waitForFinished(60000);
        if (!ended)
            editor.kill();
        QVERIFY2(ended, "the editor did not end within 60 s of its start");
        QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(editor.exitCode(), 0);
        QVERIFY(editor.readAllStandardOutput().startsWith("first frame, resident "));
        const QDir folder(home.filePath("Documents/Karvo/Quarnelo MK3"));
        const QByteArray log = readFile(folder.filePath("log.txt"));
        static const QRegularExpression closedBlock(QStringLiteral("^\n\n\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d\n(.*\r\n)*$"));
        QVERIFY2(closedBlock.match(QString::fromUtf8(log)).hasMatch(), log.constData());
        QCOMPARE(folder.entryList({"log.*"}, QDir::Files), QStringList{"log.txt"});
    }
};

QTEST_GUILESS_MAIN(TestEditorE2e)
#include "tst_editor_e2e.moc"
