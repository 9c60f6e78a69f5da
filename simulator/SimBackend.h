#pragma once
// The simulated pedal(s) behind the D2XX calls, in the editor's own process.

#include "device/FtdiBackend.h"
#include "simulator/SimulatedPedal.h"

#include <QHash>
#include <memory>
#include <vector>

class Clock;

class SimBackend : public FtdiBackend {
    Q_OBJECT
public:
    explicit SimBackend(Clock *clock, int pedalCount = 1, QObject *parent = nullptr);

    SimulatedPedal *pedal(int i = 0) { return m_pedals[size_t(i)].get(); }
    int pedalCount() const { return int(m_pedals.size()); }
    SimulatedPedal *addPedal();

    bool isSimulated() const override { return true; }
    int listDevices(QList<FtdiDeviceInfo> *devices) override;
    int openBySerial(const QByteArray &serial, quint32 *handle) override;
    int close(quint32 handle) override;
    int queueStatus(quint32 handle, quint32 *queued) override;
    int read(quint32 handle, unsigned char *buffer, quint32 count, quint32 *got) override;
    int write(quint32 handle, const unsigned char *buffer, quint32 count, quint32 *written) override;
    int setBaudRate(quint32 handle, quint32 baud) override;
    int setDataCharacteristics(quint32 handle, quint8 dataBits, quint8 stopBits, quint8 parity) override;
    int purge(quint32 handle, quint32 mask) override;

private:
    SimulatedPedal *lookup(quint32 handle, int *status);
    int openPedal(int index, quint32 *handle);

    Clock *m_clock;
    std::vector<std::unique_ptr<SimulatedPedal>> m_pedals;
    QHash<quint32, int> m_open; // handle -> pedal index
    QHash<quint32, bool> m_lostSignalled;
    quint32 m_nextHandle = 0x00000100;
};
