#pragma once

#include <QList>
#include <QString>

class QQuickItem;
class QQuickView;

// Looking at a Qt Quick scene the way the user sees it: through the visual item tree, where a
// popup's item sits in the window's overlay (QObject::findChild follows object parents and
// misses it). GUI thread only.
namespace QuickItems {

// The application's first Qt Quick window, or null.
QQuickView *firstView();
// root and every item below it, depth first in stacking order.
QList<QQuickItem *> all(QQuickItem *root);
// The first item with this object name at or below root, or null.
QQuickItem *find(QQuickItem *root, const QString &objectName);
// Every item with this object name at or below root.
QList<QQuickItem *> findAll(QQuickItem *root, const QString &objectName);

} // namespace QuickItems
