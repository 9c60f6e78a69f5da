// A command's steps (Task): whoever holds it, awaits it, hands it a continuation or lets it go,
// the command runs to its end exactly once, its result reaches whoever wants it, and its frame
// is freed once (a counted guard lives in each frame). A command whose owner goes while it
// waits is never resumed into it: run under the address sanitizer (tools/sanitize.sh), a frame
// resumed after its owner, or never freed, fails these tests.
#include "support/Finish.h"
#include "support/ManualClock.h"
#include "support/Task.h"
#include "EditorRig.h"
#include "pedal/DialMath.h"
#include "pedal/ParameterCatalogue.h"

#include <QtTest>

#include <coroutine>
#include <memory>

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

// An owner of commands on a clock, on the heap: a command resumed after it is gone reads freed
// memory. Its end abandons its commands' waits, as the editor's core does.
struct Owner {
    explicit Owner(Clock &c) : clock(c) {}
    ~Owner() { clock.abandonWaits(); }
    Task<int> command()
    {
        FrameGuard g;
        ++steps;
        co_await clock.pause(100);
        ++steps;
        co_return steps;
    }
    Task<int> outer()
    {
        FrameGuard g;
        const int v = co_await command();
        co_return v + steps;
    }
    Clock &clock;
    int steps = 0;
};

// A command of the pedal service, counted: its frame is the outermost of the command's.
Task<PedalService::Result> counted(Task<PedalService::Result> command)
{
    FrameGuard g;
    co_return co_await std::move(command);
}

// The editor's core on the heap, so that it can end while one of its commands waits; the clock
// and the simulated pedal stay, as the tests' clock would.
struct CoreThatEnds {
    QTemporaryDir docs;
    ManualClock clock;
    ScriptedPrompts prompts;
    SimBackend scan{&clock, 0};
    SimBackend simulated{&clock, 1};
    std::unique_ptr<EditorCore> core =
        std::make_unique<EditorCore>(docs.path(), &prompts, &clock, &scan, &simulated);
    SimulatedPedal *pedal() { return simulated.pedal(); }
};
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

    // A command abandoned while it waits, because its owner goes: never resumed (the owner's
    // memory is freed, so a resume would read it), its continuation never called, and every
    // frame freed, at once or when the task holding it is let go.
    void anAbandonedCommandIsNeverResumed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("resumeQueued"); // its wait was over, its resume not yet handled
        for (const char *how : {"then", "detach", "held", "awaited"}) {
            QTest::addRow("%s, waiting", how) << QString::fromLatin1(how) << false;
            QTest::addRow("%s, its resume queued", how) << QString::fromLatin1(how) << true;
        }
    }
    void anAbandonedCommandIsNeverResumed()
    {
        QFETCH(QString, how);
        QFETCH(bool, resumeQueued);
        ManualClock clock;
        clock.setDriven(true);
        auto owner = std::make_unique<Owner>(clock);
        bool continued = false;
        std::optional<Task<int>> held;
        if (how == QLatin1String("then"))
            owner->command().then([&](int) { continued = true; });
        else if (how == QLatin1String("detach"))
            owner->command().detach();
        else if (how == QLatin1String("held"))
            held.emplace(owner->command());
        else
            owner->outer().then([&](int) { continued = true; });
        QCOMPARE(owner->steps, 1);
        QVERIFY(clock.waiting());
        if (resumeQueued)
            clock.advance(100); // the wait is over; the event loop has not run since
        owner.reset();
        QVERIFY(!clock.waiting());
        QCOMPARE(alive, how == QLatin1String("held") ? 1 : 0);
        QVERIFY(!clock.runUntil([] { return false; }, 1000)); // nothing left to run
        QVERIFY(!continued);
        if (held) {
            QVERIFY(!held->done());
            QVERIFY(!held->result().has_value());
            held.reset();
        }
        QCOMPARE(alive, 0);
    }

    // The editor's core ends while one of its commands waits for the pedal (the editor quits
    // meanwhile): the command is never resumed into the freed service, line and log, and its
    // frames are freed; the pedal gets nothing more.
    void aCommandOfACoreThatEndsIsNeverResumed_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("resumeQueued");
        for (const char *command : {"request", "save parameters"}) {
            QTest::addRow("%s, waiting", command) << QString::fromLatin1(command) << false;
            QTest::addRow("%s, its resume queued", command) << QString::fromLatin1(command) << true;
        }
    }
    void aCommandOfACoreThatEndsIsNeverResumed()
    {
        QFETCH(QString, command);
        QFETCH(bool, resumeQueued);
        CoreThatEnds rig;
        finished(rig.core->service.linkSimulated());
        QVERIFY(rig.core->comm.linked());
        rig.pedal()->faults.answerDelayMs = 500; // the command waits for the answer
        rig.clock.setDriven(true);
        PedalService &service = rig.core->service;
        bool continued = false;
        counted(command == QLatin1String("request") ? service.requestDeviceInformation()
                                                    : service.saveParameters(true))
            .then([&](PedalService::Result) { continued = true; });
        QVERIFY(rig.clock.waiting());
        QCOMPARE(alive, 1);
        if (resumeQueued)
            rig.clock.advance(600); // the answer came, the wait is over; the event loop has not run since
        const qsizetype sent = rig.pedal()->record.size();
        rig.core.reset();
        rig.clock.runUntil([] { return false; }, 5000); // the pedal's answer comes, time passes
        QVERIFY(!rig.clock.waiting());
        QVERIFY(!continued);
        QCOMPARE(alive, 0);
        QCOMPARE(rig.pedal()->record.size(), sent);
    }

    // The pedal is unplugged while a command waits for it: the command ends, once, as failed,
    // and every frame is freed.
    void aCommandWhosePedalIsUnpluggedEnds()
    {
        CoreRig rig;
        finished(rig.service.linkSimulated());
        QVERIFY(rig.comm.linked());
        rig.pedal()->faults.answerDelayMs = 500;
        rig.clock.setDriven(true);
        int calls = 0;
        PedalService::Result result = PedalService::Result::Done;
        counted(rig.service.requestDeviceInformation()).then([&](PedalService::Result r) {
            result = r;
            ++calls;
        });
        QVERIFY(rig.clock.waiting());
        rig.pedal()->unplug();
        QVERIFY(rig.clock.runUntil([&] { return calls > 0; }, 10000));
        rig.clock.runUntil([] { return false; }, 5000);
        QCOMPARE(calls, 1);
        QCOMPARE(result, PedalService::Result::Failed);
        QCOMPARE(alive, 0);
        QVERIFY(!rig.comm.linked());
    }

    // The editor is closed with an unsaved change and its Save Parameters waits for the pedal;
    // the editor ends meanwhile (its windows go first, then the core, as at the end of the
    // program): the continuation that would close the main window is never called, and the
    // command's frames are freed.
    void anEditorThatEndsWhileItsCloseWaits()
    {
        QTemporaryDir home;
        auto rig = std::make_unique<EditorRig>(home.path());
        rig->main()->show();
        rig->linkAndSettle();
        rig->service().setControl(Parameter::InputLevel, DialMath::positionToAngle(100));
        rig->clock.advance(1500);
        rig->prompts.choices = {Prompts::Choice::Save};
        rig->pedal()->faults.answerDelayMs = 500;
        rig->clock.setDriven(true);
        QVERIFY(!rig->main()->close()); // waits for the save
        QCOMPARE(rig->prompts.questions.size(), 1);
        QVERIFY(rig->clock.waiting());
        rig->editor.reset();
        rig.reset();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestTask)
#include "tst_task.moc"
