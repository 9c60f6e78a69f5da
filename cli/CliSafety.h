#pragma once
// The tool's guards against what comes from outside: output that reaches the terminal with
// control characters escaped, a --port that must be a serial port, and the send command's hex
// taken from a file or standard input when it is too long for one argument.

#include <QIODevice>
#include <QString>
#include <QTextStream>

namespace CliSafety {
// A write-only device in front of a text stream: what is written reaches the stream with every
// control character other than line feed, carriage return and tab escaped, and is flushed at once.
class TerminalSafeDevice : public QIODevice {
public:
    explicit TerminalSafeDevice(QTextStream &target);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QTextStream &m_target;
    QByteArray m_pending; // an incomplete UTF-8 sequence at the end of the last write
};

// Why path cannot be the pedal's serial port (empty when it may be): it does not exist, a
// folder on its way may not be entered, or it is no terminal device. *exitCode is 2 for a port
// that is not there or not a serial port, 1 for one the user may not reach.
QString portProblem(const QString &path, int *exitCode);

// The send command's argument: hex text itself, "-" for standard input or "@FILE" for a file,
// read to its end (blanks and line breaks between the digits are dropped). A source with more
// than twice maxDigits digits (the longest message's), or more input than eight times maxDigits
// and 4,096, is refused without reading on; "@" without a name is a usage error.
enum class HexSource { Read, Unreadable, Usage };
HexSource sendHex(const QString &argument, qsizetype maxDigits, QString *hex, QString *error);
} // namespace CliSafety
