#include "device/Bootloader.h"

#include "device/Communication.h"
#include "device/D2XXUnit.h"
#include "device/HexCodec.h"
#include "support/Clock.h"
#include "support/DiagnosticLog.h"

#include <algorithm>

using HexCodec::hexNumber;

Bootloader::Bootloader(DiagnosticLog &log, D2XXUnit &d2xx, Communication &comm)
    : m_log(log), m_d2xx(d2xx), m_comm(comm)
{
}

QByteArray Bootloader::addressFrame(quint32 address)
{
    QByteArray f;
    for (int shift = 24; shift >= 0; shift -= 8)
        f.append(char((address >> shift) & 0xFF));
    f.append(char(quint8(f[0]) ^ quint8(f[1]) ^ quint8(f[2]) ^ quint8(f[3])));
    return f;
}

QByteArray Bootloader::dataFrame(const QByteArray &data)
{
    QByteArray f;
    quint8 x = quint8(data.size() - 1);
    f.append(char(x));
    f.append(data);
    for (char c : data)
        x ^= quint8(c);
    f.append(char(x));
    return f;
}

QByteArray Bootloader::firmwareRecord(int number)
{
    QByteArray data(8, '\0');
    data[7] = char(quint8(number));
    return dataFrame(data);
}

QString Bootloader::describe(Answer answer)
{
    switch (answer) {
    case Answer::Ack: return QStringLiteral("ACK");
    case Answer::Nack: return QStringLiteral("the bootloader refused it (NACK)");
    case Answer::Other: return QStringLiteral("the bootloader's answer was garbled (neither ACK nor NACK)");
    case Answer::NoAnswer: return QStringLiteral("the bootloader did not answer in time");
    case Answer::DeviceFailed: return QStringLiteral("the pedal could not be reached (unplugged?)");
    }
    return QString();
}

Bootloader::Answer Bootloader::note(Answer a)
{
    m_problem = a == Answer::Ack ? QString() : describe(a);
    m_last = a;
    return a;
}

bool Bootloader::write(const QByteArray &bytes)
{
    std::copy_n(bytes.constData(), bytes.size(), m_d2xx.FTTransmitBuffer.begin());
    const quint32 written = m_d2xx.WriteFTDeviceBuffer(quint32(bytes.size()));
    return m_d2xx.FTLastIOStatus == 0 && written == quint32(bytes.size());
}

Task<Bootloader::Answer> Bootloader::waitForAck(int timeoutMs)
{
    Communication::WaitResult result = Communication::WaitResult::TimedOut;
    const QString text = co_await m_comm.readReplyText(timeoutMs < 0 ? byteTimeoutMs : timeoutMs, &result);
    m_log.addConsoleLine(QStringLiteral("received: ") + text);
    if (text == QLatin1String("79")) {
        m_log.addConsoleLine(QStringLiteral("ACK"));
        co_return note(Answer::Ack);
    }
    if (text == QLatin1String("1F")) {
        m_log.addConsoleLine(QStringLiteral("NOT ACK"));
        co_return note(Answer::Nack);
    }
    if (!text.isEmpty()) {
        const Answer a = note(Answer::Other);
        m_problem = QStringLiteral("the bootloader's answer was garbled (0x%1, neither ACK nor NACK)").arg(text);
        co_return a;
    }
    if (result == Communication::WaitResult::DeviceFailed || !m_comm.linked())
        co_return note(Answer::DeviceFailed);
    co_return note(Answer::NoAnswer);
}

Task<bool> Bootloader::sendSyncByte(QString *text, Communication::WaitResult *result, QString *answerText)
{
    if (!write(QByteArray(1, char(0x7F))))
        co_return false;
    *text = co_await m_comm.readReplyText(byteTimeoutMs, result);
    if (answerText)
        *answerText = *text;
    co_return true;
}

Task<Bootloader::Answer> Bootloader::synchronise(QString *answerText)
{
    m_comm.setLineSettings(Communication::BootloaderLine);
    m_d2xx.SetFTDeviceDataCharacteristics();
    m_d2xx.PurgeFTDeviceRX(); // what the running firmware said last is not the bootloader's answer
    const bool wasLinked = m_comm.linked();
    Communication::WaitResult result = Communication::WaitResult::TimedOut;
    QString text;
    const auto gone = [&] { return result == Communication::WaitResult::DeviceFailed || (wasLinked && !m_comm.linked()); };
    const auto other = [&] {
        note(Answer::Other);
        m_problem = QStringLiteral("its answer to 0x7F was garbled (0x%1, neither ACK nor NACK)").arg(text);
        return Answer::Other;
    };
    const bool sentFirst = co_await sendSyncByte(&text, &result, answerText);
    if (!sentFirst)
        co_return note(Answer::DeviceFailed);
    if (text == QLatin1String("79"))
        co_return note(Answer::Ack);
    if (text == QLatin1String("1F")) {
        // A bootloader synchronised before took 0x7F as the second byte of a command it had
        // begun. Whether it listens, its answer to Get Version tells.
        m_log.writeLogLine(QStringLiteral("the bootloader refused 0x7F: it was synchronised before (its last connection "
                                          "was not closed properly)"));
        co_return co_await confirmListening();
    }
    if (!text.isEmpty())
        co_return other();
    if (gone())
        co_return note(Answer::DeviceFailed);
    // Silence: a bootloader synchronised before takes 0x7F as the first byte of a command and
    // waits for its complement. A second 0x7F is no complement: it must be refused.
    m_log.writeLogLine(QStringLiteral("no answer to 0x7F: sending it again, a bootloader synchronised before refuses it"));
    const bool sentSecond = co_await sendSyncByte(&text, &result, answerText);
    if (!sentSecond)
        co_return note(Answer::DeviceFailed);
    if (text == QLatin1String("1F")) {
        m_log.writeLogLine(QStringLiteral("the bootloader refused the second 0x7F: it was synchronised before"));
        co_return co_await confirmListening();
    }
    if (text == QLatin1String("79")) {
        // The first 0x7F was lost on the way and the second one synchronised the bootloader; or
        // the first one's acknowledge came late and the second 0x7F is a command's first byte.
        // Get Version tells which: answered whole, the bootloader listens.
        m_log.writeLogLine(QStringLiteral("the second 0x7F was acknowledged: asking Get Version whether the bootloader "
                                          "listens"));
        const Answer listens = co_await confirmListening();
        if (listens == Answer::Ack || listens == Answer::DeviceFailed)
            co_return listens;
        note(Answer::Other);
        m_problem = QStringLiteral("its answer to 0x7F came late (after more than %1 ms)").arg(byteTimeoutMs);
        co_return Answer::Other;
    }
    if (!text.isEmpty())
        co_return other();
    co_return note(gone() ? Answer::DeviceFailed : Answer::NoAnswer);
}

Task<Bootloader::Answer> Bootloader::confirmListening()
{
    // Get Version: ACK, the version, two option bytes, ACK.
    if (!write(QByteArray::fromHex("01FE")))
        co_return note(Answer::DeviceFailed);
    QByteArray answer;
    const Communication::WaitResult result = co_await m_comm.readExactly(5, byteTimeoutMs, &answer);
    if (result == Communication::WaitResult::DeviceFailed) {
        m_d2xx.PurgeFTDeviceRX();
        co_return note(Answer::DeviceFailed);
    }
    if (result == Communication::WaitResult::Answered && quint8(answer[0]) == AckByte && quint8(answer[4]) == AckByte) {
        m_log.writeLogLine(QStringLiteral("bootloader version %1: it listens; going on").arg(hexNumber(quint8(answer[1]), 2)));
        co_return note(Answer::Ack);
    }
    m_d2xx.PurgeFTDeviceRX();
    if (!answer.isEmpty() && quint8(answer[0]) == NackByte) {
        note(Answer::Nack);
        m_problem = QStringLiteral("it refuses every command (NACK)");
        co_return Answer::Nack;
    }
    note(answer.isEmpty() ? Answer::NoAnswer : Answer::Other);
    m_problem = answer.isEmpty() ? QStringLiteral("it did not answer Get Version")
                                 : QStringLiteral("its answer to Get Version was garbled (%1)")
                                       .arg(HexCodec::bytesToHexText(answer));
    co_return m_last;
}

Task<Bootloader::Answer> Bootloader::commandWithAddress(quint8 code, quint32 address, bool addressByteByByte)
{
    if (!write(QByteArray(1, char(code))) || !write(QByteArray(1, char(quint8(~code)))))
        co_return note(Answer::DeviceFailed);
    const Answer a = co_await waitForAck();
    if (a != Answer::Ack)
        co_return a;
    const QByteArray frame = addressFrame(address);
    m_log.writeLogLine(QStringLiteral("SEND ADDRESS + CHECKSUM"));
    m_log.writeLogLine(QStringLiteral("Address: ") + hexNumber(address, 8));
    m_log.writeLogLine(QStringLiteral("address checksum: ") + hexNumber(quint8(frame[4]), 2));
    if (addressByteByByte) {
        for (char c : frame) {
            if (!write(QByteArray(1, c)))
                co_return note(Answer::DeviceFailed);
        }
    } else if (!write(frame)) {
        co_return note(Answer::DeviceFailed);
    }
    co_return co_await waitForAck();
}

Task<Bootloader::Answer> Bootloader::sendWriteCommand()
{
    m_log.writeLogLine(QStringLiteral("SEND WRITE COMMAND"));
    co_return co_await commandWithAddress(0x31, currentAddress, false);
}

Task<Bootloader::Answer> Bootloader::eraseFlash()
{
    m_log.addConsoleLine(QStringLiteral("Start Erase Command"));
    if (!write(QByteArray::fromHex("43BC")))
        co_return note(Answer::DeviceFailed);
    const Answer a = co_await waitForAck();
    if (a != Answer::Ack)
        co_return a;
    if (!write(QByteArray::fromHex("FF00")))
        co_return note(Answer::DeviceFailed);
    co_return co_await waitForAck(eraseTimeoutMs);
}

Task<Bootloader::Answer> Bootloader::writeBlock(quint32 address, QByteArray data)
{
    currentAddress = address;
    Answer a = co_await sendWriteCommand();
    if (a != Answer::Ack)
        co_return a;
    const QByteArray frame = dataFrame(data);
    const int count = int(data.size());
    m_log.writeLogLine(QStringLiteral("SEND N BYTE + DATA + CHECKSUM"));
    m_log.writeLogLine(QStringLiteral("N_byte: ") + hexNumber(quint8(frame[0]), 2));
    if (!write(frame.left(1)))
        co_return note(Answer::DeviceFailed);
    m_log.writeLogLine(QStringLiteral("chunk size: %1").arg(count));
    if (!write(data))
        co_return note(Answer::DeviceFailed);
    m_log.writeLogLine(QStringLiteral("data checksum: ") + hexNumber(quint8(frame[count + 1]), 2));
    if (!write(frame.right(1)))
        co_return note(Answer::DeviceFailed);
    a = co_await waitForAck();
    if (a != Answer::Ack)
        co_return a;
    currentAddress += quint32(count);
    m_log.writeLogLine(QString());
    if (m_comm.pollRunning())
        m_log.writeLogLine(QStringLiteral("TIMER IS ON!!!!!!!!!!!"));
    m_log.writeLogLine(QString());
    co_return a;
}

Task<Bootloader::Answer> Bootloader::writeFirmwareNumber(int number)
{
    currentAddress = RecordAddress;
    const Answer a = co_await sendWriteCommand();
    if (a != Answer::Ack)
        co_return a;
    const QByteArray frame = firmwareRecord(number);
    for (char c : frame) {
        if (!write(QByteArray(1, c)))
            co_return note(Answer::DeviceFailed);
    }
    co_return co_await waitForAck();
}

Task<Bootloader::Answer> Bootloader::readMemory(quint32 address, int count, QByteArray *data)
{
    data->clear();
    if (!write(QByteArray::fromHex("11EE")))
        co_return note(Answer::DeviceFailed);
    Answer a = co_await waitForAck();
    if (a != Answer::Ack)
        co_return a;
    if (!write(addressFrame(address)))
        co_return note(Answer::DeviceFailed);
    a = co_await waitForAck();
    if (a != Answer::Ack)
        co_return a;
    const quint8 n = quint8(count - 1);
    if (!write(QByteArray(1, char(n)) + char(quint8(~n))))
        co_return note(Answer::DeviceFailed);
    QByteArray answer;
    const auto result = co_await m_comm.readExactly(1 + count, byteTimeoutMs, &answer);
    if (!answer.isEmpty() && quint8(answer[0]) != AckByte) {
        m_d2xx.PurgeFTDeviceRX();
        co_return note(quint8(answer[0]) == NackByte ? Answer::Nack : Answer::Other);
    }
    if (result != Communication::WaitResult::Answered) {
        m_d2xx.PurgeFTDeviceRX();
        if (result == Communication::WaitResult::DeviceFailed || !m_comm.linked())
            co_return note(Answer::DeviceFailed);
        note(Answer::NoAnswer);
        m_problem = QStringLiteral("the bootloader sent %1 of %2 bytes").arg(std::max<qsizetype>(0, answer.size() - 1)).arg(count);
        co_return Answer::NoAnswer;
    }
    *data = answer.mid(1);
    co_return note(Answer::Ack);
}

Task<Bootloader::Answer> Bootloader::go(quint32 address)
{
    m_log.writeLogLine(QString());
    m_log.writeLogLine(QStringLiteral("SEND GO COMMAND"));
    currentAddress = address;
    co_return co_await commandWithAddress(0x21, address, true);
}
