#include "capturetimereader.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <libexif/exif-data.h>

#include <memory>

namespace {
struct ExifDataDeleter
{
    void operator()(ExifData *data) const { exif_data_unref(data); }
};

QString entryText(ExifData *data, ExifTag tag)
{
    ExifEntry *entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], tag);
    // DateTime in IFD0 stands in on cameras that write no DateTimeOriginal.
    if (!entry && tag == EXIF_TAG_DATE_TIME_ORIGINAL)
        entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_DATE_TIME);
    if (!entry || entry->format != EXIF_FORMAT_ASCII || !entry->data || entry->size == 0 || entry->size > 64)
        return QString();
    // ASCII entries should end in a NUL, but hand-edited files do not always.
    return QString::fromLatin1(reinterpret_cast<const char *>(entry->data),
                               int(qstrnlen(reinterpret_cast<const char *>(entry->data), entry->size)))
            .trimmed();
}
}

bool CaptureTimeReader::read(const QString &path, qint64 *msecs, bool *subSeconds)
{
    std::unique_ptr<ExifData, ExifDataDeleter> data(exif_data_new_from_file(QFile::encodeName(path).constData()));
    if (!data)
        return false;
    const QString stamp = entryText(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL);
    QDateTime time = QDateTime::fromString(stamp, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!time.isValid())
        return false;
    time.setTimeSpec(Qt::UTC);
    qint64 value = time.toMSecsSinceEpoch();
    // "5" is half a second, "05" five hundredths: the digits are a decimal fraction.
    const QString fraction = entryText(data.get(), EXIF_TAG_SUB_SEC_TIME_ORIGINAL);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const bool fine = digits.match(fraction).hasMatch();
    if (fine)
        value += qRound64((QStringLiteral("0.") + fraction).toDouble() * 1000.0);
    *msecs = value;
    *subSeconds = fine;
    return true;
}
