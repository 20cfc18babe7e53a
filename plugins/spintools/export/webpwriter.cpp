#include "webpwriter.h"

#include "scaledpicturereader.h"

#include <QFileInfo>
#include <QSaveFile>

#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

namespace {
struct EncoderDeleter
{
    void operator()(WebPAnimEncoder *encoder) const { WebPAnimEncoderDelete(encoder); }
};
struct PictureGuard
{
    WebPPicture picture;
    PictureGuard() { WebPPictureInit(&picture); }
    ~PictureGuard() { WebPPictureFree(&picture); }
};
struct DataGuard
{
    WebPData data;
    DataGuard() { WebPDataInit(&data); }
    ~DataGuard() { WebPDataClear(&data); }
};
}

void WebPWriter::declareOptions(ExportOptions *options)
{
    options->addNumber(QStringLiteral("width"), 800, 50, 4000);
    options->addNumber(QStringLiteral("frameTime"), 100, 20, 5000);
    options->addNumber(QStringLiteral("quality"), 80, 1, 100);
}

bool WebPWriter::write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                       const ExportProgress &progress, QString *error)
{
    const QString name = QFileInfo(path).fileName();
    const QSize size = ScaledPictureReader::sizeForWidth(frames.sourceSize(), options.number(QStringLiteral("width")));
    WebPAnimEncoderOptions encoderOptions;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&encoderOptions) || !WebPConfigInit(&config)) {
        *error = tr("The WebP library on this computer does not match the one the program was built with.");
        return false;
    }
    encoderOptions.anim_params.loop_count = 0;
    config.quality = float(options.number(QStringLiteral("quality")));
    std::unique_ptr<WebPAnimEncoder, EncoderDeleter> encoder(
            WebPAnimEncoderNew(size.width(), size.height(), &encoderOptions));
    if (!encoder) {
        *error = tr("\"%1\" could not be started: the WebP encoder refused the size %2 x %3.")
                         .arg(name).arg(size.width()).arg(size.height());
        return false;
    }
    const int frameTime = options.number(QStringLiteral("frameTime"));
    const QVector<SpinFrame> &row = frames.rows().first();
    int timestamp = 0;
    for (int i = 0; i < row.size(); ++i) {
        const QImage image = ScaledPictureReader::readExactly(row[i].path, size, error)
                                     .convertToFormat(QImage::Format_RGBA8888);
        if (image.isNull())
            return false;
        PictureGuard frame;
        frame.picture.use_argb = 1;
        frame.picture.width = size.width();
        frame.picture.height = size.height();
        if (!WebPPictureImportRGBA(&frame.picture, image.constBits(), image.bytesPerLine())
            || !WebPAnimEncoderAdd(encoder.get(), &frame.picture, timestamp, &config)) {
            *error = tr("Frame %1 could not be encoded: %2")
                             .arg(i + 1).arg(QString::fromUtf8(WebPAnimEncoderGetError(encoder.get())));
            return false;
        }
        timestamp += frameTime;
        if (progress && !progress(i + 1)) {
            *error = tr("The export was cancelled.");
            return false;
        }
    }
    DataGuard assembled;
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr)
        || !WebPAnimEncoderAssemble(encoder.get(), &assembled.data)) {
        *error = tr("\"%1\" could not be assembled: %2")
                         .arg(name, QString::fromUtf8(WebPAnimEncoderGetError(encoder.get())));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(assembled.data.bytes), qint64(assembled.data.size))
                   != qint64(assembled.data.size)
        || !file.commit()) {
        *error = tr("\"%1\" could not be written: %2").arg(name, file.errorString());
        return false;
    }
    return true;
}
