// The firmware upgrade's word on what it did: the read-back with the firmware number record,
// verify, a bootloader left synchronised by an earlier run, the one message after a fault, and
// the question before an older firmware. Against the in-process simulated pedal.
#include "support/Finish.h"
#include "FirmwareRig.h"

#include <QtTest>

namespace {
using K = BootFault::Kind;
using S = BootFault::Step;

// A pedal plugged in with SHIFT held, its flash holding firmware image n and the record.
void holding(Rig &rig, int n, const QByteArray &record)
{
    const QByteArray image = carried(n);
    rig.pedal()->state.flash.replace(0, int(image.size()), image);
    rig.pedal()->state.flash.replace(0x1FC00, int(record.size()), record);
    rig.pedal()->inBootloader = true;
    rig.core.comm.setFirmwareUpgradeMode(true);
    rig.core.comm.setLegacyUpgradeMode(true);
    finished(rig.service.linkSimulated());
    QVERIFY(rig.core.comm.bootloaderLinked());
}
} // namespace

class TestFirmwareVerify : public QObject {
    Q_OBJECT
private slots:
    // The pedal waits in its bootloader, in the state an earlier run left it. The handshake
    // goes as stm32flash's does: ACK, go on; NACK, it was synchronised before (Get Version
    // shows it listens); silence, 0x7F again must be refused. Then the upgrade runs whole.
    void takesUpABootloaderSynchronisedBefore_data()
    {
        QTest::addColumn<QByteArray>("before");  // what an earlier run left unanswered
        QTest::addColumn<int>("fault");          // 0 none, 1 NACK to everything, 2 late, 3 silent, 4 unplug, 5 lost 0x7F
        QTest::addColumn<int>("answer");         // Bootloader::Answer
        QTest::addColumn<int>("bytesSent");      // by the handshake
        QTest::newRow("fresh from a reset: ACK") << QByteArray() << 0 << int(Bootloader::Answer::Ack) << 1;
        QTest::newRow("synchronised: silence, then NACK")
            << hex("7F") << 0 << int(Bootloader::Answer::Ack) << 1 + 1 + 2;
        QTest::newRow("a command's first byte pending: NACK") << hex("7F31") << 0 << int(Bootloader::Answer::Ack) << 1 + 2;
        QTest::newRow("a bootloader that refuses everything") << QByteArray() << 1 << int(Bootloader::Answer::Nack) << 1 + 2;
        // Acknowledged the second time: Get Version tells a lost first 0x7F from a late answer.
        QTest::newRow("a bootloader that answers late") << QByteArray() << 2 << int(Bootloader::Answer::Other) << 2 + 2;
        QTest::newRow("the first 0x7F lost on the way") << QByteArray() << 5 << int(Bootloader::Answer::Ack) << 2 + 2;
        QTest::newRow("nothing answers") << QByteArray() << 3 << int(Bootloader::Answer::NoAnswer) << 2;
        QTest::newRow("unplugged at the handshake") << QByteArray() << 4 << int(Bootloader::Answer::DeviceFailed) << 1;
    }
    void takesUpABootloaderSynchronisedBefore()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, fault);
        QFETCH(int, answer);
        QFETCH(int, bytesSent);
        Rig rig(12);
        SimulatedPedal *pedal = rig.pedal();
        pedal->inBootloader = true;
        pedal->receive(reinterpret_cast<const unsigned char *>(before.constData()), int(before.size()));
        rig.clock.advance(100);
        pedal->purgeArrived();
        pedal->faults.nack = fault == 1;
        pedal->faults.answerDelayMs = fault == 2 ? 1500 : 0;
        pedal->faults.silent = fault == 3;
        if (fault == 4)
            pedal->bootFault = {K::Unplug, S::Sync, 0};
        if (fault == 5)
            pedal->bootFault = {K::Silent, S::Sync, 0};
        rig.core.comm.chooseSimulatedPedal();
        finished(rig.service.link(false)); // as quarnelo-cli links: the normal line first
        const qint64 sentBefore = pedal->bytesReceived;
        const auto a = finished(rig.upgrade.findBootloader());
        QCOMPARE(int(a), answer);
        QCOMPARE(pedal->bytesReceived - sentBefore, bytesSent);
        QCOMPARE(rig.core.comm.bootloaderLinked(), a == Bootloader::Answer::Ack);
        if (a != Bootloader::Answer::Ack) {
            QVERIFY(!rig.upgrade.upgradeModeOn());
            if (rig.core.comm.linked())
                QCOMPARE(rig.core.d2xx->FTParity, quint8(0)); // back to the normal line
            if (fault == 2)
                QVERIFY2(rig.upgrade.bootloader().lastProblem().contains("came late"),
                         qPrintable(rig.upgrade.bootloader().lastProblem()));
            return;
        }
        QCOMPARE(rig.service.gate(), GateState::BootloaderLinked);
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.flash(53544), carried(15));
        QVERIFY(rig.logged("read-back: the firmware number record holds firmware 15"));
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    // An upgrade stopped at block 51; the next run finds the bootloader synchronised, takes it
    // up, and writes and verifies the whole image.
    void secondRunAfterAFailureVerifies()
    {
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault = {K::Nack, S::Block, 50};
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Failed);
        // The run ends; a new one links as quarnelo-cli does.
        QVERIFY(rig.service.unlink());
        rig.core.comm.setFirmwareUpgradeMode(false);
        rig.core.comm.setLegacyUpgradeMode(false);
        rig.core.comm.chooseSimulatedPedal();
        finished(rig.service.link(false));
        rig.pedal()->record.clear();
        QCOMPARE(finished(rig.upgrade.findBootloader()), Bootloader::Answer::Ack);
        QVERIFY(rig.logged("the bootloader refused the second 0x7F: it was synchronised before"));
        QCOMPARE(rig.pedal()->record.value(0).bytes, hex("7F7F")); // silence, then 0x7F refused as a complement
        QCOMPARE(rig.pedal()->record.value(1).bytes, hex("01FE")); // Get Version: it listens
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QVERIFY(rig.logged("read-back: the flash holds the image"));
        QCOMPARE(rig.flash(53544), carried(15));
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    // The read-back covers every block and the record. One that cannot be done leaves the
    // image written but not verified; one that finds other bytes is a failed upgrade. Either
    // way: one message, no Go, and the next attempt succeeds.
    void readBackFaults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("told");
        const int unverified = int(FirmwareUpgrade::Outcome::Unverified);
        const int failed = int(FirmwareUpgrade::Outcome::Failed);
        const QString notVerified = " Firmware_15 was written but not verified: all 210 blocks and the firmware number "
                                    "record were acknowledged, and the flash could not be read back. The pedal stays in "
                                    "its bootloader. Choose Upgrade Firmware to try again.";
        const QString wrong = " The pedal stays in its bootloader; its flash does not hold what was written. Choose "
                              "Upgrade Firmware to try again.";
        QTest::newRow("refused at block 51")
            << int(K::Nack) << int(S::ReadBack) << 50 << unverified
            << "The firmware upgrade stopped at the read-back of block 51 of 210: the bootloader refused it (NACK)." +
                   notVerified;
        QTest::newRow("refused at the record")
            << int(K::Nack) << int(S::ReadBack) << BootFault::RecordBlock << unverified
            << "The firmware upgrade stopped at the read-back of the firmware number record: the bootloader refused it "
               "(NACK)." + notVerified;
        QTest::newRow("silence at the record")
            << int(K::Silent) << int(S::ReadBack) << BootFault::RecordBlock << unverified
            << "The firmware upgrade stopped at the read-back of the firmware number record: the bootloader sent 0 of 8 "
               "bytes." + notVerified;
        QTest::newRow("a byte changed in the flash at block 51")
            << int(K::Flip) << int(S::Block) << 50 << failed
            << "The firmware upgrade stopped at the read-back of block 51 of 210: the flash holds other bytes at "
               "0x080032ff than the image (read twice). All 210 blocks and the firmware number record were written and "
               "acknowledged; the flash does not hold the image." + wrong;
        QTest::newRow("the record changed as it was written")
            << int(K::Flip) << int(S::Record) << 0 << failed
            << "The firmware upgrade stopped at the read-back of the firmware number record: it holds firmware 14, not "
               "firmware 15 (read twice). All 210 blocks were written and read back." + wrong;
    }
    void readBackFaults()
    {
        QFETCH(int, kind);
        QFETCH(int, step);
        QFETCH(int, block);
        QFETCH(int, outcome);
        QFETCH(QString, told);
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault = {BootFault::Kind(kind), BootFault::Step(step), block};
        const qsizetype before = rig.prompts.messages.size();
        QCOMPARE(int(finished(rig.upgrade.upgrade())), outcome);
        QCOMPARE(rig.prompts.messages.mid(before), QStringList{told});
        QCOMPARE(rig.upgrade.writtenUnverified(), outcome == int(FirmwareUpgrade::Outcome::Unverified));
        QVERIFY(rig.pedal()->messagesWith(0x21).isEmpty()); // no Go
        QVERIFY(rig.pedal()->inBootloader);
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.pedal()->state.flash.mid(0x1FC00, 8), hex("000000000000000F"));
        QCOMPARE(rig.service.state().reported->firmware, 15);
    }

    // A block that differs is read a second time before the flash is called wrong: a byte
    // changed on the way back passes; a byte changed in the flash stops the upgrade at that
    // block, the first one too, with nothing read after it and no Go.
    void differingBlockReadTwice_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("reads"); // Read Memory commands sent
        QTest::addColumn<QString>("told"); // the message after the upgrade; empty: it went through
        QTest::newRow("the answer for block 51 changed on the way")
            << "flip@read:50" << int(FirmwareUpgrade::Outcome::Done) << 210 + 1 + 1 << "";
        QTest::newRow("the answer for the record changed on the way")
            << "flip@read:record" << int(FirmwareUpgrade::Outcome::Done) << 210 + 1 + 1 << "";
        QTest::newRow("the flash changed in block 1")
            << "flip@block:0" << int(FirmwareUpgrade::Outcome::Failed) << 2
            << "The firmware upgrade stopped at the read-back of block 1 of 210: the flash holds other bytes at "
               "0x080000ff than the image (read twice). All 210 blocks and the firmware number record were written and "
               "acknowledged; the flash does not hold the image. The pedal stays in its bootloader; its flash does not "
               "hold what was written. Choose Upgrade Firmware to try again.";
    }
    void differingBlockReadTwice()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(int, reads);
        QFETCH(QString, told);
        Rig rig(12);
        rig.intoBootloader();
        QVERIFY(BootFault::parse(fault, &rig.pedal()->bootFault));
        const qsizetype before = rig.prompts.messages.size();
        QCOMPARE(int(finished(rig.upgrade.upgrade())), outcome);
        QCOMPARE(rig.pedal()->messagesWith(0x11).size(), reads);
        if (told.isEmpty()) {
            QCOMPARE(rig.core.log.lines().filter("holds the image on the second read (the first answer was changed on "
                                                 "the way)").size(), 1);
            QVERIFY(rig.logged("read-back: the firmware number record holds firmware 15"));
            QCOMPARE(rig.service.state().reported->firmware, 15);
            return;
        }
        QCOMPARE(rig.prompts.messages.mid(before), QStringList{told});
        // The second read of that block was the last thing sent: no further read, no Go.
        QCOMPARE(rig.pedal()->record.last().bytes, hex("FF00"));
        QCOMPARE(rig.pedal()->record.value(rig.pedal()->record.size() - 3).bytes, hex("11EE"));
        QVERIFY(rig.pedal()->messagesWith(0x21).isEmpty());
        QVERIFY(rig.pedal()->inBootloader);
    }

    // verify compares every block and the record; it tells a flash it cannot read from one
    // that differs, and a refusal of its very first read may be read protection.
    void verifyComparesTheRecordToo_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told"); // empty: the flash holds the image and the record
        const QByteArray record14 = hex("000000000000000E");
        QTest::newRow("the image and its record") << record14 << "" << "";
        QTest::newRow("the record erased") << QByteArray(8, char(0xFF)) << ""
                                           << "The flash holds the image, but its firmware number record at 0x0801fc00 "
                                              "holds nothing (it is erased), not firmware 14.";
        QTest::newRow("another firmware's record") << hex("000000000000000F") << ""
                                                   << "The flash holds the image, but its firmware number record at "
                                                      "0x0801fc00 holds firmware 15, not firmware 14.";
        QTest::newRow("the record refused") << record14 << "nack@read:record"
                                            << "The flash could not be read at 0x0801fc00: the bootloader refused it (NACK).";
        QTest::newRow("a block refused") << record14 << "nack@read:50"
                                         << "The flash could not be read at 0x08003200: the bootloader refused it (NACK).";
        QTest::newRow("the first read refused") << record14 << "nack@read"
                                                << "The pedal's bootloader refused to read its flash at 0x08000000 (NACK): "
                                                   "the flash may be read-protected. It was not compared with the image.";
        QTest::newRow("a byte changed in an answer: read again, the same") << record14 << "flip@read:3" << "";
        QTest::newRow("a byte changed in the flash") << record14 << "change:0x380"
                                                     << "The flash holds other bytes at 0x08000380 than the image (read twice).";
        QTest::newRow("the flash erased from a block on") << record14 << "erase:0x300"
                                                          << "The flash is erased at 0x08000300, where the image has "
                                                             "other bytes.";
    }
    void verifyComparesTheRecordToo()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, fault);
        QFETCH(QString, told);
        Rig rig;
        holding(rig, 14, record);
        QByteArray &flash = rig.pedal()->state.flash;
        if (fault.startsWith("change:"))
            flash[fault.mid(7).toInt(nullptr, 16)] = char(flash[fault.mid(7).toInt(nullptr, 16)] ^ 0x01);
        else if (fault.startsWith("erase:"))
            flash.replace(fault.mid(6).toInt(nullptr, 16), 0x400, QByteArray(0x400, char(0xFF)));
        else if (!fault.isEmpty())
            QVERIFY(BootFault::parse(fault, &rig.pedal()->bootFault));
        const qsizetype before = rig.prompts.messages.size();
        const auto outcome = finished(rig.upgrade.verifyImage(carried(14), 14));
        QCOMPARE(outcome, told.isEmpty() ? FirmwareUpgrade::Outcome::Done : FirmwareUpgrade::Outcome::Failed);
        QCOMPARE(rig.prompts.messages.mid(before), told.isEmpty() ? QStringList() : QStringList{told});
        if (told.isEmpty()) // 209 blocks and the record, and the block whose answer changed once more
            QCOMPARE(rig.pedal()->messagesWith(0x11).size(), fault.startsWith("flip") ? 211 : 210);
    }

    // An upgrade refused at the record: verify then finds no record, not firmware 15.
    void verifyAfterAnUpgradeStoppedAtTheRecord()
    {
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault = {K::Nack, S::Record, 0};
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Failed);
        QCOMPARE(rig.prompts.messages.last(),
                 QString("The firmware upgrade stopped at the firmware number record: the bootloader refused it (NACK). "
                         "All 210 blocks were written, the firmware number record was not. The pedal stays in its "
                         "bootloader; its firmware is erased or incomplete. Choose Upgrade Firmware to try again."));
        QCOMPARE(finished(rig.upgrade.verifyImage(carried(15), 15)), FirmwareUpgrade::Outcome::Failed);
        QCOMPARE(rig.prompts.messages.last(),
                 QString("The flash holds the image, but its firmware number record at 0x0801fc00 holds nothing (it is "
                         "erased), not firmware 15."));
    }

    // An unplug ends with one message: where the upgrade stopped, what the pedal holds, the way back.
    void unplugEndsWithOneMessage_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("block");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("at block 51")
            << int(S::Block) << 50
            << QStringList{"The firmware upgrade stopped at block 51 of 210: the pedal could not be reached (unplugged?). "
                           "Blocks 1 to 50 of 210 were written. The pedal's firmware is erased or incomplete, and it "
                           "starts in its bootloader only while SHIFT is held. Connect it again while holding SHIFT, turn "
                           "Upgrade Mode on in the Firmware Upgrade menu, choose Link, then Upgrade Firmware."};
        QTest::newRow("at Go")
            << int(S::Go) << 0
            << QStringList{"Firmware Upgrade Complete, device will now restart",
                           "The firmware was written and verified. The pedal did not confirm that it left its bootloader "
                           "(the pedal could not be reached (unplugged?)). Connected again it starts the firmware in its "
                           "flash; should it stay silent, connect it again while holding SHIFT, turn Upgrade Mode on in "
                           "the Firmware Upgrade menu, choose Link, then Upgrade Firmware."};
    }
    void unplugEndsWithOneMessage()
    {
        QFETCH(int, step);
        QFETCH(int, block);
        QFETCH(QStringList, told);
        Rig rig(12);
        rig.intoBootloader();
        rig.pedal()->bootFault = {K::Unplug, BootFault::Step(step), block};
        const qsizetype before = rig.prompts.messages.size();
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Failed);
        QCOMPARE(rig.prompts.messages.mid(before), told);
    }

    // A firmware older than the one the pedal reported is asked about first; its result says
    // the older firmware runs.
    void olderFirmwareIsAskedAbout()
    {
        Rig rig(15);
        rig.intoBootloader();
        rig.upgrade.selectImage(QStringLiteral("Firmware_14"));
        const qsizetype asked = rig.prompts.questions.size();
        rig.prompts.answers = {false};
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Cancelled);
        QCOMPARE(rig.prompts.questions.mid(asked),
                 QStringList{"The pedal runs firmware 15. Write Firmware_14 and go back to the older firmware 14?"});
        QVERIFY(rig.logged("firmware downgrade from 15 to 14 asked: No"));
        QVERIFY(rig.pedal()->messagesWith(0x43).isEmpty()); // nothing erased
        QVERIFY(rig.core.comm.bootloaderLinked());

        rig.prompts.answers = {true};
        QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(rig.prompts.questions.size(), asked + 2);
        QVERIFY(rig.logged("firmware downgrade from 15 to 14 asked: Yes"));
        QCOMPARE(rig.service.state().reported->firmware, 14);
        QCOMPARE(rig.prompts.messages.last(), QString("Firmware 14 now runs in the pedal, older than the firmware 15 it ran before."));
        QCOMPARE(rig.upgrade.downgradedFrom(), 15);

        // The same firmware again is no downgrade: no question.
        Rig same(15);
        same.intoBootloader();
        const qsizetype sameAsked = same.prompts.questions.size();
        QCOMPARE(finished(same.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
        QCOMPARE(same.prompts.questions.size(), sameAsked);
    }

    // Found in its bootloader, the pedal has not reported its firmware: the firmware number
    // record in its flash says it, read before anything is erased. An older image is asked
    // about; a record that cannot be read stops the upgrade with nothing changed.
    void olderFirmwareAskedAboutFromTheBootloader_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("question"); // empty: none
        QTest::addColumn<QString>("told");     // empty: the upgrade goes on (when not asked)
        QTest::newRow("firmware 15 in the record")
            << hex("000000000000000F") << ""
            << "The pedal's flash holds firmware 15 (its firmware number record). Write Firmware_14 and go back to "
               "the older firmware 14?"
            << "";
        QTest::newRow("firmware 13 in the record: no downgrade") << hex("000000000000000D") << "" << "" << "";
        QTest::newRow("an erased record: nothing to compare") << QByteArray(8, char(0xFF)) << "" << "" << "";
        QTest::newRow("the record refused")
            << hex("000000000000000F") << "nack@read:record" << ""
            << "The firmware number record at 0x0801fc00 could not be read (the bootloader refused it (NACK)), so "
               "whether Firmware_14 is older than the pedal's firmware is not known. Nothing in the pedal was changed. "
               "Choose Upgrade Firmware to try again.";
    }
    void olderFirmwareAskedAboutFromTheBootloader()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, fault);
        QFETCH(QString, question);
        QFETCH(QString, told);
        Rig rig;
        holding(rig, 15, record);
        QVERIFY(!rig.service.state().reported);
        if (!fault.isEmpty())
            QVERIFY(BootFault::parse(fault, &rig.pedal()->bootFault));
        rig.pedal()->record.clear();
        rig.upgrade.selectImage(QStringLiteral("Firmware_14"));
        rig.prompts.answers = {false};
        const auto outcome = finished(rig.upgrade.upgrade());
        // The record is read first: 11 EE, its address, 8 bytes.
        QCOMPARE(rig.pedal()->record.value(0).bytes, hex("11EE"));
        QCOMPARE(rig.pedal()->record.value(1).bytes, hex("0801FC00F5"));
        QCOMPARE(rig.pedal()->record.value(2).bytes, hex("07F8"));
        QCOMPARE(rig.prompts.questions, question.isEmpty() ? QStringList() : QStringList{question});
        if (!told.isEmpty()) {
            QCOMPARE(outcome, FirmwareUpgrade::Outcome::Failed);
            QCOMPARE(rig.prompts.messages.last(), told);
        }
        if (!question.isEmpty() || !told.isEmpty()) {
            QVERIFY(rig.pedal()->messagesWith(0x43).isEmpty()); // nothing erased
            QCOMPARE(rig.flash(53400), carried(15).left(53400));
            QVERIFY(rig.core.comm.bootloaderLinked());
        }
        if (!question.isEmpty()) {
            QCOMPARE(outcome, FirmwareUpgrade::Outcome::Cancelled);
            QVERIFY(rig.logged("firmware downgrade from 15 to 14 asked: No"));
            rig.prompts.answers = {true};
            QCOMPARE(finished(rig.upgrade.upgrade()), FirmwareUpgrade::Outcome::Done);
            QCOMPARE(rig.upgrade.downgradedFrom(), 15);
            QCOMPARE(rig.prompts.messages.last(),
                     QString("Firmware 14 now runs in the pedal, older than the firmware 15 it ran before."));
        } else if (told.isEmpty()) {
            QCOMPARE(outcome, FirmwareUpgrade::Outcome::Done);
            QCOMPARE(rig.upgrade.downgradedFrom(), -1);
        }
    }
};

QTEST_GUILESS_MAIN(TestFirmwareVerify)
#include "tst_firmware_verify.moc"
