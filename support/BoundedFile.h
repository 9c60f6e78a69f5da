#pragma once
// Reading a file that comes from outside: only a regular file is opened (a pipe or a device
// would block or never end), and never more than a bound is read (a file may lie about its size).

#include <QByteArray>
#include <QString>

struct BoundedFile {
    enum Status { Read, NotRegular, CannotOpen, TooLarge };
    Status status = CannotOpen;
    QByteArray data;  // the whole file, when Read
    QString kind;     // NotRegular: "a folder" or "not a regular file"
    QString error;    // CannotOpen: the system's reason
    qint64 size = 0;  // TooLarge: the size, as far as it is known

    static BoundedFile read(const QString &path, qint64 maxBytes);
};
