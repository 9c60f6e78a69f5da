// The editor stays with the musician while a long command runs: each command's waits are steps
// of the event loop, so the window takes input, a message box held open does not hold the
// command up, commands started meanwhile (a click, a timer) send nothing onto the line until it
// has ended, and a close is refused as a whole.
//
// Each long command runs twice on the simulated pedal at the wire's pace, on a clock driven from
// timer to timer: once alone, and once disturbed by all of the above. The disturbed run must put
// the same bytes on the line at the same times and end at the same time.
#include "support/Finish.h"
#include "support/ManualClock.h"
#include "EditorRig.h"

#include "pedal/FirmwareUpgrade.h"
#include "pedal/SettingsMemory.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Command { Request, AlgorithmUpload, TuningUpload, EraseSettingsAndCheck, FirmwareUpgrade };

struct Run {
    qint64 tookMs = -1;                         // from the start to the command's end
    QList<std::pair<qint64, QByteArray>> wire;  // what reached the pedal meanwhile, and when
    qint64 longestInputWaitMs = -1;             // a key event's wait for the window
    int keysDelivered = 0;
    bool closeRefused = false;
    bool mainWindowShown = false;
    bool requestOffered = false; // the Request button could be clicked during the command
    QStringList logLines;
};

// Records how long key events posted to the window wait before it takes them.
class InputWatch : public QObject {
public:
    explicit InputWatch(ManualClock &clock) : m_clock(clock) {}
    void posted() { m_postedAt << m_clock.nowMs(); }
    qint64 longestWaitMs = 0;
    int delivered = 0;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_F20 && !m_postedAt.isEmpty()) {
            longestWaitMs = std::max(longestWaitMs, m_clock.nowMs() - m_postedAt.takeFirst());
            ++delivered;
            return true;
        }
        return QObject::eventFilter(o, e);
    }

private:
    ManualClock &m_clock;
    QList<qint64> m_postedAt;
};

Task<bool> start(EditorRig &rig, Command command)
{
    PedalService &s = rig.service();
    switch (command) {
    case Command::Request: co_return co_await s.requestDeviceInformation() == PedalService::Result::Done;
    case Command::AlgorithmUpload:
        co_return co_await s.uploadSelectedAlgorithm() == PedalService::UploadResult::Done;
    case Command::TuningUpload: co_return co_await s.uploadTuningData() == PedalService::UploadResult::Done;
    case Command::EraseSettingsAndCheck:
        co_return co_await s.memory().eraseSettings() == SettingsMemory::Outcome::Done;
    case Command::FirmwareUpgrade:
        co_return co_await s.firmware().upgrade() == FirmwareUpgrade::Outcome::Done;
    }
    co_return false;
}

// One run of command on a fresh editor; disturbed after the given clock times from the start
// (none: alone).
Run runOnce(Command command, qint64 disturbAfterMs = -1)
{
    QTemporaryDir home;
    EditorRig rig(home.path());
    rig.main()->show();
    rig.pedal()->wireTiming = true;
    rig.link();
    if (command == Command::FirmwareUpgrade) {
        finished(rig.service().firmware().chooseUpgradeMode()); // into the bootloader first
        if (!rig.ctx.comm.bootloaderLinked())
            return {};
    }
    rig.prompts.messages.clear();
    rig.clock.setDriven(true);
    const qint64 startedAt = rig.clock.nowMs();
    const qsizetype wireBefore = rig.pedal()->record.size();
    const qsizetype logBefore = rig.ctx.log.lines().size();

    InputWatch input(rig.clock);
    rig.main()->installEventFilter(&input);
    std::unique_ptr<ClockTimer> heartbeat(rig.clock.createTimer(nullptr));
    std::unique_ptr<ClockTimer> disturb(rig.clock.createTimer(nullptr));
    Run run;
    int stage = 0;
    if (disturbAfterMs >= 0) {
        // Every 10 ms a key for the window.
        QObject::connect(heartbeat.get(), &ClockTimer::timeout, &input, [&] {
            input.posted();
            QCoreApplication::postEvent(rig.main(), new QKeyEvent(QEvent::KeyPress, Qt::Key_F20, Qt::NoModifier));
        });
        heartbeat->start(10);
        // Then, one after the other: commands started by clicks and a timer, a close of the main
        // window, and a message box held open for 5 s.
        QObject::connect(disturb.get(), &ClockTimer::timeout, &input, [&] {
            switch (stage++) {
            case 0:
                run.requestOffered = rig.main()->findChild<QPushButton *>(QStringLiteral("btnRequest"))->isEnabled();
                rig.main()->findChild<QPushButton *>(QStringLiteral("btnRequest"))->click();
                rig.main()->findChild<QPushButton *>(QStringLiteral("btnSaveParameters"))->click();
                rig.service().uploadTuningData().detach();
                break;
            case 1:
                run.closeRefused = !rig.main()->close();
                run.mainWindowShown = rig.main()->isVisible();
                break;
            case 2: {
                const qint64 until = rig.clock.nowMs() + 5000; // the box's own event loop
                rig.clock.runUntil([&] { return rig.clock.nowMs() >= until; });
                break;
            }
            }
            if (stage < 3)
                disturb->start(int(std::max<qint64>(1, disturbAfterMs / 4)));
        });
        disturb->setSingleShot(true);
        disturb->start(int(std::max<qint64>(1, disturbAfterMs / 4)));
    }

    bool ended = false;
    qint64 endedAt = -1;
    start(rig, command).then([&](bool) {
        ended = true;
        endedAt = rig.clock.nowMs();
    });
    const bool inTime = rig.clock.runUntil([&] { return ended; }, 120000);
    heartbeat->stop();
    disturb->stop();
    if (!inTime)
        return run;
    run.tookMs = endedAt - startedAt;
    for (qsizetype i = wireBefore; i < rig.pedal()->record.size() && rig.pedal()->record[i].atMs <= endedAt; ++i)
        run.wire << std::make_pair(rig.pedal()->record[i].atMs - startedAt, rig.pedal()->record[i].bytes);
    run.longestInputWaitMs = input.longestWaitMs;
    run.keysDelivered = input.delivered;
    run.logLines = rig.ctx.log.lines().mid(logBefore);
    rig.main()->removeEventFilter(&input);
    return run;
}

} // namespace

class TestHeartbeat : public QObject {
    Q_OBJECT
private slots:
    void longCommandsKeepTheEditorResponsive_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("request") << int(Command::Request);
        QTest::newRow("algorithm upload") << int(Command::AlgorithmUpload);
        QTest::newRow("tuning upload") << int(Command::TuningUpload);
        QTest::newRow("erase settings and the memory check") << int(Command::EraseSettingsAndCheck);
        QTest::newRow("firmware upgrade") << int(Command::FirmwareUpgrade);
    }
    void longCommandsKeepTheEditorResponsive()
    {
        QFETCH(int, command);
        const Run alone = runOnce(Command(command));
        QVERIFY2(alone.tookMs > 0, "the command did not end on its own");
        QVERIFY(!alone.wire.isEmpty());
        const Run disturbed = runOnce(Command(command), alone.tookMs);
        QVERIFY2(disturbed.tookMs >= 0, "the disturbed command did not end");

        // The window took every key within 100 ms.
        QVERIFY2(disturbed.keysDelivered >= int(alone.tookMs / 10) - 2,
                 qPrintable(QStringLiteral("%1 keys in %2 ms").arg(disturbed.keysDelivered).arg(alone.tookMs)));
        QVERIFY2(disturbed.longestInputWaitMs <= 100,
                 qPrintable(QStringLiteral("a key waited %1 ms").arg(disturbed.longestInputWaitMs)));
        // Neither the box, the other commands nor the close changed what went out, or when.
        QCOMPARE(disturbed.tookMs, alone.tookMs);
        const auto shown = [](const Run &r) {
            QStringList out;
            for (const auto &[at, bytes] : r.wire)
                out << QStringLiteral("%1 %2").arg(at).arg(QString::fromLatin1(bytes.left(12).toHex()));
            return out.join(QLatin1Char('\n'));
        };
        QVERIFY2(disturbed.wire.size() == alone.wire.size(),
                 qPrintable(QStringLiteral("alone:\n%1\ndisturbed:\n%2").arg(shown(alone), shown(disturbed))));
        for (qsizetype i = 0; i < alone.wire.size(); ++i) {
            QCOMPARE(disturbed.wire[i].second.toHex(), alone.wire[i].second.toHex());
            QCOMPARE(disturbed.wire[i].first, alone.wire[i].first);
        }
        // The request clicked meanwhile was turned away, in the log's words (in the bootloader the
        // button is not offered at all).
        const QStringList turnedAway = disturbed.logLines.filter(QRegularExpression(QStringLiteral("^request (ignored|refused): ")));
        QVERIFY2(disturbed.requestOffered
                     ? turnedAway == QStringList{QStringLiteral("request ignored: an exchange with the pedal is under way")}
                     : turnedAway.isEmpty(),
                 qPrintable(disturbed.logLines.filter(QStringLiteral("refused")).join(QLatin1Char('\n'))));
        // The close was refused as a whole: the main window stays.
        QVERIFY(disturbed.closeRefused);
        QVERIFY(disturbed.mainWindowShown);
        QVERIFY(disturbed.logLines.contains(QStringLiteral("close refused: a command with the pedal is under way")));
    }
};

QTEST_MAIN(TestHeartbeat)
#include "tst_heartbeat.moc"
