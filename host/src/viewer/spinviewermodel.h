#pragma once

#include "spinmanifest.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

// One place of a spin's turn as the viewer shows it. Every shot and every planned angle that
// was never shot has a place, so the turn keeps its spacing; a place without a picture is a gap
// the view marks with its reason.
struct SpinViewerFrame
{
    enum Kind { Picture, Missing, NotTaken };

    int shot = 0;
    double angle = 0.0;
    // Absolute; empty unless kind is Picture.
    QString path;
    Kind kind = Picture;
    // Why there is no picture; empty for a picture.
    QString reason;
};

struct SpinViewerRow
{
    QString folder;
    SpinManifest::Spin spin;
    // Ordered by angle.
    QVector<SpinViewerFrame> frames;
};

// The spins open in one viewer: one row per spin folder (spins of one product shot at several
// camera heights), top row first. Read only through SpinManifest; files are not decoded here,
// so a picture that exists but cannot be read is found by the frame cache.
class SpinViewerModel
{
    Q_DECLARE_TR_FUNCTIONS(SpinViewerModel)

public:
    // Reads the spin at folder into *row. False with *error (a sentence for the user) when the
    // folder does not exist, is not a spin or its manifest is refused.
    static bool readRow(const QString &folder, SpinViewerRow *row, QString *error);

    // Replaces all rows by the one spin at folder; on failure the model is left unchanged.
    bool open(const QString &folder, QString *error);
    // Appends a row below the others; a spin already open is refused.
    bool addRow(const QString &folder, QString *error);
    // Reads the row's spin again (its pictures or manifest changed); false leaves it unchanged.
    bool reloadRow(int row, QString *error);
    void clear();

    int rowCount() const { return rowList.size(); }
    const SpinViewerRow &row(int row) const { return rowList.at(row); }
    int frameCount(int row) const;
    const SpinViewerFrame &frame(int row, int frame) const { return rowList.at(row).frames.at(frame); }
    QStringList folders() const;
    // The frame of the row nearest to angle on the circle: rows of different spacing still move
    // up and down at about the same view of the product.
    int nearestFrame(int row, double angle) const;

private:
    QVector<SpinViewerRow> rowList;
};
