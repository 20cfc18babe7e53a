#include "exifstamp.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>

namespace {
void setAscii(ExifData *data, ExifIfd ifd, ExifTag tag, const QByteArray &text)
{
    ExifMem *mem = exif_mem_new_default();
    ExifEntry *entry = exif_entry_new_mem(mem);
    entry->data = static_cast<unsigned char *>(exif_mem_alloc(mem, ExifLong(text.size() + 1)));
    std::memcpy(entry->data, text.constData(), size_t(text.size()) + 1);
    entry->size = unsigned(text.size() + 1);
    entry->components = static_cast<unsigned long>(text.size() + 1);
    entry->format = EXIF_FORMAT_ASCII;
    entry->tag = tag;
    exif_content_add_entry(data->ifd[ifd], entry);
    exif_entry_unref(entry);
    exif_mem_unref(mem);
}
}

QByteArray jpegWithCaptureTime(const QByteArray &jpeg, const QDateTime &cameraTime, bool subSeconds)
{
    ExifData *data = exif_data_new();
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    setAscii(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL,
             cameraTime.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
    if (subSeconds)
        setAscii(data, EXIF_IFD_EXIF, EXIF_TAG_SUB_SEC_TIME_ORIGINAL,
                 QByteArray::number(cameraTime.time().msec()).rightJustified(3, '0'));
    unsigned char *block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &block, &size);
    exif_data_unref(data);
    // APP1 right after the start-of-image marker, where readers look for it.
    QByteArray out = jpeg.left(2);
    out += char(0xFF);
    out += char(0xE1);
    out += char(((size + 2) >> 8) & 0xFF);
    out += char((size + 2) & 0xFF);
    out += QByteArray(reinterpret_cast<const char *>(block), int(size));
    out += jpeg.mid(2);
    std::free(block);
    return out;
}
