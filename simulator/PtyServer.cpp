#include "simulator/PtyServer.h"

#include <algorithm>

#include "support/Prompts.h"
#include "support/Clock.h"
#include "device/HexCodec.h"
#include "simulator/SimulatedPedal.h"

#include <QDateTime>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyServer::PtyServer(SimulatedPedal *pedal, Clock *clock, QObject *parent)
    : QObject(parent), m_pedal(pedal), m_clock(clock)
{
    m_sender.setSingleShot(true);
    m_sender.setTimerType(Qt::PreciseTimer);
    connect(&m_sender, &QTimer::timeout, this, &PtyServer::sendDue);
    m_reader.setSingleShot(true);
    m_reader.setTimerType(Qt::PreciseTimer);
    connect(&m_reader, &QTimer::timeout, this, &PtyServer::readPaced);
    pedal->inputPacedByLine = true;
    m_pedal->onMessage = [this](const SimulatedPedal::Message &m) {
        const QString hex = HexCodec::bytesToHexText(m.bytes);
        if (m_record.isOpen()) {
            const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + hex + QLatin1Char('\n');
            m_record.write(line.toUtf8());
            m_record.flush();
        }
        if (verbose) {
            QTextStream(stdout) << "received: " << hex << Qt::endl;
        }
    };
}

PtyServer::~PtyServer()
{
    m_notifier.reset();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyServer::open(QString *path, QString *error)
{
    char name[256] = {};
    struct termios raw;
    std::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    *path = QString::fromLocal8Bit(name);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyServer::onReadable);
    return true;
}

bool PtyServer::setRecordFile(const QString &path, QString *error)
{
    m_record.setFileName(path);
    if (!m_record.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = m_record.errorString();
        return false;
    }
    return true;
}

void PtyServer::onReadable()
{
    // Bytes written after a quiet spell start on the wire now: the first of them arrives one
    // byte time later, the next ones follow at the wire's rate.
    const double now = double(m_clock->nowUs());
    if (!m_reader.isActive() && now - m_lastReadUs > 2000)
        m_wireUntilUs = std::max(m_wireUntilUs, now);
    readPaced();
}

void PtyServer::readPaced()
{
    unsigned char buffer[4096];
    if (m_notifier)
        m_notifier->setEnabled(true);
    for (;;) {
        int want = int(sizeof buffer);
        if (m_pedal->wireTiming) {
            // The pedal takes in no more than the wire could have carried; while the
            // pseudo-terminal's buffer is full, the writer waits.
            const double now = double(m_clock->nowUs());
            const double byteUs = m_pedal->byteUs();
            want = std::min(want, int((now - m_wireUntilUs) / byteUs));
            if (want <= 0) {
                if (m_notifier)
                    m_notifier->setEnabled(false);
                m_reader.start(std::max(1, int((m_wireUntilUs + byteUs - now + 999) / 1000)));
                break;
            }
        }
        const ssize_t n = ::read(m_master, buffer, size_t(want));
        if (n <= 0)
            break;
        m_wireUntilUs += double(n) * m_pedal->byteUs();
        m_lastReadUs = double(m_clock->nowUs());
        m_pedal->receive(buffer, int(n));
        if (m_pedal->unplugged()) {
            // Pulled out: the line goes dead for whoever has it open.
            m_notifier.reset();
            m_sender.stop();
            m_reader.stop();
            ::close(m_master);
            ::close(m_slave);
            m_master = m_slave = -1;
            emit unplugged();
            return;
        }
    }
    sendDue();
}

void PtyServer::sendDue()
{
    // Bytes the pedal has sent that the pseudo-terminal did not take yet (its buffer is full
    // while the client does not read) are kept and offered again on the next tick.
    unsigned char buffer[4096];
    // A millisecond timer wakes up to half a millisecond early or late: bytes due within that
    // half go now, so on average they leave on time.
    constexpr qint64 RoundingUs = 500;
    while (m_pedal->available(RoundingUs) > 0 && m_unsent.size() < 65536) {
        const int n = m_pedal->take(buffer, int(sizeof buffer), RoundingUs);
        m_unsent.append(reinterpret_cast<const char *>(buffer), n);
    }
    while (!m_unsent.isEmpty()) {
        const ssize_t w = ::write(m_master, m_unsent.constData(), size_t(m_unsent.size()));
        if (w <= 0)
            break;
        m_unsent.remove(0, qsizetype(w));
    }
    // Wake again when the next byte is due (or soon, while the client does not read).
    const qint64 dueUs = m_pedal->nextDueInUs();
    if (!m_unsent.isEmpty())
        m_sender.start(1);
    else if (dueUs >= 0)
        m_sender.start(int((dueUs + RoundingUs) / 1000));
}
