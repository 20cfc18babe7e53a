#include "cardimporter.h"

#include "capturetimereader.h"
#include "shotmatcher.h"
#include "spinmanifest.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

const QSet<QString> jpegSuffixes{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe")};
// Raw files carry no EXIF libexif reads; they follow the JPEG of the same name.
const QSet<QString> rawSuffixes{QStringLiteral("cr2"), QStringLiteral("cr3"), QStringLiteral("nef"),
                                QStringLiteral("nrw"), QStringLiteral("arw"), QStringLiteral("raf"),
                                QStringLiteral("orf"), QStringLiteral("rw2"), QStringLiteral("dng"),
                                QStringLiteral("pef"), QStringLiteral("srw"), QStringLiteral("x3f")};

qint64 wallClockMs(const QDateTime &time)
{
    // The program's wall clock at the shot, in the zone it was written with, as the camera's
    // zone-less clock is read.
    return QDateTime(time.date(), time.time(), Qt::UTC).toMSecsSinceEpoch();
}

QString companionKey(const QFileInfo &info)
{
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName().toLower();
}

} // namespace

bool CardImporter::run(const QString &sourceFolder, const QString &spinFolder, QString *error)
{
    result.clear();
    const QString shownSpin = QDir::toNativeSeparators(spinFolder);
    const QString shownCard = QDir::toNativeSeparators(sourceFolder);
    if (!QFileInfo::exists(QDir(spinFolder).filePath(QLatin1String(SpinManifest::fileName)))) {
        *error = tr("\"%1\" is not a spin: it holds no \"%2\".").arg(shownSpin, QLatin1String(SpinManifest::fileName));
        return false;
    }
    SpinManifest::Spin spin;
    QString problem;
    if (!SpinManifest::read(spinFolder, &spin, &problem)) {
        *error = tr("The spin \"%1\" cannot be read: %2").arg(shownSpin, problem);
        return false;
    }
    if (!QFileInfo(sourceFolder).isDir()) {
        *error = tr("The folder \"%1\" does not exist.").arg(shownCard);
        return false;
    }

    // The card: JPEGs with their capture times, and the raw files beside them.
    QStringList pictures, unreadable;
    QVector<qint64> pictureTimes;
    QHash<QString, QStringList> companions;
    bool wholeSeconds = false;
    QDirIterator files(sourceFolder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    int seen = 0;
    while (files.hasNext()) {
        const QFileInfo info(files.next());
        if (++seen > maxPictures) {
            *error = tr("\"%1\" holds more than %2 files: choose the folder of this spin's pictures.")
                             .arg(shownCard).arg(maxPictures);
            return false;
        }
        const QString suffix = info.suffix().toLower();
        if (rawSuffixes.contains(suffix)) {
            companions[companionKey(info)].append(info.absoluteFilePath());
        } else if (jpegSuffixes.contains(suffix)) {
            qint64 time = 0;
            bool fine = false;
            if (!CaptureTimeReader::read(info.absoluteFilePath(), &time, &fine)) {
                unreadable << info.absoluteFilePath();
                continue;
            }
            wholeSeconds = wholeSeconds || !fine;
            // A time in whole seconds was taken somewhere within that second.
            pictures << info.absoluteFilePath();
            pictureTimes << (fine ? time : time + 500);
        }
    }
    QVector<int> shotIndices;
    QVector<qint64> shotTimes;
    for (int i = 0; i < spin.shots.size(); ++i) {
        if (spin.shots[i].time.isValid()) {
            shotIndices << i;
            shotTimes << wallClockMs(spin.shots[i].time);
        }
    }
    if (shotTimes.isEmpty()) {
        *error = tr("The spin \"%1\" has no shot times to match pictures to.").arg(shownSpin);
        return false;
    }
    if (pictures.isEmpty()) {
        *error = tr("\"%1\" holds no JPEG pictures with a capture time.").arg(shownCard);
        return false;
    }
    const ShotMatcher::Result match = ShotMatcher::match(
            shotTimes, pictureTimes, ShotMatcher::toleranceFor(shotTimes, wholeSeconds));
    if (match.tied) {
        *error = tr("The pictures in \"%1\" fit the spin's shot times equally well under two "
                    "different camera clock offsets; choose the folder holding only this spin.")
                         .arg(shownCard);
        return false;
    }
    if (!match.found) {
        *error = tr("None of the %1 pictures in \"%2\" fit the times of the spin's %3 shots.")
                         .arg(pictures.size()).arg(shownCard).arg(shotTimes.size());
        return false;
    }

    const QDir spinDir(spinFolder);
    const QString imagesFolder = QLatin1String(SpinManifest::imagesFolder);
    if (!spinDir.mkpath(imagesFolder)) {
        *error = tr("The folder \"%1\" cannot be created.").arg(QDir::toNativeSeparators(spinDir.filePath(imagesFolder)));
        return false;
    }
    const int shotCount = qMax(spin.plannedAngles.size(), spin.shots.size());
    QVariantList imported, missing, skipped;
    QStringList copied;
    for (int k = 0; k < shotIndices.size(); ++k) {
        SpinManifest::Shot &shot = spin.shots[shotIndices[k]];
        const int p = match.pictureForShot[k];
        if (p < 0) {
            if (shot.files.isEmpty())
                missing << shot.shot;
            continue;
        }
        QStringList sources{pictures[p]};
        sources += companions.value(companionKey(QFileInfo(pictures[p])));
        // A shot that has its pictures keeps them, however it got them.
        if (!shot.files.isEmpty()) {
            for (const QString &source : qAsConst(sources))
                skipped << source;
            continue;
        }
        const QString stem = SpinManifest::pictureStem(shot.shot, shot.angle, shotCount);
        for (const QString &source : qAsConst(sources)) {
            const QString relative = imagesFolder + QLatin1Char('/') + stem + QLatin1Char('.')
                    + QFileInfo(source).suffix().toLower();
            const QString destination = spinDir.filePath(relative);
            if (QFileInfo::exists(destination)) {
                skipped << source;
                continue;
            }
            // Copied under a passing name first, so a copy cut short never looks like a picture.
            const QString partial = destination + QStringLiteral(".part");
            QFile::remove(partial);
            if (!QFile::copy(source, partial) || !QFile::rename(partial, destination)) {
                QFile::remove(partial);
                for (const QString &done : qAsConst(copied))
                    QFile::remove(done);
                *error = tr("\"%1\" could not be copied into \"%2\"; nothing was imported (is the disk full?).")
                                 .arg(QDir::toNativeSeparators(source), shownSpin);
                return false;
            }
            copied << destination;
            shot.files << relative;
            imported << QVariantMap{{QStringLiteral("shot"), shot.shot},
                                    {QStringLiteral("file"), relative},
                                    {QStringLiteral("source"), source}};
        }
        if (!shot.files.isEmpty()) {
            shot.outcome = QStringLiteral("imported");
            shot.error.clear();
        }
    }
    if (!copied.isEmpty() && !SpinManifest::write(spinFolder, spin, &problem)) {
        // Pictures the manifest does not list would be found by nobody: take them back.
        for (const QString &done : qAsConst(copied))
            QFile::remove(done);
        *error = tr("The spin's manifest could not be updated, so nothing was imported: %1").arg(problem);
        return false;
    }

    QVariantList unmatched, ambiguous;
    for (int p : match.unmatchedPictures)
        unmatched << pictures[p];
    for (const QString &path : qAsConst(unreadable))
        unmatched << path;
    for (int p : match.ambiguousPictures)
        ambiguous << pictures[p];
    result.insert(QStringLiteral("imported"), imported);
    result.insert(QStringLiteral("missingShots"), missing);
    result.insert(QStringLiteral("unmatched"), unmatched);
    result.insert(QStringLiteral("ambiguous"), ambiguous);
    result.insert(QStringLiteral("skippedExisting"), skipped);
    result.insert(QStringLiteral("offsetSeconds"), match.offsetMs / 1000.0);
    return true;
}
