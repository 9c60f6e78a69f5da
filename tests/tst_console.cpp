#include "support/DiagnosticLog.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/FilterPlot.h"

#include <QLineEdit>

#include <QCheckBox>
#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {
// What the console shows, a line per row.
QString shownText(const DebugConsoleWindow &console)
{
    QStringList rows;
    for (int r = 0; r < console.logView->model()->rowCount(); ++r)
        rows << console.logView->model()->index(r, 0).data().toString();
    return rows.join('\n');
}
} // namespace

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void controlsAtCreation()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        QCOMPARE(console.windowTitle(), QString("Debug Console"));
        QVERIFY(console.autoScrollBox->isChecked());
        QVERIFY(log.consoleAutoScroll);
        QCOMPARE(console.cmbI2Caddr->currentText(), QString("50"));
        QCOMPARE(console.cmbNotePicker->count(), 48);
        QCOMPARE(console.cmbNotePicker->itemText(47), QString("G#5"));
        QVERIFY(console.btnSend->isHidden());
        QVERIFY(!console.calculatorPanel->isVisibleTo(&console));
    }

    void untouchedFirstCalculation()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.btnShowCalculator->click();
        QVERIFY(console.calculatorPanel->isVisible() || !console.isVisible());
        console.btnGetNoteFrequency->click();
        QCOMPARE(log.lines(), QStringList({"A1_6db_cut_Q11 : array[0..19] of string =",
                                           "('00', '7F', 'F8', '73', ", "'FF', '00', '1F', 'FA', ",
                                           "'00', '7F', 'E9', '46', ", "'00', 'FF', 'E0', '06', ",
                                           "'FF', '80', '1E', '48');"}));
        QCOMPARE(console.lastF0, 55.0);
        QVERIFY(console.plot->hasFilter());
    }

    void secondExample()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.cmbNotePicker->setCurrentText("A2");
        console.edtQ->setText("1.41");
        console.edtBoost->setText("0");
        console.btnGetNoteFrequency->click();
        QCOMPARE(log.lines().mid(2), QStringList({"A2_0db_boost_Q1.41 : array[0..19] of string =",
                                                  "('00', '80', '00', '00', ", "'FF', '01', '53', 'AD', ",
                                                  "'00', '7E', 'B3', '15', ", "'00', 'FE', 'AC', '53', ",
                                                  "'FF', '81', '4C', 'EB');"}));
        QCOMPARE(log.lines().mid(0, 2), QStringList({"Q: 1.41", "boost: 0"}));
    }

    void decimalCommaWhereTheLocaleUsesIt()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.cmbNotePicker->setCurrentText("A2");
        console.edtQ->setText("1,41");
        console.edtBoost->setText("-3,5");
        console.btnGetNoteFrequency->click();
        QLocale::setDefault(QLocale::c());
        QVERIFY(log.lines().contains("Q: 1,41"));
        QVERIFY(log.lines().contains("A2_3,5db_cut_Q1,41 : array[0..19] of string ="));
    }

    void unsoundInputsWriteNoTable_data()
    {
        QTest::addColumn<QString>("q");
        QTest::addColumn<QString>("boost");
        QTest::addColumn<QString>("line");
        QTest::newRow("Q 0") << "0" << "0" << "Q must be above 0: no coefficients calculated (Q: 0)";
        QTest::newRow("negative Q") << "-2" << "0" << "Q must be above 0: no coefficients calculated (Q: -2)";
        QTest::newRow("beyond 32 bits") << "0.0001" << "60" << "a coefficient does not fit in 32 bits: no coefficients written";
    }
    void unsoundInputsWriteNoTable()
    {
        QFETCH(QString, q);
        QFETCH(QString, boost);
        QFETCH(QString, line);
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.edtQ->setText(q);
        console.edtBoost->setText(boost);
        console.btnGetNoteFrequency->click();
        QCOMPARE(log.lines().last(), line);
        QVERIFY(!console.plot->hasFilter());
    }

    void notANumberKeepsTheValue()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.edtQ->setText("abc");
        QCOMPARE(console.Q, 11.0);
        QCOMPARE(log.lines(), QStringList{"'abc' is not a valid floating point value"});
    }

    void clearAndStartAgain()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        log.writeLogLine("one");
        console.flushPending();
        console.btnClear->click();
        QCOMPARE(shownText(console), QString());
        log.writeLogLine("two");
        console.flushPending();
        QCOMPARE(shownText(console), QString("two"));
        QCOMPARE(log.lines(), QStringList{"two"});
    }

    void scrollFollowsTheCheckBox()
    {
        DiagnosticLog log;
        DebugConsoleWindow console(&log);
        console.show();
        for (int i = 0; i < 500; ++i)
            log.writeLogLine(QStringLiteral("line %1").arg(i));
        console.flushPending();
        QScrollBar *bar = console.logView->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        console.btnScrollTop->click();
        QCOMPARE(bar->value(), 0);
        console.autoScrollBox->setChecked(false);
        QVERIFY(!log.consoleAutoScroll);
        for (int i = 0; i < 100; ++i)
            log.writeLogLine("more");
        console.flushPending();
        QCOMPARE(bar->value(), 0); // appended, the view stays
        QCOMPARE(console.logView->model()->rowCount(), 600);

        console.autoScrollBox->setChecked(true);
        log.writeLogLine("last");
        console.flushPending();
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
