#pragma once

#include <QPointF>
#include <QPointer>
#include <QImage>
#include <QQuickItem>

class SpinViewer;

// Shows the viewer's shown frame fitted into the item, or the marked gap where it has no
// picture. Zoomed in, it shows the part of the full-resolution picture around centre (a point of
// the picture in 0..1), from the view-size frame until that is read. The frame goes to the scene
// graph as a texture that it scales, so turning costs an upload and no painting.
class SpinFrameView : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(SpinViewer *viewer READ viewer WRITE setViewer NOTIFY viewerChanged)
    Q_PROPERTY(qreal zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    Q_PROPERTY(QPointF centre READ centre WRITE setCentre NOTIFY centreChanged)

public:
    static constexpr qreal maxZoom = 8.0;

    explicit SpinFrameView(QQuickItem *parent = nullptr);

    SpinViewer *viewer() const;
    void setViewer(SpinViewer *viewer);
    qreal zoom() const;
    void setZoom(qreal zoom);
    QPointF centre() const;
    void setCentre(const QPointF &centre);

    // Zooms by factor keeping the picture's point under itemPoint where it is.
    Q_INVOKABLE void zoomAt(qreal factor, const QPointF &itemPoint);
    // Moves the zoomed picture with the pointer.
    Q_INVOKABLE void panBy(const QPointF &itemDelta);


signals:
    void viewerChanged();
    void zoomChanged();
    void centreChanged();

protected:
    void geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry) override;
    QSGNode *updatePaintNode(QSGNode *old, UpdatePaintNodeData *data) override;

private:
    // The whole picture's place in the item at the present zoom and centre.
    QRectF pictureRect(const QSizeF &pictureSize) const;
    QSizeF shownPictureSize() const;
    void reportViewSize();
    // The hatched gap with its reason, at the item's size; kept while both stay the same.
    QImage gapImage(const QString &text);

    QImage gap;
    QString gapShown;

    QPointer<SpinViewer> spinViewer;
    qreal zoomFactor = 1.0;
    QPointF centrePoint{0.5, 0.5};
};
