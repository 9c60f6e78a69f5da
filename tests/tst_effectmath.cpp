#include "algorithms/StandInImages.h"
#include "support/Resources.h"
#include "device/HexCodec.h"
#include "pedal/DialMath.h"
#include "device/PedalMessages.h"
#include "pedal/PedalState.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/ValueText.h"

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

    // A data word in the pedal's own terms, as every window and the tool show it.
    void valueTextOfWord_data()
    {
        using namespace Parameter;
        QTest::addColumn<int>("parameter");
        QTest::addColumn<quint32>("word");
        QTest::addColumn<QString>("text");
        QTest::newRow("Dry at its minimum") << int(Dry) << 0u << "0";
        QTest::newRow("Dry at a step") << int(Dry) << 0x003FC000u << "510";
        QTest::newRow("Dry between two steps") << int(Dry) << 0x003FD000u << "510";
        QTest::newRow("Dry at its maximum") << int(Dry) << 0x007FE000u << "1023";
        QTest::newRow("Input Level's default 0x800000") << int(InputLevel) << 0x00800000u << "1023";
        QTest::newRow("Low Pass reported 0") << int(LowPass) << 0u << "0 / 24";
        QTest::newRow("Low Pass reported 12") << int(LowPass) << 12u << "12 / 24";
        QTest::newRow("Low Pass reported 24") << int(LowPass) << 24u << "24 / 24";
        QTest::newRow("Low Pass sent at level 510") << int(LowPass) << 0x003FC000u << "12 / 24";
        QTest::newRow("Low Pass sent at level 1023") << int(LowPass) << 0x007FE000u << "24 / 24";
        QTest::newRow("High Pass reported 16") << int(HighPass) << 16u << "16 / 16";
        QTest::newRow("High Pass sent at level 251") << int(HighPass) << 0x001F6000u << "4 / 16";
        QTest::newRow("Range reported 0") << int(Range) << 0u << "0 / 22";
        QTest::newRow("Range reported 11") << int(Range) << 11u << "11 / 22";
        QTest::newRow("Range reported 22") << int(Range) << 22u << "22 / 22";
        QTest::newRow("Range sent at level 510") << int(Range) << 0x003FC000u << "11 / 22";
        QTest::newRow("pitch 0") << int(FirstHarmonicPitch) << 0x00400000u << "0 st";
        QTest::newRow("pitch +5") << int(FirstHarmonicPitch) << 0x005AAAA8u << "+5 st";
        QTest::newRow("pitch -3") << int(FirstHarmonicPitch) << 0x00380000u << "-3 st";
        QTest::newRow("pitch -12") << int(FirstHarmonicPitch) << 0x00200000u << "-12 st";
        QTest::newRow("pitch +12") << int(FirstHarmonicPitch) << 0x00800000u << "+12 st";
        QTest::newRow("pitch word not in the table") << int(FirstHarmonicPitch) << 0x00400001u << "?";
        QTest::newRow("Wave on") << int(Wave) << 0x00400000u << "on";
        QTest::newRow("Wave off") << int(Wave) << 0x00600000u << "off";
        QTest::newRow("Wave 1 is no Wave word") << int(Wave) << 1u << "?";
        QTest::newRow("Split on") << int(Split) << 1u << "on";
        QTest::newRow("Split 2") << int(Split) << 2u << "?";
        QTest::newRow("Attack slow") << int(Attack) << 0x800u << "slow";
        QTest::newRow("Attack fast") << int(Attack) << 0x8000u << "fast";
        QTest::newRow("Attack 1 is no Attack word") << int(Attack) << 1u << "?";
        QTest::newRow("Limit Range UP on") << int(LimitRangeUp) << 1u << "on";
        QTest::newRow("Limit Range UP 5") << int(LimitRangeUp) << 5u << "?";
        QTest::newRow("Dominant Notes Cut off") << int(DominantNotesCut) << 0u << "off";
        QTest::newRow("High Notes Cut 7") << int(HighNotesCut) << 7u << "?";
    }
    void valueTextOfWord()
    {
        QFETCH(int, parameter);
        QFETCH(quint32, word);
        QFETCH(QString, text);
        QCOMPARE(ValueText::ofWord(parameter, word), text);
    }

    // What a control's state shows is the text of the word that state sends.
    void valueTextOfState_data()
    {
        using namespace Parameter;
        QTest::addColumn<int>("parameter");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("Dry at 90 degrees") << int(Dry) << 90 << "510";
        QTest::newRow("Dry at 0 degrees") << int(Dry) << 0 << "852";
        QTest::newRow("Dry in the dead zone") << int(Dry) << -100 << "0";
        QTest::newRow("Low Pass at its minimum") << int(LowPass) << -135 << "0 / 24";
        QTest::newRow("Low Pass at 90 degrees") << int(LowPass) << 90 << "12 / 24";
        QTest::newRow("Low Pass at its maximum") << int(LowPass) << -45 << "24 / 24";
        QTest::newRow("High Pass at its maximum") << int(HighPass) << -45 << "16 / 16";
        QTest::newRow("Range at 90 degrees") << int(Range) << 90 << "11 / 22";
        QTest::newRow("pitch item 17") << int(FirstHarmonicPitch) << 17 << "+5 st";
        QTest::newRow("pitch item 12") << int(FirstHarmonicPitch) << 12 << "0 st";
        QTest::newRow("pitch nothing selected") << int(FirstHarmonicPitch) << -1 << "?";
        QTest::newRow("Attack on") << int(Attack) << 1 << "slow";
        QTest::newRow("Wave off") << int(Wave) << 0 << "off";
        QTest::newRow("High Notes Cut on") << int(HighNotesCut) << 1 << "on";
    }
    void valueTextOfState()
    {
        QFETCH(int, parameter);
        QFETCH(int, state);
        QFETCH(QString, text);
        QCOMPARE(ValueText::ofState(parameter, state), text);
    }

    // A typed value: the control state it asks for, or none (Refused) when it does not fit.
    void valueTextTyped_data()
    {
        using namespace Parameter;
        using B = ValueText::BareNumber;
        constexpr int Refused = 9999;
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bare");
        QTest::addColumn<int>("state");
        QTest::newRow("Dry level 510") << int(Dry) << "510" << int(B::Level) << 90;
        QTest::newRow("Dry level between two steps") << int(Dry) << "511" << int(B::Level) << 90;
        QTest::newRow("Dry level 1023") << int(Dry) << " 1023 " << int(B::Step) << -45;
        QTest::newRow("Dry level 0") << int(Dry) << "0" << int(B::Level) << -135;
        QTest::newRow("Dry level 1024") << int(Dry) << "1024" << int(B::Level) << Refused;
        QTest::newRow("Dry level -1") << int(Dry) << "-1" << int(B::Level) << Refused;
        QTest::newRow("Dry takes no step") << int(Dry) << "12/24" << int(B::Step) << Refused;
        QTest::newRow("Dry not a number") << int(Dry) << "loud" << int(B::Level) << Refused;
        QTest::newRow("Dry empty") << int(Dry) << "" << int(B::Level) << Refused;
        QTest::newRow("Low Pass step 12") << int(LowPass) << "12" << int(B::Step) << 90;
        QTest::newRow("Low Pass step 12/24") << int(LowPass) << "12/24" << int(B::Level) << 90;
        QTest::newRow("Low Pass step 12 / 24") << int(LowPass) << "12 / 24" << int(B::Step) << 90;
        QTest::newRow("Low Pass step 0") << int(LowPass) << "0" << int(B::Step) << -135;
        QTest::newRow("Low Pass step 24") << int(LowPass) << "24" << int(B::Step) << -45;
        QTest::newRow("Low Pass step 25") << int(LowPass) << "25" << int(B::Step) << Refused;
        QTest::newRow("Low Pass step 25/24") << int(LowPass) << "25/24" << int(B::Level) << Refused;
        QTest::newRow("Low Pass step -1") << int(LowPass) << "-1" << int(B::Step) << Refused;
        QTest::newRow("Low Pass step of another scale") << int(LowPass) << "12/16" << int(B::Step) << Refused;
        QTest::newRow("Low Pass level 300") << int(LowPass) << "300" << int(B::Level) << 145;
        QTest::newRow("Low Pass level 1024") << int(LowPass) << "1024" << int(B::Level) << Refused;
        QTest::newRow("High Pass step 16") << int(HighPass) << "16" << int(B::Step) << -45;
        QTest::newRow("Range step 11/22") << int(Range) << "11/22" << int(B::Step) << 90;
        QTest::newRow("pitch +5") << int(FirstHarmonicPitch) << "+5" << int(B::Step) << 17;
        QTest::newRow("pitch +5 st") << int(FirstHarmonicPitch) << "+5 st" << int(B::Step) << 17;
        QTest::newRow("pitch -3st") << int(FirstHarmonicPitch) << "-3st" << int(B::Level) << 9;
        QTest::newRow("pitch 0 st") << int(FirstHarmonicPitch) << "0 st" << int(B::Level) << 12;
        QTest::newRow("pitch -12") << int(FirstHarmonicPitch) << "-12" << int(B::Level) << 0;
        QTest::newRow("pitch +13") << int(FirstHarmonicPitch) << "+13" << int(B::Level) << Refused;
        QTest::newRow("pitch st alone") << int(FirstHarmonicPitch) << "st" << int(B::Level) << Refused;
        QTest::newRow("Attack slow") << int(Attack) << "slow" << int(B::Level) << 1;
        QTest::newRow("Attack FAST") << int(Attack) << "FAST" << int(B::Level) << 0;
        QTest::newRow("Attack on") << int(Attack) << "on" << int(B::Level) << 1;
        QTest::newRow("Wave on") << int(Wave) << "On" << int(B::Level) << 1;
        QTest::newRow("Wave takes no slow") << int(Wave) << "slow" << int(B::Level) << Refused;
        QTest::newRow("Wave yes") << int(Wave) << "yes" << int(B::Level) << Refused;
        QTest::newRow("check box off") << int(HighNotesCut) << "off" << int(B::Level) << 0;
    }
    void valueTextTyped()
    {
        QFETCH(int, parameter);
        QFETCH(QString, text);
        QFETCH(int, bare);
        QFETCH(int, state);
        QString takes;
        const std::optional<int> typed = ValueText::stateOf(parameter, text, ValueText::BareNumber(bare), &takes);
        QCOMPARE(typed.value_or(9999), state);
        QVERIFY(!takes.isEmpty());
    }

    // Every step of a dial on the pedal's own scale, typed as shown, shows as itself and sends a
    // word the pedal reports as that step; every level a dial shows, typed, stays where it is.
    void typedValuesComeBackAsShown()
    {
        using namespace Parameter;
        for (int parameter : {int(LowPass), int(HighPass), int(Range)}) {
            const int full = ValueText::steps(parameter);
            QVERIFY(full > 0);
            for (int s = 0; s <= full; ++s) {
                QString takes;
                const QString shown = QStringLiteral("%1 / %2").arg(s).arg(full);
                const std::optional<int> angle = ValueText::stateOf(parameter, shown, ValueText::BareNumber::Level, &takes);
                QVERIFY2(angle, qPrintable(shown));
                QCOMPARE(ValueText::ofState(parameter, *angle), shown);
                const quint32 word = ParameterCatalogue::wordFor(parameter, *angle);
                QCOMPARE(ownScaleWord(word, quint32(full)), quint32(s));
            }
        }
        QCOMPARE(ValueText::steps(Dry), 0);
        QCOMPARE(ValueText::steps(Wave), 0);
        for (int p = 0; p <= MaxPosition; ++p) {
            QString takes;
            const int angle = positionToAngle(p);
            const std::optional<int> typed =
                ValueText::stateOf(Dry, ValueText::ofState(Dry, angle), ValueText::BareNumber::Step, &takes);
            QCOMPARE(typed, std::optional<int>(angle));
        }
    }

    void dataWordLine() { QCOMPARE(ValueText::dataWordLine(0x003FC000), QString("Data word 0x003FC000")); }

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
