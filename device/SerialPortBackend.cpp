#include "device/SerialPortBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

SerialPortBackend::SerialPortBackend(const QStringList &extraPorts, PortScan scan, QObject *parent)
    : FtdiBackend(parent), m_extraPorts(extraPorts), m_scan(scan)
{
}

SerialPortBackend::~SerialPortBackend() { qDeleteAll(m_ports); }

int SerialPortBackend::statusFor(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError: return FtStatus::Ok;
    case QSerialPort::DeviceNotFoundError: return FtStatus::DeviceNotFound;
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError: return FtStatus::DeviceNotOpened;
    case QSerialPort::NotOpenError: return FtStatus::InvalidHandle;
    case QSerialPort::UnsupportedOperationError: return FtStatus::InvalidParameter;
    case QSerialPort::WriteError: return FtStatus::IoError;
    default: return FtStatus::IoError;
    }
}

bool SerialPortBackend::portPresent(const QString &portName)
{
#ifdef Q_OS_UNIX
    // Where QSerialPort looks for it: a path as it is, a bare name in /dev.
    const bool path = portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./")) ||
                      portName.startsWith(QLatin1String("../"));
    return QFileInfo::exists(path ? portName : QStringLiteral("/dev/") + portName);
#else
    Q_UNUSED(portName);
    return true; // a port name there (COM3) is no file: the open tells
#endif
}

QList<SerialPortBackend::Entry> SerialPortBackend::enumerate() const
{
    QList<Entry> out;
    if (m_scan != PortScan::Never) {
        if (!m_scanned || m_scan == PortScan::EveryTime) {
            QList<Entry> found;
            ++m_portScans;
            for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
                if (!info.hasVendorIdentifier() || info.vendorIdentifier() != FtdiVendorId)
                    continue;
                Entry e;
                e.info.serialNumber = info.serialNumber().toLatin1();
                e.info.description = info.description().toLatin1();
                e.portName = info.systemLocation();
                found << e;
            }
            m_scanned = found;
        }
        out = *m_scanned;
    }
    for (const QString &path : m_extraPorts) {
        // A port named by its path is there while its path is: a pseudo-terminal whose pedal
        // went away, or a bridge that was unplugged, is listed no more until it is back.
        if (!portPresent(path))
            continue;
        Entry e;
        e.info.serialNumber = path.toLatin1();
        e.info.description = QByteArrayLiteral("Quarnelo MK3");
        e.portName = path;
        out << e;
    }
    return out;
}

bool SerialPortBackend::isRealPedal(quint32 handle) const
{
    const QSerialPort *p = m_ports.value(handle);
    if (!p)
        return true;
    const QString name = p->portName();
    return !(name.startsWith(QLatin1String("pts/")) || name.startsWith(QLatin1String("/dev/pts/")) ||
             QFileInfo(name).canonicalFilePath().startsWith(QLatin1String("/dev/pts/")) ||
             QFileInfo(QStringLiteral("/dev/") + name).canonicalFilePath().startsWith(QLatin1String("/dev/pts/")));
}

void SerialPortBackend::lowerLatency(QSerialPort *port)
{
    // From the port's own name: asking QSerialPortInfo would look through every port again.
    const QString name0 = port->portName();
    const QString device =
        QFileInfo(name0.startsWith(QLatin1Char('/')) ? name0 : QStringLiteral("/dev/") + name0).canonicalFilePath();
    const QString name = QFileInfo(device).fileName();
    if (!name.startsWith(QLatin1String("ttyUSB")))
        return; // a pseudo-terminal or another kind of port: nothing is held back
    QByteArray ms; // the latency timer, as the driver reports it
#ifdef Q_OS_LINUX
    // The driver's low-latency flag asks the bridge for a 1 ms timer; read back what it did.
    serial_struct info{};
    const int fd = int(port->handle());
    bool lowLatency = false;
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        lowLatency = ::ioctl(fd, TIOCSSERIAL, &info) == 0 && ::ioctl(fd, TIOCGSERIAL, &info) == 0 &&
                     (info.flags & ASYNC_LOW_LATENCY);
    }
    QFile timer(QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer").arg(name));
    if (timer.open(QIODevice::ReadOnly))
        ms = timer.readAll().trimmed();
    timer.close();
    if (ms != "1" && timer.open(QIODevice::WriteOnly) && timer.write("1") == 1) {
        timer.close();
        if (timer.open(QIODevice::ReadOnly))
            ms = timer.readAll().trimmed();
    }
    if (lowLatency || ms == "1") {
        emit lineNote(QStringLiteral("%1: FTDI latency timer %2 ms%3").arg(name, ms.isEmpty() ? QByteArray("?") : ms,
                                                                        lowLatency ? QStringLiteral(" (low-latency flag set)") : QString()));
        return;
    }
#endif
    if (!m_latencyNoted) {
        m_latencyNoted = true;
        emit lineNote(QStringLiteral("%1: the FTDI latency timer could not be lowered (it stays at %2 ms); each "
                                     "acknowledge of a firmware upgrade waits that long")
                          .arg(name, QString::fromLatin1(ms.isEmpty() ? QByteArray("16") : ms)));
    }
}

int SerialPortBackend::listDevices(QList<FtdiDeviceInfo> *devices)
{
    devices->clear();
    for (const Entry &e : enumerate())
        devices->append(e.info);
    return FtStatus::Ok;
}

int SerialPortBackend::openPort(const QString &portName, quint32 *handle)
{
    auto *p = new QSerialPort(portName);
    p->setBaudRate(115200);
    p->setDataBits(QSerialPort::Data8);
    p->setParity(QSerialPort::NoParity);
    p->setStopBits(QSerialPort::OneStop);
    p->setFlowControl(QSerialPort::NoFlowControl);
    m_permissionDenied.clear();
    if (!p->open(QIODevice::ReadWrite)) {
        if (p->error() == QSerialPort::PermissionError)
            m_permissionDenied = portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
        const int status = statusFor(p->error());
        delete p;
        return status == FtStatus::Ok ? FtStatus::DeviceNotOpened : status;
    }
    lowerLatency(p);
    const quint32 h = ++m_nextHandle;
    m_ports.insert(h, p);
    connect(p, &QSerialPort::readyRead, this, &FtdiBackend::dataArrived);
    connect(p, &QSerialPort::errorOccurred, this, [this, h, p](QSerialPort::SerialPortError e) {
        // A read error or a resource error means the device went away (unplugged, or the far
        // end of a pseudo-terminal closed). Close at once: the port would report it again and
        // again and keep the event loop busy.
        if ((e != QSerialPort::ResourceError && e != QSerialPort::ReadError) || m_lost.value(h))
            return;
        m_lost.insert(h, true);
        QMetaObject::invokeMethod(p, &QSerialPort::close, Qt::QueuedConnection);
        emit deviceLost(h);
    });
    *handle = h;
    return FtStatus::Ok;
}

int SerialPortBackend::openBySerial(const QByteArray &serial, quint32 *handle)
{
    for (const Entry &e : enumerate()) {
        if (e.info.serialNumber != serial)
            continue;
        const int status = openPort(e.portName, handle);
        if (status == FtStatus::Ok && !isRealPedal(*handle))
            m_pseudoTerminals.insert(serial);
        return status;
    }
    return FtStatus::DeviceNotFound;
}

QSerialPort *SerialPortBackend::port(quint32 handle, int *status) const
{
    QSerialPort *p = m_ports.value(handle);
    if (!p) {
        *status = FtStatus::InvalidHandle;
        return nullptr;
    }
    if (m_lost.value(handle) || !p->isOpen()) {
        *status = m_lost.value(handle) ? FtStatus::IoError : FtStatus::InvalidHandle;
        return nullptr;
    }
    *status = FtStatus::Ok;
    return p;
}

int SerialPortBackend::close(quint32 handle)
{
    QSerialPort *p = m_ports.take(handle);
    if (!p)
        return FtStatus::InvalidHandle;
    m_lost.remove(handle);
    p->close();
    p->deleteLater();
    return FtStatus::Ok;
}

int SerialPortBackend::queueStatus(quint32 handle, quint32 *queued)
{
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    *queued = quint32(p->bytesAvailable());
    return FtStatus::Ok;
}

int SerialPortBackend::read(quint32 handle, unsigned char *buffer, quint32 count, quint32 *got)
{
    *got = 0;
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    if (count == 0)
        return FtStatus::Ok;
    const qint64 n = p->read(reinterpret_cast<char *>(buffer), count);
    if (n < 0)
        return statusFor(p->error());
    *got = quint32(n);
    return FtStatus::Ok;
}

int SerialPortBackend::write(quint32 handle, const unsigned char *buffer, quint32 count, quint32 *written)
{
    *written = 0;
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    const qint64 n = p->write(reinterpret_cast<const char *>(buffer), count);
    if (n < 0)
        return statusFor(p->error());
    p->flush();
    *written = quint32(n);
    return m_lost.value(handle) ? FtStatus::IoError : FtStatus::Ok;
}

int SerialPortBackend::setBaudRate(quint32 handle, quint32 baud)
{
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    return p->setBaudRate(qint32(baud)) ? FtStatus::Ok : FtStatus::InvalidBaudRate;
}

int SerialPortBackend::setDataCharacteristics(quint32 handle, quint8 dataBits, quint8 stopBits, quint8 parity)
{
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    if (dataBits < 5 || dataBits > 8 || (stopBits != 0 && stopBits != 2) || parity > 4)
        return FtStatus::InvalidParameter;
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    bool ok = p->setDataBits(QSerialPort::DataBits(dataBits));
    ok = p->setStopBits(stopBits == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop) && ok;
    ok = p->setParity(parities[parity]) && ok;
    if (!ok) {
        const int s = statusFor(p->error());
        p->clearError();
        return s == FtStatus::Ok ? FtStatus::IoError : s;
    }
    return FtStatus::Ok;
}

int SerialPortBackend::purge(quint32 handle, quint32 mask)
{
    int status;
    QSerialPort *p = port(handle, &status);
    if (!p)
        return status;
    // The transmit side is not thrown away: every write has already been handed to the system
    // (see write()), and a message the editor counts as sent must reach the pedal. Discarding the
    // system's output queue lost the words a restore had just written when the check request that
    // follows it purged the line. What may still wait in this object's buffer is sent on.
    if ((mask & FtPurge::Tx) && !p->flush() && p->bytesToWrite() > 0)
        return FtStatus::IoError;
    if (mask & FtPurge::Rx)
        return p->clear(QSerialPort::Input) ? FtStatus::Ok : FtStatus::IoError;
    return FtStatus::Ok;
}

