// The real clock's waits once the application has been told to quit: every event loop then
// returns at once, and a wait that returned early would let a caller's loop spin a core until its
// time limit (or for ever, if the limit is a flag that only an event clears).
#include "support/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>

class TestClock : public QObject {
    Q_OBJECT
private slots:
    void waitsKeepTheirTimeAfterQuit_data()
    {
        QTest::addColumn<bool>("pause");
        QTest::newRow("pause") << true;
        QTest::newRow("wait for activity") << false;
    }
    void waitsKeepTheirTimeAfterQuit()
    {
        QFETCH(bool, pause);
        SystemClock clock;
        QCoreApplication::exit(0); // as a close of the editor does while a command waits
        // A loop such as a read waiting for its dump: it must take the time it asks for, in a few
        // waits, not thousands of returns at once.
        QElapsedTimer t;
        t.start();
        int waits = 0;
        while (t.elapsed() < 300) {
            if (pause)
                clock.pause(50);
            else
                clock.waitForActivity(50);
            ++waits;
        }
        QVERIFY2(waits <= 8, qPrintable(QStringLiteral("%1 waits in 300 ms").arg(waits)));
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
