#include "algorithms/EffectList.h"

#include "support/Resources.h"

#include <QRegularExpression>

bool EffectList::loadResourceToList(const QString &name, QStringList *lines, QString *error)
{
    QByteArray data;
    if (!Resources::load(name, &data, error))
        return false;
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QString text = QString::fromLatin1(data);
    QStringList l = text.split(breaks);
    if (!l.isEmpty() && l.last().isEmpty() && (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))))
        l.removeLast();
    *lines = l;
    return true;
}

int EffectList::latestAlgorithmNumber(const QString &firstItem)
{
    bool ok = false;
    const int n = firstItem.mid(12, 5).trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}
