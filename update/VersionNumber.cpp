#include "update/VersionNumber.h"

namespace VersionNumber {

std::optional<QList<int>> parse(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 64)
        return std::nullopt;
    QList<int> parts;
    for (const QString &part : t.split(QLatin1Char('.'))) {
        if (part.isEmpty() || part.size() > 9)
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        parts << part.toInt();
    }
    return parts;
}

int compare(const QList<int> &a, const QList<int> &b)
{
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const int x = a.value(i), y = b.value(i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}
} // namespace VersionNumber
