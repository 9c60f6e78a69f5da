#include "algorithms/Uploads.h"

#include "algorithms/EffectList.h"
#include "algorithms/StandInImages.h"
#include "algorithms/Tunings.h"
#include "pedal/EditorCore.h"
#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString Question = QStringLiteral("Upload the selected algorithm?");

// Marks an upload as under way for as long as it lives.
struct Busy {
    explicit Busy(bool &flag) : f(flag) { f = true; }
    ~Busy() { f = false; }
    bool &f;
};
} // namespace

Uploads::Uploads(EditorCore &ctx, QObject *parent) : QObject(parent), m_ctx(ctx)
{
    UploadCheckTimer = ctx.clock->createTimer(this);
    UploadCheckTimer->setInterval(5000);
    connect(UploadCheckTimer, &ClockTimer::timeout, this, [this] { setStatus(QStringLiteral("Upload Failed")); });
}

bool Uploads::busy(const QString &what)
{
    if (!m_uploading && !m_ctx.comm.exchangeBusy())
        return false;
    m_ctx.log.WriteLogLine(what + QStringLiteral(" ignored: an exchange with the pedal is under way"));
    return true;
}

void Uploads::setStatus(const QString &text)
{
    status = text;
    emit statusChanged(text);
}

void Uploads::tell(const QString &message)
{
    lastMessage = message;
    m_ctx.prompts->message(message);
}

void Uploads::resumePoll()
{
    if (m_ctx.comm.Linked && !m_ctx.comm.firmware_upgrade_mode)
        m_ctx.comm.Timer_USB_Read->start();
}

bool Uploads::refuseStandIn(const QByteArray &image)
{
    if (!StandInImages::isStandIn(image) || !m_ctx.comm.linkedToRealPedal())
        return false;
    m_ctx.log.WriteLogLine(QStringLiteral("upload refused: stand-in image and a real pedal"));
    tell(QStringLiteral("This algorithm image is a stand-in, made for tests and the simulated pedal; it is not the "
                        "maker's algorithm. It is not written into a real pedal. Nothing was sent."));
    return true;
}

Uploads::Result Uploads::btnUploadClick()
{
    if (busy(QStringLiteral("upload")))
        return Result::Refused;
    Busy busy(m_uploading);
    DiagnosticLog &log = m_ctx.log;
    Communication &comm = m_ctx.comm;
    log.WriteLogLine(QStringLiteral("********************UPLOAD********************"));
    comm.Timer_USB_Read->stop();
    if (!m_ctx.prompts->question(Question)) {
        resumePoll();
        return Result::Cancelled;
    }

    // The image is checked whole before anything reaches the pedal.
    const QString resource = HexCodec::effectNameToResourceName(m_ctx.SelectedEffectName);
    QStringList lines;
    QString error;
    if (m_ctx.SelectedEffectName.isEmpty() || !EffectList::LoadResourceToList(resource, &lines, &error)) {
        log.WriteLogLine(QStringLiteral("upload stopped: no image for '%1'").arg(m_ctx.SelectedEffectName));
        tell(QStringLiteral("Error loading resource: ") +
             (error.isEmpty() ? QStringLiteral("no effect is selected") : error) + QStringLiteral(". Nothing was sent."));
        resumePoll();
        return Result::Refused;
    }
    const QString text = lines.value(0);
    const int len = int(text.size() / 2);
    const QByteArray image = HexCodec::hexTextToBytes(text, &error);
    if (!error.isEmpty() || len == 0 || len > MaxImageBytes) {
        log.WriteLogLine(QStringLiteral("upload stopped: the image of '%1' is damaged").arg(m_ctx.SelectedEffectName));
        tell(QStringLiteral("The algorithm image of %1 is damaged. Nothing was sent.").arg(m_ctx.SelectedEffectName));
        resumePoll();
        return Result::Refused;
    }
    if (refuseStandIn(image)) {
        resumePoll();
        return Result::Refused;
    }

    comm.SendHexMessage(PedalMessages::bypass(true), 2);
    m_ctx.clock->pause(40);
    m_ctx.d2xx->ReportDeviceErrors = true;
    UploadCheckTimer->start();
    m_ctx.ResourceLines = lines;
    log.WriteLogLine(QStringLiteral("resource name: ") + resource);
    log.WriteLogLine(QStringLiteral("size: %1").arg(len));
    log.WriteLogLine(QStringLiteral("filecontent (first 128 bytes): ") + text.left(256));
    const int converted = HexCodec::hexTextToBuffer(text, m_ctx.d2xx->FTTransmitBuffer.data(), len);
    log.WriteLogLine(QStringLiteral("num of bytes: %1").arg(converted));
    m_ctx.d2xx->WriteFTDeviceBuffer(quint32(len));
    log.WriteLogLine(QStringLiteral("write to device"));
    setStatus(QStringLiteral("Uploading..."));

    const Result waited = finishWait(UploadReplyWait(false));
    if (waited != Result::Done)
        return waited;
    comm.RequestDeviceInformation();
    UploadCheckTimer->stop();
    resumePoll();
    return Result::Done;
}

Uploads::Result Uploads::menuLoadAlgorithmFromFileClick()
{
    if (busy(QStringLiteral("upload")))
        return Result::Refused;
    const QString path = m_ctx.prompts->openFile(QStringLiteral("Open"), QStringLiteral("Dat files (*.dat)"), lastFolder);
    if (path.isEmpty())
        return Result::Cancelled;
    return uploadFile(path);
}

Uploads::Result Uploads::uploadFile(const QString &path)
{
    if (busy(QStringLiteral("upload")))
        return Result::Refused;
    Busy busy(m_uploading);
    DiagnosticLog &log = m_ctx.log;
    if (!m_ctx.prompts->question(Question))
        return Result::Cancelled;

    // Read and check the whole file first: a truncated or foreign file is never sent.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        tell(f.errorString());
        return Result::Refused;
    }
    const qint64 size = f.size();
    if (size > MaxImageBytes) {
        tell(QStringLiteral("%1 is %2 bytes long; an algorithm image is at most %3 bytes. Nothing was sent.")
                 .arg(QFileInfo(path).fileName())
                 .arg(size)
                 .arg(MaxImageBytes));
        return Result::Refused;
    }
    const QByteArray image = f.read(MaxImageBytes);
    if (image.size() != size) {
        tell(f.errorString());
        return Result::Refused;
    }
    const int declared = image.size() >= 3 ? quint8(image[1]) * 256 + quint8(image[2]) : -1;
    if (declared != image.size()) {
        tell(QStringLiteral("%1 is not a complete algorithm image: it holds %2 bytes, its header says %3. Nothing was sent.")
                 .arg(QFileInfo(path).fileName())
                 .arg(image.size())
                 .arg(declared < 0 ? QStringLiteral("nothing") : QString::number(declared)));
        return Result::Refused;
    }
    if (refuseStandIn(image))
        return Result::Refused;

    m_ctx.comm.SendHexMessage(PedalMessages::bypass(true), 2);
    m_ctx.clock->pause(400);
    m_ctx.d2xx->ReportDeviceErrors = true;
    m_ctx.comm.Timer_USB_Read->stop();
    UploadCheckTimer->start();
    lastFolder = QFileInfo(path).absolutePath();
    log.WriteLogLine(QStringLiteral("Opening - ") + QFileInfo(path).absoluteFilePath());
    std::copy(image.begin(), image.end(), m_ctx.d2xx->FTTransmitBuffer.begin());
    const quint32 written = m_ctx.d2xx->WriteFTDeviceBuffer(quint32(image.size()));
    log.WriteLogLine(QStringLiteral("%1 Bytes Sent ...").arg(written));

    const Result waited = finishWait(UploadReplyWait(true));
    if (waited != Result::Done)
        return waited;
    UploadCheckTimer->stop();
    resumePoll();
    return Result::Done;
}

Uploads::Result Uploads::finishWait(Result waited)
{
    if (waited == Result::Done)
        return waited;
    UploadCheckTimer->stop();
    setStatus(QStringLiteral("Upload Failed"));
    if (waited == Result::NoAnswer) {
        m_ctx.log.WriteLogLine(QStringLiteral("upload: no answer from the pedal within %1 s").arg(answerLimitMs / 1000));
        resumePoll();
        tell(QStringLiteral("The pedal did not answer the upload within %1 seconds. Check the pedal and its "
                            "connection, then upload again.")
                 .arg(answerLimitMs / 1000));
    } else {
        m_ctx.log.WriteLogLine(QStringLiteral("upload: the USB device could not be read"));
    }
    return waited;
}

Uploads::Result Uploads::UploadReplyWait(bool logCounts)
{
    // While the answer is awaited no request may send 02 00 and take the answer for its own.
    const bool owned = m_ctx.comm.tryBeginExchange(QStringLiteral("upload answer wait"));
    struct Release {
        Communication &c;
        bool owned;
        ~Release()
        {
            if (owned)
                c.endExchange();
        }
    } release{m_ctx.comm, owned};

    D2XXUnit &d2xx = *m_ctx.d2xx;
    Clock &clock = *m_ctx.clock;
    const qint64 deadline = clock.nowMs() + answerLimitMs;
    switch (m_ctx.comm.waitForFirstByte(answerLimitMs)) {
    case Communication::WaitResult::DeviceFailed: return Result::DeviceFailed;
    case Communication::WaitResult::TimedOut: return Result::NoAnswer;
    case Communication::WaitResult::Answered: break;
    }
    // Gather the answer (17 bytes) over as many reads as it takes; each read is shown.
    QByteArray answer;
    qint64 lastByteAt = clock.nowMs();
    for (;;) {
        clock.waitForActivity(0);
        const quint32 n = d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (logCounts)
            m_ctx.log.WriteLogLine(QStringLiteral("num of bytes received from device: %1").arg(n));
        if (n > 0) {
            answer.append(reinterpret_cast<const char *>(d2xx.FTReceiveBuffer.data()), int(n));
            const QString text = QString::fromLatin1(answer.left(17));
            m_ctx.log.WriteLogLine(QStringLiteral("received: ") + text);
            setStatus(text);
            lastByteAt = clock.nowMs();
            if (lastByteAt < deadline)
                continue; // a line that never falls quiet ends at the time limit
        }
        if (d2xx.FTLastIOStatus != 0 || answer.size() >= 17 || clock.nowMs() - lastByteAt >= 50)
            break;
        clock.waitForActivity(10);
    }
    return Result::Done;
}

Uploads::Result Uploads::menuUploadTuningsDataClick()
{
    if (busy(QStringLiteral("tuning upload")))
        return Result::Refused;
    const QString data = Tunings::BuildTuningData(&m_ctx.log);
    if (!m_ctx.prompts->question(QStringLiteral("Upload Tuning Data?")))
        return Result::Cancelled;
    m_ctx.comm.SendHexMessage(PedalMessages::bypass(true), 2);
    m_ctx.clock->pause(400);
    const QString text = QStringLiteral("0E") + data;
    const int n = int(text.size() / 2);
    m_ctx.log.WriteLogLine(QStringLiteral("num_of_bytes: %1").arg(n));
    m_ctx.d2xx->PurgeFTDeviceTX();
    m_ctx.comm.SendHexMessage(text, n);
    m_ctx.clock->pause(100);
    return Result::Done;
}
