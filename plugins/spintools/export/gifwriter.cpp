#include "gifwriter.h"

#include "scaledpicturereader.h"

#include <QFileInfo>
#include <QFile>

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace {
struct GifCloser
{
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
}

void GifWriter::declareOptions(ExportOptions *options)
{
    options->addNumber(QStringLiteral("width"), 480, 50, 2000);
    options->addNumber(QStringLiteral("frameTime"), 100, 20, 5000);
}

bool GifWriter::write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                      const ExportProgress &progress, QString *error)
{
    const QSize size = ScaledPictureReader::sizeForWidth(frames.sourceSize(), options.number(QStringLiteral("width")));
    const QString name = QFileInfo(path).fileName();
    const QByteArray nativePath = QFile::encodeName(path);
    int gifError = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpenFileName(nativePath.constData(), false, &gifError));
    const auto failed = [&]() {
        *error = tr("\"%1\" could not be written: %2").arg(name, QString::fromLatin1(GifErrorString(gif ? gif->Error : gifError)));
        return false;
    };
    if (!gif)
        return failed();
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), size.width(), size.height(), 8, 0, nullptr) == GIF_ERROR)
        return failed();
    // The NETSCAPE2.0 block with a loop count of 0: browsers and players loop for ever.
    static const GifByteType application[] = "NETSCAPE2.0";
    static const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR
        || EGifPutExtensionBlock(gif.get(), 11, application) == GIF_ERROR
        || EGifPutExtensionBlock(gif.get(), 3, loop) == GIF_ERROR
        || EGifPutExtensionTrailer(gif.get()) == GIF_ERROR)
        return failed();

    const int pixels = size.width() * size.height();
    std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
    GraphicsControlBlock control;
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    // GIF counts in hundredths of a second.
    control.DelayTime = qMax(2, (options.number(QStringLiteral("frameTime")) + 5) / 10);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);

    const QVector<SpinFrame> &row = frames.rows().first();
    for (int i = 0; i < row.size(); ++i) {
        const QImage image = ScaledPictureReader::readExactly(row[i].path, size, error);
        if (image.isNull())
            return false;
        for (int y = 0; y < size.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const int at = y * size.width() + x;
                red[at] = GifByteType(qRed(line[x]));
                green[at] = GifByteType(qGreen(line[x]));
                blue[at] = GifByteType(qBlue(line[x]));
            }
        }
        // Each frame its own palette: a turning product shows other colours at other angles.
        int colours = 256;
        GifColorType palette[256] = {};
        if (GifQuantizeBuffer(unsigned(size.width()), unsigned(size.height()), &colours, red.data(),
                              green.data(), blue.data(), indices.data(), palette) == GIF_ERROR) {
            *error = tr("Frame %1 could not be reduced to a palette.").arg(i + 1);
            return false;
        }
        std::unique_ptr<ColorMapObject, void (*)(ColorMapObject *)> map(GifMakeMapObject(256, palette),
                                                                         GifFreeMapObject);
        if (!map || EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR
            || EGifPutImageDesc(gif.get(), 0, 0, size.width(), size.height(), false, map.get()) == GIF_ERROR)
            return failed();
        for (int y = 0; y < size.height(); ++y) {
            if (EGifPutLine(gif.get(), indices.data() + y * size.width(), size.width()) == GIF_ERROR)
                return failed();
        }
        if (progress && !progress(i + 1)) {
            *error = tr("The export was cancelled.");
            return false;
        }
    }
    GifFileType *open = gif.release();
    if (EGifCloseFile(open, &gifError) == GIF_ERROR) {
        *error = tr("\"%1\" could not be written: %2").arg(name, QString::fromLatin1(GifErrorString(gifError)));
        return false;
    }
    return true;
}
