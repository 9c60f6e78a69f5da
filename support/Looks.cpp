#include "support/Looks.h"

#include "support/Resources.h"
#include "support/UserFiles.h"

#include <QFileInfo>
#include <QRegularExpression>

QString Looks::styleSheet(int n, bool *found)
{
    QByteArray data;
    *found = Resources::load(QStringLiteral("Style_%1").arg(n), &data);
    return *found ? QString::fromUtf8(data) : QString();
}

QString Looks::name(int n)
{
    bool found = false;
    const QString sheet = styleSheet(n, &found);
    static const QRegularExpression title(QStringLiteral(R"(^\s*/\*\s*Quarnelo MK3 editor look:\s*([^(*]*[^(*\s]))"));
    const QRegularExpressionMatch m = title.match(sheet);
    return m.hasMatch() ? m.captured(1) : QString::number(n);
}

int Looks::savedLook(const UserFiles &files, QString *error)
{
    const QString path = files.makerFile(QStringLiteral("style.txt"));
    if (!QFileInfo::exists(path))
        return 0;
    bool readOk = false;
    const QString text = UserFiles::readTextFile(path, &readOk);
    // A trailing line break (an edited file) is forgiven; anything else must be a number.
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (!readOk || !ok) {
        if (error)
            *error = QStringLiteral("'%1' is not a valid integer value").arg(text);
        return 0;
    }
    return n;
}

bool Looks::saveLook(const UserFiles &files, int n, QString *error)
{
    return UserFiles::writeTextFile(files.makerFile(QStringLiteral("style.txt")), QString::number(n), error);
}
