#include "cli/CliSafety.h"

#include "support/OutsideText.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CliSafety::TerminalSafeDevice::TerminalSafeDevice(QTextStream &target) : m_target(target)
{
    open(QIODevice::WriteOnly);
}

qint64 CliSafety::TerminalSafeDevice::writeData(const char *data, qint64 size)
{
    m_pending.append(data, size);
    // Keep an unfinished UTF-8 sequence for the next write.
    qsizetype end = m_pending.size();
    for (qsizetype back = 1; back <= 3 && back <= m_pending.size(); ++back) {
        const uchar c = uchar(m_pending[m_pending.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length > back)
            end = m_pending.size() - back;
        break;
    }
    m_target << OutsideText::forTerminal(QString::fromUtf8(m_pending.left(end)));
    m_target.flush();
    m_pending.remove(0, end);
    return size;
}

QString CliSafety::portProblem(const QString &path, int *exitCode)
{
    const QByteArray name = QFile::encodeName(path);
    const QString shown = OutsideText::shown(path, 80);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        *exitCode = error == EACCES ? 1 : 2;
        if (error == EACCES)
            return QStringLiteral("%1 cannot be reached: permission denied on a folder on its way").arg(shown);
        if (error == ENOENT || error == ENOTDIR)
            return QStringLiteral("No device found: %1 does not exist").arg(shown);
        return QStringLiteral("No device found: %1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(error)));
    }
    *exitCode = 2;
    const QString notSerial = QStringLiteral("No device found: %1 is not a serial port").arg(shown);
    if (!S_ISCHR(info.st_mode))
        return notSerial;
    // A character device that is no terminal (/dev/null, /dev/zero) is no serial port either.
    // One that may not be opened is left to the link, which names both fixes for a refusal.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString();
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? QString() : notSerial;
}

CliSafety::HexSource CliSafety::sendHex(const QString &argument, qsizetype maxDigits, QString *hex, QString *error)
{
    if (argument != QLatin1String("-") && !argument.startsWith(QLatin1Char('@'))) {
        *hex = argument;
        return HexSource::Read;
    }
    if (argument == QLatin1String("@")) {
        *error = QStringLiteral("send @FILE needs the name of a file after the @");
        return HexSource::Usage;
    }
    QFile file;
    const bool fromInput = argument == QLatin1String("-");
    const QString source = fromInput ? QStringLiteral("standard input") : OutsideText::shown(argument.mid(1), 80);
    const bool opened = fromInput ? file.open(stdin, QIODevice::ReadOnly)
                                  : (file.setFileName(argument.mid(1)), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("%1 could not be read: %2").arg(source, file.errorString());
        return HexSource::Unreadable;
    }
    // Read to the end, however the input arrives (a pipe gives it in pieces). Blanks and line
    // breaks may stand between the digits. A text somewhat longer than the longest message is
    // read whole, so that the send's own check names its length; twice as many digits, or more
    // input than any hex text of the longest message could be, is refused without reading on.
    const qint64 mostDigits = 2 * maxDigits;
    const qint64 mostInput = 8 * maxDigits + 4096;
    QString text;
    qint64 total = 0;
    for (;;) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                *error = QStringLiteral("%1 could not be read: %2").arg(source, file.errorString());
                return HexSource::Unreadable;
            }
            break; // the end of the input
        }
        total += chunk.size();
        for (const char c : chunk) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                continue;
            text += QLatin1Char(c);
        }
        if (text.size() > mostDigits) {
            *error = QStringLiteral("%1 holds more than %2 hex digits (send writes at most %3 bytes)")
                         .arg(source)
                         .arg(mostDigits)
                         .arg(maxDigits / 2);
            return HexSource::Unreadable;
        }
        if (total > mostInput) {
            *error = QStringLiteral("%1 holds more than %2 characters").arg(source).arg(mostInput);
            return HexSource::Unreadable;
        }
    }
    if (text.isEmpty()) {
        *error = QStringLiteral("%1 holds no hex text").arg(source);
        return HexSource::Unreadable;
    }
    *hex = text;
    return HexSource::Read;
}
