// How the debug console copes with the tens of thousands of lines a firmware upgrade or a
// settings-memory dump writes: appending stays flat as the console grows.
#include "support/DiagnosticLog.h"
#include "windows/DebugConsoleWindow.h"

#include <QListView>
#include <QtTest>

class BenchConsole : public QObject {
    Q_OBJECT
private slots:
    void appendLines_data()
    {
        QTest::addColumn<int>("alreadyThere");
        QTest::newRow("empty console") << 0;
        QTest::newRow("after 200,000 lines") << 200000;
    }
    // 16,384 lines (one settings-memory dump) appended, shown and scrolled.
    void appendLines()
    {
        QFETCH(int, alreadyThere);
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.show();
        for (int i = 0; i < alreadyThere; ++i)
            log.writeLogLine(QStringLiteral("%1: FF").arg(i));
        console.flushPending();
        QBENCHMARK {
            for (int p = 0; p < 16384; ++p)
                log.writeLogLine(QStringLiteral("%1: FF").arg(p));
            console.flushPending();
        }
        QVERIFY(console.logView->model()->rowCount() >= 16384);
    }
};

QTEST_MAIN(BenchConsole)
#include "bench_console.moc"
