#include "webviewerwriter.h"

#include "scaledpicturereader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

static void initWebResources()
{
    Q_INIT_RESOURCE(web);
}

namespace {

QString resourceText(const char *name)
{
    QFile file(QStringLiteral(":/spintools/web/") + QLatin1String(name));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

bool writeText(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = WebViewerWriter::tr("\"%1\" could not be written: %2")
                         .arg(QFileInfo(path).fileName(), file.errorString());
        return false;
    }
    return true;
}

bool writeJpeg(const QImage &image, const QString &path, int quality, QString *error)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    // Progressive: a browser shows a coarse frame at once and sharpens it as the file arrives.
    writer.setProgressiveScanWrite(true);
    writer.setOptimizedWrite(true);
    if (!writer.write(image)) {
        *error = WebViewerWriter::tr("\"%1\" could not be written: %2")
                         .arg(QFileInfo(path).fileName(), writer.errorString());
        return false;
    }
    return true;
}

} // namespace

void WebViewerWriter::declareOptions(ExportOptions *options)
{
    options->addNumber(QStringLiteral("width"), 1200, 100, 8000);
    // 0 leaves zoom out; a zoom width no larger than the source gives the source's own size.
    options->addNumber(QStringLiteral("zoomWidth"), 2400, 0, 16000);
    options->addNumber(QStringLiteral("quality"), 85, 10, 100);
    options->addNumber(QStringLiteral("frameTime"), 80, 20, 2000);
    options->addFlag(QStringLiteral("autoplay"), true);
    options->addFlag(QStringLiteral("reverse"), false);
}

bool WebViewerWriter::write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                            const ExportProgress &progress, QString *error)
{
    initWebResources();
    const QDir folder(path);
    const QSize source = frames.sourceSize();
    const int width = qMin(options.number(QStringLiteral("width")), source.width());
    const QSize size = ScaledPictureReader::sizeForWidth(source, width);
    const int zoomWidth = qMin(options.number(QStringLiteral("zoomWidth")), source.width());
    const bool zoom = zoomWidth > width;
    const QSize zoomSize = ScaledPictureReader::sizeForWidth(source, zoomWidth);
    const int quality = options.number(QStringLiteral("quality"));
    if (!folder.mkpath(QStringLiteral("frames")) || (zoom && !folder.mkpath(QStringLiteral("zoom")))) {
        *error = tr("The folders for the frames could not be made in \"%1\".").arg(QDir::toNativeSeparators(path));
        return false;
    }

    QJsonArray frameRows, zoomRows, angleRows, shotRows;
    int done = 0;
    for (int r = 0; r < frames.rowCount(); ++r) {
        QJsonArray frameNames, zoomNames, angles, shots;
        const QVector<SpinFrame> &row = frames.rows().at(r);
        for (int c = 0; c < row.size(); ++c) {
            const QString name = QStringLiteral("r%1-%2.jpg").arg(r).arg(c, 3, 10, QLatin1Char('0'));
            // One read serves both sizes; the zoom frame is the larger one scaled down.
            const QImage large = ScaledPictureReader::readExactly(row[c].path, zoom ? zoomSize : size, error);
            if (large.isNull())
                return false;
            const QImage small = zoom ? large.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : large;
            if (!writeJpeg(small, folder.filePath(QStringLiteral("frames/") + name), quality, error))
                return false;
            if (zoom && !writeJpeg(large, folder.filePath(QStringLiteral("zoom/") + name), quality, error))
                return false;
            frameNames.append(QStringLiteral("frames/") + name);
            if (zoom)
                zoomNames.append(QStringLiteral("zoom/") + name);
            angles.append(row[c].angle);
            shots.append(row[c].shot);
            if (progress && !progress(++done)) {
                *error = tr("The export was cancelled.");
                return false;
            }
        }
        frameRows.append(frameNames);
        if (zoom)
            zoomRows.append(zoomNames);
        angleRows.append(angles);
        shotRows.append(shots);
    }

    const QJsonObject config{{QStringLiteral("width"), size.width()},
                             {QStringLiteral("height"), size.height()},
                             {QStringLiteral("frames"), frameRows},
                             {QStringLiteral("zoom"), zoomRows},
                             {QStringLiteral("angles"), angleRows},
                             {QStringLiteral("shots"), shotRows},
                             {QStringLiteral("frameTime"), options.number(QStringLiteral("frameTime"))},
                             {QStringLiteral("autoplay"), options.flag(QStringLiteral("autoplay"))},
                             {QStringLiteral("reverse"), options.flag(QStringLiteral("reverse"))}};
    // Inside a script element "</" would end it early.
    const QString configText = QString::fromUtf8(QJsonDocument(config).toJson(QJsonDocument::Compact))
                                       .replace(QLatin1String("</"), QLatin1String("<\\/"));
    const QString spinName = tr("Product spin").toHtmlEscaped();
    QString page = resourceText("index.html");
    page.replace(QLatin1String("@STYLE@"), resourceText("viewer.css"))
            .replace(QLatin1String("@SCRIPT@"), resourceText("viewer.js"))
            .replace(QLatin1String("@CONFIG@"), configText)
            .replace(QLatin1String("@TITLE@"), spinName)
            .replace(QLatin1String("@FIRST@"), frameRows.at(0).toArray().at(0).toString())
            .replace(QLatin1String("@WIDTH@"), QString::number(size.width()))
            .replace(QLatin1String("@HEIGHT@"), QString::number(size.height()));
    QString readme = resourceText("README.md");
    readme.replace(QLatin1String("@WIDTH@"), QString::number(size.width()))
            .replace(QLatin1String("@HEIGHT@"), QString::number(size.height()))
            .replace(QLatin1String("@FRAMES@"), QString::number(frames.columnCount()))
            .replace(QLatin1String("@ROWS@"), QString::number(frames.rowCount()));
    return writeText(folder.filePath(QStringLiteral("index.html")), page, error)
            && writeText(folder.filePath(QStringLiteral("README.md")), readme, error);
}
