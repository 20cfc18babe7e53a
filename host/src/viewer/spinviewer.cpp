#include "spinviewer.h"

#include "spinframecache.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QUrl>

#include <algorithm>

namespace {

// Enough for the pictures of any spin the program shoots; beyond it the folders alone are
// watched, which still sees pictures added, removed or replaced.
constexpr int maxWatchedFiles = 2000;

QString localPath(const QString &folder)
{
    if (folder.startsWith(QLatin1String("file:")))
        return QUrl(folder).toLocalFile();
    return folder;
}

} // namespace

SpinViewer::SpinViewer(QObject *parent)
    : QObject(parent)
    , frames(new SpinFrameCache(this))
    , watcher(new QFileSystemWatcher(this))
{
    // A camera writes a picture and then the manifest: one reload after both.
    reloadTimer.setSingleShot(true);
    reloadTimer.setInterval(300);
    connect(&reloadTimer, &QTimer::timeout, this, &SpinViewer::reload);
    connect(watcher, &QFileSystemWatcher::directoryChanged, &reloadTimer, qOverload<>(&QTimer::start));
    connect(watcher, &QFileSystemWatcher::fileChanged, &reloadTimer, qOverload<>(&QTimer::start));

    // A window being dragged larger would otherwise read every frame at every step.
    resizeTimer.setSingleShot(true);
    resizeTimer.setInterval(200);
    connect(&resizeTimer, &QTimer::timeout, this, [this] { frames->setViewSize(wantedViewSize); });

    connect(frames, &SpinFrameCache::frameReady, this, &SpinViewer::cacheChanged);
    connect(frames, &SpinFrameCache::frameFailed, this, &SpinViewer::cacheChanged);
    connect(frames, &SpinFrameCache::zoomReady, this, [this](int r, int f) {
        if (r == row && f == frame)
            emit zoomChanged();
    });
}

SpinViewer::~SpinViewer() = default;

bool SpinViewer::open(const QString &folder)
{
    QString problem;
    if (!spins.open(localPath(folder), &problem)) {
        spins.clear();
        openError = problem;
        row = frame = 0;
        publishPictures();
        watchFolders();
        emit spinChanged();
        emit currentChanged();
        emit imageChanged();
        return false;
    }
    openError.clear();
    row = frame = 0;
    showSpin();
    return true;
}

bool SpinViewer::addRow(const QString &folder)
{
    QString problem;
    if (!isValid())
        return open(folder);
    if (!spins.addRow(localPath(folder), &problem)) {
        setMessage(problem);
        return false;
    }
    setMessage(QString());
    showSpin();
    return true;
}

void SpinViewer::showSpin()
{
    publishPictures();
    watchFolders();
    emit spinChanged();
    emit currentChanged();
    emit imageChanged();
    emit readyCountChanged();
}

void SpinViewer::publishPictures()
{
    QVector<QStringList> paths;
    for (int r = 0; r < spins.rowCount(); ++r) {
        QStringList rowPaths;
        for (const SpinViewerFrame &f : spins.row(r).frames)
            rowPaths << f.path;
        paths << rowPaths;
    }
    frames->setFocus(row, frame);
    frames->setPictures(paths);
}

void SpinViewer::watchFolders()
{
    if (!watcher->files().isEmpty())
        watcher->removePaths(watcher->files());
    if (!watcher->directories().isEmpty())
        watcher->removePaths(watcher->directories());
    QStringList paths;
    int files = 0;
    for (int r = 0; r < spins.rowCount(); ++r) {
        const QString folder = spins.row(r).folder;
        paths << folder << QDir(folder).filePath(QLatin1String(SpinManifest::imagesFolder));
        for (const SpinViewerFrame &f : spins.row(r).frames) {
            if (!f.path.isEmpty() && files++ < maxWatchedFiles)
                paths << f.path;
        }
    }
    paths.erase(std::remove_if(paths.begin(), paths.end(), [](const QString &p) { return !QFileInfo::exists(p); }),
                paths.end());
    if (!paths.isEmpty())
        watcher->addPaths(paths);
}

void SpinViewer::reload()
{
    if (!isValid())
        return;
    const double shownAngle = angle();
    QString failures;
    for (int r = 0; r < spins.rowCount(); ++r) {
        QString problem;
        if (!spins.reloadRow(r, &problem))
            failures = problem;
    }
    setMessage(failures);
    frame = qMax(0, spins.nearestFrame(row, shownAngle));
    publishPictures();
    watchFolders();
    emit spinChanged();
    emit currentChanged();
    emit imageChanged();
    emit readyCountChanged();
}

void SpinViewer::step(int frames)
{
    const int count = frameCount();
    if (count > 0)
        setCurrentFrame(((frame + frames) % count + count) % count);
}

void SpinViewer::stepRow(int rows)
{
    setCurrentRow(qBound(0, row + rows, qMax(0, rowCount() - 1)));
}

void SpinViewer::requestZoom()
{
    if (isValid())
        frames->requestZoom(row, frame);
}

bool SpinViewer::isValid() const
{
    return spins.rowCount() > 0;
}

QString SpinViewer::error() const
{
    return openError;
}

QString SpinViewer::title() const
{
    if (!isValid())
        return tr("Spin viewer");
    const QString name = QFileInfo(spins.row(0).folder).fileName();
    return spins.rowCount() > 1 ? tr("%1 and %n more row(s)", nullptr, spins.rowCount() - 1).arg(name) : name;
}

QStringList SpinViewer::folders() const
{
    return spins.folders();
}

int SpinViewer::rowCount() const
{
    return spins.rowCount();
}

int SpinViewer::frameCount() const
{
    return spins.frameCount(row);
}

int SpinViewer::pictureCount() const
{
    int count = 0;
    for (int r = 0; r < spins.rowCount(); ++r)
        for (const SpinViewerFrame &f : spins.row(r).frames)
            count += f.kind == SpinViewerFrame::Picture ? 1 : 0;
    return count;
}

int SpinViewer::currentRow() const
{
    return row;
}

void SpinViewer::setCurrentRow(int newRow)
{
    if (newRow == row || newRow < 0 || newRow >= rowCount())
        return;
    const double shownAngle = angle();
    row = newRow;
    frame = qMax(0, spins.nearestFrame(row, shownAngle));
    frames->setFocus(row, frame);
    emit currentChanged();
    emit imageChanged();
}

int SpinViewer::currentFrame() const
{
    return frame;
}

void SpinViewer::setCurrentFrame(int newFrame)
{
    if (newFrame == frame || newFrame < 0 || newFrame >= frameCount())
        return;
    frame = newFrame;
    frames->setFocus(row, frame);
    emit currentChanged();
    emit imageChanged();
}

double SpinViewer::angle() const
{
    return spins.frameCount(row) > frame ? spins.frame(row, frame).angle : 0.0;
}

int SpinViewer::shotNumber() const
{
    return spins.frameCount(row) > frame ? spins.frame(row, frame).shot : 0;
}

QString SpinViewer::caption() const
{
    if (!isValid())
        return QString();
    const QString shot = tr("Shot %1 of %2 \u2013 %3\u00b0")
                                 .arg(shotNumber())
                                 .arg(frameCount())
                                 .arg(QLocale().toString(angle(), 'f', 1));
    return rowCount() > 1 ? tr("%1, row %2 of %3").arg(shot).arg(row + 1).arg(rowCount()) : shot;
}

QString SpinViewer::gapText() const
{
    if (!isValid())
        return openError;
    const SpinViewerFrame &f = spins.frame(row, frame);
    if (f.kind != SpinViewerFrame::Picture)
        return f.reason;
    if (frames->isTooLarge(row, frame))
        return tr("The picture \"%1\" is too large to show.").arg(QFileInfo(f.path).fileName());
    if (frames->status(row, frame) == SpinFrameCache::Unreadable)
        return tr("The picture \"%1\" cannot be read.").arg(QFileInfo(f.path).fileName());
    return QString();
}

bool SpinViewer::isLoading() const
{
    return isValid() && gapText().isEmpty() && frames->status(row, frame) != SpinFrameCache::Ready;
}

int SpinViewer::readyCount() const
{
    return frames->readyCount();
}

int SpinViewer::capacity() const
{
    return frames->capacity();
}

QString SpinViewer::message() const
{
    return notice;
}

void SpinViewer::setViewSize(const QSize &size)
{
    if (size.isEmpty())
        return;
    // Steps of 160 pixels: small resizes reuse what is read.
    const auto up = [](int v) { return (v + 159) / 160 * 160; };
    const QSize rounded(up(size.width()), up(size.height()));
    if (rounded == wantedViewSize)
        return;
    const bool first = wantedViewSize.isEmpty();
    wantedViewSize = rounded;
    if (first)
        frames->setViewSize(rounded);
    else
        resizeTimer.start();
}

QImage SpinViewer::currentImage() const
{
    return frames->image(row, frame);
}

QImage SpinViewer::currentZoomImage() const
{
    return frames->zoomImage(row, frame);
}

const SpinViewerModel &SpinViewer::model() const
{
    return spins;
}

SpinFrameCache *SpinViewer::cache() const
{
    return frames;
}

void SpinViewer::setMessage(const QString &text)
{
    if (text == notice)
        return;
    notice = text;
    emit messageChanged();
}

void SpinViewer::cacheChanged(int r, int f)
{
    emit readyCountChanged();
    if (r == row && f == frame)
        emit imageChanged();
}
