#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QVector>

class SpinFrameCachePrivate;

// Decodes the frames of the open spins on worker threads (SpinPictureReader) and keeps them at
// view size, so that the turn never waits for a file once its frames are in.
//
// Memory bound: at most capacity() frames at view size, where capacity = budget / (bound width
// x height x 4 bytes), at least 2 and at most the number of frames (the default budget of
// 256 MiB holds 66 frames of 1280 x 768), plus one picture for zoom of at most maxZoomPixels
// (32 MP, 128 MiB). Every picture is read scaled, which Qt's JPEG reader decodes at 1/2, 1/4
// or 1/8 of its size, so full-size pictures are never all held: a 100 MP picture costs its
// view-size frame and, when zoomed, a quarter of itself.
//
// Lives on the GUI thread; the workers only read files and hand their images back queued.
class SpinFrameCache : public QObject
{
    Q_OBJECT

public:
    enum Status { Gap, Waiting, Loading, Ready, Unreadable };
    static constexpr qint64 defaultBudget = 256LL * 1024 * 1024;
    static constexpr qint64 maxZoomPixels = 32LL * 1000 * 1000;

    explicit SpinFrameCache(QObject *parent = nullptr);
    // Waits for the reads in flight.
    ~SpinFrameCache() override;

    // The pictures by row and position; an empty path is a gap. A frame whose path, size and
    // modification time are unchanged keeps its image; any other is read again.
    void setPictures(const QVector<QStringList> &paths);
    // Frames are decoded to fit into size; a different size reads them again.
    void setViewSize(const QSize &size);
    QSize viewSize() const;
    void setBudget(qint64 bytes);
    int capacity() const;

    // The frame the user sees is read first, then the others by their distance from it; frames
    // farthest from it make room when the cache is full.
    void setFocus(int row, int frame);
    Status status(int row, int frame) const;
    // Unreadable because the picture is too large to read (SpinPictureReader's bounds).
    bool isTooLarge(int row, int frame) const;
    QImage image(int row, int frame) const;

    // The frame at up to maxZoomPixels, read once asked for; null until zoomReady.
    void requestZoom(int row, int frame);
    QImage zoomImage(int row, int frame) const;
    void dropZoom();

    int readyCount() const;
    qint64 heldBytes() const;
    // No read in flight or waiting among the frames the cache can hold.
    bool isIdle() const;

signals:
    void frameReady(int row, int frame);
    void frameFailed(int row, int frame);
    void zoomReady(int row, int frame);

private:
    friend class SpinFrameCachePrivate;
    SpinFrameCachePrivate *d;
};
