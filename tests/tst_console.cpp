#include "app/DiagnosticLog.h"
#include "console/ConsoleWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void controlsAtCreation()
    {
        DiagnosticLog log;
        TformPrint console(&log);
        QCOMPARE(console.windowTitle(), QString("Debug Console"));
        QVERIFY(console.CheckBox1->isChecked());
        QVERIFY(log.ConsoleAutoScroll);
        QCOMPARE(console.cmbI2Caddr->currentText(), QString("50"));
        QCOMPARE(console.cmbNotePicker->count(), 48);
        QCOMPARE(console.cmbNotePicker->itemText(47), QString("G#5"));
        QVERIFY(console.btnSend->isHidden());
        QVERIFY(console.cmbNotePicker->isHidden());
    }

    void clearAndStartAgain()
    {
        DiagnosticLog log;
        TformPrint console(&log);
        log.WriteLogLine("one");
        console.flushPending();
        console.btnClear->click();
        QCOMPARE(console.Memo1->toPlainText(), QString());
        log.WriteLogLine("two");
        console.flushPending();
        QCOMPARE(console.Memo1->toPlainText(), QString("two"));
        QCOMPARE(log.lines(), QStringList{"two"});
    }

    void scrollFollowsTheCheckBox()
    {
        DiagnosticLog log;
        TformPrint console(&log);
        console.show();
        for (int i = 0; i < 500; ++i)
            log.WriteLogLine(QStringLiteral("line %1").arg(i));
        console.flushPending();
        QScrollBar *bar = console.Memo1->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        console.btnScrollTop->click();
        QCOMPARE(bar->value(), 0);
        console.CheckBox1->setChecked(false);
        QVERIFY(!log.ConsoleAutoScroll);
        for (int i = 0; i < 100; ++i)
            log.WriteLogLine("more");
        console.flushPending();
        QCOMPARE(bar->value(), 0); // appended, the view stays
        QCOMPARE(console.Memo1->blockCount(), 600);

        console.CheckBox1->setChecked(true);
        log.WriteLogLine("last");
        console.flushPending();
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
