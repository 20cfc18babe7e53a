#include "zlcamerahardware.h"
#include "zlimageprocessing.h"
#include "zlimageviewevent.h"
#include "zlimporttools.h"
#include "zltoolsaction.h"
#include "zlturntablehardware.h"

#include <QtTest>

#include <functional>
#include <thread>
#include <vector>

namespace {
class Turntable : public ZLTurntableHardware
{
public:
    std::list<std::string> availableTurntables() override { return {}; }
    void openHardware(size_t) override {}
    void closeHardware() override {}
    unsigned int countsPerRevolution() override { return 0; }
    bool startAngleRotation(float) override { return true; }
};

class Camera : public ZLCameraHardware
{
public:
    void searchAvailableCameras() override {}
    void openHardware(size_t) override {}
    bool cameraQueryA() override { return false; }
    bool cameraQueryB() override { return false; }
    void cameraCommand() override {}
    bool captureImage(QString) override { return true; }
};

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
    QVariantList arguments;
    const void *reporter = nullptr;

    void record(const void *object, QVariantList args)
    {
        ++count;
        thread = std::this_thread::get_id();
        reporter = object;
        arguments = std::move(args);
    }
};
}

class tst_Hooks : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void kindsAndStartingIndices();
    void indicesArePerObject();
    void turntableForwardersPassTheReporterFirst();
    void turntableReportFromAWorkerRunsThere();
    void cameraForwardersPassArgumentsUnchanged();
    void cameraDefaults();
    void turntableDefaults();
    void furtherInterfaceForwarders();
    void viewEventValuesUntilSet();
    void emptyHookThrows_data();
    void emptyHookThrows();
};

void tst_Hooks::cleanup()
{
    using T = ZLTurntableHardware::TurntableHardwarePrivate;
    using C = ZLCameraHardware::CameraHardwarePrivate;
    using A = ZLToolsAction::ToolsActionPrivate;
    using P = ZLImageProcessing::ImageProcessingPrivate;
    using V = ZLImageViewEvent::ImageViewEventPrivate;
    T::hardwareOpenSucceeded = nullptr;
    T::hardwareDisconnected = nullptr;
    T::turntableRotationStopped = nullptr;
    C::hardwareOpenSucceeded = nullptr;
    C::hardwareDisconnected = nullptr;
    C::availableCamerasDidSearched = nullptr;
    C::previewInfoIsChanged = nullptr;
    C::previewPixelsAcquired = nullptr;
    C::captureFinished = nullptr;
    C::capturedImageSaved = nullptr;
    A::addActionTool = nullptr;
    A::itemsCountProcessed = nullptr;
    A::selectedFileNames = nullptr;
    P::addFilterSection = nullptr;
    P::sectionParametersChanged = nullptr;
    P::imageRectProcessed = nullptr;
    P::imageRectPixelsData = nullptr;
    V::mapToImage = nullptr;
    V::mapFromImage = nullptr;
    V::renderingInfo = nullptr;
    V::streamedImagePixels = nullptr;
    V::update = nullptr;
    V::keysState = nullptr;
    V::pressedEventPos = ZLPoint();
    V::isHardwareStreaming = false;
}

void tst_Hooks::kindsAndStartingIndices()
{
    Turntable turntable;
    Camera camera;
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
}

void tst_Hooks::indicesArePerObject()
{
    Turntable first;
    Turntable second;
    first.setCurrentTurntableIndex(3);
    QCOMPARE(first.currentTurntableIndex(), size_t(3));
    QCOMPARE(second.currentTurntableIndex(), SIZE_MAX);
    first.setCurrentTurntableIndex(SIZE_MAX);
    QCOMPARE(first.currentTurntableIndex(), SIZE_MAX);

    Camera camera;
    Camera otherCamera;
    camera.setCurrentCameraIndex(0);
    QCOMPARE(camera.currentCameraIndex(), size_t(0));
    QCOMPARE(otherCamera.currentCameraIndex(), SIZE_MAX);

    Tools tools;
    tools.setCurrentToolId(7);
    QCOMPARE(tools.currentToolId(), 7);
    Processing processing;
    processing.setCurrentFilterSectionId(2);
    QCOMPARE(processing.currentFilterSectionId(), 2);
}

void tst_Hooks::turntableForwardersPassTheReporterFirst()
{
    using T = ZLTurntableHardware::TurntableHardwarePrivate;
    Calls opened, disconnected, stopped;
    T::hardwareOpenSucceeded = [&](ZLTurntableHardware *device, size_t index, bool flag) {
        opened.record(device, {qulonglong(index), flag});
    };
    T::hardwareDisconnected = [&](ZLTurntableHardware *device, size_t index) {
        disconnected.record(device, {qulonglong(index)});
    };
    T::turntableRotationStopped = [&](ZLTurntableHardware *device) { stopped.record(device, {}); };

    Turntable turntable;
    turntable.setCurrentTurntableIndex(5);
    turntable.hardwareOpenSucceeded(2, true);
    QCOMPARE(opened.count, 1);
    QCOMPARE(opened.reporter, static_cast<const void *>(&turntable));
    QCOMPARE(opened.arguments, (QVariantList{qulonglong(2), true}));
    QCOMPARE(opened.thread, std::this_thread::get_id());
    QCOMPARE(turntable.currentTurntableIndex(), size_t(5));

    turntable.hardwareDisconnected(SIZE_MAX);
    QCOMPARE(disconnected.count, 1);
    QCOMPARE(disconnected.reporter, static_cast<const void *>(&turntable));
    QCOMPARE(disconnected.arguments, QVariantList{qulonglong(SIZE_MAX)});
    QCOMPARE(turntable.currentTurntableIndex(), size_t(5));

    turntable.turntableRotationStopped();
    QCOMPARE(stopped.count, 1);
    QCOMPARE(stopped.reporter, static_cast<const void *>(&turntable));
    QCOMPARE(opened.count, 1);
    QCOMPARE(disconnected.count, 1);
}

void tst_Hooks::turntableReportFromAWorkerRunsThere()
{
    Calls stopped;
    ZLTurntableHardware::TurntableHardwarePrivate::turntableRotationStopped = [&](ZLTurntableHardware *device) {
        stopped.record(device, {});
    };
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
    using C = ZLCameraHardware::CameraHardwarePrivate;
    Calls opened, disconnected, searched, info, pixels, finished, saved;
    std::list<std::string> seenNames;
    C::hardwareOpenSucceeded = [&](ZLCameraHardware *c, size_t i) { opened.record(c, {qulonglong(i)}); };
    C::hardwareDisconnected = [&](ZLCameraHardware *c, size_t i) { disconnected.record(c, {qulonglong(i)}); };
    C::availableCamerasDidSearched = [&](ZLCameraHardware *c, const std::list<std::string> &names) {
        seenNames = names;
        searched.record(c, {});
    };
    C::previewInfoIsChanged = [&](ZLCameraHardware *c, const ZLImageInfo &layout) {
        info.record(c, {layout.colorModel, layout.bitsPerPixel, layout.width, layout.height});
    };
    C::previewPixelsAcquired = [&](ZLCameraHardware *c, const void *data) {
        pixels.record(c, {quintptr(data)});
    };
    C::captureFinished = [&](ZLCameraHardware *c, QString text, bool success) { finished.record(c, {text, success}); };
    C::capturedImageSaved = [&](ZLCameraHardware *c, QString path) { saved.record(c, {path}); };

    Camera camera;
    const void *self = &camera;
    camera.hardwareOpenSucceeded(1);
    camera.hardwareDisconnected(4);
    camera.availableCamerasDidSearched({"first", "second"});
    ZLImageInfo layout;
    layout.colorModel = 3;
    layout.bitsPerPixel = 24;
    layout.width = 640.0f;
    layout.height = 480.0f;
    camera.previewInfoIsChanged(layout);
    const char frame[4] = {};
    camera.previewPixelsAcquired(frame);
    camera.captureFinished(QStringLiteral("x"), false);
    camera.capturedImageSaved(QStringLiteral("/pictures/0001.jpg"));

    for (const Calls *calls : {&opened, &disconnected, &searched, &info, &pixels, &finished, &saved}) {
        QCOMPARE(calls->count, 1);
        QCOMPARE(calls->reporter, self);
        QCOMPARE(calls->thread, std::this_thread::get_id());
    }
    QCOMPARE(opened.arguments, QVariantList{qulonglong(1)});
    QCOMPARE(disconnected.arguments, QVariantList{qulonglong(4)});
    QCOMPARE(seenNames, (std::list<std::string>{"first", "second"}));
    QCOMPARE(info.arguments, (QVariantList{ushort(3), ushort(24), 640.0f, 480.0f}));
    QCOMPARE(pixels.arguments, QVariantList{quintptr(frame)});
    QCOMPARE(finished.arguments, (QVariantList{QStringLiteral("x"), false}));
    QCOMPARE(saved.arguments, QVariantList{QStringLiteral("/pictures/0001.jpg")});
    QCOMPARE(camera.currentCameraIndex(), SIZE_MAX);
}

void tst_Hooks::cameraDefaults()
{
    Camera camera;
    QCOMPARE(ZLCameraHardware::originalImagesDirectoryName(), QStringLiteral("originalCapturedImages"));
    QCOMPARE(ZLCameraHardware::originalImagesDirectoryName().size(), 22);
    QVERIFY(!camera.startRecording(QStringLiteral("clip")));
    std::map<QString, std::list<QString>> items{{QStringLiteral("DCIM"), {QStringLiteral("a.jpg")}}};
    const auto before = items;
    QVERIFY(!camera.browseDcimItems(&items));
    QCOMPARE(items, before);
    QVERIFY(!camera.downloadDcimItem(QStringLiteral("a.jpg"), QStringLiteral("/tmp")));
}

void tst_Hooks::turntableDefaults()
{
    Turntable turntable;
    QVERIFY(!turntable.stepsSpinningWillStart());
    QCOMPARE(turntable.degreesToSteps(90.0f), short(0));
    QCOMPARE(turntable.stepsToDegrees(100), 0.0f);
}

void tst_Hooks::furtherInterfaceForwarders()
{
    using A = ZLToolsAction::ToolsActionPrivate;
    using P = ZLImageProcessing::ImageProcessingPrivate;
    using V = ZLImageViewEvent::ImageViewEventPrivate;
    Tools tools;
    Processing processing;
    const void *toolsSelf = static_cast<const ZLToolsAction *>(&tools);
    const void *processingSelf = &processing;

    Calls added, processed, selected;
    A::addActionTool = [&](ZLToolsAction *t, const ZLToolsAction::ToolInfo &info) -> unsigned short {
        added.record(t, {QString::fromStdString(info.iconPath), info.title, info.flags});
        return 42;
    };
    A::itemsCountProcessed = [&](ZLToolsAction *t, unsigned int count, bool *cancel) {
        *cancel = true;
        processed.record(t, {count});
    };
    A::selectedFileNames = [&](const ZLToolsAction *t, std::list<QString> *names) {
        names->push_back(QStringLiteral("a.png"));
        selected.record(t, {});
        return true;
    };
    ZLToolsAction::ToolInfo info;
    info.iconPath = "crop.svg";
    info.title = QStringLiteral("Crop");
    info.flags = 3;
    QCOMPARE(tools.addActionTool(info), (unsigned short)42);
    bool cancel = false;
    tools.itemsCountProcessed(12, &cancel);
    QVERIFY(cancel);
    std::list<QString> names;
    QVERIFY(tools.selectedFileNames(&names));
    QCOMPARE(names, std::list<QString>{QStringLiteral("a.png")});
    QCOMPARE(added.arguments, (QVariantList{QStringLiteral("crop.svg"), QStringLiteral("Crop"), 3}));
    QCOMPARE(processed.arguments, QVariantList{12u});
    for (const Calls *calls : {&added, &processed, &selected}) {
        QCOMPARE(calls->count, 1);
        QCOMPARE(calls->reporter, toolsSelf);
    }

    Calls section, parameters, rectDone, rectData;
    P::addFilterSection = [&](ZLImageProcessing *p, const std::string &title) -> unsigned short {
        section.record(p, {QString::fromStdString(title)});
        return 9;
    };
    P::sectionParametersChanged = [&](ZLImageProcessing *p, const std::stringstream &s) {
        parameters.record(p, {QString::fromStdString(s.str())});
    };
    P::imageRectProcessed = [&](ZLImageProcessing *p, const ZLRect &r, const void *data) {
        rectDone.record(p, {r.x(), r.y(), r.width(), r.height(), quintptr(data)});
    };
    P::imageRectPixelsData = [&](ZLImageProcessing *p, const ZLRect &r, ZLImagePixels *out) {
        out->bytesPerLine = r.iwidth() * 4;
        rectData.record(p, {});
        return false;
    };
    QCOMPARE(processing.addFilterSection("Levels"), (unsigned short)9);
    std::stringstream stream("gamma=1.2");
    processing.sectionParametersChanged(stream);
    const int buffer = 0;
    processing.imageRectProcessed(ZLRect(1, 2, 3, 4), &buffer);
    ZLImagePixels out;
    QVERIFY(!processing.imageRectPixelsData(ZLRect(0, 0, 5, 5), &out));
    QCOMPARE(out.bytesPerLine, 20);
    QCOMPARE(section.arguments, QVariantList{QStringLiteral("Levels")});
    QCOMPARE(parameters.arguments, QVariantList{QStringLiteral("gamma=1.2")});
    QCOMPARE(rectDone.arguments, (QVariantList{1.0f, 2.0f, 3.0f, 4.0f, quintptr(&buffer)}));
    for (const Calls *calls : {&section, &parameters, &rectDone, &rectData}) {
        QCOMPARE(calls->count, 1);
        QCOMPARE(calls->reporter, processingSelf);
    }

    int updates = 0;
    ZLRect updated;
    V::mapToImage = [](ZLPoint *p) { p->x *= 2; return true; };
    V::mapFromImage = [](ZLPoint *p) { p->y /= 2; return false; };
    V::renderingInfo = [](ZLImageViewEvent::RenderingInfo *r) { r->zoomPercent = 150; return true; };
    V::streamedImagePixels = [&](ZLImageInfo *i, void **p) { i->colorModel = 2; *p = &updates; return true; };
    V::update = [&](const ZLRect &r) { ++updates; updated = r; };
    V::keysState = [] { return 0x21; };
    ZLPoint point(3, 8);
    QVERIFY(ZLImageViewEvent::mapToImage(&point));
    QVERIFY(!ZLImageViewEvent::mapFromImage(&point));
    QCOMPARE(point, ZLPoint(6, 4));
    ZLImageViewEvent::RenderingInfo rendering;
    QVERIFY(ZLImageViewEvent::renderingInfo(&rendering));
    QCOMPARE(rendering.zoomPercent, 150);
    ZLImageInfo streamed;
    void *streamedPixels = nullptr;
    QVERIFY(ZLImageViewEvent::streamedImagePixels(&streamed, &streamedPixels));
    QCOMPARE(streamed.colorModel, (unsigned short)2);
    QCOMPARE(streamedPixels, static_cast<void *>(&updates));
    ZLImageViewEvent::update(ZLRect(1, 1, 10, 10));
    QCOMPARE(updates, 1);
    QCOMPARE(updated, ZLRect(1, 1, 10, 10));
    QCOMPARE(ZLImageViewEvent::keysState(), 0x21);
}

void tst_Hooks::viewEventValuesUntilSet()
{
    QVERIFY(!ZLImageViewEvent::isHardwareStreaming());
    QCOMPARE(ZLImageViewEvent::pressedEventPos(), ZLPoint(0, 0));
    QCOMPARE(ZLImageViewEvent::pressedEventType(), ZLImageViewEvent::NoPress);
    QCOMPARE(ZLImageViewEvent::mainWindowUIFrameView(), nullptr);
    ZLImageViewEvent::ImageViewEventPrivate::isHardwareStreaming = true;
    ZLImageViewEvent::ImageViewEventPrivate::pressedEventPos = ZLPoint(4.5f, -2);
    QVERIFY(ZLImageViewEvent::isHardwareStreaming());
    QCOMPARE(ZLImageViewEvent::pressedEventPos(), ZLPoint(4.5f, -2));
}

void tst_Hooks::emptyHookThrows_data()
{
    QTest::addColumn<int>("which");
    const char *names[] = {"turntable open", "turntable disconnected", "turntable stopped",
                           "camera open", "camera capture finished", "camera image saved",
                           "tools add", "processing add section", "view update", "view keys"};
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
        [&] { camera.hardwareOpenSucceeded(0); },
        [&] { camera.captureFinished(QString(), true); },
        [&] { camera.capturedImageSaved(QString()); },
        [&] { tools.addActionTool({}); },
        [&] { processing.addFilterSection("x"); },
        [] { ZLImageViewEvent::update(ZLRect()); },
        [] { ZLImageViewEvent::keysState(); },
    };
    QVERIFY_EXCEPTION_THROWN(calls.at(size_t(which))(), std::bad_function_call);
}

QTEST_MAIN(tst_Hooks)
#include "tst_hooks.moc"
