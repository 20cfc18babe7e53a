#include "stubhardware.h"
#include "zlimageprocessing.h"
#include "zlimageviewevent.h"
#include "zlimporttools.h"
#include "zltoolsaction.h"

#include <QtTest>

#include <functional>
#include <thread>
#include <vector>

namespace {
using Turntable = StubTurntable;
using Camera = StubCamera;

class Tools : public ZLToolsAction
{
public:
    void setupActionTools() override {}
};

class Processing : public ZLImageProcessing
{
public:
    void setupFilterSections() override {}
    bool processImageRect(const ZLRect &) override { return false; }
};

class ViewEvent : public ZLImageViewEvent
{
public:
    bool isEventHandlingEnabled() const override { return true; }
};

class Import : public ZLImportTools
{
};

// What one hook saw: how often it ran, on which thread, and with which arguments.
struct Calls
{
    int count = 0;
    std::thread::id thread;
    const void *reporter = nullptr;
    QVariantList arguments;

    void record(const void *object, QVariantList args)
    {
        ++count;
        thread = std::this_thread::get_id();
        reporter = object;
        arguments = std::move(args);
    }
};

using TurntableHooks = ZLTurntableHardware::TurntableHardwarePrivate;
using CameraHooks = ZLCameraHardware::CameraHardwarePrivate;
}

class tst_Hooks : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void kindsAndIndices();
    void turntableForwardersPassTheReporterFirst();
    void turntableReportFromAWorkerRunsThere();
    void cameraForwardersPassArgumentsUnchanged();
    void defaultOperations();
    void furtherInterfaceForwarders();
    void emptyHookThrows_data();
    void emptyHookThrows();
};

void tst_Hooks::cleanup()
{
    TurntableHooks::hardwareOpenSucceeded = nullptr;
    TurntableHooks::hardwareDisconnected = nullptr;
    TurntableHooks::turntableRotationStopped = nullptr;
    CameraHooks::availableCamerasDidSearched = nullptr;
    CameraHooks::captureFinished = nullptr;
    CameraHooks::capturedImageSaved = nullptr;
}

void tst_Hooks::kindsAndIndices()
{
    Turntable turntable, otherTurntable;
    Camera camera, otherCamera;
    Tools tools;
    Processing processing;
    ViewEvent viewEvent;
    Import import;
    QCOMPARE(int(camera.pluginType()), 1);
    QCOMPARE(int(turntable.pluginType()), 2);
    QCOMPARE(int(tools.pluginType()), 4);
    QCOMPARE(int(processing.pluginType()), 8);
    QCOMPARE(int(viewEvent.pluginType()), 16);
    QCOMPARE(int(import.pluginType()), 32);
    QCOMPARE(turntable.currentTurntableIndex(), SIZE_MAX);
    QCOMPARE(camera.currentCameraIndex(), SIZE_MAX);
    QCOMPARE(tools.currentToolId(), -1);
    QCOMPARE(processing.currentFilterSectionId(), -1);

    turntable.setCurrentTurntableIndex(3);
    camera.setCurrentCameraIndex(0);
    QCOMPARE(turntable.currentTurntableIndex(), size_t(3));
    QCOMPARE(otherTurntable.currentTurntableIndex(), SIZE_MAX);
    QCOMPARE(camera.currentCameraIndex(), size_t(0));
    QCOMPARE(otherCamera.currentCameraIndex(), SIZE_MAX);
}

void tst_Hooks::turntableForwardersPassTheReporterFirst()
{
    Calls opened, disconnected, stopped;
    TurntableHooks::hardwareOpenSucceeded = [&](ZLTurntableHardware *device, size_t index, bool flag) {
        opened.record(device, {qulonglong(index), flag});
    };
    TurntableHooks::hardwareDisconnected = [&](ZLTurntableHardware *device, size_t index) {
        disconnected.record(device, {qulonglong(index)});
    };
    TurntableHooks::turntableRotationStopped = [&](ZLTurntableHardware *device) { stopped.record(device, {}); };

    Turntable turntable;
    const void *self = &turntable;
    turntable.setCurrentTurntableIndex(5);
    turntable.hardwareOpenSucceeded(2, true);
    QCOMPARE(opened.count, 1);
    QCOMPARE(opened.reporter, self);
    QCOMPARE(opened.arguments, (QVariantList{qulonglong(2), true}));
    QCOMPARE(opened.thread, std::this_thread::get_id());

    turntable.hardwareDisconnected(SIZE_MAX);
    turntable.turntableRotationStopped();
    QCOMPARE(disconnected.count, 1);
    QCOMPARE(disconnected.reporter, self);
    QCOMPARE(disconnected.arguments, QVariantList{qulonglong(SIZE_MAX)});
    QCOMPARE(stopped.count, 1);
    QCOMPARE(stopped.reporter, self);
    QCOMPARE(opened.count, 1);
    // The forwarders report; keeping the index is the host's business.
    QCOMPARE(turntable.currentTurntableIndex(), size_t(5));
}

void tst_Hooks::turntableReportFromAWorkerRunsThere()
{
    Calls stopped;
    TurntableHooks::turntableRotationStopped = [&](ZLTurntableHardware *device) { stopped.record(device, {}); };
    Turntable turntable;
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        turntable.turntableRotationStopped();
    });
    worker.join();
    QCOMPARE(stopped.count, 1);
    QCOMPARE(stopped.thread, workerId);
    QVERIFY(stopped.thread != std::this_thread::get_id());
}

void tst_Hooks::cameraForwardersPassArgumentsUnchanged()
{
    Calls searched, finished, saved;
    std::list<std::string> seenNames;
    CameraHooks::availableCamerasDidSearched = [&](ZLCameraHardware *c, const std::list<std::string> &names) {
        seenNames = names;
        searched.record(c, {});
    };
    CameraHooks::captureFinished = [&](ZLCameraHardware *c, QString text, bool success) {
        finished.record(c, {text, success});
    };
    CameraHooks::capturedImageSaved = [&](ZLCameraHardware *c, QString path) { saved.record(c, {path}); };

    Camera camera;
    camera.availableCamerasDidSearched({"first", "second"});
    camera.captureFinished(QStringLiteral("x"), false);
    camera.capturedImageSaved(QStringLiteral("/pictures/0001.jpg"));
    for (const Calls *calls : {&searched, &finished, &saved}) {
        QCOMPARE(calls->count, 1);
        QCOMPARE(calls->reporter, static_cast<const void *>(&camera));
    }
    QCOMPARE(seenNames, (std::list<std::string>{"first", "second"}));
    QCOMPARE(finished.arguments, (QVariantList{QStringLiteral("x"), false}));
    QCOMPARE(saved.arguments, QVariantList{QStringLiteral("/pictures/0001.jpg")});
}

void tst_Hooks::defaultOperations()
{
    Turntable turntable;
    QVERIFY(!turntable.stepsSpinningWillStart());
    QCOMPARE(turntable.degreesToSteps(90.0f), short(0));
    QCOMPARE(turntable.stepsToDegrees(100), 0.0f);

    Camera camera;
    QCOMPARE(ZLCameraHardware::originalImagesDirectoryName(), QStringLiteral("originalCapturedImages"));
    QVERIFY(!camera.startRecording(QStringLiteral("clip")));
    std::map<QString, std::list<QString>> items{{QStringLiteral("DCIM"), {QStringLiteral("a.jpg")}}};
    const auto before = items;
    QVERIFY(!camera.browseDcimItems(&items));
    QCOMPARE(items, before);
    QVERIFY(!camera.downloadDcimItem(QStringLiteral("a.jpg"), QStringLiteral("/tmp")));

    QVERIFY(!ZLImageViewEvent::isHardwareStreaming());
    QCOMPARE(ZLImageViewEvent::pressedEventPos(), ZLPoint(0, 0));
    ZLImageViewEvent::ImageViewEventPrivate::pressedEventPos = ZLPoint(4.5f, -2);
    QCOMPARE(ZLImageViewEvent::pressedEventPos(), ZLPoint(4.5f, -2));
    ZLImageViewEvent::ImageViewEventPrivate::pressedEventPos = ZLPoint();

    // The appended export and import operations: a plug-in that overrides neither still builds
    // and answers "nothing to offer" without touching what it was handed.
    Tools tools;
    QVERIFY(tools.toolOptions(0).isEmpty());
    QVariantMap result{{QStringLiteral("kept"), 1}};
    QVERIFY(!tools.runTool(0, {{QStringLiteral("target"), QStringLiteral("/tmp")}}, &result));
    QCOMPARE(result, (QVariantMap{{QStringLiteral("kept"), 1}}));
    Import import;
    QVERIFY(import.importTitle().isEmpty());
    QVariantMap report{{QStringLiteral("kept"), 2}};
    QVERIFY(!import.importIntoSpin(QStringLiteral("/a"), QStringLiteral("/b"), &report));
    QCOMPARE(report, (QVariantMap{{QStringLiteral("kept"), 2}}));
}

void tst_Hooks::furtherInterfaceForwarders()
{
    Tools tools;
    const ZLToolsAction *reporter = nullptr;
    QString title;
    ZLToolsAction::ToolsActionPrivate::addActionTool = [&](ZLToolsAction *t, const ZLToolsAction::ToolInfo &info) {
        reporter = t;
        title = info.title;
        return (unsigned short)42;
    };
    ZLToolsAction::ToolInfo info;
    info.title = QStringLiteral("Crop");
    QCOMPARE(tools.addActionTool(info), (unsigned short)42);
    QCOMPARE(reporter, &tools);
    QCOMPARE(title, QStringLiteral("Crop"));
    ZLToolsAction::ToolsActionPrivate::addActionTool = nullptr;

    Processing processing;
    ZLImagePixels answer;
    ZLImageProcessing::ImageProcessingPrivate::imageRectPixelsData =
            [&](ZLImageProcessing *p, const ZLRect &r, ZLImagePixels *out) {
                out->bytesPerLine = r.iwidth() * 4;
                return p == &processing;
            };
    QVERIFY(processing.imageRectPixelsData(ZLRect(0, 0, 5, 5), &answer));
    QCOMPARE(answer.bytesPerLine, 20);
    ZLImageProcessing::ImageProcessingPrivate::imageRectPixelsData = nullptr;

    ZLImageViewEvent::ImageViewEventPrivate::mapToImage = [](ZLPoint *p) {
        p->x *= 2;
        return true;
    };
    ZLPoint point(3, 8);
    QVERIFY(ZLImageViewEvent::mapToImage(&point));
    QCOMPARE(point, ZLPoint(6, 8));
    ZLImageViewEvent::ImageViewEventPrivate::mapToImage = nullptr;
}

void tst_Hooks::emptyHookThrows_data()
{
    QTest::addColumn<int>("which");
    const char *names[] = {"turntable open", "turntable disconnected", "turntable stopped",
                           "camera capture finished", "tools add", "processing add section", "view keys"};
    for (int i = 0; i < int(sizeof names / sizeof *names); ++i)
        QTest::newRow(names[i]) << i;
}

void tst_Hooks::emptyHookThrows()
{
    QFETCH(int, which);
    Turntable turntable;
    Camera camera;
    Tools tools;
    Processing processing;
    const std::vector<std::function<void()>> calls{
        [&] { turntable.hardwareOpenSucceeded(0, true); },
        [&] { turntable.hardwareDisconnected(0); },
        [&] { turntable.turntableRotationStopped(); },
        [&] { camera.captureFinished(QString(), true); },
        [&] { tools.addActionTool({}); },
        [&] { processing.addFilterSection("x"); },
        [] { ZLImageViewEvent::keysState(); },
    };
    QVERIFY_EXCEPTION_THROWN(calls.at(size_t(which))(), std::bad_function_call);
}

QTEST_MAIN(tst_Hooks)
#include "tst_hooks.moc"
