#pragma once
// The effect window: the twenty parameters of the selected effect, edited live.

#include "pedal/ParameterRecords.h"

#include <QList>
#include <QWidget>
#include <array>

struct EditorCore;
class ClockTimer;
class OnOffSwitch;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class RotaryDial;

class EffectWindow : public QWidget {
    Q_OBJECT
public:
    explicit EffectWindow(EditorCore &ctx, QWidget *parent = nullptr);

    // The parameter records, with their addresses from the selected image's header.
    EffectParameters P;

    // Shared state of the effect's settings.
    std::array<bool, 5> ControlAssigned{}; // Control I..IV, Remote Footswitch
    quint8 CurrentTuning = 0;
    qint8 SemitoneVariation = 0;
    static constexpr int NoTuningIndex = 0;
    quint16 FootswitchMode = 0;
    QList<quint32> ParameterValues;
    bool AllParametersEnabled = false;
    bool SendImmediately = false;

    // Controls.
    RotaryDial *dialDry, *dialSubMix, *dialMinus1Oct, *dialMinus2Oct, *dialLowPass, *dialHighPass, *dialRange,
        *dial1stHarmonic, *dialInputLevel, *dialClipWave, *dialNoiseGateThreshold, *dialDryHPF;
    OnOffSwitch *swtWave, *swtSplit, *swtBypass, *swtLimitRange, *swtNoiseGateStatus, *swtAttack;
    QLabel *lblAttack;
    QCheckBox *chkDominantNoteCut, *chkHighNoteCut;
    QComboBox *cmbVariableWavePitch, *cmbGuitarTuning, *cmbSemitonesVariation;
    QComboBox *cmbAssignCtrlUNO, *cmbAssignCtrlDUE, *cmbAssignCtrlTRE, *cmbAssignCtrlQUATTRO, *cmbAssignRemote;
    QRadioButton *chkBypassShortPress, *chkChangePresetShortPress, *chkBypassLongPress, *chkChangePresetLongPress;
    ClockTimer *Timer1; // the dial throttle

    // The dial of a catalogue position (nullptr for parameters on other controls).
    RotaryDial *dialFor(int catalogueIndex) const;

    void FormShow();
    void loadParameterAddresses();
    void enableEffectControls(bool enabled);
    bool effectControlsEnabled() const { return m_enabled; }

    quint32 sendStandardDialValue(RotaryDial *dial, standard_parameter &parameter);
    quint32 sendAssignableDialValue(RotaryDial *dial, assignable_parameter &parameter);
    void sendStandardValue(quint32 word, standard_parameter &parameter);
    void sendAssignableValue(quint32 word, assignable_parameter &parameter);
    void sendBypass(bool on);
    void Timer1Timer();

    void showParameterValues(bool sendImmediately);
    void getParameterValues(int buffer_index);
    void getBypassStatus(int buffer_index);
    void getAssignments(int buffer_index);
    void getFootswitchMode(int buffer_index);
    void getTuning(int buffer_index);

    QString buildAssignMessage();
    QString buildFootswitchMessage();
    void setDefaultAssignableParameterValues();
    void OnClickEnableAllParameters();

signals:
    void consoleRequested();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    quint32 sendDialValue(RotaryDial *dial, const QString &name, quint16 address);
    void trackingFunctionChange(QCheckBox *box, assignable_parameter &parameter);
    void controlThreeOrFourChange(QComboBox *list, int flag);
    bool requestInProgress() const;
    quint8 reply(int position, bool *ok) const;

    EditorCore &m_ctx;
    bool m_enabled = false;
    bool m_refusing = false;    // a tracking function is being unchecked after a refusal
    // The newest message of each dial changed since the last tick, in the order they changed:
    // the tick writes them all, so turning a second dial never swallows the first one's value.
    QList<QPair<quint16, QString>> m_pendingDials;
};
