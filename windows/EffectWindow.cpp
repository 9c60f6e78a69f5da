#include "windows/EffectWindow.h"

#include "algorithms/EffectList.h"
#include "pedal/EditorCore.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/DeviceInformation.h"
#include "device/HexCodec.h"
#include "windows/Dial.h"
#include "pedal/DialMath.h"
#include "device/PedalMessages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>

#include <type_traits>
#include <utility>

using namespace DialMath;
using HexCodec::hexNumber;

namespace {
const char *const AssignRangeItems[] = {"Not Assigned", "Input Level", "1st Harmonic Pitch", "Wave Clip", "Dry HPF",
                                        "Noise Gate Threshold"};
const char *const AssignSwitchItems[] = {"Not Assigned", "Dominant Notes Cut", "High Notes Cut", "Limit Range UP",
                                         "Noise Gate Status", "Attack"};
const char *const TuningItems[] = {"No Tuning Selected", "Standard (EADGBE)", "Drop D (DADGBE)", "DADGAD",
                                   "open D (DADF#AD)",   "Blues G (DGDGBD)",  "Open A (EAC#EAE)", "Open C (CGCGCE)",
                                   "Bass Guitar"};
const char *const SemitoneItems[] = {"-5", "-4", "-3", "-2", "-1", "0", "+1", "+2", "+3"};

QString hint(std::initializer_list<const char *> lines)
{
    QStringList l;
    for (const char *s : lines)
        l << QString::fromUtf8(s);
    return l.join(QStringLiteral("\r\n"));
}

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *caption(QWidget *parent, const QString &text, int x, int y, int w, int h = 14)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return l;
}
} // namespace

EffectWindow::EffectWindow(EditorCore &ctx, QWidget *parent) : QWidget(parent, Qt::Window), m_ctx(ctx)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 448);
    Timer1 = ctx.clock->createTimer(this);
    Timer1->setInterval(1000);
    buildControls();
    connectHandlers();
}

void EffectWindow::buildControls()
{
    auto dial = [this](QWidget *parent, const char *name, const QString &text, int x, int y, int size, int angle) {
        auto *d = named(new RotaryDial(parent), name);
        d->setGeometry(x, y, size, size);
        d->setAngle(angle);
        const int w = 72; // wide enough for "1st Harmonic" and "Input Level"
        caption(parent, text, qMax(1, x + size / 2 - w / 2), y + size, w)->setObjectName(QString::fromLatin1(name) + "Caption");
        return d;
    };
    dialDry = dial(this, "dialDry", QStringLiteral("Dry"), 15, 8, 40, -135);
    dialMinus1Oct = dial(this, "dialMinus1Oct", QStringLiteral("-1 OCT"), 75, 8, 40, -135);
    dialSubMix = dial(this, "dialSubMix", QStringLiteral("Sub Mix"), 15, 72, 40, -135);
    dialMinus2Oct = dial(this, "dialMinus2Oct", QStringLiteral("-2 OCT"), 75, 72, 40, -135);
    dialLowPass = dial(this, "dialLowPass", QStringLiteral("Low Pass"), 15, 136, 40, -138);
    dialHighPass = dial(this, "dialHighPass", QStringLiteral("High Pass"), 75, 136, 40, -128);
    dialRange = dial(this, "dialRange", QStringLiteral("Range"), 15, 200, 40, -126);
    dialDryHPF = dial(this, "dialDryHPF", QStringLiteral("Dry HPF"), 75, 200, 40, -126);
    dialInputLevel = dial(this, "dialInputLevel", QStringLiteral("Input Level"), 203, 8, 40, -135);
    dialClipWave = dial(this, "dialClipWave", QStringLiteral("Wave Clip"), 203, 72, 40, -135);

    auto onOff = [this](const char *name, const QString &text, int y) {
        auto *s = named(new OnOffSwitch(this), name);
        s->setGeometry(136, y, 41, 22);
        QLabel *l = caption(this, text, 116, y + 22, 81);
        return std::pair{s, l};
    };
    swtWave = onOff("swtWave", QStringLiteral("Wave"), 18).first;
    swtSplit = onOff("swtSplit", QStringLiteral("Split"), 61).first;
    swtBypass = onOff("swtBypass", QStringLiteral("Bypass"), 108).first;
    swtLimitRange = onOff("swtLimitRange", QStringLiteral("Limit Range"), 154).first;
    auto attack = onOff("swtAttack", QStringLiteral("Attack: Fast"), 197);
    swtAttack = attack.first;
    lblAttack = named(attack.second, "lblAttack");

    // The first harmonic: its level and its pitch.
    auto *harmonic = named(new QGroupBox(this), "frameHarmonic");
    harmonic->setGeometry(279, 8, 153, 67);
    dial1stHarmonic = dial(harmonic, "dial1stHarmonic", QStringLiteral("1st Harmonic"), 15, 8, 35, -135);
    caption(harmonic, QStringLiteral("Harmonic Pitch"), 60, 2, 89);
    cmbVariableWavePitch = named(new QComboBox(harmonic), "cmbVariableWavePitch");
    cmbVariableWavePitch->setGeometry(68, 18, 73, 22);
    cmbVariableWavePitch->setMaxVisibleItems(12);
    for (int s = -12; s <= 12; ++s)
        cmbVariableWavePitch->addItem(s > 0 ? QStringLiteral("+%1").arg(s) : QString::number(s));
    cmbVariableWavePitch->setCurrentIndex(-1);

    auto *tracking = named(new QGroupBox(QStringLiteral("Tracking Functions"), this), "frameTrackingFunctions");
    tracking->setGeometry(279, 83, 153, 119);
    cmbGuitarTuning = named(new QComboBox(tracking), "cmbGuitarTuning");
    cmbGuitarTuning->setGeometry(8, 22, 136, 22);
    for (const char *t : TuningItems)
        cmbGuitarTuning->addItem(QString::fromLatin1(t));
    cmbSemitonesVariation = named(new QComboBox(tracking), "cmbSemitonesVariation");
    cmbSemitonesVariation->setGeometry(8, 52, 45, 22);
    for (const char *t : SemitoneItems)
        cmbSemitonesVariation->addItem(QString::fromLatin1(t));
    auto *semitones = new QLabel(QStringLiteral("Semitones"), tracking);
    semitones->setGeometry(58, 55, 88, 16);
    chkDominantNoteCut = named(new QCheckBox(QStringLiteral("Dominant Notes Cut"), tracking), "chkDominantNoteCut");
    chkDominantNoteCut->setGeometry(8, 78, 140, 18);
    chkHighNoteCut = named(new QCheckBox(QStringLiteral("High Notes Cut"), tracking), "chkHighNoteCut");
    chkHighNoteCut->setGeometry(8, 97, 140, 18);

    auto *gate = named(new QGroupBox(QStringLiteral("Noise Gate"), this), "frameNoiseGate");
    gate->setGeometry(279, 206, 153, 76);
    swtNoiseGateStatus = named(new OnOffSwitch(gate), "swtNoiseGateStatus");
    swtNoiseGateStatus->setGeometry(19, 26, 43, 19);
    dialNoiseGateThreshold = named(new RotaryDial(gate), "dialNoiseGateThreshold");
    dialNoiseGateThreshold->setGeometry(89, 7, 50, 50);
    dialNoiseGateThreshold->setAngle(-135);
    caption(gate, QStringLiteral("Threshold"), 79, 57, 70);

    auto *line = named(new QFrame(this), "separatorHorizontal");
    line->setFrameShape(QFrame::HLine);
    line->setGeometry(7, 284, 422, 2);
    auto *vline = named(new QFrame(this), "separatorVertical");
    vline->setFrameShape(QFrame::VLine);
    vline->setGeometry(276, 290, 2, 151);

    auto *assign = named(new QGroupBox(QStringLiteral("Assign Controls"), this), "groupAssignControls");
    assign->setGeometry(12, 288, 258, 152);
    auto assignList = [assign](const char *name, const QString &text, int x, int y, int w) {
        auto *c = named(new QComboBox(assign), name);
        c->setGeometry(x, y, w, 22);
        auto *l = new QLabel(text, assign);
        l->setGeometry(x, y - 16, w, 15);
        return c;
    };
    cmbAssignCtrlUNO = assignList("cmbAssignCtrlUNO", QStringLiteral("Control I"), 0, 46, 120);
    cmbAssignCtrlDUE = assignList("cmbAssignCtrlDUE", QStringLiteral("Control II"), 0, 86, 120);
    cmbAssignCtrlTRE = assignList("cmbAssignCtrlTRE", QStringLiteral("Control III"), 136, 44, 120);
    cmbAssignCtrlQUATTRO = assignList("cmbAssignCtrlQUATTRO", QStringLiteral("Control IV"), 136, 86, 120);
    cmbAssignRemote = assignList("cmbAssignRemote", QStringLiteral("Remote Footswitch"), 0, 126, 118);
    for (QComboBox *c : {cmbAssignCtrlUNO, cmbAssignCtrlDUE})
        for (const char *t : AssignRangeItems)
            c->addItem(QString::fromLatin1(t));
    for (QComboBox *c : {cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO})
        for (const char *t : AssignSwitchItems)
            c->addItem(QString::fromLatin1(t));
    cmbAssignRemote->addItems({QStringLiteral("Not Assigned"), QStringLiteral("Bypass"), QStringLiteral("Preset")});

    auto pressGroup = [this](const char *name, const QString &title, int y, int first, int second, QRadioButton **bypass,
                             QRadioButton **preset, const char *bypassName, const char *presetName) {
        auto *box = named(new QWidget(this), name);
        box->setGeometry(298, y, 134, second + 22);
        auto *l = new QLabel(title, box);
        l->setGeometry(0, 0, 134, 15);
        *bypass = named(new QRadioButton(QStringLiteral("Bypass"), box), bypassName);
        (*bypass)->setGeometry(4, first, 120, 19);
        *preset = named(new QRadioButton(QStringLiteral("Change Preset"), box), presetName);
        (*preset)->setGeometry(4, second, 120, 19);
        auto *group = new QButtonGroup(box);
        group->addButton(*bypass);
        group->addButton(*preset);
    };
    pressGroup("FtswLongPress", QStringLiteral("Footswitch Long Press:"), 299, 17, 36, &chkBypassLongPress,
               &chkChangePresetLongPress, "chkBypassLongPress", "chkChangePresetLongPress");
    pressGroup("FtswShortPress", QStringLiteral("Footswitch Short Press:"), 374, 16, 35, &chkBypassShortPress,
               &chkChangePresetShortPress, "chkBypassShortPress", "chkChangePresetShortPress");
    chkChangePresetLongPress->setChecked(true);
    chkBypassShortPress->setChecked(true);

    // FormCreate: initial selections and hints.
    cmbAssignCtrlUNO->setCurrentIndex(0);
    cmbGuitarTuning->setCurrentIndex(0);
    cmbSemitonesVariation->setCurrentIndex(5);
    dial1stHarmonic->setEnabled(false);
    swtWave->setEnabled(false);
    swtSplit->setEnabled(false);
    dial1stHarmonic->setToolTip(QStringLiteral("Set the level of the first harmonic."));
    cmbVariableWavePitch->setToolTip(QStringLiteral("Set the pitch of the first harmonic from -12 to +12 semitones"));
    chkDominantNoteCut->setToolTip(hint(
        {"Improves tracking on lowest chord (E-open chord in standard tuning) when RANGE is set high.",
         "Make sure to choose the right tuning for your instrument before applying this parameter."}));
    chkHighNoteCut->setToolTip(hint(
        {"Reduces undesired tracking and noise on specific notes (e.g., open G string and first frets in standard tuning)",
         "Ensure your instrument is set to the correct tuning before applying this parameter."}));
    dialInputLevel->setToolTip(hint(
        {"Set the input signal level for the octave-down effect. This does not affect the dry signal.",
         "Adjust if you hear excessive distortion in the sub. By default, it is set to the max position."}));
    cmbGuitarTuning->setToolTip(hint(
        {"Select the tuning of your instrument and the pitch variation", "in the box below. Example:",
         "- if you play in standard tuning 1 half-step down select standard tuning and -1 Pitch.",
         "- if you play in standard tuning and use capo on 3rd fret select standard tuning and +3 Pitch."}));
    cmbSemitonesVariation->setToolTip(QStringLiteral("Select the pitch variation in semitones from -5 to +3"));
    dialDryHPF->setToolTip(QStringLiteral("Filters low frequencies from the dry signal"));
    swtLimitRange->setToolTip(QStringLiteral("Limit the tracking range on higher notes."));
    swtNoiseGateStatus->setToolTip(QStringLiteral("Turn ON the noise gate"));
    dialNoiseGateThreshold->setToolTip(QStringLiteral(
        "Set the level where the noise gate starts. When set to minimum, the Noise Gate is OFF. Turn it up to "
        "activate the gate and set the desired threshold."));
    swtAttack->setToolTip(QStringLiteral("Set Sub Attack speed"));

    chkDominantNoteCut->installEventFilter(this);
    installEventFilter(this);
}

void EffectWindow::connectHandlers()
{
    // Dials: every change sends, except while the request puts the pedal's values on them.
    // Both record types: the dial's word goes out and is kept in the record.
    const auto dialHandler = [this](RotaryDial *d, auto &p) {
        connect(d, &RotaryDial::angleChanged, this, [this, d, &p] {
            if (requestInProgress())
                return;
            if constexpr (std::is_same_v<std::decay_t<decltype(p)>, standard_parameter>)
                p.value = sendStandardDialValue(d, p);
            else
                p.value = sendAssignableDialValue(d, p);
        });
    };
    dialHandler(dialDry, P.Dry);
    dialHandler(dialSubMix, P.SubMix);
    dialHandler(dialMinus1Oct, P.Minus1Oct);
    dialHandler(dialMinus2Oct, P.Minus2Oct);
    dialHandler(dialLowPass, P.LowPass);
    dialHandler(dialHighPass, P.HighPass);
    dialHandler(dialRange, P.Range);
    dialHandler(dial1stHarmonic, P.FirstHarmonic);
    dialHandler(dialInputLevel, P.InputLevel);
    dialHandler(dialClipWave, P.WaveClip);
    dialHandler(dialDryHPF, P.DryHPF);
    dialHandler(dialNoiseGateThreshold, P.NoiseGateThreshold);

    // Wave and Split send even while the request applies its answer.
    connect(swtWave, &OnOffSwitch::toggled, this, [this](bool on) {
        sendStandardValue(on ? PedalMessages::WaveOnValue : PedalMessages::WaveOffValue, P.Wave);
    });
    connect(swtSplit, &OnOffSwitch::toggled, this, [this](bool on) { sendStandardValue(on ? 1 : 0, P.Split); });
    connect(swtLimitRange, &OnOffSwitch::toggled, this, [this](bool on) {
        if (!requestInProgress())
            sendAssignableValue(on ? 1 : 0, P.LimitRangeUP);
    });
    connect(swtNoiseGateStatus, &OnOffSwitch::toggled, this, [this](bool on) {
        if (!requestInProgress())
            sendAssignableValue(on ? 1 : 0, P.NoiseGateStatus);
    });
    connect(swtAttack, &OnOffSwitch::toggled, this, [this](bool on) {
        // The label always tells the switch's state, also when the request sets it.
        lblAttack->setText(on ? QStringLiteral("Attack: Slow") : QStringLiteral("Attack: Fast"));
        if (requestInProgress())
            return;
        const quint32 word = on ? PedalMessages::AttackSlowValue : PedalMessages::AttackFastValue;
        for (int i = 0; i < 3; ++i)
            sendAssignableValue(word, P.Attack);
    });
    connect(swtBypass, &OnOffSwitch::toggled, this, [this](bool on) {
        if (!requestInProgress())
            sendBypass(on);
    });
    connect(cmbVariableWavePitch, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (requestInProgress() || index < 0 || index >= int(HarmonicPitchTable.size()))
            return;
        const quint32 word = HarmonicPitchTable[size_t(index)];
        const QString text = PedalMessages::parameterWrite(P.FirstHarmonicPitch.address, word);
        m_ctx.log.WriteLogLine(QStringLiteral("Send Harmonic Pitch string: ") + text);
        m_ctx.comm.SendHexMessage(text, 7);
        P.FirstHarmonicPitch.value = word;
    });
    connect(chkDominantNoteCut, &QCheckBox::toggled, this,
            [this] { trackingFunctionChange(chkDominantNoteCut, P.DominantNotesCut); });
    connect(chkHighNoteCut, &QCheckBox::toggled, this, [this] { trackingFunctionChange(chkHighNoteCut, P.HighNotesCut); });
    connect(cmbGuitarTuning, &QComboBox::currentIndexChanged, this, [this](int index) {
        CurrentTuning = quint8(qMax(0, index));
    });
    connect(cmbSemitonesVariation, &QComboBox::currentIndexChanged, this, [this] {
        SemitoneVariation = qint8(cmbSemitonesVariation->currentText().toInt());
    });
    connect(cmbAssignCtrlUNO, &QComboBox::currentIndexChanged, this, [this](int i) { ControlAssigned[0] = i > 0; });
    connect(cmbAssignCtrlDUE, &QComboBox::currentIndexChanged, this, [this](int i) { ControlAssigned[1] = i > 0; });
    connect(cmbAssignRemote, &QComboBox::currentIndexChanged, this, [this](int i) { ControlAssigned[4] = i > 0; });
    connect(cmbAssignCtrlTRE, &QComboBox::currentIndexChanged, this, [this] { controlThreeOrFourChange(cmbAssignCtrlTRE, 2); });
    connect(cmbAssignCtrlQUATTRO, &QComboBox::currentIndexChanged, this,
            [this] { controlThreeOrFourChange(cmbAssignCtrlQUATTRO, 3); });
    connect(Timer1, &ClockTimer::timeout, this, &EffectWindow::Timer1Timer);
}

bool EffectWindow::requestInProgress() const { return m_ctx.comm.RequestInProgress; }

quint8 EffectWindow::reply(int position, bool *ok) const
{
    const QByteArray &r = m_ctx.comm.ReplyBytes;
    if (position < 0 || position >= r.size()) {
        *ok = false;
        return 0;
    }
    return quint8(r[position]);
}

RotaryDial *EffectWindow::dialFor(int i) const
{
    switch (i) {
    case 0: return dialDry;
    case 1: return dialSubMix;
    case 2: return dialMinus1Oct;
    case 3: return dialMinus2Oct;
    case 5: return dialLowPass;
    case 6: return dialHighPass;
    case 7: return dial1stHarmonic;
    case 9: return dialRange;
    case 10: return dialInputLevel;
    case 12: return dialClipWave;
    case 15: return dialDryHPF;
    case 18: return dialNoiseGateThreshold;
    default: return nullptr;
    }
}

void EffectWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool EffectWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == chkDominantNoteCut && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        m_ctx.log.WriteLogLine(QStringLiteral("Right mouse button clicked!"));
    }
    if (event->type() == QEvent::KeyPress) {
        auto *w = qobject_cast<QWidget *>(watched);
        auto *k = static_cast<QKeyEvent *>(event);
        if (w && w->window() == this && k->key() == Qt::Key_P && k->modifiers().testFlag(Qt::ControlModifier) &&
            k->modifiers().testFlag(Qt::ShiftModifier)) {
            emit consoleRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EffectWindow::FormShow()
{
    // When the image cannot be loaded, the lines loaded before are not this effect's image:
    // the addresses stay as they are.
    if (m_ctx.loadSelectedEffectImage())
        loadParameterAddresses();
}

void EffectWindow::loadParameterAddresses()
{
    if (!P.loadParameterAddresses(m_ctx.ResourceLines.value(0)))
        m_ctx.log.WriteLogLine(QStringLiteral("algorithm header too short: some parameter addresses were not loaded"));
}

void EffectWindow::enableEffectControls(bool enabled)
{
    m_enabled = enabled;
    for (QWidget *w : findChildren<QWidget *>())
        w->setEnabled(enabled);
}

quint32 EffectWindow::sendDialValue(RotaryDial *dial, const QString &name, quint16 address)
{
    dial->setAngle(snapDialAngle(dial->angle())); // out of the dead zone
    const int level = positionToLevel(dialAngleToPosition(dial->angle()));
    const quint32 word = levelToWord(level);
    const QString text = PedalMessages::parameterWrite(address, word);
    m_ctx.log.WriteLogLine(QStringLiteral("Send ") + name + QStringLiteral(" string (standard par): ") + text);
    if (SendImmediately) {
        m_ctx.comm.SendHexMessage(text, 7);
        return word;
    }
    bool replaced = false;
    for (auto &pending : m_pendingDials) {
        if (pending.first == address) {
            pending.second = text;
            replaced = true;
        }
    }
    if (!replaced)
        m_pendingDials.append({address, text});
    if (!Timer1->isActive() || Timer1->interval() != 100)
        Timer1->start(100); // already running at 100 ms: left alone, so a drag still sends every 100 ms
    return word;
}

quint32 EffectWindow::sendStandardDialValue(RotaryDial *dial, standard_parameter &p)
{
    return sendDialValue(dial, p.parameter_name, p.address);
}

quint32 EffectWindow::sendAssignableDialValue(RotaryDial *dial, assignable_parameter &p)
{
    return sendDialValue(dial, p.parameter_name, p.address);
}

void EffectWindow::Timer1Timer()
{
    // The newest message of every dial moved since the last tick; other messages sent
    // meanwhile cannot leak into them.
    Timer1->stop();
    const auto pending = std::exchange(m_pendingDials, {});
    for (const auto &p : pending)
        m_ctx.comm.SendHexMessage(p.second, 7);
}

void EffectWindow::sendStandardValue(quint32 word, standard_parameter &p)
{
    const QString text = PedalMessages::parameterWrite(p.address, word);
    m_ctx.log.WriteLogLine(QStringLiteral("Send ") + p.parameter_name + QStringLiteral(" string (standard par): ") + text);
    m_ctx.comm.SendHexMessage(text, 7);
}

void EffectWindow::sendAssignableValue(quint32 word, assignable_parameter &p)
{
    const QString text = PedalMessages::parameterWrite(p.address, word);
    m_ctx.log.WriteLogLine(QStringLiteral("Send ") + p.parameter_name + QStringLiteral(" string (assignable par): ") + text);
    m_ctx.comm.SendHexMessage(text, 7);
}

void EffectWindow::sendBypass(bool on) { m_ctx.comm.SendHexMessage(PedalMessages::bypass(on), 2); }

void EffectWindow::trackingFunctionChange(QCheckBox *box, assignable_parameter &p)
{
    if (requestInProgress() || m_refusing)
        return;
    if (cmbGuitarTuning->currentIndex() == NoTuningIndex && box->isChecked()) {
        m_ctx.prompts->message(QStringLiteral("Set a tuning before using this parameter"));
        m_refusing = true;
        box->setChecked(false);
        m_refusing = false;
    }
    p.value = box->isChecked() ? 1 : 0;
    m_ctx.comm.WriteDSPMessage(QStringLiteral("01"), p.address, p.value);
}

void EffectWindow::controlThreeOrFourChange(QComboBox *list, int flag)
{
    ControlAssigned[size_t(flag)] = list->currentIndex() > 0;
    if (requestInProgress() || CurrentTuning != NoTuningIndex)
        return;
    const QString item = list->currentText();
    if (item == QLatin1String("Dominant Notes Cut") || item == QLatin1String("High Notes Cut")) {
        m_ctx.prompts->message(QStringLiteral("No tuning selected, Select a tuning before assigning this parameter"));
        list->setCurrentIndex(0); // runs this handler again, which clears the flag
    }
}

void EffectWindow::showParameterValues(bool sendImmediately)
{
    SendImmediately = sendImmediately;
    const auto dialTo = [](RotaryDial *d, quint32 word, quint32 fullScale) { d->setAngle(valueToDialAngle(word, fullScale)); };
    dialTo(dialDry, P.Dry.value, FullScale);
    dialTo(dialSubMix, P.SubMix.value, FullScale);
    dialTo(dialMinus1Oct, P.Minus1Oct.value, FullScale);
    dialTo(dialMinus2Oct, P.Minus2Oct.value, FullScale);
    if (P.Wave.value == PedalMessages::WaveOnValue)
        swtWave->setChecked(true);
    else if (P.Wave.value == PedalMessages::WaveOffValue)
        swtWave->setChecked(false);
    dialTo(dialLowPass, P.LowPass.value, 24);
    dialTo(dialHighPass, P.HighPass.value, 16);
    dialTo(dial1stHarmonic, P.FirstHarmonic.value, FullScale);
    if (P.Split.value == 1)
        swtSplit->setChecked(true);
    else if (P.Split.value == 0)
        swtSplit->setChecked(false);
    dialTo(dialRange, P.Range.value, 22);
    dialTo(dialInputLevel, P.InputLevel.value, FullScale);
    dialTo(dialClipWave, P.WaveClip.value, FullScale);
    for (int i = 0; i < int(HarmonicPitchTable.size()); ++i) {
        if (HarmonicPitchTable[size_t(i)] == P.FirstHarmonicPitch.value)
            cmbVariableWavePitch->setCurrentIndex(i);
    }
    chkDominantNoteCut->setChecked(P.DominantNotesCut.value == 1);
    chkHighNoteCut->setChecked(P.HighNotesCut.value == 1);
    dialTo(dialDryHPF, P.DryHPF.value, FullScale);
    swtLimitRange->setChecked(P.LimitRangeUP.value == 1);
    swtNoiseGateStatus->setChecked(P.NoiseGateStatus.value == 1);
    dialTo(dialNoiseGateThreshold, P.NoiseGateThreshold.value, FullScale);
    if (P.Attack.value == PedalMessages::AttackFastValue)
        swtAttack->setChecked(false);
    else if (P.Attack.value == PedalMessages::AttackSlowValue)
        swtAttack->setChecked(true);
    SendImmediately = false;
}

void EffectWindow::getParameterValues(int b)
{
    if (m_ctx.comm.ReplyBytes.size() < b + 80)
        return; // only a complete answer is read back
    static const char *const labels[] = {"Dry: \t", "Sub Mix: ", "Sub -1: \t", "Sub -2: \t", "Wave: \t", "LPF: \t",
                                         "HPF: \t", "1st Harmonic: \t", "Split: \t", "Range: \t", "Input Lvl: \t",
                                         "Harmonic pitch: \t", "Clip: \t", "Dominant notes cut: \t",
                                         "High notes cut: \t", "Dry HPF: \t", "Limit Range UP: \t"};
    const auto words = DeviceInformation::fromValues(m_ctx.comm.ReplyBytes)->parameterWords;
    ParameterValues.clear();
    for (int i = 0; i < 20; ++i) {
        const quint32 word = words[size_t(i)];
        ParameterValues << word;
        P.value(i) = word;
        const QString label = i < 17 ? QString::fromLatin1(labels[i]) : P.name(i) + QStringLiteral(": \t");
        m_ctx.log.WriteLogLine(label + hexNumber(word, 8));
    }
    showParameterValues(false);
}

void EffectWindow::getBypassStatus(int b)
{
    bool ok = true;
    const quint8 v = reply(b, &ok);
    if (ok && v <= 1)
        swtBypass->setChecked(v == 1);
}

void EffectWindow::getFootswitchMode(int b)
{
    bool ok = true;
    const quint8 mode = reply(b, &ok);
    if (!ok)
        return;
    FootswitchMode = mode;
    m_ctx.log.WriteLogLine(QStringLiteral("Footswitch Mode: %1").arg(mode));
    if (mode > 3)
        return;
    (mode >= 2 ? chkChangePresetShortPress : chkBypassShortPress)->setChecked(true);
    (mode % 2 == 1 ? chkBypassLongPress : chkChangePresetLongPress)->setChecked(true);
}

void EffectWindow::getTuning(int b)
{
    bool ok = true;
    const quint8 tuning = reply(b, &ok);
    const quint8 semitone = reply(b + 1, &ok);
    if (!ok)
        return;
    CurrentTuning = tuning;
    SemitoneVariation = qint8(semitone);
    m_ctx.log.WriteLogLine(QStringLiteral("Current Tuning: %1").arg(tuning));
    m_ctx.log.WriteLogLine(QStringLiteral("Semitones variation: ") + hexNumber(semitone, 2));
    // A tuning or variation the lists do not offer leaves them, and what the editor sends, as shown.
    if (tuning < cmbGuitarTuning->count())
        cmbGuitarTuning->setCurrentIndex(tuning);
    CurrentTuning = quint8(cmbGuitarTuning->currentIndex());
    const int s = qint8(semitone);
    if (s >= -5 && s <= 3)
        cmbSemitonesVariation->setCurrentIndex(s + 5);
    SemitoneVariation = qint8(cmbSemitonesVariation->currentText().toInt());
}

void EffectWindow::getAssignments(int b)
{
    bool ok = true;
    reply(b + 14, &ok);
    if (!ok)
        return;
    const QByteArray &r = m_ctx.comm.ReplyBytes;
    QComboBox *lists[] = {cmbAssignCtrlUNO, cmbAssignCtrlDUE, cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO, cmbAssignRemote};
    int reported[5];
    for (int c = 0; c < 5; ++c) {
        if (quint8(r[b + c]) == 0) {
            lists[c]->setCurrentIndex(0);
            reported[c] = -1;
        } else {
            reported[c] = quint8(r[b + 5 + 2 * c]) * 256 + quint8(r[b + 6 + 2 * c]);
        }
    }
    for (assignable_parameter *p : P.assignables())
        p->is_assigned = false;
    assignable_parameter *rangeOnes[] = {&P.InputLevel, &P.FirstHarmonicPitch, &P.WaveClip, &P.DryHPF,
                                         &P.NoiseGateThreshold};
    assignable_parameter *switchOnes[] = {&P.DominantNotesCut, &P.HighNotesCut, &P.LimitRangeUP, &P.NoiseGateStatus,
                                          &P.Attack};
    for (int c = 0; c < 4; ++c) {
        if (reported[c] < 0)
            continue;
        assignable_parameter **offered = c < 2 ? rangeOnes : switchOnes;
        for (int k = 0; k < 5; ++k) {
            if (offered[k]->address == reported[c]) {
                lists[c]->setCurrentIndex(k + 1);
                offered[k]->is_assigned = true;
            }
        }
    }
    if (reported[4] == PedalMessages::RemoteBypassCode)
        cmbAssignRemote->setCurrentIndex(1);
    else if (reported[4] == PedalMessages::RemotePresetCode)
        cmbAssignRemote->setCurrentIndex(2);
}

QString EffectWindow::buildAssignMessage()
{
    QComboBox *lists[] = {cmbAssignCtrlUNO, cmbAssignCtrlDUE, cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO};
    std::array<int, 4> addresses{};
    for (int c = 0; c < 4; ++c) {
        addresses[size_t(c)] = -1;
        if (!ControlAssigned[size_t(c)] || lists[c]->currentIndex() <= 0)
            continue;
        for (assignable_parameter *p : P.assignables()) {
            if (p->parameter_name == lists[c]->currentText())
                addresses[size_t(c)] = p->address;
        }
    }
    const QString text = PedalMessages::assign(addresses, ControlAssigned[4] ? cmbAssignRemote->currentIndex() : 0);
    m_ctx.log.WriteLogLine(QStringLiteral("lenght of assign message in bytes: %1").arg(text.size() / 2));
    m_ctx.log.WriteLogLine(QStringLiteral("assign message: ") + text);
    return text;
}

QString EffectWindow::buildFootswitchMessage()
{
    const QString text =
        PedalMessages::footswitch(chkChangePresetShortPress->isChecked(), chkBypassLongPress->isChecked());
    m_ctx.log.WriteLogLine(QStringLiteral("footswitch behaviour message: ") + text);
    return text;
}

void EffectWindow::setDefaultAssignableParameterValues()
{
    P.InputLevel.value = FullScale;
    P.FirstHarmonicPitch.value = HarmonicPitchTable[12];
    P.WaveClip.value = 0;
    P.DominantNotesCut.value = 0;
    P.HighNotesCut.value = 0;
    P.DryHPF.value = 0;
    P.LimitRangeUP.value = 0;
    P.NoiseGateStatus.value = 0;
    P.NoiseGateThreshold.value = 0;
    P.Attack.value = PedalMessages::AttackFastValue;

    Communication &comm = m_ctx.comm;
    const auto plain = [&](assignable_parameter &p) {
        comm.SendHexMessage(PedalMessages::parameterWrite(p.address, p.value), 7);
        m_ctx.clock->pause(10);
    };
    plain(P.InputLevel);
    plain(P.FirstHarmonicPitch);
    plain(P.WaveClip);
    comm.WriteDSPMessage(QStringLiteral("01"), P.DominantNotesCut.address, P.DominantNotesCut.value);
    comm.WriteDSPMessage(QStringLiteral("01"), P.HighNotesCut.address, P.HighNotesCut.value);
    m_ctx.clock->pause(10);
    plain(P.DryHPF);
    sendAssignableValue(P.LimitRangeUP.value, P.LimitRangeUP);
    m_ctx.clock->pause(10);
    // The noise gate: both parameters, each to its own address.
    sendAssignableValue(P.NoiseGateStatus.value, P.NoiseGateStatus);
    sendAssignableValue(P.NoiseGateThreshold.value, P.NoiseGateThreshold);
    m_ctx.clock->pause(10);
    sendAssignableValue(P.Attack.value, P.Attack);
    m_ctx.clock->pause(10);
    showParameterValues(false);
}

void EffectWindow::OnClickEnableAllParameters()
{
    AllParametersEnabled = !AllParametersEnabled;
    for (RotaryDial *d : {dialDry, dialSubMix, dialMinus1Oct, dialMinus2Oct, dialRange})
        d->setEnabled(AllParametersEnabled);
    for (RotaryDial *d : {dialLowPass, dialHighPass, dial1stHarmonic})
        d->setEnabled(true);
}
