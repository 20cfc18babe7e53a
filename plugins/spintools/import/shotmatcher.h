#pragma once

#include <QVector>

// Pairs a spin's shots with the camera's pictures by time. The camera's clock is off by an
// unknown amount (a wrong zone, a clock never set), so the offset is estimated from the whole
// sequence: the one under which the most shots find a picture within the tolerance. A shot
// with two pictures in reach, or a picture in reach of two shots, is ambiguous and not paired.
class ShotMatcher
{
public:
    struct Result
    {
        bool found = false;     // an offset was found that pairs enough shots
        bool tied = false;      // two offsets far apart pair as many shots
        qint64 offsetMs = 0;    // camera clock minus the program's
        QVector<int> pictureForShot; // index into pictures, -1 for none
        QVector<int> ambiguousPictures;
        QVector<int> unmatchedPictures;
    };

    // The tolerance for shots at these times: a fraction of their usual spacing, so that
    // neighbours are never both in reach; at least 0.8 s when the pictures carry whole seconds.
    static qint64 toleranceFor(const QVector<qint64> &shotMs, bool wholeSeconds);
    static Result match(const QVector<qint64> &shotMs, const QVector<qint64> &pictureMs, qint64 toleranceMs);
};
