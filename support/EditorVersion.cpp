#include "support/EditorVersion.h"

#include <QStringList>

QString editorVersionFrom(const QString &fileVersion)
{
    const QStringList parts = fileVersion.split(QLatin1Char('.'));
    if (parts.size() < 2 || parts[0].isEmpty() || parts[1].isEmpty())
        return QString();
    bool ok1 = false, ok2 = false;
    const uint major = parts[0].toUInt(&ok1);
    const uint minor = parts[1].toUInt(&ok2);
    if (!ok1 || !ok2)
        return QString();
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

QString editorVersion() { return editorVersionFrom(QStringLiteral(QUARNELO_VERSION)); }
