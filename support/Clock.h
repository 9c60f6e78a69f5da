#pragma once
// The seam between the editor's logic and time: pauses, waits, timers and clock readings go
// through Clock, so tests move time by hand instead of sleeping.

#include <QDateTime>
#include <QList>
#include <QObject>

// A timer whose time is the clock's: real for the editor, moved by hand in tests.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start() = 0;           // (re)starts with the current interval
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    void start(int ms)
    {
        setInterval(ms);
        start();
    }
signals:
    void timeout();
};

class Clock {
public:
    // A new timer on this clock, owned by parent.
    virtual ClockTimer *createTimer(QObject *parent) = 0;
    virtual ~Clock() = default;
    // Monotonic milliseconds, for time limits.
    virtual qint64 nowMs() const = 0;
    // The same in microseconds, for models of the wire's pace.
    virtual qint64 nowUs() const { return nowMs() * 1000; }
    // Local wall time, for the log file's stamp.
    virtual QDateTime localNow() const = 0;
    // A fixed pause of the editor's flows. The window keeps painting and taking input; a command
    // started meanwhile is refused as busy (see waiting()).
    virtual void pause(int ms) = 0;
    // Waits up to ms for activity (data arriving, a timer), handling events meanwhile.
    // Never spins: the thread sleeps until something happens or the time is up.
    virtual void waitForActivity(int ms) = 0;
    // Ends a waitForActivity early (called when data arrives).
    virtual void wake() = 0;
    // Whether a pause or wait is under way: a command that starts now was started by an event
    // handled inside another command's wait, and must not get onto the line in its middle.
    bool waiting() const { return m_waitDepth > 0; }

protected:
    // Marks a pause or wait for as long as it lives.
    struct WaitScope {
        explicit WaitScope(Clock &c) : clock(c) { ++clock.m_waitDepth; }
        ~WaitScope() { --clock.m_waitDepth; }
        Clock &clock;
    };

private:
    int m_waitDepth = 0;
};

// The real clock: steady time, local time, event-loop based pauses and waits.
class SystemClock : public QObject, public Clock {
    Q_OBJECT
public:
    ClockTimer *createTimer(QObject *parent) override;
    qint64 nowMs() const override;
    qint64 nowUs() const override;
    QDateTime localNow() const override;
    void pause(int ms) override;
    void waitForActivity(int ms) override;
    void wake() override;
signals:
    void woken();
};

// A clock for tests: time moves only when the code pauses or waits.
class ManualClock : public Clock {
public:
    ~ManualClock() override;
    ClockTimer *createTimer(QObject *parent) override;
    qint64 nowMs() const override { return m_now; }
    QDateTime localNow() const override { return m_wall.addMSecs(m_now - StartMs); }
    void pause(int ms) override;
    void waitForActivity(int ms) override;
    void wake() override {}
    // Moves time on, firing every timer that falls due on the way, in time order.
    void advance(int ms);
    // The wall time now; it moves on with the clock.
    void setWallTime(const QDateTime &t) { m_wall = t.addMSecs(StartMs - m_now); }
    qint64 pausedMs = 0;      // total of all pause() calls
    QList<int> pauses;        // each pause() in order
    int activityWaits = 0;    // waitForActivity() calls that could sleep (ms > 0)
    int eventPasses = 0;      // waitForActivity(0) calls: handle events, no sleep
private:
    friend class ManualTimer;
    static constexpr qint64 StartMs = 1000;
    qint64 m_now = StartMs;
    QList<class ManualTimer *> m_timers;
    QDateTime m_wall = QDateTime(QDate(2025, 3, 3), QTime(9, 0, 0));
};

