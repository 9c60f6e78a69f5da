#include "support/Finish.h"
#include "EditorRig.h"
#include "pedal/EditorCore.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "windows/MainWindow.h"
#include "support/Resources.h"
#include "windows/WrapButton.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/EffectWindow.h"
#include "windows/FirmwareUpgradeWindow.h"
#include "windows/WidgetPrompts.h"
#include "simulator/SimBackend.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QPushButton>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

namespace {
QString look(int n)
{
    QByteArray data;
    Resources::load(QStringLiteral("STYLE_%1").arg(n), &data);
    return QString::fromUtf8(data);
}
using GuiRig = EditorRig;

const QStringList DeviceCommands = {
    "btnUpload", "btnRequest", "btnSaveParameters", "btnAssign", "btnSetFootswitchMode", "btnSetTuning",
    "menuLoadPreset", "menuSavePreset", "menuLoadAlgorithmFromFile", "menuUploadTuningsData", "menuMIDI",
    "menuInstrumentRange", "menuBypassStatus", "menuRangeLimit", "menuSetAssignableParamsToDefault"};
const QStringList ParameterButtons = {"btnRequest", "btnSaveParameters", "btnAssign", "btnSetFootswitchMode",
                                      "btnSetTuning"};
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { qApp->setStyleSheet(QString()); }

    void firstRunAndStartupGating()
    {
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        const QString user = docs.path() + "/Karvo/Quarnelo MK3";
        QCOMPARE(QDir(user).entryList(QDir::Files, QDir::Name),
                 QStringList({"ReportUSBErrors.txt", "ShowMessageVersionAtStartup.txt", "log.txt"}));
        QCOMPARE(fileBytes(user + "/ShowMessageVersionAtStartup.txt"), QByteArray("YES"));
        QCOMPARE(fileBytes(user + "/ReportUSBErrors.txt"), QByteArray("YES"));
        QCOMPARE(fileBytes(user + "/log.txt"), QByteArray());
        QVERIFY(!QFile::exists(docs.path() + "/Karvo/style.txt"));
        QVERIFY(rig.prompts.messages.isEmpty());
        QVERIFY(rig.ctx.log.lines().isEmpty()); // the creation handler writes no log lines

        // Only Scan And Link, Open Files Folder, Look, Upgrade Mode, Info and the effect list.
        for (const QString &name : DeviceCommands)
            QVERIFY2(!rig.on(qPrintable(name)), qPrintable(name));
        for (const char *name : {"menuDisconnect", "menuEraseSettings", "menuConnect", "menuStartFirmwareUpgrade"})
            QVERIFY2(!rig.on(name), name);
        for (const char *name : {"menuScan", "menuOpenFilesFolder", "menuLook", "menuFirmwareUpgradeMode",
                                 "menuSupport", "menuShowUpdateMsg", "lstEffects", "menuLinkSimulated"})
            QVERIFY2(rig.on(name), name);
        QVERIFY(!rig.on("effect window controls"));
        QVERIFY(rig.main()->menuShowUpdateMsg->isChecked());
        QVERIFY(rig.main()->menuReportUSBErrors->isChecked());
        QCOMPARE(rig.main()->lblDeviceName->text(), QString("No device found"));
        QCOMPARE(rig.main()->menuAppVersion->text(), QString("Editor Version:  1.21"));
        QCOMPARE(rig.main()->lstEffects->count(), 1);
        QCOMPARE(rig.main()->lstEffects->item(0)->text(), QString("Quarnelo MK3 0015"));
        QCOMPARE(rig.ctx.service.latestAlgorithmNumber, 15);
        QVERIFY(rig.ctx.update.checkScheduled());
        QVERIFY(!rig.ctx.comm.pollRunning());
        QCOMPARE(rig.main()->size(), QSize(356, rig.main()->menuBar()->height() + 228));
        QCOMPARE(rig.main()->windowTitle(), QString("Quarnelo Editor"));
        QCOMPARE(rig.main()->btnSaveParameters->toolTip(), QString("Saves current status of assignable parameters to pedal."));
        QCOMPARE(rig.main()->midiChannelItems[0]->text(), QString("OMNI"));
        QCOMPARE(rig.main()->midiChannelItems[16]->text(), QString("16"));
        QCOMPARE(rig.main()->menuLook->actions().size(), 7);
    }

    void logFileWrittenAtClose()
    {
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.ctx.log.writeLogLine("A");
        rig.ctx.log.writeLogLine("B");
        rig.main()->close();
        QCOMPARE(fileBytes(rig.user("log.txt")), QByteArray("\n\n03-03-2025 09:05:07\nA\r\nB\r\n"));
    }

    void keys_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Ctrl+Shift+P") << int(Qt::ControlModifier | Qt::ShiftModifier) << true;
        QTest::newRow("Ctrl+P") << int(Qt::ControlModifier) << false;
        QTest::newRow("Shift+P") << int(Qt::ShiftModifier) << false;
    }
    void keys()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, shown);
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.main()->show();
        QTest::keyClick(rig.main()->lstEffects, Qt::Key_P, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(rig.editor->console()->isVisible(), shown);
    }

    // Keyboard habits of other editors: Ctrl+Y redoes as Ctrl+Shift+Z does (in both windows),
    // Ctrl+S and Ctrl+O save and load a local preset, Ctrl+Q closes the editor.
    void keyboardHabits_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("inEffectWindow");
        QTest::newRow("Ctrl+Y redoes") << "Ctrl+Y" << false;
        QTest::newRow("Ctrl+Shift+Z redoes") << "Ctrl+Shift+Z" << false;
        QTest::newRow("Ctrl+Y redoes in the effect window") << "Ctrl+Y" << true;
        QTest::newRow("Ctrl+S saves a local preset") << "Ctrl+S" << false;
        QTest::newRow("Ctrl+O loads a local preset") << "Ctrl+O" << false;
        QTest::newRow("Ctrl+Q quits") << "Ctrl+Q" << false;
        QTest::newRow("F10 opens the menu bar") << "F10" << false;
        QTest::newRow("Alt+F opens the File menu") << "Alt+F" << false;
        QTest::newRow("Alt+U opens the Firmware Upgrade menu") << "Alt+U" << false;
        QTest::newRow("Ctrl+E shows the closed effect window again") << "Ctrl+E" << false;
    }
    void keyboardHabits()
    {
        QFETCH(QString, keys);
        QFETCH(bool, inEffectWindow);
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.main()->show();
        rig.link();
        QWidget *window = inEffectWindow ? static_cast<QWidget *>(rig.editor->effect()) : rig.main();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const auto press = [&] { QTest::keySequence(window, QKeySequence(keys)); };
        if (keys.endsWith(QLatin1String("Y")) || keys.endsWith(QLatin1String("Z"))) {
            const quint32 before = rig.param(Parameter::Dry).value;
            QCOMPARE(rig.service().setControl(Parameter::Dry, 0), PedalService::Result::Done);
            rig.service().flushDialWrites();
            const quint32 edited = rig.param(Parameter::Dry).value;
            QVERIFY(edited != before);
            QTest::keySequence(window, QKeySequence(QKeySequence::Undo));
            QCOMPARE(rig.param(Parameter::Dry).value, before);
            press();
            QCOMPARE(rig.param(Parameter::Dry).value, edited);
        } else if (keys == QLatin1String("Ctrl+S")) {
            const QString path = docs.filePath(QStringLiteral("by keys.txt"));
            rig.prompts.files.push_back(path);
            press();
            QVERIFY(rig.logged(QStringLiteral("********************SAVE LOCAL PRESET********************")));
            QVERIFY(QFile::exists(path));
        } else if (keys == QLatin1String("Ctrl+O")) {
            press();
            QVERIFY(rig.logged(QStringLiteral("********************LOAD LOCAL PRESET********************")));
        } else if (keys == QLatin1String("F10") || keys.startsWith(QLatin1String("Alt+"))) {
            QVERIFY(!rig.main()->menuBar()->activeAction());
            press();
            const QString expected = keys == QLatin1String("Alt+U") ? "menuFirmwareUpgrade" : "menuFile";
            QTRY_VERIFY(rig.main()->menuBar()->activeAction());
            QCOMPARE(rig.main()->menuBar()->activeAction()->menu()->objectName(), expected);
            QTRY_VERIFY(rig.main()->menuBar()->activeAction()->menu()->isVisible());
            rig.main()->menuBar()->activeAction()->menu()->close();
        } else if (keys == QLatin1String("Ctrl+E")) {
            rig.editor->effect()->close();
            QVERIFY(!rig.editor->effect()->isVisible());
            press();
            QVERIFY(rig.editor->effect()->isVisible());
            QVERIFY(rig.on("effect window controls"));
            QCOMPARE(rig.editor->effect()->windowTitle(), QString("Quarnelo MK3 0015"));
        } else {
            press();
            QVERIFY(!rig.main()->isVisible());
        }
    }

    // A question opens at the centre of the window it belongs to, wholly on the screen.
    void dialogsCentredOnTheirWindow_data()
    {
        QTest::addColumn<QPoint>("windowAt");
        QTest::newRow("a window in the middle") << QPoint(400, 250);
        QTest::newRow("a window at the top-left corner") << QPoint(0, 0);
        QTest::newRow("a window past the screen's right edge") << QPoint(600, 300);
    }
    void dialogsCentredOnTheirWindow()
    {
        QFETCH(QPoint, windowAt);
        QWidget window;
        window.resize(440, 448);
        window.move(windowAt);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        WidgetPrompts prompts;
        SystemClock clock;
        prompts.attach(clock);
        prompts.setParent(&window);
        QRect seen;
        QTimer::singleShot(0, this, [&] { // the box is up; look once it has settled
            QTimer::singleShot(0, this, [&] {
                QWidget *box = QApplication::activeModalWidget();
                QVERIFY(box);
                seen = box->frameGeometry();
                box->close();
            });
        });
        finished(prompts.ask("Centred?"));
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY2(screen.contains(seen), qPrintable(QString("%1,%2 %3x%4").arg(seen.x()).arg(seen.y()).arg(seen.width()).arg(seen.height())));
        QRect centred(QPoint(), seen.size());
        centred.moveCenter(window.frameGeometry().center());
        if (screen.contains(centred))
            QCOMPARE(seen.center(), window.frameGeometry().center());
        else
            QVERIFY((seen.center() - window.frameGeometry().center()).manhattanLength() < seen.width() + seen.height());
    }

    void lookChosenAndRestored()
    {
        QTemporaryDir docs;
        {
            GuiRig rig(docs.path());
            QCOMPARE(rig.main()->currentLook, 0);
            rig.main()->lookItems[3]->trigger();
            QCOMPARE(fileBytes(docs.path() + "/Karvo/style.txt"), QByteArray("3"));
            QCOMPARE(qApp->styleSheet(), look(3));
        }
        qApp->setStyleSheet(QString());
        GuiRig again(docs.path());
        QCOMPARE(again.main()->currentLook, 3);
        QCOMPARE(qApp->styleSheet(), look(3));
    }

    void savedStyleFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("applied");
        QTest::addColumn<QString>("message");
        QTest::newRow("7: not in the menu, still applied") << QByteArray("7") << 7 << "";
        QTest::newRow("9: no such look") << QByteArray("9") << -1 << "";
        QTest::newRow("garbage") << QByteArray("abc") << 0 << "'abc' is not a valid integer value";
        QTest::newRow("empty") << QByteArray() << 0 << "'' is not a valid integer value";
        QTest::newRow("trailing line break forgiven") << QByteArray("5\r\n") << 5 << "";
    }
    void savedStyleFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, applied);
        QFETCH(QString, message);
        QTemporaryDir docs;
        QDir().mkpath(docs.path() + "/Karvo");
        QFile f(docs.path() + "/Karvo/style.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        GuiRig rig(docs.path());
        QCOMPARE(rig.main()->currentLook, applied);
        QCOMPARE(rig.prompts.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(qApp->styleSheet(), applied >= 0 ? look(applied) : QString());
    }

    void looksAreDistinct()
    {
        QSet<QString> sheets;
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!look(i).isEmpty());
            sheets.insert(look(i));
        }
        QCOMPARE(sheets.size(), 8);
        QVERIFY(!Resources::find("style_5").isEmpty()); // found without regard to case
    }

    // Upgrade Mode opens the upgrade window below the main window; Upgrade Firmware writes the
    // chosen image, the progress bar counts the blocks, and the window goes when the pedal runs.
    void firmwareUpgradeWindow()
    {
        QTemporaryDir docs;
        GuiRig rig(docs.path(), 0, [](SimulatedPedal *p) { p->state.firmware = 12; });
        rig.main()->show();
        rig.link();
        rig.main()->menuFirmwareUpgradeMode->trigger();
        FirmwareUpgradeWindow *w = rig.editor->firmware();
        QVERIFY(w->isVisible());
        QVERIFY(rig.main()->menuFirmwareUpgradeMode->isChecked());
        QVERIFY(rig.on("menuStartFirmwareUpgrade"));
        QVERIFY(!rig.on("btnRequest") && !rig.on("btnUpload"));
        QCOMPARE(w->cmbFirmwareChoose->count(), 11);
        QCOMPARE(w->cmbFirmwareChoose->itemText(0), QString("Firmware_5"));
        QCOMPARE(w->cmbFirmwareChoose->currentText(), QString("Firmware_15"));
        QVERIFY(w->chkVerify->isChecked());
        QCOMPARE(w->y(), rig.main()->y() + rig.main()->frameGeometry().height());
        QCOMPARE(rig.main()->lblDeviceName->text(), "Bootloader: " + rig.ctx.comm.deviceSerialNumber());
        // The image the pedal runs is marked; choosing it by its marked item chooses its image.
        QCOMPARE(w->cmbFirmwareChoose->itemText(7), QString("Firmware_12 (in the pedal)"));
        QCOMPARE(w->lblProgress->text(), QString("The pedal runs firmware 12."));
        w->cmbFirmwareChoose->setCurrentIndex(7);
        QCOMPARE(w->cmbFirmwareChoose->currentData().toString(), QString("Firmware_12"));
        QVERIFY(rig.logged("Firmware Version(DEC): 12"));
        w->cmbFirmwareChoose->setCurrentIndex(10);
        // Nothing is counted before the upgrade starts.
        QVERIFY(!w->ProgressBar1->isTextVisible());
        QCOMPARE(w->ProgressBar1->value(), 0);

        int highest = 0;
        QStringList formats, labels;
        connect(w->ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) {
            highest = std::max(highest, v);
            if (!formats.contains(w->ProgressBar1->format()))
                formats << w->ProgressBar1->format();
            labels << w->lblProgress->text();
        });
        w->btnUpgradeFirmware->click();
        QCOMPARE(highest, 210);
        // The writing, then the read-back, each counted; the time left while writing counts the
        // read-back that follows.
        QCOMPARE(formats, QStringList({"Writing %v / %m blocks", "Reading back %v / %m blocks"}));
        const qsizetype written = labels.lastIndexOf(QRegularExpression("52\\.3 of 52\\.3 KB.*"));
        QVERIFY2(written >= 0, qPrintable(labels.mid(200, 20).join(" | ")));
        const QString lastWritten = labels.at(written);
        QVERIFY2(!lastWritten.endsWith(", 0 s left"), qPrintable(lastWritten));
        QVERIFY2(labels.last().startsWith("Comparing with the image"), qPrintable(labels.last()));
        QCOMPARE(w->ProgressBar1->maximum(), 210);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->ProgressBar1->value(), 0);
        QCOMPARE(rig.main()->lblFirmwareVersion->text(), QString("Device Firmware: 15"));
        QVERIFY(!rig.main()->menuFirmwareUpgradeMode->isChecked());
        QVERIFY(rig.on("btnRequest") && rig.on("btnUpload"));
        QVERIFY(!rig.on("menuStartFirmwareUpgrade"));
    }

    void linkedToTheSimulatedPedal()
    {
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.main()->show();
        rig.main()->menuLinkSimulated->trigger();
        QCOMPARE(rig.main()->lblFirmwareVersion->text(), QString("Device Firmware: 15"));
        QCOMPARE(rig.main()->lblAlgorithmVersion->text(), QString("Device Algorithm: 0015"));
        QCOMPARE(rig.main()->lblDeviceName->text(), QString("Linked: QMK3SIM01"));
        for (const QString &name : DeviceCommands)
            QVERIFY2(rig.on(qPrintable(name)), qPrintable(name));
        QVERIFY(rig.on("lstEffects"));
        QVERIFY(rig.on("menuDisconnect") && rig.on("menuEraseSettings"));
        QVERIFY(!rig.on("menuScan") && !rig.on("menuLinkSimulated"));
        QVERIFY(rig.editor->effect()->isVisible());
        QVERIFY(rig.on("effect window controls"));
        QCOMPARE(rig.editor->effect()->windowTitle(), QString("Quarnelo MK3 0015"));
        QCOMPARE(rig.main()->lstEffects->currentRow(), 0);
        QVERIFY(rig.main()->midiChannelItems[0]->isChecked()); // the pedal reports OMNI

        rig.main()->menuDisconnect->trigger();
        // After Unlink nothing of the pedal that left is shown as if it were there.
        QCOMPARE(rig.main()->lblDeviceName->text(), QString("Quarnelo MK3: not linked"));
        QCOMPARE(rig.main()->lblFirmwareVersion->text(), QString("Device Firmware:"));
        QCOMPARE(rig.main()->lblAlgorithmVersion->text(), QString("Device Algorithm:"));
        for (const QString &name : DeviceCommands)
            QVERIFY2(!rig.on(qPrintable(name)), qPrintable(name));
        QVERIFY(rig.on("menuScan") && !rig.on("menuDisconnect") && !rig.on("menuEraseSettings"));
        QVERIFY(rig.on("lstEffects"));
        QVERIFY(!rig.on("effect window controls"));
        QVERIFY(rig.on("menuFirmwareUpgradeMode"));
    }

    void versionGatesOnTheWindow_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("algorithm");
        QTest::newRow("firmware 14") << 14 << 15;
        QTest::newRow("algorithm 0014") << 15 << 14;
    }
    void versionGatesOnTheWindow()
    {
        QFETCH(int, firmware);
        QFETCH(int, algorithm);
        QTemporaryDir docs;
        GuiRig rig(docs.path(), 0, [&](SimulatedPedal *p) {
            p->state.firmware = quint8(firmware);
            p->state.algorithm = quint16(algorithm);
        });
        rig.main()->menuLinkSimulated->trigger();
        QVERIFY(rig.on("menuDisconnect") && rig.on("menuEraseSettings") && rig.on("menuFirmwareUpgradeMode"));
        QVERIFY(!rig.on("menuScan"));
        if (firmware < 15) {
            QCOMPARE(rig.prompts.messages.size(), 2);
            for (const QString &name : DeviceCommands)
                QVERIFY2(!rig.on(qPrintable(name)), qPrintable(name));
            QVERIFY(!rig.on("lstEffects"));
        } else {
            QCOMPARE(rig.prompts.messages.size(), 1);
            for (const QString &name : DeviceCommands)
                QVERIFY2(rig.on(qPrintable(name)) == !ParameterButtons.contains(name), qPrintable(name));
            QVERIFY(rig.on("lstEffects"));
        }
        QVERIFY(!rig.editor->effect()->isVisible());
    }

    void midiChannelMessage_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("OMNI") << 0 << "0700" << QByteArray::fromHex("0700");
        QTest::newRow("9") << 9 << "0709" << QByteArray::fromHex("0709");
        QTest::newRow("12") << 12 << "070C" << QByteArray::fromHex("070C");
        QTest::newRow("16") << 16 << "0710" << QByteArray::fromHex("0710");
    }
    void midiChannelMessage()
    {
        QFETCH(int, item);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.main()->menuLinkSimulated->trigger();
        SimulatedPedal *pedal = rig.simulated.pedal();
        pedal->record.clear();
        QAction *a = rig.main()->midiChannelItems[size_t(item)];
        const bool checkedBefore = a->isChecked();
        a->trigger();
        const QStringList &lines = rig.ctx.log.lines();
        QCOMPARE(lines.mid(lines.size() - 2), QStringList({"Midi channel: " + a->text(), text}));
        QCOMPARE(pedal->record.size(), 1);
        QCOMPARE(pedal->record[0].bytes, bytes);
        QCOMPARE(a->isChecked(), checkedBefore); // a click does not move the mark
    }

    void midiChannelReadBack_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("checked"); // -1 none
        QTest::newRow("0 is OMNI") << 0 << 0;
        QTest::newRow("255 is OMNI") << 255 << 0;
        QTest::newRow("16") << 16 << 16;
        QTest::newRow("17 checks nothing") << 17 << -1;
    }
    void midiChannelReadBack()
    {
        QFETCH(int, reported);
        QFETCH(int, checked);
        QTemporaryDir docs;
        GuiRig rig(docs.path(), 0, [&](SimulatedPedal *p) { p->state.midiChannel = quint8(reported); });
        rig.main()->midiChannelItems[3]->setChecked(true);
        rig.link();
        for (int i = 0; i <= 16; ++i)
            QCOMPARE(rig.main()->midiChannelItems[size_t(i)]->isChecked(), i == checked);
        // Logged as the read-back reaches it: right before the parameter values.
        const QStringList &lines = rig.ctx.log.lines();
        const qsizetype at = lines.indexOf(QStringLiteral("MIDI channel: %1").arg(reported));
        QVERIFY(at >= 0);
        QVERIFY(lines.value(at + 1).startsWith("Dry: "));

        // A short answer is never read beyond its end: nothing is read back, the marks stay.
        GuiRig shortAnswer(docs.path(), 0, [&](SimulatedPedal *p) {
            p->state.midiChannel = quint8(reported);
            p->faults.shortAnswerValues = 10;
        });
        shortAnswer.main()->midiChannelItems[3]->setChecked(true);
        shortAnswer.link();
        for (int i = 0; i <= 16; ++i)
            QCOMPARE(shortAnswer.main()->midiChannelItems[size_t(i)]->isChecked(), i == 3);
    }

    void infoAndFileMenus()
    {
        QTemporaryDir docs;
        GuiRig rig(docs.path());
        rig.main()->logEditorVersion();
        QCOMPARE(rig.ctx.log.lines().last(), QString("current app version: 1.21"));
        rig.main()->menuSupport->trigger();
        rig.main()->menuOpenFilesFolder->trigger();
        QCOMPARE(rig.prompts.opened.size(), 2);
        QCOMPARE(rig.prompts.opened[0].scheme(), QString("https"));
        QCOMPARE(rig.prompts.opened[0].path(), QString("/contact-us/"));
        QCOMPARE(rig.prompts.opened[1].toLocalFile(), QDir(docs.path() + "/Karvo/Quarnelo MK3").absolutePath());
        rig.main()->menuReportUSBErrors->trigger(); // unchecks
        QCOMPARE(fileBytes(rig.user("ReportUSBErrors.txt")), QByteArray("NO"));
        QVERIFY(!rig.ctx.files.reportUsbErrors);
    }

    // Closing the editor while a command waits (here the tuning upload's pauses) is refused as a
    // whole, with a word, and the command ends as it would have; once it has ended the editor closes.
    void closeDuringACommandIsRefusedAsAWhole()
    {
        QTemporaryDir documents;
        EditorRig rig(documents.path());
        rig.main()->show();
        rig.link();
        rig.clock.advance(2000);
        ClockTimer *user = rig.clock.createTimer(rig.main());
        user->setSingleShot(true);
        bool closed = true;
        QObject::connect(user, &ClockTimer::timeout, rig.main(), [&] { closed = rig.main()->close(); });
        user->start(5);
        QCOMPARE(finished(rig.service().uploadTuningData()), Uploads::Result::Done);
        QVERIFY(!closed);
        QVERIFY(rig.main()->isVisible());
        QVERIFY(rig.logged("close refused: a command with the pedal is under way"));
        QVERIFY(rig.prompts.messages.contains("The editor cannot close while a command with the pedal is under way; "
                                              "close it again when the command has ended."));
        QVERIFY(rig.main()->close());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
