#include "cli/CliCommands.h"

#include <QtTest>

namespace {
struct Run {
    int code;
    QString out;
    QString err;
};
Run run(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = Cli::run(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
}
} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void infoOnTheSimulatedPedal()
    {
        const Run r = run({"--simulate", "info"});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QString("Firmware: 15"));
        QCOMPARE(lines.value(1), QString("Algorithm: 0015"));
        QVERIFY(lines.contains("Dry: 003FC000"));
        QVERIFY(lines.contains("MIDI Channel: OMNI"));
        QCOMPARE(lines.size(), 15 + 20);
    }

    void listAndSend()
    {
        Run r = run({"--simulate", "list"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("QMK3SIM01\tQuarnelo MK3\n"));
        r = run({"--simulate", "send", "070c"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("sent: 070C\n"));
        r = run({"--simulate", "send", "0200"});
        QVERIFY(r.out.contains("answer: 0A31350D"));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("no command") << QStringList{"--simulate"} << 64 << "quarnelo-cli: no command given";
        QTest::newRow("unknown command") << QStringList{"--simulate", "dance"} << 64 << "quarnelo-cli: unknown command dance";
        QTest::newRow("two targets") << QStringList{"--simulate", "--port", "/dev/null", "info"} << 64
                                     << "quarnelo-cli: choose one of --simulate, --port and --serial";
        QTest::newRow("odd hex") << QStringList{"--simulate", "send", "070"} << 64
                                 << "quarnelo-cli: '070' is not hex text (two hex digits per byte)";
        QTest::newRow("no such serial") << QStringList{"--serial", "NOPE", "info"} << 2 << "No device found";
        QTest::newRow("no FTDI device") << QStringList{"list"} << 2 << "No device found";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, err);
        const Run r = run(args);
        QCOMPARE(r.code, code);
        QCOMPARE(r.err.split('\n').first(), err);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
