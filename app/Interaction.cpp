#include "app/Interaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
QElapsedTimer &steady()
{
    static QElapsedTimer t = [] { QElapsedTimer e; e.start(); return e; }();
    return t;
}
} // namespace

qint64 SystemClock::nowMs() const { return steady().elapsed(); }

QDateTime SystemClock::localNow() const { return QDateTime::currentDateTime(); }

void SystemClock::pause(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void SystemClock::waitForActivity(int ms)
{
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(this, &SystemClock::woken, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
}

void SystemClock::wake() { emit woken(); }

void ManualClock::pause(int ms)
{
    pauses << ms;
    pausedMs += ms;
    m_now += ms;
    QCoreApplication::processEvents();
}

void ManualClock::waitForActivity(int ms)
{
    QCoreApplication::processEvents();
    if (ms > 0) {
        ++activityWaits;
        m_now += ms;
    } else {
        ++eventPasses;
    }
}

bool ScriptedPrompts::question(const QString &text)
{
    questions << text;
    if (answers.empty())
        return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

QString ScriptedPrompts::openFile(const QString &, const QString &, const QString &)
{
    if (files.empty())
        return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QString ScriptedPrompts::saveFile(const QString &, const QString &, const QString &, const QString &)
{
    return openFile({}, {}, {});
}
