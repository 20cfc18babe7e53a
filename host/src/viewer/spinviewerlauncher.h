#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QQmlEngine;
class QQuickWindow;
class SpinToolsHost;

// Opens spin viewer windows ("qrc:/qml/SpinViewer.qml"), one per spin, from the main page's
// "Open spin…" and from the end of a spin. Published to QML as the context property
// "SpinViewerLauncher". The windows are deleted when closed or with the launcher. GUI thread.
class SpinViewerLauncher : public QObject
{
    Q_OBJECT

public:
    // tools may be null: the viewer then offers no exports or imports.
    SpinViewerLauncher(QQmlEngine *engine, SpinToolsHost *tools, QObject *parent = nullptr);
    ~SpinViewerLauncher() override;

    // The QML types of the viewer ("Spinwright.Viewer" 1.0); done once by the first launcher.
    static void registerTypes();

    QList<QQuickWindow *> windows() const;

public slots:
    // Shows the spin at folder (a path or a file: URL) in a new window, or raises the window that
    // shows it already. A folder that is not a spin gets a window saying why. Null only when the
    // window itself could not be made.
    QObject *openSpin(const QString &folder);
    // For the end of a spin: the same as openSpin.
    void showSpin(const QString &folder);
    // A viewer window that asks for the spin folder first; closed again when none is chosen.
    QObject *chooseSpin();

signals:
    void viewerOpened(QObject *window);

private:
    QQuickWindow *createWindow(bool choosing);

    QQmlEngine *engine;
    QPointer<SpinToolsHost> tools;
    QList<QPointer<QQuickWindow>> openWindows;
};
