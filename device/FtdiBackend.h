#pragma once
// What D2XXUnit needs from a device layer: the D2XX calls, status codes and all.
// Implemented by the serial-port backend (real pedals) and the simulated pedal.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

struct FtdiDeviceInfo {
    QByteArray serialNumber;
    QByteArray description;
};

namespace FtStatus {
enum : int {
    Ok = 0,
    InvalidHandle = 1,
    DeviceNotFound = 2,
    DeviceNotOpened = 3,
    IoError = 4,
    InsufficientResources = 5,
    InvalidParameter = 6,
    InvalidBaudRate = 7,
    OtherError = 17,
};
}

namespace FtPurge {
enum : quint32 { Rx = 1, Tx = 2 };
}

class FtdiBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // True for the simulated pedal: stand-in data may be written to it.
    virtual bool isSimulated() const = 0;
    // Whether an open handle leads to a real pedal (not the simulated one, in process or on a
    // pseudo-terminal). Stand-in images are never written into a real pedal.
    virtual bool isRealPedal(quint32 handle) const
    {
        Q_UNUSED(handle);
        return !isSimulated();
    }
    virtual int listDevices(QList<FtdiDeviceInfo> *devices) = 0;
    virtual int openBySerial(const QByteArray &serial, quint32 *handle) = 0;
    virtual int close(quint32 handle) = 0;
    virtual int queueStatus(quint32 handle, quint32 *queued) = 0;
    virtual int read(quint32 handle, unsigned char *buffer, quint32 count, quint32 *got) = 0;
    virtual int write(quint32 handle, const unsigned char *buffer, quint32 count, quint32 *written) = 0;
    virtual int setBaudRate(quint32 handle, quint32 baud) = 0;
    virtual int setDataCharacteristics(quint32 handle, quint8 dataBits, quint8 stopBits, quint8 parity) = 0;
    virtual int purge(quint32 handle, quint32 mask) = 0;
    // Whether the device with this serial number, once gone, can come back as the same device
    // (a pedal unplugged and plugged in again). A pseudo-terminal cannot: a new one at its path
    // belongs to whatever program opened it.
    virtual bool comesBack(const QByteArray &serial) const
    {
        Q_UNUSED(serial);
        return true;
    }
    // The port the last open was refused for lack of permission; empty when the last open
    // succeeded or failed for another reason.
    virtual QString permissionDeniedPort() const { return QString(); }

signals:
    // Bytes were queued on an open device (lets waits end early instead of polling).
    void dataArrived();
    // An open device went away (unplugged); later calls on its handle fail.
    void deviceLost(quint32 handle);
    // Something the log should say about the line (for example its latency setting).
    void lineNote(const QString &text);
};
