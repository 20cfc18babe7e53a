#include "spinviewermodel.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

// Planned and shot angles are written from the same numbers; this only absorbs the rounding
// of a hand-edited manifest.
constexpr double sameAngle = 0.05;

double circularDistance(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

SpinViewerFrame frameOf(const QString &folder, const SpinManifest::Shot &shot)
{
    SpinViewerFrame frame;
    frame.shot = shot.shot;
    frame.angle = shot.angle;
    for (const QString &file : shot.files) {
        const QString path = QDir(folder).filePath(file);
        if (QFileInfo(path).isFile()) {
            frame.path = path;
            return frame;
        }
    }
    frame.kind = SpinViewerFrame::Missing;
    if (!shot.files.isEmpty())
        frame.reason = SpinViewerModel::tr("The picture \"%1\" is missing.").arg(shot.files.first());
    else if (shot.outcome == QLatin1String("triggered"))
        frame.reason = SpinViewerModel::tr("Fired through the cable: the picture is on the camera's card.");
    else if (shot.outcome == QLatin1String("failed"))
        frame.reason = shot.error.isEmpty() ? SpinViewerModel::tr("The camera took no picture.")
                                            : SpinViewerModel::tr("The camera took no picture: %1").arg(shot.error);
    else
        frame.reason = SpinViewerModel::tr("No picture was stored.");
    return frame;
}

} // namespace

bool SpinViewerModel::readRow(const QString &folder, SpinViewerRow *row, QString *error)
{
    const QString shown = QDir::toNativeSeparators(folder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        *error = tr("The folder \"%1\" does not exist.").arg(shown);
        return false;
    }
    if (!QFileInfo::exists(QDir(folder).filePath(QLatin1String(SpinManifest::fileName)))) {
        *error = tr("\"%1\" is not a spin: it holds no \"%2\".").arg(shown, QLatin1String(SpinManifest::fileName));
        return false;
    }
    SpinViewerRow read;
    read.folder = QDir(folder).absolutePath();
    QString problem;
    if (!SpinManifest::read(folder, &read.spin, &problem)) {
        *error = tr("The spin \"%1\" cannot be read: %2").arg(shown, problem);
        return false;
    }

    QVector<SpinViewerFrame> frames;
    for (const SpinManifest::Shot &shot : qAsConst(read.spin.shots)) {
        SpinViewerFrame frame = frameOf(read.folder, shot);
        auto same = std::find_if(frames.begin(), frames.end(), [&](const SpinViewerFrame &f) {
            return circularDistance(f.angle, frame.angle) < sameAngle;
        });
        if (same == frames.end())
            frames.append(frame);
        // A retake replaces the earlier shot, unless it brought no picture where that one did.
        else if (frame.kind == SpinViewerFrame::Picture || same->kind != SpinViewerFrame::Picture)
            *same = frame;
    }
    const QVector<double> &planned = read.spin.plannedAngles;
    for (int i = 0; i < planned.size(); ++i) {
        const bool shot = std::any_of(frames.cbegin(), frames.cend(), [&](const SpinViewerFrame &f) {
            return circularDistance(f.angle, planned.at(i)) < sameAngle;
        });
        if (shot)
            continue;
        SpinViewerFrame frame;
        frame.shot = i + 1;
        frame.angle = planned.at(i);
        frame.kind = SpinViewerFrame::NotTaken;
        frame.reason = tr("Not taken: the spin ended before this angle.");
        frames.append(frame);
    }
    if (frames.isEmpty()) {
        *error = tr("The spin \"%1\" has no shots.").arg(shown);
        return false;
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const SpinViewerFrame &a, const SpinViewerFrame &b) { return a.angle < b.angle; });
    read.frames = frames;
    *row = read;
    return true;
}

bool SpinViewerModel::open(const QString &folder, QString *error)
{
    SpinViewerRow read;
    if (!readRow(folder, &read, error))
        return false;
    rowList = {read};
    return true;
}

bool SpinViewerModel::addRow(const QString &folder, QString *error)
{
    SpinViewerRow read;
    if (!readRow(folder, &read, error))
        return false;
    for (const SpinViewerRow &existing : qAsConst(rowList)) {
        if (existing.folder == read.folder) {
            *error = tr("The spin \"%1\" is open already.").arg(QDir::toNativeSeparators(folder));
            return false;
        }
    }
    rowList.append(read);
    return true;
}

bool SpinViewerModel::reloadRow(int row, QString *error)
{
    if (row < 0 || row >= rowList.size())
        return false;
    SpinViewerRow read;
    if (!readRow(rowList.at(row).folder, &read, error))
        return false;
    rowList[row] = read;
    return true;
}

void SpinViewerModel::clear()
{
    rowList.clear();
}

int SpinViewerModel::frameCount(int row) const
{
    return row >= 0 && row < rowList.size() ? rowList.at(row).frames.size() : 0;
}

QStringList SpinViewerModel::folders() const
{
    QStringList all;
    for (const SpinViewerRow &row : rowList)
        all << row.folder;
    return all;
}

int SpinViewerModel::nearestFrame(int row, double angle) const
{
    if (row < 0 || row >= rowList.size())
        return -1;
    const QVector<SpinViewerFrame> &frames = rowList.at(row).frames;
    int best = 0;
    for (int i = 1; i < frames.size(); ++i) {
        if (circularDistance(frames.at(i).angle, angle) < circularDistance(frames.at(best).angle, angle))
            best = i;
    }
    return best;
}
