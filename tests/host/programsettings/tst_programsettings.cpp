#include "programsettings.h"
#include "zlplugin.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>

class tst_ProgramSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void load_data();
    void load();
    void savedValuesReadBack();

private:
    void writeFile(const QByteArray &bytes);
};

void tst_ProgramSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(ProgramSettings::filePath().contains(QLatin1String(".qttest")));
}

void tst_ProgramSettings::init()
{
    const QString dir = QFileInfo(ProgramSettings::filePath()).absolutePath();
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
}

void tst_ProgramSettings::writeFile(const QByteArray &bytes)
{
    QFile file(ProgramSettings::filePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void tst_ProgramSettings::load_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("turntable");
    QTest::addColumn<QString>("camera");
    QTest::addColumn<QString>("pictures");

    // Files written before the camera and the pictures folder were remembered.
    QTest::newRow("older file") << QByteArray(R"j({"lastUsedTurntableIndex-v3": 2})j") << true << 2 << "" << "";
    QTest::newRow("no index") << QByteArray("{}") << true << -1 << "" << "";
    QTest::newRow("every key") << QByteArray(R"j({"lastUsedTurntableIndex-v3": 0, "camera": "Test Camera (USB 001,004)", "picturesFolder": "/srv/spins"})j")
                               << true << 0 << "Test Camera (USB 001,004)" << "/srv/spins";
    QTest::newRow("fractional index") << QByteArray(R"j({"lastUsedTurntableIndex-v3": 1.5})j") << false << -1 << "" << "";
    QTest::newRow("camera not a text") << QByteArray(R"j({"lastUsedTurntableIndex-v3": 1, "camera": 7})j") << false << -1 << "" << "";
    QTest::newRow("relative pictures folder") << QByteArray(R"j({"picturesFolder": "../spins"})j") << false << -1 << "" << "";
    QTest::newRow("pictures folder too long") << QByteArray("{\"picturesFolder\": \"/" + QByteArray(5000, 'a') + "\"}")
                                              << false << -1 << "" << "";
    QTest::newRow("not JSON") << QByteArray("{\"camera\": ") << false << -1 << "" << "";
}

void tst_ProgramSettings::load()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, usable);
    writeFile(file);

    ProgramSettings settings;
    settings.camera = QStringLiteral("left over");
    QString message;
    QCOMPARE(settings.load(&message), usable);
    QFETCH(int, turntable);
    QFETCH(QString, camera);
    QFETCH(QString, pictures);
    QCOMPARE(settings.lastUsedTurntable, turntable);
    QCOMPARE(settings.camera, camera);
    QCOMPARE(settings.picturesFolder, pictures);
    // A file that could not be used is kept for the user, and the message says where.
    QCOMPARE(QFile::exists(ProgramSettings::filePath() + QStringLiteral(".bad")), !usable);
    QCOMPARE(message.isEmpty(), usable);
    if (!usable)
        QVERIFY(message.contains(QDir::toNativeSeparators(ProgramSettings::filePath() + QStringLiteral(".bad"))));
    QCOMPARE(settings.effectivePicturesFolder(),
             pictures.isEmpty() ? ProgramSettings::defaultPicturesFolder() : pictures);
}

void tst_ProgramSettings::savedValuesReadBack()
{
    ProgramSettings settings;
    settings.lastUsedTurntable = 3;
    settings.camera = QStringLiteral("Shutter-release cable");
    settings.picturesFolder = QStringLiteral("/srv/spins");
    QString error;
    QVERIFY2(settings.save(&error), qPrintable(error));

    ProgramSettings read;
    QVERIFY(read.load(nullptr));
    QCOMPARE(read.lastUsedTurntable, 3);
    QCOMPARE(read.camera, settings.camera);
    QCOMPARE(read.picturesFolder, settings.picturesFolder);

    // Values left at their defaults are not written, so that a default that changes reaches
    // users who never chose otherwise.
    QVERIFY(ProgramSettings().save(&error));
    QFile file(ProgramSettings::filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(),
             (QJsonObject{{QStringLiteral("lastUsedTurntableIndex-v3"), 0}}));
}

QTEST_GUILESS_MAIN(tst_ProgramSettings)
#include "tst_programsettings.moc"
