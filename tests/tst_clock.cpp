// The real clock's waits are steps of a command: the command is resumed by the event loop when
// the wait is over, the loop runs on meanwhile (a window takes input), and nothing spins. Once
// the application has been told to quit, a waiting command stays where it is instead of
// running on with waits that return at once.
#include "support/Clock.h"
#include "support/Task.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>

namespace {
// A command that waits count times and counts its steps.
Task<int> waitSteps(Clock &clock, bool pause, int count, int ms)
{
    int steps = 0;
    for (int i = 0; i < count; ++i) {
        if (pause)
            co_await clock.pause(ms);
        else
            co_await clock.activity(ms);
        ++steps;
    }
    co_return steps;
}
} // namespace

class TestClock : public QObject {
    Q_OBJECT
private slots:
    void waitsAreStepsOfTheEventLoop_data()
    {
        QTest::addColumn<bool>("pause");
        QTest::newRow("pause") << true;
        QTest::newRow("wait for activity") << false;
    }
    // Five waits of 40 ms: the command ends after about 200 ms, not at once and not inside the
    // call; a 10 ms heartbeat beats all the while, and waiting() holds only while it waits.
    void waitsAreStepsOfTheEventLoop()
    {
        QFETCH(bool, pause);
        SystemClock clock;
        QElapsedTimer t;
        t.start();
        Task<int> task = waitSteps(clock, pause, 5, 40);
        QVERIFY(!task.done());
        QVERIFY(clock.waiting());
        int beats = 0;
        qint64 longestGap = 0, lastBeat = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            ++beats;
            longestGap = std::max(longestGap, t.elapsed() - lastBeat);
            lastBeat = t.elapsed();
        });
        heartbeat.start(10);
        QEventLoop loop;
        int steps = -1;
        std::move(task).then([&](int n) {
            steps = n;
            loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(steps, 5);
        QVERIFY2(t.elapsed() >= 195, qPrintable(QStringLiteral("ended after %1 ms").arg(t.elapsed())));
        QVERIFY(!clock.waiting());
        QVERIFY2(beats >= 5, qPrintable(QStringLiteral("%1 beats").arg(beats)));
    }

    // Data arriving ends an activity wait early; a pause is not ended by it.
    void wakeEndsActivityWaitsOnly()
    {
        SystemClock clock;
        Task<int> activity = waitSteps(clock, false, 1, 5000);
        Task<int> pause = waitSteps(clock, true, 1, 300);
        QTimer::singleShot(20, &clock, [&] { clock.wake(); });
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(activity.done(), 2000);
        QVERIFY(t.elapsed() < 1000);
        QVERIFY(!pause.done());
        QTRY_VERIFY_WITH_TIMEOUT(pause.done(), 2000);
    }

    // After a quit, as a close of the editor does while a command waits: the event loop returns
    // at once, and a command must not run on through waits that end at once.
    void aQuitLeavesAWaitingCommandWhereItIs_data() { waitsAreStepsOfTheEventLoop_data(); }
    void aQuitLeavesAWaitingCommandWhereItIs()
    {
        QFETCH(bool, pause);
        SystemClock clock;
        QCoreApplication::exit(0);
        Task<int> task = waitSteps(clock, pause, 1000, 50);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QVERIFY(!task.done()); // 1,000 waits of 50 ms cannot have passed in 300 ms
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
