#include "device/D2XXUnit.h"

#include "support/DiagnosticLog.h"
#include "device/FtdiBackend.h"

#include <algorithm>

D2XXUnit::D2XXUnit(DiagnosticLog *log, FtdiBackend *backend) : m_log(log), m_backend(backend) {}

QString D2XXUnit::statusText(int status)
{
    static const char *const texts[] = {
        "",
        " - Invalid handle...",
        " - Device not found...",
        " - Device not opened...",
        " - General IO error...",
        " - Insufficient resources...",
        " - Invalid parameter...",
        " - Invalid baud rate...",
        " Device not opened for erase...",
        " Device not opened for write...",
        " - Failed to write...",
        " - EEPROM read failed...",
        " - EEPROM write failed...",
        " - EEPROM erase failed...",
        " - EEPROM not present...",
        " - EEPROM not programmed...",
        " - Invalid arguments...",
        " - Other error ...",
    };
    if (status < 0 || status > 17)
        return QString();
    return QString::fromLatin1(texts[status]);
}

void D2XXUnit::ReportFTError(const QString &operation, int status)
{
    if (!ReportDeviceErrors || status == 0)
        return;
    if (status > 17 || status < 0)
        m_log->writeLogLine(QString());
    else
        m_log->writeLogLine(operation + statusText(status));
}

int D2XXUnit::GetFTDeviceCount()
{
    QList<FtdiDeviceInfo> devices;
    const int status = m_backend->listDevices(&devices);
    if (status == 0)
        FTDeviceCount = quint32(devices.size());
    ReportFTError(QStringLiteral("GetFTDeviceCount"), status);
    return status;
}

int D2XXUnit::listQuery(int index, bool serial, const QString &name)
{
    QList<FtdiDeviceInfo> devices;
    int status = m_backend->listDevices(&devices);
    if (status == 0 && (index < 0 || index >= devices.size()))
        status = FtStatus::DeviceNotFound;
    if (status == 0) {
        // The library fills a 64-byte buffer: the text ends at its NUL or after 64 bytes.
        QByteArray text = serial ? devices[index].serialNumber : devices[index].description;
        const int nul = int(text.indexOf('\0'));
        if (nul >= 0)
            text.truncate(nul);
        FTDeviceString = text.left(64);
    }
    ReportFTError(name, status);
    return status;
}

int D2XXUnit::GetFTDeviceSerialNo(int index) { return listQuery(index, true, QStringLiteral("GetFTDeviceSerialNo")); }

int D2XXUnit::GetFTDeviceDescription(int index)
{
    return listQuery(index, false, QStringLiteral("GetFTDeviceDescription"));
}

int D2XXUnit::Open_USB_Device_By_Serial_Number(const QString &serial)
{
    // At most 49 characters and a terminating NUL fit the open-by-serial buffer.
    const QByteArray buffer = serial.toLatin1().left(49);
    quint32 handle = FTHandle;
    const int status = m_backend->openBySerial(buffer, &handle);
    if (status == 0)
        FTHandle = handle;
    ReportFTError(QStringLiteral("Open_USB_Device_By_Serial_Number"), status);
    return status;
}

int D2XXUnit::CloseFTDevice()
{
    const int status = m_backend->close(FTHandle);
    ReportFTError(QStringLiteral("FT_Close"), status);
    return status;
}

quint32 D2XXUnit::ReadFTDeviceBuffer(quint32 requested)
{
    quint32 queued = 0;
    m_backend->queueStatus(FTHandle, &queued); // neither tested nor reported
    // What is queued beyond the request stays queued: a reader that counts bytes (a bootloader
    // answer of known length) gets no more than it asked for.
    queued = std::min({queued, requested, quint32(BufferSize)});
    quint32 got = 0;
    FTLastIOStatus = m_backend->read(FTHandle, FTReceiveBuffer.data(), queued, &got);
    ReportFTError(QStringLiteral("FT_Read"), FTLastIOStatus);
    return got;
}

quint32 D2XXUnit::WriteFTDeviceBuffer(quint32 count)
{
    count = std::min<quint32>(count, BufferSize);
    quint32 written = 0;
    FTLastIOStatus = m_backend->write(FTHandle, FTTransmitBuffer.data(), count, &written);
    ReportFTError(QStringLiteral("FT_Write"), FTLastIOStatus);
    return written;
}

int D2XXUnit::SetFTDeviceBaudRate()
{
    const int status = m_backend->setBaudRate(FTHandle, FTBaudRate);
    ReportFTError(QStringLiteral("FT_SetBaudRate"), status);
    return status;
}

int D2XXUnit::SetFTDeviceDataCharacteristics()
{
    const int status = m_backend->setDataCharacteristics(FTHandle, FTDataBits, FTStopBits, FTParity);
    ReportFTError(QStringLiteral("FT_SetDataCharacteristics"), status);
    return status;
}

int D2XXUnit::PurgeFTDeviceRX()
{
    const int status = m_backend->purge(FTHandle, FtPurge::Rx);
    ReportFTError(QStringLiteral("FT_Purge RX"), status);
    return status;
}

int D2XXUnit::PurgeFTDeviceTX()
{
    const int status = m_backend->purge(FTHandle, FtPurge::Tx);
    ReportFTError(QStringLiteral("FT_Purge TX"), status);
    return status;
}

int D2XXUnit::GetFTDeviceQueueStatus()
{
    quint32 queued = FTQueuedBytes;
    const int status = m_backend->queueStatus(FTHandle, &queued);
    if (status == 0)
        FTQueuedBytes = queued;
    ReportFTError(QStringLiteral("FT_GetQueueStatus"), status);
    return status;
}

