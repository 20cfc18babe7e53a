#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One start of the real program, driven by the test plug-in through a scenario.
struct E2ERun
{
    int exitCode = -1;  // -2: crashed, -1: did not finish
    QStringList lines;  // standard output
    QByteArray errors;
    qint64 elapsedMs = 0;

    // The value of the first "key: value" line.
    QString value(const QString &key) const;
    // The "state <key>: <value>" lines.
    QMap<QString, QString> state() const;
    QString describe() const;
};

// The environment of a headless start that touches nothing of the user's: home, data and
// configuration folders all under root.
QProcessEnvironment e2eEnvironment(const QString &root, const QString &scenario);

// Copies the program and its plug-ins into dir, the SDK library beside it as a link: copies,
// not links, since the program finds its Plug-ins folder from its own real path.
bool copyProgram(const QString &dir, const QString &program, const QString &sdkLibrary, const QStringList &plugins);

E2ERun runE2EProgram(const QString &program, const QProcessEnvironment &environment, int timeoutMs = 240000);
