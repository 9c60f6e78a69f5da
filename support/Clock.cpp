#include "support/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {
QElapsedTimer &steady()
{
    static QElapsedTimer t = [] { QElapsedTimer e; e.start(); return e; }();
    return t;
}
} // namespace

namespace {
class QtClockTimer : public ClockTimer {
public:
    explicit QtClockTimer(QObject *parent) : ClockTimer(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    }
    using ClockTimer::start;
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void setSingleShot(bool s) override { m_timer.setSingleShot(s); }

private:
    QTimer m_timer;
};
} // namespace

// A timer of the manual clock: due when the clock reaches its time.
class ManualTimer : public ClockTimer {
public:
    ManualTimer(ManualClock *clock, QObject *parent) : ClockTimer(parent), m_clock(clock)
    {
        clock->m_timers.append(this);
    }
    ~ManualTimer() override
    {
        if (m_clock)
            m_clock->m_timers.removeOne(this);
    }
    using ClockTimer::start;
    void start() override
    {
        m_active = true;
        m_due = m_clock->nowMs() + m_interval;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    void setInterval(int ms) override
    {
        m_interval = ms;
    }
    int interval() const override { return m_interval; }
    void setSingleShot(bool s) override { m_singleShot = s; }

    ManualClock *m_clock;
    bool m_active = false;
    bool m_singleShot = false;
    int m_interval = 0;
    qint64 m_due = 0;
};

ClockTimer *SystemClock::createTimer(QObject *parent) { return new QtClockTimer(parent); }

ManualClock::~ManualClock()
{
    for (ManualTimer *t : m_timers)
        t->m_clock = nullptr;
}

ClockTimer *ManualClock::createTimer(QObject *parent) { return new ManualTimer(this, parent); }

void ManualClock::advance(int ms)
{
    const qint64 end = m_now + ms;
    for (;;) {
        ManualTimer *next = nullptr;
        for (ManualTimer *t : m_timers) {
            if (t->m_active && t->m_due <= end && (!next || t->m_due < next->m_due))
                next = t;
        }
        if (!next)
            break;
        m_now = std::max(m_now, next->m_due);
        if (next->m_singleShot)
            next->m_active = false;
        else
            next->m_due = m_now + std::max(1, next->m_interval);
        emit next->timeout();
    }
    m_now = end;
}

qint64 SystemClock::nowMs() const { return steady().elapsed(); }

qint64 SystemClock::nowUs() const { return steady().nsecsElapsed() / 1000; }

QDateTime SystemClock::localNow() const { return QDateTime::currentDateTime(); }

namespace {
// Once the application has been told to quit, every event loop returns at once: a wait that
// would return early then sleeps out its time instead, so a caller's loop waiting for a time
// limit ends at that limit rather than spinning a core.
void sleepOutTheRest(const QElapsedTimer &waited, int ms)
{
    const qint64 left = ms - waited.elapsed();
    if (left > 0)
        QThread::msleep(quint64(left));
}
} // namespace

void SystemClock::pause(int ms)
{
    if (ms <= 0)
        return;
    const WaitScope scope(*this);
    QElapsedTimer waited;
    waited.start();
    bool timeUp = false;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&] {
        timeUp = true;
        loop.quit();
    });
    loop.exec();
    if (!timeUp)
        sleepOutTheRest(waited, ms);
}

void SystemClock::waitForActivity(int ms)
{
    const WaitScope scope(*this);
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QElapsedTimer waited;
    waited.start();
    bool ended = false; // the time is up or something arrived
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    const auto end = [&] {
        ended = true;
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, end);
    QObject::connect(this, &SystemClock::woken, &loop, end);
    timer.start(ms);
    loop.exec();
    if (!ended)
        sleepOutTheRest(waited, ms);
}

void SystemClock::wake() { emit woken(); }

void ManualClock::pause(int ms)
{
    const WaitScope scope(*this);
    pauses << ms;
    pausedMs += ms;
    advance(ms);
    QCoreApplication::processEvents();
}

void ManualClock::waitForActivity(int ms)
{
    const WaitScope scope(*this);
    QCoreApplication::processEvents();
    if (ms > 0) {
        ++activityWaits;
        advance(ms);
    } else {
        ++eventPasses;
    }
}
