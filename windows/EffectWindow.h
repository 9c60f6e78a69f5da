#pragma once
// The effect window: the twenty parameters of the selected effect and the effect's other
// settings. A view of the pedal service: it shows the service's state and hands every change
// the user makes to the service, which decides what reaches the pedal.

#include "pedal/ParameterCatalogue.h"

#include <QWidget>
#include <array>

class DiagnosticLog;
class OnOffSwitch;
class PedalService;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class RotaryDial;

class EffectWindow : public QWidget {
    Q_OBJECT
public:
    EffectWindow(PedalService &service, DiagnosticLog &log, QWidget *parent = nullptr);

    // Controls (named as their objectNames).
    RotaryDial *dialDry, *dialSubMix, *dialMinus1Oct, *dialMinus2Oct, *dialLowPass, *dialHighPass, *dialRange,
        *dial1stHarmonic, *dialInputLevel, *dialClipWave, *dialNoiseGateThreshold, *dialDryHPF;
    OnOffSwitch *swtWave, *swtSplit, *swtBypass, *swtLimitRange, *swtNoiseGateStatus, *swtAttack;
    QLabel *lblAttack;
    QLabel *lblUnsaved; // shown while assignable values differ from those the pedal keeps
    QCheckBox *chkDominantNoteCut, *chkHighNoteCut;
    QComboBox *cmbVariableWavePitch, *cmbGuitarTuning, *cmbSemitonesVariation;
    QComboBox *cmbAssignCtrlUNO, *cmbAssignCtrlDUE, *cmbAssignCtrlTRE, *cmbAssignCtrlQUATTRO, *cmbAssignRemote;
    QRadioButton *chkBypassShortPress, *chkChangePresetShortPress, *chkBypassLongPress, *chkChangePresetLongPress;

    void enableEffectControls(bool enabled);
    bool effectControlsEnabled() const { return m_enabled; }
    // The hidden "Enable All Parameters" item: unlocks the dials the pedal has knobs for.
    bool allParametersEnabled() const { return m_allParametersEnabled; }
    void toggleAllParametersEnabled();

signals:
    void consoleRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectControls();
    // Puts what the service holds on the controls, without handing it back as a change.
    void showControl(int parameter);
    void showChoices();
    // A dial's hint ends with the exact data word it stands for.
    void showDataWord(int parameter);
    void showUnsaved();

    PedalService &m_service;
    DiagnosticLog &m_log;
    std::array<QWidget *, ParameterCatalogue::Count> m_parameterControls{};
    std::array<QComboBox *, ParameterCatalogue::AssignableControls> m_assignLists{};
    std::array<QString, ParameterCatalogue::Count> m_dialHints{}; // a dial's hint before its data word
    bool m_enabled = false;
    bool m_allParametersEnabled = false;
};
