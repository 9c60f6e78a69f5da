// Undo and redo of live edits: each step sends through the service as a user's change would.
#include "support/Finish.h"
#include "EditorRig.h"
#include "device/PedalMessages.h"
#include "pedal/DialMath.h"
#include "pedal/EditHistory.h"
#include "pedal/ParameterCatalogue.h"
#include "presets/PresetFile.h"
#include "windows/CompareWindow.h"
#include "windows/EffectWindow.h"

#include <QAction>

#include <QPushButton>
#include <QTableWidget>

#include <QTemporaryDir>
#include <QUndoStack>
#include <QLabel>
#include <QtTest>

namespace {
struct HistoryRig : EditorRig {
    explicit HistoryRig(const QString &documents) : EditorRig(documents)
    {
        linkAndSettle();
    }
    QUndoStack &history() { return EditHistory::of(service()); }
    // A dial turned to a travel position, then left alone long enough to be its own step.
    void turn(int parameter, int position, int thenMs = 1500)
    {
        service().setControl(parameter, DialMath::positionToAngle(position));
        clock.advance(thenMs);
    }
    // The words written to a parameter's address since the last look.
    QList<quint32> wordsFor(int parameter)
    {
        QList<quint32> out;
        const quint16 address = param(parameter).address;
        for (const QByteArray &m : received()) {
            if (m.size() == 7 && quint8(m[0]) == 0x01 && quint16(quint8(m[1]) << 8 | quint8(m[2])) == address)
                out << (quint32(quint8(m[3])) << 24 | quint32(quint8(m[4])) << 16 | quint32(quint8(m[5])) << 8 |
                        quint8(m[6]));
        }
        return out;
    }
    quint32 dialWord(int parameter, int position) const
    {
        return ParameterCatalogue::wordFor(parameter, DialMath::positionToAngle(position));
    }
};
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
    QTemporaryDir m_documents;

private slots:
    void threeDialChangesUndoneAndRedone()
    {
        HistoryRig rig(m_documents.path() + "/three");
        const int start = rig.state().shown[Parameter::Dry];
        const quint32 startWord = ParameterCatalogue::wordFor(Parameter::Dry, start);
        for (int p : {100, 150, 200})
            rig.turn(Parameter::Dry, p);
        QCOMPARE(rig.wordsFor(Parameter::Dry),
                 (QList<quint32>{rig.dialWord(Parameter::Dry, 100), rig.dialWord(Parameter::Dry, 150),
                                 rig.dialWord(Parameter::Dry, 200)}));
        QCOMPARE(rig.history().count(), 3);
        const auto level = [](int p) { return DialMath::positionToLevel(p); };
        QCOMPARE(rig.main()->menuUndo->text(), QStringLiteral("Undo Dry %1 \u2192 %2").arg(level(150)).arg(level(200)));

        for (int i = 0; i < 3; ++i) {
            rig.main()->menuUndo->trigger();
            rig.clock.advance(200);
        }
        QCOMPARE(rig.wordsFor(Parameter::Dry),
                 (QList<quint32>{rig.dialWord(Parameter::Dry, 150), rig.dialWord(Parameter::Dry, 100), startWord}));
        QCOMPARE(rig.state().shown[Parameter::Dry], start);
        QVERIFY(!rig.main()->menuUndo->isEnabled());
        // The effect window has the same undo and redo (Ctrl+Z, Ctrl+Shift+Z or Ctrl+Y).
        QAction *effectRedo = rig.editor->effect()->findChild<QAction *>("actRedo");
        QVERIFY(effectRedo && effectRedo->shortcut() == QKeySequence(QKeySequence::Redo));
        effectRedo->trigger();
        rig.clock.advance(200);
        QCOMPARE(rig.wordsFor(Parameter::Dry), QList<quint32>{rig.dialWord(Parameter::Dry, 100)});
        rig.editor->effect()->findChild<QAction *>("actUndo")->trigger();
        rig.clock.advance(200);
        QCOMPARE(rig.wordsFor(Parameter::Dry), QList<quint32>{startWord});
        QCOMPARE(rig.main()->menuRedo->text(), QStringLiteral("Redo Dry %1 \u2192 %2").arg(DialMath::positionToLevel(
                                                   DialMath::dialAngleToPosition(start))).arg(level(100)));

        for (int i = 0; i < 3; ++i) {
            rig.main()->menuRedo->trigger();
            rig.clock.advance(200);
        }
        QCOMPARE(rig.wordsFor(Parameter::Dry),
                 (QList<quint32>{rig.dialWord(Parameter::Dry, 100), rig.dialWord(Parameter::Dry, 150),
                                 rig.dialWord(Parameter::Dry, 200)}));
        QCOMPARE(rig.pedal()->state.parameters[Parameter::Dry], rig.dialWord(Parameter::Dry, 200));
    }

    // The undo and redo texts say the values in the pedal's own terms.
    void undoTextsInThePedalsTerms_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("undo");
        QTest::newRow("a step of Low Pass") << int(Parameter::LowPass) << DialMath::MaxAngle
                                            << QString("Undo Low Pass 12 / 24 \u2192 24 / 24");
        QTest::newRow("a step of Range") << int(Parameter::Range) << DialMath::MinAngle
                                         << QString("Undo Range 11 / 22 \u2192 0 / 22");
        QTest::newRow("semitones") << int(Parameter::FirstHarmonicPitch) << 17
                                   << QString("Undo 1st Harmonic Pitch 0 st \u2192 +5 st");
        QTest::newRow("a level") << int(Parameter::Dry) << 0 << QString("Undo Dry 510 \u2192 852");
    }
    void undoTextsInThePedalsTerms()
    {
        QFETCH(int, parameter);
        QFETCH(int, state);
        QFETCH(QString, undo);
        HistoryRig rig(m_documents.path() + "/texts");
        QCOMPARE(rig.service().setControl(parameter, state), PedalService::Result::Done);
        QCOMPARE(rig.main()->menuUndo->text(), undo);
        QVERIFY(rig.service().undo());
        QCOMPARE(rig.main()->menuRedo->text(), QString(undo).replace("Undo", "Redo"));
    }

    // A drag (and a run of wheel notches) on one control is one step; another control is another.
    void aDragIsOneStep()
    {
        HistoryRig rig(m_documents.path() + "/drag");
        const int start = rig.state().shown[Parameter::SubMix];
        const int from = DialMath::dialAngleToPosition(start);
        for (int k = 1; k <= 40; ++k)
            rig.turn(Parameter::SubMix, std::min(269, from + k) - (from + 40 > 269 ? 40 : 0), 10);
        rig.turn(Parameter::Minus1Oct, 30);
        QCOMPARE(rig.history().count(), 2);
        rig.clock.advance(500);
        rig.received();
        QVERIFY(rig.service().undo()); // the other dial
        QVERIFY(rig.service().undo()); // the whole drag
        rig.clock.advance(200);
        QCOMPARE(rig.state().shown[Parameter::SubMix], start);
        QCOMPARE(rig.pedal()->state.parameters[Parameter::SubMix], ParameterCatalogue::wordFor(Parameter::SubMix, start));
    }

    // A loaded preset is one step: undo moves every control back and sends what a user's changes
    // of those controls would send.
    void undoingAPresetLoad()
    {
        HistoryRig rig(m_documents.path() + "/preset");
        std::array<int, 20> shownBefore = rig.state().shown;
        PresetFile::PresetValues values{};
        for (int i = 0; i < 20; ++i)
            values[size_t(i)] = rig.param(i).value;
        values[Parameter::Dry] = rig.dialWord(Parameter::Dry, 20);
        values[Parameter::SubMix] = rig.dialWord(Parameter::SubMix, 250);
        values[Parameter::Wave] = PedalMessages::WaveOnValue;
        values[Parameter::FirstHarmonicPitch] = DialMath::HarmonicPitchTable[15];
        const QString file = m_documents.filePath("bright.txt");
        QString error;
        QVERIFY(PresetFile::write(file, values, &error));
        QCOMPARE(finished(rig.service().loadPreset(file)), PedalService::Result::Done);
        rig.clock.advance(500);
        QCOMPARE(rig.received().size(), 4);
        QCOMPARE(rig.history().count(), 1);
        QCOMPARE(rig.main()->menuUndo->text(), QString("Undo Load Preset bright"));

        QVERIFY(rig.service().undo());
        rig.clock.advance(500);
        const QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.size(), 4); // one message a control that moves back
        for (int i = 0; i < 20; ++i)
            QCOMPARE(rig.state().shown[size_t(i)], shownBefore[size_t(i)]);
        for (int i : {Parameter::Dry, Parameter::SubMix, Parameter::Wave, Parameter::FirstHarmonicPitch})
            QCOMPARE(rig.pedal()->state.parameters[size_t(i)], ParameterCatalogue::wordFor(i, shownBefore[size_t(i)]));
        QVERIFY(rig.service().redo());
        rig.clock.advance(500);
        QCOMPARE(rig.pedal()->state.parameters[Parameter::SubMix], rig.dialWord(Parameter::SubMix, 250));
    }

    // What writes the pedal's permanent store is never a step, and leaves the history alone.
    void permanentStoreIsNotInTheHistory()
    {
        HistoryRig rig(m_documents.path() + "/store");
        rig.turn(Parameter::Dry, 77);
        const QString undoText = rig.history().undoText();
        finished(rig.service().saveParameters());
        finished(rig.service().uploadTuningData());
        finished(rig.service().setTuning());
        rig.service().setFootswitchMode();
        rig.clock.advance(2000);
        QCOMPARE(rig.history().count(), 1);
        QCOMPARE(rig.history().undoText(), undoText);
    }

    // Unplugged in the middle of editing: the editor keeps its values and its history, and when
    // the same pedal comes back with other values it asks once which to keep.
    void unplugAndTheSamePedalBack_data()
    {
        QTest::addColumn<bool>("sendTheEditors");
        QTest::newRow("Yes: the editor's values") << true;
        QTest::newRow("No: the pedal's values") << false;
    }
    void unplugAndTheSamePedalBack()
    {
        QFETCH(bool, sendTheEditors);
        HistoryRig rig(m_documents.path() + "/replug" + QString::number(sendTheEditors));
        rig.turn(Parameter::Dry, 40);
        rig.turn(Parameter::SubMix, 60);
        std::array<quint32, 20> editor{};
        for (int i = 0; i < 20; ++i)
            editor[size_t(i)] = rig.param(i).value;
        rig.pedal()->unplug();
        rig.clock.advance(100);
        QCoreApplication::processEvents(); // the loss is reported as an event
        QVERIFY(!rig.ctx.comm.linked());
        QVERIFY(rig.service().watchingForReturn());
        QCOMPARE(rig.ctx.comm.linkState().state(), LinkState::State::WaitingForReturn);
        rig.clock.advance(3000); // still away
        QVERIFY(!rig.ctx.comm.linked());
        QCOMPARE(rig.param(Parameter::Dry).value, editor[Parameter::Dry]); // kept on the controls
        QCOMPARE(rig.editor->effect()->windowTitle(), QString("Quarnelo MK3 0015 (not on a pedal)"));
        // The main window says it waits for this pedal, whose firmware and algorithm it keeps.
        QCOMPARE(rig.main()->lblDeviceName->text(), "Waiting for " + rig.ctx.comm.deviceSerialNumber());
        QVERIFY(rig.main()->lblDeviceName->toolTip().contains("links it again when it comes back"));
        QCOMPARE(rig.main()->lblFirmwareVersion->text(), QString("Device Firmware: 15"));

        // It comes back after a restart with other values in three places.
        auto &pedal = rig.pedal()->state.parameters;
        pedal[Parameter::Dry] = rig.dialWord(Parameter::Dry, 200);
        pedal[Parameter::SubMix] = rig.dialWord(Parameter::SubMix, 10);
        pedal[Parameter::Minus2Oct] = rig.dialWord(Parameter::Minus2Oct, 100);
        const auto pedalValues = pedal;
        rig.pedal()->plugIn(false);
        rig.prompts.questions.clear();
        rig.prompts.answers = {sendTheEditors};
        rig.clock.advance(1000);
        QVERIFY(rig.ctx.comm.linked());
        QVERIFY(!rig.service().watchingForReturn());
        QCOMPARE(rig.ctx.comm.linkState().state(), LinkState::State::RunningFirmware);
        QCOMPARE(rig.prompts.questions, QStringList{"The pedal came back with 3 settings different from the editor. "
                                                    "Send the editor's settings?"});
        rig.clock.advance(500);
        for (int i : {Parameter::Dry, Parameter::SubMix, Parameter::Minus2Oct}) {
            QCOMPARE(rig.pedal()->state.parameters[size_t(i)], sendTheEditors ? editor[size_t(i)] : pedalValues[size_t(i)]);
            QCOMPARE(rig.param(i).value, rig.pedal()->state.parameters[size_t(i)]);
        }
        QCOMPARE(rig.history().count(), 2); // the history survived the unplug
        QCOMPARE(rig.editor->effect()->windowTitle(), QString("Quarnelo MK3 0015"));
        QCOMPARE(rig.main()->lblDeviceName->text(), "Linked: " + rig.ctx.comm.deviceSerialNumber());
    }

    // Upgrade Mode chosen while the pedal is away: it will come back in its bootloader, so the
    // editor stops waiting and links nothing by itself.
    void upgradeModeEndsTheWait()
    {
        HistoryRig rig(m_documents.path() + "/upgrade-mode");
        rig.pedal()->unplug();
        rig.clock.advance(100);
        QCoreApplication::processEvents();
        QVERIFY(rig.service().watchingForReturn());
        rig.main()->menuFirmwareUpgradeMode->trigger();
        rig.pedal()->plugIn(true);
        rig.prompts.questions.clear();
        rig.clock.advance(2000);
        QVERIFY(!rig.service().watchingForReturn());
        QVERIFY(!rig.ctx.comm.linked());
        QCOMPARE(rig.ctx.comm.linkState().state(), LinkState::State::NotLinked);
        QVERIFY(rig.prompts.questions.isEmpty());
        // No longer awaited: the pedal that left is not shown as if it were there.
        QVERIFY2(rig.main()->lblDeviceName->text().endsWith(": not linked"), qPrintable(rig.main()->lblDeviceName->text()));
        QCOMPARE(rig.main()->lblFirmwareVersion->text(), QString("Device Firmware:"));
    }

    void aDifferentPedalIsANewOne()
    {
        HistoryRig rig(m_documents.path() + "/other");
        SimulatedPedal *other = rig.simulated.addPedal();
        rig.turn(Parameter::Dry, 40);
        rig.pedal()->unplug();
        rig.clock.advance(100);
        QCoreApplication::processEvents(); // the loss is reported as an event
        QVERIFY(rig.service().watchingForReturn());
        rig.prompts.questions.clear();
        rig.main()->menuLinkSimulated->trigger(); // the only simulated pedal there now: QMK3SIM02
        QCOMPARE(rig.ctx.comm.deviceSerialNumber(), QString("QMK3SIM02"));
        rig.pedal()->plugIn(false);
        rig.clock.advance(3000);
        QVERIFY(!rig.service().watchingForReturn());
        QVERIFY(rig.prompts.questions.isEmpty());
        QCOMPARE(other->messagesWith(0x01).size(), 0); // nothing sent unasked
        QCOMPARE(rig.ctx.comm.deviceSerialNumber(), QString("QMK3SIM02"));
    }

    // The compare window: editor, pedal and file that differ in known places; "Use" sends and
    // can be undone.
    void compareShowsTheDifferences()
    {
        HistoryRig rig(m_documents.path() + "/compare");
        // The file: the pedal's values with SubMix changed.
        PresetFile::PresetValues file{};
        for (int i = 0; i < 20; ++i)
            file[size_t(i)] = rig.pedal()->state.parameters[size_t(i)];
        file[Parameter::SubMix] = rig.dialWord(Parameter::SubMix, 30);
        const QString path = m_documents.filePath("compare.txt");
        QString error;
        QVERIFY(PresetFile::write(path, file, &error));
        // The editor: Dry turned. The pedal: Minus2Oct changed on the pedal itself.
        rig.turn(Parameter::Dry, 200);
        rig.pedal()->state.parameters[Parameter::Minus2Oct] = rig.dialWord(Parameter::Minus2Oct, 90);

        rig.main()->menuCompare->trigger();
        CompareWindow *compare = rig.main()->compareWindow();
        QVERIFY(compare->isVisible());
        QVERIFY(compare->chooseFile(path));
        compare->btnRefresh->click(); // reads the pedal; the controls stay as they are
        QCOMPARE(rig.state().shown[Parameter::Dry], DialMath::positionToAngle(200));
        QStringList differing;
        for (int row = 0; row < 20; ++row) {
            if (compare->rowDiffers(row))
                differing << compare->table->item(row, CompareWindow::Name)->text();
        }
        QCOMPARE(differing, (QStringList{"Dry", "Sub Mix", "-2 Oct"}));
        QCOMPARE(compare->table->item(Parameter::Dry, CompareWindow::Editor)->text(),
                 QStringLiteral("%1 (%2)").arg(DialMath::positionToLevel(200))
                     .arg(QString::number(rig.dialWord(Parameter::Dry, 200), 16).toUpper().rightJustified(8, '0')));
        // The pedal's word shows as its own level, the one the step that sends it has.
        QCOMPARE(compare->table->item(Parameter::SubMix, CompareWindow::Pedal)->text(), QString("510 (003FC000)"));
        // Steps and semitones in the pedal's own terms, as the effect window and the tool show them.
        QCOMPARE(compare->table->item(Parameter::LowPass, CompareWindow::Pedal)->text(), QString("12 / 24 (0000000C)"));
        QCOMPARE(compare->table->item(Parameter::FirstHarmonicPitch, CompareWindow::Editor)->text(), QString("0 st (00400000)"));
        QCOMPARE(compare->table->item(Parameter::Attack, CompareWindow::File)->text(), QString("fast (00008000)"));
        QVERIFY(compare->table->item(Parameter::Dry, CompareWindow::Name)->font().bold());
        QVERIFY(!compare->table->item(Parameter::Wave, CompareWindow::Name)->font().bold());
        if (!qEnvironmentVariableIsEmpty("QUARNELO_SHOT"))
            compare->grab().save(qEnvironmentVariable("QUARNELO_SHOT"));

        // Use the file's Sub Mix: sent, shown, one step that undo takes back.
        rig.received();
        const int steps = rig.history().count();
        const int subMixBefore = rig.state().shown[Parameter::SubMix];
        compare->findChild<QPushButton *>(QStringLiteral("btnUseFile_%1").arg(Parameter::SubMix))->click();
        rig.clock.advance(300);
        QCOMPARE(rig.pedal()->state.parameters[Parameter::SubMix], rig.dialWord(Parameter::SubMix, 30));
        QCOMPARE(rig.history().count(), steps + 1);
        QVERIFY(rig.service().undo());
        rig.clock.advance(300);
        QCOMPARE(rig.state().shown[Parameter::SubMix], subMixBefore);
        QCOMPARE(rig.pedal()->state.parameters[Parameter::SubMix], ParameterCatalogue::wordFor(Parameter::SubMix, subMixBefore));
    }

    // The settings commands send: each is one step whose undo sends the earlier setting again
    // (without asking again) and whose redo sends the later one.
    void settingsAreSteps_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *k : {"assign", "footswitch", "tuning", "note filters", "instrument range", "bypass status",
                              "range limit", "midi channel"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }
    void settingsAreSteps()
    {
        QFETCH(QString, kind);
        HistoryRig rig(m_documents.path() + "/settings-" + kind);
        PedalService &service = rig.service();
        const SimulatedPedalState &p = rig.pedal()->state;
        const auto pedal = [&p] {
            return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
                .arg(p.tuning).arg(p.semitones).arg(p.footswitchMode)
                .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(p.assignFlags.data()), 5).toHex()))
                .arg(p.assignAddresses[0]).arg(p.instrumentRange).arg(p.bypassStore).arg(p.midiChannel)
                .arg(p.rangeLimit).arg(p.noteFilter1).arg(p.noteFilter2);
        };
        // Settings the pedal does not report are known once the editor has sent them.
        if (kind == "range limit")
            service.chooseRangeLimit(true);
        if (kind == "note filters")
            finished(service.saveNoteFilters({4, 6})); // second codes the pedal cannot take for a semitone variation
        rig.clock.advance(300);
        const QString before = pedal();
        const int steps = rig.history().count();
        if (kind == "assign") {
            service.chooseAssignment(0, 1);
            finished(service.assign());
        } else if (kind == "footswitch") {
            service.chooseFootswitch(true, true);
            service.setFootswitchMode();
        } else if (kind == "tuning") {
            service.chooseTuning(1);
            finished(service.setTuning());
        } else if (kind == "note filters") {
            finished(service.saveNoteFilters({5, 7}));
        } else if (kind == "instrument range") {
            finished(service.chooseInstrumentRange(0xBA));
        } else if (kind == "bypass status") {
            service.chooseBypassStatus(true);
        } else if (kind == "range limit") {
            service.chooseRangeLimit(false);
        } else {
            service.chooseMidiChannel(5);
        }
        rig.clock.advance(300);
        const QString after = pedal();
        QVERIFY2(after != before, qPrintable(before));
        QCOMPARE(rig.history().count(), steps + 1);
        const qsizetype questions = rig.prompts.questions.size();
        QVERIFY(service.undo());
        rig.clock.advance(300);
        QCOMPARE(pedal(), before);
        QVERIFY(service.redo());
        rig.clock.advance(300);
        QCOMPARE(pedal(), after);
        QCOMPARE(rig.prompts.questions.size(), questions); // undo and redo ask nothing
        QCOMPARE(rig.history().count(), steps + 1);
    }

    // Without a pedal, undo is refused and the history stays as it is.
    void undoNeedsALink()
    {
        HistoryRig rig(m_documents.path() + "/unlinked");
        rig.turn(Parameter::Dry, 120);
        QVERIFY(rig.service().unlink());
        rig.prompts.messages.clear();
        QVERIFY(!rig.service().undo());
        QCOMPARE(rig.prompts.messages, QStringList{"Undo was refused: no pedal is linked."});
        QCOMPARE(rig.history().index(), 1);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
