#include "pedal/Uploads.h"

#include "algorithms/EffectList.h"
#include "algorithms/StandInImages.h"
#include "algorithms/Tunings.h"
#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "device/PedalMessages.h"
#include "support/BoundedFile.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"
#include "support/Prompts.h"

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

Uploads::Uploads(DiagnosticLog &log, Prompts &prompts, Clock &clock, D2XXUnit &d2xx, Communication &comm,
                 QObject *parent)
    : QObject(parent), m_log(log), m_prompts(prompts), m_clock(clock), m_d2xx(d2xx), m_comm(comm)
{
    checkTimer = clock.createTimer(this);
    checkTimer->setInterval(5000);
    connect(checkTimer, &ClockTimer::timeout, this, [this] { setStatus(QStringLiteral("Upload Failed")); });
}

void Uploads::setStatus(const QString &text)
{
    status = text;
    emit statusChanged(text);
}

Task<> Uploads::tell(QString message)
{
    co_await m_prompts.tell(message);
}

void Uploads::resumePoll()
{
    if (m_comm.linked() && !m_comm.firmwareUpgradeMode())
        m_comm.startPoll();
}

Task<bool> Uploads::refuseStandIn(QByteArray image)
{
    if (!StandInImages::isStandIn(image) || !m_comm.linkedToRealPedal())
        co_return false;
    m_log.writeLogLine(QStringLiteral("upload refused: stand-in image and a real pedal"));
    co_await tell(QStringLiteral("This algorithm image is a stand-in, made for tests and the simulated pedal; it is not the "
                        "maker's algorithm. It is not written into a real pedal. Nothing was sent."));
    co_return true;
}

Task<Uploads::Result> Uploads::uploadCarriedImage(QString effectName, QStringList *resourceLines,
                                                  std::function<Task<bool>()> confirm)
{
    Busy busy(m_uploading);
    m_log.writeLogLine(QStringLiteral("********************UPLOAD********************"));
    m_comm.stopPoll();
    const bool upload = co_await m_prompts.ask(Question);
    if (!upload) {
        resumePoll();
        co_return Result::Cancelled;
    }

    // The image is checked whole before anything reaches the pedal.
    const QString resource = HexCodec::effectNameToResourceName(effectName);
    QStringList lines;
    QString error;
    if (effectName.isEmpty() || !EffectList::loadResourceToList(resource, &lines, &error)) {
        m_log.writeLogLine(QStringLiteral("upload stopped: no image for '%1'").arg(effectName));
        const QString why = error.isEmpty() ? QStringLiteral("no effect is selected") : error;
        const QString text = QStringLiteral("Error loading resource: ") + why + QStringLiteral(". Nothing was sent.");
        co_await tell(text);
        resumePoll();
        co_return Result::Refused;
    }
    const QString text = lines.value(0);
    const int len = int(text.size() / 2);
    const QByteArray image = HexCodec::hexTextToBytes(text, &error);
    if (!error.isEmpty() || len == 0 || len > MaxImageBytes) {
        m_log.writeLogLine(QStringLiteral("upload stopped: the image of '%1' is damaged").arg(effectName));
        co_await tell(QStringLiteral("The algorithm image of %1 is damaged. Nothing was sent.").arg(effectName));
        resumePoll();
        co_return Result::Refused;
    }
    const bool standIn = co_await refuseStandIn(image);
    if (standIn) {
        resumePoll();
        co_return Result::Refused;
    }
    bool backedUp = true;
    if (beforeWriting)
        backedUp = co_await beforeWriting();
    if (!backedUp) {
        resumePoll();
        co_return Result::Cancelled;
    }

    m_comm.sendMessage(PedalMessages::bypass(true));
    co_await m_clock.pause(40);
    m_d2xx.ReportDeviceErrors = true;
    checkTimer->start();
    *resourceLines = lines;
    m_log.writeLogLine(QStringLiteral("resource name: ") + resource);
    m_log.writeLogLine(QStringLiteral("size: %1").arg(len));
    m_log.writeLogLine(QStringLiteral("filecontent (first 128 bytes): ") + text.left(256));
    m_log.writeLogLine(QStringLiteral("num of bytes: %1").arg(image.size()));
    co_await m_comm.finishArrivingDump();
    m_d2xx.PurgeFTDeviceRX(); // what came before is no answer to this image
    m_comm.writeBytes(image);
    m_log.writeLogLine(QStringLiteral("write to device"));
    setStatus(QStringLiteral("Uploading..."));

    const Result waited = co_await finishWait(co_await waitForAnswer(false));
    if (waited != Result::Done)
        co_return waited;
    checkTimer->stop(); // answered: "Upload Failed" must not follow during the check
    const bool confirmed = !confirm || co_await confirm();
    resumePoll();
    co_return confirmed ? Result::Done : Result::Unconfirmed;
}

Task<Uploads::Result> Uploads::chooseAndUploadFile()
{
    const QString path = co_await m_prompts.askFileToOpen(QStringLiteral("Open"), QStringLiteral("Dat files (*.dat)"), lastFolder);
    if (path.isEmpty())
        co_return Result::Cancelled;
    co_return co_await uploadFile(path);
}

Task<Uploads::Result> Uploads::uploadFile(QString path)
{
    Busy busy(m_uploading);
    const bool upload = co_await m_prompts.ask(Question);
    if (!upload)
        co_return Result::Cancelled;

    // Read and check the whole file first: a truncated or foreign file is never sent.
    QByteArray image;
    QString message;
    if (!readImageFile(path, &image, &message)) {
        co_await tell(message);
        co_return Result::Refused;
    }
    const bool standIn = co_await refuseStandIn(image);
    if (standIn)
        co_return Result::Refused;
    bool backedUp = true;
    if (beforeWriting)
        backedUp = co_await beforeWriting();
    if (!backedUp)
        co_return Result::Cancelled;

    m_comm.sendMessage(PedalMessages::bypass(true));
    co_await m_clock.pause(400);
    m_d2xx.ReportDeviceErrors = true;
    m_comm.stopPoll();
    checkTimer->start();
    lastFolder = QFileInfo(path).absolutePath();
    m_log.writeLogLine(QStringLiteral("Opening - ") + QFileInfo(path).absoluteFilePath());
    co_await m_comm.finishArrivingDump();
    m_d2xx.PurgeFTDeviceRX(); // what came before is no answer to this image
    const quint32 written = m_comm.writeBytes(image);
    m_log.writeLogLine(QStringLiteral("%1 Bytes Sent ...").arg(written));

    const Result waited = co_await finishWait(co_await waitForAnswer(true));
    if (waited != Result::Done)
        co_return waited;
    checkTimer->stop();
    resumePoll();
    co_return Result::Done;
}

bool Uploads::readImageFile(const QString &path, QByteArray *image, QString *message)
{
    const QString name = QFileInfo(path).fileName();
    const BoundedFile file = BoundedFile::read(path, MaxImageBytes);
    switch (file.status) {
    case BoundedFile::NotRegular:
        *message = QStringLiteral("%1 is %2, not an algorithm image. Nothing was sent.").arg(name, file.kind);
        return false;
    case BoundedFile::CannotOpen:
        *message = file.error;
        return false;
    case BoundedFile::TooLarge:
        *message = QStringLiteral("%1 is %2 bytes long; an algorithm image is at most %3 bytes. Nothing was sent.")
                       .arg(name)
                       .arg(file.size)
                       .arg(MaxImageBytes);
        return false;
    case BoundedFile::Read:
        break;
    }
    if (!checkImage(name, file.data, message))
        return false;
    *image = file.data;
    return true;
}

bool Uploads::checkImage(const QString &name, const QByteArray &data, QString *message)
{
    const int declared = data.size() >= 3 ? quint8(data[1]) * 256 + quint8(data[2]) : -1;
    if (declared != data.size()) {
        *message = QStringLiteral("%1 is not a complete algorithm image: it holds %2 bytes, its header says %3. Nothing "
                                  "was sent.")
                       .arg(name)
                       .arg(data.size())
                       .arg(declared < 0 ? QStringLiteral("nothing") : QString::number(declared));
        return false;
    }
    if (quint8(data[0]) != 0x00 || data.size() < HeaderBytes) {
        *message = QStringLiteral("%1 is not an algorithm image: an image starts with the byte 00 and holds at least "
                                  "its %2-byte header. Nothing was sent.")
                       .arg(name)
                       .arg(HeaderBytes);
        return false;
    }
    return true;
}

Task<Uploads::Result> Uploads::finishWait(Result waited)
{
    if (waited == Result::Done)
        co_return waited;
    checkTimer->stop();
    setStatus(QStringLiteral("Upload Failed"));
    if (waited == Result::NoAnswer) {
        m_log.writeLogLine(QStringLiteral("upload: no answer from the pedal within %1 s").arg(answerLimitMs / 1000));
        resumePoll();
        co_await tell(QStringLiteral("The pedal did not answer the upload within %1 seconds. Check the pedal and its "
                            "connection, then upload again.")
                 .arg(answerLimitMs / 1000));
    } else {
        m_log.writeLogLine(QStringLiteral("upload: the USB device could not be read"));
    }
    co_return waited;
}

Task<Uploads::Result> Uploads::waitForAnswer(bool logCounts)
{
    // While the answer is awaited no request may send 02 00 and take the answer for its own.
    const bool owned = m_comm.tryBeginExchange(QStringLiteral("upload answer wait"));
    struct Release {
        Communication &c;
        bool owned;
        ~Release()
        {
            if (owned)
                c.endExchange();
        }
    } release{m_comm, owned};

    const qint64 deadline = m_clock.nowMs() + answerLimitMs;
    const Communication::WaitResult first = co_await m_comm.waitForFirstByte(answerLimitMs);
    switch (first) {
    case Communication::WaitResult::DeviceFailed: co_return Result::DeviceFailed;
    case Communication::WaitResult::TimedOut: co_return Result::NoAnswer;
    case Communication::WaitResult::Answered: break;
    }
    // Gather the answer (17 bytes) over as many reads as it takes; each read is shown.
    QByteArray answer;
    qint64 lastByteAt = m_clock.nowMs();
    for (;;) {
        co_await m_clock.activity(0);
        const quint32 n = m_d2xx.ReadFTDeviceBuffer(D2XXUnit::BufferSize);
        if (logCounts)
            m_log.writeLogLine(QStringLiteral("num of bytes received from device: %1").arg(n));
        if (n > 0) {
            answer.append(reinterpret_cast<const char *>(m_d2xx.FTReceiveBuffer.data()), int(n));
            const QString text = QString::fromLatin1(answer.left(17));
            m_log.writeLogLine(QStringLiteral("received: ") + text);
            setStatus(text);
            lastByteAt = m_clock.nowMs();
            if (lastByteAt < deadline)
                continue; // a line that never falls quiet ends at the time limit
        }
        if (m_d2xx.FTLastIOStatus != 0 || answer.size() >= 17 || m_clock.nowMs() - lastByteAt >= 50)
            break;
        co_await m_clock.activity(10);
    }
    co_return Result::Done;
}

Task<Uploads::Result> Uploads::uploadTuningData()
{
    const QString data = Tunings::buildTuningData(&m_log);
    const bool upload = co_await m_prompts.ask(QStringLiteral("Upload Tuning Data?"));
    if (!upload)
        co_return Result::Cancelled;
    m_comm.sendMessage(PedalMessages::bypass(true));
    co_await m_clock.pause(400);
    const QByteArray message = PedalMessages::tuningData(data);
    m_log.writeLogLine(QStringLiteral("num_of_bytes: %1").arg(message.size()));
    m_d2xx.PurgeFTDeviceTX();
    m_comm.sendMessage(message);
    co_await m_clock.pause(100);
    co_return Result::Done;
}
