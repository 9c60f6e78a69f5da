// The simulated pedal is the oracle of many tests: it must apply each message as the pedal does.
#include "support/Prompts.h"
#include "support/ManualClock.h"
#include "simulator/SimulatedPedal.h"

#include <QtTest>

namespace {
void feed(SimulatedPedal &p, const QByteArray &bytes)
{
    p.receive(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()));
}
QByteArray drain(SimulatedPedal &p, ManualClock &clock, int ms = 5000)
{
    clock.advance(ms);
    QByteArray out(p.available(), '\0');
    p.take(reinterpret_cast<unsigned char *>(out.data()), int(out.size()));
    return out;
}
} // namespace

class TestSimulator : public QObject {
    Q_OBJECT
private slots:
    void messagesChangeTheState_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("position"); // in the device information answer
        QTest::addColumn<QByteArray>("reported");
        auto b = [](const char *hex) { return QByteArray::fromHex(hex); };
        QTest::newRow("Dry at 0x0027") << b("010027003FC100") << 26 << b("003FC100");
        QTest::newRow("Attack at 0x00AE") << b("0100AE00000800") << 26 + 4 * 19 << b("00000800");
        QTest::newRow("Range at 0x0000, on its own scale") << b("01000000123000") << 26 + 4 * 9 << b("00000003");
        QTest::newRow("Low Pass level 510 is 12 of 24") << b("0100AF003FC000") << 26 + 4 * 5 << b("0000000C");
        QTest::newRow("assignment") << b("040100000001000BFFFFFFFFFFFFFFFE") << 7 << b("0100000001000BFFFFFFFFFFFFFFFE");
        QTest::newRow("footswitch short CP long Bypass") << b("080101") << 4 << b("03");
        QTest::newRow("tuning Standard -1") << b("0901FF") << 5 << b("01FF");
        QTest::newRow("note filters leave the tuning") << b("090206") << 5 << b("0000");
        QTest::newRow("bypass on") << b("0D01") << 22 << b("01");
        QTest::newRow("store bypass") << b("1001") << 23 << b("01");
        QTest::newRow("instrument Low, right checksum") << b("0FBA0203040506B3") << 24 << b("BA");
        QTest::newRow("instrument Low, wrong checksum") << b("0FBA0203040506B4") << 24 << b("FF");
        QTest::newRow("MIDI channel 12") << b("070C") << 25 << b("0C");
    }
    void messagesChangeTheState()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, position);
        QFETCH(QByteArray, reported);
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        feed(pedal, message);
        QCOMPARE(pedal.deviceInformationValues().mid(position, reported.size()).toHex(), reported.toHex());
        QCOMPARE(pedal.record.size(), 1);
        QCOMPARE(pedal.record[0].bytes, message);
    }

    void answersTheRequestInItsTextForm()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        feed(pedal, QByteArray::fromHex("0200"));
        const QByteArray answer = drain(pedal, clock);
        QVERIFY(answer.startsWith("\n15\r\n0\r\n21\r\n0\r\n")); // firmware 15, algorithm 00 15 in BCD
        QCOMPARE(answer.count('\r'), 106);
        QCOMPARE(pedal.deviceInformationValues().size(), 106);
    }

    void messagesSplitAcrossWritesAreJoined()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        feed(pedal, QByteArray::fromHex("0100"));
        feed(pedal, QByteArray::fromHex("27003FC1000D01"));
        QCOMPARE(pedal.record.size(), 2);
        QCOMPARE(pedal.state.parameters[0], 0x003FC100u);
        QCOMPARE(pedal.state.bypass, quint8(1));
    }

    void settingsMemoryEraseAndRead()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        QVERIFY(pedal.state.settingsMemory.startsWith("QMK3 SETTINGS")); // a memory in use
        pedal.state.settingsMemory[100] = 0x12;
        feed(pedal, QByteArray::fromHex("0C5000000000"));
        QByteArray dump = drain(pedal, clock);
        QCOMPARE(dump.size(), 16385);
        QCOMPARE(quint8(dump[0]), quint8(0xAB));
        QCOMPARE(quint8(dump[101]), quint8(0x12));
        // There is no memory at 51: its erase changes nothing and its read is not answered.
        const QByteArray before = pedal.state.settingsMemory;
        feed(pedal, QByteArray::fromHex("0B51000000"));
        feed(pedal, QByteArray::fromHex("0C5100000000"));
        QVERIFY(drain(pedal, clock).isEmpty());
        QCOMPARE(pedal.state.settingsMemory, before);
        feed(pedal, QByteArray::fromHex("0B50000000"));
        feed(pedal, QByteArray::fromHex("0C5000000000"));
        dump = drain(pedal, clock);
        QCOMPARE(dump.mid(1), QByteArray(16384, char(0xFF)));
        // A fault cuts the dump short.
        pedal.faults.dumpBytes = 700;
        feed(pedal, QByteArray::fromHex("0C5000000000"));
        QCOMPARE(drain(pedal, clock).size(), 701);
    }

    // At 115,200 baud the dump takes about 1.42 s: a poll every 50 ms finds it in many pieces.
    void settingsMemoryDumpLeavesAtTheWiresPace()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.wireTiming = true;
        feed(pedal, QByteArray::fromHex("0C5000000000"));
        QList<int> reads;
        int total = 0;
        for (int t = 0; t < 2000 && total < 16385; t += 50) {
            const int n = int(drain(pedal, clock, 50).size());
            total += n;
            if (n > 0)
                reads << n;
        }
        QCOMPARE(total, 16385);
        QVERIFY2(reads.size() >= 28 && reads.size() <= 30, qPrintable(QString::number(reads.size())));
        QVERIFY(*std::max_element(reads.begin(), reads.end()) <= 577);
    }

    void algorithmImageIsAnsweredWithSeventeenBytes()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.state.algorithm = 14;
        QByteArray image(4256, '\0');
        image[1] = char(0x10);
        image[2] = char(0xA0);
        image.replace(47, 32, "QUARNELO STAND-IN ALGORITHM 0015");
        feed(pedal, image.left(1000));
        QVERIFY(pedal.record.isEmpty());
        feed(pedal, image.mid(1000));
        QCOMPARE(drain(pedal, clock), QByteArray("Algorithm 0015 OK"));
        QCOMPARE(pedal.state.algorithm, quint16(15));
        QCOMPARE(pedal.state.algorithmImage.size(), 4256);
    }

    void wireTimingPacesTheAnswer()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.wireTiming = true;
        feed(pedal, QByteArray::fromHex("0200"));
        const int total = pedal.pending();
        clock.advance(1 + 10); // 10 ms of a 115200 baud line carry 115 bytes at 10 bits a byte
        QVERIFY(pedal.available() > 100 && pedal.available() < 130);
        clock.advance(100);
        QCOMPARE(pedal.available(), total);
    }

    void faults()
    {
        ManualClock clock;
        SimulatedPedal silent(&clock);
        silent.faults.silent = true;
        feed(silent, QByteArray::fromHex("0200"));
        QCOMPARE(drain(silent, clock), QByteArray());

        SimulatedPedal unplugging(&clock);
        unplugging.faults.unplugAfterBytes = 3;
        feed(unplugging, QByteArray::fromHex("070C0D01"));
        QVERIFY(unplugging.unplugged());
        QCOMPARE(unplugging.bytesReceived, 3);
        QCOMPARE(unplugging.state.midiChannel, quint8(12)); // the first message got through
    }

    void bootloaderWritesFlashAndStartsTheFirmware()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.state.firmware = 9;
        feed(pedal, QByteArray::fromHex("0500010203040506"));
        QVERIFY(pedal.inBootloader);
        QByteArray acks;
        auto step = [&](const char *hex) {
            feed(pedal, QByteArray::fromHex(hex));
            acks += drain(pedal, clock, 100);
        };
        step("7F");           // sync
        step("43BC");         // erase
        step("FF00");         // global
        step("31CE");         // write memory
        step("0801FC00F5");   // at the firmware number record
        step("07" "00000000000000" "0F" "08"); // N=7, eight bytes ending in 15, checksum
        step("21DE");         // go
        step("0800000008");
        QCOMPARE(acks.toHex(), QByteArray("7979797979797979"));
        QVERIFY(!pedal.inBootloader);
        QCOMPARE(pedal.state.firmware, quint8(15));
    }

    void bootloaderRefusesBadFrames()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.startInBootloader(true);
        feed(pedal, QByteArray::fromHex("31CD")); // complement wrong
        feed(pedal, QByteArray::fromHex("31CE0800000009")); // address checksum wrong
        QCOMPARE(drain(pedal, clock, 100).toHex(), QByteArray("1f791f"));
        SimulatedPedal refusing(&clock);
        refusing.inBootloader = true;
        refusing.faults.nack = true;
        feed(refusing, QByteArray::fromHex("7F"));
        QCOMPARE(drain(refusing, clock, 100).toHex(), QByteArray("1f"));
    }

    // Synchronised once, the bootloader takes 0x7F as the first byte of a command and waits for
    // its complement however long that takes, as the real one does: 7F 7F 7F after a reset
    // answer ACK, nothing, NACK. Entering the bootloader again starts it fresh.
    void bootloaderTakesUpASynchronisation_data()
    {
        QTest::addColumn<bool>("inBootloader");
        QTest::addColumn<QStringList>("sent");    // one step each, a second of the clock apart
        QTest::addColumn<QStringList>("answers"); // what each step brought back
        QTest::newRow("7F 7F 7F after a reset: ACK, nothing, NACK")
            << true << QStringList{"7F", "7F", "7F"} << QStringList{"79", "", "1f"};
        QTest::newRow("after the NACK a command is taken")
            << true << QStringList{"7F", "7F", "7F", "01FE"} << QStringList{"79", "", "1f", "7922000079"};
        QTest::newRow("a command's first byte waits for its complement")
            << true << QStringList{"7F", "31", "CE"} << QStringList{"79", "", "79"};
        // It measures the line's speed on its first 0x7F and answers nothing before it.
        QTest::newRow("before its first 0x7F: Get, Get Version and 02 00 unanswered")
            << true << QStringList{"00FF", "01FE", "0200", "7F", "01FE"} << QStringList{"", "", "", "79", "7922000079"};
        QTest::newRow("the enter-bootloader request starts it fresh")
            << false << QStringList{"0500010203040506", "7F", "21DE", "0800000008", "0500010203040506", "7F"}
            << QStringList{"", "79", "79", "79", "", "79"};
    }
    void bootloaderTakesUpASynchronisation()
    {
        QFETCH(bool, inBootloader);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, answers);
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.inBootloader = inBootloader;
        QStringList got;
        for (const QString &step : sent) {
            feed(pedal, QByteArray::fromHex(step.toLatin1()));
            got << QString::fromLatin1(drain(pedal, clock, 1000).toHex());
        }
        QCOMPARE(got, answers);
    }

    void bootFaultsByName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("block");
        using K = BootFault::Kind;
        using S = BootFault::Step;
        QTest::newRow("a refused read at block 50") << "nack@read:50" << true << int(K::Nack) << int(S::ReadBack) << 50;
        QTest::newRow("the record read back changed")
            << "flip@read:record" << true << int(K::Flip) << int(S::ReadBack) << BootFault::RecordBlock;
        QTest::newRow("a block written changed") << "flip@block:3" << true << int(K::Flip) << int(S::Block) << 3;
        QTest::newRow("a read beyond the blocks") << "nack@read:508" << false << 0 << 0 << 0;
        QTest::newRow("nothing to change at Go") << "flip@go" << false << 0 << 0 << 0;
        QTest::newRow("the acknowledge of 0x7F changed") << "flip@sync" << true << int(K::Flip) << int(S::Sync) << 1;
        QTest::newRow("the first two 0x7F lost") << "silent@sync:2" << true << int(K::Silent) << int(S::Sync) << 2;
        QTest::newRow("no 0x7F at all") << "silent@sync:0" << false << 0 << 0 << 0;
    }
    void bootFaultsByName()
    {
        QFETCH(QString, text);
        QFETCH(bool, parsed);
        QFETCH(int, kind);
        QFETCH(int, step);
        QFETCH(int, block);
        BootFault f;
        QCOMPARE(BootFault::parse(text, &f), parsed);
        if (parsed) {
            QCOMPARE(int(f.kind), kind);
            QCOMPARE(int(f.step), step);
            QCOMPARE(f.block, block);
        }
    }

    // A flipped byte: in the flash as a block is written, or only in the Read Memory answer.
    void flippedBytes()
    {
        ManualClock clock;
        const QByteArray writeWord = QByteArray::fromHex("7F" "31CE" "0800000008" "03" "11223344" "47");
        const QByteArray readWord = QByteArray::fromHex("11EE" "0800000008" "03FC");
        SimulatedPedal inFlash(&clock);
        inFlash.inBootloader = true;
        BootFault::parse(QStringLiteral("flip@block:0"), &inFlash.bootFault);
        feed(inFlash, writeWord + readWord);
        QCOMPARE(drain(inFlash, clock, 1000).toHex(), QByteArray("79797979" "797979" "11223345"));
        QCOMPARE(inFlash.state.flash.left(4).toHex(), QByteArray("11223345"));

        SimulatedPedal inAnswer(&clock);
        inAnswer.inBootloader = true;
        BootFault::parse(QStringLiteral("flip@read"), &inAnswer.bootFault);
        feed(inAnswer, writeWord + readWord + readWord);
        QCOMPARE(drain(inAnswer, clock, 1000).toHex(), QByteArray("79797979" "797979" "11223244" "797979" "11223344"));
        QCOMPARE(inAnswer.state.flash.left(4).toHex(), QByteArray("11223344"));
    }

    // The bootloader writes whole words into erased flash only, checks its checksums, and
    // takes as long as the wire and the flash do.
    void bootloaderKeepsToTheFlashRules_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answers");
        QTest::newRow("Get lists the commands")
            << QByteArray::fromHex("00FF") << QByteArray::fromHex("7907220001021121314379");
        QTest::newRow("Get ID: product 0x410") << QByteArray::fromHex("02FD") << QByteArray::fromHex("7901041079");
        QTest::newRow("a word into erased flash")
            << QByteArray::fromHex("31CE" "0800000008" "03" "11223344" "47") << QByteArray::fromHex("797979");
        QTest::newRow("three bytes: not whole words")
            << QByteArray::fromHex("31CE" "0800000008" "02" "112233" "02") << QByteArray::fromHex("79791F");
        QTest::newRow("the same word twice: not erased any more")
            << QByteArray::fromHex("31CE" "0800000008" "03" "11223344" "47" "31CE" "0800000008" "03" "11223344" "47")
            << QByteArray::fromHex("7979797979" "1F");
        QTest::newRow("erase page 0 makes it writable again")
            << QByteArray::fromHex("31CE" "0800000008" "03" "11223344" "47" "43BC" "000000" "31CE" "0800000008" "03" "11223344" "47")
            << QByteArray::fromHex("797979" "7979" "797979");
        QTest::newRow("a page list with a wrong checksum") << QByteArray::fromHex("43BC" "000001") << QByteArray::fromHex("791F");
    }
    void bootloaderKeepsToTheFlashRules()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.startInBootloader(true);
        feed(pedal, sent);
        QCOMPARE(drain(pedal, clock, 1000).toHex(' '), answers.toHex(' '));
    }

    void bootloaderPacesTheWire()
    {
        ManualClock clock;
        SimulatedPedal pedal(&clock);
        pedal.startInBootloader(true);
        pedal.wireTiming = true;
        // 258 bytes of a data frame at 11 bits a byte take 24.6 ms to arrive, then 128
        // half-words take 6.7 ms to program; only then does the acknowledge leave.
        feed(pedal, QByteArray::fromHex("31CE0800000008"));
        clock.advance(100);
        QByteArray acks(pedal.available(), '\0');
        pedal.take(reinterpret_cast<unsigned char *>(acks.data()), int(acks.size()));
        QCOMPARE(acks.toHex(), QByteArray("7979"));
        QByteArray frame(1, char(0xFF));
        frame += QByteArray(256, '\0');
        frame += char(0xFF);
        feed(pedal, frame);
        clock.advance(30);
        QCOMPARE(pedal.available(), 0);
        clock.advance(3);
        QCOMPARE(pedal.available(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
