#include "simulator/SimBackend.h"

#include <QMetaObject>

SimBackend::SimBackend(Clock *clock, int pedalCount, QObject *parent) : FtdiBackend(parent), m_clock(clock)
{
    for (int i = 0; i < pedalCount; ++i)
        addPedal();
}

SimulatedPedal *SimBackend::addPedal()
{
    auto p = std::make_unique<SimulatedPedal>(m_clock);
    const int n = int(m_pedals.size()) + 1;
    p->serialNumber = QStringLiteral("QMK3SIM%1").arg(n, 2, 10, QLatin1Char('0')).toLatin1();
    m_pedals.push_back(std::move(p));
    return m_pedals.back().get();
}

int SimBackend::listDevices(QList<FtdiDeviceInfo> *devices)
{
    devices->clear();
    for (const auto &p : m_pedals) {
        if (!p->unplugged())
            devices->append({p->serialNumber, p->description});
    }
    return FtStatus::Ok;
}

int SimBackend::openPedal(int index, quint32 *handle)
{
    const quint32 h = ++m_nextHandle;
    m_open.insert(h, index);
    *handle = h;
    return FtStatus::Ok;
}

int SimBackend::openBySerial(const QByteArray &serial, quint32 *handle)
{
    for (int i = 0; i < int(m_pedals.size()); ++i) {
        if (m_pedals[size_t(i)]->serialNumber == serial && !m_pedals[size_t(i)]->unplugged())
            return openPedal(i, handle);
    }
    return FtStatus::DeviceNotFound;
}

SimulatedPedal *SimBackend::lookup(quint32 handle, int *status)
{
    const auto it = m_open.constFind(handle);
    if (it == m_open.constEnd()) {
        *status = FtStatus::InvalidHandle;
        return nullptr;
    }
    SimulatedPedal *p = m_pedals[size_t(*it)].get();
    if (p->unplugged()) {
        *status = FtStatus::IoError;
        if (!m_lostSignalled.value(handle)) {
            m_lostSignalled.insert(handle, true);
            QMetaObject::invokeMethod(this, [this, handle] { emit deviceLost(handle); }, Qt::QueuedConnection);
        }
        return nullptr;
    }
    *status = FtStatus::Ok;
    return p;
}

int SimBackend::close(quint32 handle)
{
    if (!m_open.remove(handle))
        return FtStatus::InvalidHandle;
    return FtStatus::Ok;
}

int SimBackend::queueStatus(quint32 handle, quint32 *queued)
{
    int status;
    SimulatedPedal *p = lookup(handle, &status);
    if (p)
        *queued = quint32(p->available());
    return status;
}

int SimBackend::read(quint32 handle, unsigned char *buffer, quint32 count, quint32 *got)
{
    *got = 0;
    int status;
    SimulatedPedal *p = lookup(handle, &status);
    if (p)
        *got = quint32(p->take(buffer, int(count)));
    return status;
}

int SimBackend::write(quint32 handle, const unsigned char *buffer, quint32 count, quint32 *written)
{
    *written = 0;
    int status;
    SimulatedPedal *p = lookup(handle, &status);
    if (!p)
        return status;
    const qint64 before = p->bytesReceived;
    p->receive(buffer, int(count));
    *written = quint32(p->bytesReceived - before);
    if (p->pending() > 0)
        QMetaObject::invokeMethod(this, [this] { emit dataArrived(); }, Qt::QueuedConnection);
    if (p->unplugged()) {
        lookup(handle, &status);
        return FtStatus::IoError;
    }
    return FtStatus::Ok;
}

int SimBackend::setBaudRate(quint32 handle, quint32 baud)
{
    int status;
    lookup(handle, &status);
    if (status == FtStatus::Ok && baud == 0)
        return FtStatus::InvalidBaudRate;
    return status;
}

int SimBackend::setDataCharacteristics(quint32 handle, quint8, quint8, quint8 parity)
{
    int status;
    SimulatedPedal *p = lookup(handle, &status);
    if (p)
        p->evenParity = parity == 2;
    return status;
}

int SimBackend::purge(quint32 handle, quint32 mask)
{
    int status;
    SimulatedPedal *p = lookup(handle, &status);
    if (p && (mask & FtPurge::Rx))
        p->purgeArrived();
    return status;
}

