#include "exifstamp.h"
#include "generatedspin.h"
#include "shotmatcher.h"
#include "spinmanifest.h"
#include "zlcardimporttools.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray jpegOf(const QImage &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg", 85);
    return buffer.data();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QList<int> ints(const QVariant &list)
{
    QList<int> out;
    for (const QVariant &v : list.toList())
        out << v.toInt();
    return out;
}

} // namespace

class tst_CardImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void importsByCaptureTime_data();
    void importsByCaptureTime();
    void nothingExistingIsOverwritten();
    void twoPicturesForOneShotAreAmbiguous();
    void refusals_data();
    void refusals();

private:
    // Writes the card: one JPEG per shot in shots (camera time = shot time + offset + lag).
    void writeCard(const QList<int> &shots, qint64 offsetMs, bool subSeconds, int lagMs = 180);

    std::unique_ptr<QTemporaryDir> dir;
    GeneratedSpin generated;
    QString spinPath;
    QString card;
};

void tst_CardImport::init()
{
    dir.reset(new QTemporaryDir);
    generated = GeneratedSpin::evenlySpaced(10);
    generated.cameraKind = QStringLiteral("cable");
    generated.intervalMs = 3000;
    spinPath = generated.write(dir->path(), QStringLiteral("spin"));
    QVERIFY(!spinPath.isEmpty());
    card = dir->filePath(QStringLiteral("card"));
}

void tst_CardImport::writeCard(const QList<int> &shots, qint64 offsetMs, bool subSeconds, int lagMs)
{
    for (int shot : shots) {
        // The camera's clock as it reads at the shot: the program's wall clock, shifted.
        const QDateTime program = generated.shotTime(shot);
        const QDateTime camera = QDateTime(program.date(), program.time(), Qt::UTC).addMSecs(offsetMs + lagMs);
        const QString name = QStringLiteral("DCIM/100CAMRA/IMG_%1.JPG").arg(shot + 40, 4, 10, QLatin1Char('0'));
        QVERIFY(writeFile(QDir(card).filePath(name), jpegWithCaptureTime(jpegOf(generated.picture(shot)), camera, subSeconds)));
    }
}

void tst_CardImport::importsByCaptureTime_data()
{
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<bool>("subSeconds");
    // An hour and two minutes behind, as a camera on winter time with a drifting clock.
    QTest::newRow("clock behind, sub-seconds") << qint64(-3733400) << true;
    QTest::newRow("clock ahead, whole seconds") << qint64(86400000 + 5000) << false;
    QTest::newRow("clock right") << qint64(0) << true;
}

void tst_CardImport::importsByCaptureTime()
{
    QFETCH(qint64, offsetMs);
    QFETCH(bool, subSeconds);
    // Shot 4 never fired the camera; one picture was taken after the spin, one a day before;
    // shot 1 was shot raw + JPEG.
    writeCard({1, 2, 3, 5, 6, 7, 8, 9, 10}, offsetMs, subSeconds);
    writeCard({30}, offsetMs, subSeconds);
    writeCard({-28000}, offsetMs, subSeconds);
    QVERIFY(writeFile(QDir(card).filePath("DCIM/100CAMRA/IMG_0041.CR2"), "raw data"));

    ZLCardImportTools importer;
    QVariantMap report;
    QVERIFY2(importer.importIntoSpin(card, spinPath, &report), qPrintable(importer.lastError()));

    QCOMPARE(report.value("offsetSeconds").toDouble(), (offsetMs + 180 + (subSeconds ? 0 : 320)) / 1000.0);
    QCOMPARE(ints(report.value("missingShots")), QList<int>{4});
    QCOMPARE(report.value("unmatched").toList().size(), 2);
    QVERIFY(report.value("ambiguous").toList().isEmpty());
    const QVariantList imported = report.value("imported").toList();
    QCOMPARE(imported.size(), 10); // nine JPEGs and the raw file

    SpinManifest::Spin spin;
    QString error;
    QVERIFY(SpinManifest::read(spinPath, &spin, &error));
    for (const SpinManifest::Shot &shot : qAsConst(spin.shots)) {
        if (shot.shot == 4) {
            QCOMPARE(shot.outcome, QStringLiteral("triggered"));
            QVERIFY(shot.files.isEmpty());
            continue;
        }
        QCOMPARE(shot.outcome, QStringLiteral("imported"));
        const QString stem = QStringLiteral("originalCapturedImages/") + SpinManifest::pictureStem(shot.shot, shot.angle, 10);
        QStringList expected{stem + ".jpg"};
        if (shot.shot == 1)
            expected << stem + ".cr2";
        QCOMPARE(shot.files, expected);
        // Copied, not moved, and byte for byte.
        const QString source = QDir(card).filePath(QStringLiteral("DCIM/100CAMRA/IMG_%1.JPG").arg(shot.shot + 40, 4, 10, QLatin1Char('0')));
        QVERIFY(QFileInfo::exists(source));
        QCOMPARE(contents(QDir(spinPath).filePath(shot.files.first())), contents(source));
    }
    QVERIFY(QDir(QDir(spinPath).filePath("originalCapturedImages")).entryList({"*.part"}, QDir::Files).isEmpty());
}

void tst_CardImport::nothingExistingIsOverwritten()
{
    writeCard({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1500, true);
    // Shot 2 already has a picture of the same name (put there by hand).
    const QString taken = QDir(spinPath).filePath("originalCapturedImages/" + SpinManifest::pictureStem(2, 36.0, 10) + ".jpg");
    QVERIFY(writeFile(taken, "the photographer's own"));
    ZLCardImportTools importer;
    QVariantMap first, second;
    QVERIFY2(importer.importIntoSpin(card, spinPath, &first), qPrintable(importer.lastError()));
    QCOMPARE(first.value("imported").toList().size(), 9);
    QCOMPARE(first.value("skippedExisting").toList().size(), 1);
    QCOMPARE(contents(taken), QByteArray("the photographer's own"));
    // Again: every shot now has its picture, nothing is copied twice.
    QVERIFY(importer.importIntoSpin(card, spinPath, &second));
    QVERIFY(second.value("imported").toList().isEmpty());
    QCOMPARE(second.value("skippedExisting").toList().size(), 10);
    QCOMPARE(contents(taken), QByteArray("the photographer's own"));
}

void tst_CardImport::twoPicturesForOneShotAreAmbiguous()
{
    writeCard({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0, true);
    // A second exposure 400 ms after shot 5's, as a camera set to continuous drive fires.
    const QDateTime program = generated.shotTime(5);
    const QDateTime twice = QDateTime(program.date(), program.time(), Qt::UTC).addMSecs(580);
    QVERIFY(writeFile(QDir(card).filePath("DCIM/100CAMRA/IMG_0099.JPG"),
                      jpegWithCaptureTime(jpegOf(generated.picture(5)), twice)));
    ZLCardImportTools importer;
    QVariantMap report;
    QVERIFY2(importer.importIntoSpin(card, spinPath, &report), qPrintable(importer.lastError()));
    QCOMPARE(report.value("ambiguous").toList().size(), 2);
    QCOMPARE(ints(report.value("missingShots")), QList<int>{5});
    QCOMPARE(report.value("imported").toList().size(), 9);
}

void tst_CardImport::refusals_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("message");
    QTest::newRow("spin folder is no spin") << "nospin" << "is not a spin";
    QTest::newRow("card folder missing") << "nocard" << "does not exist";
    QTest::newRow("card without JPEGs") << "nojpeg" << "no JPEG";
    QTest::newRow("pictures of another day") << "strangers" << "None of the 2 pictures";
    QTest::newRow("a longer identical sequence") << "tie" << "equally well";
    QTest::newRow("hand-edited manifest") << "manifest" << "cannot be read";
}

void tst_CardImport::refusals()
{
    QFETCH(QString, scene);
    QFETCH(QString, message);
    QString spinFolder = spinPath;
    if (scene == "nospin") {
        writeCard({1, 2, 3}, 0, true);
        spinFolder = card;
    } else if (scene == "nocard") {
        card = dir->filePath("gone");
    } else if (scene == "nojpeg") {
        QVERIFY(writeFile(QDir(card).filePath("IMG_0001.CR2"), "raw"));
    } else if (scene == "strangers") {
        writeCard({-5000, -9000}, 0, true);
    } else if (scene == "tie") {
        // Twenty pictures three seconds apart fit the ten shots at eleven offsets alike.
        QList<int> shots;
        for (int i = -4; i <= 15; ++i)
            shots << i;
        writeCard(shots, 0, true);
    } else if (scene == "manifest") {
        writeCard({1, 2, 3}, 0, true);
        QVERIFY(writeFile(QDir(spinPath).filePath("spin.json"), "{\"format\": 1, \"shots\": [{\"shot\": -3}]}"));
    }
    const QByteArray manifestBefore = contents(QDir(spinPath).filePath("spin.json"));
    ZLCardImportTools importer;
    QVariantMap report;
    QVERIFY(!importer.importIntoSpin(card, spinFolder, &report));
    QVERIFY2(importer.lastError().contains(message), qPrintable(importer.lastError()));
    QVERIFY(report.isEmpty());
    QCOMPARE(contents(QDir(spinPath).filePath("spin.json")), manifestBefore);
    QVERIFY(QDir(QDir(spinPath).filePath("originalCapturedImages")).entryList(QDir::Files).isEmpty());
}

QTEST_MAIN(tst_CardImport)
#include "tst_cardimport.moc"
