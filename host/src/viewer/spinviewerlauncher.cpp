#include "spinviewerlauncher.h"

#include "spinframeview.h"
#include "spintoolshost.h"
#include "spinviewer.h"

#include <QDebug>
#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QUrl>

SpinViewerLauncher::SpinViewerLauncher(QQmlEngine *engine, SpinToolsHost *tools, QObject *parent)
    : QObject(parent)
    , engine(engine)
    , tools(tools)
{
    registerTypes();
}

SpinViewerLauncher::~SpinViewerLauncher()
{
    for (const QPointer<QQuickWindow> &window : qAsConst(openWindows))
        delete window.data();
}

void SpinViewerLauncher::registerTypes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const char uri[] = "Spinwright.Viewer";
    qmlRegisterType<SpinFrameView>(uri, 1, 0, "SpinFrameView");
    qmlRegisterUncreatableType<SpinViewer>(uri, 1, 0, "SpinViewer", QStringLiteral("Made by SpinViewerLauncher"));
    qmlRegisterUncreatableType<SpinToolsHost>(uri, 1, 0, "SpinToolsHost", QStringLiteral("Made at start-up"));
}

QList<QQuickWindow *> SpinViewerLauncher::windows() const
{
    QList<QQuickWindow *> list;
    for (const QPointer<QQuickWindow> &window : openWindows) {
        if (window)
            list << window.data();
    }
    return list;
}

QObject *SpinViewerLauncher::openSpin(const QString &folder)
{
    const QString path = folder.startsWith(QLatin1String("file:")) ? QUrl(folder).toLocalFile() : folder;
    const QString absolute = QDir(path).absolutePath();
    for (QQuickWindow *window : windows()) {
        auto *shown = window->property("viewer").value<SpinViewer *>();
        if (shown && shown->isValid() && shown->folders().constFirst() == absolute) {
            window->show();
            window->raise();
            window->requestActivate();
            return window;
        }
    }

    QQuickWindow *window = createWindow(false);
    if (!window)
        return nullptr;
    // The window's frame view knows its size by now, so the first frame is read to fit it.
    window->property("viewer").value<SpinViewer *>()->open(absolute);
    window->show();
    window->requestActivate();
    emit viewerOpened(window);
    return window;
}

QObject *SpinViewerLauncher::chooseSpin()
{
    QQuickWindow *window = createWindow(true);
    if (window) {
        window->show();
        emit viewerOpened(window);
    }
    return window;
}

QQuickWindow *SpinViewerLauncher::createWindow(bool choosing)
{
    auto *viewer = new SpinViewer;
    QQmlComponent component(engine, QUrl(QStringLiteral("qrc:/qml/SpinViewer.qml")));
    QObject *created = component.createWithInitialProperties(
            {{QStringLiteral("viewer"), QVariant::fromValue(viewer)},
             {QStringLiteral("tools"), QVariant::fromValue(tools.data())},
             {QStringLiteral("choosing"), choosing}});
    auto *window = qobject_cast<QQuickWindow *>(created);
    if (!window) {
        qWarning().noquote() << "The spin viewer could not be made:" << component.errorString();
        delete created;
        delete viewer;
        return nullptr;
    }
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    viewer->setParent(window);
    openWindows.append(window);
    connect(window, &QWindow::visibleChanged, window, [window](bool visible) {
        if (!visible)
            window->deleteLater();
    });
    return window;
}

void SpinViewerLauncher::showSpin(const QString &folder)
{
    openSpin(folder);
}
