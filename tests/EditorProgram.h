#pragma once
// The editor program run by a test: offscreen, with a private home and documents folder (the
// test run's update server, on this computer, stays as it is).

#include <QFile>
#include <QProcessEnvironment>
#include <QString>

inline QProcessEnvironment privateHome(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home + QStringLiteral("/Documents"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
