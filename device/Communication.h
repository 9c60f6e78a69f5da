#pragma once
// Link, message exchange and the device information request: everything the editor
// does with the line that is not a single command's own business.

#include "windows/Gating.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class Clock;
class ClockTimer;
class D2XXUnit;
class DiagnosticLog;
class FtdiBackend;
class Prompts;

class Communication : public QObject {
    Q_OBJECT
public:
    enum LineMode { NormalLine = 0, BootloaderLine = 2 };
    enum class WaitResult { Answered, DeviceFailed, TimedOut };

    static constexpr int CompleteAnswerValues = 106;
    inline static const QString NoDeviceFound = QStringLiteral("No device found");

    Communication(DiagnosticLog *log, D2XXUnit *d2xx, Clock *clock, Prompts *prompts, QObject *parent = nullptr);

    // Scan And Link looks at this backend (real devices); the simulated pedal is linked on request.
    void setScanBackend(FtdiBackend *backend);
    void setSimulatedBackend(FtdiBackend *backend);
    FtdiBackend *simulatedBackend() const { return m_simBackend; }
    // Whether the line in use leads to the simulated pedal.
    bool linkedToSimulation() const;
    // Whether the open device is a real pedal (stand-in data is refused for it).
    bool linkedToRealPedal() const;

    // Time limits (milliseconds).
    int answerTimeoutMs = 2000;  // first byte of the device information answer
    int byteTimeoutMs = 1000;    // a bootloader answer byte
    int answerGapMs = 50;        // silence that ends an answer still short of its values
    int requestSettleMs = 200;   // pause between sending the request and reading

    // State shared with the windows.
    QString DeviceSerialNumber;
    bool Linked = false;
    bool LegacyUpgradeMode = false;
    bool firmware_upgrade_mode = false;
    QByteArray ReplyBytes;
    QString DeviceFirmwareText = QStringLiteral("0");
    QString DeviceAlgorithmText;
    QString DeviceEffectNumberText;
    bool RequestInProgress = false;
    int LatestFirmwareNumber = 15;
    int LatestAlgorithmNumber = 15;

    // Texts of the main window's device label, serial menu item and version labels.
    QString deviceLabel = NoDeviceFound;
    QString serialMenuText = QStringLiteral("Device Serial: ");
    QString firmwareLabel = QStringLiteral("Device Firmware:");
    QString algorithmLabel = QStringLiteral("Device Algorithm:");
    GateState gate = GateState::Startup;

    ClockTimer *Timer_USB_Read = nullptr; // the background poll, 50 ms

    void SetLineSettings(LineMode mode);
    // Converts text into the transmit buffer and writes n bytes. Refuses (and logs) a text
    // that does not convert to n bytes, so no stale buffer bytes are ever sent.
    bool SendHexMessage(const QString &text, int n);
    void WriteDSPMessage(const QString &prefix, quint16 address, quint32 value);
    // Waits for, gathers and decodes the device information answer into ReplyBytes.
    WaitResult ReadReplyBytes();
    // Reads a bootloader answer: its first byte as two hex digits, empty on no answer.
    QString ReadReplyText(int timeoutMs = -1);
    void PollDeviceData();
    // Waits, handling events and sleeping between polls, until bytes are queued, the queue
    // cannot be read, or the time limit passes.
    WaitResult waitForFirstByte(int timeoutMs);

    void RefreshDeviceList();
    void ScanAndLink();
    // Links to the built-in simulated pedal.
    void LinkSimulated();
    void Link();
    bool OpenLink();
    // Unlink; false when the device could not be closed (nothing changes then).
    bool menuDisconnectClick();
    void RequestDeviceInformation();
    // One exchange that waits for an answer at a time: a second one started from inside the
    // first one's wait (a click, a timer) would take the first one's answer.
    bool exchangeBusy() const { return m_busy; }
    bool tryBeginExchange(const QString &what);
    void endExchange() { m_busy = false; }

signals:
    void labelsChanged();
    void gateChanged(GateState state);
    void effectWindowCloseRequested();
    void effectSelected(int index);       // select the pedal's effect and load its image
    void openEffectWindowRequested();     // open it unless it is shown
    void readBacksRequested();            // put the answer on the controls
    void bootloaderReady();               // the firmware upgrade window takes over
    void settingsDumpReceived(const QByteArray &bytes);
    void deviceDisconnected();

private:
    void setGate(GateState state);
    void enterUnlinked();
    void watch(FtdiBackend *backend);
    void onDeviceLost(quint32 handle);
    void endFailedRequest(const QString &logLine, const QString &message);
    void setDeviceLabel(const QString &text);

    DiagnosticLog *m_log;
    D2XXUnit *m_d2xx;
    Clock *m_clock;
    Prompts *m_prompts;
    FtdiBackend *m_scanBackend = nullptr;
    FtdiBackend *m_simBackend = nullptr;
    QSet<FtdiBackend *> m_watched;
    bool m_busy = false;
    bool m_lostReported = false;
    bool m_bootloaderLinked = false;
};
