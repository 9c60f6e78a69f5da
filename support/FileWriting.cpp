#include "support/FileWriting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
#endif

namespace FileWriting {

namespace {
QString shortOf(qint64 written, qint64 meant)
{
    return QStringLiteral("only %1 of %2 bytes reached the disk").arg(written).arg(meant);
}

// The system's reason for a failed write; Qt has none to give for some of them.
QString reasonOf(const QFileDevice &file, const QString &otherwise)
{
    const QString text = file.errorString();
    if (file.error() != QFileDevice::NoError && !text.isEmpty() && text != QLatin1String("Unknown error"))
        return text;
    return otherwise;
}
} // namespace

Target checkTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return Target::BrokenLink;
    if (!info.exists())
        return info.absoluteDir().exists() ? Target::Writable : Target::NoFolder;
    if (info.isFile())
        return Target::Writable;
    if (info.isDir())
        return Target::Folder;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            return Target::Device;
        if (S_ISFIFO(st.st_mode))
            return Target::NamedPipe;
        if (S_ISSOCK(st.st_mode))
            return Target::Socket;
    }
#endif
    return Target::NotRegular;
}

QString kindText(Target target)
{
    switch (target) {
    case Target::Folder:
        return QStringLiteral("a folder");
    case Target::Device:
        return QStringLiteral("a device, not a regular file");
    case Target::NamedPipe:
        return QStringLiteral("a named pipe, not a regular file");
    case Target::Socket:
        return QStringLiteral("a socket, not a regular file");
    case Target::NotRegular:
        return QStringLiteral("not a regular file");
    case Target::Writable:
    case Target::NoFolder:
    case Target::BrokenLink:
        break;
    }
    return QString();
}

QString targetProblem(const QString &path)
{
    const QFileInfo info(path);
    const Target target = checkTarget(path);
    switch (target) {
    case Target::Writable:
        return QString();
    case Target::NoFolder:
        return QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(info.absolutePath()));
    case Target::BrokenLink:
        return QStringLiteral("%1 is a link to %2, which does not exist")
            .arg(info.fileName(), QDir::toNativeSeparators(info.symLinkTarget()));
    default:
        return QStringLiteral("%1 is %2").arg(info.fileName(), kindText(target));
    }
}

void reportFileSizeLimitAsAnError()
{
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool checkWritten(QFileDevice &file, qint64 expectedSize, QString *error)
{
    // A buffered write that failed is reported only here: flush() fails and error() is set, but
    // the reason is left in errno alone.
    errno = 0;
    const bool flushed = file.flush();
    const int reason = errno;
    if (!flushed || file.error() != QFileDevice::NoError) {
        *error = reasonOf(file, reason != 0 ? QString::fromLocal8Bit(std::strerror(reason))
                                            : QStringLiteral("the %1 bytes did not all reach the disk").arg(expectedSize));
        return false;
    }
    const qint64 onDisk = file.size();
    if (onDisk != expectedSize) {
        *error = shortOf(onDisk, expectedSize);
        return false;
    }
    return true;
}

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString problem = targetProblem(path);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    // The bytes go to a temporary file beside the target, which takes the target's place only
    // when all went well; until then (and when the save file is dropped) the target is untouched.
    // Unbuffered: a write the disk refuses is reported by the write itself, with its reason.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = reasonOf(file, shortOf(done, bytes.size()));
            file.cancelWriting();
            return false;
        }
        done += n;
    }
    if (!checkWritten(file, bytes.size(), error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    // The file in place has every byte, or it is no file of ours to leave behind.
    const QFileInfo written(QFileInfo(path).canonicalFilePath());
    if (!written.isFile() || written.size() != bytes.size()) {
        *error = shortOf(written.size(), bytes.size());
        QFile::remove(written.filePath());
        return false;
    }
    return true;
}

} // namespace FileWriting
