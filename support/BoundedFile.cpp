#include "support/BoundedFile.h"

#include <QFile>
#include <QFileInfo>

BoundedFile BoundedFile::read(const QString &path, qint64 maxBytes)
{
    BoundedFile r;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        r.status = NotRegular;
        r.kind = info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
        return r;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = f.errorString();
        return r;
    }
    r.data = f.read(maxBytes + 1);
    if (r.data.size() > maxBytes) {
        r.status = TooLarge;
        r.size = qMax<qint64>(f.size(), r.data.size());
        r.data.clear();
        return r;
    }
    r.status = Read;
    return r;
}
