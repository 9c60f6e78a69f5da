#pragma once
// The pedal microcontroller's serial bootloader (the STM32 system-memory bootloader's USART
// protocol): synchronisation, global erase, Write Memory, Read Memory, the firmware number
// record and Go, each frame byte for byte with its log lines. Every answer has a time limit,
// and every operation says how it ended; what to do next is the caller's choice.

#include <QByteArray>
#include <QString>

#include "support/Task.h"

#include "device/Communication.h"

class D2XXUnit;
class DiagnosticLog;

class Bootloader {
public:
    enum class Answer {
        Ack,          // 0x79
        Nack,         // 0x1F
        Other,        // some other byte
        NoAnswer,     // nothing within the time limit
        DeviceFailed, // the device could not be written or read (unplugged)
    };
    static constexpr quint8 AckByte = 0x79;
    static constexpr quint8 NackByte = 0x1F;
    static constexpr quint32 FlashBase = 0x08000000;
    static constexpr quint32 RecordAddress = 0x0801FC00;

    Bootloader(DiagnosticLog &log, D2XXUnit &d2xx, Communication &comm);

    int byteTimeoutMs = 1000;   // an answer byte
    int eraseTimeoutMs = 10000; // the global erase of a 128 KiB part

    // Frames.
    static QByteArray addressFrame(quint32 address);   // 4 address bytes, most significant first, then their XOR
    static QByteArray dataFrame(const QByteArray &data); // N = count - 1, the data, N XOR every data byte
    static QByteArray firmwareRecord(int number);      // the data frame of 00 00 00 00 00 00 00 n

    // Switches the line to the bootloader's settings (8E1), writes 0x7F and reads the answer.
    // Ack when the bootloader listens: it acknowledged; or it refused the byte because it was
    // synchronised before (it took 0x7F as a command's second byte; or, after silence, a
    // second 0x7F as the complement of the first) and then answers Get Version. Nack: it
    // refuses everything. An acknowledge of the second 0x7F after silence: the first was lost
    // when Get Version then shows the bootloader listens (Ack), else it came late (Other). Any
    // other byte is a garbled answer (Other). answerText: the last answer to 0x7F as two hex
    // digits (empty: none).
    Task<Answer> synchronise(QString *answerText = nullptr);
    // Reads one answer; logs "received: " and "ACK" / "NOT ACK".
    Task<Answer> waitForAck(int timeoutMs = -1);
    Task<Answer> eraseFlash();
    // Write Memory of one block (1 to 256 bytes) at address.
    Task<Answer> writeBlock(quint32 address, QByteArray data);
    Task<Answer> writeFirmwareNumber(int number);
    // Read Memory of count bytes (1 to 256) at address into data.
    Task<Answer> readMemory(quint32 address, int count, QByteArray *data);
    Task<Answer> go(quint32 address = FlashBase);

    // The address the next Write Memory goes to.
    quint32 currentAddress = FlashBase;
    // What the last operation saw, for messages: "no answer", "NACK", "answer 0x42", ...
    QString lastProblem() const { return m_problem; }
    Answer lastAnswer() const { return m_last; }
    static QString describe(Answer answer);

private:
    bool write(const QByteArray &bytes);
    // Writes 0x7F and reads the answer into text (and answerText); false when it could not be written.
    Task<bool> sendSyncByte(QString *text, Communication::WaitResult *result, QString *answerText);
    Task<Answer> sendWriteCommand();
    // A command (its code, then the complement), then the address frame, each acknowledged.
    Task<Answer> commandWithAddress(quint8 code, quint32 address, bool addressByteByByte);
    Answer note(Answer a);
    // After a refused 0x7F: Get Version, answered whole.
    Task<Answer> confirmListening();

    DiagnosticLog &m_log;
    D2XXUnit &m_d2xx;
    Communication &m_comm;
    QString m_problem;
    Answer m_last = Answer::Ack;
};
