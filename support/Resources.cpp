#include "support/Resources.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {
const QHash<QString, QString> &index()
{
    static const QHash<QString, QString> idx = [] {
        QHash<QString, QString> h;
        QDirIterator it(QStringLiteral(":/carried"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            h.insert(QFileInfo(path).completeBaseName().toUpper(), path);
        }
        return h;
    }();
    return idx;
}
} // namespace

QString Resources::find(const QString &name) { return index().value(name.toUpper()); }

bool Resources::load(const QString &name, QByteArray *data, QString *error)
{
    const QString path = find(name);
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("Resource %1 not found").arg(name);
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    *data = f.readAll();
    return true;
}
