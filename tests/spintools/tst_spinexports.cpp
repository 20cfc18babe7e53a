#include "exporthost.h"
#include "generatedspin.h"
#include "scaledpicturereader.h"
#include "spinmanifest.h"
#include "zlimporttools.h"
#include "zlpluginslist.h"
#include "zlspinexporttools.h"

#include <QDir>
#include <QtTest>

#include <gif_lib.h>
#include <webp/demux.h>

#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using Hooks = ZLToolsAction::ToolsActionPrivate;

// Eight shots taken out of angle order, so that every export must sort them.
GeneratedSpin shuffledSpin()
{
    GeneratedSpin spin;
    spin.angles = {90, 0, 135, 45, 180, 315, 225, 270};
    return spin;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QColor centreOf(const QImage &image, QRect cell = QRect())
{
    if (cell.isNull())
        cell = image.rect();
    return image.pixelColor(cell.center().x(), cell.top() + cell.height() * 2 / 3);
}

} // namespace

class tst_SpinExports : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pluginFileOffersTheToolsAndTheImport();
    void toolsAndTheirOptions();
    void gifDecodesBackInAngleOrder();
    void webpDecodesBackInAngleOrder();
    void contactSheetShowsEveryFrame();
    void webViewerFolder();
    void secondExportNeverReplacesTheFirst();
    void cancelLeavesNothing();
    void runsOnTheHostsWorkerThread();
    void badInput_data();
    void badInput();
    void readOnlyTarget();
    void hugePictureIsReadScaled();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString spinPath;
    QString target;
};

void tst_SpinExports::init()
{
    dir.reset(new QTemporaryDir);
    spinPath = shuffledSpin().write(dir->path(), QStringLiteral("2026-12-10_17-30-00"));
    QVERIFY(!spinPath.isEmpty());
    target = dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
}

void tst_SpinExports::pluginFileOffersTheToolsAndTheImport()
{
    ZLPluginsList list;
    list.addPluginLoadPath(QStringLiteral(PLUGIN_DIR));
    std::list<QString> errors;
    QVERIFY(list.loadPlugins(&errors));
    list.createPluginsObjects();
    const auto tools = list.availablePluginsList(ZLRegisterPlugin::ToolsActionPlugin);
    const auto imports = list.availablePluginsList(ZLRegisterPlugin::ImportToolsPlugin);
    QCOMPARE(int(tools.size()), 1);
    QCOMPARE(int(imports.size()), 1);
    QVERIFY(dynamic_cast<ZLToolsAction *>(tools.front()));
    QVERIFY(!dynamic_cast<ZLImportTools *>(imports.front())->importTitle().isEmpty());
    for (ZLAbstractPlugin *object : list.availablePluginsList())
        delete object;
}

void tst_SpinExports::toolsAndTheirOptions()
{
    QVector<ZLToolsAction::ToolInfo> offered;
    Hooks::addActionTool = [&](ZLToolsAction *, const ZLToolsAction::ToolInfo &info) {
        offered << info;
        return (unsigned short)(7 + offered.size());
    };
    ZLSpinExportTools tools;
    tools.setupActionTools();
    Hooks::addActionTool = nullptr;
    QStringList keys;
    for (const auto &info : qAsConst(offered)) {
        keys << QString::fromStdString(info.iconPath);
        QCOMPARE(info.flags, 1);
        QVERIFY(!info.title.isEmpty());
    }
    QCOMPARE(keys, (QStringList{"web-viewer", "gif", "webp", "contact-sheet"}));
    // Ids are the host's: 8 is the web viewer, 0 (a position) is no tool any more.
    const QVariantMap width = tools.toolOptions(8).value(QStringLiteral("width")).toMap();
    QCOMPARE(width, (QVariantMap{{"value", 1200}, {"min", 100}, {"max", 8000}}));
    QVERIFY(tools.toolOptions(9).contains(QStringLiteral("frameTime")));
    QVERIFY(tools.toolOptions(0).isEmpty());
    QVERIFY(!tools.runTool(0, {}, nullptr));
    QVERIFY(!tools.lastError().isEmpty());
}

void tst_SpinExports::gifDecodesBackInAngleOrder()
{
    ExportHost host;
    QVariantMap result;
    QVERIFY2(host.run(ZLSpinExportTools::Gif, {{"spinFolders", QStringList{spinPath}}, {"target", target},
                                               {"width", 80}, {"frameTime", 70}}, &result),
             qPrintable(host.tools.lastError()));
    const QString path = result.value(QStringLiteral("path")).toString();
    QCOMPARE(path, QDir(target).filePath(QStringLiteral("2026-12-10_17-30-00.gif")));
    QCOMPARE(entries(target), QStringList{"2026-12-10_17-30-00.gif"});
    QCOMPARE(host.progress.last(), 8u);

    int error = 0;
    GifFileType *gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    QVERIFY(gif);
    QCOMPARE(DGifSlurp(gif), GIF_OK);
    QCOMPARE(gif->ImageCount, 8);
    QCOMPARE(gif->SWidth, 80);
    QCOMPARE(gif->SHeight, 60);
    bool loops = false;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &frame = gif->SavedImages[i];
        for (int e = 0; e < frame.ExtensionBlockCount; ++e)
            loops = loops || (frame.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE
                              && QByteArray((const char *)frame.ExtensionBlocks[e].Bytes, 11) == "NETSCAPE2.0");
        GraphicsControlBlock control;
        QCOMPARE(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
        QCOMPARE(control.DelayTime, 7);
        const ColorMapObject *map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        const GifColorType c = map->Colors[frame.RasterBits[40 * 80 + 40]];
        QCOMPARE(positionOfColour(QColor(c.Red, c.Green, c.Blue), 8), i);
    }
    QVERIFY(loops);
    DGifCloseFile(gif, &error);
}

void tst_SpinExports::webpDecodesBackInAngleOrder()
{
    ExportHost host;
    QVariantMap result;
    QVERIFY2(host.run(ZLSpinExportTools::WebP, {{"spinFolders", QStringList{spinPath}}, {"target", target},
                                                {"width", 96}, {"frameTime", 40}}, &result),
             qPrintable(host.tools.lastError()));
    QFile file(result.value(QStringLiteral("path")).toString());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    QVERIFY(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_RGBA;
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder *)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                          WebPAnimDecoderDelete);
    QVERIFY(decoder);
    WebPAnimInfo info;
    QVERIFY(WebPAnimDecoderGetInfo(decoder.get(), &info));
    QCOMPARE(info.frame_count, 8u);
    QCOMPARE(info.canvas_width, 96u);
    QCOMPARE(info.loop_count, 0u);
    for (int i = 0; WebPAnimDecoderHasMoreFrames(decoder.get()); ++i) {
        uint8_t *pixels = nullptr;
        int timestamp = 0;
        QVERIFY(WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp));
        QCOMPARE(timestamp, 40 * (i + 1));
        const QImage frame(pixels, 96, 72, QImage::Format_RGBA8888);
        QCOMPARE(positionOfColour(centreOf(frame), 8), i);
    }
}

void tst_SpinExports::contactSheetShowsEveryFrame()
{
    GeneratedSpin withGap = shuffledSpin();
    withGap.withoutPicture = {3};
    const QString gapped = withGap.write(dir->path(), QStringLiteral("gapped"));
    ExportHost host;
    QVariantMap result;
    QVERIFY2(host.run(ZLSpinExportTools::ContactSheet, {{"spinFolders", QStringList{gapped}}, {"target", target},
                                                        {"columns", 4}, {"width", 100}}, &result),
             qPrintable(host.tools.lastError()));
    // Shot 3 (135 degrees) has no picture: seven frames, the gap named.
    QCOMPARE(result.value(QStringLiteral("frames")).toInt(), 7);
    QCOMPARE(result.value(QStringLiteral("gaps")).toStringList().size(), 1);
    QVERIFY(result.value(QStringLiteral("gaps")).toStringList().first().contains(QStringLiteral("shot 3")));
    const QImage sheet(result.value(QStringLiteral("path")).toString());
    QVERIFY(!sheet.isNull());
    const int label = 18, gap = 8;
    QCOMPARE(sheet.width(), gap + 4 * (100 + gap));
    QCOMPARE(sheet.height(), gap + 2 * (75 + label + gap));
    const QVector<int> positions{0, 1, 2, 4, 5, 6, 7}; // 135 degrees is position 3
    for (int i = 0; i < positions.size(); ++i) {
        const QRect cell(gap + (i % 4) * (100 + gap), gap + (i / 4) * (75 + label + gap), 100, 75);
        QCOMPARE(positionOfColour(centreOf(sheet, cell), 8), positions[i]);
    }
}

void tst_SpinExports::webViewerFolder()
{
    ExportHost host;
    QVariantMap result;
    QVERIFY2(host.run(ZLSpinExportTools::WebViewer, {{"spinFolders", QStringList{spinPath}}, {"target", target},
                                                     {"width", 120}, {"zoomWidth", 1000}}, &result),
             qPrintable(host.tools.lastError()));
    const QDir folder(result.value(QStringLiteral("path")).toString());
    QCOMPARE(folder.dirName(), QStringLiteral("2026-12-10_17-30-00-web"));
    QCOMPARE(entries(target), QStringList{"2026-12-10_17-30-00-web"});
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase), (QStringList{"index.html", "README.md"}));
    QCOMPARE(QDir(folder.filePath("frames")).entryList(QDir::Files).size(), 8);
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("r0-%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        QFile frame(folder.filePath(QStringLiteral("frames/") + name));
        QVERIFY(frame.open(QIODevice::ReadOnly));
        const QByteArray bytes = frame.readAll();
        // SOF2: a progressive JPEG.
        QVERIFY2(bytes.contains(QByteArray("\xFF\xC2", 2)), qPrintable(name));
        const QImage image = QImage::fromData(bytes);
        QCOMPARE(image.size(), QSize(120, 90));
        QCOMPARE(positionOfColour(centreOf(image), 8), i);
        // Zoom frames are capped at the source's own width.
        QCOMPARE(QImage(folder.filePath(QStringLiteral("zoom/") + name)).size(), QSize(160, 120));
    }
    QFile page(folder.filePath(QStringLiteral("index.html")));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QVERIFY(!html.contains(QStringLiteral("http:")) && !html.contains(QStringLiteral("https:")));
    QVERIFY(!html.contains(QStringLiteral("<script src")) && !html.contains(QStringLiteral("<link")));
    QVERIFY(!html.contains(QLatin1Char('@')));
    QVERIFY(html.contains(QStringLiteral("src=\"frames/r0-000.jpg\"")));
    QFile readme(folder.filePath(QStringLiteral("README.md")));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QVERIFY(readme.readAll().contains("<iframe src=\"spin/index.html\""));
}

void tst_SpinExports::secondExportNeverReplacesTheFirst()
{
    ExportHost host;
    QVariantMap first, second;
    const QVariantMap arguments{{"spinFolders", QStringList{spinPath}}, {"target", target}, {"width", 60}};
    QVERIFY(host.run(ZLSpinExportTools::Gif, arguments, &first));
    const QByteArray before = [&] { QFile f(first.value("path").toString()); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QVERIFY(host.run(ZLSpinExportTools::Gif, arguments, &second));
    QCOMPARE(QFileInfo(second.value("path").toString()).fileName(), QStringLiteral("2026-12-10_17-30-00-2.gif"));
    QFile again(first.value("path").toString());
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), before);
    QCOMPARE(entries(target).size(), 2);
}

void tst_SpinExports::cancelLeavesNothing()
{
    ExportHost host;
    host.cancelAt = 3;
    QVariantMap result;
    QVERIFY(!host.run(ZLSpinExportTools::WebViewer, {{"spinFolders", QStringList{spinPath}}, {"target", target},
                                                     {"width", 100}}, &result));
    QVERIFY(host.tools.lastError().contains(QStringLiteral("cancelled")));
    QCOMPARE(host.progress.last(), 3u);
    QCOMPARE(entries(target), QStringList());
    QVERIFY(result.isEmpty());
}

void tst_SpinExports::runsOnTheHostsWorkerThread()
{
    // The host runs exports off the GUI thread; progress is reported from there.
    ExportHost host;
    std::thread::id reportedFrom;
    ExportHost::Hooks::itemsCountProcessed = [&](ZLToolsAction *, unsigned, bool *) {
        reportedFrom = std::this_thread::get_id();
    };
    bool written = false;
    QVariantMap result;
    std::thread worker([&] {
        written = host.run(ZLSpinExportTools::ContactSheet,
                           {{"spinFolders", QStringList{spinPath}}, {"target", target}}, &result);
    });
    const std::thread::id workerId = worker.get_id();
    worker.join();
    QVERIFY2(written, qPrintable(host.tools.lastError()));
    QCOMPARE(reportedFrom, workerId);
    QVERIFY(QFileInfo(result.value("path").toString()).isFile());
}

void tst_SpinExports::badInput_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder that is no spin") << int(ZLSpinExportTools::Gif) << "nospin" << "is not a spin";
    QTest::newRow("missing folder") << int(ZLSpinExportTools::Gif) << "missing" << "does not exist";
    QTest::newRow("no spin chosen") << int(ZLSpinExportTools::Gif) << "none" << "No spin";
    QTest::newRow("angle out of bounds") << int(ZLSpinExportTools::WebP) << "angle" << "cannot be read";
    QTest::newRow("manifest not JSON") << int(ZLSpinExportTools::WebViewer) << "garbage" << "cannot be read";
    QTest::newRow("file outside the spin") << int(ZLSpinExportTools::ContactSheet) << "outside" << "cannot be read";
    QTest::newRow("no readable picture") << int(ZLSpinExportTools::Gif) << "nopictures" << "no readable pictures";
    QTest::newRow("rows of different lengths") << int(ZLSpinExportTools::WebViewer) << "rows" << "different numbers";
    QTest::newRow("target is a file") << int(ZLSpinExportTools::Gif) << "targetfile" << "does not exist";
    QTest::newRow("width too small") << int(ZLSpinExportTools::WebViewer) << "width" << "\"width\"";
    QTest::newRow("flag of the wrong type") << int(ZLSpinExportTools::WebViewer) << "flag" << "\"autoplay\"";
    QTest::newRow("picture of 1600 megapixels") << int(ZLSpinExportTools::Gif) << "huge" << "too large";
}

void tst_SpinExports::badInput()
{
    QFETCH(int, tool);
    QFETCH(QString, change);
    QFETCH(QString, message);
    QVariantMap arguments{{"spinFolders", QStringList{spinPath}}, {"target", target}};
    const auto rewriteManifest = [&](const QByteArray &from, const QByteArray &to) {
        QFile file(QDir(spinPath).filePath(QStringLiteral("spin.json")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.contains(from));
        text.replace(from, to);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    if (change == "nospin") {
        QDir().mkpath(dir->filePath("plain"));
        arguments["spinFolders"] = QStringList{dir->filePath("plain")};
    } else if (change == "missing") {
        arguments["spinFolders"] = QStringList{dir->filePath("gone")};
    } else if (change == "none") {
        arguments["spinFolders"] = QStringList();
    } else if (change == "angle") {
        rewriteManifest("\"angle\": 90", "\"angle\": 400");
    } else if (change == "garbage") {
        rewriteManifest("{", "{{");
    } else if (change == "outside") {
        rewriteManifest("originalCapturedImages/01_90.0.jpg", "../../etc/passwd");
    } else if (change == "nopictures") {
        QVERIFY(QDir(QDir(spinPath).filePath("originalCapturedImages")).removeRecursively());
    } else if (change == "rows") {
        arguments["spinFolders"] = QStringList{spinPath, GeneratedSpin::evenlySpaced(6).write(dir->path(), "short")};
    } else if (change == "targetfile") {
        QFile file(dir->filePath("afile"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        arguments["target"] = file.fileName();
    } else if (change == "width") {
        arguments["width"] = 5;
    } else if (change == "flag") {
        arguments["autoplay"] = QStringLiteral("yes");
    } else if (change == "huge") {
        // A PNG header claiming 40000 x 40000 pixels: refused from the header, never decoded.
        const QByteArray png = hugePngHeader();
        QFile picture(QDir(spinPath).filePath("originalCapturedImages/02_0.0.jpg"));
        QVERIFY(picture.open(QIODevice::WriteOnly | QIODevice::Truncate));
        picture.write(png);
    }
    ExportHost host;
    QVariantMap result;
    QVERIFY(!host.run(tool, arguments, &result));
    QVERIFY2(host.tools.lastError().contains(message), qPrintable(host.tools.lastError()));
    QVERIFY(result.isEmpty());
    QCOMPARE(entries(target), QStringList());
}

void tst_SpinExports::readOnlyTarget()
{
    if (geteuid() == 0)
        QSKIP("root may write into a read-only folder");
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
    ExportHost host;
    QVariantMap result;
    const bool written = host.run(ZLSpinExportTools::WebViewer,
                                  {{"spinFolders", QStringList{spinPath}}, {"target", target}}, &result);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!written);
    QVERIFY2(host.tools.lastError().contains(QStringLiteral("read-only")), qPrintable(host.tools.lastError()));
    QCOMPARE(entries(target), QStringList());
}

void tst_SpinExports::hugePictureIsReadScaled()
{
    // 4000 x 3000 read into a 300-pixel bound comes out at the bound, whole.
    QImage large(4000, 3000, QImage::Format_RGB32);
    large.fill(QColor(10, 200, 30));
    const QString path = dir->filePath(QStringLiteral("large.jpg"));
    QVERIFY(large.save(path, "jpeg", 80));
    QString error;
    const QImage small = ScaledPictureReader::read(path, QSize(300, 300), &error);
    QCOMPARE(small.size(), QSize(300, 225));
    QCOMPARE(ScaledPictureReader::read(path, QSize(9000, 9000), &error).size(), QSize(4000, 3000));
    QVERIFY(ScaledPictureReader::read(dir->filePath(QStringLiteral("none.jpg")), QSize(10, 10), &error).isNull());
    QVERIFY(error.contains(QStringLiteral("none.jpg")));
}

QTEST_MAIN(tst_SpinExports)
#include "tst_spinexports.moc"
