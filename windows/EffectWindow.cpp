#include "windows/EffectWindow.h"

#include <QAction>

#include "pedal/PedalService.h"
#include "pedal/ValueText.h"
#include "support/DiagnosticLog.h"
#include "windows/CommandOrigin.h"
#include "windows/Dial.h"
#include "windows/KeyHabits.h"
#include "windows/WindowUnits.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>


namespace {
const char *const TuningItems[] = {"No Tuning Selected", "Standard (EADGBE)", "Drop D (DADGBE)", "DADGAD",
                                   "open D (DADF#AD)",   "Blues G (DGDGBD)",  "Open A (EAC#EAE)", "Open C (CGCGCE)",
                                   "Bass Guitar"};

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

EffectWindow::EffectWindow(PedalService &service, DiagnosticLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_service(service), m_log(log)
{
    setObjectName(QStringLiteral("formFXsettings"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();
    WindowUnits::place(this, QSize(440, 448));
    // Undo and redo of the live edits work here as in the main window.
    auto *undo = new QAction(QStringLiteral("Undo"), this);
    undo->setObjectName(QStringLiteral("actUndo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setShortcutContext(Qt::WindowShortcut);
    connect(undo, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.undo();
    });
    auto *redo = new QAction(QStringLiteral("Redo"), this);
    redo->setObjectName(QStringLiteral("actRedo"));
    redo->setShortcuts(KeyHabits::redoKeys());
    redo->setShortcutContext(Qt::WindowShortcut);
    connect(redo, &QAction::triggered, this, [this] {
        CommandOrigin from(this);
        m_service.redo();
    });
    addActions({undo, redo});
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        m_parameterControls[size_t(i)] =
            findChild<QWidget *>(QString::fromLatin1(ParameterCatalogue::all()[size_t(i)].controlName));
        if (auto *dial = qobject_cast<RotaryDial *>(m_parameterControls[size_t(i)])) {
            dial->setParameter(i); // shows and takes its value in the pedal's own terms
            m_dialHints[size_t(i)] = dial->toolTip();
        }
    }
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        showControl(i);
    showChoices();
    connectControls();
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
    // Its children keep clear of the frame line, which a look draws below a title's margin.
    dial1stHarmonic = dial(harmonic, "dial1stHarmonic", QStringLiteral("1st Harmonic"), 15, 10, 35, -135);
    caption(harmonic, QStringLiteral("Harmonic Pitch"), 60, 10, 89);
    cmbVariableWavePitch = named(new QComboBox(harmonic), "cmbVariableWavePitch");
    cmbVariableWavePitch->setGeometry(68, 26, 73, 22);
    cmbVariableWavePitch->setMaxVisibleItems(12);
    for (int s = -12; s <= 12; ++s)
        cmbVariableWavePitch->addItem(ValueText::semitones(s));
    cmbVariableWavePitch->setCurrentIndex(-1);

    auto *tracking = named(new QGroupBox(QStringLiteral("Tracking Functions"), this), "frameTrackingFunctions");
    tracking->setGeometry(279, 83, 153, 119);
    cmbGuitarTuning = named(new QComboBox(tracking), "cmbGuitarTuning");
    cmbGuitarTuning->setGeometry(8, 22, 136, 22);
    for (const char *t : TuningItems)
        cmbGuitarTuning->addItem(QString::fromLatin1(t));
    cmbSemitonesVariation = named(new QComboBox(tracking), "cmbSemitonesVariation");
    cmbSemitonesVariation->setGeometry(8, 52, 45, 22);
    for (int s = -5; s <= 3; ++s)
        cmbSemitonesVariation->addItem(ValueText::semitones(s));
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
    dialNoiseGateThreshold->setGeometry(91, 11, 46, 46);
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
    // The lists keep clear of the group's frame line.
    cmbAssignCtrlUNO = assignList("cmbAssignCtrlUNO", QStringLiteral("Control I"), 6, 46, 120);
    cmbAssignCtrlDUE = assignList("cmbAssignCtrlDUE", QStringLiteral("Control II"), 6, 86, 120);
    cmbAssignCtrlTRE = assignList("cmbAssignCtrlTRE", QStringLiteral("Control III"), 132, 44, 120);
    cmbAssignCtrlQUATTRO = assignList("cmbAssignCtrlQUATTRO", QStringLiteral("Control IV"), 132, 86, 120);
    cmbAssignRemote = assignList("cmbAssignRemote", QStringLiteral("Remote Footswitch"), 6, 126, 118);
    m_assignLists = {cmbAssignCtrlUNO, cmbAssignCtrlDUE, cmbAssignCtrlTRE, cmbAssignCtrlQUATTRO, cmbAssignRemote};
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c)
        m_assignLists[size_t(c)]->addItems(ParameterCatalogue::assignItems(c));

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

    // Initial selections and hints.
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
    // What the other controls do on the pedal.
    const auto knob = [](const char *what, const char *knobName) {
        return QStringLiteral("%1, as the pedal's %2 knob does.").arg(QLatin1String(what), QLatin1String(knobName));
    };
    dialDry->setToolTip(knob("Level of the dry (unprocessed) signal", "Dry"));
    dialSubMix->setToolTip(knob("Mix level of the octave-down (sub) signal", "Sub Mix"));
    dialMinus1Oct->setToolTip(knob("Level of the signal one octave down", "-1 OCT"));
    dialMinus2Oct->setToolTip(knob("Level of the signal two octaves down", "-2 OCT"));
    dialLowPass->setToolTip(hint({"Low-pass filter on the octave-down signal, in 24 steps.",
                                  "Double-click to type a step from 0 to 24."}));
    dialHighPass->setToolTip(hint({"High-pass filter on the octave-down signal, in 16 steps.",
                                   "Double-click to type a step from 0 to 16."}));
    dialRange->setToolTip(hint({"Tracking range of the octave-down effect, in 22 steps.",
                                "Double-click to type a step from 0 to 22."}));
    dialClipWave->setToolTip(QStringLiteral("Sets how much the Wave signal is clipped."));
    swtWave->setToolTip(QStringLiteral("Turns Wave on or off, as the pedal's Wave switch does."));
    swtSplit->setToolTip(QStringLiteral("Turns Split on or off, as the pedal's Split switch does."));
    swtBypass->setToolTip(QStringLiteral("Switches the effect out (on) or back in (off), as the footswitch's Bypass does."));
    const QString storeAssignment = QStringLiteral("Press Assign in the main window to store the choice in the pedal.");
    const auto assignHint = [&storeAssignment](const QString &control, const char *offers) {
        return QStringLiteral("Chooses the parameter that the pedal's %1 drives (%2).\r\n").arg(control, QLatin1String(offers)) +
               storeAssignment;
    };
    cmbAssignCtrlUNO->setToolTip(assignHint(QStringLiteral("Control I"), "a parameter with a range"));
    cmbAssignCtrlDUE->setToolTip(assignHint(QStringLiteral("Control II"), "a parameter with a range"));
    cmbAssignCtrlTRE->setToolTip(assignHint(QStringLiteral("Control III"), "an on/off parameter"));
    cmbAssignCtrlQUATTRO->setToolTip(assignHint(QStringLiteral("Control IV"), "an on/off parameter"));
    cmbAssignRemote->setToolTip(QStringLiteral("Chooses what the remote footswitch does: Bypass or Preset.\r\n") +
                                storeAssignment);
    const QString sendMode = QStringLiteral("Press Set Footswitch Mode in the main window to send it to the pedal.");
    const auto press = [&sendMode](const char *press, const char *does) {
        return QStringLiteral("A %1 press of the footswitch %2.\r\n").arg(QLatin1String(press), QLatin1String(does)) + sendMode;
    };
    chkBypassShortPress->setToolTip(press("short", "switches the effect in and out (Bypass)"));
    chkChangePresetShortPress->setToolTip(press("short", "steps to the next preset"));
    chkBypassLongPress->setToolTip(press("long", "switches the effect in and out (Bypass)"));
    chkChangePresetLongPress->setToolTip(press("long", "steps to the next preset"));

    // Free space under the switches: what Save Parameters would keep that the pedal does not.
    lblUnsaved = named(new QLabel(QStringLiteral("Unsaved changes: Save Parameters keeps them"), this), "lblUnsaved");
    lblUnsaved->setGeometry(140, 242, 132, 40);
    lblUnsaved->setWordWrap(true);
    lblUnsaved->setAlignment(Qt::AlignCenter);
    lblUnsaved->hide();

    chkDominantNoteCut->installEventFilter(this);
    installEventFilter(this);
}

void EffectWindow::connectControls()
{
    // Every change the user makes goes to the service, started from this window (CommandOrigin:
    // what it shows opens here); what the service holds comes back to the controls through
    // showControl and showChoices, with their signals blocked.
    const auto set = [this](int i, int state) {
        CommandOrigin from(this);
        m_service.setControl(i, state);
    };
    for (int i = 0; i < ParameterCatalogue::Count; ++i) {
        QWidget *w = m_parameterControls[size_t(i)];
        if (auto *dial = qobject_cast<RotaryDial *>(w))
            connect(dial, &RotaryDial::angleChanged, this, [this, i, set](int angle) {
                set(i, angle);
                showDataWord(i);
            });
        else if (auto *sw = qobject_cast<OnOffSwitch *>(w))
            connect(sw, &OnOffSwitch::toggled, this, [i, set](bool on) { set(i, on ? 1 : 0); });
        else if (auto *box = qobject_cast<QCheckBox *>(w))
            connect(box, &QCheckBox::toggled, this, [i, set](bool on) { set(i, on ? 1 : 0); });
        else if (auto *list = qobject_cast<QComboBox *>(w))
            connect(list, &QComboBox::currentIndexChanged, this, [i, set](int item) { set(i, item); });
    }
    connect(swtBypass, &OnOffSwitch::toggled, this, [this](bool on) {
        CommandOrigin from(this);
        m_service.setBypass(on);
    });
    connect(cmbGuitarTuning, &QComboBox::currentIndexChanged, this, [this](int item) {
        CommandOrigin from(this);
        m_service.chooseTuning(item);
    });
    connect(cmbSemitonesVariation, &QComboBox::currentIndexChanged, this, [this](int item) {
        CommandOrigin from(this);
        m_service.chooseSemitoneVariation(item);
    });
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c)
        connect(m_assignLists[size_t(c)], &QComboBox::currentIndexChanged, this, [this, c](int item) {
            CommandOrigin from(this);
            m_service.chooseAssignment(c, item);
        });
    const auto footswitch = [this] {
        CommandOrigin from(this);
        m_service.chooseFootswitch(chkChangePresetShortPress->isChecked(), chkBypassLongPress->isChecked());
    };
    for (QRadioButton *b : {chkBypassShortPress, chkChangePresetShortPress, chkBypassLongPress, chkChangePresetLongPress})
        connect(b, &QRadioButton::toggled, this, footswitch);

    connect(&m_service, &PedalService::controlShown, this, &EffectWindow::showControl);
    connect(&m_service, &PedalService::choicesChanged, this, &EffectWindow::showChoices);
    // Every change of the unsaved flag comes with valuesChanged, which also tells when the names
    // of the unsaved parameters change.
    connect(&m_service, &PedalService::valuesChanged, this, &EffectWindow::showUnsaved);
}

void EffectWindow::showUnsaved()
{
    const QStringList names = m_service.unsavedParameters();
    lblUnsaved->setVisible(!names.isEmpty());
    lblUnsaved->setToolTip(QStringLiteral("Changed since the pedal stored them: %1. Switched off, the pedal goes back "
                                          "to the values it stored; Save Parameters stores these.")
                               .arg(names.join(QStringLiteral(", "))));
}

void EffectWindow::showControl(int i)
{
    const int state = m_service.state().shown[size_t(i)];
    QWidget *w = m_parameterControls[size_t(i)];
    const QSignalBlocker block(w);
    if (auto *dial = qobject_cast<RotaryDial *>(w)) {
        dial->setAngle(state);
        showDataWord(i);
    } else if (auto *sw = qobject_cast<OnOffSwitch *>(w))
        sw->setChecked(state == 1);
    else if (auto *box = qobject_cast<QCheckBox *>(w))
        box->setChecked(state == 1);
    else if (auto *list = qobject_cast<QComboBox *>(w))
        list->setCurrentIndex(state);
    if (i == Parameter::Attack) // the label always tells the switch's state
        lblAttack->setText(state == 1 ? QStringLiteral("Attack: Slow") : QStringLiteral("Attack: Fast"));
}

void EffectWindow::showDataWord(int i)
{
    // The word the parameter holds while the dial shows it (a word the pedal reported on its own
    // scale stays as it came); the word the dial's position sends while that is on its way.
    const quint32 held = m_service.state().parameters[size_t(i)].value;
    const int shown = m_service.state().shown[size_t(i)];
    const quint32 word = ParameterCatalogue::shownState(i, held) == shown ? held : ParameterCatalogue::wordFor(i, shown);
    m_parameterControls[size_t(i)]->setToolTip(m_dialHints[size_t(i)] + QStringLiteral("\r\n") +
                                               ValueText::dataWordLine(word));
}

void EffectWindow::showChoices()
{
    const PedalState &s = m_service.state();
    const auto put = [](QComboBox *list, int item) {
        const QSignalBlocker block(list);
        list->setCurrentIndex(item);
    };
    for (int c = 0; c < ParameterCatalogue::AssignableControls; ++c)
        put(m_assignLists[size_t(c)], s.assignItems[size_t(c)]);
    put(cmbGuitarTuning, s.tuningItem);
    put(cmbSemitonesVariation, s.semitoneItem);
    {
        const QSignalBlocker block(swtBypass);
        swtBypass->setChecked(s.bypass);
    }
    for (QRadioButton *b : {chkBypassShortPress, chkChangePresetShortPress, chkBypassLongPress, chkChangePresetLongPress})
        b->blockSignals(true);
    (s.shortPressChangesPreset ? chkChangePresetShortPress : chkBypassShortPress)->setChecked(true);
    (s.longPressBypasses ? chkBypassLongPress : chkChangePresetLongPress)->setChecked(true);
    for (QRadioButton *b : {chkBypassShortPress, chkChangePresetShortPress, chkBypassLongPress, chkChangePresetLongPress})
        b->blockSignals(false);
}

void EffectWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_service.setEffectWindowShown(true);
}

void EffectWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) // minimised is still open
        m_service.setEffectWindowShown(false);
}

bool EffectWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == chkDominantNoteCut && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        m_log.writeLogLine(QStringLiteral("Right mouse button clicked!"));
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

void EffectWindow::enableEffectControls(bool enabled)
{
    m_enabled = enabled;
    for (QWidget *w : findChildren<QWidget *>())
        w->setEnabled(enabled);
}

void EffectWindow::toggleAllParametersEnabled()
{
    m_allParametersEnabled = !m_allParametersEnabled;
    for (RotaryDial *d : {dialDry, dialSubMix, dialMinus1Oct, dialMinus2Oct, dialRange})
        d->setEnabled(m_allParametersEnabled);
    for (RotaryDial *d : {dialLowPass, dialHighPass, dial1stHarmonic})
        d->setEnabled(true);
}
