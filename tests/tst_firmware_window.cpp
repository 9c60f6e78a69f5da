// The firmware upgrade window says how the last upgrade ended: a warning for an image written
// but not verified, a stop for one left incomplete, and it goes away when the pedal runs.
#include "FirmwareRig.h"
#include "windows/FirmwareUpgradeWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class TestFirmwareWindow : public QObject {
    Q_OBJECT
private slots:
    void endOfAnUpgrade_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("shown"); // empty: the window has gone
        QTest::newRow("written and verified") << "" << "";
        QTest::newRow("the read-back refused at block 51") << "nack@read:50" << "Warning: written but not verified";
        QTest::newRow("the record refused at its read-back") << "nack@read:record" << "Warning: written but not verified";
        QTest::newRow("refused at block 51") << "nack@block:50" << "Stopped: choose Upgrade Firmware to try again";
    }
    void endOfAnUpgrade()
    {
        QFETCH(QString, fault);
        QFETCH(QString, shown);
        Rig rig(12);
        rig.intoBootloader();
        FirmwareUpgradeWindow window(rig.upgrade);
        window.show();
        if (!fault.isEmpty())
            QVERIFY(BootFault::parse(fault, &rig.pedal()->bootFault));
        window.btnUpgradeFirmware->click();
        QCOMPARE(rig.prompts.messages.contains("Firmware Upgrade Complete, device will now restart"), shown.isEmpty());
        QCOMPARE(window.isVisible(), !shown.isEmpty());
        if (!shown.isEmpty()) {
            QCOMPARE(window.lblProgress->text(), shown);
            QVERIFY(window.btnUpgradeFirmware->isEnabled()); // ready to try again
        }
    }
};

QTEST_MAIN(TestFirmwareWindow)
#include "tst_firmware_window.moc"
