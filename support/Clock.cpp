#include "support/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <utility>

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

ClockTimer *SystemClock::createTimer(QObject *parent) { return new QtClockTimer(parent); }

qint64 SystemClock::nowMs() const { return steady().elapsed(); }

qint64 SystemClock::nowUs() const { return steady().nsecsElapsed() / 1000; }

QDateTime SystemClock::localNow() const { return QDateTime::currentDateTime(); }

bool SystemClock::passesAtOnce(int ms, WaitKind kind) { return ms <= 0 && kind == WaitKind::Pause; }

void Clock::resumeWait(quint64 wait)
{
    for (qsizetype i = 0; i < m_waits.size(); ++i) {
        if (m_waits[i].id == wait) {
            const std::coroutine_handle<> command = m_waits.takeAt(i).command;
            command.resume();
            return;
        }
    }
}

void Clock::abandonWaits()
{
    const QList<Suspended> waits = std::exchange(m_waits, {});
    for (const Suspended &w : waits) {
        leaveWait(w.kind);
        if (w.frame)
            TaskDetail::Frame::abandon(w.frame);
    }
}

void SystemClock::resumeLater(int ms, WaitKind kind, quint64 wait)
{
    // One timer per wait: its end, or a wake for an activity wait, resumes the command from the
    // event loop (never inside the signal that ended the wait). After a quit the timer never
    // fires and the command stays where it is: nothing spins.
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    const auto resume = [this, timer, wait] {
        timer->stop();
        QObject::disconnect(timer, nullptr, timer, nullptr);
        QObject::disconnect(this, nullptr, timer, nullptr);
        timer->deleteLater();
        QMetaObject::invokeMethod(this, [this, wait] { resumeWait(wait); }, Qt::QueuedConnection);
    };
    connect(timer, &QTimer::timeout, timer, resume);
    if (kind == WaitKind::Activity)
        connect(this, &SystemClock::woken, timer, resume);
    timer->start(std::max(ms, 0));
}

void SystemClock::wake() { emit woken(); }

void SystemClock::resumeGiven(quint64 wait)
{
    QMetaObject::invokeMethod(this, [this, wait] { resumeWait(wait); }, Qt::QueuedConnection);
}
