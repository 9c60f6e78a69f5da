#pragma once
// The FTDI wrapper: one device handle, one receive and one transmit buffer, the line
// settings and the D2XX calls, each returning the D2XX status or a byte count. Failures
// become one log line each while ReportDeviceErrors is on.

#include <QByteArray>
#include <QString>
#include <array>

class DiagnosticLog;
class FtdiBackend;

class D2XXUnit {
public:
    static constexpr int BufferSize = 65536;

    D2XXUnit(DiagnosticLog *log, FtdiBackend *backend);

    void setBackend(FtdiBackend *backend) { m_backend = backend; }
    FtdiBackend *backend() const { return m_backend; }

    quint32 FTHandle = 0;
    qint32 FTLastIOStatus = 0;
    quint32 FTDeviceCount = 0;
    quint32 FTQueuedBytes = 0;
    QByteArray FTDeviceString;
    std::array<unsigned char, BufferSize> FTReceiveBuffer{};
    std::array<unsigned char, BufferSize> FTTransmitBuffer{};
    quint32 FTBaudRate = 0;
    quint8 FTDataBits = 0;
    quint8 FTStopBits = 0;
    quint8 FTParity = 0;
    bool ReportDeviceErrors = false;

    int GetFTDeviceCount();
    int GetFTDeviceSerialNo(int index);
    int GetFTDeviceDescription(int index);
    int Open_USB_Device_By_Serial_Number(const QString &serial);
    int CloseFTDevice();
    quint32 ReadFTDeviceBuffer(quint32 requested);
    quint32 WriteFTDeviceBuffer(quint32 count);
    int SetFTDeviceBaudRate();
    int SetFTDeviceDataCharacteristics();
    int PurgeFTDeviceRX();
    int PurgeFTDeviceTX();
    int GetFTDeviceQueueStatus();

    void ReportFTError(const QString &operation, int status);
    // The text appended to the operation name for a status (empty above 17).
    static QString statusText(int status);

private:
    int listQuery(int index, bool serial, const QString &name);
    DiagnosticLog *m_log;
    FtdiBackend *m_backend;
};
