#include "e2eprogram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

QString E2ERun::value(const QString &key) const
{
    const QString prefix = key + QStringLiteral(": ");
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QString();
}

QMap<QString, QString> E2ERun::state() const
{
    QMap<QString, QString> values;
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1String("state ")))
            continue;
        const int colon = line.indexOf(QLatin1String(": "));
        if (colon > 6)
            values.insert(line.mid(6, colon - 6), line.mid(colon + 2));
    }
    return values;
}

QString E2ERun::describe() const
{
    return QStringLiteral("exit code %1 after %2 ms\noutput:\n%3\nerrors:\n%4")
        .arg(exitCode)
        .arg(elapsedMs)
        .arg(lines.join(QLatin1Char('\n')), QString::fromLocal8Bit(errors));
}

QProcessEnvironment e2eEnvironment(const QString &root, const QString &scenario)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QDir dir(root);
    dir.mkpath(QStringLiteral("home"));
    dir.mkpath(QStringLiteral("runtime"));
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("home/.local/share")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("home/.config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("home/.cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("SPINWRIGHT_E2E_SCENARIO"), scenario);
    // The driver types decimal points; another locale's validators would refuse them.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // The leaks Debian's Qt leaves at exit match the suppressions only with full stacks.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":fast_unwind_on_malloc=0"));
    for (const char *name : {"QT_QUICK_CONTROLS_STYLE", "QML2_IMPORT_PATH", "QT_PLUGIN_PATH", "QT_FATAL_WARNINGS"})
        env.remove(QString::fromLatin1(name));
    return env;
}

bool copyProgram(const QString &dir, const QString &program, const QString &sdkLibrary, const QStringList &plugins)
{
    const QDir target(dir);
    if (!target.mkpath(QStringLiteral("Plug-ins")) || !QFile::copy(program, target.filePath(QStringLiteral("Spinwright"))))
        return false;
    const QFileInfo sdk(sdkLibrary);
    if (!QFile::link(sdk.absoluteFilePath(), target.filePath(sdk.fileName())))
        return false;
    for (const QString &plugin : plugins) {
        if (!QFile::copy(plugin, target.filePath(QStringLiteral("Plug-ins/") + QFileInfo(plugin).fileName())))
            return false;
    }
    return true;
}

E2ERun runE2EProgram(const QString &program, const QProcessEnvironment &environment, int timeoutMs)
{
    E2ERun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(environment.value(QStringLiteral("HOME")));
    QElapsedTimer clock;
    clock.start();
    process.start(program, QStringList());
    const bool finished = process.waitForStarted(30000) && process.waitForFinished(timeoutMs);
    run.elapsedMs = clock.elapsed();
    if (!finished) {
        process.kill();
        process.waitForFinished(10000);
    } else {
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = process.readAllStandardError();
    return run;
}
