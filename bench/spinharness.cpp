#include "spinharness.h"

#include "camerachoice.h"
#include "chostappspinwright.h"
#include "quickitems.h"
#include "spinwrightidentity.h"
#include "spinwrightresources.h"
#include "zlcamerahardware.h"
#include "zlpluginslist.h"
#include "zlturntablehardware.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

const QString finishedText = QStringLiteral("360 Photography finished");

// The controller's message dialogs, found by their text label; closed ones are gone.
QList<QQuickItem *> messageLabels(QQuickItem *item)
{
    return QuickItems::findAll(item, QStringLiteral("textLabel"));
}

} // namespace

SpinHarness::SpinHarness(const QByteArray &simulatedDevices, bool dumpLines)
{
    if (!home.isValid())
        return;
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("SPINWRIGHT_D2XX_SIM", simulatedDevices);
    if (dumpLines)
        qputenv("SPINWRIGHT_D2XX_VCD", dumpPath().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QCoreApplication::setOrganizationName(QString::fromLatin1(SpinwrightIdentity::organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(SpinwrightIdentity::applicationName));
    valid = QDir().mkpath(dataDirectory());
}

SpinHarness::~SpinHarness()
{
    finish();
    delete view;
    plugins.reset();
    app.reset();
}

QString SpinHarness::dataDirectory() const
{
    return QDir(home.path()).filePath(QStringLiteral("data/%1/%2").arg(QLatin1String(SpinwrightIdentity::organizationName),
                                                                     QLatin1String(SpinwrightIdentity::applicationName)));
}

QString SpinHarness::dumpPath() const
{
    return QDir(home.path()).filePath(QStringLiteral("lines.vcd"));
}

bool SpinHarness::writeSettings(const QString &fileName, const QJsonObject &settings)
{
    QFile file(QDir(dataDirectory()).filePath(fileName));
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(settings).toJson()) > 0;
}

bool SpinHarness::start(int argc, char *argv[])
{
    initSpinwrightResources();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    static int appArgc = argc;
    app = std::make_unique<QGuiApplication>(appArgc, argv);
    plugins = std::make_unique<ZLPluginsList>();
    globalQmlEngine()->addPluginPath(QCoreApplication::applicationDirPath() + QStringLiteral("/Plug-ins"));
    std::list<QString> errors;
    if (!plugins->loadPlugins(&errors)) {
        for (const QString &e : errors)
            std::cerr << e.toStdString() << '\n';
        return false;
    }
    plugins->createPluginsObjects();
    const auto turntables = plugins->availablePluginsList(ZLRegisterPlugin::TurntableHardwarePlugin);
    const auto cameras = plugins->availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin);
    if (turntables.size() != 1 || cameras.empty())
        return false;
    turntable = dynamic_cast<ZLTurntableHardware *>(turntables.front());
    std::vector<ZLCameraHardware *> cameraObjects;
    for (ZLAbstractPlugin *each : cameras) {
        if (auto *camera = dynamic_cast<ZLCameraHardware *>(each))
            cameraObjects.push_back(camera);
    }
    if (!turntable || cameraObjects.size() != cameras.size())
        return false;

    view = new QQuickView(globalQmlEngine(), nullptr);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    if (view->status() != QQuickView::Ready)
        return false;
    controller = new CHostAppSpinwright(turntable, cameraObjects, view);
    view->show();
    QMetaObject::invokeMethod(view->rootObject(), "turntableDeviceChanged", Q_ARG(int, 0));
    if (turntable->currentTurntableIndex() == SIZE_MAX) {
        std::cerr << "the simulated table did not open: " << turntable->lastError().toStdString() << '\n';
        return false;
    }
    return true;
}

bool SpinHarness::writeEvenSpinSettings(int images)
{
    QJsonArray angles;
    for (int i = 0; i < images; ++i)
        angles.append(QString::number(360.0 / images * i, 'f', 2));
    return writeSettings(QStringLiteral("TurntableSpins.json"),
                         {{"shootingAnglesList", angles}, {"shootingMode", 0}, {"preCaptureDelay", 0},
                          {"postCaptureDelay", 0}, {"clockwise", true}, {"isManualCapture", false},
                          {"videoDegrees", 360}})
        && writeSettings(QStringLiteral("MarvolixTurntable-v3.json"),
                         {{"rotationSpeed", 9}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", "1.00"}});
}

bool SpinHarness::chooseUsbCamera(int timeoutMs)
{
    CameraChoice *choice = controller ? controller->cameraChoice() : nullptr;
    if (!choice)
        return false;
    QElapsedTimer waited;
    waited.start();
    int asked = -1;
    choice->searchCameras();
    while (waited.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QStringList names = choice->names();
        if (asked < 0) {
            for (int i = 0; i < names.size(); ++i) {
                if (names[i].contains(QLatin1String("(USB "))) {
                    asked = i;
                    choice->choose(i);
                    break;
                }
            }
        } else if (choice->chosenCamera() && choice->chosenCamera()->cameraQueryB()) {
            return true;
        }
    }
    return false;
}

bool SpinHarness::runSpin(double *wallMs, int timeoutMs)
{
    QList<QPointer<QQuickItem>> earlier;
    for (QQuickItem *label : messageLabels(view->contentItem()))
        earlier.append(label);
    QEventLoop loop;
    QElapsedTimer wall;
    bool finished = false;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        for (QQuickItem *label : messageLabels(view->contentItem())) {
            if (earlier.contains(label) || label->property("text").toString() != finishedText)
                continue;
            *wallMs = double(wall.nsecsElapsed()) / 1e6;
            finished = true;
            shownMessages.append(label);
            closeMessage(label);
            loop.quit();
            return;
        }
    });
    QTimer::singleShot(0, &loop, [&] {
        wall.start();
        QMetaObject::invokeMethod(view->rootObject(), "turntableSpinStateChanged", Q_ARG(int, 1));
        poll.start(2);
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!finished) {
        // Whatever the page shows instead tells a stuck spin from a refused one.
        for (QQuickItem *label : messageLabels(view->contentItem()))
            std::cerr << "message shown: " << label->property("text").toString().toStdString() << '\n';
    }
    return finished;
}

void SpinHarness::closeMessage(QQuickItem *label)
{
    // Closing the message, as the user would, lets the dialog destroy itself.
    QQuickItem *dialogItem = label;
    while (dialogItem && !QByteArray(dialogItem->metaObject()->className()).startsWith("QQuickPopupItem"))
        dialogItem = dialogItem->parentItem();
    QObject *popup = dialogItem ? dialogItem->parent() : nullptr;
    if (!popup || !QMetaObject::invokeMethod(popup, "close")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &press);
        QCoreApplication::sendEvent(view, &release);
    }
}

bool SpinHarness::showAndCloseMessage()
{
    QObject *dialog = showMessageDialog(view->rootObject(), finishedText, QStringLiteral("Process complete."));
    if (!dialog)
        return false;
    QQuickItem *label = dialog->findChild<QQuickItem *>(QStringLiteral("textLabel"));
    if (!label) {
        const auto all = messageLabels(view->contentItem());
        label = all.isEmpty() ? nullptr : all.last();
    }
    if (!label)
        return false;
    shownMessages.append(label);
    closeMessage(label);
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    return true;
}

int SpinHarness::openMessages() const
{
    return view ? messageLabels(view->contentItem()).size() : 0;
}

int SpinHarness::undestroyedMessages() const
{
    int alive = 0;
    for (const QPointer<QQuickItem> &label : shownMessages)
        alive += label ? 1 : 0;

    return alive;
}

void SpinHarness::finish()
{
    if (controller)
        controller->applicationClosing();
    controller = nullptr;
}

LineDump readLineDump(const QString &path, int restMs)
{
    std::ifstream in(path.toStdString());
    std::string line;
    LineDump dump;
    long long now = 0;
    long long lastRise = -1;
    long long shutterRise = -1;
    bool defined = false;
    while (std::getline(in, line)) {
        if (!defined) {
            defined = line.rfind("$enddefinitions", 0) == 0;
            continue;
        }
        if (line.empty())
            continue;
        if (line[0] == '#') {
            now = std::atoll(line.c_str() + 1);
        } else if (line == "1#") {
            if (lastRise < 0 || now - lastRise > restMs * 1000LL) {
                dump.moves.emplace_back();
                dump.moves.back().firstRiseUs = now;
            }
            ++dump.moves.back().counts;
            lastRise = now;
        } else if (line == "0#" && !dump.moves.empty()) {
            dump.moves.back().lastFallUs = now;
        } else if (line == "1%") {
            shutterRise = now;
        } else if (line == "0%" && shutterRise >= 0) {
            dump.shutterUs += now - shutterRise;
            shutterRise = -1;
        }
    }
    return dump;
}
