// The firmware upgrade: the bootloader's frames, the image's blocks and the checks before the
// erase, and whole upgrades against the in-process simulated pedal, with a fault at each step.
#include "support/Finish.h"
#include "FirmwareRig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>


class TestFirmware : public QObject {
    Q_OBJECT
private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("address 0x08000000") << Bootloader::addressFrame(0x08000000) << hex("0800000008");
        QTest::newRow("address 0x0801FC00") << Bootloader::addressFrame(0x0801FC00) << hex("0801FC00F5");
        // Every byte counts in the checksum, the last one too: 08 ^ 00 ^ 01 ^ 04 = 0D.
        QTest::newRow("address 0x08000104: a last byte that is not zero")
            << Bootloader::addressFrame(0x08000104) << hex("080001040D");
        QTest::newRow("a one-byte chunk") << Bootloader::dataFrame(hex("A7")) << hex("00A7A7");
        QByteArray full(256, '\0');
        for (int i = 0; i < 256; ++i)
            full[i] = char(i);
        QTest::newRow("a full chunk: N = FF, checksum FF xor 0..255")
            << Bootloader::dataFrame(full).left(1) + Bootloader::dataFrame(full).right(1) << hex("FFFF");
        QTest::newRow("firmware record 15") << Bootloader::firmwareRecord(15) << hex("07000000000000000F08");
        QTest::newRow("firmware record 5") << Bootloader::firmwareRecord(5) << hex("07000000000000000502");
    }
    void frames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    // One Write Memory's log lines, as the console shows them; a NACK is said as such.
    void logLinesOfOneBlock()
    {
        Rig rig(12);
        rig.intoBootloader();
        Bootloader &boot = rig.upgrade.bootloader();
        const int from = int(rig.core.log.lines().size());
        QCOMPARE(finished(boot.writeBlock(0x08000000, hex("00500020"))), Bootloader::Answer::Ack);
        const QStringList expected = {"SEND WRITE COMMAND", "num of bytes received: 1", "firmware_upgrade_mode: True",
                                      "received: 79", "ACK", "SEND ADDRESS + CHECKSUM", "Address: 08000000",
                                      "address checksum: 08", "num of bytes received: 1", "firmware_upgrade_mode: True",
                                      "received: 79", "ACK", "SEND N BYTE + DATA + CHECKSUM", "N_byte: 03",
                                      "chunk size: 4", "data checksum: 73", "num of bytes received: 1",
                                      "firmware_upgrade_mode: True", "received: 79", "ACK", "", ""};
        QCOMPARE(rig.core.log.lines().mid(from), expected);
        QCOMPARE(boot.currentAddress, quint32(0x08000004));
        // The same word again: the flash is not erased there any more.
        QCOMPARE(finished(boot.writeBlock(0x08000000, hex("00500020"))), Bootloader::Answer::Nack);
        QCOMPARE(rig.core.log.lines().mid(rig.core.log.lines().size() - 2), QStringList({"received: 1F", "NOT ACK"}));
        QCOMPARE(boot.currentAddress, quint32(0x08000000));
    }

    void carriedImagesAndBlocks()
    {
        for (int n : StandInImages::firmwareNumbers()) {
            const QByteArray image = carried(n);
            QCOMPARE(image, StandInImages::firmwareImage(n)); // the tool made them
            QCOMPARE(image.size(), StandInImages::firmwareSize(n));
            QVERIFY(StandInImages::isStandInFirmware(image));
            QByteArray checked = image;
            QCOMPARE(FirmwareImage::check(&checked), QString());
            QCOMPARE(checked, image); // every carried size is whole words: nothing padded
        }
        QByteArray byName;
        QVERIFY(FirmwareImage::loadCarried(QStringLiteral("Firmware_15"), &byName, nullptr));
        QCOMPARE(byName.size(), 53544);

        const QList<QByteArray> blocks = FirmwareImage::blocks(byName);
        QCOMPARE(blocks.size(), 210);
        QCOMPARE(blocks.first().size(), 256);
        QCOMPARE(blocks.last().size(), 40);
        QCOMPARE(blocks.last(), byName.right(40));

        const QByteArray whole = imageWith(0x20005000, 0x08000131, 256 * 3);
        const QList<QByteArray> three = FirmwareImage::blocks(whole);
        QCOMPARE(three.size(), 3);
        QCOMPARE(three.last(), whole.right(256));

        QCOMPARE(FirmwareImage::numberFromName(QStringLiteral("Firmware_5"), 15), 5);
        QCOMPARE(FirmwareImage::numberFromName(QStringLiteral("Firmware_15"), 5), 15);
        QCOMPARE(FirmwareImage::numberFromName(QStringLiteral("Firmware"), 7), 7);
    }

    void checksBeforeTheErase_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("reason"); // a part of the refusal; empty: accepted
        QTest::addColumn<int>("writtenSize");
        QTest::newRow("empty") << QByteArray() << "empty" << 0;
        QTest::newRow("shorter than a vector table") << QByteArray(6, '\0') << "too few" << 0;
        QTest::newRow("reaches the firmware number record")
            << imageWith(0x20005000, 0x08000131, 130052) << "at most 130048" << 0;
        QTest::newRow("ends just below the record") << imageWith(0x20005000, 0x08000131, 130048) << "" << 130048;
        QTest::newRow("stack pointer not in RAM") << imageWith(0x08005000, 0x08000131, 1024) << "not in RAM" << 0;
        QTest::newRow("reset vector not Thumb") << imageWith(0x20005000, 0x08000130, 1024) << "not a Thumb address" << 0;
        QTest::newRow("reset vector past the image") << imageWith(0x20005000, 0x08000401, 1024) << "inside the image" << 0;
        QTest::newRow("reset vector below the flash") << imageWith(0x20005000, 0x00000131, 1024) << "inside the image" << 0;
        QTest::newRow("odd length: padded to whole words") << imageWith(0x20005000, 0x08000131, 1021) << "" << 1024;
        // The edges: the largest image and one byte more; the smallest, a vector table and one word.
        QTest::newRow("one byte past the largest") << imageWith(0x20005000, 0x08000131, 130049) << "at most 130048" << 0;
        QTest::newRow("the smallest: the table and one word") << imageWith(0x20005000, 0x08000041, 68) << "" << 68;
        QTest::newRow("one byte short of the smallest") << imageWith(0x20005000, 0x08000041, 67) << "too few" << 0;
        // Every entry of the vector table: the stack pointer into RAM, each handler (or zero, an
        // unused entry) into code inside the image.
        const auto withVector = [](int v, quint32 value) {
            QByteArray image = imageWith(0x20005000, 0x08000131, 1024);
            qToLittleEndian(value, image.data() + 4 * v);
            return image;
        };
        QTest::newRow("stack pointer past the RAM's 20 KiB") << withVector(0, 0x20005004) << "not in RAM" << 0;
        QTest::newRow("NMI handler past the image's end") << withVector(2, 0x08000401) << "vector 2 0x08000401" << 0;
        QTest::newRow("hard fault handler at the image's last byte") << withVector(3, 0x080003FF) << "" << 1024;
        QTest::newRow("a handler in RAM, outside the flash") << withVector(3, 0x20000101) << "vector 3 0x20000101" << 0;
        QTest::newRow("a handler inside the vector table") << withVector(11, 0x08000011) << "vector 11" << 0;
        QTest::newRow("the last core vector past the image") << withVector(15, 0x08100001) << "vector 15" << 0;
        QTest::newRow("an unused entry left zero") << withVector(7, 0) << "" << 1024;
        QTest::newRow("a zero reset vector") << withVector(1, 0) << "reset vector" << 0;
        QTest::newRow("a carried image cut to 1000 bytes") << carried(15).left(1000) << "reset vector 0x0800d125" << 0;
    }
    void checksBeforeTheErase()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, reason);
        QFETCH(int, writtenSize);
        QByteArray checked = image;
        const QString problem = FirmwareImage::check(&checked);
        if (reason.isEmpty()) {
            QCOMPARE(problem, QString());
            QCOMPARE(checked.size(), writtenSize);
            QCOMPARE(checked.left(image.size()), image);
            QCOMPARE(checked.mid(image.size()), QByteArray(writtenSize - image.size(), char(0xFF)));
        } else {
            QVERIFY2(problem.contains(reason), qPrintable(problem));
        }

        // Refused before anything reaches the pedal's bootloader.
        Rig rig;
        rig.intoBootloader();
        const int before = int(rig.pedal()->record.size());
        const auto outcome = finished(rig.upgrade.upgradeImage(image, 15, QStringLiteral("test.bin")));
        QCOMPARE(outcome, reason.isEmpty() ? FirmwareUpgrade::Outcome::Done : FirmwareUpgrade::Outcome::Refused);
        if (!reason.isEmpty()) {
            QCOMPARE(rig.pedal()->record.size(), before);
            QVERIFY(rig.prompts.messages.last().endsWith("Nothing in the pedal was changed."));
        }
    }

    // Upgrade Mode on a pedal running firmware 12: SHIFT question, enter-bootloader request,
    // handshake; then the upgrade, the read-back, Go and the request that shows firmware 15.
    void upgradeModeUpgradesAndRestarts()
    {
        Rig rig(12);
        finished(rig.service.linkSimulated());
        QSignalSpy ready(&rig.service, &PedalService::bootloaderReady);
        QSignalSpy mode(&rig.upgrade, &FirmwareUpgrade::upgradeModeChanged);
        rig.pedal()->record.clear();
        finished(rig.upgrade.chooseUpgradeMode());
        QCOMPARE(rig.prompts.questions, QStringList{"Keep SHIFT button on the pedal pressed and click YES."});
        QCOMPARE(rig.pedal()->record.value(0).bytes, hex("0D01"));
        QCOMPARE(rig.pedal()->record.value(1).bytes, hex("0500010203040506"));
        QCOMPARE(rig.pedal()->record.value(2).bytes, hex("7F"));
        QCOMPARE(ready.size(), 1);
        QVERIFY(rig.logged("received Byte from bootloader: 79"));
        QCOMPARE(rig.prompts.messages.last(), QString("Release SHIFT button and click OK."));
        QCOMPARE(rig.core.d2xx->FTParity, quint8(2));
        QVERIFY(!rig.core.comm.pollRunning());
        QCOMPARE(rig.core.comm.linkState().state(), LinkState::State::Bootloader);

        rig.upgrade.selectImage(QStringLiteral("Firmware_15"));
        QVERIFY(rig.logged("Firmware Version(DEC): 15"));
        QSignalSpy progress(&rig.upgrade, &FirmwareUpgrade::progress);
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);

        const QByteArray image = carried(15);
        QCOMPARE(rig.flash(image.size()), image);
        QCOMPARE(rig.pedal()->state.flash.mid(0x1FC00, 8), hex("000000000000000F"));
        QVERIFY(!rig.pedal()->inBootloader);
        QVERIFY(!rig.pedal()->dead);
        QCOMPARE(rig.service.state().reported->firmware, 15);
        QCOMPARE(rig.service.deviceFirmwareText(), QString("15"));
        QCOMPARE(rig.core.comm.linkState().state(), LinkState::State::RunningFirmware);
        QCOMPARE(rig.core.comm.linkState().firmware(), 15);
        QCOMPARE(rig.core.d2xx->FTParity, quint8(0));
        QVERIFY(rig.core.comm.pollRunning());
        QVERIFY(!rig.upgrade.upgradeModeOn());
        QCOMPARE(mode.last().first().toBool(), false);
        QVERIFY(rig.logged("num of chunks: 209"));
        QVERIFY(rig.logged("num of bytes last chunk: 40"));
        QVERIFY(rig.logged("N_byte: 27")); // the last block: 40 bytes, N = 39
        QVERIFY(rig.logged("read-back: the flash holds the image"));
        QCOMPARE(rig.prompts.messages.last(), QString("Firmware Upgrade Complete, device will now restart"));
        // Progress counts blocks and bytes, and ends at the whole image.
        QCOMPARE(progress.last().at(0).toInt(), 210);
        QCOMPARE(progress.last().at(1).toInt(), 210);
        QCOMPARE(progress.last().at(2).toLongLong(), 53544);
        // Frames go out one after the other, each after its acknowledge: 210 writes and a record,
        // then 210 reads and the record's, then one Go at the very end.
        QCOMPARE(rig.pedal()->messagesWith(0x21).size(), 1);
        qsizetype go = -1, lastRead = -1;
        for (qsizetype i = 0; i < rig.pedal()->record.size(); ++i) {
            const QByteArray &m = rig.pedal()->record[i].bytes;
            if (m == hex("21DE"))
                go = i;
            if (m == hex("11EE"))
                lastRead = i;
        }
        QVERIFY(go > lastRead);
        QCOMPARE(rig.pedal()->record.value(go + 1).bytes, hex("0800000008"));
        QCOMPARE(rig.pedal()->record.value(go + 2).bytes, hex("0200")); // the fresh request
        qInfo("a whole upgrade takes %lld ms of the test's clock", rig.clock.nowMs());
        QCOMPARE(rig.pedal()->messagesWith(0x31).size(), 211);
        QCOMPARE(rig.pedal()->messagesWith(0x11).size(), 211);
        QVERIFY(rig.logged("read-back: the firmware number record holds firmware 15"));
    }

    void theLegacyWay()
    {
        Rig rig(7);
        rig.pedal()->inBootloader = true; // plugged in with SHIFT held
        finished(rig.upgrade.chooseUpgradeMode()); // not linked: only the flags
        QVERIFY(rig.upgrade.upgradeModeOn());
        QVERIFY(rig.core.comm.legacyUpgradeMode());
        QVERIFY(rig.pedal()->record.isEmpty());
        QSignalSpy ready(&rig.service, &PedalService::bootloaderReady);
        finished(rig.service.linkSimulated());
        QCOMPARE(ready.size(), 1);
        QCOMPARE(rig.prompts.messages.last(),
                 QString("Connection to bootloader succeeded, ready for firmware upgrade"));
        QVERIFY(!rig.received(hex("0200")));
        QCOMPARE(rig.service.gate(), GateState::BootloaderLinked);
        rig.upgrade.selectImage(QStringLiteral("Firmware_14"));
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.service.state().reported->firmware, 14);
        QCOMPARE(rig.flash(53400), carried(14));
    }

    void noToTheShiftQuestionSendsOnlyBypass()
    {
        Rig rig(12);
        finished(rig.service.linkSimulated());
        rig.pedal()->record.clear();
        rig.prompts.answers = {false};
        finished(rig.upgrade.chooseUpgradeMode());
        QCOMPARE(rig.pedal()->record.size(), 1);
        QCOMPARE(rig.pedal()->record.first().bytes, hex("0D01"));
        QVERIFY(!rig.upgrade.upgradeModeOn());
        QVERIFY(!rig.pedal()->inBootloader);
    }

    // Upgrade Mode on a linked pedal: firmware older than 9 cannot enter its bootloader on
    // request, so only the flags change; from 9 on the SHIFT question comes (answered No here).
    void upgradeModeWayByReportedFirmware_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("legacy");
        QTest::newRow("0") << 0 << true;
        QTest::newRow("1") << 1 << true;
        QTest::newRow("8") << 8 << true;
        QTest::newRow("9") << 9 << false;
        QTest::newRow("10") << 10 << false;
        QTest::newRow("99") << 99 << false;
    }
    void upgradeModeWayByReportedFirmware()
    {
        QFETCH(int, firmware);
        QFETCH(bool, legacy);
        Rig rig(firmware);
        finished(rig.service.linkSimulated());
        QCOMPARE(rig.service.deviceFirmwareText(), QString::number(firmware));
        QCOMPARE(rig.core.comm.linkState().firmware(), firmware);
        rig.pedal()->record.clear();
        rig.prompts.questions.clear();
        rig.prompts.answers = {false};
        finished(rig.upgrade.chooseUpgradeMode());
        QCOMPARE(rig.core.comm.legacyUpgradeMode(), legacy);
        QCOMPARE(rig.upgrade.upgradeModeOn(), legacy);
        QCOMPARE(rig.prompts.questions.contains("Keep SHIFT button on the pedal pressed and click YES."), !legacy);
        QCOMPARE(rig.pedal()->record.isEmpty(), legacy);
        QCOMPARE(rig.core.comm.linkState().state(), LinkState::State::RunningFirmware);
    }

    void failedHandshakeGoesBackToNormal_data()
    {
        QTest::addColumn<int>("kind");
        // (A NACK to 0x7F is a bootloader synchronised before, and one 0x7F lost on the way is no
        // fault: see takesUpABootloaderSynchronisedBefore.) Silence: nothing answers either 0x7F.
        QTest::newRow("silence") << int(BootFault::Kind::Silent);
        QTest::newRow("unplug") << int(BootFault::Kind::Unplug);
    }
    void failedHandshakeGoesBackToNormal()
    {
        QFETCH(int, kind);
        Rig rig(12);
        finished(rig.service.linkSimulated());
        QSignalSpy mode(&rig.upgrade, &FirmwareUpgrade::upgradeModeChanged);
        const bool silence = BootFault::Kind(kind) == BootFault::Kind::Silent;
        if (silence) {
            rig.pedal()->faults.silent = true;
        } else {
            rig.pedal()->bootFault.kind = BootFault::Kind(kind);
            rig.pedal()->bootFault.step = BootFault::Step::Sync;
        }
        const qint64 started = rig.clock.nowMs();
        finished(rig.upgrade.chooseUpgradeMode());
        rig.pedal()->faults.silent = false;
        // The settle pause, then one byte's limit (two for silence: 0x7F goes twice).
        QVERIFY(rig.clock.nowMs() - started <= 200 + (silence ? 2000 : 1000) + 50);
        QVERIFY(rig.prompts.messages.contains("Connection to bootloader failed"));
        QVERIFY(!rig.upgrade.upgradeModeOn());
        QCOMPARE(mode.last().first().toBool(), false);
        QCOMPARE(rig.core.d2xx->FTParity, quint8(0));
        QVERIFY(!rig.core.comm.bootloaderLinked());
        QVERIFY(rig.pedal()->messagesWith(0x43).isEmpty());
        if (BootFault::Kind(kind) == BootFault::Kind::Unplug) {
            QVERIFY(!rig.core.comm.linked());
            rig.pedal()->plugIn(false); // plugged in again: it runs its firmware
            finished(rig.service.linkSimulated());
        } else {
            QVERIFY(rig.core.comm.pollRunning());
        }
        // Again: this time the bootloader answers (the pedal may already wait there).
        finished(rig.upgrade.chooseUpgradeMode());
        QVERIFY(rig.core.comm.bootloaderLinked());
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    // A fault at one step stops the upgrade there: nothing more is sent, no Go, the pedal stays
    // in its bootloader, the user is told; and a second attempt succeeds.
    void faultAtEachStep_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("block");
        QTest::addColumn<QString>("stoppedAt");
        using K = BootFault::Kind;
        using S = BootFault::Step;
        const struct {
            const char *name;
            S step;
            int block;
            const char *at;
        } steps[] = {
            {"erase", S::Erase, 0, "the erase"},
            {"block 0", S::Block, 0, "block 1 of 210"},
            {"block 105", S::Block, 105, "block 106 of 210"},
            {"the last block", S::Block, 209, "block 210 of 210"},
            {"the record", S::Record, 0, "the firmware number record"},
            {"the read-back", S::ReadBack, 0, "the read-back of block 1"},
            {"Go", S::Go, 0, ""},
        };
        const struct {
            const char *name;
            K kind;
        } kinds[] = {{"NACK", K::Nack}, {"silence", K::Silent}, {"unplug", K::Unplug}};
        for (const auto &k : kinds)
            for (const auto &s : steps)
                QTest::addRow("%s at %s", k.name, s.name) << int(k.kind) << int(s.step) << s.block << QString(s.at);
    }
    void faultAtEachStep()
    {
        QFETCH(int, kind);
        QFETCH(int, step);
        QFETCH(int, block);
        QFETCH(QString, stoppedAt);
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault.kind = BootFault::Kind(kind);
        rig.pedal()->bootFault.step = BootFault::Step(step);
        rig.pedal()->bootFault.block = block;
        const bool unplug = BootFault::Kind(kind) == BootFault::Kind::Unplug;
        const bool atGo = BootFault::Step(step) == BootFault::Step::Go;
        const bool readBack = BootFault::Step(step) == BootFault::Step::ReadBack;

        const qint64 started = rig.clock.nowMs();
        const auto outcome = finished(rig.upgrade.upgrade());
        // A whole upgrade takes about 25 s of this clock (the wire's pace, and waits that look
        // every 10 ms); a fault adds at most one time limit (10 s for the erase, 1 s for any
        // other answer).
        QVERIFY2(rig.clock.nowMs() - started < 25000 + 10000, qPrintable(QString::number(rig.clock.nowMs() - started)));
        if (BootFault::Kind(kind) == BootFault::Kind::Silent)
            QVERIFY(rig.logged(BootFault::Step(step) == BootFault::Step::Erase
                                   ? "no answer from the bootloader within 10000 ms"
                                   : "no answer from the bootloader within 1000 ms")
                    || BootFault::Step(step) == BootFault::Step::ReadBack);

        // A read-back that could not be done is no success, and a refusal is no read protection
        // (that would have refused the erase and the writes): written, but not verified.
        QCOMPARE(outcome, readBack ? FirmwareUpgrade::Outcome::Unverified : FirmwareUpgrade::Outcome::Failed);
        QCOMPARE(rig.upgrade.writtenUnverified(), readBack);
        QCOMPARE(rig.prompts.messages.contains("Firmware Upgrade Complete, device will now restart"), atGo);
        QVERIFY(!rig.upgrade.running());
        const QString told = rig.prompts.messages.filter("firmware", Qt::CaseInsensitive).join('\n');
        if (atGo) {
            // Everything was written and read back; only the start was not confirmed.
            QVERIFY2(told.contains("did not confirm that it left its bootloader"), qPrintable(told));
            QCOMPARE(rig.pedal()->messagesWith(0x21).size(), 1);
        } else {
            QVERIFY2(told.contains("The firmware upgrade stopped at " + stoppedAt), qPrintable(told));
            QVERIFY2(told.contains(unplug     ? "Connect it again while holding SHIFT"
                                   : readBack ? "The pedal stays in its bootloader. Choose Upgrade Firmware to try again."
                                              : "The pedal stays in its bootloader; its "
                                                "firmware is erased or incomplete. Choose Upgrade Firmware to try again."),
                     qPrintable(told));
            if (readBack)
                QVERIFY2(told.contains("Firmware_15 was written but not verified"), qPrintable(told));
            QVERIFY(rig.pedal()->messagesWith(0x21).isEmpty()); // no Go into a half-written flash
            QVERIFY(rig.upgrade.flashIncomplete());
            // The line keeps the bootloader's settings while the pedal is there.
            if (!unplug)
                QCOMPARE(rig.core.d2xx->FTParity, quint8(2));
            // Nothing was sent after the step that failed.
            const QByteArray last = rig.pedal()->record.last().bytes;
            if (BootFault::Step(step) == BootFault::Step::Erase)
                QCOMPARE(last, hex("FF00"));
            else if (BootFault::Step(step) == BootFault::Step::ReadBack)
                QCOMPARE(last, hex("FF00")); // N = 255 and its complement
            else
                QCOMPARE(int(quint8(last[0])) + 3, int(last.size())); // the data frame of that step
        }
        if (!unplug)
            QVERIFY(!rig.core.comm.pollRunning());

        // The second attempt.
        if (unplug) {
            QVERIFY(!rig.core.comm.linked());
            QVERIFY(rig.upgrade.upgradeModeOn()); // ready for the legacy way
            rig.pedal()->plugIn(!atGo);            // SHIFT held, unless the firmware is whole
            finished(rig.service.linkSimulated());
            if (atGo) {
                // The firmware was whole: plugged in normally it runs. The link finds no
                // bootloader, turns Upgrade Mode off and asks the pedal for its settings.
                QVERIFY(!rig.upgrade.upgradeModeOn());
                QCOMPARE(rig.service.state().reported->firmware, 15);
                return;
            }
            QVERIFY(rig.core.comm.bootloaderLinked());
        }
        if (atGo && !unplug) {
            QVERIFY(finished(rig.upgrade.closeWindow())); // the image was whole: no question
            QVERIFY(rig.prompts.questions.size() == 1);
            QCOMPARE(rig.service.state().reported->firmware, 15);
            return;
        }
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.flash(53544), carried(15));
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    // While an upgrade runs nothing else reaches the pedal: a second upgrade, the close box,
    // Unlink, Upgrade Mode and every command that writes are refused with a message.
    void oneUpgradeAtATime()
    {
        Rig rig(12);
        rig.intoBootloader();
        QStringList refusals;
        bool tried = false;
        connect(&rig.upgrade, &FirmwareUpgrade::progress, this, [&](int block) {
            if (block != 5 || tried)
                return;
            tried = true;
            const int before = int(rig.prompts.messages.size());
            QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Refused);
            QVERIFY(!finished(rig.upgrade.closeWindow()));
            QVERIFY(!rig.service.unlink());
            finished(rig.upgrade.chooseUpgradeMode());
            QCOMPARE(rig.service.setBypass(true), PedalService::Result::Refused);
            QCOMPARE(finished(rig.service.requestDeviceInformation()), PedalService::Result::Refused);
            QCOMPARE(finished(rig.upgrade.restartDevice()), FirmwareUpgrade::Outcome::Refused);
            refusals = rig.prompts.messages.mid(before);
        });
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QVERIFY(tried);
        QCOMPARE(refusals.size(), 7);
        for (const QString &r : refusals)
            QVERIFY2(r.endsWith("was refused: a firmware upgrade is under way."), qPrintable(r));
        QCOMPARE(rig.pedal()->messagesWith(0x21).size(), 1);
        QCOMPARE(rig.flash(53544), carried(15));
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    void closingAfterAFailureAsksBeforeGo()
    {
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault = {BootFault::Kind::Nack, BootFault::Step::Block, 0};
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Failed);
        rig.prompts.answers = {false};
        QVERIFY(!finished(rig.upgrade.closeWindow()));
        QVERIFY(rig.pedal()->messagesWith(0x21).isEmpty());
        QVERIFY(rig.pedal()->inBootloader);
        rig.prompts.answers = {true};
        QVERIFY(finished(rig.upgrade.closeWindow()));
        QCOMPARE(rig.pedal()->messagesWith(0x21).size(), 1);
        QVERIFY(rig.pedal()->dead); // what the user was warned of: the half-written program does not run
        QVERIFY(!rig.upgrade.upgradeModeOn());
    }

    void closingWithoutUpgradingStartsTheOldFirmware()
    {
        Rig rig(12);
        rig.intoBootloader();
        QVERIFY(finished(rig.upgrade.closeWindow()));
        QVERIFY(rig.prompts.questions.size() == 1); // only the SHIFT question
        QCOMPARE(rig.pedal()->messagesWith(0x21).size(), 1);
        QVERIFY(!rig.pedal()->inBootloader);
        QCOMPARE(rig.service.state().reported->firmware, 12);
        QCOMPARE(rig.core.d2xx->FTParity, quint8(0));
    }

    void fileChosenWithCtrlShiftO()
    {
        Rig rig(12);
        rig.intoBootloader();
        QTemporaryDir dir;
        const QString path = dir.filePath("own.bin");
        QByteArray own = carried(9);
        own.replace(0x200, 8, "OWNIMAGE");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(own);
        f.close();
        rig.upgrade.selectImage(QStringLiteral("Firmware_9"));
        rig.prompts.files = {path};
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.upgrade.upgradeFromFile()), FirmwareUpgrade::Outcome::Cancelled);
        QCOMPARE(rig.prompts.questions.last(), QString("Write own.bin (51152 bytes) into the pedal and record it as firmware 9?"));
        QVERIFY(rig.pedal()->messagesWith(0x43).isEmpty());
        rig.prompts.files = {path};
        QCOMPARE(finished(rig.upgrade.upgradeFromFile()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.flash(own.size()), own); // the file's own bytes, not the chooser's image
        QCOMPARE(rig.service.state().reported->firmware, 9);
    }

    void standInRefusedForARealPedal()
    {
        // The in-process pedal takes stand-ins; a real pedal (here: one the backend calls real) does not.
        CoreRig rig(1);
        rig.scan.looksReal = true;
        SimulatedPedal *real = rig.scan.pedal();
        real->inBootloader = true;
        rig.core.comm.setFirmwareUpgradeMode(true);
        finished(rig.service.scanAndLink());
        QVERIFY(rig.core.comm.bootloaderLinked());
        const int before = int(real->record.size());
        QCOMPARE(finished(rig.service.firmware().upgrade()), FirmwareUpgrade::Outcome::Refused);
        QCOMPARE(real->record.size(), before);
        QVERIFY(rig.prompts.messages.last().contains("is a stand-in for tests and the simulated pedal"));
    }
};

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
