#include "device/HexCodec.h"

#include <QtTest>

using namespace HexCodec;

class TestHexCodec : public QObject {
    Q_OBJECT
private slots:
    void hexNumberCases_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("text");
        QTest::newRow("115200 in 4: never cut") << qint64(115200) << 4 << "1C200";
        QTest::newRow("255 in 2") << qint64(255) << 2 << "FF";
        QTest::newRow("7 in 4") << qint64(7) << 4 << "0007";
        QTest::newRow("-6 in 2: two's complement") << qint64(-6) << 2 << "FFFFFFFA";
        QTest::newRow("0 in 8") << qint64(0) << 8 << "00000000";
        QTest::newRow("0x3FC000 in 8") << qint64(0x3FC000) << 8 << "003FC000";
    }
    void hexNumberCases()
    {
        QFETCH(qint64, value);
        QFETCH(int, digits);
        QFETCH(QString, text);
        QCOMPARE(hexNumber(value, digits), text);
    }

    void hexTextToBytesCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("mixed case") << "0a1B" << QByteArray("\x0A\x1B") << "";
        QTest::newRow("odd length") << "ABC" << QByteArray("\xAB") << "";
        QTest::newRow("empty") << "" << QByteArray() << "";
        QTest::newRow("bad pair") << "12G4" << QByteArray() << "'$G4' is not a valid integer value";
    }
    void hexTextToBytesCases()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QString e;
        QCOMPARE(hexTextToBytes(text, &e), bytes);
        QCOMPARE(e, error);
    }

    void hexTextToBufferStopsAtBadPair()
    {
        unsigned char dest[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        QCOMPARE(hexTextToBuffer("12G4", dest, 2), 1);
        QCOMPARE(dest[0], 0x12);
        QCOMPARE(dest[1], 0xEE); // untouched
        QCOMPARE(hexTextToBuffer("0102030405", dest, 3), 3);
        QCOMPARE(dest[3], 0xEE); // never more than asked
        QCOMPARE(hexTextToRaw("41G2"), QByteArray("A\0", 2));
    }

    void bytesToHexTextCases()
    {
        const unsigned char b[] = {0x0A, 0x31, 0x0D};
        QCOMPARE(bytesToHexText(b, 3), QString("0A310D"));
        QCOMPARE(bytesToHexText(QByteArray()), QString());
    }

    void xorChecksumCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("sum");
        QTest::newRow("instrument Standard") << "0FFF0102030405" << 7 << 0xF1;
        QTest::newRow("instrument Low") << "0FBA0203040506" << 7 << 0xB3;
        QTest::newRow("first byte only") << "0FFF0102030405" << 1 << 0x0F;
    }
    void xorChecksumCases()
    {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(int, sum);
        QCOMPARE(int(xorChecksum(text, n)), sum);
    }

    void effectNameToResourceNameCases_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("resource");
        QTest::newRow("carried effect") << "Quarnelo MK3 0015" << "Quarnelo_MK3_0015";
        QTest::newRow("dash and plus") << "Sub-Oct+2" << "Sub_Octplus2";
        QTest::newRow("upper X only") << "xX x" << "xmult_x";
    }
    void effectNameToResourceNameCases()
    {
        QFETCH(QString, name);
        QFETCH(QString, resource);
        QCOMPARE(effectNameToResourceName(name), resource);
    }
};

QTEST_GUILESS_MAIN(TestHexCodec)
#include "tst_hexcodec.moc"
