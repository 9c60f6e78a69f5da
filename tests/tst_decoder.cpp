#include "device/DeviceInformation.h"
#include "device/ReplyDecoder.h"

#include <QtTest>

class TestDecoder : public QObject {
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("values");
        auto b = [](const char *hex) { return QByteArray::fromHex(hex); };
        QTest::newRow("12 and 7") << b("0A31320D0A370D") << b("0C07");
        QTest::newRow("single digit") << b("0A350D") << b("05");
        QTest::newRow("255") << b("0A3235350D") << b("FF");
        QTest::newRow("256 kept in 8 bits") << b("0A3235360D") << b("00");
        QTest::newRow("no digits repeats the previous value") << b("0A390D0A0D") << b("0909");
        QTest::newRow("no digits first gives 0") << b("0A0D") << b("00");
        QTest::newRow("four digits repeat the previous value") << b("0A370D0A313233340D") << b("0707");
        QTest::newRow("0D without 0A closes a section from the start") << b("33340D") << b("22");
        QTest::newRow("no 0D: nothing") << b("0A3132") << QByteArray();
        QTest::newRow("0x3A opens a section") << b("0A393A350D") << b("05");
        QTest::newRow("0xD5 closes a section") << b("0A350D0A3639D5") << b("0505");
        QTest::newRow("empty answer") << QByteArray() << QByteArray();
    }
    void decode()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, values);
        const DecodedReply r = decodeReplyBytes(answer);
        QVERIFY(r.ok);
        QCOMPARE(r.values.toHex(), values.toHex());
    }

    void nonDecimalDigitsFail()
    {
        const DecodedReply r = decodeReplyBytes(QByteArray::fromHex("0A3B0D"));
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QString("'B' is not a valid integer value"));
    }

    void onlyThisAnswersBytesCount()
    {
        // A long earlier answer cannot leak into a short later one: the decoder sees only its bytes.
        QByteArray full;
        for (int i = 0; i < 106; ++i)
            full += "\n" + QByteArray::number(i % 256) + "\r";
        QCOMPARE(decodeReplyBytes(full).values.size(), 106);
        QCOMPARE(decodeReplyBytes(full.left(full.indexOf("\n40\r"))).values.size(), 40);
        QCOMPARE(countClosedValues(full), 106);
    }

    // The device information answer decodes only whole: one value short is nothing, never a
    // last parameter read from past its end.
    void deviceInformationTakesOnlyAWholeAnswer_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("no values") << 0;
        QTest::newRow("50 values") << 50;
        QTest::newRow("105 values") << 105;
        QTest::newRow("106 values") << 106;
    }
    void deviceInformationTakesOnlyAWholeAnswer()
    {
        QFETCH(int, count);
        QByteArray values;
        for (int i = 0; i < count; ++i)
            values += char(i + 1); // value i holds i + 1: a value read from past the end would be 0
        const std::optional<DeviceInformation> info = DeviceInformation::fromValues(values);
        QCOMPARE(info.has_value(), count == DeviceInformation::Values);
        if (!info)
            return;
        QCOMPARE(info->firmware, quint8(1));
        QCOMPARE(info->midiChannel, quint8(26));                // position 25
        QCOMPARE(info->parameterWords[0], 0x1B1C1D1Eu);        // positions 26..29
        QCOMPARE(info->parameterWords[19], 0x6768696Au);       // positions 102..105, the last
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
