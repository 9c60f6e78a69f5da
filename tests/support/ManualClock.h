#pragma once
// A clock for tests: time moves only when the code waits or the test moves it.
//
// By default a command's wait moves time on at once and handles the events already queued, so
// every command ends inside its call and a test reads its result on the next line. Driven, a
// wait suspends the command as the real clock's does, and runUntil() moves time from timer to
// timer while the event loop runs: the windows take input between the command's steps.

#include "support/Clock.h"

#include <QList>
#include <QObject>
#include <functional>

class ManualClock : public Clock {
public:
    ~ManualClock() override;
    ClockTimer *createTimer(QObject *parent) override;
    qint64 nowMs() const override { return m_now; }
    QDateTime localNow() const override { return m_wall.addMSecs(m_now - StartMs); }
    void wake() override;
    // Moves time on, firing every timer that falls due on the way, in time order.
    void advance(int ms);
    // The wall time now; it moves on with the clock.
    void setWallTime(const QDateTime &t) { m_wall = t.addMSecs(StartMs - m_now); }

    // Waits suspend commands; runUntil() moves time.
    void setDriven(bool driven) { m_driven = driven; }
    bool driven() const { return m_driven; }
    // Handles events and moves time to the next timer due, until done() holds (true), no timer
    // is left or limitMs of clock time have passed (false).
    bool runUntil(const std::function<bool()> &done, int limitMs = 600000);
    // The time of the next timer due, or -1 when none is.
    qint64 nextDueMs() const;

    qint64 pausedMs = 0;      // total of all pause() calls
    QList<int> pauses;        // each pause() in order
    int activityWaits = 0;    // activity() waits that could sleep (ms > 0)
    int eventPasses = 0;      // activity(0) waits: handle events, no sleep

protected:
    bool passesAtOnce(int ms, WaitKind kind) override;
    void resumeLater(int ms, WaitKind kind, quint64 wait) override;

private:
    friend class ManualTimer;
    static constexpr qint64 StartMs = 1000;
    qint64 m_now = StartMs;
    bool m_driven = false;
    QList<class ManualTimer *> m_timers;
    QList<std::function<void()>> m_activityWaits; // driven: ended early by wake()
    QObject m_waits; // owns the timers of the waits and their queued ends: they go with the clock
    QDateTime m_wall = QDateTime(QDate(2025, 3, 3), QTime(9, 0, 0));
};
