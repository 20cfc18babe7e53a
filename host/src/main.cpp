#include "chostappspinwright.h"
#include "platform.h"
#include "spinwrightidentity.h"
#include "spinwrightpalette.h"
#include "spinwrightresources.h"
#include "spintoolshost.h"
#include "spinviewerlauncher.h"
#include "zlcamerahardware.h"
#include "zlpluginslist.h"
#include "zlturntablehardware.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <iostream>
#include <list>
#include <set>
#include <vector>

namespace {

void writeLine(const char *text)
{
    std::cout << text << std::endl;
}

// Nobody else will release the objects the plug-ins handed out when the program gives up.
void releasePluginObjects(const std::list<ZLAbstractPlugin *> &objects)
{
    std::set<ZLAbstractPlugin *> released;
    for (ZLAbstractPlugin *object : objects) {
        if (!object || !released.insert(object).second)
            continue;
        object->pluginWillClose();
        delete object;
    }
}

// The page's own size is the smallest that shows everything; from then on the page follows the
// window, which the user may enlarge (the angle list takes the room).
void centreAndSetMinimum(QQuickView *view)
{
    const QSize available = view->screen()->availableSize();
    view->setPosition((available.width() - view->width()) / 2,
                      (available.height() - view->height()) / 2);
    const QSize minimum = view->size() + QSize(8, 8);
    view->setMinimumSize(minimum);
    view->resize(minimum);
    view->setResizeMode(QQuickView::SizeRootObjectToView);
}

} // namespace

int spinwrightMain(int argc, char *argv[])
{
    initSpinwrightResources();

    QCoreApplication::setOrganizationName(QString::fromLatin1(SpinwrightIdentity::organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(SpinwrightIdentity::applicationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(SpinwrightIdentity::organizationDomain));
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));

    QGuiApplication app(argc, argv);
    const QPalette palette = spinwrightPalette(QGuiApplication::palette());
    QGuiApplication::setPalette(palette);

    ZLPluginsList pluginsList;
    globalQmlEngine()->addPluginPath(QCoreApplication::applicationDirPath() + QStringLiteral("/Plug-ins"));

    // Objects of the kinds the host does not drive from here (tools actions, imports, image
    // processing and view events) are still the host's to delete, before the plug-in list.
    struct ReleasedAtExit
    {
        std::list<ZLAbstractPlugin *> objects;
        ~ReleasedAtExit() { releasePluginObjects(objects); }
    } otherObjects;

    std::list<QString> loadErrors;
    ZLTurntableHardware *turntable = nullptr;
    // One or more: the shutter-release cable and any tethered camera plug-in; the user chooses.
    std::vector<ZLCameraHardware *> cameras;
    if (pluginsList.loadPlugins(&loadErrors)) {
        pluginsList.createPluginsObjects();
        for (ZLRegisterPlugin::PluginType kind :
             {ZLRegisterPlugin::ToolsActionPlugin, ZLRegisterPlugin::ImageProcessingPlugin,
              ZLRegisterPlugin::ImageViewEventPlugin, ZLRegisterPlugin::ImportToolsPlugin})
            otherObjects.objects.splice(otherObjects.objects.end(), pluginsList.availablePluginsList(kind));
        const std::list<ZLAbstractPlugin *> turntables =
            pluginsList.availablePluginsList(ZLRegisterPlugin::TurntableHardwarePlugin);
        const std::list<ZLAbstractPlugin *> cameraObjects =
            pluginsList.availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin);
        std::list<ZLAbstractPlugin *> offered = turntables;
        offered.insert(offered.end(), cameraObjects.begin(), cameraObjects.end());

        if (turntables.size() != 1) {
            writeLine("Only one turntable plug-in allowed.");
            releasePluginObjects(offered);
            return 1;
        }
        turntable = dynamic_cast<ZLTurntableHardware *>(turntables.front());

        if (cameraObjects.empty()) {
            writeLine("Only one camera hardware plug-in allowed.");
            releasePluginObjects(offered);
            return 1;
        }
        for (ZLAbstractPlugin *object : cameraObjects)
            cameras.push_back(dynamic_cast<ZLCameraHardware *>(object));
        const bool allCameras = std::find(cameras.begin(), cameras.end(), nullptr) == cameras.end();

        if (!turntable || !allCameras) {
            releasePluginObjects(offered);
            turntable = nullptr;
            cameras.clear();
        }
    }

    if (!turntable || cameras.empty()) {
        writeLine("No available turntable hardware or camera hardware plug-in found.");
        for (const QString &text : loadErrors)
            SpinwrightPlatform::writeWideLine(ZLAbstractPlugin::nativeToWideString(text));
        return 1;
    }

    // Before the page, which reaches the viewer through "SpinViewerLauncher"; deleted after it.
    SpinToolsHost spinTools(otherObjects.objects);
    SpinViewerLauncher spinViewers(globalQmlEngine(), &spinTools);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("SpinViewerLauncher"), &spinViewers);

    QQuickView view(globalQmlEngine(), nullptr);
    view.setColor(QColor(70, 70, 70));
    SpinwrightPlatform::setApplicationIcon(&view);

    bool controllerCreated = false;
    QObject::connect(&view, &QQuickView::statusChanged, &app,
                     [&view, &controllerCreated, turntable, &cameras, &spinViewers](QQuickView::Status status) {
        if (status == QQuickView::Ready && !controllerCreated) {
            const QString version = QString::fromLatin1(SpinwrightIdentity::versionPrefix)
                                    + QString::fromLatin1(SpinwrightIdentity::changelistNumber);
            QMetaObject::invokeMethod(view.rootObject(), "setAppVersion", Q_ARG(QVariant, version));
            controllerCreated = true;
            auto *controller = new CHostAppSpinwright(turntable, cameras, &view);
            QObject::connect(controller, &CHostAppSpinwright::spinShowRequested, &spinViewers,
                             &SpinViewerLauncher::showSpin);
            QTimer::singleShot(750, &view, [&view] { centreAndSetMinimum(&view); });
        } else if (status == QQuickView::Error) {
            QString text;
            for (const QQmlError &error : view.errors())
                text += error.toString() + QChar(0x0d);
            QQuickItem *root = view.rootObject();
            if (!root)
                view.resize(640, 360);
            // Without a page the dialog goes into the bare window, the only way out of it.
            QObject *dialog = showMessageDialog(root ? root : view.contentItem(), text,
                                                QObject::tr("Error status"));
            view.setFlag(Qt::FramelessWindowHint);
            QObject::connect(globalQmlEngine(), &QQmlEngine::exit, &view, [&view](int code) {
                if (code == 255)
                    view.close();
            });
            if (!root && dialog)
                QObject::connect(dialog, SIGNAL(closed()), &view, SLOT(close()));
        }
    });

    view.setTitle(QString::fromLatin1(SpinwrightIdentity::organizationName) + QLatin1Char('-')
                  + QString::fromLatin1(SpinwrightIdentity::applicationName));
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"),
                                                         QStringList());
    view.setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    view.show();
    // "Spinwright <spin folder>" shows that spin beside the main window, as a file manager opens it.
    if (QCoreApplication::arguments().size() > 1)
        spinViewers.openSpin(QCoreApplication::arguments().at(1));
    const int exitCode = app.exec();

    if (!controllerCreated) {
        std::list<ZLAbstractPlugin *> objects{turntable};
        objects.insert(objects.end(), cameras.begin(), cameras.end());
        releasePluginObjects(objects);
    }
    return exitCode;
}

#ifndef Q_OS_WIN
int main(int argc, char *argv[])
{
    return spinwrightMain(argc, argv);
}
#endif
