#pragma once
#include "support/Task.h"
// The line as it is, for the command-line tool's own work beside the pedal service: the FTDI
// devices on the bus, and one raw message written unchanged with the bytes that come back soon
// after. It goes through the service's link and its messages are counted and logged as any.
//
// A raw message is told from its bytes, and gets what the command that sends such a message
// gets: one that changes the pedal in a large way is confirmed, and the ones whose command saves
// a backup first save one (an erase's keeps the memory it erases), whichever way it arrives.

#include <QByteArray>
#include <QList>
#include <QString>

class Clock;
class Communication;
class D2XXUnit;
class DiagnosticLog;
class PedalService;
class Prompts;

class RawLine {
public:
    RawLine(PedalService &service, DiagnosticLog &log, Prompts &prompts, D2XXUnit &d2xx, Communication &comm,
            Clock &clock)
        : m_service(service), m_log(log), m_prompts(prompts), m_d2xx(d2xx), m_comm(comm), m_clock(clock)
    {
    }

    // The longest message the line writes at once, and the most of an answer read back.
    static constexpr int MaxMessageBytes = 65536;

    struct Device {
        QString serial;
        QString description;
    };
    // The devices on the bus, looked for again.
    QList<Device> devices();

    // What a message is, by its first byte (an algorithm image begins with 00, its length after).
    enum class Kind {
        AlgorithmUpload,   // 00
        ParameterWrite,    // 01
        Request,           // 02, the device information request
        Store,             // 03, Save Parameters
        Assignment,        // 04
        EnterBootloader,   // 05
        MidiChannel,       // 07
        Footswitch,        // 08
        Tuning,            // 09, the tuning or the note filters
        Erase,             // 0B, the settings memory
        MemoryRead,        // 0C
        Bypass,            // 0D
        TuningUpload,      // 0E, the tuning table
        InstrumentRange,   // 0F
        BypassStorage,     // 10
        RangeLimit,        // 11
        Other,             // no message the editor sends
    };
    static Kind classify(const QByteArray &message);
    // What it needs before it reaches the pedal, as the command that sends it: a confirmation
    // (uploads, Save Parameters, an erase, the bootloader), and a backup first (an algorithm
    // upload, an erase, the bootloader).
    struct Needs {
        bool confirmation = false;
        bool backup = false;
    };
    static Needs needs(Kind kind);
    // The I2C address an erase message names (two hex digits), empty when it names none.
    static QString eraseAddress(const QByteArray &message);

    enum class Outcome { Done, Refused, Cancelled };
    struct Sent {
        Outcome outcome = Outcome::Refused;
        QByteArray answer; // what came back soon after
    };
    // Sends one raw message after what it needs: the question (what says where it came from),
    // then the backup. The pedal's settings must be known for a backup: the caller asks for them
    // first. Logged as "raw message: " and its hex text.
    Task<Sent> sendGuarded(QByteArray message, QString what);

    // Writes the message (hex text, two digits a byte, upper case as it goes out) with the
    // background poll stopped, lets it leave and a quick answer come back (100 ms), and gives
    // the bytes that came back.
    Task<QByteArray> send(QString hex);

private:
    PedalService &m_service;
    DiagnosticLog &m_log;
    Prompts &m_prompts;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    Clock &m_clock;
};
