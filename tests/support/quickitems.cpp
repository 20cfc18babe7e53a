#include "quickitems.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>

namespace QuickItems {

QQuickView *firstView()
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (auto *view = qobject_cast<QQuickView *>(window))
            return view;
    }
    return nullptr;
}

QList<QQuickItem *> all(QQuickItem *root)
{
    QList<QQuickItem *> items;
    if (!root)
        return items;
    items.append(root);
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children)
        items += all(child);
    return items;
}

QQuickItem *find(QQuickItem *root, const QString &objectName)
{
    const QList<QQuickItem *> found = findAll(root, objectName);
    return found.isEmpty() ? nullptr : found.first();
}

QList<QQuickItem *> findAll(QQuickItem *root, const QString &objectName)
{
    QList<QQuickItem *> found;
    for (QQuickItem *item : all(root)) {
        if (item->objectName() == objectName)
            found.append(item);
    }
    return found;
}

} // namespace QuickItems
