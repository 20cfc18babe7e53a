// Spin overhead: an 8-image spin with no delays through the real controller, page and turntable
// plug-in on the simulated board, against the moves' ideal durations plus the shutter releases.
// The plug-in carries a simulator of its own, so the step counts come from its line dump.
#include "chostappspinwright.h"
#include "spinwrightidentity.h"
#include "spinwrightresources.h"
#include "steptrain.h"
#include "zlcamerahardware.h"
#include "zlpluginslist.h"
#include "zlturntablehardware.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

constexpr std::uint32_t gemlineCounts = 6400;
constexpr std::uint32_t baseDelayMs = 1;  // speed 9
constexpr double shutterMs = 1000.0;      // two stages of 500 ms
constexpr int images = 8;

bool writeJson(const QString &path, const QJsonObject &object)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(object).toJson()) > 0;
}

bool holdsText(QQuickItem *item, const QString &text)
{
    if (item->objectName() == QLatin1String("textLabel") && item->property("text").toString() == text)
        return true;
    const auto children = item->childItems();
    for (QQuickItem *child : children) {
        if (holdsText(child, text))
            return true;
    }
    return false;
}

// Counts of each move: rising edges of the step line (line 2 of the first board), split where
// the line rests longer than a shutter release's half.
std::vector<std::uint32_t> movesInDump(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::vector<std::uint32_t> moves;
    long long now = 0;
    long long lastRise = -1;
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
            if (lastRise < 0 || now - lastRise > 400000)
                moves.push_back(0);
            ++moves.back();
            lastRise = now;
        }
    }
    return moves;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const std::string dump = QDir(home.path()).filePath(QStringLiteral("spin.vcd")).toStdString();
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("SPINWRIGHT_D2XX_SIM", "turntable:2");
    qputenv("SPINWRIGHT_D2XX_VCD", QByteArray::fromStdString(dump));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");

    initSpinwrightResources();
    QCoreApplication::setOrganizationName(QString::fromLatin1(SpinwrightIdentity::organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(SpinwrightIdentity::applicationName));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QGuiApplication app(argc, argv);

    const QDir data(ZLAbstractPlugin::applicationLocalDataDirectory());
    QJsonArray angles;
    for (int i = 0; i < images; ++i)
        angles.append(QString::number(360.0 / images * i, 'f', 2));
    writeJson(data.filePath(QStringLiteral("TurntableSpins.json")),
              {{"shootingAnglesList", angles}, {"shootingMode", 0}, {"preCaptureDelay", 0},
               {"postCaptureDelay", 0}, {"clockwise", true}, {"isManualCapture", false}, {"videoDegrees", 360}});
    writeJson(data.filePath(QStringLiteral("MarvolixTurntable-v3.json")),
              {{"rotationSpeed", 9}, {"isLockTableWhenIdle", false}, {"rampUpDegrees", "1.00"}});

    ZLPluginsList plugins;
    globalQmlEngine()->addPluginPath(QCoreApplication::applicationDirPath() + QStringLiteral("/Plug-ins"));
    std::list<QString> errors;
    if (!plugins.loadPlugins(&errors)) {
        for (const QString &e : errors)
            std::cerr << e.toStdString() << '\n';
        return 1;
    }
    plugins.createPluginsObjects();
    const auto turntables = plugins.availablePluginsList(ZLRegisterPlugin::TurntableHardwarePlugin);
    const auto cameras = plugins.availablePluginsList(ZLRegisterPlugin::CameraHardwarePlugin);
    if (turntables.size() != 1 || cameras.size() != 1)
        return 1;
    auto *turntable = dynamic_cast<ZLTurntableHardware *>(turntables.front());
    auto *camera = dynamic_cast<ZLCameraHardware *>(cameras.front());

    auto *view = new QQuickView(globalQmlEngine(), nullptr);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
    view->setSource(QUrl(QStringLiteral("qrc:/qml/Spinwright.qml")));
    if (view->status() != QQuickView::Ready)
        return 1;
    auto *controller = new CHostAppSpinwright(turntable, camera, view);
    view->show();
    // The identified table is the only entry of the device list.
    QMetaObject::invokeMethod(view->rootObject(), "turntableDeviceChanged", Q_ARG(int, 0));
    if (turntable->currentTurntableIndex() == SIZE_MAX) {
        std::cerr << "the simulated Gemline did not open: " << turntable->lastError().toStdString() << '\n';
        return 1;
    }

    QElapsedTimer wall;
    double wallMs = 0;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (holdsText(view->contentItem(), QStringLiteral("360 Photography finished"))) {
            wallMs = double(wall.nsecsElapsed()) / 1e6;
            app.quit();
        }
    });
    QTimer::singleShot(0, &app, [&] {
        wall.start();
        QMetaObject::invokeMethod(view->rootObject(), "turntableSpinStateChanged", Q_ARG(int, 1));
        poll.start(2);
    });
    QTimer::singleShot(600000, &app, [&] { app.exit(2); });
    if (app.exec() != 0) {
        std::cerr << "the spin did not finish\n";
        return 1;
    }
    controller->applicationClosing();  // closes the board, which flushes the dump
    delete view;

    const std::vector<std::uint32_t> moves = movesInDump(dump);
    double ideal = images * shutterMs;
    std::string counts;
    for (std::uint32_t n : moves) {
        ideal += steptrain::idealMoveMs(n, gemlineCounts, 1.0, baseDelayMs);
        counts += (counts.empty() ? "" : "+") + std::to_string(n);
    }
    if (moves.size() != std::size_t(images)) {
        std::cerr << "expected " << images << " moves in the dump, found " << moves.size() << '\n';
        return 1;
    }
    std::printf("row\tspin overhead (8 images, delays 0, speed 9), wall/(ideal moves + 8 shutters)\t%.4f\t"
                "wall %.1f ms, ideal %.1f ms (counts %s)\t<= 1.02\n",
                wallMs / ideal, wallMs, ideal, counts.c_str());
    return 0;
}
