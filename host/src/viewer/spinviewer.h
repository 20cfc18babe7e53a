#pragma once

#include "spinviewermodel.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;
class SpinFrameCache;

// One viewer window's spins as QML sees them: which frame and row are shown, what the caption
// says, and the frames from the cache. The folders are watched: pictures or a manifest that
// change while the viewer is open are read again. GUI thread only.
class SpinViewer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool valid READ isValid NOTIFY spinChanged)
    // Why nothing can be shown (the folder is not a spin, its manifest was refused); empty when valid.
    Q_PROPERTY(QString error READ error NOTIFY spinChanged)
    Q_PROPERTY(QString title READ title NOTIFY spinChanged)
    Q_PROPERTY(QStringList folders READ folders NOTIFY spinChanged)
    Q_PROPERTY(int rowCount READ rowCount NOTIFY spinChanged)
    // Places in the shown row, gaps included.
    Q_PROPERTY(int frameCount READ frameCount NOTIFY currentChanged)
    Q_PROPERTY(int pictureCount READ pictureCount NOTIFY spinChanged)
    Q_PROPERTY(int currentRow READ currentRow WRITE setCurrentRow NOTIFY currentChanged)
    Q_PROPERTY(int currentFrame READ currentFrame WRITE setCurrentFrame NOTIFY currentChanged)
    Q_PROPERTY(double angle READ angle NOTIFY currentChanged)
    Q_PROPERTY(int shotNumber READ shotNumber NOTIFY currentChanged)
    // "Shot 7 of 36 - 135.0°", and the row when there are several.
    Q_PROPERTY(QString caption READ caption NOTIFY currentChanged)
    // Shown instead of the picture where there is none; empty while a picture is shown or read.
    Q_PROPERTY(QString gapText READ gapText NOTIFY imageChanged)
    Q_PROPERTY(bool loading READ isLoading NOTIFY imageChanged)
    Q_PROPERTY(int readyCount READ readyCount NOTIFY readyCountChanged)
    // Frames the cache holds at most (all of them for a spin of ordinary size).
    Q_PROPERTY(int capacity READ capacity NOTIFY readyCountChanged)
    // A passing notice: a row refused, a reload that failed.
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)

public:
    explicit SpinViewer(QObject *parent = nullptr);
    ~SpinViewer() override;

    // Accepts a path or a file: URL. False (error set, nothing shown) when it is not a spin.
    Q_INVOKABLE bool open(const QString &folder);
    // Another camera height of the same product, shown below the others.
    Q_INVOKABLE bool addRow(const QString &folder);
    // Turns by frames (negative: back), round the circle.
    Q_INVOKABLE void step(int frames);
    Q_INVOKABLE void stepRow(int rows);
    // Reads the manifests and pictures again; the shown angle is kept.
    Q_INVOKABLE void reload();
    // Asks for the shown frame at full resolution (zoomChanged when it is in).
    Q_INVOKABLE void requestZoom();

    bool isValid() const;
    QString error() const;
    QString title() const;
    QStringList folders() const;
    int rowCount() const;
    int frameCount() const;
    int pictureCount() const;
    int currentRow() const;
    void setCurrentRow(int row);
    int currentFrame() const;
    void setCurrentFrame(int frame);
    double angle() const;
    int shotNumber() const;
    QString caption() const;
    QString gapText() const;
    bool isLoading() const;
    int readyCount() const;
    int capacity() const;
    QString message() const;

    // The size, in device pixels, frames are read to fit; applied after resizing settles.
    void setViewSize(const QSize &size);
    QImage currentImage() const;
    // Null until the shown frame's full-resolution read is in.
    QImage currentZoomImage() const;

    const SpinViewerModel &model() const;
    SpinFrameCache *cache() const;

signals:
    void spinChanged();
    void currentChanged();
    void imageChanged();
    void zoomChanged();
    void readyCountChanged();
    void messageChanged();

private:
    void showSpin();
    void publishPictures();
    void watchFolders();
    void setMessage(const QString &text);
    void cacheChanged(int row, int frame);

    SpinViewerModel spins;
    SpinFrameCache *frames;
    QFileSystemWatcher *watcher;
    QTimer reloadTimer;
    QTimer resizeTimer;
    QSize wantedViewSize;
    QString openError;
    QString notice;
    int row = 0;
    int frame = 0;
};
