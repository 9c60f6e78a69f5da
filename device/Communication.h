#pragma once
// The line to the pedal: finding and linking devices, writing messages, waiting for and
// gathering answers, the background poll, and noticing an unplugged pedal. What an answer
// means and whether a message may be sent is decided above this, by the pedal service.

#include "device/LinkState.h"
#include "device/ReplyDecoder.h"
#include "support/Task.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

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

    // Time limits (milliseconds), shortened by tests and by the tool's answer limit.
    int answerTimeoutMs() const { return m_answerTimeoutMs; } // first byte of the device information answer
    int byteTimeoutMs() const { return m_byteTimeoutMs; }     // a bootloader answer byte
    int answerGapMs() const { return m_answerGapMs; }         // silence that ends an answer still short of its values
    int dumpQuietMs() const { return m_dumpQuietMs; }         // silence that ends a settings-memory dump still short
    void setAnswerTimeoutMs(int ms) { m_answerTimeoutMs = ms; }
    void setByteTimeoutMs(int ms) { m_byteTimeoutMs = ms; }
    void setAnswerGapMs(int ms) { m_answerGapMs = ms; }
    void setDumpQuietMs(int ms) { m_dumpQuietMs = ms; }

    // The link, as its state machine tells it.
    const LinkState &linkState() const { return m_link; }
    bool linked() const { return m_link.linked(); }
    bool bootloaderLinked() const { return m_link.bootloaderLinked(); } // the line reached the bootloader
    // Upgrade Mode: the next link shakes hands with the bootloader; on while the line talks to it.
    bool firmwareUpgradeMode() const { return m_upgradeModeChosen; }
    void setFirmwareUpgradeMode(bool on) { m_upgradeModeChosen = on; }
    // Link without the device information request (the bootloader could not answer it).
    bool legacyUpgradeMode() const { return m_legacyUpgradeMode; }
    void setLegacyUpgradeMode(bool on) { m_legacyUpgradeMode = on; }
    // What happened to the link, told from above (see LinkState for what each may follow).
    bool upgradeStarted() { return m_link.upgradeStarted(); }
    bool upgradeEnded() { return m_link.upgradeEnded(); }
    bool bootloaderReached() { return m_link.bootloaderReached(); }
    bool answered(int firmware, int algorithm) { return m_link.answered(firmware, algorithm); }
    bool watchingForReturn() { return m_link.watchingForReturn(); }
    bool cameBack() { return m_link.cameBack(); }

    // The chosen device and the texts of the main window's device label and serial menu item.
    QString deviceSerialNumber() const { return m_deviceSerialNumber; }
    QString deviceLabel() const { return m_deviceLabel; }
    QString serialMenuText() const { return m_serialMenuText; }
    // Makes the device with this serial number, on the backend in use, the one the next link
    // opens; the label takes its description (labelsChanged is not emitted).
    void chooseSerialNumber(const QString &serial, const QString &label);

    // The background poll, every 50 ms.
    void startPoll();
    void stopPoll();
    bool pollRunning() const;

    void setLineSettings(LineMode mode);
    // Writes a message in one write. Refuses (and logs) a message longer than the transmit
    // buffer. written receives the count the transport reports.
    bool sendMessage(const QByteArray &message, quint32 *written = nullptr);
    // Sends the first n bytes of hex text typed by the user. Refuses (and logs) a text that
    // does not convert to n bytes, so nothing but what was typed is ever sent.
    bool sendHexMessage(const QString &text, int n, quint32 *written = nullptr);
    void writeDspMessage(quint16 address, quint32 value);
    // Writes raw bytes (an algorithm image) in one write; returns the count written.
    quint32 writeBytes(const QByteArray &bytes);
    // Waits in steps of the event loop (10 ms at most, or until bytes arrive) until bytes are queued, the queue
    // cannot be read, or the time limit passes.
    Task<WaitResult> waitForFirstByte(int timeoutMs);
    // Reads a bootloader answer: its first byte as two hex digits, empty on no answer
    // (result tells a silent line from a failed device).
    Task<QString> readReplyText(int timeoutMs = -1, WaitResult *result = nullptr);
    // Reads exactly count bytes (an answer with data), or what came before the time limit.
    Task<WaitResult> readExactly(int count, int timeoutMs, QByteArray *bytes);
    // The background poll: logs every read, drops what is not a settings-memory dump, and
    // gathers a dump (0xAB, then 16,384 bytes) across as many reads as it takes.
    void pollDeviceData();
    static constexpr int DumpMarker = 0xAB;
    static constexpr int MemoryBytes = 16384;
    bool dumpArriving() const { return m_dumpArriving; }
    // Before a purge of the receive queue: a dump that has begun to arrive, or that waits in
    // the queue, is gathered to its end (or until the line falls quiet) instead of thrown away.
    Task<> finishArrivingDump();

    // The device information exchange: 02 00 out, the answer gathered and decoded, its values
    // logged. The background poll is stopped first; whoever asked decides when it runs again.
    struct Answer {
        WaitResult wait = WaitResult::TimedOut;
        QByteArray bytes;      // every byte of this answer
        DecodedReply decoded;  // its values
    };
    Task<Answer> exchangeDeviceInformation();

    // Devices and the link.
    void refreshDeviceList();
    // Counts the devices Scan And Link will try; the label reads "Device Name" meanwhile.
    int scanDevices();
    // Makes scanned device i the one the next link opens.
    void chooseScannedDevice(int i);
    // Whether backend lists a device with this serial number now (nothing is opened); its
    // description goes to description.
    static bool listed(FtdiBackend *backend, const QString &serial, QString *description = nullptr);
    // Makes a listed device of backend the one the next link opens.
    void chooseDevice(FtdiBackend *backend, const QString &serial, const QString &description);
    // Chooses the built-in simulated pedal; false (and "No device found") when there is none.
    bool chooseSimulatedPedal();
    // Opens the chosen device and sets the line up; in firmware upgrade mode, shakes hands
    // with the bootloader. The poll runs unless the line talks to the bootloader.
    Task<bool> link();
    // Why the last link could not open its device, in words for the user: a port refused for
    // lack of permission names the fix; anything else asks to check the cable.
    QString openFailureText() const;
    // Unlink; false when the device could not be closed (nothing changes then).
    bool unlink();

    // One exchange that waits for an answer at a time: a second one started from inside the
    // first one's wait (a click, a timer) would take the first one's answer.
    bool exchangeBusy() const { return m_busy; }
    bool tryBeginExchange(const QString &what);
    void endExchange() { m_busy = false; }

signals:
    void labelsChanged();
    void unlinked();                      // by Unlink or a lost device
    void bootloaderReady();               // the firmware upgrade window takes over
    void bootloaderHandshakeFailed();     // the link found no bootloader: back to normal
    void settingsDumpReceived(const QByteArray &memory);  // the 16,384 bytes, marker removed
    void settingsDumpIncomplete(int bytes);               // a dump ended short: its data bytes
    void deviceDisconnected();
    void messageWritten(const QString &hexText); // a message went out whole
    void writeFailed(const QString &hexText);    // a message did not, or only in part

public:
    // Requests that gave up before their answer came. The pedal answers in order, so the next
    // answers to arrive are theirs, however late: they are dropped, never taken for a later
    // request's. An answer is expected up to lateAnswerWindowMs after its request gave up (the
    // next request waits for it that long at most); a pedal silent for longer never answered.
    int owedAnswers() const { return int(m_owedUntil.size()); }
    int lateAnswerWindowMs() const { return m_lateAnswerWindowMs; }
    void setLateAnswerWindowMs(int ms) { m_lateAnswerWindowMs = ms; }

private:
    Task<bool> openLink();
    void enterUnlinked(bool lost);
    void watch(FtdiBackend *backend);
    void onDeviceLost(quint32 handle);
    void setDeviceLabel(const QString &text);
    // Gathers one answer into bytes (what is already there counts as its start): waits for its
    // first byte until firstByteDeadline, then reads until all its values are in, the pedal falls
    // silent, or the time limit.
    Task<WaitResult> gatherAnswer(qint64 firstByteDeadline, bool purgeTransmit, QByteArray *bytes);
    // Where the first of the answers in bytes ends: after its last value.
    static qsizetype endOfFirstAnswer(const QByteArray &bytes);
    // Before a request: reads what the line holds and drops it, logged; a late answer owed is
    // waited for while it may still come, and gathered whole, so that neither it nor its tail is
    // taken for the request's answer.
    Task<> dropLeftovers();
    void expireOwedAnswers();
    void settleOwedAnswer(qsizetype bytes, const QString &when);
    void forgetOwedAnswers();
    void takeLateBytes(const unsigned char *data, int n);
    void takePolledBytes(const unsigned char *data, int n);
    void endDump(bool complete);

    DiagnosticLog *m_log;
    D2XXUnit *m_d2xx;
    Clock *m_clock;
    Prompts *m_prompts;
    FtdiBackend *m_scanBackend = nullptr;
    FtdiBackend *m_simBackend = nullptr;
    QSet<FtdiBackend *> m_watched;
    LinkState m_link;
    bool m_upgradeModeChosen = false;
    bool m_legacyUpgradeMode = false;
    QString m_deviceSerialNumber;
    QString m_deviceLabel = NoDeviceFound;
    QString m_serialMenuText = QStringLiteral("Device Serial: ");
    ClockTimer *m_pollTimer = nullptr;
    int m_answerTimeoutMs = 2000;
    int m_byteTimeoutMs = 1000;
    int m_answerGapMs = 50;
    int m_dumpQuietMs = 500;
    QList<qint64> m_owedUntil; // until when the answer of each request that gave up on it may come
    QByteArray m_lateBytes;     // what the poll has read of the answer owed first
    qint64 m_lateBytesAt = 0;
    int m_lateAnswerWindowMs = 2000;
    bool m_busy = false;
    bool m_lostReported = false;
    bool m_dumpArriving = false;
    QByteArray m_dump;          // the dump's data bytes so far
    qint64 m_dumpLastByteAt = 0;
};
