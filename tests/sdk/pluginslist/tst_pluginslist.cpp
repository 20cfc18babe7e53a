#include "zlcamerahardware.h"
#include "zlimporttools.h"
#include "zlpluginslist.h"
#include "zlturntablehardware.h"

#include <QDir>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QString fixtureDir(const char *folder)
{
    return QStringLiteral(FIXTURE_ROOT "/") + QLatin1String(folder);
}

QStringList toStringList(const std::list<QString> &texts)
{
    return QStringList(texts.begin(), texts.end());
}

// The origins the objects of one kind name in lastError(), in list order.
QStringList origins(const std::list<ZLAbstractPlugin *> &objects)
{
    QStringList names;
    for (const ZLAbstractPlugin *object : objects)
        names << object->lastError();
    return names;
}

// Loads one set of plug-in folders and, like the host, deletes the objects it took.
struct Loaded
{
    std::unique_ptr<ZLPluginsList> list{new ZLPluginsList};
    std::list<QString> errors;
    bool accepted = false;

    explicit Loaded(const QStringList &folders, bool collectErrors = true)
    {
        for (const QString &folder : folders)
            list->addPluginLoadPath(folder);
        accepted = list->loadPlugins(collectErrors ? &errors : nullptr);
        if (accepted)
            list->createPluginsObjects();
    }
    ~Loaded()
    {
        for (ZLAbstractPlugin *object : list->availablePluginsList())
            delete object;
    }
};
}

class tst_PluginsList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void validPluginOffersBothHardwareKinds();
    void kindsAreHandedOutOneAtATime_data();
    void kindsAreHandedOutOneAtATime();
    void importToolsAreHandedOutLast();
    void foreignInterfaceIsReported();
    void textFileIsReportedWithEngineErrors();
    void rootObjectOfAnotherClassIsSkippedSilently();
    void nullAndWrongClassObjectsAreSkipped();
    void suffixMatchesCaseInsensitively();
    void missingDirectoryYieldsNothing();
    void oneBadFileNeverStopsTheOthers();
    void nullErrorListCollectsNothing();
    void fileReachedTwiceIsOwnedOnce();
    void engineIsRecreatedAfterTheListIsGone();

private:
    QTemporaryDir emptyWorkingDir;
};

void tst_PluginsList::initTestCase()
{
    // The engine's path list always ends with "."; a working folder without plug-in files
    // keeps the tests meaningful even if it were scanned.
    QVERIFY(emptyWorkingDir.isValid());
    QVERIFY(QDir::setCurrent(emptyWorkingDir.path()));
}

void tst_PluginsList::validPluginOffersBothHardwareKinds()
{
    const QString before = QDir::currentPath();
    Loaded loaded({fixtureDir("valid")});
    QVERIFY(loaded.accepted);
    QCOMPARE(toStringList(loaded.errors), QStringList());
    QCOMPARE(QDir::currentPath(), before);

    const auto cameras = loaded.list->availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin);
    const auto turntables = loaded.list->availablePluginsList(ZLRegisterPlugin::TurntableHardwarePlugin);
    QCOMPARE(origins(cameras), QStringList{"Valid camera"});
    QCOMPARE(origins(turntables), QStringList{"Valid turntable"});
    QVERIFY(dynamic_cast<ZLCameraHardware *>(cameras.front()));
    QVERIFY(dynamic_cast<ZLTurntableHardware *>(turntables.front()));
    QCOMPARE(origins(loaded.list->availablePluginsList()), (QStringList{"Valid camera", "Valid turntable"}));
}

void tst_PluginsList::kindsAreHandedOutOneAtATime_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("count");
    QTest::newRow("camera") << 1 << 1;
    QTest::newRow("turntable") << 2 << 1;
    QTest::newRow("tools action") << 4 << 0;
    QTest::newRow("image processing") << 8 << 0;
    QTest::newRow("image view event") << 16 << 0;
    QTest::newRow("import tools") << 32 << 0;
    QTest::newRow("camera and turntable") << 3 << 0;
    QTest::newRow("none") << 0 << 0;
}

void tst_PluginsList::kindsAreHandedOutOneAtATime()
{
    QFETCH(int, kind);
    QFETCH(int, count);
    Loaded loaded({fixtureDir("valid")});
    QVERIFY(loaded.accepted);
    const auto objects = loaded.list->availablePluginsList(ZLRegisterPlugin::PluginType(kind));
    QCOMPARE(int(objects.size()), count);
    for (const ZLAbstractPlugin *object : objects)
        QCOMPARE(int(object->pluginType()), kind);
}

void tst_PluginsList::importToolsAreHandedOutLast()
{
    Loaded loaded({fixtureDir("importer")});
    QVERIFY(loaded.accepted);
    const auto importers = loaded.list->availablePluginsList(ZLRegisterPlugin::ImportToolsPlugin);
    QCOMPARE(origins(importers), QStringList{"Importer import"});
    QVERIFY(dynamic_cast<ZLImportTools *>(importers.front()));
    // The full list is what the host deletes at the end: an import object missing from it leaks.
    QCOMPARE(origins(loaded.list->availablePluginsList()),
             (QStringList{"Importer camera", "Importer turntable", "Importer import"}));
}

void tst_PluginsList::foreignInterfaceIsReported()
{
    Loaded loaded({fixtureDir("foreign")});
    QVERIFY(!loaded.accepted);
    QCOMPARE(toStringList(loaded.errors), QStringList{"RegisterPluginIID not found."});
    QVERIFY(loaded.list->availablePluginsList().empty());
}

void tst_PluginsList::textFileIsReportedWithEngineErrors()
{
    const QString before = QDir::currentPath();
    Loaded loaded({fixtureDir("broken")});
    QVERIFY(!loaded.accepted);
    QCOMPARE(QDir::currentPath(), before);
    const QString path = fixtureDir("broken") + QStringLiteral("/broken.so");
    // The middle entry is the engine's own text, as Qt 5.15 words it.
    const QStringList expected{
        QStringLiteral("broken.so not loaded:\r"),
        QStringLiteral("<Unknown File>: '%1' is not an ELF object (file too small)").arg(path),
        QStringLiteral("\r")};
    QCOMPARE(toStringList(loaded.errors), expected);
}

void tst_PluginsList::rootObjectOfAnotherClassIsSkippedSilently()
{
    Loaded loaded({fixtureDir("notregister")});
    QVERIFY(!loaded.accepted);
    QCOMPARE(toStringList(loaded.errors), QStringList());
}

void tst_PluginsList::nullAndWrongClassObjectsAreSkipped()
{
    Loaded loaded({fixtureDir("nullkind")});
    QVERIFY(loaded.accepted);
    QCOMPARE(toStringList(loaded.errors), QStringList());
    QVERIFY(loaded.list->availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin).empty());
    QVERIFY(loaded.list->availablePluginsList(ZLRegisterPlugin::ImageProcessingPlugin).empty());
    QCOMPARE(origins(loaded.list->availablePluginsList()), QStringList{"NullKind turntable"});
}

void tst_PluginsList::suffixMatchesCaseInsensitively()
{
    // casing/ holds the same library as Other.SO and as plugin.dll.
    Loaded loaded({fixtureDir("casing")});
    QVERIFY(loaded.accepted);
    QCOMPARE(toStringList(loaded.errors), QStringList());
    QCOMPARE(origins(loaded.list->availablePluginsList()), (QStringList{"Valid camera", "Valid turntable"}));
    QCOMPARE(loaded.list->availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin).size(), size_t(1));
}

void tst_PluginsList::missingDirectoryYieldsNothing()
{
    const QString missing = fixtureDir("does-not-exist");
    QVERIFY(!QFileInfo::exists(missing));
    const QString before = QDir::currentPath();
    {
        Loaded loaded({missing});
        QVERIFY(!loaded.accepted);
        QCOMPARE(toStringList(loaded.errors), QStringList());
        QCOMPARE(QDir::currentPath(), before);
    }
    Loaded withValid({missing, fixtureDir("nullkind")});
    QVERIFY(withValid.accepted);
    QCOMPARE(origins(withValid.list->availablePluginsList()), QStringList{"NullKind turntable"});
}

void tst_PluginsList::oneBadFileNeverStopsTheOthers()
{
    Loaded loaded({fixtureDir("mixed")});
    QVERIFY(loaded.accepted);
    QCOMPARE(origins(loaded.list->availablePluginsList()), (QStringList{"Mixed camera", "Mixed turntable"}));

    // The directory's order is the file system's: find each file's entries wherever they are.
    QStringList errors = toStringList(loaded.errors);
    QCOMPARE(errors.count(QStringLiteral("RegisterPluginIID not found.")), 1);
    errors.removeOne(QStringLiteral("RegisterPluginIID not found."));
    QVERIFY2(errors.size() >= 3, qPrintable(errors.join('|')));
    QCOMPARE(errors.first(), QStringLiteral("broken.so not loaded:\r"));
    QCOMPARE(errors.last(), QStringLiteral("\r"));
}

void tst_PluginsList::nullErrorListCollectsNothing()
{
    Loaded loaded({fixtureDir("quiet")}, false);
    QVERIFY(loaded.accepted);
    QVERIFY(loaded.errors.empty());
    QCOMPARE(origins(loaded.list->availablePluginsList()), (QStringList{"Valid camera", "Valid turntable"}));
}

void tst_PluginsList::fileReachedTwiceIsOwnedOnce()
{
    const QString folder = fixtureDir("valid");
    QVERIFY(QDir::setCurrent(folder));
    {
        // The engine's "." names the working folder: never a place to load code from.
        Loaded fromWorkingFolder({});
        QVERIFY(!fromWorkingFolder.accepted);
        QVERIFY(fromWorkingFolder.list->availablePluginsList().empty());
    }
    {
        Loaded loaded({folder, folder});
        QVERIFY(loaded.accepted);
        QCOMPARE(QDir::currentPath(), QDir(folder).absolutePath());
        QCOMPARE(origins(loaded.list->availablePluginsList()), (QStringList{"Valid camera", "Valid turntable"}));
    }
    QVERIFY(QDir::setCurrent(emptyWorkingDir.path()));
}

void tst_PluginsList::engineIsRecreatedAfterTheListIsGone()
{
    QQmlEngine *first = nullptr;
    {
        ZLPluginsList list;
        first = globalQmlEngine();
        QCOMPARE(globalQmlEngine(), first);
        list.addPluginLoadPath(fixtureDir("valid"));
        QCOMPARE(first->pluginPathList().first(), fixtureDir("valid"));
        QCOMPARE(first->pluginPathList().last(), QStringLiteral("."));
    }
    // A fresh engine, without the folder the previous one had.
    QQmlEngine *second = globalQmlEngine();
    QVERIFY(second);
    QVERIFY(!second->pluginPathList().contains(fixtureDir("valid")));
    ZLPluginsList owner;
}

QTEST_MAIN(tst_PluginsList)
#include "tst_pluginslist.moc"
