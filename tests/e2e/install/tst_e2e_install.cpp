#include "e2eprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

// The tree that cmake --install makes, started where it was installed and again after the whole
// tree has been moved, with nothing of the build tree on its library path.
class tst_E2EInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void startsWherever_data();
    void startsWherever();
    void driverLinkOpensTheGuide();

private:
    QString prefix() const { return work.filePath(QStringLiteral("prefix")); }
    QString moved() const { return work.filePath(QStringLiteral("moved/spinwright")); }
    QProcessEnvironment environment(const QString &scenario, const QString &name) const;

    QTemporaryDir work;
};

void tst_E2EInstall::initTestCase()
{
    QVERIFY(work.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_PROGRAM),
                  {QStringLiteral("--install"), QStringLiteral(BUILD_TREE), QStringLiteral("--prefix"), prefix()});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());

    // The test plug-in joins the installed one; it changes nothing the user sees.
    QVERIFY(QFile::copy(QStringLiteral(E2E_DRIVER_PLUGIN), prefix() + QStringLiteral("/bin/Plug-ins/E2EDriver.so")));
    QVERIFY(QDir().mkpath(QFileInfo(moved()).path()));
    QProcess copy;
    copy.start(QStringLiteral("cp"), {QStringLiteral("-a"), prefix(), moved()});
    QVERIFY(copy.waitForFinished(60000) && copy.exitCode() == 0);
}

void tst_E2EInstall::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {"bin/Spinwright", "bin/Plug-ins/MarvolixTurntable.so", "bin/Plug-ins/SpinTools.so",
                             "bin/Plug-ins/TetheredCamera.so", "lib/libZenlyteSDK.so",
                             "lib/udev/rules.d/60-spinwright-ft245r.rules", "share/applications/spinwright.desktop",
                             "share/icons/hicolor/256x256/apps/spinwright.png",
                             "share/doc/spinwright/user-guide.html", "share/doc/spinwright/user-guide.md"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void tst_E2EInstall::installedFiles()
{
    QFETCH(QString, path);
    QVERIFY2(QFileInfo::exists(prefix() + QLatin1Char('/') + path), qPrintable(path));
}

QProcessEnvironment tst_E2EInstall::environment(const QString &scenario, const QString &name) const
{
    QProcessEnvironment env = e2eEnvironment(work.filePath(name), scenario);
    env.insert(QStringLiteral("SPINWRIGHT_D2XX_SIM"), QStringLiteral("turntable:2"));
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    return env;
}

void tst_E2EInstall::startsWherever_data()
{
    QTest::addColumn<bool>("moveTree");
    QTest::newRow("installed") << false;
    QTest::newRow("moved") << true;
}

void tst_E2EInstall::startsWherever()
{
    QFETCH(bool, moveTree);
    const QString root = moveTree ? moved() : prefix();
    const E2ERun run = runE2EProgram(root + QStringLiteral("/bin/Spinwright"),
                                     environment(QStringLiteral("page"), QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    QCOMPARE(run.value(QStringLiteral("title")), QStringLiteral("Marvolix-Spinwright"));
    QCOMPARE(run.value(QStringLiteral("version")), QStringLiteral("v.3.0.30108"));
}

void tst_E2EInstall::driverLinkOpensTheGuide()
{
    const E2ERun run = runE2EProgram(moved() + QStringLiteral("/bin/Spinwright"),
                                     environment(QStringLiteral("driver-link"), QStringLiteral("link")));
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    const QUrl opened(run.value(QStringLiteral("opened")));
    QVERIFY2(opened.isLocalFile(), qPrintable(run.describe()));
    QCOMPARE(opened.fragment(), QStringLiteral("access-for-a-normal-user"));
    const QString guide = moved() + QStringLiteral("/share/doc/spinwright/user-guide.html");
    QCOMPARE(QFileInfo(opened.toLocalFile()).canonicalFilePath(), QFileInfo(guide).canonicalFilePath());
    QFile page(guide);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(page.readAll().contains("name=\"access-for-a-normal-user\""));
}

QTEST_GUILESS_MAIN(tst_E2EInstall)
#include "tst_e2e_install.moc"
