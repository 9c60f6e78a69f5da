// Where the editor's message boxes open: on the window whose control started their command.
#include "pedal/EditorCore.h"
#include "simulator/SimBackend.h"
#include "support/ManualClock.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/Editor.h"
#include "windows/MainWindow.h"
#include "windows/Placement.h"
#include "windows/WidgetPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {
// The editor with its own message boxes (WidgetPrompts), on the simulated pedal.
struct BoxRig {
    explicit BoxRig(const QString &documents)
        : scan(&clock, 0), simulated(&clock, 1), core(documents, &prompts, &clock, &scan, &simulated)
    {
        core.update.server = QUrl(); // no update server: the start-up check asks nothing
        editor = std::make_unique<Editor>(core);
        prompts.setParent(editor->main());
    }
    ManualClock clock;
    WidgetPrompts prompts;
    SimBackend scan;
    SimBackend simulated;
    EditorCore core;
    std::unique_ptr<Editor> editor;
};

// Every message box that opens while it lives: its text and where it stood once it had settled.
// Each is answered Yes (or OK) a moment after it opened.
class BoxCatcher : public QObject {
public:
    struct Seen {
        QString text;
        QRect frame;
    };
    BoxCatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box != m_open) {
                m_open = box; // seen once: looked at on the next tick, once it has settled
                return;
            }
            seen.append({box->text(), box->frameGeometry()});
            m_open = nullptr;
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->accept();
        });
        m_timer.start(10);
    }
    QList<Seen> seen;

private:
    QTimer m_timer;
    QPointer<QMessageBox> m_open;
};
} // namespace

class TestBoxes : public QObject {
    Q_OBJECT
private slots:
    // A box opens centred on the window whose control started its command, whichever editor
    // window is active meanwhile, and stays there for the command's later boxes, after its waits;
    // a box that no command started (an unplug) opens on the main window.
    void boxesOpenOnTheWindowTheCommandCameFrom_data()
    {
        QTest::addColumn<QString>("from");   // where the command starts; "" for none
        QTest::addColumn<QString>("active"); // the window active meanwhile
        QTest::addColumn<int>("boxes");      // at least this many, the last one after waits
        QTest::newRow("Upgrade Mode in the main window, the console active") << "main" << "console" << 2;
        QTest::newRow("Read E2P of a silent memory in the console, the main window active") << "console" << "main" << 1;
        QTest::newRow("an unplug, the console active") << "" << "console" << 1;
    }
    void boxesOpenOnTheWindowTheCommandCameFrom()
    {
        QFETCH(QString, from);
        QFETCH(QString, active);
        QFETCH(int, boxes);
        QTemporaryDir docs;
        BoxRig rig(docs.path());
        MainWindow *main = rig.editor->main();
        DebugConsoleWindow *console = rig.editor->console();
        main->menuLinkSimulated->trigger();
        rig.clock.advance(2000);
        QVERIFY(rig.core.comm.linked());
        // The two windows apart on the screen, neither at its edge.
        const QRect screen = main->screen()->availableGeometry();
        main->move(screen.topLeft() + QPoint(20, 20));
        main->show();
        console->show();
        console->move(screen.bottomRight() -
                      QPoint(console->frameGeometry().width() + 20, console->frameGeometry().height() + 20));
        QWidget *activeWindow = active == "main" ? static_cast<QWidget *>(main) : console;
        activeWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(activeWindow));

        BoxCatcher catcher;
        rig.clock.setDriven(true); // each wait suspends its command, as on the real clock
        if (from == "main") {
            main->menuFirmwareUpgradeMode->trigger();
        } else if (from == "console") {
            console->cmbI2Caddr->setCurrentText("51"); // no memory there: no dump comes
            console->btnReadEEPROM->click();
        } else {
            rig.simulated.pedal()->unplug();
        }
        const bool ended =
            rig.clock.runUntil([&] { return catcher.seen.size() >= boxes && !rig.core.clock->waiting(); }, 60000);
        QStringList texts;
        for (const BoxCatcher::Seen &box : catcher.seen)
            texts << box.text;
        QVERIFY2(ended, qPrintable(texts.join(" | ")));
        QWidget *owner = from == "console" ? static_cast<QWidget *>(console) : main;
        for (const BoxCatcher::Seen &box : catcher.seen) {
            QRect centred(QPoint(), box.frame.size());
            centred.moveCenter(owner->frameGeometry().center());
            QCOMPARE(box.frame.topLeft(), Placement::onto(centred.size(), centred.topLeft(), screen));
        }
        rig.clock.setDriven(false);
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
