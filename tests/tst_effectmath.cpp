#include "algorithms/StandInImages.h"
#include "support/Resources.h"
#include "device/HexCodec.h"
#include "pedal/DialMath.h"
#include "device/PedalMessages.h"
#include "pedal/PedalState.h"

#include <QtTest>
#include <cmath>

using namespace DialMath;

class TestDialMath : public QObject {
    Q_OBJECT
private slots:
    void dialArithmetic_data()
    {
        QTest::addColumn<int>("angle");
        QTest::addColumn<int>("snapped");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("level");
        QTest::addColumn<quint32>("word");
        QTest::newRow("minimum") << -135 << -135 << 0 << 0 << 0x00000000u;
        QTest::newRow("180") << 180 << 180 << 44 << 167 << 0x0014E000u;
        QTest::newRow("-180 as 180") << -180 << -180 << 44 << 167 << 0x0014E000u;
        QTest::newRow("-179") << -179 << -179 << 44 << 167 << 0x0014E000u;
        QTest::newRow("90") << 90 << 90 << 134 << 510 << 0x003FC000u;
        QTest::newRow("0") << 0 << 0 << 224 << 852 << 0x006A8000u;
        QTest::newRow("-1") << -1 << -1 << 225 << 856 << 0x006B0000u;
        QTest::newRow("maximum") << -45 << -45 << 269 << 1023 << 0x007FE000u;
        QTest::newRow("dead zone -100 snaps to the minimum") << -100 << -135 << 0 << 0 << 0u;
        QTest::newRow("dead zone -60 snaps to the maximum") << -60 << -45 << 269 << 1023 << 0x007FE000u;
        QTest::newRow("dead zone -90 goes to the minimum") << -90 << -135 << 0 << 0 << 0u;
        QTest::newRow("-89 goes to the maximum") << -89 << -45 << 269 << 1023 << 0x007FE000u;
    }
    void dialArithmetic()
    {
        QFETCH(int, angle);
        QFETCH(int, snapped);
        QFETCH(int, position);
        QFETCH(int, level);
        QFETCH(quint32, word);
        QCOMPARE(snapDialAngle(angle), snapped);
        QCOMPARE(dialAngleToPosition(snapped), position);
        QCOMPARE(positionToLevel(position), level);
        QCOMPARE(levelToWord(level), word);
    }

    void positionOneIsLevelFour() { QCOMPARE(positionToLevel(1), 4); }

    void everyPositionHasAnAngle()
    {
        for (int p = 0; p <= MaxPosition; ++p)
            QCOMPARE(dialAngleToPosition(positionToAngle(p)), p);
    }

    void valueToDialAngle_data()
    {
        QTest::addColumn<quint32>("word");
        QTest::addColumn<quint32>("fullScale");
        QTest::addColumn<int>("angle");
        QTest::newRow("level 0") << 0u << FullScale << -135;
        QTest::newRow("level 1023") << 0x7FE000u << FullScale << -45;
        QTest::newRow("0x800000 clamps to the maximum") << 0x800000u << FullScale << -45;
        QTest::newRow("level 512") << 0x400000u << FullScale << 89;
        QTest::newRow("level 169") << (169u << 13) << FullScale << -179;
        QTest::newRow("level 170") << (170u << 13) << FullScale << 180;
        QTest::newRow("level 339") << (339u << 13) << FullScale << 135;
        QTest::newRow("level 340") << (340u << 13) << FullScale << 136;
        QTest::newRow("level 680") << (680u << 13) << FullScale << 45;
        QTest::newRow("level 850") << (850u << 13) << FullScale << 0;
        QTest::newRow("level 851") << (851u << 13) << FullScale << -1;
        QTest::newRow("Low Pass 12 of 24") << 12u << 24u << 90;
        QTest::newRow("Low Pass 24 of 24") << 24u << 24u << -45;
        QTest::newRow("High Pass 8 of 16") << 8u << 16u << 89;
        QTest::newRow("High Pass 16 of 16 clamps") << 16u << 16u << -45;
        QTest::newRow("Range 11 of 22") << 11u << 22u << 90;
        QTest::newRow("Range 0") << 0u << 22u << -135;
        // A word a step sends shows on that step, not on the formulas' neighbour.
        QTest::newRow("level 510 on its step, not 506's") << 0x003FC000u << FullScale << 90;
        QTest::newRow("level 852 on its step, not 856's") << 0x006A8000u << FullScale << 0;
        QTest::newRow("Low Pass: the word its dial sent") << 0x003FC000u << 24u << 90;
        QTest::newRow("Range: the word its dial sent") << 0x006A8000u << 22u << 0;
        // Words between two steps go by the formulas.
        QTest::newRow("just above level 852's word") << 0x006A8001u << FullScale << -1;
        QTest::newRow("level 853, between 852 and 856") << (853u << 13) << FullScale << -1;
        QTest::newRow("level 508, between 506 and 510") << (508u << 13) << FullScale << 91;
        QTest::newRow("level 1023 and a little") << 0x007FFFFFu << FullScale << -45;
    }
    void valueToDialAngle()
    {
        QFETCH(quint32, word);
        QFETCH(quint32, fullScale);
        QFETCH(int, angle);
        QCOMPARE(DialMath::valueToDialAngle(word, fullScale), angle);
    }

    // Every one of the 270 steps of a dial, whatever its full scale: the word the step sends
    // shows on that step again, so the dial sends the same word back.
    void everyStepShowsOnItself_data()
    {
        QTest::addColumn<quint32>("fullScale");
        QTest::newRow("Dry and the other dials of 0x800000") << FullScale;
        QTest::newRow("Low Pass, 24") << 24u;
        QTest::newRow("High Pass, 16") << 16u;
        QTest::newRow("Range, 22") << 22u;
    }
    void everyStepShowsOnItself()
    {
        QFETCH(quint32, fullScale);
        for (int p = 0; p <= MaxPosition; ++p) {
            const quint32 word = levelToWord(positionToLevel(p));
            const int angle = DialMath::valueToDialAngle(word, fullScale);
            QVERIFY2(angle == positionToAngle(p),
                     qPrintable(QStringLiteral("position %1 (word %2) shows at %3, not %4")
                                    .arg(p).arg(word, 8, 16, QLatin1Char('0')).arg(angle).arg(positionToAngle(p))));
            QCOMPARE(levelToWord(positionToLevel(dialAngleToPosition(angle))), word);
        }
    }

    void harmonicPitchTableFollowsItsRule()
    {
        for (int i = 0; i < 25; ++i) {
            const int s = i - 12;
            const double ratio = s <= 0 ? 1.0 + s / 24.0 : 1.0 + s / 12.0;
            const quint32 word = quint32(std::lround(ratio * 0x400000 / 8.0)) * 8;
            QCOMPARE(HarmonicPitchTable[size_t(i)], word);
        }
    }

    void addressesFromTheHeader()
    {
        PedalState P;
        QCOMPARE(P.parameters[Parameter::Dry].address, quint16(0));
        QCOMPARE(P.parameters[Parameter::Attack].address, quint16(0xFFFF));
        const QString header = "0010A000270007007D0080000200AF00BD007E00C5002D00410037000B005200C3001D000E0006FF0000BC000300AE";
        QVERIFY(P.loadParameterAddresses(header));
        const quint16 expected[20] = {0x0027, 0x0007, 0x007D, 0x0080, 0x0002, 0x00AF, 0x00BD, 0x007E, 0x00C5, 0x0000,
                                      0x000B, 0x0052, 0x00C3, 0x001D, 0x000E, 0x0006, 0xFF00, 0x00BC, 0x0003, 0x00AE};
        for (int i = 0; i < 20; ++i)
            QCOMPARE(P.parameters[size_t(i)].address, expected[i]);
        P.parameters[Parameter::Dry].value = 0x1234;
        QVERIFY(P.loadParameterAddresses(header)); // the same again: values untouched
        QCOMPARE(P.parameters[Parameter::Dry].value, 0x1234u);
        // A short line leaves the addresses it does not hold as they were.
        QVERIFY(!P.loadParameterAddresses(header.left(60)));
        QCOMPARE(P.parameters[Parameter::Attack].address, quint16(0x00AE));
    }

    void messages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expected"); // as the log shows it
        using namespace PedalMessages;
        QTest::newRow("nothing assigned") << assign({-1, -1, -1, -1}, 0) << "0400000000" "00FFFFFFFFFFFFFFFFFFFF";
        QTest::newRow("Input Level on I, remote Bypass") << assign({0x000B, -1, -1, -1}, 1) << "04010000000100" "0BFFFFFFFFFFFFFFFE";
        QTest::newRow("remote Preset") << assign({-1, -1, -1, -1}, 2) << "040000000001FFFFFFFFFFFFFFFFFFFD";
        QTest::newRow("footswitch start-up choice") << footswitch(false, false) << "080000";
        QTest::newRow("footswitch both Bypass") << footswitch(false, true) << "080001";
        QTest::newRow("footswitch both Change Preset") << footswitch(true, false) << "080100";
        QTest::newRow("footswitch CP and Bypass") << footswitch(true, true) << "080101";
        QTest::newRow("Standard one half-step down") << tuning(1, -1) << "0901FF";
        QTest::newRow("Standard, capo 3") << tuning(1, 3) << "090103";
        QTest::newRow("Bass Guitar") << tuning(8, 0) << "090800";
        QTest::newRow("-5") << tuning(2, -5) << "0902FB";
        QTest::newRow("no note filter") << noteFilters(0xFF, 0xFF) << "09FFFF";
        QTest::newRow("B2 and D#3") << noteFilters(2, 6) << "090206";
        QTest::newRow("instrument Standard") << instrumentRange(0xFF) << "0FFF0102030405F1";
        QTest::newRow("instrument Low") << instrumentRange(0xBA) << "0FBA0203040506B3";
        QTest::newRow("store bypass") << storeBypassStatus(true) << "1001";
        QTest::newRow("do not store bypass") << storeBypassStatus(false) << "10FF";
        QTest::newRow("range limit on") << rangeLimit(true) << "1101";
        QTest::newRow("range limit off") << rangeLimit(false) << "11FF";
        QTest::newRow("bypass on") << bypass(true) << "0D01";
        QTest::newRow("bypass off") << bypass(false) << "0D00";
        QTest::newRow("parameter write") << parameterWrite(0x0027, 0x003FC000) << "010027003FC000";
        QTest::newRow("parameter write, top bits") << parameterWrite(0xFFFE, 0xFEDCBA98) << "01FFFEFEDCBA98";
        QTest::newRow("MIDI OMNI") << midiChannel(0) << "0700";
        QTest::newRow("MIDI 16") << midiChannel(16) << "0710";
        QTest::newRow("device information") << deviceInformationRequest() << "0200";
        QTest::newRow("enter the bootloader") << enterBootloader() << "0500010203040506";
        QTest::newRow("tuning data") << tuningData("00FF7f80") << "0E00FF7F80";
        QTest::newRow("erase memory 50") << eraseMemory("50") << "0B50000000";
        QTest::newRow("read memory 51") << readMemory("51") << "0C5100000000";
        QTest::newRow("console write, typed in lower case") << consoleParameterWrite("00ae", "003fC000") << "0100AE003FC000";
        QTest::newRow("store the defaults")
            << storeSettings({0x800000, 0x400000, 0, 0, 0, 0, 0, 0, 0, 0x8000})
            << "03" "00800000" "00400000" "00000000" "00000000" "00000000" "00000000" "00000000" "00000000" "00000000" "00008000";
    }
    void messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, expected);
        QCOMPARE(message, QByteArray::fromHex(expected.toLatin1()));
        QCOMPARE(HexCodec::bytesToHexText(message), expected);
    }

    void instrumentRangeGivesItsChecksum()
    {
        quint8 checksum = 0;
        QCOMPARE(PedalMessages::instrumentRange(0xBA, &checksum).back(), char(0xB3));
        QCOMPARE(checksum, quint8(0xB3));
        QCOMPARE(PedalMessages::instrumentRange(0xFF, &checksum).size(), 8);
        QCOMPARE(checksum, quint8(0xF1));
    }

    void standInImagesAreTheCarriedOnes()
    {
        for (int n : StandInImages::algorithmNumbers()) {
            const QString name = QStringLiteral("quarnelo_mk3_%1").arg(n, 4, 10, QLatin1Char('0'));
            QByteArray carried;
            QVERIFY2(Resources::load(name, &carried), qPrintable(name));
            const QByteArray image = StandInImages::algorithmImage(n);
            QCOMPARE(carried, HexCodec::bytesToHexText(image).toLatin1()); // the tool made them
            QCOMPARE(image.size(), StandInImages::imageSize(n));
            QCOMPARE(image.size() % 32, 0);
            QCOMPARE(quint8(image[0]), quint8(0));
            QCOMPARE(quint8(image[1]) * 256 + quint8(image[2]), image.size());
            QVERIFY(StandInImages::isStandIn(image));
        }
        QVERIFY(HexCodec::bytesToHexText(StandInImages::algorithmImage(15))
                    .startsWith("0010A000270007007D0080000200AF00BD007E00C5002D00410037000B005200C3001D000E0006FF0000BC000300AE"));
        QCOMPARE(StandInImages::algorithmImage(15).size(), 4256);
        PedalState P;
        P.loadParameterAddresses(HexCodec::bytesToHexText(StandInImages::algorithmImage(8)));
        QCOMPARE(P.parameters[Parameter::Attack].address, quint16(0));
        QCOMPARE(P.parameters[Parameter::DryHPF].address, quint16(0));
        QVERIFY(P.parameters[Parameter::HighNotesCut].address != 0);
    }
};

QTEST_GUILESS_MAIN(TestDialMath)
#include "tst_effectmath.moc"
