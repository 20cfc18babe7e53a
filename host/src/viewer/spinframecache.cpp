#include "spinframecache.h"

#include "spinpicturereader.h"
#include "workerthreads.h"

#include <QDateTime>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

struct FileStamp
{
    qint64 size = -1;
    qint64 modified = 0;
    bool operator==(const FileStamp &other) const { return size == other.size && modified == other.modified; }
};

FileStamp stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

struct CacheEntry
{
    QString path;
    FileStamp stamp;
    QImage image;
    SpinFrameCache::Status status = SpinFrameCache::Gap;
    bool tooLarge = false;
    // The read whose result this entry waits for; results of older reads are dropped.
    quint64 ticket = 0;
};

struct Position
{
    int row;
    int frame;
    double distance;
};

} // namespace

class SpinFrameCachePrivate
{
public:
    // Decoding is the work; one core is left for the GUI and the renderer.
    explicit SpinFrameCachePrivate(SpinFrameCache *cache)
        : q(cache)
        , workers(cache, qMax(2, QThread::idealThreadCount() - 1))
    {
    }

    SpinFrameCache *q;
    WorkerThreads workers;
    // GUI thread only, like everything below: workers see nothing but their arguments.
    QVector<QVector<CacheEntry>> rows;
    QSize bound{1280, 768};
    qint64 budget = SpinFrameCache::defaultBudget;
    int focusRow = 0;
    int focusFrame = 0;
    int inFlight = 0;
    quint64 nextTicket = 1;

    int zoomRow = -1;
    int zoomFrame = -1;
    QImage zoom;
    quint64 zoomTicket = 0;
    bool zoomInFlight = false;

    int totalFrames() const
    {
        int total = 0;
        for (const QVector<CacheEntry> &row : rows)
            total += row.size();
        return total;
    }
    int capacity() const
    {
        const qint64 frameBytes = qMax<qint64>(1, qint64(bound.width()) * bound.height() * 4);
        return int(qBound<qint64>(2, budget / frameBytes, qMax(2, totalFrames())));
    }
    bool valid(int row, int frame) const
    {
        return row >= 0 && row < rows.size() && frame >= 0 && frame < rows.at(row).size();
    }
    double distance(int row, int frame) const
    {
        const int count = rows.at(row).size();
        const int focusCount = valid(focusRow, 0) ? rows.at(focusRow).size() : count;
        const double here = focusCount > 0 ? double(focusFrame) * count / focusCount : 0.0;
        const double d = std::fabs(frame - here);
        return std::min(d, count - d) + 2.0 * std::abs(row - focusRow);
    }
    // The positions the cache holds, nearest the focus first.
    QVector<Position> wanted() const
    {
        QVector<Position> all;
        for (int r = 0; r < rows.size(); ++r) {
            for (int f = 0; f < rows.at(r).size(); ++f) {
                if (rows.at(r).at(f).status != SpinFrameCache::Gap)
                    all.append({r, f, distance(r, f)});
            }
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const Position &a, const Position &b) { return a.distance < b.distance; });
        all.resize(std::min(all.size(), capacity()));
        return all;
    }
    int readyCount() const
    {
        int count = 0;
        for (const QVector<CacheEntry> &row : rows)
            for (const CacheEntry &entry : row)
                count += entry.image.isNull() ? 0 : 1;
        return count;
    }

    void pump();
    void evict(const QVector<Position> &keep);
    void finishRead(int row, int frame, quint64 ticket, const QImage &image, bool tooLarge);
    void startZoom();
    void finishZoom(quint64 ticket, const QImage &image);
};

void SpinFrameCachePrivate::pump()
{
    const QVector<Position> keep = wanted();
    evict(keep);
    for (const Position &p : keep) {
        if (inFlight >= workers.threadCount())
            break;
        CacheEntry &entry = rows[p.row][p.frame];
        if (entry.status != SpinFrameCache::Waiting)
            continue;
        entry.status = SpinFrameCache::Loading;
        entry.ticket = nextTicket++;
        ++inFlight;
        const QString path = entry.path;
        const QSize size = bound;
        const quint64 ticket = entry.ticket;
        const int row = p.row;
        const int frame = p.frame;
        workers.start([this, path, size, row, frame, ticket]() -> WorkerThreads::Finish {
            bool tooLarge = false;
            const QImage image = SpinPictureReader::readFitted(path, size, nullptr, &tooLarge);
            return [this, row, frame, ticket, image, tooLarge] { finishRead(row, frame, ticket, image, tooLarge); };
        });
    }
}

void SpinFrameCachePrivate::evict(const QVector<Position> &keep)
{
    auto kept = [&keep](int row, int frame) {
        return std::any_of(keep.cbegin(), keep.cend(),
                           [&](const Position &p) { return p.row == row && p.frame == frame; });
    };
    int ready = readyCount();
    const int limit = capacity();
    for (int r = 0; r < rows.size() && ready > limit; ++r) {
        for (int f = 0; f < rows.at(r).size() && ready > limit; ++f) {
            CacheEntry &entry = rows[r][f];
            if (entry.image.isNull() || kept(r, f))
                continue;
            entry.image = QImage();
            if (entry.status == SpinFrameCache::Ready)
                entry.status = SpinFrameCache::Waiting;
            --ready;
        }
    }
}

void SpinFrameCachePrivate::finishRead(int row, int frame, quint64 ticket, const QImage &image, bool tooLarge)
{
    --inFlight;
    if (valid(row, frame) && rows.at(row).at(frame).ticket == ticket
        && rows.at(row).at(frame).status == SpinFrameCache::Loading) {
        CacheEntry &entry = rows[row][frame];
        entry.image = image;
        entry.tooLarge = tooLarge;
        entry.status = image.isNull() ? SpinFrameCache::Unreadable : SpinFrameCache::Ready;
        if (image.isNull())
            emit q->frameFailed(row, frame);
        else
            emit q->frameReady(row, frame);
    }
    pump();
}

void SpinFrameCachePrivate::startZoom()
{
    if (zoomInFlight || !valid(zoomRow, zoomFrame) || !zoom.isNull())
        return;
    const CacheEntry &entry = rows.at(zoomRow).at(zoomFrame);
    if (entry.status == SpinFrameCache::Gap)
        return;
    zoomInFlight = true;
    zoomTicket = nextTicket++;
    const quint64 ticket = zoomTicket;
    const QString path = entry.path;
    workers.start([this, path, ticket]() -> WorkerThreads::Finish {
        const QImage image = SpinPictureReader::readForZoom(path, SpinFrameCache::maxZoomPixels);
        return [this, ticket, image] { finishZoom(ticket, image); };
    });
}

void SpinFrameCachePrivate::finishZoom(quint64 ticket, const QImage &image)
{
    zoomInFlight = false;
    if (ticket == zoomTicket && valid(zoomRow, zoomFrame)) {
        zoom = image;
        if (!image.isNull())
            emit q->zoomReady(zoomRow, zoomFrame);
    } else {
        // The user moved on while this one was read: read the frame shown now.
        startZoom();
    }
}

SpinFrameCache::SpinFrameCache(QObject *parent)
    : QObject(parent)
    , d(new SpinFrameCachePrivate(this))
{
}

SpinFrameCache::~SpinFrameCache()
{
    delete d;
}

void SpinFrameCache::setPictures(const QVector<QStringList> &paths)
{
    // Images move with their files: a shot added on reload shifts the positions after it.
    QHash<QString, CacheEntry> previous;
    for (const QVector<CacheEntry> &row : qAsConst(d->rows))
        for (const CacheEntry &entry : row)
            if (!entry.path.isEmpty())
                previous.insert(entry.path, entry);

    d->rows.clear();
    for (const QStringList &rowPaths : paths) {
        QVector<CacheEntry> row;
        for (const QString &path : rowPaths) {
            CacheEntry entry;
            entry.path = path;
            if (!path.isEmpty()) {
                entry.stamp = stampOf(path);
                entry.status = Waiting;
                const auto old = previous.constFind(path);
                // A read in flight answers to its old position: it is read again here.
                if (old != previous.constEnd() && old->stamp == entry.stamp
                    && (old->status == Ready || old->status == Unreadable))
                    entry = *old;
            }
            row.append(entry);
        }
        d->rows.append(row);
    }
    if (!d->valid(d->zoomRow, d->zoomFrame) || d->rows.at(d->zoomRow).at(d->zoomFrame).status == Waiting)
        dropZoom();
    d->pump();
}

void SpinFrameCache::setViewSize(const QSize &size)
{
    if (size.isEmpty() || size == d->bound)
        return;
    d->bound = size;
    for (int r = 0; r < d->rows.size(); ++r) {
        for (int f = 0; f < d->rows.at(r).size(); ++f) {
            CacheEntry &entry = d->rows[r][f];
            if (entry.status == Gap)
                continue;
            entry.status = Waiting;
            entry.ticket = 0;
            // The shown frame stays on screen, at its old size, until its new read is in.
            if (r != d->focusRow || f != d->focusFrame)
                entry.image = QImage();
        }
    }
    d->pump();
}

QSize SpinFrameCache::viewSize() const
{
    return d->bound;
}

void SpinFrameCache::setBudget(qint64 bytes)
{
    d->budget = bytes;
    d->pump();
}

int SpinFrameCache::capacity() const
{
    return d->capacity();
}

void SpinFrameCache::setFocus(int row, int frame)
{
    if (row == d->focusRow && frame == d->focusFrame)
        return;
    d->focusRow = row;
    d->focusFrame = frame;
    d->pump();
}

SpinFrameCache::Status SpinFrameCache::status(int row, int frame) const
{
    return d->valid(row, frame) ? d->rows.at(row).at(frame).status : Gap;
}

bool SpinFrameCache::isTooLarge(int row, int frame) const
{
    return d->valid(row, frame) && d->rows.at(row).at(frame).tooLarge;
}

QImage SpinFrameCache::image(int row, int frame) const
{
    return d->valid(row, frame) ? d->rows.at(row).at(frame).image : QImage();
}

void SpinFrameCache::requestZoom(int row, int frame)
{
    if (row != d->zoomRow || frame != d->zoomFrame) {
        d->zoom = QImage();
        d->zoomRow = row;
        d->zoomFrame = frame;
        // A read in flight for another frame is dropped when it returns.
        d->zoomTicket = 0;
    }
    d->startZoom();
}

QImage SpinFrameCache::zoomImage(int row, int frame) const
{
    return row == d->zoomRow && frame == d->zoomFrame ? d->zoom : QImage();
}

void SpinFrameCache::dropZoom()
{
    d->zoom = QImage();
    d->zoomRow = -1;
    d->zoomFrame = -1;
    d->zoomTicket = 0;
}

int SpinFrameCache::readyCount() const
{
    return d->readyCount();
}

qint64 SpinFrameCache::heldBytes() const
{
    qint64 total = d->zoom.sizeInBytes();
    for (const QVector<CacheEntry> &row : qAsConst(d->rows))
        for (const CacheEntry &entry : row)
            total += entry.image.sizeInBytes();
    return total;
}

bool SpinFrameCache::isIdle() const
{
    if (d->inFlight > 0 || d->zoomInFlight)
        return false;
    const QVector<Position> keep = d->wanted();
    return std::none_of(keep.cbegin(), keep.cend(), [this](const Position &p) {
        return d->rows.at(p.row).at(p.frame).status == Waiting;
    });
}
