#pragma once

#include <QCoreApplication>
#include <QSize>
#include <QStringList>
#include <QVector>

struct SpinFrame
{
    int shot = 0;
    double angle = 0.0;
    QString path;
};

// The frames of one or more spin folders as the exports see them: one row per folder (top row
// first), each row its shots with a readable picture, ordered by angle. A shot without one is a
// gap: left out and named in gaps(). Rows must come out with the same number of frames, or a
// viewer could not move between them frame for frame.
class SpinFrameSet
{
    Q_DECLARE_TR_FUNCTIONS(SpinFrameSet)

public:
    bool open(const QStringList &spinFolders, QString *error);

    int rowCount() const { return frameRows.size(); }
    int columnCount() const { return frameRows.isEmpty() ? 0 : frameRows.first().size(); }
    const QVector<QVector<SpinFrame>> &rows() const { return frameRows; }
    const QStringList &gaps() const { return gapTexts; }
    // The first frame's upright size, read from its header.
    QSize sourceSize() const { return firstSize; }

private:
    QVector<QVector<SpinFrame>> frameRows;
    QStringList gapTexts;
    QSize firstSize;
};
