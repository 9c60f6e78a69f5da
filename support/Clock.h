#pragma once
// The seam between the editor's logic and time: pauses, waits, timers and clock readings go
// through Clock, so tests move time by hand instead of sleeping. A wait is a step of a command
// (support/Task.h): the command is resumed by the event loop, which runs on meanwhile.

#include <QDateTime>
#ifndef Q_MOC_RUN
#include "support/Reply.h"
#include "support/Task.h"

#include <memory>

#include <coroutine>
#include <type_traits>
#endif
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
    enum class WaitKind { Pause, Activity, Answer };

    // A wait inside a step-by-step command (see Task): `co_await clock.pause(100);`. While it
    // lasts the event loop runs on and waiting() is true.
    struct [[nodiscard]] Wait {
        Clock &clock;
        int ms;
        WaitKind kind;
        bool suspended = false;
        bool await_ready() { return clock.passesAtOnce(ms, kind); }
        template <typename P>
        void await_suspend(std::coroutine_handle<P> h)
        {
            suspended = true;
            clock.resumeLater(ms, kind, clock.enterWait(h, kind));
        }
        void await_resume()
        {
            if (suspended)
                clock.leaveWait(kind);
        }
    };

    // A wait for a person's answer (support/Reply.h): `bool yes = co_await clock.reply(r);`. While
    // it lasts waiting() and answering() are true: the command that asked still runs.
    template <typename T>
    struct [[nodiscard]] ReplyWait {
        Clock &clock;
        typename Reply<T>::Ptr reply;
        bool suspended = false;
        bool await_ready() const { return reply->given(); }
        template <typename P>
        void await_suspend(std::coroutine_handle<P> h)
        {
            suspended = true;
            const quint64 id = clock.enterWait(h, WaitKind::Answer);
            // The answer may come after the clock is gone (a box left open at the end): then
            // nobody is resumed.
            reply->whenGiven([alive = std::weak_ptr<Clock *>(clock.m_alive), id] {
                if (const auto c = alive.lock())
                    (*c)->resumeGiven(id);
            });
        }
        T await_resume()
        {
            if (suspended)
                clock.leaveWait(WaitKind::Answer);
            return *reply->value();
        }
    };
    template <typename T>
    ReplyWait<T> reply(typename Reply<T>::Ptr r)
    {
        return ReplyWait<T>{*this, std::move(r)};
    }
    // Whether a command waits for a person's answer now.
    bool answering() const { return m_answerDepth > 0; }

    // A new timer on this clock, owned by parent.
    virtual ClockTimer *createTimer(QObject *parent) = 0;
    // Commands still waiting on the clock as it ends are abandoned (see abandonWaits).
    virtual ~Clock() { abandonWaits(); }
    // Monotonic milliseconds, for time limits.
    virtual qint64 nowMs() const = 0;
    // The same in microseconds, for models of the wire's pace.
    virtual qint64 nowUs() const { return nowMs() * 1000; }
    // Local wall time, for the log file's stamp.
    virtual QDateTime localNow() const = 0;
    // A fixed pause of a command's steps. The window keeps painting and taking input; a command
    // started meanwhile is refused as busy (see waiting()).
    Wait pause(int ms) { return Wait{*this, ms, WaitKind::Pause}; }
    // Waits up to ms for activity (data arriving, see wake()); with 0, lets the events that are
    // already queued (an unplug, bytes) be handled first.
    Wait activity(int ms) { return Wait{*this, ms, WaitKind::Activity}; }
    // Ends the activity waits early (called when data arrives).
    virtual void wake() = 0;
    // Whether a pause or wait is under way: a command that starts now was started by an event
    // handled inside another command's wait, and must not get onto the line in its middle.
    bool waiting() const { return m_waitDepth > 0; }
    // The owner of the commands waiting on this clock is going (EditorCore's end): they are
    // abandoned, never resumed (see Task), and their frames freed.
    void abandonWaits();

protected:
    // Whether a wait is over without suspending the command (a test clock that moves time itself).
    virtual bool passesAtOnce(int ms, WaitKind kind) = 0;
    // Calls resumeWait(wait) from the event loop after ms, or on wake() for an activity wait.
    virtual void resumeLater(int ms, WaitKind kind, quint64 wait) = 0;
    // Resumes the command of a wait that is over, unless it was abandoned meanwhile.
    void resumeWait(quint64 wait);
    // An answer was given: resumes its command (the real clock: from the event loop, never
    // inside the signal of the dialog that gave it).
    virtual void resumeGiven(quint64 wait) { resumeWait(wait); }

    // Marks a wait handled inside passesAtOnce for as long as it lives.
    struct WaitScope {
        explicit WaitScope(Clock &c) : clock(c) { ++clock.m_waitDepth; }
        ~WaitScope() { --clock.m_waitDepth; }
        Clock &clock;
    };

private:
    // A command suspends in a wait of this kind: counted, and kept to be resumed (or abandoned)
    // by the wait's number.
    template <typename P>
    quint64 enterWait(std::coroutine_handle<P> h, WaitKind kind)
    {
        ++m_waitDepth;
        if (kind == WaitKind::Answer)
            ++m_answerDepth;
        TaskDetail::Frame *frame = nullptr;
        if constexpr (std::is_base_of_v<TaskDetail::Frame, P>)
            frame = &h.promise();
        m_waits.append({++m_lastWait, h, frame, kind});
        return m_lastWait;
    }
    void leaveWait(WaitKind kind)
    {
        --m_waitDepth;
        if (kind == WaitKind::Answer)
            --m_answerDepth;
    }
    struct Suspended {
        quint64 id;
        std::coroutine_handle<> command;
        TaskDetail::Frame *frame; // its frame, when it is a Task's
        WaitKind kind = WaitKind::Pause;
    };
    int m_waitDepth = 0;
    int m_answerDepth = 0;
    std::shared_ptr<Clock *> m_alive = std::make_shared<Clock *>(this);
    quint64 m_lastWait = 0;
    QList<Suspended> m_waits; // the waits under way, in the order they began
};

// The real clock: steady time, local time, waits as timers of the event loop.
class SystemClock : public QObject, public Clock {
    Q_OBJECT
public:
    ClockTimer *createTimer(QObject *parent) override;
    qint64 nowMs() const override;
    qint64 nowUs() const override;
    QDateTime localNow() const override;
    void wake() override;
signals:
    void woken();

protected:
    bool passesAtOnce(int ms, WaitKind kind) override;
    void resumeLater(int ms, WaitKind kind, quint64 wait) override;
    void resumeGiven(quint64 wait) override;
};
