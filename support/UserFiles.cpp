#include "support/UserFiles.h"

#include "support/Prompts.h"
#include "support/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringConverter>
#include <QStringDecoder>

#include <filesystem>
#include <system_error>

namespace {
QString joinPath(const QString &base, const QString &rel)
{
    return base.isEmpty() ? rel : base + QLatin1Char('/') + rel;
}

bool createFolder(const QString &path, QString *error)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path.toStdString()), ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return false;
    }
    return true;
}
} // namespace

UserFiles::UserFiles(const QString &documentsFolder, Prompts *prompts)
    : m_base(documentsFolder), m_prompts(prompts)
{
}

QString UserFiles::defaultDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString UserFiles::makerFolder() const { return joinPath(m_base, QString::fromLatin1(MakerName)); }

QString UserFiles::userFolder() const
{
    return joinPath(m_base, QString::fromLatin1(MakerName) + QLatin1Char('/') + QString::fromLatin1(ProductName));
}

QString UserFiles::userFile(const QString &name) const { return userFolder() + QLatin1Char('/') + name; }

QString UserFiles::makerFile(const QString &name) const { return makerFolder() + QLatin1Char('/') + name; }

void UserFiles::createMakerFolder(const QString &folderName)
{
    const QString path = joinPath(m_base, folderName);
    if (QFileInfo(path).isDir())
        return;
    QString err;
    if (!createFolder(path, &err) && m_prompts)
        m_prompts->show(QStringLiteral("Error creating folder: ") + err);
}

void UserFiles::createProductFolder(const QString &makerName, const QString &productName)
{
    const QString path = joinPath(m_base, makerName + QLatin1Char('/') + productName);
    if (QFileInfo(path).isDir())
        return;
    QString err;
    if (!createFolder(path, &err) && m_prompts)
        m_prompts->show(QStringLiteral("Error creating subfolder: ") + err);
}

QString UserFiles::readTextFile(const QString &path, bool *ok, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        if (error)
            *error = f.errorString();
        return {};
    }
    const QByteArray data = f.readAll();
    if (ok)
        *ok = true;
    if (auto enc = QStringConverter::encodingForData(data)) {
        QStringDecoder dec(*enc, QStringDecoder::Flag::Stateless);
        QString s = dec(data);
        if (!s.isEmpty() && s.front() == QChar(0xFEFF))
            s.remove(0, 1);
        return s;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(data);
    if (utf8.hasError())
        return QString::fromLatin1(data);
    return s;
}

bool UserFiles::writeTextFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    f.write(text.toUtf8());
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

QString UserFiles::readOrCreateFlagFile(const QString &fileName, const QString &defaultText)
{
    const QString path = userFile(fileName);
    if (!QFileInfo::exists(path)) {
        QString err;
        if (!writeTextFile(path, defaultText, &err) && m_prompts)
            m_prompts->show(QStringLiteral("Could not create %1: %2").arg(path, err));
        return defaultText;
    }
    bool ok = false;
    QString err;
    const QString text = readTextFile(path, &ok, &err);
    if (!ok) {
        if (m_prompts)
            m_prompts->show(QStringLiteral("Could not read %1: %2").arg(path, err));
        return QString(); // unexpected content: the setting keeps its value
    }
    return text;
}

void UserFiles::loadUserSettings()
{
    QString t = readOrCreateFlagFile(QStringLiteral("ShowMessageVersionAtStartup.txt"), QStringLiteral("YES"));
    if (t == QLatin1String("YES"))
        showUpdateMessage = true;
    else if (t == QLatin1String("NO"))
        showUpdateMessage = false;

    t = readOrCreateFlagFile(QStringLiteral("ReportUSBErrors.txt"), QStringLiteral("YES"));
    if (t == QLatin1String("YES"))
        reportUsbErrors = true;
    else if (t == QLatin1String("NO"))
        reportUsbErrors = false;

    readOrCreateFlagFile(QStringLiteral("log.txt"), QString());
}

void UserFiles::trimLogFile()
{
    const QString path = userFile(QStringLiteral("log.txt"));
    QFileInfo fi(path);
    if (!fi.exists() || fi.size() < LogTrimSize)
        return;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.close();
}

bool UserFiles::rewriteFlagFile(const QString &fileName, bool yes)
{
    const QString path = userFile(fileName);
    if (!QFileInfo::exists(path))
        return false;
    QString err;
    if (!writeTextFile(path, yes ? QStringLiteral("YES") : QStringLiteral("NO"), &err)) {
        if (m_prompts)
            m_prompts->show(QStringLiteral("Could not write %1: %2").arg(path, err));
        return false;
    }
    return true;
}
