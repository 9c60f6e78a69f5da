#pragma once
// Real pedals: FTDI bridges seen as serial ports (USB vendor id 0x0403), opened by their
// serial number. Extra ports given by path (a pseudo-terminal, a port without USB data)
// are listed too while their path is there, with the path as their serial number.

#include "device/FtdiBackend.h"

#include <QHash>
#include <QSet>
#include <QPointer>
#include <QSerialPort>
#include <QStringList>
#include <optional>

class SerialPortBackend : public FtdiBackend {
    Q_OBJECT
public:
    static constexpr quint16 FtdiVendorId = 0x0403;

    // How often the system's serial ports are looked through: every time the devices are listed
    // (the editor: a pedal may be plugged in at any time), once for the backend's life (the
    // command-line tool), or never (only the extra ports, a port named on the command line).
    enum class PortScan { EveryTime, Once, Never };

    explicit SerialPortBackend(const QStringList &extraPorts = {}, PortScan scan = PortScan::EveryTime,
                               QObject *parent = nullptr);
    int portScans() const { return m_portScans; } // how often the system's ports were looked through
    ~SerialPortBackend() override;

    bool isSimulated() const override { return false; }
    // A pseudo-terminal is where the standalone simulated pedal lives; every other port is real.
    bool isRealPedal(quint32 handle) const override;
    int listDevices(QList<FtdiDeviceInfo> *devices) override;
    int openBySerial(const QByteArray &serial, quint32 *handle) override;
    int close(quint32 handle) override;
    int queueStatus(quint32 handle, quint32 *queued) override;
    int read(quint32 handle, unsigned char *buffer, quint32 count, quint32 *got) override;
    int write(quint32 handle, const unsigned char *buffer, quint32 count, quint32 *written) override;
    int setBaudRate(quint32 handle, quint32 baud) override;
    int setDataCharacteristics(quint32 handle, quint8 dataBits, quint8 stopBits, quint8 parity) override;
    int purge(quint32 handle, quint32 mask) override;
    QString permissionDeniedPort() const override { return m_permissionDenied; }
    // A port opened as a pseudo-terminal (the standalone simulated pedal) does not come back.
    bool comesBack(const QByteArray &serial) const override { return !m_pseudoTerminals.contains(serial); }

    // Whether a port named by its path (or its name in /dev) is there now; a missing one is
    // not listed.
    static bool portPresent(const QString &portName);

    // The D2XX status a D2XX user would see for a serial-port error.
    static int statusFor(QSerialPort::SerialPortError error);

private:
    struct Entry {
        FtdiDeviceInfo info;
        QString portName;
    };
    QList<Entry> enumerate() const;
    int openPort(const QString &portName, quint32 *handle);
    // An FTDI bridge holds received bytes for its latency timer (16 ms by default): a protocol
    // that waits for an acknowledge after every frame waits that long each time. Asks for the
    // shortest timer and says in the log what was done.
    void lowerLatency(QSerialPort *port);
    bool m_latencyNoted = false;
    // The port behind a handle; status explains why there is none.
    QSerialPort *port(quint32 handle, int *status) const;

    QStringList m_extraPorts;
    QString m_permissionDenied;
    PortScan m_scan;
    mutable int m_portScans = 0;
    mutable std::optional<QList<Entry>> m_scanned;
    QHash<quint32, QSerialPort *> m_ports;
    QHash<quint32, bool> m_lost;
    QSet<QByteArray> m_pseudoTerminals; // the serial numbers (paths) of ports opened as pseudo-terminals
    quint32 m_nextHandle = 0x1000;
};
