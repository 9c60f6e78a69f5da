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
using Result = PedalService::Result;
using Choice = Prompts::Choice;

struct UnsavedRig : EditorRig {
    explicit UnsavedRig(const QString &documents) : EditorRig(documents)
    {
        linkAndSettle();
    }
    QUndoStack &history() { return EditHistory::of(service()); }
    EffectWindow *fx() const { return main()->effectWindow(); }
    // A dial turned to a travel position, then left alone long enough to be its own step.
    void turn(int parameter, int position)
    {
        service().setControl(parameter, DialMath::positionToAngle(position));
        clock.advance(1500);
    }
    quint32 dialWord(int parameter, int position) const
    {
        return ParameterCatalogue::wordFor(parameter, DialMath::positionToAngle(position));
    }
    // The store message of Save Parameters for the ten assignable values the records hold now.
    QByteArray storeMessage() const
    {
        std::array<quint32, 10> values{};
        for (int i = 0; i < 10; ++i)
            values[size_t(i)] = param(Parameter::InputLevel + i).value;
        return PedalMessages::storeSettings(values);
    }
    std::array<quint32, 10> storedOnThePedal() { return pedal()->state.storedAssignable; }
};

QByteArray write(quint16 address, quint32 word) { return PedalMessages::parameterWrite(address, word); }
} // namespace

class TestUnsaved : public QObject {
    Q_OBJECT
    QTemporaryDir m_documents;
    int m_rig = 0;
    QString folder() { return m_documents.path() + QStringLiteral("/%1").arg(++m_rig); }

private slots:
    // Whether the assignable values differ from those the pedal keeps, after each kind of step;
    // the effect window's label says so, and the service tells when it changes.
    void unsavedFlag_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("unsaved");
        const QStringList input{"Input Level"};
        QTest::newRow("the link's read") << "" << QStringList();
        QTest::newRow("an assignable dial turned") << "input" << input;
        QTest::newRow("a standard dial turned") << "dry" << QStringList();
        QTest::newRow("turned and back") << "input;input back" << QStringList();
        QTest::newRow("two of them") << "input;attack" << QStringList{"Input Level", "Attack"};
        QTest::newRow("turned, then undone") << "input;undo" << QStringList();
        QTest::newRow("Save Parameters done") << "input;save" << QStringList();
        QTest::newRow("Save Parameters answered No") << "input;save no" << input;
        QTest::newRow("Save Parameters failed: the pedal stopped answering") << "input;silent;save refused" << input;
        QTest::newRow("Save Parameters failed: the store cut short") << "input;cut;save failed" << input;
        // The pedal reports the values it runs; what the editor sent is not stored by a read.
        QTest::newRow("read while changed") << "input;request" << input;
        QTest::newRow("relinked: a new read") << "input;unlink;link" << QStringList();
        QTest::newRow("unlinked: nothing is linked to keep them") << "input;unlink" << QStringList();
        QTest::newRow("the defaults after a save elsewhere") << "input;save;defaults" << input;
        QTest::newRow("the defaults, undone") << "input;save;defaults;undo" << QStringList();
        QTest::newRow("a preset of other values") << "preset" << QStringList{"Input Level", "Noise Gate Status"};
        QTest::newRow("a preset, undone") << "preset;undo" << QStringList();
    }
    void unsavedFlag()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, unsaved);
        UnsavedRig rig(folder());
        PedalService &service = rig.service();
        QSignalSpy changes(&service, &PedalService::unsavedChanged);
        QVERIFY(service.unsavedParameters().isEmpty());
        QVERIFY(rig.fx()->lblUnsaved->isHidden());
        const int inputStart = DialMath::dialAngleToPosition(rig.state().shown[Parameter::InputLevel]);
        for (const QString &step : steps.split(';', Qt::SkipEmptyParts)) {
            if (step == "input") {
                rig.turn(Parameter::InputLevel, 100);
            } else if (step == "input back") {
                rig.turn(Parameter::InputLevel, inputStart);
            } else if (step == "dry") {
                rig.turn(Parameter::Dry, 30);
            } else if (step == "attack") {
                QCOMPARE(service.setControl(Parameter::Attack, 1), Result::Done);
            } else if (step == "undo") {
                QVERIFY(service.undo());
                rig.clock.advance(500);
            } else if (step == "save") {
                QCOMPARE(finished(service.saveParameters()), Result::Done);
                QCOMPARE(rig.received().last(), rig.storeMessage());
            } else if (step == "save no") {
                rig.prompts.answers = {false};
                QCOMPARE(finished(service.saveParameters()), Result::Cancelled);
            } else if (step == "silent") {
                rig.pedal()->faults.silent = true;
            } else if (step == "save refused") {
                QCOMPARE(finished(service.saveParameters()), Result::Refused);
            } else if (step == "cut") {
                // The pedal takes the request, then only the first bytes of the store message.
                rig.pedal()->faults.unplugAfterBytes = rig.pedal()->bytesReceived + 2 + 10;
            } else if (step == "save failed") {
                QCOMPARE(finished(service.saveParameters()), Result::Failed);
                QCOMPARE(rig.prompts.messages.last().left(55),
                         QString("Save Parameters failed: only 10 of the 41 bytes reached"));
                QCOMPARE(rig.storedOnThePedal()[0], 0x800000u); // the pedal stored nothing
            } else if (step == "request") {
                QCOMPARE(finished(service.requestDeviceInformation()), Result::Done);
            } else if (step == "unlink") {
                QVERIFY(service.unlink());
            } else if (step == "link") {
                rig.link();
                rig.clock.advance(2000);
            } else if (step == "defaults") {
                QCOMPARE(finished(service.resetAssignableParameters(false)), Result::Done);
                rig.clock.advance(500);
            } else if (step == "preset") {
                PresetFile::PresetValues values{};
                for (int i = 0; i < 20; ++i)
                    values[size_t(i)] = rig.param(i).value;
                values[Parameter::Dry] = rig.dialWord(Parameter::Dry, 20);
                values[Parameter::InputLevel] = rig.dialWord(Parameter::InputLevel, 60);
                values[Parameter::NoiseGateStatus] = 1;
                const QString path = m_documents.filePath(QStringLiteral("preset%1.txt").arg(m_rig));
                QString error;
                QVERIFY2(PresetFile::write(path, values, &error), qPrintable(error));
                QCOMPARE(finished(service.loadPreset(path)), Result::Done);
                rig.clock.advance(500);
            } else {
                QFAIL(qPrintable("no such step: " + step));
            }
        }
        QCOMPARE(service.unsavedParameters(), unsaved);
        QCOMPARE(rig.fx()->lblUnsaved->isHidden(), unsaved.isEmpty());
        QCOMPARE(rig.fx()->lblUnsaved->text(), QString("Unsaved changes: Save Parameters keeps them"));
        if (!unsaved.isEmpty())
            QVERIFY(rig.fx()->lblUnsaved->toolTip().contains(unsaved.join(", ")));
        // Told each time it changed, and last what it is now.
        for (int i = 1; i < changes.size(); ++i)
            QVERIFY(changes[i].first().toBool() != changes[i - 1].first().toBool());
        if (!changes.isEmpty())
            QCOMPARE(changes.last().first().toBool(), !unsaved.isEmpty());
        else
            QVERIFY(unsaved.isEmpty());
    }

    // Closing the editor or Unlink with changes the pedal does not keep asks one question: Save
    // Parameters (sent, then closed or unlinked), Discard (nothing sent), or Cancel (nothing).
    void leavingAsksAboutUnsaved_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("pedalAnswers");
        QTest::addColumn<bool>("gone"); // closed, or unlinked
        QTest::addColumn<bool>("saved");
        for (bool closing : {true, false}) {
            const char *what = closing ? "close" : "unlink";
            QTest::addRow("%s, Save Parameters", what) << closing << true << int(Choice::Save) << true << true << true;
            QTest::addRow("%s, Discard", what) << closing << true << int(Choice::Discard) << true << true << false;
            QTest::addRow("%s, Cancel", what) << closing << true << int(Choice::Cancel) << true << false << false;
            QTest::addRow("%s, Save Parameters fails", what) << closing << true << int(Choice::Save) << false << false << false;
            QTest::addRow("%s, nothing unsaved", what) << closing << false << int(Choice::Cancel) << true << true << false;
        }
    }
    void leavingAsksAboutUnsaved()
    {
        QFETCH(bool, closing);
        QFETCH(bool, changed);
        QFETCH(int, choice);
        QFETCH(bool, pedalAnswers);
        QFETCH(bool, gone);
        QFETCH(bool, saved);
        UnsavedRig rig(folder());
        rig.main()->show();
        if (changed)
            rig.turn(Parameter::InputLevel, 100);
        rig.service().setControl(Parameter::Dry, DialMath::positionToAngle(20)); // not kept: asks nothing
        rig.clock.advance(1500);
        const QByteArray store = rig.storeMessage();
        const auto storedBefore = rig.storedOnThePedal();
        rig.received();
        rig.pedal()->faults.silent = !pedalAnswers;
        rig.prompts.choices = {Choice(choice)};

        QSignalSpy closedSignal(rig.main(), &MainWindow::closed);
        bool closed = false;
        if (closing)
            closed = rig.main()->close();
        else
            rig.main()->menuDisconnect->trigger();
        rig.clock.advance(3000);

        if (changed) {
            QCOMPARE(rig.prompts.questions.size(), 1);
            QCOMPARE(rig.prompts.questions.first(),
                     QString("Input Level was changed, and the pedal keeps it only after Save Parameters: switched "
                             "off, it goes back to the values it stored. Save Parameters before %1?")
                         .arg(closing ? "closing the editor" : "unlinking"));
        } else {
            QVERIFY(rig.prompts.questions.isEmpty());
        }
        if (closing) {
            QCOMPARE(closed, gone);
            QCOMPARE(rig.main()->isVisible(), !gone);
            QCOMPARE(closedSignal.size(), gone ? 1 : 0);
        } else {
            QCOMPARE(rig.ctx.comm.linked(), !gone);
        }
        const QList<QByteArray> sent = rig.received();
        if (saved) {
            // The save's own request, then the store message, asked nothing more.
            QCOMPARE(sent.size(), 2);
            QCOMPARE(sent.first(), hex("0200"));
            QCOMPARE(sent.last(), store);
            QCOMPARE(rig.storedOnThePedal()[0], rig.dialWord(Parameter::InputLevel, 100));
        } else {
            for (const QByteArray &m : sent)
                QVERIFY2(m.isEmpty() || quint8(m[0]) != 0x03, "a store message was sent");
            QCOMPARE(rig.storedOnThePedal(), storedBefore);
        }
        if (changed && !pedalAnswers) // the failure is shown, and the question comes again next time
            QVERIFY(rig.prompts.messages.contains("Save Parameters was refused: the pedal's settings are not known: "
                                                  "the pedal did not answer the device information request."));
    }

    // On the real clock Save Parameters waits: the editor closes when the save is done, not before.
    void closeWaitsForTheSave()
    {
        UnsavedRig rig(folder());
        rig.main()->show();
        rig.turn(Parameter::InputLevel, 100);
        rig.clock.setDriven(true);
        rig.prompts.choices = {Choice::Save};
        QSignalSpy closed(rig.main(), &MainWindow::closed);
        QVERIFY(!rig.main()->close()); // the save has begun
        QCOMPARE(closed.size(), 0);
        QVERIFY(rig.main()->isVisible());
        QVERIFY(rig.clock.runUntil([&] { return !closed.isEmpty(); }, 5000));
        QVERIFY(!rig.main()->isVisible());
        QCOMPARE(rig.storedOnThePedal()[0], rig.dialWord(Parameter::InputLevel, 100));
        QCOMPARE(rig.prompts.questions.size(), 1);
    }

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
        SystemClock clock;
        prompts.attach(clock);
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
        QCOMPARE(finished(prompts.askSaveOrDiscard("Input Level was changed. Save Parameters before closing the editor?",
                                                   "Save Parameters")),
                 choice);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Cancel", "Discard", "Save Parameters"}));
    }

    // The compare view follows the editor's and the pedal's values without Refresh: after a load
    // and its undo the Pedal column shows what the pedal holds again; it says when the pedal was
    // read, and its Use columns are named.
    void compareFollowsEveryChange()
    {
        UnsavedRig rig(folder());
        rig.main()->menuCompare->trigger();
        CompareWindow *compare = rig.main()->compareWindow();
        QVERIFY(compare->isVisible());
        QCOMPARE(compare->table->horizontalHeaderItem(CompareWindow::UsePedal)->text(), QString("Use Pedal"));
        QCOMPARE(compare->table->horizontalHeaderItem(CompareWindow::UseFile)->text(), QString("Use File"));
        QCOMPARE(compare->table->horizontalHeaderItem(CompareWindow::Pedal)->text(), QString("Pedal"));
        const auto cell = [&](int row, int column) { return compare->table->item(row, column)->text(); };
        const QString dryBefore = cell(Parameter::Dry, CompareWindow::Pedal);
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Editor), dryBefore);

        // A preset with another Dry: the editor sends it, so the pedal holds it too.
        PresetFile::PresetValues values{};
        for (int i = 0; i < 20; ++i)
            values[size_t(i)] = rig.param(i).value;
        values[Parameter::Dry] = rig.dialWord(Parameter::Dry, 20);
        const QString path = m_documents.filePath("compare-load.txt");
        QString error;
        QVERIFY(PresetFile::write(path, values, &error));
        QCOMPARE(finished(rig.service().loadPreset(path)), Result::Done);
        rig.clock.advance(300);
        const QString loaded = QStringLiteral("%1 (%2)").arg(DialMath::positionToLevel(20)).arg(
            QString::number(rig.dialWord(Parameter::Dry, 20), 16).toUpper().rightJustified(8, '0'));
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Editor), loaded);
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Pedal), loaded);
        QVERIFY(!compare->rowDiffers(Parameter::Dry));

        QVERIFY(rig.service().undo());
        rig.clock.advance(300);
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Editor), dryBefore);
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Pedal), dryBefore);
        QVERIFY(!compare->rowDiffers(Parameter::Dry));
        QVERIFY(rig.service().redo());
        rig.clock.advance(300);
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Pedal), loaded);

        // A change made on the pedal itself shows after a read, with the read's time.
        rig.pedal()->state.parameters[Parameter::SubMix] = rig.dialWord(Parameter::SubMix, 90);
        rig.clock.setWallTime(QDateTime(QDate(2026, 12, 11), QTime(14, 3, 22)));
        compare->btnRefresh->click();
        QCOMPARE(compare->findChild<QLabel *>("lblPedalRead")->text(), QString("Pedal read at 14:03:22"));
        QCOMPARE(cell(Parameter::SubMix, CompareWindow::Pedal), QString("%1 (%2)").arg(DialMath::positionToLevel(90)).arg(
            QString::number(rig.dialWord(Parameter::SubMix, 90), 16).toUpper().rightJustified(8, '0')));
        QVERIFY(compare->rowDiffers(Parameter::SubMix));
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Pedal), loaded);

        // Unlinked, nothing is known of the pedal.
        QVERIFY(rig.service().unlink());
        QCOMPARE(compare->pedalReadLabel->text(), QString("Pedal not read"));
        QCOMPARE(cell(Parameter::Dry, CompareWindow::Pedal), QString());
    }

    // "Set Assignable Parameters to Default" is one step: undo sends back every assignable value
    // it changed, exactly, and redo the defaults.
    void defaultsAreOneStep()
    {
        UnsavedRig rig(folder());
        PedalService &service = rig.service();
        service.chooseTuning(1); // the note cuts need a tuning
        rig.turn(Parameter::InputLevel, 120);
        rig.turn(Parameter::WaveClip, 60);
        rig.turn(Parameter::DryHPF, 200);
        rig.turn(Parameter::NoiseGateThreshold, 90);
        for (int i : {Parameter::DominantNotesCut, Parameter::HighNotesCut, Parameter::LimitRangeUp, Parameter::NoiseGateStatus, Parameter::Attack})
            QCOMPARE(service.setControl(i, 1), Result::Done);
        QCOMPARE(service.setControl(Parameter::FirstHarmonicPitch, 17), Result::Done);
        rig.clock.advance(1500);
        std::array<quint32, 20> before{};
        for (int i = 0; i < 20; ++i)
            before[size_t(i)] = rig.param(i).value;
        const int steps = rig.history().count();
        rig.received();

        rig.main()->menuSetAssignableParamsToDefault->trigger();
        rig.clock.advance(1500);
        QCOMPARE(rig.history().count(), steps + 1);
        QCOMPARE(rig.main()->menuUndo->text(), QString("Undo Set Assignable Parameters to Default"));
        std::array<quint32, 20> after{};
        for (int i = 0; i < 20; ++i)
            after[size_t(i)] = rig.param(i).value;
        rig.received();

        // What one step back or forth sends: each value that differs, in the order the window
        // shows them; a dial's word exactly, a switch as its control sends it (Attack three times).
        const auto expected = [&](const std::array<quint32, 20> &from, const std::array<quint32, 20> &to) {
            QList<QByteArray> out;
            for (int i : ParameterCatalogue::showOrder()) {
                if (from[size_t(i)] == to[size_t(i)])
                    continue;
                for (int n = 0; n < (i == Parameter::Attack ? 3 : 1); ++n)
                    out << write(rig.param(i).address, to[size_t(i)]);
            }
            return out;
        };
        for (int i = 0; i < Parameter::InputLevel; ++i)
            QCOMPARE(after[size_t(i)], before[size_t(i)]); // the defaults change assignable values only
        const QList<QByteArray> want = expected(after, before);
        QCOMPARE(want.size(), 12); // ten values, Attack three times
        QVERIFY(service.undo());
        rig.clock.advance(500);
        QCOMPARE(rig.received(), want);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(rig.param(i).value, before[size_t(i)]);
        for (int i = Parameter::InputLevel; i <= Parameter::Attack; ++i)
            QCOMPARE(rig.pedal()->state.parameters[size_t(i)], before[size_t(i)]);
        QCOMPARE(rig.main()->menuRedo->text(), QString("Redo Set Assignable Parameters to Default"));

        QVERIFY(service.redo());
        rig.clock.advance(500);
        QCOMPARE(rig.received(), expected(before, after));
        for (int i = Parameter::InputLevel; i <= Parameter::Attack; ++i)
            QCOMPARE(rig.pedal()->state.parameters[size_t(i)], after[size_t(i)]);
        // Undone again, and then the edit made before the defaults: the harmonic pitch goes back
        // from the value it had before the defaults, not from the defaults' own.
        QVERIFY(service.undo());
        rig.clock.advance(500);
        rig.received();
        QCOMPARE(rig.history().undoText(), QString("1st Harmonic Pitch 0 st \u2192 +5 st"));
        QVERIFY(service.undo());
        rig.clock.advance(500);
        QCOMPARE(rig.received(), QList<QByteArray>{write(rig.param(Parameter::FirstHarmonicPitch).address,
                                                         DialMath::HarmonicPitchTable[12])});
        QCOMPARE(rig.param(Parameter::FirstHarmonicPitch).value, DialMath::HarmonicPitchTable[12]);
    }
};

QTEST_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
