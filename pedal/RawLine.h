#pragma once
#include "support/Task.h"
// The line as it is, for the command-line tool's own work beside the pedal service: the FTDI
// devices on the bus, and one raw message written unchanged with the bytes that come back soon
// after. It goes through the service's link and its messages are counted and logged as any.

#include <QByteArray>
#include <QList>
#include <QString>

class Clock;
class Communication;
class D2XXUnit;

class RawLine {
public:
    RawLine(D2XXUnit &d2xx, Communication &comm, Clock &clock) : m_d2xx(d2xx), m_comm(comm), m_clock(clock) {}

    // The longest message the line writes at once, and the most of an answer read back.
    static constexpr int MaxMessageBytes = 65536;

    struct Device {
        QString serial;
        QString description;
    };
    // The devices on the bus, looked for again.
    QList<Device> devices();

    // Writes the message (hex text, two digits a byte, upper case as it goes out) with the
    // background poll stopped, lets it leave and a quick answer come back (100 ms), and gives
    // the bytes that came back.
    Task<QByteArray> send(QString hex);

private:
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    Clock &m_clock;
};
