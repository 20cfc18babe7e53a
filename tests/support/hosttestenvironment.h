#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QNetworkProxy>
#include <QStandardPaths>
#include <QString>

// What every test of the host's controller sets up first: a home of its own, so that no
// settings file of the user is read or written, the program's names, which place its data
// folder, and a proxy that makes the update check fail at once instead of reaching out to the
// network. Needs Qt's network module (the host's core links it).
inline void setUpHostTestEnvironment(const QString &homePath)
{
    qputenv("HOME", QFile::encodeName(homePath));
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolix"));
    QCoreApplication::setApplicationName(QStringLiteral("Spinwright"));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
}
