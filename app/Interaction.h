#pragma once
// Seams between the editor's logic and the person and time: every message box,
// question, file dialog, pause and clock reading goes through these, so tests can
// answer questions, pick files and skip pauses.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>

class Prompts {
public:
    virtual ~Prompts() = default;
    // A plain message box with a fixed text.
    virtual void message(const QString &text) = 0;
    // A yes/no question; true for Yes.
    virtual bool question(const QString &text) = 0;
    // Open and save dialogs; an empty result means the user cancelled.
    virtual QString openFile(const QString &title, const QString &filter, const QString &folder) = 0;
    virtual QString saveFile(const QString &title, const QString &filter, const QString &folder,
                             const QString &defaultSuffix) = 0;
    // Hands a web address or a folder to the desktop's default handler; failures are silent.
    virtual void openExternal(const QUrl &url) = 0;
};

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
    // Local wall time, for the log file's stamp.
    virtual QDateTime localNow() const = 0;
    // A fixed pause of the editor's flows. The window keeps painting but takes no input.
    virtual void pause(int ms) = 0;
    // Waits up to ms for activity (data arriving, a timer), handling events meanwhile.
    // Never spins: the thread sleeps until something happens or the time is up.
    virtual void waitForActivity(int ms) = 0;
    // Ends a waitForActivity early (called when data arrives).
    virtual void wake() = 0;
};

// The real clock: steady time, local time, event-loop based pauses and waits.
class SystemClock : public QObject, public Clock {
    Q_OBJECT
public:
    ClockTimer *createTimer(QObject *parent) override;
    qint64 nowMs() const override;
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

// Answers prompts from a script and records what was shown.
class ScriptedPrompts : public Prompts {
public:
    void message(const QString &text) override { messages << text; }
    bool question(const QString &text) override;
    QString openFile(const QString &, const QString &, const QString &) override;
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override;
    void openExternal(const QUrl &url) override { opened << url; }

    QStringList messages;
    QList<QUrl> opened;
    QStringList questions;
    std::deque<bool> answers;   // next answers to questions; Yes when empty
    std::deque<QString> files;  // next file dialog results; cancel when empty
};
