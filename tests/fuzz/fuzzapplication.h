#pragma once

#include "zlplugin.h"
#include "zlpluginslist.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>

#include <cstdint>
#include <cstdlib>

// One headless application per fuzzing process, with the shared QML engine's owner; the
// settings files go to a private data folder.
inline QString fuzzDataDirectory()
{
    static QGuiApplication *app = nullptr;
    static ZLPluginsList *plugins = nullptr;
    if (!app) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("QT_QUICK_BACKEND", "software", 1);
        static int argc = 1;
        static char name[] = "fuzz";
        static char *argv[] = {name, nullptr};
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightFuzz"));
        QCoreApplication::setApplicationName(QStringLiteral("fuzz"));
        app = new QGuiApplication(argc, argv);
        plugins = new ZLPluginsList;
    }
    return ZLAbstractPlugin::applicationLocalDataDirectory();
}

inline QString writeFuzzFile(const char *name, const std::uint8_t *data, std::size_t size)
{
    const QString path = QDir(fuzzDataDirectory()).filePath(QLatin1String(name));
    QFile::remove(path + QStringLiteral(".bad"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}
