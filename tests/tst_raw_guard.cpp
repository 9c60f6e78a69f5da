// Raw messages from the command line: whichever way a message arrives (an argument, standard
// input, a file), it is told from its bytes and gets what the command that sends such a message
// gets: --yes for a large change, a backup first where that command makes one (an erase's keeps
// the memory it erases), --no-backup alone to go on without one. And the input is read to its end.
#include "PedalProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Message {
    const char *name;
    QString hex;
    bool confirmed; // needs --yes
    bool backedUp;  // saves a backup first
};

const Message Messages[] = {
    {"algorithm upload", "0000050102", true, true},
    {"enter bootloader", "0500010203040506", true, true},
    {"erase", "0B50000000", true, true},
    {"store", "03" + QString(80, '0'), true, false},
    {"tuning table", "0E" + QString(2 * 640, '0'), true, false}, // the whole table: the pedal takes no less
    {"bypass", "0D00", false, false},
};

enum class Way { Argument, Input, File };

struct Outcome {
    int code = -1;
    QString out, err;
    QStringList wire; // the messages the pedal received, in hex
};

QStringList messagesIn(const QString &record)
{
    QStringList wire;
    QFile f(record);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                wire << QString::fromLatin1(line.split(' ').last());
    return wire;
}

// quarnelo-cli with its documents folder in home, given input on its standard input.
Outcome cli(const QString &home, const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DOCUMENTS_DIR", home + "/Documents");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUARNELO_CLI_PATH), args);
    Outcome o;
    if (!p.waitForStarted())
        return o;
    for (qsizetype at = 0; at < input.size(); at += 4096) // in pieces, as a pipe delivers it
        p.write(input.mid(at, 4096));
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

// The send command's argument for the message, and what it reads.
QString sendArgument(Way way, const QString &hex, const QString &dir, QByteArray *input)
{
    if (way == Way::Argument)
        return hex;
    // Split across lines, as a hex dump is.
    QByteArray text;
    for (qsizetype at = 0; at < hex.size(); at += 8)
        text += hex.mid(at, 8).toLatin1() + (at % 32 == 24 ? "\n" : " ");
    if (way == Way::Input) {
        *input = text;
        return "-";
    }
    QFile f(dir + "/message.hex");
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return "@" + f.fileName();
}
} // namespace

class TestRawGuard : public QObject {
    Q_OBJECT
private slots:
    void eachKindEachWayEachFolder_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<int>("way");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("folderUsable");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<bool>("backedUp");
        const char *ways[] = {"argument", "standard input", "file"};
        for (const Message &m : Messages)
            for (int way = 0; way < 3; ++way) {
                for (const bool usable : {true, false})
                    QTest::addRow("%s, %s, %s", m.name, ways[way], usable ? "backups usable" : "backups blocked")
                        << m.hex << way << true << usable << m.confirmed << m.backedUp;
                QTest::addRow("%s, %s, without --yes", m.name, ways[way])
                    << m.hex << way << false << true << m.confirmed << m.backedUp;
            }
    }
    void eachKindEachWayEachFolder()
    {
        QFETCH(QString, hex);
        QFETCH(int, way);
        QFETCH(bool, yes);
        QFETCH(bool, folderUsable);
        QFETCH(bool, confirmed);
        QFETCH(bool, backedUp);
        QTemporaryDir home;
        const QString user = home.filePath("Documents/Karvo/Quarnelo MK3");
        QVERIFY(QDir().mkpath(user));
        if (!folderUsable) { // a file stands where the Backups folder goes
            QFile f(user + "/Backups");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString record = home.filePath("record.txt");
        PedalProcess pedal({"--record", record});
        QByteArray input;
        const QString argument = sendArgument(Way(way), hex, home.path(), &input);
        QStringList args{"--port", pedal.path(), "send", argument};
        if (yes)
            args.prepend("--yes");
        const Outcome o = cli(home.path(), args, input);
        const QStringList wire = messagesIn(record);
        const QString said = o.out + o.err;
        if (confirmed && !yes) {
            QCOMPARE(o.code, 64);
            QVERIFY2(o.err.contains("add --yes to confirm"), qPrintable(said));
            QCOMPARE(wire, QStringList()); // not even linked
            return;
        }
        if (backedUp && !folderUsable) {
            QCOMPARE(o.code, 1);
            QVERIFY2(said.contains("Nothing more was sent; --no-backup goes on without one."), qPrintable(said));
            QVERIFY2(!wire.contains(hex), qPrintable(wire.join(' ')));
            return;
        }
        QVERIFY2(o.code == 0, qPrintable(QString::number(o.code) + said));
        QVERIFY2(o.out.contains("sent: " + hex), qPrintable(said));
        QCOMPARE(wire.value(wire.size() - 1), hex);
        if (backedUp) {
            QVERIFY2(o.out.startsWith("backup saved: "), qPrintable(said));
            QCOMPARE(wire.value(0), QString("0200")); // the settings the backup keeps, asked first
            const QStringList backups = QDir(user + "/Backups").entryList(QDir::Files);
            QCOMPARE(backups.filter(QRegularExpression(" (preset|report)\\.txt$| snapshot\\.json$")).size(), 3);
        } else {
            QVERIFY(!wire.contains("0200")); // a plain send asks nothing
        }
        if (hex.startsWith("0B")) // the memory it erases is read into the backup first
            QCOMPARE(wire, (QStringList{"0200", "0C5000000000", hex}));
    }

    // Standard input is read to its end however it arrives; only what is really too long is
    // refused, and "@" needs a name.
    void inputReadToItsEnd_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QByteArray longest = QByteArray("0D").repeated(65536);
        QTest::newRow("100,000 characters in pieces") << QStringList{"send", "-"} << QByteArray("0D00").repeated(25000) << 0
                                                    << "sent: 0D000D00";
        QTest::newRow("the longest message, a blank between bytes")
            << QStringList{"send", "-"} << QByteArray("0D ").repeated(65536) << 0 << "sent: 0D0D0D";
        QTest::newRow("one byte more than the longest") << QStringList{"send", "-"} << longest + "0D" << 64
                                                      << "quarnelo-cli: send writes at most 65536 bytes, not 65537";
        QTest::newRow("twice the longest and more") << QStringList{"send", "-"} << longest + longest + "0D" << 1
                                                  << "standard input holds more than 262144 hex digits (send writes at most 65536 bytes). Nothing was sent.";
        QTest::newRow("blanks without end") << QStringList{"send", "-"} << QByteArray(8 * 131072 + 4097, ' ') << 1
                                            << "standard input holds more than 1052672 characters. Nothing was sent.";
        QTest::newRow("nothing") << QStringList{"send", "-"} << QByteArray() << 1 << "standard input holds no hex text";
        QTest::newRow("@ without a name") << QStringList{"send", "@"} << QByteArray() << 64
                                          << "quarnelo-cli: send @FILE needs the name of a file after the @";
    }
    void inputReadToItsEnd()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, code);
        QFETCH(QString, said);
        QTemporaryDir home;
        const QString record = home.filePath("record.txt");
        PedalProcess pedal({"--record", record});
        const Outcome o = cli(home.path(), QStringList{"--port", pedal.path()} + args, input);
        QVERIFY2(o.code == code, qPrintable(QString::number(o.code) + o.out + o.err));
        QVERIFY2((o.out + o.err).contains(said), qPrintable(o.out + o.err));
        QVERIFY(!o.err.contains("QFSFileEngine")); // no words of the toolkit's own
        if (code != 0)
            QCOMPARE(messagesIn(record), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestRawGuard)
#include "tst_raw_guard.moc"
