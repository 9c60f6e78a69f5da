#pragma once
// A stand-in for the pedal's firmware and bootloader. It keeps the pedal's state, applies
// every message the editor sends, answers as the pedal does, records every message with
// its time, and can misbehave on purpose (silence, short or garbled answers, NACK, unplug).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <array>
#include <algorithm>
#include <functional>

class Clock;

struct SimulatedPedalState {
    quint8 firmware = 15;
    quint16 algorithm = 15;      // decimal; answered as two BCD bytes (0x00, 0x15)
    quint8 effect = 0;
    quint8 footswitchMode = 0;
    quint8 tuning = 0;
    quint8 semitones = 0;        // two's complement
    std::array<quint8, 5> assignFlags{};
    std::array<quint16, 5> assignAddresses{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    quint8 bypass = 0;
    quint8 bypassStore = 0;      // reported 1 (store) or 0 (do not store)
    quint8 instrumentRange = 0xFF;
    quint8 midiChannel = 0;
    quint8 rangeLimit = 0xFF;
    quint8 noteFilter1 = 0xFF, noteFilter2 = 0xFF;
    std::array<quint32, 20> parameters{};
    std::array<quint32, 10> storedAssignable{};
    // The settings memory (I2C address 0x50): what the pedal keeps of its algorithm and
    // settings. There is no second memory: messages for any other address are ignored.
    QByteArray settingsMemory = QByteArray(16384, char(0xFF));
    QByteArray tuningTable;      // the 640 bytes of the last tuning data message
    QByteArray algorithmImage;   // the last algorithm image received
    QByteArray flash = QByteArray(128 * 1024, char(0xFF));
    // Parameter address words of the running algorithm (image 0015's header).
    std::array<quint16, 22> addresses{0x0027, 0x0007, 0x007D, 0x0080, 0x0002, 0x00AF, 0x00BD, 0x007E,
                                      0x00C5, 0x002D, 0x0041, 0x0037, 0x000B, 0x0052, 0x00C3, 0x001D,
                                      0x000E, 0x0006, 0xFF00, 0x00BC, 0x0003, 0x00AE};
    SimulatedPedalState();
};

struct PedalFaults {
    bool silent = false;           // never answers
    int shortAnswerValues = -1;    // answer only this many values of the device information
    bool garbled = false;          // answers with corrupted bytes
    bool nack = false;             // the bootloader answers NACK to everything
    qint64 unplugAfterBytes = -1;  // disappears after receiving this many bytes
    int answerDelayMs = 0;         // extra time before any answer starts
    int dumpBytes = -1;            // the settings-memory dump stops after this many data bytes
    // Bytes after a whole settings-memory dump (00 01 02 ..., never its marker): in the same burst
    // (dumpTrailingAfterMs < 0), or that long after the dump's last byte.
    int dumpTrailingBytes = 0;
    int dumpTrailingAfterMs = -1;
};

// A fault of the bootloader at one step of an upgrade; it happens once, so a second attempt
// can succeed. Flip changes one byte: of a block or the record as it is written into the
// flash, of a Read Memory answer (the flash itself stays right), or of the acknowledge of 0x7F
// (the bootloader is synchronised, its answer arrives garbled).
struct BootFault {
    enum class Kind { None, Nack, Silent, Unplug, Flip };
    enum class Step { Sync, Erase, Block, Record, ReadBack, Go };
    static constexpr int RecordBlock = 0x1FC00 / 256; // the firmware number record's 256-byte slot
    Kind kind = Kind::None;
    Step step = Step::Sync;
    // For Step::Block: the Write Memory at 0x08000000 + 256 * block. For Step::ReadBack: the
    // Read Memory there (RecordBlock: the record), or any address when negative. For Step::Sync:
    // how many 0x7F in a row it meets (sync:2, the first two lost).
    int block = 0;
    // Parses "nack@block:105", "silent@erase", "unplug@go", "nack@read:50", "flip@read:record",
    // "flip@block:3", "silent@sync:2", ... (steps: sync, sync:N, erase, block:K, record, read,
    // read:K, read:record, go; flip only at sync, block:K, record and read); false for anything
    // else.
    static bool parse(const QString &text, BootFault *fault);
};

class SimulatedPedal {
public:
    explicit SimulatedPedal(Clock *clock);

    SimulatedPedalState state;
    PedalFaults faults;
    BootFault bootFault;
    // Pace the line both ways as 115200 baud would: the pedal takes a message in only when its
    // last byte could have arrived, and its answers leave at the same rate.
    bool wireTiming = false;
    // The flash takes its time, as a small Cortex-M3 part's does: about 52 us a half-word
    // written, 20 ms a page erased, 40 ms for the global erase.
    bool flashTiming = true;
    int halfWordProgramUs = 52;
    int pageEraseMs = 20;
    int globalEraseMs = 40;
    bool evenParity = false;  // line setting: 11 bits a byte instead of 10
    // The time one byte takes on the wire for the line settings in use (10 or 11 bits).
    double byteUs() const;
    // The bytes are handed over as the wire delivers them (the pseudo-terminal server paces
    // its reads): they have arrived when receive() gets them.
    bool inputPacedByLine = false;
    bool inBootloader = false;
    QByteArray serialNumber = QByteArrayLiteral("QMK3SIM01");
    QByteArray description = QByteArrayLiteral("Quarnelo MK3");

    struct Message {
        qint64 atMs;
        QByteArray bytes;
    };
    QList<Message> record;                        // every message received, in order
    std::function<void(const Message &)> onMessage; // called for each one as it completes
    qint64 bytesReceived = 0;

    // Bytes the pedal sends without being asked (after delayMs).
    void inject(const QByteArray &bytes, int delayMs = 0) { answer(bytes, delayMs); }
    // Bytes from the editor.
    void receive(const unsigned char *data, int count);
    // Bytes for the editor whose time has come.
    // aheadUs: also the bytes due within that many microseconds (a timer's rounding).
    int available(qint64 aheadUs = 0) const;
    int take(unsigned char *dest, int max, qint64 aheadUs = 0);
    // Drops the bytes that have arrived (a receive purge on the editor's side).
    void purgeArrived();
    // Bytes still travelling or waiting to be taken.
    int pending() const { return int(m_out.size()); }
    // Microseconds until the next byte for the editor is due (0: now; -1: none is waiting).
    qint64 nextDueInUs() const { return m_outAtUs.isEmpty() ? -1 : std::max<qint64>(0, m_outAtUs.first() - nowUs()); }
    bool unplugged() const { return m_unplugged; }
    void unplug() { m_unplugged = true; }
    // Connected again after an unplug; holding SHIFT starts the bootloader.
    void plugIn(bool holdingShift);
    // In its bootloader from the start: fresh from a reset it answers nothing before its first
    // 0x7F; synchronised, it was left so by a connection that was not closed properly (an
    // upgrade that stopped) and takes 0x7F as a command's first byte.
    void startInBootloader(bool synchronised);
    // The firmware number record at 0x0801FC00 says the firmware the pedal runs, as a real
    // pedal's flash does (the flash is otherwise left erased).
    void holdFirmwareRecord();
    // Started a program that cannot run (a blank or broken vector table): it answers nothing.
    bool dead = false;

    // The 106 values of the device information answer for the current state.
    QByteArray deviceInformationValues() const;
    static QByteArray encodeValues(const QByteArray &values);
    // All messages received so far whose first byte is cmd.
    QList<QByteArray> messagesWith(quint8 cmd) const;

private:
    void handleRunning();
    void handleBootloader();
    void complete(int length);
    void answer(const QByteArray &bytes, int delayMs = 1);
    void bootAnswer(const QByteArray &bytes, int workUs = 0);
    // Whether the one-shot boot fault is at this step now; unplugs for an unplug fault.
    BootFault::Kind faultAt(BootFault::Step step, int block = -1);
    void applyParameterWrite(quint16 address, quint32 word);
    qint64 nowUs() const;

    Clock *m_clock;
    QByteArray m_in;
    qint64 m_lastInMs = 0;
    qint64 m_inArrivedUs = 0; // when the last byte taken in reached the pedal
    qint64 m_workUs = 0;      // time the pedal works before the next answer
    bool m_unplugNow = false; // an unplug fault fired
    bool m_synced = false;    // the bootloader has seen its 0x7F
    bool m_flashWritten = false; // the flash was erased or written since start
    void startFirmware();
    QByteArray m_out;
    QVector<qint64> m_outAtUs;
    bool m_unplugged = false;
    // Bootloader conversation.
    enum class Boot { Command, WriteAddress, WriteCount, WriteData, EraseArg, EraseList, GoAddress, ReadAddress, ReadCount };
    Boot m_boot = Boot::Command;
    quint32 m_bootAddress = 0;
    int m_writeCount = 0;
    int m_eraseCount = 0;
};
