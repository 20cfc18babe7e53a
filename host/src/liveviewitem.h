#pragma once

#include <QImage>
#include <QQuickPaintedItem>

// Shows the newest live-view frame of the chosen camera, scaled to fit and centred. A frame
// that arrives replaces the one held (QImage shares its pixels, so nothing is copied here);
// frames that arrive between two paints are never drawn. GUI thread only.
class LiveViewItem : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(int frameCount READ frameCount NOTIFY frameChanged)
    Q_PROPERTY(QSize frameSize READ frameSize NOTIFY frameChanged)

public:
    explicit LiveViewItem(QQuickItem *parent = nullptr);

    // Frames taken since the last clear().
    int frameCount() const { return frames; }
    QSize frameSize() const { return frame.size(); }
    QImage currentFrame() const { return frame; }

    void paint(QPainter *painter) override;

public slots:
    void setFrame(const QImage &image);
    // Back to the empty picture, for a camera that stops or changes.
    void clear();

signals:
    void frameChanged();

private:
    QImage frame;
    int frames = 0;
};
