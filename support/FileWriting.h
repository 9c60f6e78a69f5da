#pragma once
// Writing a file honestly. A file is written only onto a regular file or a new name (a device, a
// named pipe or a folder would be replaced or written into), every byte is checked to have
// reached the disk before the file counts as written (a full disk is not always reported by the
// write itself), and a failed write leaves an earlier file as it was and no part of the new one.

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace FileWriting {
// What is at a path a file is to be written to. A symbolic link counts as what it points to.
enum class Target {
    Writable,   // a regular file, or nothing yet in a folder that exists
    Folder,
    Device,
    NamedPipe,
    Socket,
    NotRegular, // something else that is no regular file
    NoFolder,   // nothing there, and its folder does not exist
    BrokenLink, // a symbolic link to nothing
};
Target checkTarget(const QString &path);
// What a target that cannot be written is, after "is": "a folder", "a device, not a regular
// file", "a named pipe, not a regular file" ...; empty for the other targets.
QString kindText(Target target);
// Why no file can be written at path, as a sentence part: "dump.bin is a named pipe, not a
// regular file", "the folder /a/b does not exist"; empty when it can be written.
QString targetProblem(const QString &path);

// Writes bytes as the whole content of path, replacing a regular file there only once all of
// them are on the disk. False, with the reason in error, when the target cannot be written or
// the write failed; the earlier file is then unchanged and nothing else is left behind.
bool writeWhole(const QString &path, const QByteArray &bytes, QString *error);

// A write past the file-size limit (ulimit -f) fails with "File too large", as a full disk's
// does, instead of ending the process by its signal (SIGXFSZ) with half its files written. Called
// once at the start of each program.
void reportFileSizeLimitAsAnError();

// Checks a file being written: everything written so far has left the buffers without an error
// and the file on the disk is expectedSize bytes long. False with the reason otherwise.
bool checkWritten(QFileDevice &file, qint64 expectedSize, QString *error);
} // namespace FileWriting
