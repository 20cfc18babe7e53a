#include "stubhardware.h"
#include "zlplugin.h"
#include "zlpluginslist.h"

#include <QDir>
#include <QQmlEngine>
#include <QStandardPaths>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {
using Turntable = StubTurntable;

// One object behind two interfaces.
class CameraTurntable : public StubCamera, public StubTurntable
{
public:
    ZLRegisterPlugin::PluginType pluginType() const override { return ZLRegisterPlugin::TurntableHardwarePlugin; }
};

class Root : public ZLRegisterPlugin
{
public:
    unsigned short supportedPluginTypes() override { return 0; }
    ZLAbstractPlugin *createPluginObject(PluginType) override { return nullptr; }
};
}

class tst_Plugin : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void lastErrorIsPerObjectAndReplaced();
    void interfacesShareOneBasePart();
    void projectDirectoryReadsAlike();
    void pathSeparatorIsBackslash();
    void narrowToWide_data();
    void narrowToWide();
    void applicationLocalDataDirectoryIsCreated();
    void globalEngineIsShared();
    void registerPluginMetaObject();
    void accessorsUnderConcurrentUse();
};

void tst_Plugin::cleanupTestCase()
{
    // The plug-in list owns the shared engine.
    ZLPluginsList owner;
}

void tst_Plugin::lastErrorIsPerObjectAndReplaced()
{
    Turntable first;
    Turntable second;
    QCOMPARE(first.lastError(), QString());
    first.setLastError(QStringLiteral("first failure"));
    QCOMPARE(first.lastError(), QStringLiteral("first failure"));
    QCOMPARE(second.lastError(), QString());
    first.setLastError(QStringLiteral("again"));
    QCOMPARE(first.lastError(), QStringLiteral("again"));
    first.setLastError(QString());
    QCOMPARE(first.lastError(), QString());
}

void tst_Plugin::interfacesShareOneBasePart()
{
    CameraTurntable both;
    ZLCameraHardware *camera = &both;
    ZLTurntableHardware *turntable = &both;
    camera->setLastError(QStringLiteral("through the camera"));
    QCOMPARE(turntable->lastError(), QStringLiteral("through the camera"));
    ZLAbstractPlugin *base = camera;
    QCOMPARE(static_cast<ZLAbstractPlugin *>(turntable), base);
    QCOMPARE(dynamic_cast<ZLTurntableHardware *>(base), turntable);
    QCOMPARE(dynamic_cast<ZLCameraHardware *>(base), camera);
    // Each interface keeps its own index.
    turntable->setCurrentTurntableIndex(4);
    QCOMPARE(camera->currentCameraIndex(), SIZE_MAX);
}

void tst_Plugin::projectDirectoryReadsAlike()
{
    QCOMPARE(ZLAbstractPlugin::currentProjectDirectory(true), QString());
    ZLAbstractPlugin::AbstractPluginPrivate::currentProjectDirectory = QStringLiteral("/projects/shoe");
    QCOMPARE(ZLAbstractPlugin::currentProjectDirectory(false), QStringLiteral("/projects/shoe"));
    QCOMPARE(ZLAbstractPlugin::currentProjectDirectory(true), QStringLiteral("/projects/shoe"));
    ZLAbstractPlugin::AbstractPluginPrivate::currentProjectDirectory.clear();
}

void tst_Plugin::pathSeparatorIsBackslash()
{
    QCOMPARE(int(ZLAbstractPlugin::pathSeparator()), 92);
}

void tst_Plugin::narrowToWide_data()
{
    QTest::addColumn<QByteArray>("narrow");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("abc") << QByteArray("abc");
}

void tst_Plugin::narrowToWide()
{
    QFETCH(QByteArray, narrow);
    const std::string text = narrow.toStdString();
    const std::wstring wide = ZLAbstractPlugin::utf8ToWideString(text);
    QCOMPARE(wide.size(), text.size());
    QCOMPARE(QString::fromStdWString(wide), QString::fromLatin1(narrow));
    QCOMPARE(ZLAbstractPlugin::wideToUtf8String(wide), text);
}

void tst_Plugin::applicationLocalDataDirectoryIsCreated()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("SpinwrightTests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_plugin"));
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY(expected.contains(QStringLiteral("tst_plugin")));
    QDir(expected).removeRecursively();
    QVERIFY(!QFileInfo::exists(expected));

    const QString directory = ZLAbstractPlugin::applicationLocalDataDirectory();
    QCOMPARE(directory, QDir(expected).path());
    QVERIFY(QFileInfo(directory).isDir());
    QDir(expected).removeRecursively();
}

void tst_Plugin::globalEngineIsShared()
{
    QQmlEngine *engine = globalQmlEngine();
    QVERIFY(engine);
    QCOMPARE(globalQmlEngine(), engine);
    QVERIFY(!engine->parent());
}

void tst_Plugin::registerPluginMetaObject()
{
    Root root;
    QCOMPARE(root.metaObject()->className(), "ZLRegisterPlugin");
    QCOMPARE(root.qt_metacast("ZLRegisterPlugin"), static_cast<void *>(&root));
    QCOMPARE(root.qt_metacast("QQmlExtensionPlugin"), static_cast<void *>(static_cast<QQmlExtensionPlugin *>(&root)));
    QCOMPARE(root.qt_metacast("ZLTurntableHardware"), nullptr);
    QVERIFY(!root.parent());
}

void tst_Plugin::accessorsUnderConcurrentUse()
{
    const int threadCount = 4;
    const int rounds = 2000;
    Turntable shared;
    std::vector<std::unique_ptr<Turntable>> own;
    for (int i = 0; i < threadCount; ++i)
        own.emplace_back(new Turntable);

    std::atomic<int> malformed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                shared.setLastError(QStringLiteral("writer %1 round %2").arg(t).arg(i));
                if (!shared.lastError().startsWith(QLatin1String("writer ")))
                    ++malformed;
                own[t]->setLastError(QString::number(i));
                shared.setCurrentTurntableIndex(size_t(t) << 32 | size_t(t));
                const size_t index = shared.currentTurntableIndex();
                if ((index >> 32) != (index & 0xffffffffu))
                    ++malformed;
                own[t]->setCurrentTurntableIndex(size_t(i));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    QCOMPARE(malformed.load(), 0);
    for (int t = 0; t < threadCount; ++t) {
        QCOMPARE(own[t]->lastError(), QString::number(rounds - 1));
        QCOMPARE(own[t]->currentTurntableIndex(), size_t(rounds - 1));
    }
    QVERIFY(shared.lastError().endsWith(QStringLiteral(" round %1").arg(rounds - 1)));
}

QTEST_MAIN(tst_Plugin)
#include "tst_plugin.moc"
