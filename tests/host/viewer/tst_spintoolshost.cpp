#include "exifstamp.h"
#include "generatedspin.h"
#include "spintoolshost.h"
#include "spinviewermodel.h"
#include "testfiles.h"
#include "zlcardimporttools.h"
#include "zlspinexporttools.h"

#include <QBuffer>
#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The host's side of the export and import plug-in objects, with the spin tools' own objects.
class tst_SpinToolsHost : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listsToolsUnderHostIds();
    void exportRunsOnAWorker();
    void exportFailuresAreReported_data();
    void exportFailuresAreReported();
    void importListsWhatDidNotMatch();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ZLSpinExportTools> exports;
    std::unique_ptr<ZLCardImportTools> imports;
    std::unique_ptr<SpinToolsHost> host;
};

namespace {

// The host's id of the export with this key.
int toolId(const SpinToolsHost &host, const QString &key)
{
    for (const QVariant &tool : host.exportTools()) {
        if (tool.toMap().value(QStringLiteral("key")) == key)
            return tool.toMap().value(QStringLiteral("id")).toInt();
    }
    return -1;
}

} // namespace

void tst_SpinToolsHost::init()
{
    dir.reset(new QTemporaryDir);
    exports.reset(new ZLSpinExportTools);
    imports.reset(new ZLCardImportTools);
    host.reset(new SpinToolsHost({exports.get(), imports.get(), nullptr}));
}

void tst_SpinToolsHost::cleanup()
{
    host.reset();
    // The hooks went with the host: a tool reporting now would throw.
    QVERIFY(!ZLToolsAction::ToolsActionPrivate::itemsCountProcessed);
    imports.reset();
    exports.reset();
}

void tst_SpinToolsHost::listsToolsUnderHostIds()
{
    const QVariantList tools = host->exportTools();
    QCOMPARE(tools.size(), 4);
    QStringList keys;
    QSet<int> ids;
    for (const QVariant &tool : tools) {
        keys << tool.toMap().value(QStringLiteral("key")).toString();
        ids << tool.toMap().value(QStringLiteral("id")).toInt();
        QVERIFY(!tool.toMap().value(QStringLiteral("title")).toString().isEmpty());
    }
    QCOMPARE(keys, ZLSpinExportTools::keys());
    QCOMPARE(ids.size(), 4);
    const QVariantMap gif = tools.at(ZLSpinExportTools::Gif).toMap().value(QStringLiteral("options")).toMap();
    const QVariantMap width = gif.value(QStringLiteral("width")).toMap();
    QCOMPARE(width.value(QStringLiteral("value")).toInt(), 480);
    QVERIFY(width.value(QStringLiteral("max")).toInt() > width.value(QStringLiteral("min")).toInt());

    const QVariantList importers = host->importTools();
    QCOMPARE(importers.size(), 1);
    QCOMPARE(importers.first().toMap().value(QStringLiteral("title")).toString(), imports->importTitle());
    QVERIFY(!host->runExport(999, {}, dir->path(), {}));
    QVERIFY(!host->runImport(1, dir->path(), dir->path()));
    QVERIFY(!host->isBusy());
}

void tst_SpinToolsHost::exportRunsOnAWorker()
{
    const QString spin = GeneratedSpin::evenlySpaced(12).write(dir->path(), QStringLiteral("spin"));
    const QString target = dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
    QSignalSpy finished(host.get(), &SpinToolsHost::finished);
    QSignalSpy progress(host.get(), &SpinToolsHost::progressChanged);

    QVERIFY(host->runExport(toolId(*host, "gif"), {spin}, QUrl::fromLocalFile(target).toString(),
                            {{QStringLiteral("width"), 64}}));
    QVERIFY(host->isBusy());
    // One job at a time.
    QVERIFY(!host->runExport(toolId(*host, "webp"), {spin}, target, {}));
    QVERIFY(finished.wait(30000));
    QVERIFY(!host->isBusy());
    QVERIFY2(finished.first().at(0).toBool(), qPrintable(finished.first().at(1).toString()));
    const QString path = finished.first().at(2).toMap().value(QStringLiteral("path")).toString();
    QCOMPARE(path, QDir(target).filePath(QStringLiteral("spin.gif")));
    QVERIFY(finished.first().at(1).toString().contains(QDir::toNativeSeparators(path)));
    QVERIFY(QImage(path).width() == 64);
    QTRY_COMPARE(host->progress(), 12);
    QVERIFY(progress.count() > 2);
}

void tst_SpinToolsHost::exportFailuresAreReported_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("text");
    QTest::newRow("not a spin") << "nospin" << "is not a spin";
    QTest::newRow("target is a file") << "targetfile" << "does not exist";
    QTest::newRow("option out of bounds") << "option" << "width";
}

void tst_SpinToolsHost::exportFailuresAreReported()
{
    QFETCH(QString, scene);
    QFETCH(QString, text);
    QString spin = GeneratedSpin::evenlySpaced(4).write(dir->path(), QStringLiteral("spin"));
    QString target = dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
    QVariantMap options;
    if (scene == "nospin")
        spin = target;
    else if (scene == "targetfile")
        QVERIFY(TestFiles::write(target = dir->filePath(QStringLiteral("file")), "x"));
    else
        options.insert(QStringLiteral("width"), 100000);

    QSignalSpy finished(host.get(), &SpinToolsHost::finished);
    QVERIFY(host->runExport(toolId(*host, "gif"), {spin}, target, options));
    QVERIFY(finished.wait(30000));
    QVERIFY(!finished.first().at(0).toBool());
    QVERIFY2(finished.first().at(1).toString().contains(text), qPrintable(finished.first().at(1).toString()));
    if (QFileInfo(target).isDir())
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_SpinToolsHost::importListsWhatDidNotMatch()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(4);
    generated.cameraKind = QStringLiteral("cable");
    generated.intervalMs = 3000;
    const QString spin = generated.write(dir->path(), QStringLiteral("spin"));
    const QString card = dir->filePath(QStringLiteral("card/DCIM"));
    // The camera's clock 40 s ahead; shot 3 never reached the card, a stray picture did.
    for (int shot : {1, 2, 4, 9}) {
        const QDateTime time = generated.shotTime(shot);
        // The stray one was taken long before the spin.
        const QDateTime camera = shot == 9 ? QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC)
                                           : QDateTime(time.date(), time.time(), Qt::UTC).addSecs(40);
        QBuffer jpeg;
        jpeg.open(QIODevice::WriteOnly);
        QVERIFY(generated.picture(shot).save(&jpeg, "jpeg", 85));
        QVERIFY(QDir().mkpath(card));
        QVERIFY(TestFiles::write(QDir(card).filePath(QStringLiteral("IMG_%1.JPG").arg(shot)),
                                 jpegWithCaptureTime(jpeg.data(), camera)));
    }

    QSignalSpy finished(host.get(), &SpinToolsHost::finished);
    QVERIFY(host->runImport(0, QUrl::fromLocalFile(dir->filePath(QStringLiteral("card"))).toString(), spin));
    QVERIFY(finished.wait(30000));
    const QString report = finished.first().at(1).toString();
    QVERIFY2(finished.first().at(0).toBool(), qPrintable(report));
    QVERIFY2(report.startsWith(QStringLiteral("3 picture(s) copied")), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("Shots without a picture: 3")), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("match no shot")) && report.contains(QStringLiteral("IMG_9.JPG")),
             qPrintable(report));

    // The viewer sees the copied pictures; the shot without one stays a gap.
    SpinViewerModel model;
    QString error;
    QVERIFY2(model.open(spin, &error), qPrintable(error));
    QVector<int> kinds;
    for (const SpinViewerFrame &frame : model.row(0).frames)
        kinds << int(frame.kind);
    QCOMPARE(kinds, (QVector<int>{SpinViewerFrame::Picture, SpinViewerFrame::Picture, SpinViewerFrame::Missing,
                                  SpinViewerFrame::Picture}));
}

QTEST_MAIN(tst_SpinToolsHost)
#include "tst_spintoolshost.moc"
