// A command's steps (Task): whoever holds it, awaits it, hands it a continuation or lets it go,
// the command runs to its end exactly once, its result reaches whoever wants it, and its frame
// is freed once (a counted guard lives in each frame).
#include "support/Task.h"

#include <QtTest>

#include <coroutine>

namespace {
int alive = 0; // frames whose guard has not been destroyed

struct FrameGuard {
    FrameGuard() { ++alive; }
    ~FrameGuard() { --alive; }
};

// A wait the test ends by hand.
struct Gate {
    std::coroutine_handle<> waiting;
    bool await_ready() const { return false; }
    void await_suspend(std::coroutine_handle<> h) { waiting = h; }
    void await_resume() {}
    void open() { std::exchange(waiting, nullptr).resume(); }
};

Task<int> value(Gate *gate, int v)
{
    FrameGuard g;
    if (gate)
        co_await *gate;
    co_return v;
}

Task<int> sum(Gate *gate)
{
    FrameGuard g;
    const int a = co_await value(gate, 2);
    const int b = co_await value(nullptr, 3);
    co_return a + b;
}

Task<> noValue(Gate *gate, int *steps)
{
    FrameGuard g;
    ++*steps;
    if (gate)
        co_await *gate;
    ++*steps;
}
} // namespace

class TestTask : public QObject {
    Q_OBJECT
private slots:
    void init() { alive = 0; }
    void cleanup() { QCOMPARE(alive, 0); }

    // How the result is taken, for a command that ends inside its call and one that waits.
    void everyWayEndsOnceAndFreesTheFrames_data()
    {
        QTest::addColumn<bool>("waits");
        QTest::addColumn<QString>("how");
        for (bool waits : {false, true}) {
            for (const char *how : {"held", "then", "detach", "dropped"})
                QTest::addRow("%s, %s", waits ? "waits" : "at once", how) << waits << QString::fromLatin1(how);
        }
    }
    void everyWayEndsOnceAndFreesTheFrames()
    {
        QFETCH(bool, waits);
        QFETCH(QString, how);
        Gate gate;
        int got = -1, calls = 0;
        {
            Task<int> task = sum(waits ? &gate : nullptr);
            QCOMPARE(task.done(), !waits);
            if (how == QLatin1String("then")) {
                std::move(task).then([&](int v) {
                    got = v;
                    ++calls;
                });
            } else if (how == QLatin1String("detach")) {
                std::move(task).detach();
            } else if (how == QLatin1String("held") && !waits) {
                got = task.result().value_or(-1);
                ++calls;
            }
            if (waits) {
                QVERIFY(alive > 0); // suspended, whoever holds it
                if (how != QLatin1String("dropped"))
                    gate.open();
            }
            if (how == QLatin1String("held") && waits) {
                QVERIFY(task.done());
                got = task.result().value_or(-1);
                ++calls;
            }
        }
        if (how == QLatin1String("dropped") && waits) {
            QVERIFY(alive > 0); // let go while waiting: it runs on when the wait ends
            gate.open();
        }
        if (how == QLatin1String("held") || how == QLatin1String("then")) {
            QCOMPARE(got, 5);
            QCOMPARE(calls, 1);
        }
    }

    void aTaskWithoutAValueRunsEveryStep()
    {
        Gate gate;
        int steps = 0;
        bool ended = false;
        noValue(&gate, &steps).then([&] { ended = true; });
        QCOMPARE(steps, 1);
        QVERIFY(!ended);
        gate.open();
        QCOMPARE(steps, 2);
        QVERIFY(ended);
    }

    // The result of a command that has not ended is empty, never read from nothing; so is that
    // of a task let go. It holds the value once the command ends.
    void aResultOnlyOnceTheCommandHasEnded()
    {
        Gate gate;
        Task<int> task = sum(&gate);
        QVERIFY(!task.done());
        QVERIFY(!task.result().has_value());
        gate.open();
        QVERIFY(task.done());
        QCOMPARE(task.result(), std::optional<int>(5));
        Task<int> moved = std::move(task);
        QVERIFY(!task.result().has_value()); // NOLINT: the moved-from task has let go
        QCOMPARE(moved.result(), std::optional<int>(5));
    }

    // A continuation that starts another command which ends inside its call: both results arrive
    // once, in order, and every frame is freed (the first one's frame ends around the second).
    void aContinuationStartsACommandThatEndsAtOnce_data()
    {
        QTest::addColumn<bool>("firstWaits");
        QTest::addColumn<bool>("secondHeld");
        QTest::newRow("at once, then a continuation") << false << false;
        QTest::newRow("at once, then held") << false << true;
        QTest::newRow("waits, then a continuation") << true << false;
        QTest::newRow("waits, then held") << true << true;
    }
    void aContinuationStartsACommandThatEndsAtOnce()
    {
        QFETCH(bool, firstWaits);
        QFETCH(bool, secondHeld);
        Gate gate;
        QList<int> got;
        sum(firstWaits ? &gate : nullptr).then([&](int first) {
            got << first;
            if (secondHeld) {
                Task<int> second = value(nullptr, first + 1);
                QVERIFY(second.done());
                got << *second.result();
            } else {
                value(nullptr, first + 1).then([&](int second) { got << second; });
            }
        });
        if (firstWaits) {
            QVERIFY(got.isEmpty());
            gate.open();
        }
        QCOMPARE(got, (QList<int>{5, 6}));
    }
};

QTEST_GUILESS_MAIN(TestTask)
#include "tst_task.moc"
