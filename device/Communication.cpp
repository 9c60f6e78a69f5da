#include "device/Communication.h"

#include "device/PedalMessages.h"
#include "device/Bootloader.h"
#include "device/D2XXUnit.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

#include <algorithm>
#include <utility>

using HexCodec::hexNumber;

namespace {
QString trueFalse(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }
} // namespace

Communication::Communication(DiagnosticLog *log, D2XXUnit *d2xx, Clock *clock, Prompts *prompts, QObject *parent)
    : QObject(parent), m_log(log), m_d2xx(d2xx), m_clock(clock), m_prompts(prompts)
{
    m_pollTimer = clock->createTimer(this);
    m_pollTimer->setInterval(50);
    connect(m_pollTimer, &ClockTimer::timeout, this, &Communication::pollDeviceData);
    setLineSettings(NormalLine);
    if (d2xx->backend())
        setScanBackend(d2xx->backend());
}

void Communication::setScanBackend(FtdiBackend *backend)
{
    m_scanBackend = backend;
    watch(backend);
}

void Communication::setSimulatedBackend(FtdiBackend *backend)
{
    m_simBackend = backend;
    watch(backend);
}

void Communication::watch(FtdiBackend *backend)
{
    if (!backend || m_watched.contains(backend))
        return;
    m_watched.insert(backend);
    connect(backend, &FtdiBackend::dataArrived, this, [this] { m_clock->wake(); });
    connect(backend, &FtdiBackend::deviceLost, this, &Communication::onDeviceLost);
    connect(backend, &FtdiBackend::lineNote, this, [this](const QString &text) { m_log->writeLogLine(text); });
}

bool Communication::linkedToSimulation() const { return m_d2xx->backend() && m_d2xx->backend()->isSimulated(); }

bool Communication::linkedToRealPedal() const
{
    return m_d2xx->backend() && m_d2xx->backend()->isRealPedal(m_d2xx->FTHandle);
}

void Communication::startPoll() { m_pollTimer->start(); }

void Communication::stopPoll() { m_pollTimer->stop(); }

bool Communication::pollRunning() const { return m_pollTimer->isActive(); }

void Communication::setDeviceLabel(const QString &text)
{
    m_deviceLabel = text;
    emit labelsChanged();
}

void Communication::setLineSettings(LineMode mode)
{
    m_d2xx->FTBaudRate = 115200;
    m_d2xx->FTDataBits = 8;
    m_d2xx->FTStopBits = 0;
    m_d2xx->FTParity = quint8(mode);
}

bool Communication::sendMessage(const QByteArray &message, quint32 *written)
{
    if (message.size() > qsizetype(m_d2xx->FTTransmitBuffer.size())) {
        m_log->writeLogLine(QStringLiteral("message not sent: %1 bytes do not fit the transmit buffer").arg(message.size()));
        return false;
    }
    const quint32 count = writeBytes(message);
    if (written)
        *written = count;
    return true;
}

bool Communication::sendHexMessage(const QString &text, int n, quint32 *written)
{
    QByteArray message(qMax(n, 0), '\0');
    const int converted = HexCodec::hexTextToBuffer(text, reinterpret_cast<unsigned char *>(message.data()), n);
    if (converted < n) {
        m_log->writeLogLine(QStringLiteral("message not sent: '%1' does not hold %2 bytes").arg(text).arg(n));
        return false;
    }
    return sendMessage(message, written);
}

void Communication::writeDspMessage(quint16 address, quint32 value)
{
    const QByteArray message = PedalMessages::parameterWrite(address, value);
    m_log->writeLogLine(QStringLiteral("write to DSP msg: ") + HexCodec::bytesToHexText(message));
    sendMessage(message);
}

quint32 Communication::writeBytes(const QByteArray &bytes)
{
    const auto n = quint32(std::min<qsizetype>(bytes.size(), qsizetype(m_d2xx->FTTransmitBuffer.size())));
    std::copy_n(bytes.constData(), n, m_d2xx->FTTransmitBuffer.begin());
    const quint32 written = m_d2xx->WriteFTDeviceBuffer(n);
    const QString text = HexCodec::bytesToHexText(bytes);
    if (m_d2xx->FTLastIOStatus == 0 && written == quint32(bytes.size()))
        emit messageWritten(text);
    else
        emit writeFailed(text);
    return written;
}

Task<Communication::WaitResult> Communication::waitForFirstByte(int timeoutMs)
{
    const qint64 deadline = m_clock->nowMs() + timeoutMs;
    for (;;) {
        co_await m_clock->activity(0);
        if (m_d2xx->GetFTDeviceQueueStatus() != 0)
            co_return WaitResult::DeviceFailed;
        if (m_d2xx->FTQueuedBytes > 0)
            co_return WaitResult::Answered;
        const qint64 left = deadline - m_clock->nowMs();
        if (left <= 0)
            co_return WaitResult::TimedOut;
        co_await m_clock->activity(int(qMin<qint64>(left, 10)));
    }
}

Task<QString> Communication::readReplyText(int timeoutMs, WaitResult *result)
{
    const int limit = timeoutMs < 0 ? m_byteTimeoutMs : timeoutMs;
    const WaitResult first = co_await waitForFirstByte(limit);
    if (result)
        *result = first;
    if (first == WaitResult::TimedOut) {
        m_log->writeLogLine(QStringLiteral("no answer from the bootloader within %1 ms").arg(limit));
        co_return QString();
    }
    if (first == WaitResult::DeviceFailed)
        co_return QString();
    QString accumulated;
    quint32 total = 0;
    const qint64 deadline = m_clock->nowMs() + limit;
    for (;;) {
        co_await m_clock->activity(0);
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (n == 0 || m_clock->nowMs() >= deadline)
            break;
        if (accumulated.isEmpty())
            accumulated = HexCodec::bytesToHexText(m_d2xx->FTReceiveBuffer.data(), int(n));
        total += n;
    }
    m_log->writeLogLine(QStringLiteral("num of bytes received: %1").arg(total));
    m_d2xx->PurgeFTDeviceRX();
    m_log->writeLogLine(QStringLiteral("firmware_upgrade_mode: ") + trueFalse(firmwareUpgradeMode()));
    co_return accumulated.left(2);
}

Task<Communication::WaitResult> Communication::readExactly(int count, int timeoutMs, QByteArray *bytes)
{
    bytes->clear();
    const qint64 deadline = m_clock->nowMs() + timeoutMs;
    while (bytes->size() < count) {
        const qint64 left = deadline - m_clock->nowMs();
        if (left <= 0)
            co_return WaitResult::TimedOut;
        const WaitResult w = co_await waitForFirstByte(int(left));
        if (w != WaitResult::Answered)
            co_return w;
        const quint32 want = quint32(std::min<qsizetype>(count - bytes->size(), D2XXUnit::BufferSize));
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(std::min(want, m_d2xx->FTQueuedBytes));
        if (m_d2xx->FTLastIOStatus != 0)
            co_return WaitResult::DeviceFailed;
        bytes->append(reinterpret_cast<const char *>(m_d2xx->FTReceiveBuffer.data()), int(n));
    }
    co_return WaitResult::Answered;
}

void Communication::pollDeviceData()
{
    if (m_clock->answering())
        return; // a command waits for the person's answer: the line is its own until it goes on
    m_d2xx->ReportDeviceErrors = false;
    if (m_d2xx->GetFTDeviceQueueStatus() == 0) {
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (quint16(n) > 0) {
            m_log->writeLogLine(QStringLiteral("num of bytes read: %1").arg(n));
            takePolledBytes(m_d2xx->FTReceiveBuffer.data(), int(n));
        } else if (m_dumpArriving && m_clock->nowMs() - m_dumpLastByteAt >= m_dumpQuietMs) {
            endDump(false);
        } else if (!m_lateBytes.isEmpty() && m_clock->nowMs() - m_lateBytesAt >= m_answerGapMs) {
            // A late answer that ended short of its values is still the answer owed.
            settleOwedAnswer(m_lateBytes.size(), QStringLiteral("read by the poll"));
            m_lateBytes.clear();
        }
    } else if (m_dumpArriving) {
        endDump(false); // the device cannot be read: the rest of the dump will not come
    }
    m_d2xx->ReportDeviceErrors = true;
}

void Communication::takePolledBytes(const unsigned char *data, int n)
{
    if (!m_dumpArriving) {
        expireOwedAnswers();
        if (!m_lateBytes.isEmpty() || (data[0] != DumpMarker && !m_owedUntil.isEmpty())) {
            takeLateBytes(data, n); // the answer to a request that gave up on it: dropped, and no longer owed
            return;
        }
        if (data[0] != DumpMarker)
            return; // not a dump: dropped
        m_dumpArriving = true;
        m_dump.clear();
        m_dump.reserve(MemoryBytes);
        ++data;
        --n;
    }
    m_dumpLastByteAt = m_clock->nowMs();
    const int take = std::min<int>(n, MemoryBytes - int(m_dump.size()));
    m_dump.append(reinterpret_cast<const char *>(data), take);
    if (m_dump.size() == MemoryBytes)
        endDump(true); // whatever follows the dump in this read is dropped
}

void Communication::endDump(bool complete)
{
    m_dumpArriving = false;
    const QByteArray dump = std::exchange(m_dump, QByteArray());
    if (complete)
        emit settingsDumpReceived(dump);
    else
        emit settingsDumpIncomplete(int(dump.size()));
}

Task<> Communication::finishArrivingDump()
{
    if (!m_dumpArriving && (m_d2xx->GetFTDeviceQueueStatus() != 0 || m_d2xx->FTQueuedBytes == 0))
        co_return;
    pollDeviceData(); // what waits in the queue: the start of a dump, or bytes to drop
    while (m_dumpArriving) {
        co_await m_clock->activity(10);
        pollDeviceData();
    }
}

void Communication::refreshDeviceList()
{
    if (m_scanBackend)
        m_d2xx->setBackend(m_scanBackend);
    m_d2xx->GetFTDeviceCount();
    for (quint32 i = 0; i < m_d2xx->FTDeviceCount; ++i) {
        m_d2xx->GetFTDeviceSerialNo(int(i));
        m_serialMenuText += QString::fromLatin1(m_d2xx->FTDeviceString);
        m_deviceSerialNumber = QString::fromLatin1(m_d2xx->FTDeviceString);
        m_d2xx->GetFTDeviceDescription(int(i));
        m_deviceLabel = QString::fromLatin1(m_d2xx->FTDeviceString);
    }
    emit labelsChanged();
}

int Communication::scanDevices()
{
    if (m_scanBackend)
        m_d2xx->setBackend(m_scanBackend);
    setDeviceLabel(QStringLiteral("Device Name"));
    m_d2xx->GetFTDeviceCount();
    const int count = int(m_d2xx->FTDeviceCount);
    m_log->writeLogLine(QStringLiteral("FT device count: %1").arg(count));
    if (count == 0) {
        m_prompts->show(NoDeviceFound);
        setDeviceLabel(NoDeviceFound);
    }
    return count;
}

void Communication::chooseScannedDevice(int i)
{
    m_d2xx->GetFTDeviceSerialNo(i);
    m_log->writeLogLine(QStringLiteral("FT_Device_String: ") + QString::fromLatin1(m_d2xx->FTDeviceString));
    m_deviceSerialNumber = QString::fromLatin1(m_d2xx->FTDeviceString);
    m_d2xx->GetFTDeviceDescription(i);
    setDeviceLabel(QString::fromLatin1(m_d2xx->FTDeviceString));
}

bool Communication::listed(FtdiBackend *backend, const QString &serial, QString *description)
{
    if (!backend)
        return false;
    QList<FtdiDeviceInfo> devices;
    backend->listDevices(&devices);
    for (const FtdiDeviceInfo &d : devices) {
        if (QString::fromLatin1(d.serialNumber) == serial) {
            if (description)
                *description = QString::fromLatin1(d.description);
            return true;
        }
    }
    return false;
}

void Communication::chooseDevice(FtdiBackend *backend, const QString &serial, const QString &description)
{
    m_d2xx->setBackend(backend);
    m_deviceSerialNumber = serial;
    setDeviceLabel(description);
}

void Communication::chooseSerialNumber(const QString &serial, const QString &label)
{
    m_deviceSerialNumber = serial;
    m_deviceLabel = label;
}

bool Communication::chooseSimulatedPedal()
{
    if (!m_simBackend)
        return false;
    m_d2xx->setBackend(m_simBackend);
    QList<FtdiDeviceInfo> devices;
    m_simBackend->listDevices(&devices);
    if (devices.isEmpty()) {
        m_prompts->show(NoDeviceFound);
        return false;
    }
    m_deviceSerialNumber = QString::fromLatin1(devices.first().serialNumber);
    setDeviceLabel(QString::fromLatin1(devices.first().description));
    return true;
}

Task<bool> Communication::openLink()
{
    m_log->writeLogLine(QStringLiteral("serial number: ") + m_deviceSerialNumber);
    const int status = m_d2xx->Open_USB_Device_By_Serial_Number(m_deviceSerialNumber);
    bool result = false;
    if (status == 0) {
        m_lostReported = false;
        forgetOwedAnswers(); // a new link: whatever an earlier one asked is not waited for
        setDeviceLabel(m_deviceLabel + QStringLiteral(" linked"));
        m_d2xx->SetFTDeviceBaudRate();
        m_d2xx->SetFTDeviceDataCharacteristics();
        m_log->writeLogLine(QStringLiteral("FT_HANDLE: 0x") + hexNumber(m_d2xx->FTHandle, 8));
        m_log->addConsoleLine(QStringLiteral("baud rate = %1").arg(m_d2xx->FTBaudRate));
        result = true;
    }
    if (firmwareUpgradeMode()) {
        // A bootloader left synchronised by an earlier run is taken up as well.
        QString text;
        Bootloader boot(*m_log, *m_d2xx, *this);
        boot.byteTimeoutMs = m_byteTimeoutMs;
        const bool listens = co_await boot.synchronise(&text) == Bootloader::Answer::Ack;
        m_log->addConsoleLine(QStringLiteral("received Byte: ") + text);
        if (listens) {
            co_await m_prompts->tell(QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
            m_link.bootloaderReached();
            emit bootloaderReady();
        } else {
            co_await m_prompts->tell(QStringLiteral("Connection to bootloader failed"));
            // No bootloader there: the pedal runs its firmware, so the line goes back to its
            // normal settings, Upgrade Mode goes off, and the link goes on as a normal one.
            m_upgradeModeChosen = false;
            setLineSettings(NormalLine);
            m_d2xx->SetFTDeviceDataCharacteristics();
            emit bootloaderHandshakeFailed();
        }
    }
    co_return result;
}

Task<bool> Communication::link()
{
    m_link.linking();
    const bool opened = co_await openLink();
    if (!opened) {
        m_link.linkFailed();
        co_return false;
    }
    m_link.linkedUp();
    m_log->writeLogLine(QStringLiteral("firmware upgrade mode: ") + trueFalse(firmwareUpgradeMode()));
    if (firmwareUpgradeMode())
        stopPoll();
    else
        startPoll();
    co_return true;
}

QString Communication::openFailureText() const
{
    const QString port = m_d2xx->backend() ? m_d2xx->backend()->permissionDeniedPort() : QString();
    if (!port.isEmpty())
        return QStringLiteral(
                   "The pedal's port %1 could not be opened: permission denied. Install the editor's udev rule "
                   "(70-quarnelo-ftdi.rules, which the editor's package puts in /usr/lib/udev/rules.d) and plug the "
                   "pedal in again, or add yourself to the dialout group (sudo adduser $USER dialout) and log in "
                   "again.")
            .arg(port);
    return QStringLiteral("The pedal could not be reached: the USB device could not be opened. Check the cable and ") +
           m_prompts->words(Prompts::NextStep::RelinkAgain) + QLatin1Char('.');
}

bool Communication::unlink()
{
    if (m_d2xx->CloseFTDevice() != 0)
        return false;
    enterUnlinked(false);
    return true;
}

void Communication::enterUnlinked(bool lost)
{
    QString label = m_deviceLabel;
    label.remove(QStringLiteral("linked"));
    setDeviceLabel(label);
    if (lost)
        m_link.lost();
    else
        m_link.unlinked();
    stopPoll();
    forgetOwedAnswers();
    if (m_dumpArriving)
        endDump(false);
    emit unlinked();
}

void Communication::onDeviceLost(quint32 handle)
{
    if (handle != m_d2xx->FTHandle || !linked() || m_lostReported)
        return;
    m_lostReported = true;
    m_log->writeLogLine(QStringLiteral("USB device lost: the pedal was disconnected"));
    m_d2xx->CloseFTDevice();
    enterUnlinked(true);
    emit deviceDisconnected();
    // Told once, after the exchange that noticed it has wound down.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Nothing else reaches the pedal while the person reads it.
            m_prompts->tellFixed(Prompts::Fixed::PedalDisconnected).detach();
        },
        Qt::QueuedConnection);
}

bool Communication::tryBeginExchange(const QString &what)
{
    if (m_busy) {
        m_log->writeLogLine(what + QStringLiteral(" ignored: an exchange with the pedal is under way"));
        return false;
    }
    m_busy = true;
    return true;
}
