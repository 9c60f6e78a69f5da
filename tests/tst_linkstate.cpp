#include "device/LinkState.h"
#include "windows/LinkStateText.h"

#include <QtTest>

using State = LinkState::State;

namespace {
bool fire(LinkState &s, const QString &event)
{
    if (event == "linking") return s.linking();
    if (event == "bootloaderReached") return s.bootloaderReached();
    if (event == "linkedUp") return s.linkedUp();
    if (event == "linkFailed") return s.linkFailed();
    if (event == "answered") return s.answered(12, 1234);
    if (event == "upgradeStarted") return s.upgradeStarted();
    if (event == "upgradeEnded") return s.upgradeEnded();
    if (event == "lost") return s.lost();
    if (event == "unlinked") return s.unlinked();
    if (event == "watchingForReturn") return s.watchingForReturn();
    if (event == "cameBack") return s.cameBack();
    qFatal("unknown event %s", qPrintable(event));
}

// The events that lead from a fresh state (not linked) to each state.
QStringList pathTo(const QString &from)
{
    const QHash<QString, QStringList> paths{
        {"NotLinked", {}},
        {"Linking", {"linking"}},
        {"LinkingToBootloader", {"linking", "bootloaderReached"}},
        {"RelinkingFromFirmware", {"linking", "linkedUp", "linking"}},
        {"RunningFirmware", {"linking", "linkedUp"}},
        {"Bootloader", {"linking", "bootloaderReached", "linkedUp"}},
        {"Upgrading", {"linking", "linkedUp", "upgradeStarted"}},
        {"WaitingForReturn", {"linking", "linkedUp", "lost", "watchingForReturn"}},
        {"RelinkingWhileWaiting", {"linking", "linkedUp", "lost", "watchingForReturn", "linking"}},
    };
    return paths.value(from);
}
} // namespace

class TestLinkState : public QObject {
    Q_OBJECT
private slots:
    void transitions_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<State>("to");
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("bootloaderLinked");

        // Linking and its outcomes.
        QTest::newRow("not linked: linking") << "NotLinked" << "linking" << true << State::Linking << false << false;
        QTest::newRow("linking: linked up") << "Linking" << "linkedUp" << true << State::RunningFirmware << true << false;
        QTest::newRow("linking: failed") << "Linking" << "linkFailed" << true << State::NotLinked << false << false;
        QTest::newRow("linking: bootloader reached, the link not yet complete")
            << "Linking" << "bootloaderReached" << true << State::Linking << false << true;
        QTest::newRow("linking to the bootloader: linked up")
            << "LinkingToBootloader" << "linkedUp" << true << State::Bootloader << true << true;
        QTest::newRow("linking to the bootloader: failed")
            << "LinkingToBootloader" << "linkFailed" << true << State::NotLinked << false << false;
        QTest::newRow("linking: lost before linked up is not a lost link")
            << "Linking" << "lost" << false << State::Linking << false << false;
        QTest::newRow("linking again from the firmware: still linked meanwhile")
            << "RunningFirmware" << "linking" << true << State::Linking << true << false;
        QTest::newRow("linking again from the firmware: failed leaves the old link")
            << "RelinkingFromFirmware" << "linkFailed" << true << State::RunningFirmware << true << false;
        QTest::newRow("linking again from the firmware: lost meanwhile, then linked up")
            << "RelinkingFromFirmware" << "lost" << true << State::Linking << false << false;
        QTest::newRow("linking again from the bootloader: no longer in it")
            << "Bootloader" << "linking" << true << State::Linking << true << false;
        QTest::newRow("linking twice") << "Linking" << "linking" << false << State::Linking << false << false;
        QTest::newRow("not linked: linked up") << "NotLinked" << "linkedUp" << false << State::NotLinked << false << false;
        QTest::newRow("not linked: link failed") << "NotLinked" << "linkFailed" << false << State::NotLinked << false << false;

        // The firmware's answer.
        QTest::newRow("firmware answers") << "RunningFirmware" << "answered" << true << State::RunningFirmware << true << false;
        QTest::newRow("the bootloader does not answer as firmware")
            << "Bootloader" << "answered" << false << State::Bootloader << true << true;
        QTest::newRow("no answer without a link") << "NotLinked" << "answered" << false << State::NotLinked << false << false;

        // The upgrade.
        QTest::newRow("upgrade started") << "RunningFirmware" << "upgradeStarted" << true << State::Upgrading << true << false;
        QTest::newRow("upgrading: bootloader reached") << "Upgrading" << "bootloaderReached" << true << State::Bootloader << true << true;
        QTest::newRow("upgrading: bootloader not reached") << "Upgrading" << "upgradeEnded" << true << State::RunningFirmware << true << false;
        QTest::newRow("bootloader left") << "Bootloader" << "upgradeEnded" << true << State::RunningFirmware << true << false;
        QTest::newRow("upgrading: lost") << "Upgrading" << "lost" << true << State::NotLinked << false << false;
        QTest::newRow("upgrading: no new link") << "Upgrading" << "linking" << false << State::Upgrading << true << false;
        QTest::newRow("no upgrade without a link") << "NotLinked" << "upgradeStarted" << false << State::NotLinked << false << false;
        QTest::newRow("no upgrade from the bootloader") << "Bootloader" << "upgradeStarted" << false << State::Bootloader << true << true;
        QTest::newRow("the firmware has no upgrade to end")
            << "RunningFirmware" << "upgradeEnded" << false << State::RunningFirmware << true << false;
        QTest::newRow("the firmware does not reach a bootloader unasked")
            << "RunningFirmware" << "bootloaderReached" << false << State::RunningFirmware << true << false;

        // Losing the pedal, unlinking, and watching for its return.
        QTest::newRow("firmware: lost") << "RunningFirmware" << "lost" << true << State::NotLinked << false << false;
        QTest::newRow("bootloader: lost") << "Bootloader" << "lost" << true << State::NotLinked << false << false;
        QTest::newRow("not linked: nothing to lose") << "NotLinked" << "lost" << false << State::NotLinked << false << false;
        QTest::newRow("firmware: unlinked") << "RunningFirmware" << "unlinked" << true << State::NotLinked << false << false;
        QTest::newRow("bootloader: unlinked") << "Bootloader" << "unlinked" << true << State::NotLinked << false << false;
        QTest::newRow("not linked: watching for the return")
            << "NotLinked" << "watchingForReturn" << true << State::WaitingForReturn << false << false;
        QTest::newRow("linked: nothing to wait for")
            << "RunningFirmware" << "watchingForReturn" << false << State::RunningFirmware << true << false;
        QTest::newRow("waiting: came back") << "WaitingForReturn" << "cameBack" << true << State::NotLinked << false << false;
        QTest::newRow("waiting: linked by hand") << "WaitingForReturn" << "linking" << true << State::Linking << false << false;
        QTest::newRow("waiting: a link by hand failed, still waiting")
            << "RelinkingWhileWaiting" << "linkFailed" << true << State::WaitingForReturn << false << false;
        QTest::newRow("waiting: an unlink does not end the watch")
            << "WaitingForReturn" << "unlinked" << false << State::WaitingForReturn << false << false;
        QTest::newRow("waiting: nothing to lose") << "WaitingForReturn" << "lost" << false << State::WaitingForReturn << false << false;
        QTest::newRow("not waiting: nothing came back") << "RunningFirmware" << "cameBack" << false << State::RunningFirmware << true << false;
    }
    void transitions()
    {
        QFETCH(QString, from);
        QFETCH(QString, event);
        QFETCH(bool, accepted);
        QFETCH(State, to);
        QFETCH(bool, linked);
        QFETCH(bool, bootloaderLinked);

        LinkState s;
        for (const QString &step : pathTo(from))
            QVERIFY2(fire(s, step), qPrintable(step));
        const State before = s.state();
        QSignalSpy changed(&s, &LinkState::stateChanged);
        QCOMPARE(fire(s, event), accepted);
        QCOMPARE(s.state(), to);
        QCOMPARE(s.linked(), linked);
        QCOMPARE(s.bootloaderLinked(), bootloaderLinked);
        QCOMPARE(changed.size(), to == before ? 0 : 1);
        if (!changed.isEmpty())
            QCOMPARE(changed.first().first().value<State>(), to);
    }

    // The numbers the firmware reported stay until it reports others; the first link reads 0,
    // as the firmware label's text does before any answer.
    void reportedNumbers()
    {
        LinkState s;
        QCOMPARE(s.firmware(), 0);
        QCOMPARE(s.algorithm(), -1);
        s.linking();
        s.linkedUp();
        QVERIFY(s.answered(8, 1203));
        QCOMPARE(s.firmware(), 8);
        QCOMPARE(s.algorithm(), 1203);
        s.unlinked();
        s.linking();
        s.bootloaderReached();
        s.linkedUp();
        QVERIFY(!s.answered(3, 5));
        QCOMPARE(s.firmware(), 8);
        QCOMPARE(s.algorithm(), 1203);
    }

    // A lost pedal's link under way completes as a link to whatever opened.
    void lostWhileRelinkingThenLinkedUp()
    {
        LinkState s;
        for (const QString &step : pathTo("RelinkingFromFirmware"))
            QVERIFY(fire(s, step));
        QVERIFY(s.lost());
        QVERIFY(s.linkedUp());
        QCOMPARE(s.state(), State::RunningFirmware);
    }
    // The main window's device label says what is true of the link.
    void labelSaysWhatIsTrue_data()
    {
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("hintHas");

        QTest::newRow("nothing listed") << State::NotLinked << "No device found" << "No device found" << "Scan And Link";
        QTest::newRow("nothing listed yet") << State::NotLinked << "" << "No device found" << "Scan And Link";
        QTest::newRow("listed, not linked") << State::NotLinked << "Quarnelo MK3" << "Quarnelo MK3: not linked" << "not linked";
        QTest::newRow("linking") << State::Linking << "Quarnelo MK3" << "Quarnelo MK3: linking\u2026" << "opening";
        QTest::newRow("linked") << State::RunningFirmware << "Quarnelo MK3" << "Linked: QMK3SIM01" << "serial number QMK3SIM01";
        QTest::newRow("upgrading: still the pedal's link")
            << State::Upgrading << "Quarnelo MK3" << "Linked: QMK3SIM01" << "QMK3SIM01";
        QTest::newRow("bootloader") << State::Bootloader << "Quarnelo MK3" << "Bootloader: QMK3SIM01" << "bootloader";
        QTest::newRow("waiting for the same pedal") << State::WaitingForReturn << "Quarnelo MK3" << "Waiting for QMK3SIM01"
                                                    << "links it again when it comes back";
    }

    void labelSaysWhatIsTrue()
    {
        QFETCH(State, state);
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(QString, hintHas);
        QCOMPARE(LinkStateText::label(state, name, "QMK3SIM01"), label);
        QVERIFY2(LinkStateText::hint(state, name, "QMK3SIM01").contains(hintHas), qPrintable(LinkStateText::hint(state, name, "QMK3SIM01")));
    }
};

QTEST_GUILESS_MAIN(TestLinkState)
#include "tst_linkstate.moc"
