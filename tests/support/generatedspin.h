#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QVector>

// A spin folder made up for a test or a bench: "spin.json" written through SpinManifest, and
// one small JPEG per shot whose colour and printed number tell frames apart after any export.
struct GeneratedSpin
{
    // In the order taken; angles need not be sorted, to check that exports sort them.
    QVector<double> angles;
    QSize size{160, 120};
    QDateTime start = QDateTime(QDate(2026, 12, 10), QTime(17, 30), Qt::OffsetFromUTC, 3600);
    int intervalMs = 2000;
    int row = 0;
    // Shot numbers (1-based) whose picture is left out: gaps.
    QVector<int> withoutPicture;
    // "tethered" stores pictures; "cable" leaves them on the card (outcome "triggered").
    QString cameraKind = QStringLiteral("tethered");

    static GeneratedSpin evenlySpaced(int shots);
    // The colour of the frame at this position in angle order, of count frames.
    static QColor colourAt(int position, int count);
    // Any shot number: those outside the spin give a grey picture.
    QImage picture(int shot) const;
    QDateTime shotTime(int shot) const;
    // Makes "<root>/<name>" and returns its path; empty on failure (a QVERIFY'd path).
    QString write(const QString &root, const QString &name) const;
};

// Hue of a colour read back from an exported frame, to find which frame it was.
int positionOfColour(const QColor &colour, int count);

// A valid PNG header claiming 40000 x 40000 pixels (6.4 GB decoded) over 8 x 8 of data, its
// chunk checksum mended so that readers take it as a PNG: what must be refused from the header.
QByteArray hugePngHeader();
