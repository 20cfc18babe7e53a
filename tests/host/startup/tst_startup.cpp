#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char noPluginLine[] = "No available turntable hardware or camera hardware plug-in found.";
const char turntableLine[] = "Only one turntable plug-in allowed.";
const char cameraLine[] = "Only one camera hardware plug-in allowed.";

// Plug-in files by role; "Broken.so" is a text file that no engine can import.
QString fixtureFile(const QString &role)
{
    if (role == QLatin1String("TurntableCamera"))
        return QStringLiteral(FIXTURE_TURNTABLE_CAMERA);
    if (role == QLatin1String("Turntable"))
        return QStringLiteral(FIXTURE_TURNTABLE);
    if (role == QLatin1String("Camera"))
        return QStringLiteral(FIXTURE_CAMERA);
    return QString();
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

// Runs the built program from a folder of its own, with a prepared Plug-ins folder beside it
// and a home directory of its own.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void failingPluginSets_data();
    void failingPluginSets();
    void brokenPluginFile();
    void normalStart_data();
    void normalStart();

private:
    // files: "<name in Plug-ins>=<role>"
    Run runProgram(QTemporaryDir &dir, const QStringList &files);
    static QString dataDirectory(const QTemporaryDir &dir)
    {
        return dir.filePath(QStringLiteral("home/.local/share/Marvolix/Spinwright"));
    }
};

Run tst_Startup::runProgram(QTemporaryDir &dir, const QStringList &files)
{
    Run run;
    const QString appDir = dir.filePath(QStringLiteral("app"));
    const QString pluginDir = appDir + QStringLiteral("/Plug-ins");
    [&] {
        QVERIFY(QDir().mkpath(pluginDir));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("home"))));
        // A copy, not a link: the program finds its Plug-ins folder from its own real path.
        QVERIFY(QFile::copy(QStringLiteral(SPINWRIGHT_PROGRAM), appDir + QStringLiteral("/Spinwright")));
        const QFileInfo sdk(QStringLiteral(ZENLYTESDK_LIBRARY_FILE));
        QVERIFY(QFile::link(sdk.absoluteFilePath(), appDir + QLatin1Char('/') + sdk.fileName()));
        for (const QString &entry : files) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const QString role = entry.section(QLatin1Char('='), 1);
            const QString target = pluginDir + QLatin1Char('/') + name;
            if (role == QLatin1String("Broken")) {
                QFile text(target);
                QVERIFY(text.open(QIODevice::WriteOnly));
                text.write("not a library\n");
            } else {
                QVERIFY2(QFile::copy(fixtureFile(role), target), qPrintable(role));
            }
        }
    }();
    if (QTest::currentTestFailed())
        return run;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "QT_QUICK_CONTROLS_STYLE",
                             "QML2_IMPORT_PATH", "QT_PLUGIN_PATH"})
        env.remove(QString::fromLatin1(name));

    // The leaks Qt's software renderer leaves at exit are rooted in the offscreen platform's
    // allocations, which the suppressions name; only full stacks show that.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":fast_unwind_on_malloc=0"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.start(appDir + QStringLiteral("/Spinwright"), QStringList());
    if (!process.waitForStarted(30000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        qWarning("program output: %s\nerrors: %s", process.readAllStandardOutput().constData(),
                 process.readAllStandardError().constData());
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void tst_Startup::failingPluginSets_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QByteArray>("expectedOut");

    QTest::newRow("no plug-in file") << QStringList() << QByteArray(noPluginLine).append('\n');
    QTest::newRow("camera but no turntable")
        << QStringList{QStringLiteral("Camera.so=Camera")} << QByteArray(turntableLine).append('\n');
    // Two cameras as well: the camera check must not take place.
    QTest::newRow("two turntables")
        << QStringList{QStringLiteral("First.so=TurntableCamera"), QStringLiteral("Second.so=TurntableCamera")}
        << QByteArray(turntableLine).append('\n');
    QTest::newRow("turntable but no camera")
        << QStringList{QStringLiteral("Turntable.so=Turntable")} << QByteArray(cameraLine).append('\n');
}

void tst_Startup::failingPluginSets()
{
    QFETCH(QStringList, files);
    QFETCH(QByteArray, expectedOut);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run = runProgram(dir, files);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, expectedOut);
    // No window, so no controller: nothing may have been written.
    QVERIFY(!QFileInfo::exists(dataDirectory(dir) + QStringLiteral("/Spinwright.json")));
}

void tst_Startup::brokenPluginFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run = runProgram(dir, {QStringLiteral("Broken.so=Broken")});
    QCOMPARE(run.exitCode, 1);

    // The loader's texts follow the line: the file's entry, the engine's errors, a lone CR.
    QList<QByteArray> lines = run.out.split('\n');
    QVERIFY2(lines.size() >= 5 && lines.takeLast().isEmpty(), run.out);
    QCOMPARE(lines.takeFirst(), QByteArray(noPluginLine));
    QCOMPARE(lines.takeFirst(), QByteArray("Broken.so not loaded:\r"));
    QCOMPARE(lines.takeLast(), QByteArray("\r"));
    for (const QByteArray &error : lines)
        QVERIFY2(error.contains("Broken.so"), error);
}

void tst_Startup::normalStart_data()
{
    QTest::addColumn<QByteArray>("storedSettings");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QString>("secondCamera");

    QTest::newRow("first start") << QByteArray() << 0 << QString();
    QTest::newRow("last used device reopened")
        << QByteArray("{\"lastUsedTurntableIndex-v3\": 2}") << 2 << QString();
    // The cable beside a camera plug-in: the user chooses between them on the page.
    QTest::newRow("two camera objects") << QByteArray() << 0 << QStringLiteral("Camera.so=Camera");
}

void tst_Startup::normalStart()
{
    QFETCH(QByteArray, storedSettings);
    QFETCH(int, expectedIndex);
    QFETCH(QString, secondCamera);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!storedSettings.isEmpty()) {
        QVERIFY(QDir().mkpath(dataDirectory(dir)));
        QVERIFY(TestFiles::write(dataDirectory(dir) + QStringLiteral("/Spinwright.json"), storedSettings));
    }

    // A file that fails to load beside good ones only costs that file.
    QStringList files{QStringLiteral("Fixture.so=TurntableCamera"), QStringLiteral("Broken.so=Broken")};
    if (!secondCamera.isEmpty())
        files << secondCamera;
    const Run run = runProgram(dir, files);
    QVERIFY2(run.exitCode == 0, run.out + run.err);

    QMap<QString, QString> seen;
    for (const QByteArray &line : run.out.split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.contains(QLatin1String(": ")))
            seen.insert(text.section(QLatin1String(": "), 0, 0), text.section(QLatin1String(": "), 1));
    }
    QCOMPARE(seen.value(QStringLiteral("title")), QStringLiteral("Marvolix-Spinwright"));
    QCOMPARE(seen.value(QStringLiteral("version")), QStringLiteral("v.3.0.30108"));
    QVERIFY2(!run.out.contains("plug-in"), run.out);

    const auto numbers = [&](const char *key) {
        const QStringList parts = seen.value(QString::fromLatin1(key)).split(QLatin1Char(' '));
        return parts.size() == 2 ? QPoint(parts[0].toInt(), parts[1].toInt()) : QPoint(-1, -1);
    };
    const QPoint available = numbers("available");
    const QPoint position = numbers("position");
    const QPoint minimum = numbers("minimum");
    // It can be enlarged (it used to be fixed), never made smaller than what the page needs.
    QVERIFY2(numbers("maximum").x() > minimum.x() && numbers("maximum").y() > minimum.y(), run.out);
    QCOMPARE(numbers("size"), minimum);
    // Centred with the size it had before it got 8 pixels more each way.
    const QPoint sizeBefore = minimum - QPoint(8, 8);
    QVERIFY2(sizeBefore.x() > 0 && sizeBefore.y() > 0, run.out);
    // The offscreen screen is 600 pixels high; a page taller than that (with the camera row) is
    // not left at the negative y it is given.
    if (sizeBefore.y() <= available.y())
        QCOMPARE(position, QPoint((available.x() - sizeBefore.x()) / 2, (available.y() - sizeBefore.y()) / 2));
    else
        QCOMPARE(position.x(), (available.x() - sizeBefore.x()) / 2);

    const QString settings = dataDirectory(dir) + QStringLiteral("/Spinwright.json");
    QVERIFY(QFileInfo::exists(settings));
    const QJsonObject written = TestFiles::readJsonObject(settings);
    QCOMPARE(written.value(QStringLiteral("lastUsedTurntableIndex-v3")).toInt(-1), expectedIndex);
    QVERIFY(QFileInfo::exists(dataDirectory(dir) + QStringLiteral("/TurntableSpins.json")));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
