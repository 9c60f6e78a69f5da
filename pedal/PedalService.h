#pragma once
// The one way to the pedal. Every command of the editor and of the command-line tool comes
// through here: the service builds the message, writes the log lines, asks the questions,
// keeps the pedal's state (PedalState) and refuses, in one place and with one clear reason,
// whatever the link and the pedal's state do not allow. The windows show the state and call
// the service; they never build a message or touch the line.

#include "pedal/Uploads.h"
#include "device/LinkState.h"
#include "pedal/Refusal.h"
#include "pedal/BackupSnapshot.h"
#include "pedal/PedalBackup.h"
#include "presets/PresetFile.h"
#include "pedal/CommandGuard.h"
#include "pedal/GateState.h"
#include "pedal/PedalHolds.h"
#include "pedal/PedalState.h"

#include <QObject>
#include <QPair>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class BackupRestore;
class Clock;
class FirmwareUpgrade;
class EditRecorder;
class RawLine;
class SettingsMemory;
class ClockTimer;
class Communication;
class D2XXUnit;
class DiagnosticLog;
class Prompts;
class UserFiles;

class PedalService : public QObject {
    Q_OBJECT
public:
    enum class Result { Done, Refused, Cancelled, Failed };
    using UploadResult = Uploads::Result;

    // What a command needs of the link and the pedal's state (see allowed()).
    // What a command needs, and where the window offers it: pedal/CommandGuard.
    using Command = PedalCommand;

    PedalService(DiagnosticLog &log, UserFiles &files, Prompts &prompts, Clock &clock, D2XXUnit &d2xx,
                 Communication &comm, QObject *parent = nullptr);
    ~PedalService() override;

    // State.
    const PedalState &state() const { return m_state; }
    GateState gate() const { return m_gate; }
    bool requestInProgress() const { return m_requestInProgress; }
    bool linked() const;
    // What the pedal holds as far as the editor knows: the words its effect runs, when it was
    // read, and the assignable values it keeps through power-off.
    const PedalHolds &holds() const { return m_holds; }
    // The assignable parameters whose values the pedal does not keep (lost at power-off unless
    // Save Parameters stores them), by name; none while no pedal is linked or nothing is known.
    QStringList unsavedParameters() const;
    // Before the editor lets the pedal go (occasion: "closing the editor", "unlinking"): with
    // unsaved assignable parameters, asks once whether to save them first. Done when the caller
    // may go on: nothing unsaved, Discard, or Save Parameters done (without asking again);
    // Cancelled for Cancel; otherwise the save's own result, its reason already shown.
    Task<Result> settleUnsavedParameters(QString occasion);
    // The values of the last device information answer, as decoded (possibly incomplete).
    const QByteArray &lastAnswerValues() const { return m_lastAnswerValues; }
    QString deviceFirmwareText() const { return m_deviceFirmwareText; }
    QString deviceAlgorithmText() const { return m_deviceAlgorithmText; }
    QString deviceEffectNumberText() const { return m_deviceEffectNumberText; }
    int latestFirmwareNumber = 15;
    int latestAlgorithmNumber = 15;

    // Texts of the main window's labels.
    QString deviceLabel() const;
    QString serialMenuText() const;
    // The firmware and algorithm of the pedal that is linked, or awaited after an unplug; bare
    // captions when none is.
    QString firmwareLabel() const;
    QString algorithmLabel() const;
    // The link as the device label tells it (the main window words it): its state, the pedal's
    // name as its USB bridge reports it (without the link's mark) and the chosen serial number.
    LinkState::State linkState() const;
    QString pedalName() const;
    QString serialNumber() const;
    QString uploadStatus() const { return m_uploads->status; }

    // The effect list and the selected effect's algorithm image.
    const QStringList &effectNames() const { return m_effectNames; }
    int selectedEffect() const { return m_selectedEffect; }
    QString selectedEffectName() const { return m_selectedEffectName; }
    // The lines of the data block loaded last (an algorithm image: line 0 is its hex text).
    const QStringList &resourceLines() const { return m_resourceLines; }
    // Selects an effect of the list and loads its image (nothing when index is not an item).
    bool selectEffect(int index);
    // A click on an effect: select it and open the effect window if the pedal's algorithm allows.
    void chooseEffect(int index);
    // The effect window tells whether it is on screen (opening it loads the image's addresses).
    void setEffectWindowShown(bool shown) { m_effectWindowShown = shown; }

    // The link.
    void refreshDeviceList();
    Task<> scanAndLink();
    Task<> linkSimulated();
    // Links the chosen device; unless told not to (or in legacy upgrade mode) asks it for its
    // settings.
    Task<> link(bool askForSettings = true);
    bool unlink();
    // When the pedal is unplugged, look for it (the device list every second) and link it again
    // when it is back, keeping the editor's values; set by the editor's windows.
    bool relinkWhenBack = false;
    bool watchingForReturn() const;
    FirmwareUpgrade &firmware() { return *m_firmware; }
    ::SettingsMemory &memory() { return *m_memory; }
    // Snapshots of the pedal's settings and Restore Backup.
    BackupRestore &backups() { return *m_backups; }
    // The FTDI devices and one raw message as it is, for the command-line tool.
    RawLine &rawLine() { return *m_rawLine; }
    Task<Result> requestDeviceInformation();
    // The device information request for the compare view: the pedal's report is kept as its
    // last answer, and nothing of it is put on the controls.
    Task<Result> readPedalReport();
    // A compare row's "Use": the control shows what word stands for and sends it, as a user's
    // change of that control would (a step of the history).
    Result useValue(int parameter, quint32 word);

    // The effect window's controls. A control changed to state (a dial's angle, 0/1, an item):
    // the service keeps what it shows and sends what the control sends.
    Result setControl(int parameter, int state);
    // As setControl, but sent even when the control already shows that state, and at once.
    Result sendControl(int parameter, int state);
    // Writes the dial messages the throttle holds now, without waiting for its tick.
    void flushDialWrites();
    Result setBypass(bool on);
    void chooseTuning(int item);
    void chooseSemitoneVariation(int item);
    Result chooseAssignment(int control, int item);
    void chooseFootswitch(bool shortPressChangesPreset, bool longPressBypasses);
    // Puts the records' values on the controls; a control whose shown state changes sends.
    void showParameterValues(bool sendImmediately);
    void setParameterValue(int parameter, quint32 value) { m_state.parameters[size_t(parameter)].value = value; }

    // The undo history of live edits (controls, a loaded preset), kept by the recorder the
    // service is given (none: nothing is recorded). undo() and redo() check the link first, as
    // any edit does; the steps send through setControl.
    void setEditRecorder(std::unique_ptr<EditRecorder> recorder);
    EditRecorder *editRecorder() const { return m_recorder.get(); }
    bool undo();
    bool redo();
    // Called by the history's steps: a control moved back or forth, or all twenty values put back.
    void applyFromHistory(int parameter, int state);
    void applyValuesFromHistory(const PresetFile::PresetValues &values);

    // Commands.
    Task<Result> assign();
    Result setFootswitchMode();
    Task<Result> setTuning();
    Task<Result> saveNoteFilters(QList<int> noteCodes);
    std::optional<QList<int>> sentNoteFilters() const { return m_sentNoteFilters; }
    // confirmed: the user chose to save already (see settleUnsavedParameters); not asked again.
    // Failed when the store message did not reach the pedal whole.
    Task<Result> saveParameters(bool confirmed = false);
    void showSaveParametersInfo();
    // The assignable parameters back to their defaults on the running effect; tellUser adds
    // the reminder that they are not stored until Save Parameters.
    Task<Result> resetAssignableParameters(bool tellUser);
    Task<Result> chooseInstrumentRange(quint8 range);
    Result chooseBypassStatus(bool store);
    Result chooseRangeLimit(bool on);
    Result chooseMidiChannel(int item);
    // Presets: an empty path asks the user for one.
    Task<Result> savePreset(QString path = QString());
    Task<Result> loadPreset(QString path = QString());
    QString presetFolder();
    Task<UploadResult> uploadSelectedAlgorithm();
    Task<UploadResult> uploadAlgorithmFile(QString path = QString());
    Task<UploadResult> uploadTuningData();
    Uploads &uploads() { return *m_uploads; }

    // Backups of what the pedal holds, in the "Backups" folder beside the presets.
    QString backupFolder();
    struct Backup {
        bool made = false;
        PedalBackup::Files files;
        QString problem; // why none was made
    };
    // Saves the pedal's last complete answer, with the parameter values and settings the editor
    // has sent since, into folder (the Backups folder when empty): a preset file, a report and a
    // snapshot (BackupSnapshot). Logs nothing: see logBackup(). With snapshotLater the snapshot
    // is left for addSnapshot(), once more is known (the settings memory before an erase).
    Backup backUp(const QString &occasion, const QString &folder = QString(), bool snapshotLater = false);
    // Writes the snapshot of a backup made with snapshotLater, beside its preset; false (and the
    // backup no longer counted as made) when it could not be written.
    bool addSnapshot(Backup *backup, const QString &occasion, const std::optional<BackupSnapshot::Memory> &memory);
    // Writes where a backup went, or why none was made, to the log (backupLogLines), and tells
    // backupLogged.
    void logBackup(const Backup &backup);
    static QStringList backupLogLines(const Backup &backup);
    // Before a command that changes the pedal in a large way: a backup, logged; when none can be
    // made, asks whether to go on. False when the user chose not to.
    Task<bool> backUpBefore(QString occasion);
    // The same for a backup made already: logged; when it was not made, asks whether to go on.
    Task<bool> goOnAfter(Backup backup, QString occasion);

    // Whether a command may reach the pedal now; when not, the reason is logged and shown.
    // beforeRequest: the command runs a device information request first, which decides the
    // version checks and whether the values are known, so only the link is checked.
    bool allowed(Command command, const QString &what, bool beforeRequest = false);
    // The firmware upgrade tells where the link is: its bootloader listens, or (after Go) the
    // pedal runs its firmware again.
    void bootloaderLinked() { setGate(GateState::BootloaderLinked); }
    void bootloaderLeft() { setGate(GateState::Linked); }
    // The reason a command would be refused now; none (false) when it is allowed.
    enum class Busy { Refuses, Waits };
    Refusal refusal(Command command, bool beforeRequest = false, Busy busy = Busy::Refuses) const;
    // A refusal's reason in words, as the log line and the message give it.
    QString refusalText(const Refusal &refusal) const;
    // Logs and tells one refusal: "<what> refused: <reason>", "<What> was refused: <reason>.";
    // a busy line: "<what> ignored: an exchange with the pedal is under way", told without waiting.
    void refuse(const QString &what, const Refusal &refusal);

signals:
    void labelsChanged();
    void gateChanged(GateState state);
    void effectSelected(int index);
    void effectWindowRequested();          // show the effect window for the selected effect
    void effectWindowCloseRequested();
    void controlShown(int parameter);      // a parameter's control shows a new state
    void choicesChanged();                 // lists, radio buttons, bypass, menu marks
    void readBacksApplied();               // a request put the pedal's values on the controls
    void uploadStatusChanged(const QString &status);
    void bootloaderReady();
    void backupLogged(const PedalService::Backup &backup);
    void settingsDumpReceived(const QByteArray &bytes);
    // The editor's values or what the pedal holds may have changed (an edit, undo, redo, a
    // preset, the defaults, a read, a save, the link).
    void valuesChanged();
    // Assignable values the pedal does not keep came to be (true), or are no more (false).
    void unsavedChanged(bool unsaved);

private:

    friend class BackupRestore;
    // The store message of Save Parameters with the ten assignable values the records hold.
    Task<> sendStoreSettings();
    void setGate(GateState state);
    void forgetValues(const QString &reason);
    void endFailedRequest(const QString &logLine, const QString &message, const QString &reason);
    bool loadSelectedEffectImage();
    void openEffectWindow();
    void applyReadBacks(const DeviceInformation &info);
    void readBackAssignments(const DeviceInformation &info);
    Result controlChanged(int parameter, int previous);
    // Whether parameter's words go to the pedal as they are: a dial whose words are its levels
    // shifted by 13 (not one on the pedal's own scale).
    static bool sendsWordAsItIs(int parameter);
    // Shows word on parameter's dial and sends it at once, exactly; the record keeps it.
    void sendDialWord(int parameter, quint32 word);
    // Logs a message's text as its own line, then sends it whole.
    void logAndSend(const QByteArray &message);
    void queueDialWrite(quint16 address, const QByteArray &message);
    void onDialTick();
    // The commands that save the pedal's values: asks the pedal for them first, logs the
    // command's banner, and tells whether they are known now.
    Task<bool> readValuesToSave(Command command, QString what, QString banner);
    QByteArray buildAssignMessage();

    DiagnosticLog &m_log;
    UserFiles &m_files;
    Prompts &m_prompts;
    Clock &m_clock;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    Uploads *m_uploads;
    FirmwareUpgrade *m_firmware;
    ::SettingsMemory *m_memory;
    std::unique_ptr<BackupRestore> m_backups;
    std::unique_ptr<RawLine> m_rawLine;

    PedalState m_state;
    GateState m_gate = GateState::Startup;
    bool m_requestInProgress = false;
    bool m_sendImmediately = false;
    bool m_applyingHistory = false; // an undo or redo is moving the controls
    bool m_showingValues = false;   // values are being put on the controls (read-back, preset)
    std::unique_ptr<EditRecorder> m_recorder;
    void recordControlEdit(int parameter, int from);
    // A command's setting as one step: undo sends before, redo after, each by send(value) as a
    // replay (no question is asked again). Nothing is recorded while a step is replayed.
    template <typename T, typename Send>
    void recordSetting(const QString &text, const T &before, const T &after, Send send)
    {
        if (m_applyingHistory)
            return;
        pushSetting(text, [this, send, before] { replay([&] { send(before); }); },
                    [this, send, after] { replay([&] { send(after); }); });
    }
    void pushSetting(const QString &text, std::function<void()> sendBefore, std::function<void()> sendAfter);
    // The twenty parameter values the records hold, and putting values into them (nothing sent).
    PresetFile::PresetValues parameterValues() const;
    void putParameterValues(const PresetFile::PresetValues &values);
    void replay(const std::function<void()> &send);
    // The same for steps that wait: nothing is asked or recorded until the last of them ends.
    Task<> replaySteps(std::function<Task<>()> send);
    // After the records or what the pedal holds changed: tells the views, and whether any
    // assignable value is unsaved now.
    void noteValues();
    PedalHolds m_holds;
    bool m_unsaved = false;
    bool stepHistory(bool back);
    // The settings as last sent or read back: what an undo of the next command goes back to.
    std::array<int, ParameterCatalogue::AssignableControls> m_sentAssignItems{};
    std::pair<bool, bool> m_sentFootswitch{false, false};
    std::pair<int, int> m_sentTuning{0, 5};
    std::optional<QList<int>> m_sentNoteFilters;
    int m_sentMidiChannel = -1;
    std::optional<quint8> m_sentInstrumentRange; // Standard or Low, as last sent or read back
    void onDeviceLost();
    void lookForLostPedal();
    Task<> offerKeptValues();
    ClockTimer *m_returnWatch;
    class FtdiBackend *m_lostBackend = nullptr;
    QString m_lostSerial;
    std::optional<PresetFile::PresetValues> m_keptValues; // the editor's values when the pedal went away
    std::array<int, 20> m_keptShown{};                   // and what its controls showed
    GateState m_gateBeforeUnlink = GateState::Startup;
    QByteArray m_lastAnswerValues;
    bool m_bootloaderAnswered = false; // the last request was answered by the pedal's bootloader
    QString m_deviceFirmwareText = QStringLiteral("0");
    QString m_deviceAlgorithmText;
    QString m_deviceEffectNumberText;
    QString m_firmwareLabel = QStringLiteral("Device Firmware:");
    QString m_algorithmLabel = QStringLiteral("Device Algorithm:");

    QStringList m_effectNames;
    int m_selectedEffect = -1;
    QString m_selectedEffectName;
    QStringList m_resourceLines;
    bool m_effectWindowShown = false;

    // The dial throttle: the newest message of each dial changed since the last tick, in the
    // order they changed, so turning a second dial never swallows the first one's value.
    ClockTimer *m_dialTimer;
    QList<QPair<quint16, QByteArray>> m_pendingDials;
};
