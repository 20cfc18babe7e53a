#include "spinrecorder.h"

#include <QDir>

bool SpinRecorder::begin(const QString &root, const SpinManifest::Spin &plan, QString *error)
{
    spin = plan;
    spin.state = QStringLiteral("running");
    spin.shots.clear();
    if (!spin.created.isValid())
        spin.created = QDateTime::currentDateTime();
    spinFolder = SpinManifest::makeSpinFolder(root, spin.created, error);
    if (spinFolder.isEmpty())
        return false;
    if (save())
        return true;
    *error = writeError;
    return false;
}

QString SpinRecorder::pictureStem(int shot) const
{
    const double angle = spin.plannedAngles.value(shot - 1);
    return QDir(spinFolder).filePath(QLatin1String(SpinManifest::imagesFolder) + QLatin1Char('/')
                                     + SpinManifest::pictureStem(shot, angle, shotCount()));
}

SpinManifest::Shot *SpinRecorder::shotRecord(int shot)
{
    for (SpinManifest::Shot &s : spin.shots) {
        if (s.shot == shot)
            return &s;
    }
    return nullptr;
}

bool SpinRecorder::shotTriggered(int shot)
{
    if (shot < 1 || shot > shotCount())
        return false;
    SpinManifest::Shot *s = shotRecord(shot);
    if (!s) {
        spin.shots.append(SpinManifest::Shot());
        s = &spin.shots.last();
    }
    *s = SpinManifest::Shot();
    s->shot = shot;
    s->angle = spin.plannedAngles.value(shot - 1);
    s->time = QDateTime::currentDateTime();
    s->outcome = QStringLiteral("triggered");
    return save();
}

bool SpinRecorder::fileSaved(int shot, const QString &path)
{
    SpinManifest::Shot *s = shotRecord(shot);
    const QString images = QDir(spinFolder).filePath(QLatin1String(SpinManifest::imagesFolder));
    const QString relative = QDir(spinFolder).relativeFilePath(QDir::cleanPath(path));
    // The camera names the file; the manifest never points outside its pictures folder.
    if (!s || !QDir::cleanPath(path).startsWith(images + QLatin1Char('/')) || s->files.contains(relative))
        return false;
    s->files.append(relative);
    return save();
}

bool SpinRecorder::shotFinished(int shot, bool success, const QString &error)
{
    SpinManifest::Shot *s = shotRecord(shot);
    if (!s)
        return false;
    s->outcome = success ? QStringLiteral("captured") : QStringLiteral("failed");
    s->error = success ? QString() : error;
    return save();
}

bool SpinRecorder::end(const QString &state, const QString &text)
{
    if (hasEnded() || spinFolder.isEmpty())
        return true;
    spin.state = state;
    spin.stateText = text;
    spin.ended = QDateTime::currentDateTime();
    return save();
}

bool SpinRecorder::save()
{
    writeError.clear();
    return SpinManifest::write(spinFolder, spin, &writeError);
}
