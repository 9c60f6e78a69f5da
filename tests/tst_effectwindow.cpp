#include "support/Finish.h"
#include "EditorRig.h"
#include "windows/DebugConsoleWindow.h"
#include "windows/Dial.h"
#include "pedal/DialMath.h"
#include "windows/EffectWindow.h"
#include "windows/NoteCutWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A linked editor with its effect window open.
struct linked : EditorRig {
    explicit linked(const QString &docs, const std::function<void(SimulatedPedal *)> &setUp = {})
        : EditorRig(docs, 0, setUp)
    {
        link();
    }
    EffectWindow *fx() const { return main()->effectWindow(); }
};

// Linked, with what the link set up sent and done.
struct settled : linked {
    explicit settled(const QString &docs) : linked(docs)
    {
        clock.advance(2000);
        received();
    }
};

// Moves the pressed left button to each point in turn, as a drag does.
void dragTo(QWidget *w, const QList<QPoint> &points, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    for (const QPoint &p : points) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::NoButton, Qt::LeftButton,
                         modifiers);
        QCoreApplication::sendEvent(w, &move);
    }
}
} // namespace

class TestEffectWindow : public QObject {
    Q_OBJECT
private slots:
    void oneEditEndToEnd()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.parameters[0] = 0; }); // Dry at its minimum
        QVERIFY(rig.fx()->isVisible());
        QCOMPARE(rig.param(Parameter::Dry).address, quint16(0x0027));
        rig.fx()->dialDry->setAngle(90);
        QCOMPARE(rig.ctx.log.lines().last(), QString("Send Dry string (standard par): 010027003FC000"));
        QVERIFY(rig.received().isEmpty()); // the throttle holds it
        rig.clock.advance(100);
        QCOMPARE(rig.received(), QList<QByteArray>{hex("010027003FC000")});
        QCOMPARE(rig.pedal()->state.parameters[0], 0x003FC000u);
        QCOMPARE(rig.param(Parameter::Dry).value, 0x003FC000u);
    }

    void dragIsThrottled()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.pedal()->record.clear();
        // A drag from the minimum through 180 and 90 to 30 degrees, one degree every 4 ms.
        int angle = -135;
        for (int step = 0; step < 195; ++step) {
            angle = angle - 1 < -180 ? 180 : angle - 1;
            rig.fx()->dialDry->setAngle(angle);
            rig.clock.advance(4);
        }
        rig.clock.advance(200);
        QList<SimulatedPedal::Message> dry;
        for (const auto &m : rig.pedal()->record)
            if (m.bytes.startsWith(hex("010027")))
                dry << m;
        QVERIFY(dry.size() >= 7 && dry.size() <= 9); // 780 ms of dragging
        for (int i = 1; i < dry.size(); ++i)
            QVERIFY2(dry[i].atMs - dry[i - 1].atMs >= 100, "at most one message per 100 ms");
        const int finalLevel = DialMath::positionToLevel(DialMath::dialAngleToPosition(angle));
        QCOMPARE(dry.last().bytes, hex("010027") + QByteArray::fromHex(QByteArray::number(finalLevel << 13, 16).rightJustified(8, '0')));
    }

    void twoDialsWithinOneTickBothArrive()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.parameters[0] = 0; }); // Dry at its minimum
        rig.fx()->dialDry->setAngle(90);
        rig.fx()->dialSubMix->setAngle(0);
        rig.fx()->dialDry->setAngle(45);
        rig.clock.advance(100);
        QCOMPARE(rig.received(), QList<QByteArray>({hex("01002700552000"), hex("010007006A8000")}));
    }

    void readBackPutsEveryControlRight()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) {
            p->state.footswitchMode = 3;
            p->state.tuning = 2;
            p->state.semitones = 0xFE;
            p->state.assignFlags = {1, 0, 1, 0, 1};
            p->state.assignAddresses = {0x000B, 0xFFFF, 0x00AE, 0xFFFF, 0xFFFD};
            p->state.bypass = 1;
            p->state.bypassStore = 1;
            p->state.instrumentRange = 0xBA;
            p->state.midiChannel = 16;
            p->state.parameters = {0x003FC000, 0, 0x007FE000, 0x00400000, 0x00400000, 12, 8, 0x00200000, 1, 11,
                                   0x00800000, 0x00500000, 0x00100000, 1, 0, 0x007FE000, 1, 1, 0x00400000, 0x800};
        });
        EffectWindow *fx = rig.fx();
        QVERIFY(fx->chkChangePresetShortPress->isChecked() && fx->chkBypassLongPress->isChecked());
        QCOMPARE(fx->cmbGuitarTuning->currentText(), QString("Drop D (DADGBE)"));
        QCOMPARE(fx->cmbSemitonesVariation->currentText(), QString("-2 st"));
        QVERIFY(rig.logged("Current Tuning: 2") && rig.logged("Semitones variation: FE"));
        QCOMPARE(fx->cmbAssignCtrlUNO->currentText(), QString("Input Level"));
        QCOMPARE(fx->cmbAssignCtrlTRE->currentText(), QString("Attack"));
        QCOMPARE(fx->cmbAssignRemote->currentText(), QString("Preset"));
        QVERIFY(rig.param(Parameter::InputLevel).assigned && rig.param(Parameter::Attack).assigned && !rig.param(Parameter::WaveClip).assigned);
        QVERIFY(fx->swtBypass->isChecked());
        QVERIFY(rig.main()->menuStoreBypassStatus->isChecked() && !rig.main()->menuDoNotStoreBypassStatus->isChecked());
        QVERIFY(rig.main()->menuLow->isChecked() && !rig.main()->menuStandard->isChecked());
        QVERIFY(rig.main()->midiChannelItems[16]->isChecked());
        QCOMPARE(fx->dialDry->angle(), 90); // level 510 on the step that sends it
        QCOMPARE(fx->dialSubMix->angle(), -135);
        QCOMPARE(fx->dialMinus1Oct->angle(), -45);
        QCOMPARE(fx->dialMinus2Oct->angle(), 89);
        QVERIFY(fx->swtWave->isChecked());
        QCOMPARE(fx->dialLowPass->angle(), 90);
        QCOMPARE(fx->dialHighPass->angle(), 89);
        QVERIFY(fx->swtSplit->isChecked());
        QCOMPARE(fx->dialRange->angle(), 90);
        QCOMPARE(fx->dialInputLevel->angle(), -45);
        QCOMPARE(fx->cmbVariableWavePitch->currentText(), QString("+3 st"));
        QVERIFY(fx->chkDominantNoteCut->isChecked() && !fx->chkHighNoteCut->isChecked());
        QVERIFY(fx->swtLimitRange->isChecked() && fx->swtNoiseGateStatus->isChecked());
        QVERIFY(fx->swtAttack->isChecked());
        QCOMPARE(fx->lblAttack->text(), QString("Attack: Slow"));
        QVERIFY(rig.state().valuesKnown);
        QCOMPARE(rig.state().reported->parameterWords.size(), size_t(20));
        QCOMPARE(rig.param(Parameter::Dry).value, 0x003FC000u); // exactly as read, not rounded to a dial step
        QVERIFY(rig.logged("Dry: \t003FC000") && rig.logged("Sub Mix: 00000000") && rig.logged("Attack: \t00000800"));
        // Sending while the answer is applied: only Wave and Split.
        QList<QByteArray> sent;
        for (const auto &m : rig.pedal()->record)
            sent << m.bytes;
        QCOMPARE(sent, QList<QByteArray>({hex("0200"), hex("01000200400000"), hex("0100C500000001")}));
        QVERIFY(!rig.ctx.service.requestInProgress());
    }

    void editsComeBackFromThePedal()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        fx->dialDry->setAngle(10);
        fx->dialLowPass->setAngle(0);
        fx->dialNoiseGateThreshold->setAngle(-30 - 15);
        fx->swtWave->setChecked(true);
        fx->swtNoiseGateStatus->setChecked(true);
        fx->swtAttack->setChecked(true);
        fx->cmbVariableWavePitch->setCurrentIndex(5);
        fx->cmbGuitarTuning->setCurrentIndex(1);
        fx->chkHighNoteCut->setChecked(true);
        rig.clock.advance(100);
        const int dry = fx->dialDry->angle(), lowPass = fx->dialLowPass->angle(), gate = fx->dialNoiseGateThreshold->angle();
        fx->dialDry->setAngle(-135); // moved away locally; the request must bring the pedal's value back
        rig.clock.advance(100);
        fx->dialDry->setAngle(dry);
        rig.clock.advance(100);
        rig.main()->btnRequest->click();
        QCOMPARE(fx->dialDry->angle(), dry);
        QVERIFY(qAbs(fx->dialLowPass->angle() - lowPass) <= 3); // the pedal keeps Low Pass on 24 steps
        QCOMPARE(fx->dialNoiseGateThreshold->angle(), gate);
        QVERIFY(fx->swtWave->isChecked() && fx->swtNoiseGateStatus->isChecked() && fx->swtAttack->isChecked());
        QCOMPARE(fx->cmbVariableWavePitch->currentIndex(), 5);
        QVERIFY(fx->chkHighNoteCut->isChecked());
    }

    void attackSendsThreeTimes()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.fx()->swtAttack->setChecked(true);
        const QString line = "Send Attack string (assignable par): 0100AE00000800";
        QCOMPARE(rig.ctx.log.lines().mid(rig.ctx.log.lineCount() - 3), QStringList({line, line, line}));
        QCOMPARE(rig.received(), QList<QByteArray>({hex("0100AE00000800"), hex("0100AE00000800"), hex("0100AE00000800")}));
        QCOMPARE(rig.fx()->lblAttack->text(), QString("Attack: Slow"));
    }

    void switchesAndPitch_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("Wave") << "swtWave" << hex("01000200400000") << "Send Wave string (standard par): 01000200400000";
        QTest::newRow("Split") << "swtSplit" << hex("0100C500000001") << "Send Split string (standard par): 0100C500000001";
        QTest::newRow("Limit Range") << "swtLimitRange" << hex("01FF0000000001")
                                     << "Send Limit Range UP string (assignable par): 01FF0000000001";
        QTest::newRow("Noise Gate") << "swtNoiseGateStatus" << hex("0100BC00000001")
                                    << "Send Noise Gate Status string (assignable par): 0100BC00000001";
        QTest::newRow("Bypass") << "swtBypass" << hex("0D01") << "";
    }
    void switchesAndPitch()
    {
        QFETCH(QString, control);
        QFETCH(QByteArray, message);
        QFETCH(QString, line);
        QTemporaryDir docs;
        linked rig(docs.path());
        auto *s = rig.fx()->findChild<OnOffSwitch *>(control);
        QVERIFY(s);
        const int before = rig.ctx.log.lineCount();
        s->click();
        QCOMPARE(rig.received(), QList<QByteArray>{message});
        if (!line.isEmpty())
            QCOMPARE(rig.ctx.log.lines().last(), line);
        else
            QCOMPARE(rig.ctx.log.lineCount(), before); // bypass writes no log line
    }

    void harmonicPitch()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.fx()->cmbVariableWavePitch->setCurrentIndex(15);
        QCOMPARE(rig.ctx.log.lines().last(), QString("Send Harmonic Pitch string: 01005200500000"));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("01005200500000")});
        QCOMPARE(rig.param(Parameter::FirstHarmonicPitch).value, 0x500000u);
        // A word not in the table leaves the list as it is.
        rig.ctx.service.setParameterValue(Parameter::FirstHarmonicPitch, 0x400001);
        rig.ctx.service.showParameterValues(false);
        QCOMPARE(rig.fx()->cmbVariableWavePitch->currentIndex(), 15);
    }

    void trackingFunctionsNeedATuning()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        fx->chkDominantNoteCut->setChecked(true);
        QCOMPARE(rig.prompts.messages, QStringList{"Set a tuning before using this parameter"});
        QVERIFY(!fx->chkDominantNoteCut->isChecked());
        QCOMPARE(rig.received(), QList<QByteArray>{hex("01001D00000000")}); // a refused check still sends 0
        QCOMPARE(rig.ctx.log.lines().last(), QString("write to DSP msg: 01001D00000000"));
        fx->cmbGuitarTuning->setCurrentIndex(1); // choosing a tuning in the list is enough
        fx->chkDominantNoteCut->setChecked(true);
        QCOMPARE(rig.received(), QList<QByteArray>{hex("01001D00000001")});
        QCOMPARE(rig.param(Parameter::DominantNotesCut).value, 1u);
    }

    void assignment()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        fx->cmbAssignCtrlQUATTRO->setCurrentText("High Notes Cut");
        QCOMPARE(rig.prompts.messages, QStringList{"No tuning selected, Select a tuning before assigning this parameter"});
        QCOMPARE(fx->cmbAssignCtrlQUATTRO->currentIndex(), 0);
        QVERIFY(!rig.state().controlAssigned(3));

        fx->cmbAssignCtrlUNO->setCurrentText("Input Level");
        fx->cmbAssignRemote->setCurrentText("Bypass");
        rig.prompts.answers = {false};
        rig.main()->btnAssign->click();
        QVERIFY(rig.received().isEmpty());
        QVERIFY(rig.logged("lenght of assign message in bytes: 16"));
        rig.main()->btnAssign->click();
        QCOMPARE(rig.prompts.questions, QStringList({"Upload Assignments?", "Upload Assignments?"}));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("04010000000100" "0BFFFFFFFFFFFFFFFE")});
        QVERIFY(rig.main()->btnAssign->isEnabled());
        QCOMPARE(rig.pedal()->state.assignAddresses[0], quint16(0x000B));
    }

    void footswitchMode_data()
    {
        QTest::addColumn<bool>("shortPreset");
        QTest::addColumn<bool>("longBypass");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("start-up choice") << false << false << hex("080000");
        QTest::newRow("both Bypass") << false << true << hex("080001");
        QTest::newRow("both Change Preset") << true << false << hex("080100");
        QTest::newRow("Change Preset, Bypass") << true << true << hex("080101");
    }
    void footswitchMode()
    {
        QFETCH(bool, shortPreset);
        QFETCH(bool, longBypass);
        QFETCH(QByteArray, message);
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        (shortPreset ? fx->chkChangePresetShortPress : fx->chkBypassShortPress)->setChecked(true);
        (longBypass ? fx->chkBypassLongPress : fx->chkChangePresetLongPress)->setChecked(true);
        rig.main()->btnSetFootswitchMode->click();
        QCOMPARE(rig.received(), QList<QByteArray>{message});
        // And read back from the pedal after the radio buttons were moved.
        fx->chkBypassShortPress->setChecked(true);
        fx->chkChangePresetLongPress->setChecked(true);
        rig.main()->btnRequest->click();
        QCOMPARE(fx->chkChangePresetShortPress->isChecked(), shortPreset);
        QCOMPARE(fx->chkBypassLongPress->isChecked(), longBypass);
    }

    void unknownFootswitchModeLeavesTheChoice()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.footswitchMode = 7; });
        QVERIFY(rig.logged("Footswitch Mode: 7"));
        QVERIFY(rig.fx()->chkBypassShortPress->isChecked() && rig.fx()->chkChangePresetLongPress->isChecked());
    }

    void tuning()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.fx()->cmbGuitarTuning->setCurrentIndex(1);
        rig.fx()->cmbSemitonesVariation->setCurrentText("-1 st");
        rig.prompts.answers = {false, true};
        rig.main()->btnSetTuning->click();
        QVERIFY(rig.received().isEmpty());
        rig.main()->btnSetTuning->click();
        QVERIFY(rig.logged("Tuning Message: 0901FF"));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("0901FF")});
        QCOMPARE(rig.pedal()->state.tuning, quint8(1));
    }

    void saveParametersAfterReset()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.main()->menuSetAssignableParamsToDefault->trigger();
        QCOMPARE(rig.prompts.messages, QStringList{"Click Save Parameters button to save the current status on pedal"});
        rig.clock.advance(100);
        rig.received();
        rig.main()->btnSaveParameters->click();
        QVERIFY(rig.logged("num of bytes to send: 41"));
        QVERIFY(rig.logged("num of bytes sent: 41"));
        const QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.first(), hex("0200"));
        QCOMPARE(sent.last(), hex("03" "00800000" "00400000" "00000000" "00000000" "00000000" "00000000" "00000000"
                                  "00000000" "00000000" "00008000"));
        QCOMPARE(rig.pedal()->state.storedAssignable[0], 0x800000u);
    }

    void resetSendsEveryAssignableParameter()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        finished(rig.ctx.service.resetAssignableParameters(false));
        QList<QByteArray> sent = rig.received();
        QCOMPARE(sent.mid(0, 10), QList<QByteArray>({hex("01000B00800000"), hex("01005200400000"), hex("0100C300000000"),
                                                    hex("01001D00000000"), hex("01000E00000000"), hex("01000600000000"),
                                                    hex("01FF0000000000"), hex("0100BC00000000"), hex("01000300000000"),
                                                    hex("0100AE00008000")}));
        QVERIFY(rig.logged("write to DSP msg: 01001D00000000"));
    }

    void enableAllParametersTwice()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        rig.main()->menuEnableAllParameters->trigger();
        QVERIFY(fx->allParametersEnabled() && rig.main()->menuEnableAllParameters->isChecked());
        rig.main()->menuEnableAllParameters->trigger();
        for (RotaryDial *d : {fx->dialDry, fx->dialSubMix, fx->dialMinus1Oct, fx->dialMinus2Oct, fx->dialRange})
            QVERIFY(!d->isEnabled());
        for (RotaryDial *d : {fx->dialLowPass, fx->dialHighPass, fx->dial1stHarmonic})
            QVERIFY(d->isEnabled());
    }

    void pedalWideOptions()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.main()->menuStandard->trigger();
        QVERIFY(rig.logged("checksum byte: F1"));
        QVERIFY(rig.logged("0FFF0102030405F1"));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("0FFF0102030405F1")});
        rig.prompts.answers = {false};
        rig.main()->menuLow->trigger();
        QVERIFY(rig.logged("checksum byte: B3"));
        QVERIFY(rig.received().isEmpty());
        QVERIFY(rig.main()->menuLow->isChecked() && !rig.main()->menuStandard->isChecked());
        QCOMPARE(fileBytes(rig.user("Instrument.txt")), QByteArray("LOW"));
        rig.main()->btnRequest->click(); // the pedal still has Standard
        QVERIFY(rig.main()->menuStandard->isChecked() && !rig.main()->menuLow->isChecked());

        const int questions = int(rig.prompts.questions.size());
        rig.received();
        rig.main()->menuDoNotStoreBypassStatus->trigger();
        QCOMPARE(rig.received(), QList<QByteArray>{hex("10FF")});
        QCOMPARE(rig.prompts.questions.size(), questions);
        rig.main()->menuRangeLimitON->trigger();
        QVERIFY(rig.logged("********************RANGE LIMIT ON********************"));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("1101")});
        QVERIFY(rig.main()->menuRangeLimitON->isChecked() && !rig.main()->menuRangeLimitOFF->isChecked());
    }

    void noteCut()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        rig.main()->menuNoteCut->trigger();
        NoteCutWindow *w = rig.main()->noteCutWindow();
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QString("Note Cut"));
        w->btnSave->click();
        QCOMPARE(rig.received(), QList<QByteArray>{hex("09FFFF")});
        w->chkDdiesis3->setChecked(true);
        w->chkB2->setChecked(true);
        QVERIFY(!w->chkA2->isEnabled() && !w->chkE3->isEnabled() && w->chkB2->isEnabled());
        w->btnSave->click();
        QVERIFY(rig.logged("byte 1: 02") && rig.logged("byte 2: 06") && rig.logged("Set note filters: 090206"));
        QCOMPARE(rig.received(), QList<QByteArray>{hex("090206")});
        w->chkB2->setChecked(false);
        QVERIFY(w->chkA2->isEnabled() && w->chkE3->isEnabled());
    }

    void effectListWithoutAPedal()
    {
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        rig.main()->show();
        QListWidget *list = rig.main()->lstEffects;
        list->setCurrentRow(0);
        rig.main()->chooseClickedEffect();
        EffectWindow *fx = rig.main()->effectWindow();
        QVERIFY(fx->isVisible());
        QCOMPARE(fx->windowTitle(), QString("Quarnelo MK3 0015"));
        QVERIFY(!fx->dialDry->isEnabled());
        QCOMPARE(fx->pos().x(), rig.main()->x() + rig.main()->frameGeometry().width());
        QVERIFY(rig.logged("selected effect name: Quarnelo MK3 0015"));
        QVERIFY(rig.logged("resource name: Quarnelo_MK3_0015"));
        QCOMPARE(rig.param(Parameter::Attack).address, quint16(0x00AE));
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(rig.logged("arrow up pressed") && rig.logged("arrow down pressed"));
    }

    void oldAlgorithmOnClick()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.algorithm = 14; });
        rig.prompts.messages.clear();
        rig.main()->chooseClickedEffect();
        QCOMPARE(rig.prompts.messages,
                 QStringList{"Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 0015"});
        QVERIFY(!rig.fx()->isVisible());
        QVERIFY(!rig.on("btnRequest") && rig.on("btnUpload"));
    }

    void saveParametersInfoText()
    {
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        rig.main()->btnSaveParametersInfo->click();
        const QStringList lines = rig.prompts.messages.value(0).split("\r\n");
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[3], QString::fromUtf8("Example: you want to set a new Input Level, adjust the Input Level knob in "
                                             "the editor and then click \u201CSave Parameters.\u201D"));
        QCOMPARE(lines[5], QString("Think of Save Parameters as a global preset."));
    }

    void dialByKeyboardAndWheel()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        RotaryDial *d = rig.fx()->dialSubMix;
        d->setAngle(-135);
        QTest::keyClick(d, Qt::Key_End);
        QCOMPARE(d->angle(), -45);
        QCOMPARE(d->level(), 1023);
        QTest::keyClick(d, Qt::Key_Home);
        QTest::keyClick(d, Qt::Key_Up);
        QCOMPARE(d->level(), 4);
        QWheelEvent wheel(QPointF(20, 20), d->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(d, &wheel);
        QCOMPARE(DialMath::dialAngleToPosition(d->angle()), 5);
        // An angle in the dead zone snaps to the nearer end; a drag stops at the ends of the travel.
        d->setAngle(-100);
        QCOMPARE(d->angle(), -135);
        d->setAngle(-60);
        QCOMPARE(d->angle(), -45);
        QTest::mousePress(d, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        dragTo(d, {QPoint(20, 20 + 400)});
        QTest::mouseRelease(d, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20 + 400));
        QCOMPARE(d->angle(), -135);
    }

    // A press on a dial, wherever it lands, moves nothing and sends nothing; so does a hand that
    // shakes by less than the drag's start.
    void pressDoesNotMoveADial_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("shake");
        QTest::newRow("lower left (the minimum)") << QPoint(4, 36) << 0;
        QTest::newRow("lower right (the maximum)") << QPoint(36, 36) << 0;
        QTest::newRow("top") << QPoint(20, 2) << 0;
        QTest::newRow("centre, shaking") << QPoint(20, 20) << RotaryDial::DragStartPixels - 1;
    }
    void pressDoesNotMoveADial()
    {
        QFETCH(QPoint, at);
        QFETCH(int, shake);
        QTemporaryDir docs;
        settled rig(docs.path());
        const QString undo = rig.main()->menuUndo->text();
        RotaryDial *d = rig.fx()->dialDry;
        const int before = d->angle();
        QTest::mousePress(d, Qt::LeftButton, Qt::NoModifier, at);
        dragTo(d, {at + QPoint(0, shake), at - QPoint(0, shake), at});
        QTest::mouseRelease(d, Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(d->angle(), before);
        rig.clock.advance(300);
        QCOMPARE(rig.received(), QList<QByteArray>{});
        QCOMPARE(rig.main()->menuUndo->text(), undo);
        QCOMPARE(rig.state().shown[Parameter::Dry], before);
    }

    // A vertical drag moves the dial from where it was: up is more, about 200 pixels for the whole
    // travel (1.35 positions a pixel), a fifth as fast with Shift. The last position goes out.
    void dragMovesFromWhereItWas_data()
    {
        QTest::addColumn<QList<int>>("moves");    // heights above the press, one per move
        QTest::addColumn<bool>("fine");           // Shift held
        QTest::addColumn<int>("position");        // the travel position it ends at (from 134)
        QTest::addColumn<QByteArray>("lastSent"); // Dry's last message
        QTest::newRow("40 px up") << QList<int>{10, 25, 40} << false << 188 << hex("01002700596000");
        QTest::newRow("40 px down") << QList<int>{-40} << false << 80 << hex("01002700260000");
        QTest::newRow("100 px up reaches the maximum") << QList<int>{100} << false << 269 << hex("010027007FE000");
        QTest::newRow("past the minimum and back 20 px") << QList<int>{-200, -180} << false << 27 << hex("010027000CE000");
        QTest::newRow("40 px up with Shift") << QList<int>{40} << true << 145 << hex("0100270044E000");
        QTest::newRow("40 px up and back down") << QList<int>{40, 0} << false << 134 << hex("010027003FC000");
    }
    void dragMovesFromWhereItWas()
    {
        QFETCH(QList<int>, moves);
        QFETCH(bool, fine);
        QFETCH(int, position);
        QFETCH(QByteArray, lastSent);
        QTemporaryDir docs;
        settled rig(docs.path());
        RotaryDial *d = rig.fx()->dialDry;
        QCOMPARE(DialMath::dialAngleToPosition(d->angle()), 134); // the pedal's 510
        const QPoint press(12, 30);
        QTest::mousePress(d, Qt::LeftButton, Qt::NoModifier, press);
        QList<QPoint> points;
        for (int up : moves)
            points << press - QPoint(0, up);
        dragTo(d, points, fine ? Qt::ShiftModifier : Qt::NoModifier);
        QTest::mouseRelease(d, Qt::LeftButton, Qt::NoModifier, points.last());
        QCOMPARE(DialMath::dialAngleToPosition(d->angle()), position);
        rig.clock.advance(300);
        const QList<QByteArray> sent = rig.received();
        if (position == 134) { // back where it started: the last word out is the first again
            QVERIFY(!sent.isEmpty());
        }
        QCOMPARE(sent.value(sent.size() - 1), lastSent);
        QCOMPARE(rig.param(Parameter::Dry).value, quint32(DialMath::positionToLevel(position)) << 13);
        if (position != 134) // one drag, one step
            QCOMPARE(rig.main()->menuUndo->text(), QStringLiteral("Undo Dry 510 \u2192 %1").arg(DialMath::positionToLevel(position)));
    }

    // Double-click opens a box to type the value in the terms the dial shows: Enter sends it as
    // one step, as a drag would; a value out of range is refused in the box, nothing is sent;
    // Escape leaves everything as it was.
    void typedValue_data()
    {
        QTest::addColumn<QString>("dial");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("shown");    // what the dial shows afterwards
        QTest::addColumn<QByteArray>("sent");  // empty: nothing
        QTest::addColumn<bool>("refused");     // the box stays open with the reason
        QTest::newRow("Dry level 300") << "dialDry" << "300" << int(Qt::Key_Return) << "300" << hex("01002700258000") << false;
        QTest::newRow("Dry level 1023, Enter") << "dialDry" << "1023" << int(Qt::Key_Enter) << "1023" << hex("010027007FE000") << false;
        QTest::newRow("Dry level 1024") << "dialDry" << "1024" << int(Qt::Key_Return) << "510" << QByteArray() << true;
        QTest::newRow("Dry not a number") << "dialDry" << "loud" << int(Qt::Key_Return) << "510" << QByteArray() << true;
        QTest::newRow("Dry, Escape") << "dialDry" << "300" << int(Qt::Key_Escape) << "510" << QByteArray() << false;
        QTest::newRow("Low Pass step 14") << "dialLowPass" << "14" << int(Qt::Key_Return) << "14 / 24" << hex("0100AF004AA000") << false;
        QTest::newRow("Low Pass step 24/24") << "dialLowPass" << "24/24" << int(Qt::Key_Return) << "24 / 24" << hex("0100AF007FE000") << false;
        QTest::newRow("Low Pass step 25") << "dialLowPass" << "25" << int(Qt::Key_Return) << "12 / 24" << QByteArray() << true;
        QTest::newRow("High Pass step 0") << "dialHighPass" << "0" << int(Qt::Key_Return) << "0 / 16" << hex("0100BD00000000") << false;
    }
    void typedValue()
    {
        QFETCH(QString, dial);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, shown);
        QFETCH(QByteArray, sent);
        QFETCH(bool, refused);
        QTemporaryDir docs;
        settled rig(docs.path());
        RotaryDial *d = rig.fx()->findChild<RotaryDial *>(dial);
        QVERIFY(d);
        const QString before = d->valueText();
        QTest::mouseDClick(d, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QLineEdit *box = d->valueEditor();
        QVERIFY(box);
        QCOMPARE(box->text(), before); // the value as shown, ready to be typed over
        QTest::keyClicks(box, typed);
        QTest::keyClick(box, Qt::Key(key));
        rig.clock.advance(300);
        QCOMPARE(d->valueText(), shown);
        QCOMPARE(rig.received(), sent.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{sent});
        QCOMPARE(bool(d->valueEditor()), refused);
        if (refused) {
            auto *problem = rig.fx()->findChild<QLabel *>("dialValueProblem");
            QVERIFY(problem && problem->isVisible() && problem->text().startsWith("Takes "));
            QTest::keyClick(d->valueEditor(), Qt::Key_Escape);
            QVERIFY(!d->valueEditor());
            rig.clock.advance(300);
            QCOMPARE(rig.received(), QList<QByteArray>{});
        } else if (!sent.isEmpty()) {
            QCOMPARE(rig.main()->menuUndo->text(),
                     QStringLiteral("Undo %1 %2 \u2192 %3").arg(rig.param(d == rig.fx()->dialDry ? Parameter::Dry
                                                                 : d == rig.fx()->dialLowPass ? Parameter::LowPass
                                                                                              : Parameter::HighPass).name,
                                                              before, shown));
        }
    }

    // Every control of the effect window says what it does; the dials' hints end with the exact
    // data word, which follows the value. The hints given before stay as they were.
    void everyControlHasAHint()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        EffectWindow *fx = rig.fx();
        QStringList controls;
        for (QWidget *w : fx->findChildren<QWidget *>()) {
            if (qobject_cast<RotaryDial *>(w) || qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w)) {
                controls << w->objectName();
                QVERIFY2(!w->toolTip().trimmed().isEmpty(), qPrintable(w->objectName() + " has no hint"));
            }
        }
        QCOMPARE(controls.size(), 12 + 6 + 2 + 4 + 8);
        const auto lines = [](QWidget *w) { return w->toolTip().split("\r\n"); };
        QCOMPARE(lines(fx->dialDry), (QStringList{"Level of the dry (unprocessed) signal, as the pedal's Dry knob does.",
                                                  "Data word 0x003FC000"}));
        QCOMPARE(lines(fx->dialLowPass).first(), QString("Low-pass filter on the octave-down signal, in 24 steps."));
        QCOMPARE(lines(fx->dialLowPass).last(), QString("Data word 0x0000000C")); // as the pedal reported it
        QCOMPARE(lines(fx->dialInputLevel),
                 (QStringList{"Set the input signal level for the octave-down effect. This does not affect the dry signal.",
                              "Adjust if you hear excessive distortion in the sub. By default, it is set to the max position.",
                              "Data word 0x00800000"}));
        QCOMPARE(fx->dialDryHPF->toolTip(), QString("Filters low frequencies from the dry signal\r\nData word 0x00000000"));
        QCOMPARE(fx->swtAttack->toolTip(), QString("Set Sub Attack speed"));
        QCOMPARE(fx->cmbSemitonesVariation->toolTip(), QString("Select the pitch variation in semitones from -5 to +3"));
        fx->dialDry->setAngle(0);
        QCOMPARE(lines(fx->dialDry).last(), QString("Data word 0x006A8000"));
        fx->dialLowPass->setAngle(-45);
        QCOMPARE(lines(fx->dialLowPass).last(), QString("Data word 0x007FE000"));
        QVERIFY(rig.service().undo()); // back at step 12, as the dial sends it
        QCOMPARE(lines(fx->dialLowPass).last(), QString("Data word 0x003FC000"));
        QCOMPARE(rig.param(Parameter::LowPass).value, 0x003FC000u);
    }

    void presetSavedAndLoadedBack()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.parameters[19] = 0x800; });
        const QString path = docs.filePath("Karvo/Quarnelo MK3/Preset/live");
        rig.prompts.files = {path};
        rig.main()->menuSavePreset->trigger();
        QCOMPARE(rig.prompts.messages.last(), "File saved successfully: " + path + ".txt");
        QVERIFY(rig.logged("********************SAVE LOCAL PRESET********************"));
        QVERIFY(rig.logged("Dry: 003FC000") && rig.logged("Attack: 00000800") && rig.logged("Wave2_Pitch: 00400000"));
        const QByteArray bytes = fileBytes(path + ".txt");
        QCOMPARE(bytes.size(), 182);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" "003FC000\r003FC000\r"));
        QVERIFY(bytes.endsWith("\r00000800"));

        // Change two parameters on the pedal, then load the preset: only those two go back, Dry
        // exactly as saved (level 510 shows on the step that sends it, 90 degrees).
        rig.fx()->dialDry->setAngle(-45);
        rig.fx()->swtAttack->setChecked(false);
        rig.clock.advance(100);
        rig.received();
        rig.prompts.files = {path + ".txt"};
        rig.main()->menuLoadPreset->trigger();
        QCOMPARE(rig.prompts.messages.last(), "File loaded successfully: " + path + ".txt");
        QCOMPARE(rig.received(), QList<QByteArray>({hex("010027003FC000"), hex("0100AE00000800"), hex("0100AE00000800"),
                                                    hex("0100AE00000800")}));
        QCOMPARE(rig.pedal()->state.parameters[0], 0x003FC000u);
        QCOMPARE(rig.param(Parameter::Dry).value, 0x003FC000u);
        QVERIFY(QDir(docs.filePath("Karvo/Quarnelo MK3/Preset")).exists());
    }

    void malformedPresetChangesNothing()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        const QString path = docs.filePath("bad.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("003FC000\r0000000\r7FE000\r");
        f.close();
        const quint32 sub = rig.param(Parameter::SubMix).value;
        rig.prompts.files = {path};
        rig.main()->menuLoadPreset->trigger();
        QCOMPARE(rig.prompts.messages.last(),
                 QString("Error loading file: bad.txt is not a preset: it has 3 lines, a preset has 20. No value was changed."));
        QVERIFY(rig.received().isEmpty());
        QCOMPARE(rig.param(Parameter::SubMix).value, sub);
        // Cancelling: the banner and twenty empty keys, nothing else.
        rig.main()->menuLoadPreset->trigger();
        QCOMPARE(rig.ctx.log.lines().last(), QString("Attack: "));
        QVERIFY(rig.received().isEmpty());
    }

    void uploadFromTheWindow()
    {
        QTemporaryDir docs;
        linked rig(docs.path(), [](SimulatedPedal *p) { p->state.algorithm = 14; });
        QVERIFY(rig.on("btnUpload") && !rig.on("btnRequest"));
        rig.main()->btnUpload->click();
        QCOMPARE(rig.main()->lblStatus->text(), QString("Algorithm 0015 OK"));
        QCOMPARE(rig.main()->lblAlgorithmVersion->text(), QString("Device Algorithm: 0015"));
        QVERIFY(rig.on("btnRequest")); // the request after the upload found the algorithm current
        QVERIFY(rig.fx()->isVisible());
    }

    void consoleFromTheEffectWindow()
    {
        QTemporaryDir docs;
        linked rig(docs.path());
        QTest::keyClick(rig.fx()->dialDry, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(rig.editor->console()->isVisible());
    }
};

QTEST_MAIN(TestEffectWindow)
#include "tst_effectwindow.moc"
