#include "presets/PresetFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestPresets : public QObject {
    Q_OBJECT
private slots:
    void fileBytes()
    {
        PresetFile::PresetValues v{};
        v[0] = 0x00800000;
        const QByteArray bytes = PresetFile::fileBytes(v);
        QCOMPARE(bytes.size(), 182);
        QByteArray expected = QByteArray("\xEF\xBB\xBF") + "00800000";
        for (int i = 0; i < 19; ++i)
            expected += "\r00000000";
        QCOMPARE(bytes, expected);
    }

    void swapByteOrderReversesThePairs() { QCOMPARE(PresetFile::swapByteOrder("11223344"), QString("44332211")); }

    void readsWhatItWrites_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        PresetFile::PresetValues v{};
        for (int i = 0; i < 20; ++i)
            v[size_t(i)] = 0x00FF0000u + quint32(i);
        const QByteArray written = PresetFile::fileBytes(v);
        QByteArray lf = written, crlf = written;
        lf.replace('\r', '\n');
        crlf.replace("\r", "\r\n");
        QTest::newRow("as written") << written;
        QTest::newRow("LF") << lf;
        QTest::newRow("CR LF and a final line end") << crlf + "\r\n";
        QTest::newRow("no byte-order mark, lower case") << written.mid(3).toLower();
    }
    void readsWhatItWrites()
    {
        QFETCH(QByteArray, bytes);
        PresetFile::PresetValues v{};
        QString error;
        QVERIFY2(PresetFile::parse(bytes, &v, &error), qPrintable(error));
        for (int i = 0; i < 20; ++i)
            QCOMPARE(v[size_t(i)], 0x00FF0000u + quint32(i));
    }

    void malformedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        PresetFile::PresetValues v{};
        const QByteArray good = PresetFile::fileBytes(v).mid(3);
        QByteArray seven = good;
        seven.remove(9, 1); // line 2 has seven digits
        QTest::newRow("a line of 7 digits") << seven << "line 2 is '0000000', not eight hexadecimal digits";
        QTest::newRow("19 lines") << good.left(good.lastIndexOf('\r')) << "it has 19 lines, a preset has 20";
        QTest::newRow("21 lines") << good + "\r00000000" << "it has 21 lines, a preset has 20";
        QByteArray nonHex = good;
        nonHex.replace(0, 8, "0000G000");
        QTest::newRow("a non-hex line") << nonHex << "line 1 is '0000G000', not eight hexadecimal digits";
        QTest::newRow("empty") << QByteArray() << "it has 0 lines, a preset has 20";
        QByteArray spaced = good;
        spaced.replace(0, 8, "0000 000");
        QTest::newRow("a blank inside") << spaced << "line 1 is '0000 000', not eight hexadecimal digits";
    }
    void malformedFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        PresetFile::PresetValues v{};
        v[0] = 42;
        QString e;
        QVERIFY(!PresetFile::parse(bytes, &v, &e));
        QCOMPARE(e, error);
        QCOMPARE(v[0], 42u); // nothing changed
    }

    void extension_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("stored");
        QTest::newRow("name.txt") << "/p/name.txt" << "/p/name.txt";
        QTest::newRow("upper-case extension") << "/p/name.TXT" << "/p/name.TXT.txt";
        QTest::newRow("no extension") << "/p/name" << "/p/name.txt";
        QTest::newRow("a device keeps its name") << "/dev/null" << "/dev/null";
        QTest::newRow("a folder keeps its name") << QDir::tempPath() << QDir::tempPath();
    }
    void extension()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, stored);
        QCOMPARE(PresetFile::withExtension(chosen), stored);
    }

    // The size limit at its edge: a file of MaxFileBytes is read and judged by its lines, one
    // byte more is refused for its size before anything of it is read as a preset.
    void sizeLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("message");
        QTest::newRow("4096 bytes, the largest read") << 4096
                                                      << "Error loading file: big.txt is not a preset: it has 21 lines, a "
                                                         "preset has 20. No value was changed.";
        QTest::newRow("4097 bytes") << 4097
                                    << "Error loading file: big.txt is larger than 4096 bytes; a preset is 182 bytes. No "
                                       "value was changed.";
    }
    void sizeLimit()
    {
        QFETCH(int, size);
        QFETCH(QString, message);
        QCOMPARE(PresetFile::MaxFileBytes, 4096);
        QTemporaryDir dir;
        const QString path = dir.filePath("big.txt");
        // A preset followed by one long line that makes the file size bytes long.
        QByteArray bytes = PresetFile::fileBytes(PresetFile::PresetValues{}) + '\r';
        bytes += QByteArray(size - bytes.size(), 'F');
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == size);
        f.close();
        PresetFile::PresetValues v{};
        v[0] = 42;
        QString m;
        QVERIFY(!PresetFile::load(path, &v, &m));
        QCOMPARE(m, message);
        QCOMPARE(v[0], 42u);
    }

    void writeIsAtomic()
    {
        QTemporaryDir dir;
        PresetFile::PresetValues v{};
        QString error;
        QVERIFY(PresetFile::write(dir.filePath("a.txt"), v, &error));
        QCOMPARE(QFileInfo(dir.filePath("a.txt")).size(), 182);
        QVERIFY(!PresetFile::write(dir.filePath("missing/a.txt"), v, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"}); // no half-written leftovers
    }
};

QTEST_GUILESS_MAIN(TestPresets)
#include "tst_presets.moc"
