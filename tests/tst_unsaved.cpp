// Nothing unsaved left behind: the assignable values the pedal keeps through power-off, the
// question before closing or unlinking with changes it does not keep, the compare view that
// follows every change, and the assignable defaults as one step of the history.
#include "support/Finish.h"
#include "EditorRig.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/EditHistory.h"
#include "pedal/ParameterCatalogue.h"
#include "presets/PresetFile.h"
#include "windows/CompareWindow.h"
#include "windows/EffectWindow.h"
#include "windows/WidgetPrompts.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

Q_DECLARE_METATYPE(Prompts::Choice)

namespace {
using Choice = Prompts::Choice;
} // namespace

class TestUnsaved : public QObject {
    Q_OBJECT

private slots:
    // The editor's three-way question: Save Parameters, Discard, Cancel; Cancel is what Enter and
    // Escape choose.
    void theQuestionsButtons_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<Prompts::Choice>("choice");
        QTest::newRow("Save Parameters") << "btnSave" << Choice::Save;
        QTest::newRow("Discard") << "btnDiscard" << Choice::Discard;
        QTest::newRow("Enter") << "Return" << Choice::Cancel;
        QTest::newRow("Escape") << "Escape" << Choice::Cancel;
    }
    void theQuestionsButtons()
    {
        QFETCH(QString, press);
        QFETCH(Prompts::Choice, choice);
        WidgetPrompts prompts;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton *b : box->buttons())
                buttons << b->text().remove('&');
            QCOMPARE(box->defaultButton(), box->escapeButton());
            QCOMPARE(box->standardButton(box->defaultButton()), QMessageBox::Cancel);
            if (press == "Return")
                QTest::keyClick(box, Qt::Key_Return);
            else if (press == "Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->findChild<QPushButton *>(press)->click();
        });
        QCOMPARE(prompts.saveOrDiscard("Input Level was changed. Save Parameters before closing the editor?",
                                       "Save Parameters"),
                 choice);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Cancel", "Discard", "Save Parameters"}));
    }

};

QTEST_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
