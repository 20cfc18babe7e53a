#include "spinframeset.h"

#include "scaledpicturereader.h"
#include "spinmanifest.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

bool SpinFrameSet::open(const QStringList &spinFolders, QString *error)
{
    frameRows.clear();
    gapTexts.clear();
    firstSize = QSize();
    if (spinFolders.isEmpty()) {
        *error = tr("No spin was chosen.");
        return false;
    }
    for (const QString &folder : spinFolders) {
        const QString shownFolder = QDir::toNativeSeparators(folder);
        SpinManifest::Spin spin;
        QString problem;
        if (!QFileInfo(folder).isDir()) {
            *error = tr("The folder \"%1\" does not exist.").arg(shownFolder);
            return false;
        }
        if (!QFileInfo::exists(QDir(folder).filePath(QLatin1String(SpinManifest::fileName)))) {
            *error = tr("\"%1\" is not a spin: it holds no \"%2\".")
                             .arg(shownFolder, QLatin1String(SpinManifest::fileName));
            return false;
        }
        if (!SpinManifest::read(folder, &spin, &problem)) {
            *error = tr("The spin \"%1\" cannot be read: %2").arg(shownFolder, problem);
            return false;
        }
        QVector<SpinFrame> row;
        for (const SpinManifest::Shot &shot : qAsConst(spin.shots)) {
            QString picture;
            for (const QString &file : shot.files) {
                const QString path = QDir(folder).filePath(file);
                if (ScaledPictureReader::uprightSize(path).isValid()) {
                    picture = path;
                    break;
                }
            }
            if (picture.isEmpty()) {
                gapTexts << tr("%1: shot %2 at %3\u00b0 has no readable picture")
                                    .arg(shownFolder).arg(shot.shot).arg(shot.angle, 0, 'f', 1);
                continue;
            }
            row.append({shot.shot, shot.angle, picture});
        }
        // A shot taken twice at one angle (a retake) keeps its later picture.
        std::stable_sort(row.begin(), row.end(),
                         [](const SpinFrame &a, const SpinFrame &b) { return a.angle < b.angle; });
        for (int i = row.size() - 1; i > 0; --i) {
            if (qFuzzyCompare(row[i].angle + 1.0, row[i - 1].angle + 1.0))
                row.remove(i - 1);
        }
        if (row.isEmpty()) {
            *error = tr("The spin \"%1\" has no readable pictures.").arg(shownFolder);
            return false;
        }
        if (!frameRows.isEmpty() && row.size() != frameRows.first().size()) {
            *error = tr("The spins have different numbers of pictures (%1 in \"%2\", %3 in \"%4\"), "
                        "so they cannot turn together.")
                             .arg(frameRows.first().size())
                             .arg(QDir::toNativeSeparators(spinFolders.first()))
                             .arg(row.size())
                             .arg(shownFolder);
            return false;
        }
        frameRows.append(row);
    }
    firstSize = ScaledPictureReader::uprightSize(frameRows.first().first().path);
    return true;
}
