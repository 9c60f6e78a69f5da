#include "device/Communication.h"

#include "support/DiagnosticLog.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/D2XXUnit.h"
#include "device/FtdiBackend.h"
#include "device/HexCodec.h"
#include "device/ReplyDecoder.h"

using HexCodec::hexNumber;

namespace {
QString trueFalse(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }

// Reads "0015" as 15. The texts are built from hex digits, so a non-BCD answer fails here.
bool decimalValue(const QString &text, int *value, QString *error)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    if (!ok)
        *error = HexCodec::conversionError(text);
    return ok;
}
} // namespace

Communication::Communication(DiagnosticLog *log, D2XXUnit *d2xx, Clock *clock, Prompts *prompts, QObject *parent)
    : QObject(parent), m_log(log), m_d2xx(d2xx), m_clock(clock), m_prompts(prompts)
{
    Timer_USB_Read = clock->createTimer(this);
    Timer_USB_Read->setInterval(50);
    connect(Timer_USB_Read, &ClockTimer::timeout, this, &Communication::PollDeviceData);
    SetLineSettings(NormalLine);
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
}

bool Communication::linkedToSimulation() const
{
    return m_d2xx->backend() && m_d2xx->backend()->isSimulated();
}

bool Communication::linkedToRealPedal() const
{
    return m_d2xx->backend() && m_d2xx->backend()->isRealPedal(m_d2xx->FTHandle);
}

void Communication::setGate(GateState state)
{
    gate = state;
    emit gateChanged(state);
}

void Communication::setDeviceLabel(const QString &text)
{
    deviceLabel = text;
    emit labelsChanged();
}

void Communication::SetLineSettings(LineMode mode)
{
    m_d2xx->FTBaudRate = 115200;
    m_d2xx->FTDataBits = 8;
    m_d2xx->FTStopBits = 0;
    m_d2xx->FTParity = quint8(mode);
}

bool Communication::SendHexMessage(const QString &text, int n)
{
    const int converted = HexCodec::hexTextToBuffer(text, m_d2xx->FTTransmitBuffer.data(), n);
    if (converted < n) {
        m_log->WriteLogLine(QStringLiteral("message not sent: '%1' does not hold %2 bytes").arg(text).arg(n));
        return false;
    }
    m_d2xx->WriteFTDeviceBuffer(quint32(n));
    return true;
}

void Communication::WriteDSPMessage(const QString &prefix, quint16 address, quint32 value)
{
    const QString text = prefix + hexNumber(address, 4) + hexNumber(value, 8);
    m_log->WriteLogLine(QStringLiteral("write to DSP msg: ") + text);
    SendHexMessage(text, int(quint8(text.size() / 2)));
}

Communication::WaitResult Communication::waitForFirstByte(int timeoutMs)
{
    const qint64 deadline = m_clock->nowMs() + timeoutMs;
    for (;;) {
        m_clock->waitForActivity(0);
        if (m_d2xx->GetFTDeviceQueueStatus() != 0)
            return WaitResult::DeviceFailed;
        if (m_d2xx->FTQueuedBytes > 0)
            return WaitResult::Answered;
        const qint64 left = deadline - m_clock->nowMs();
        if (left <= 0)
            return WaitResult::TimedOut;
        m_clock->waitForActivity(int(qMin<qint64>(left, 10)));
    }
}

Communication::WaitResult Communication::ReadReplyBytes()
{
    const WaitResult first = waitForFirstByte(answerTimeoutMs);
    if (first != WaitResult::Answered)
        return first;
    m_d2xx->PurgeFTDeviceTX();

    // Gather every read of this answer; stop once all values are in and the line is quiet,
    // or when the pedal falls silent short of them, or at the time limit.
    QByteArray answer;
    const qint64 deadline = m_clock->nowMs() + answerTimeoutMs;
    qint64 lastByteAt = m_clock->nowMs();
    for (;;) {
        m_clock->waitForActivity(0);
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (m_d2xx->FTLastIOStatus != 0)
            break;
        if (n > 0) {
            answer.append(reinterpret_cast<const char *>(m_d2xx->FTReceiveBuffer.data()), int(n));
            lastByteAt = m_clock->nowMs();
            if (lastByteAt >= deadline)
                break; // a line that never falls quiet
            if (!firmware_upgrade_mode)
                m_clock->pause(10);
            continue;
        }
        const qint64 now = m_clock->nowMs();
        const bool complete = countClosedValues(answer) >= CompleteAnswerValues;
        if (complete || now - lastByteAt >= answerGapMs || now >= deadline)
            break;
        m_clock->waitForActivity(10);
    }

    const DecodedReply decoded = DecodeReplyBytes(answer);
    m_d2xx->PurgeFTDeviceRX();
    if (!decoded.ok) {
        m_log->WriteLogLine(QStringLiteral("answer could not be decoded: ") + decoded.error);
        return WaitResult::Answered;
    }
    if (!decoded.values.isEmpty())
        ReplyBytes = decoded.values;
    const int count = int(decoded.values.size());
    m_log->WriteLogLine(QStringLiteral("num of bytes received: %1").arg(count));
    m_log->WriteLogLine(QStringLiteral("received_bytes_array size: %1").arg(ReplyBytes.size()));
    for (int k = 0; k < ReplyBytes.size(); ++k)
        m_log->WriteLogLine(QStringLiteral("%1:    %2").arg(k).arg(hexNumber(quint8(ReplyBytes[k]), 2)));
    return WaitResult::Answered;
}

QString Communication::ReadReplyText(int timeoutMs)
{
    const int limit = timeoutMs < 0 ? byteTimeoutMs : timeoutMs;
    const WaitResult first = waitForFirstByte(limit);
    if (first == WaitResult::TimedOut) {
        m_log->WriteLogLine(QStringLiteral("no answer from the bootloader within %1 ms").arg(limit));
        return QString();
    }
    if (first == WaitResult::DeviceFailed)
        return QString();
    QString accumulated;
    quint32 total = 0;
    const qint64 deadline = m_clock->nowMs() + limit;
    for (;;) {
        m_clock->waitForActivity(0);
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (n == 0 || m_clock->nowMs() >= deadline)
            break;
        if (accumulated.isEmpty())
            accumulated = HexCodec::bytesToHexText(m_d2xx->FTReceiveBuffer.data(), int(n));
        total += n;
    }
    m_log->WriteLogLine(QStringLiteral("num of bytes received: %1").arg(total));
    m_d2xx->PurgeFTDeviceRX();
    m_log->WriteLogLine(QStringLiteral("firmware_upgrade_mode: ") + trueFalse(firmware_upgrade_mode));
    return accumulated.left(2);
}

void Communication::PollDeviceData()
{
    m_d2xx->ReportDeviceErrors = false;
    if (m_d2xx->GetFTDeviceQueueStatus() == 0) {
        const quint32 n = m_d2xx->ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (quint16(n) > 0) {
            m_log->WriteLogLine(QStringLiteral("num of bytes read: %1").arg(n));
            if (m_d2xx->FTReceiveBuffer[0] == 0xAB)
                emit settingsDumpReceived(QByteArray(reinterpret_cast<const char *>(m_d2xx->FTReceiveBuffer.data()),
                                                     int(n)));
        }
    }
    m_d2xx->ReportDeviceErrors = true;
}

void Communication::RefreshDeviceList()
{
    if (m_scanBackend)
        m_d2xx->setBackend(m_scanBackend);
    m_d2xx->GetFTDeviceCount();
    for (quint32 i = 0; i < m_d2xx->FTDeviceCount; ++i) {
        m_d2xx->GetFTDeviceSerialNo(int(i));
        serialMenuText += QString::fromLatin1(m_d2xx->FTDeviceString);
        DeviceSerialNumber = QString::fromLatin1(m_d2xx->FTDeviceString);
        m_d2xx->GetFTDeviceDescription(int(i));
        deviceLabel = QString::fromLatin1(m_d2xx->FTDeviceString);
    }
    emit labelsChanged();
}

void Communication::ScanAndLink()
{
    if (m_scanBackend)
        m_d2xx->setBackend(m_scanBackend);
    setDeviceLabel(QStringLiteral("Device Name"));
    m_d2xx->GetFTDeviceCount();
    const quint32 count = m_d2xx->FTDeviceCount;
    m_log->WriteLogLine(QStringLiteral("FT device count: %1").arg(count));
    if (count == 0) {
        m_prompts->message(NoDeviceFound);
        setDeviceLabel(NoDeviceFound);
        return;
    }
    for (quint32 i = 0; i < count; ++i) {
        m_d2xx->GetFTDeviceSerialNo(int(i));
        m_log->WriteLogLine(QStringLiteral("FT_Device_String: ") + QString::fromLatin1(m_d2xx->FTDeviceString));
        DeviceSerialNumber = QString::fromLatin1(m_d2xx->FTDeviceString);
        m_d2xx->GetFTDeviceDescription(int(i));
        setDeviceLabel(QString::fromLatin1(m_d2xx->FTDeviceString));
        Link();
    }
}

void Communication::LinkSimulated()
{
    if (!m_simBackend)
        return;
    m_d2xx->setBackend(m_simBackend);
    QList<FtdiDeviceInfo> devices;
    m_simBackend->listDevices(&devices);
    if (devices.isEmpty()) {
        m_prompts->message(NoDeviceFound);
        return;
    }
    DeviceSerialNumber = QString::fromLatin1(devices.first().serialNumber);
    setDeviceLabel(QString::fromLatin1(devices.first().description));
    Link();
}

bool Communication::OpenLink()
{
    m_log->WriteLogLine(QStringLiteral("serial number: ") + DeviceSerialNumber);
    const int status = m_d2xx->Open_USB_Device_By_Serial_Number(DeviceSerialNumber);
    bool result = false;
    if (status == 0) {
        m_lostReported = false;
        setDeviceLabel(deviceLabel + QStringLiteral(" linked"));
        m_d2xx->SetFTDeviceBaudRate();
        m_d2xx->SetFTDeviceDataCharacteristics();
        m_log->WriteLogLine(QStringLiteral("FT_HANDLE: 0x") + hexNumber(m_d2xx->FTHandle, 8));
        m_log->addConsoleLine(QStringLiteral("baud rate = %1").arg(m_d2xx->FTBaudRate));
        result = true;
    }
    if (firmware_upgrade_mode) {
        SetLineSettings(BootloaderLine);
        m_d2xx->SetFTDeviceDataCharacteristics();
        m_d2xx->FTTransmitBuffer[0] = 0x7F;
        m_d2xx->WriteFTDeviceBuffer(1);
        const QString text = ReadReplyText();
        m_log->addConsoleLine(QStringLiteral("received Byte: ") + text);
        if (text == QLatin1String("79")) {
            m_prompts->message(QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
            m_bootloaderLinked = true;
            emit bootloaderReady();
        } else {
            m_prompts->message(QStringLiteral("Connection to bootloader failed"));
        }
    }
    return result;
}

void Communication::Link()
{
    m_bootloaderLinked = false;
    if (OpenLink()) {
        Linked = true;
        setGate(m_bootloaderLinked ? GateState::BootloaderLinked : GateState::Linked);
        m_log->WriteLogLine(QStringLiteral("firmware upgrade mode: ") + trueFalse(firmware_upgrade_mode));
        if (firmware_upgrade_mode)
            Timer_USB_Read->stop();
        else
            Timer_USB_Read->start();
    }
    if (!LegacyUpgradeMode)
        RequestDeviceInformation();
}

bool Communication::menuDisconnectClick()
{
    if (m_d2xx->CloseFTDevice() != 0)
        return false;
    enterUnlinked();
    return true;
}

void Communication::enterUnlinked()
{
    QString label = deviceLabel;
    label.remove(QStringLiteral("linked"));
    setDeviceLabel(label);
    Linked = false;
    Timer_USB_Read->stop();
    setGate(GateState::Unlinked);
}

void Communication::onDeviceLost(quint32 handle)
{
    if (handle != m_d2xx->FTHandle || !Linked || m_lostReported)
        return;
    m_lostReported = true;
    m_log->WriteLogLine(QStringLiteral("USB device lost: the pedal was disconnected"));
    m_d2xx->CloseFTDevice();
    enterUnlinked();
    emit deviceDisconnected();
    // Told once, after the exchange that noticed it has wound down.
    QMetaObject::invokeMethod(this, [this] {
        m_prompts->message(QStringLiteral("The pedal was disconnected. Connect it again and choose Scan And Link."));
    }, Qt::QueuedConnection);
}

void Communication::endFailedRequest(const QString &logLine, const QString &message)
{
    m_log->WriteLogLine(logLine);
    RequestInProgress = false;
    if (Linked && !firmware_upgrade_mode)
        Timer_USB_Read->start();
    m_prompts->message(message);
}

bool Communication::tryBeginExchange(const QString &what)
{
    if (m_busy) {
        m_log->WriteLogLine(what + QStringLiteral(" ignored: an exchange with the pedal is under way"));
        return false;
    }
    m_busy = true;
    return true;
}

void Communication::RequestDeviceInformation()
{
    if (!tryBeginExchange(QStringLiteral("request")))
        return;
    struct Release {
        Communication *c;
        ~Release() { c->endExchange(); }
    } release{this};

    m_log->WriteLogLine(QStringLiteral("********************REQUEST********************"));
    RequestInProgress = true;
    Timer_USB_Read->stop();
    HexCodec::hexTextToBuffer(QStringLiteral("0200"), m_d2xx->FTTransmitBuffer.data(), 2);
    m_d2xx->PurgeFTDeviceRX(); // a late answer to an earlier request must not be taken for this one
    m_d2xx->PurgeFTDeviceTX();
    m_d2xx->WriteFTDeviceBuffer(2);
    m_clock->pause(requestSettleMs);

    ReplyBytes.clear(); // only this answer's values are ever read back
    const WaitResult wait = ReadReplyBytes();
    if (wait == WaitResult::DeviceFailed) {
        m_clock->waitForActivity(0); // an unplug is reported by the backend as an event
        if (m_lostReported) {
            RequestInProgress = false;
            m_log->WriteLogLine(QStringLiteral("device information request: the pedal was disconnected"));
            return;
        }
        endFailedRequest(QStringLiteral("device information request: the USB device could not be read"),
                         QStringLiteral("The pedal could not be reached: the USB device is not open or was "
                                        "disconnected. Check the cable and choose Scan And Link again."));
        return;
    }
    if (wait == WaitResult::TimedOut) {
        endFailedRequest(QStringLiteral("device information request: no answer within %1 ms").arg(answerTimeoutMs),
                         QStringLiteral("The pedal did not answer the device information request. Check that the "
                                        "pedal is powered and connected, then press Request."));
        return;
    }
    if (ReplyBytes.size() < CompleteAnswerValues) {
        endFailedRequest(QStringLiteral("device information request: incomplete answer, %1 of %2 values")
                             .arg(ReplyBytes.size())
                             .arg(CompleteAnswerValues),
                         QStringLiteral("The pedal's answer was incomplete (%1 of %2 values), so nothing was read "
                                        "back. Check the USB connection, then press Request.")
                             .arg(ReplyBytes.size())
                             .arg(CompleteAnswerValues));
        return;
    }

    const auto at = [this](int i) { return quint8(ReplyBytes[i]); };
    DeviceFirmwareText = QString::number(at(0));
    firmwareLabel = QStringLiteral("Device Firmware: ") + DeviceFirmwareText;
    m_log->WriteLogLine(QStringLiteral("Firmware Version: ") + DeviceFirmwareText);
    DeviceAlgorithmText = hexNumber(at(1), 2) + hexNumber(at(2), 2);
    m_log->WriteLogLine(QStringLiteral("Algorithm version: ") + DeviceAlgorithmText);
    algorithmLabel = QStringLiteral("Device Algorithm: ") + DeviceAlgorithmText;
    emit labelsChanged();
    m_log->WriteLogLine(QStringLiteral("Current device firmware: ") + DeviceFirmwareText);
    m_log->WriteLogLine(QStringLiteral("Most recent firmware: %1").arg(LatestFirmwareNumber));
    DeviceEffectNumberText = hexNumber(at(3), 2);
    m_log->WriteLogLine(QStringLiteral("Effect Number: ") + DeviceEffectNumberText);

    if (DeviceFirmwareText.toInt() < LatestFirmwareNumber) {
        emit effectWindowCloseRequested();
        m_prompts->message(QStringLiteral("A firmware upgrade is required. Upgrade to Firmware %1").arg(LatestFirmwareNumber));
        m_prompts->message(QStringLiteral(
            "If current firmware is below 9 follow legacy firmware upgrade mode:\r\n"
            "1) close editor application and disconnect pedal from USB\r\n"
            "2) hold shift button while connecting pedal to USB\r\n"
            "3) start application, check Firmware Upgrade Mode in Firmware Upgrade menu\r\n"
            "4) clink Link under Connection menu\r\n"
            "5) go to Firmware Upgrade menu again and select Firmware Upgrade\r\n"
            "\r\n"
            "If current firmware is 9 or above go to Firmware Upgrade menu and follow instructions."));
        setGate(GateState::FirmwareTooOld);
        return;
    }
    setGate(GateState::RequestPassed);

    QString error;
    int algorithm = 0;
    if (!decimalValue(DeviceAlgorithmText, &algorithm, &error)) {
        m_log->WriteLogLine(error);
        m_prompts->message(error);
        return;
    }
    int effect = 0;
    if (algorithm < LatestAlgorithmNumber) {
        emit effectWindowCloseRequested();
        m_prompts->message(QStringLiteral("Upload the latest version of Quarnelo MK3 algorithm:\r\nUpload Quarnelo MK3 00%1")
                               .arg(LatestAlgorithmNumber));
        if (decimalValue(DeviceEffectNumberText, &effect, &error))
            emit effectSelected(effect);
        setGate(GateState::AlgorithmTooOld);
        return;
    }
    if (!decimalValue(DeviceEffectNumberText, &effect, &error)) {
        m_log->WriteLogLine(error);
        m_prompts->message(error);
        return;
    }
    emit effectSelected(effect);
    emit openEffectWindowRequested();
    emit readBacksRequested();
    setGate(GateState::RequestPassed);
    RequestInProgress = false;
    Timer_USB_Read->start();
}
