// Export time and size of each spin export on a 36-frame spin, and the exported web viewer's
// time to its first and to all frames in headless chromium, with its script's size.
// Usage: spinwright-bench-export [width height [keep-folder]]; prints tab-separated "row" lines.
#include "devtoolsbrowser.h"
#include "exporthost.h"
#include "generatedspin.h"
#include "scaledpicturereader.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdio>

namespace {

qint64 sizeOf(const QString &path)
{
    if (QFileInfo(path).isFile())
        return QFileInfo(path).size();
    qint64 total = 0;
    QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

void row(const QString &figure, const QString &value, const QString &details)
{
    std::printf("row\t%s\t%s\t-\t-\t%s\n", qPrintable(figure), qPrintable(value), qPrintable(details));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QSize size = argc >= 3 ? QSize(atoi(argv[1]), atoi(argv[2])) : QSize(6000, 4000);
    QTemporaryDir scratch;
    const QString root = argc >= 4 ? QString::fromLocal8Bit(argv[3]) : scratch.path();
    QDir().mkpath(root);

    GeneratedSpin generated = GeneratedSpin::evenlySpaced(36);
    generated.size = size;
    QElapsedTimer clock;
    clock.start();
    const QString spin = generated.write(root, QStringLiteral("bench-spin"));
    if (spin.isEmpty()) {
        std::fprintf(stderr, "the spin could not be generated in %s\n", qPrintable(root));
        return 1;
    }
    const QString source = QStringLiteral("36 frames of %1 x %2 (%3 MP) JPEG, %4 MB")
                                   .arg(size.width()).arg(size.height())
                                   .arg(size.width() * size.height() / 1e6, 0, 'f', 1)
                                   .arg(sizeOf(spin) / 1e6, 0, 'f', 1);
    std::fprintf(stderr, "generated %s in %lld ms\n", qPrintable(source), clock.elapsed());

    const QString target = QDir(root).filePath(QStringLiteral("exports"));
    QDir().mkpath(target);
    ExportHost host;
    const char *names[] = {"web viewer (1200 px, zoom 2400 px)", "GIF (480 px)", "WebP (800 px)", "contact sheet (6 x 320 px)"};
    QString viewerFolder;
    for (int tool = 0; tool < ZLSpinExportTools::ToolCount; ++tool) {
        QVariantMap result;
        clock.restart();
        if (!host.run(tool, {{"spinFolders", QStringList{spin}}, {"target", target}}, &result)) {
            std::fprintf(stderr, "%s failed: %s\n", names[tool], qPrintable(host.tools.lastError()));
            return 1;
        }
        const qint64 ms = clock.elapsed();
        const QString path = result.value(QStringLiteral("path")).toString();
        if (tool == ZLSpinExportTools::WebViewer)
            viewerFolder = path;
        row(QStringLiteral("Export: %1").arg(QLatin1String(names[tool])),
            QStringLiteral("%1 s, %2 MB").arg(ms / 1000.0, 0, 'f', 2).arg(sizeOf(path) / 1e6, 0, 'f', 2), source);
    }

    {
        // A 100-megapixel frame, read scaled as the exports read it, against a full decode.
        const QString large = QDir(root).filePath(QStringLiteral("large.jpg"));
        {
            QImage picture = generated.picture(1).scaled(12240, 8160);
            picture.save(large, "jpeg", 90);
        }
        QString error;
        clock.restart();
        const QImage scaled = ScaledPictureReader::read(large, QSize(1200, 1200), &error);
        const qint64 scaledMs = clock.elapsed();
        clock.restart();
        const QImage full = QImageReader(large).read();
        const qint64 fullMs = clock.elapsed();
        row(QStringLiteral("100 MP JPEG read for a 1200 px frame / full decode"),
            QStringLiteral("%1 ms / %2 ms").arg(scaledMs).arg(fullMs),
            QStringLiteral("12240 x 8160; scaled read gives %1 x %2 (%3 MB of pixels), full decode %4 MB")
                    .arg(scaled.width()).arg(scaled.height()).arg(scaled.sizeInBytes() / 1e6, 0, 'f', 1)
                    .arg(full.sizeInBytes() / 1e6, 0, 'f', 0));
        QFile::remove(large);
    }

    QFile script(QStringLiteral(":/spintools/web/viewer.js"));
    Q_INIT_RESOURCE(web);
    script.open(QIODevice::ReadOnly);
    const QByteArray text = script.readAll();
    // qCompress is zlib with a 4-byte length in front; gzip adds 18 bytes of frame to deflate.
    const int gzipped = qCompress(text, 9).size() - 4 - 6 + 18;
    row(QStringLiteral("Web viewer script size"), QStringLiteral("%1 bytes, %2 gzipped").arg(text.size()).arg(gzipped),
        QStringLiteral("viewer.js as inlined in index.html, %1 lines, no library").arg(text.count('\n')));

    DevToolsBrowser browser;
    QString why;
    if (!browser.start(QSize(1280, 900), &why)) {
        row(QStringLiteral("Web viewer in chromium"), QStringLiteral("not measured"), why);
        return 0;
    }
    QList<double> first, all;
    for (int run = 0; run < 5; ++run) {
        // A fresh page each run, from the disk cache's point of view too.
        browser.call(QStringLiteral("Network.setCacheDisabled"), {{"cacheDisabled", true}});
        browser.call(QStringLiteral("Page.navigate"),
                     {{"url", QUrl::fromLocalFile(QDir(viewerFolder).filePath("index.html")).toString()}});
        if (!browser.waitFor(QStringLiteral("performance.getEntriesByName('spin360-all-frames').length"), 60000)) {
            row(QStringLiteral("Web viewer in chromium"), QStringLiteral("not measured"), QStringLiteral("frames never all arrived"));
            return 1;
        }
        first << browser.evaluate(QStringLiteral("performance.getEntriesByName('spin360-first-frame')[0].startTime")).toDouble();
        all << browser.evaluate(QStringLiteral("performance.getEntriesByName('spin360-all-frames')[0].startTime")).toDouble();
    }
    std::sort(first.begin(), first.end());
    std::sort(all.begin(), all.end());
    const QString runs = QStringLiteral("median of 5 loads from file://, headless chromium, cache off; from navigation start");
    row(QStringLiteral("Web viewer: time to first frame"), QStringLiteral("%1 ms").arg(first[2], 0, 'f', 0),
        runs + QStringLiteral(" (range %1-%2 ms)").arg(first.first(), 0, 'f', 0).arg(first.last(), 0, 'f', 0));
    row(QStringLiteral("Web viewer: time to all 36 frames"), QStringLiteral("%1 ms").arg(all[2], 0, 'f', 0),
        runs + QStringLiteral(" (range %1-%2 ms)").arg(all.first(), 0, 'f', 0).arg(all.last(), 0, 'f', 0));
    return 0;
}
