#include "contactsheetwriter.h"

#include "scaledpicturereader.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>

void ContactSheetWriter::declareOptions(ExportOptions *options)
{
    options->addNumber(QStringLiteral("columns"), 6, 1, 24);
    options->addNumber(QStringLiteral("width"), 320, 64, 1200);
}

bool ContactSheetWriter::write(const SpinFrameSet &frames, const ExportOptions &options, const QString &path,
                               const ExportProgress &progress, QString *error)
{
    const int count = frames.rowCount() * frames.columnCount();
    const int columns = qMin(options.number(QStringLiteral("columns")), count);
    const QSize cell = ScaledPictureReader::sizeForWidth(frames.sourceSize(), options.number(QStringLiteral("width")));
    const int label = qMax(18, cell.width() / 12);
    const int gap = 8;
    const int sheetRows = (count + columns - 1) / columns;
    const QSize sheetSize(gap + columns * (cell.width() + gap), gap + sheetRows * (cell.height() + label + gap));
    if (qint64(sheetSize.width()) * sheetSize.height() > 400LL * 1000 * 1000) {
        *error = tr("The contact sheet would be too large (%1 x %2 pixels): choose a smaller width.")
                         .arg(sheetSize.width()).arg(sheetSize.height());
        return false;
    }
    QImage sheet(sheetSize, QImage::Format_RGB32);
    if (sheet.isNull()) {
        *error = tr("There is not enough memory for a contact sheet of %1 x %2 pixels.")
                         .arg(sheetSize.width()).arg(sheetSize.height());
        return false;
    }
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(label * 2 / 3);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int index = 0;
    for (const QVector<SpinFrame> &row : frames.rows()) {
        for (const SpinFrame &frame : row) {
            const QImage image = ScaledPictureReader::read(frame.path, cell, error);
            if (image.isNull())
                return false;
            const QPoint corner(gap + (index % columns) * (cell.width() + gap),
                                gap + (index / columns) * (cell.height() + label + gap));
            painter.drawImage(corner + QPoint((cell.width() - image.width()) / 2,
                                              (cell.height() - image.height()) / 2), image);
            const QString caption = frames.rowCount() > 1
                    ? tr("Row %1, shot %2, %3\u00b0").arg(&row - frames.rows().constData() + 1).arg(frame.shot).arg(frame.angle, 0, 'f', 1)
                    : tr("Shot %1, %2\u00b0").arg(frame.shot).arg(frame.angle, 0, 'f', 1);
            painter.drawText(QRect(corner.x(), corner.y() + cell.height(), cell.width(), label),
                             Qt::AlignCenter, caption);
            ++index;
            if (progress && !progress(index)) {
                *error = tr("The export was cancelled.");
                return false;
            }
        }
    }
    painter.end();
    QImageWriter writer(path, "png");
    if (!writer.write(sheet)) {
        *error = tr("\"%1\" could not be written: %2").arg(QFileInfo(path).fileName(), writer.errorString());
        return false;
    }
    return true;
}
