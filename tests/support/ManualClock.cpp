#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include "support/ManualClock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <algorithm>
#include <memory>

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
    m_now = std::max(m_now, end); // a timer's slot may have moved time on itself (a modal box's loop)
}

qint64 ManualClock::nextDueMs() const
{
    qint64 due = -1;
    for (const ManualTimer *t : m_timers) {
        if (t->m_active && (due < 0 || t->m_due < due))
            due = t->m_due;
    }
    return due;
}

bool ManualClock::passesAtOnce(int ms, WaitKind kind)
{
    if (kind == WaitKind::Pause) {
        pauses << ms;
        pausedMs += ms;
    } else if (ms > 0) {
        ++activityWaits;
    } else {
        ++eventPasses;
    }
    if (m_driven)
        return kind == WaitKind::Pause && ms <= 0;
    const WaitScope scope(*this);
    if (kind == WaitKind::Pause) {
        advance(ms);
        QCoreApplication::processEvents();
    } else {
        QCoreApplication::processEvents();
        if (ms > 0)
            advance(ms);
    }
    return true;
}

void ManualClock::resumeLater(int ms, WaitKind kind, quint64 wait)
{
    auto *timer = new ManualTimer(this, &m_waits);
    timer->setSingleShot(true);
    auto ended = std::make_shared<bool>(false);
    const auto resume = [this, timer, wait, ended] {
        if (*ended)
            return;
        *ended = true;
        timer->stop();
        timer->deleteLater();
        QMetaObject::invokeMethod(&m_waits, [this, wait] { resumeWait(wait); }, Qt::QueuedConnection);
    };
    QObject::connect(timer, &ClockTimer::timeout, timer, resume);
    if (kind == WaitKind::Activity)
        m_activityWaits << resume;
    timer->start(std::max(ms, 0));
}

void ManualClock::wake()
{
    const auto waits = std::exchange(m_activityWaits, {});
    for (const auto &resume : waits)
        resume();
}

bool ManualClock::runUntil(const std::function<bool()> &done, int limitMs)
{
    const qint64 limit = m_now + limitMs;
    QElapsedTimer answerWait;
    for (;;) {
        // Every event due now, including those the handled ones post (one pass leaves those for
        // the next), so no step waits for a later timer.
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        for (int pass = 0; pass < 10000 && dispatcher->processEvents(QEventLoop::AllEvents); ++pass) {
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (answering()) {
            // A person's answer is awaited (a box open): it comes from the event loop, in real
            // time (a test's hand on the box), while the clock stands still. Bounded in real time.
            if (!answerWait.isValid())
                answerWait.start();
            if (answerWait.elapsed() > 20000)
                return false;
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
            continue;
        }
        answerWait.invalidate();
        const qint64 due = nextDueMs();
        if (due < 0 || due > limit)
            return false;
        advance(int(std::max<qint64>(0, due - m_now)));
    }
}
