#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A program killed while it saves its settings leaves the previous file whole.
class tst_SaveCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedMidSaveKeepsAWholeFile_data();
    void killedMidSaveKeepsAWholeFile();
};

void tst_SaveCrash::killedMidSaveKeepsAWholeFile_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("key");
    QTest::newRow("program settings") << "host" << "Spinwright.json" << "lastUsedTurntableIndex-v3";
    QTest::newRow("spin settings") << "spins" << "TurntableSpins.json" << "shootingAnglesList";
    QTest::newRow("turntable settings") << "turntable" << "MarvolixTurntable-v3.json" << "rotationSpeed";
}

void tst_SaveCrash::killedMidSaveKeepsAWholeFile()
{
    QFETCH(QString, mode);
    QFETCH(QString, fileName);
    QFETCH(QString, key);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString path = home.path() + QStringLiteral("/data/SpinwrightTests/savehelper/") + fileName;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));

    // Kills after more and more saves land at different points of the save cycle.
    for (int round = 0; round < 6; ++round) {
        QProcess helper;
        helper.setProcessEnvironment(env);
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(SAVEHELPER_PATH), {mode});
        QVERIFY2(helper.waitForStarted(30000), qPrintable(helper.errorString()));
        int saves = 0;
        const int wanted = 2 + round * 3;
        QTRY_VERIFY_WITH_TIMEOUT((saves += helper.readAll().count("saved\n")) >= wanted
                                     || helper.state() == QProcess::NotRunning,
                                 60000);
        QCOMPARE(helper.state(), QProcess::Running);
        helper.kill();
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QVERIFY(document.isObject());
        QVERIFY(document.object().contains(key));
    }
}

QTEST_GUILESS_MAIN(tst_SaveCrash)
#include "tst_savecrash.moc"
