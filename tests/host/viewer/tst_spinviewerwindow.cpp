#include "generatedspin.h"
#include "quickitems.h"
#include "spinframecache.h"
#include "spintoolshost.h"
#include "spinviewer.h"
#include "spinviewerlauncher.h"
#include "spinwrightresources.h"
#include "zlspinexporttools.h"

#include <QDir>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The viewer window as the launcher opens it, driven by keys and clicks, offscreen.
class tst_SpinViewerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensAndTurnsByKeys();
    void sameSpinRaisesItsWindow();
    void notASpinSaysWhy();
    void chosenFolderIsAskedFor();
    void exportsFromTheDialog();

private:
    QQuickWindow *open(const QString &folder);
    QQuickItem *item(const QString &name) const;
    // The colour under the frame's centre as the window paints it.
    QColor shownColour();
    SpinViewer *viewer() const { return window->property("viewer").value<SpinViewer *>(); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<ZLSpinExportTools> exports;
    std::unique_ptr<SpinToolsHost> tools;
    std::unique_ptr<SpinViewerLauncher> launcher;
    QQuickWindow *window = nullptr;
};

void tst_SpinViewerWindow::initTestCase()
{
    initSpinwrightResources();
}

void tst_SpinViewerWindow::init()
{
    dir.reset(new QTemporaryDir);
    engine.reset(new QQmlEngine);
    exports.reset(new ZLSpinExportTools);
    tools.reset(new SpinToolsHost({exports.get()}));
    launcher.reset(new SpinViewerLauncher(engine.get(), tools.get()));
    window = nullptr;
}

void tst_SpinViewerWindow::cleanup()
{
    launcher.reset();
    tools.reset();
    exports.reset();
    engine.reset();
}

QQuickWindow *tst_SpinViewerWindow::open(const QString &folder)
{
    window = qobject_cast<QQuickWindow *>(launcher->openSpin(folder));
    return window;
}

QQuickItem *tst_SpinViewerWindow::item(const QString &name) const
{
    return QuickItems::find(window->contentItem(), name);
}

QColor tst_SpinViewerWindow::shownColour()
{
    QQuickItem *view = item(QStringLiteral("spinFrameView"));
    if (!view)
        return QColor();
    const QSharedPointer<QQuickItemGrabResult> grab = view->grabToImage();
    QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
    if (!ready.wait(5000))
        return QColor();
    const QImage image = grab->image();
    return image.pixelColor(image.width() / 2, image.height() * 2 / 3);
}

void tst_SpinViewerWindow::opensAndTurnsByKeys()
{
    GeneratedSpin generated = GeneratedSpin::evenlySpaced(8);
    generated.size = QSize(320, 240);
    generated.withoutPicture = {5};
    QVERIFY(open(generated.write(dir->path(), QStringLiteral("spin"))));
    QVERIFY(QTest::qWaitForWindowActive(window));
    QQuickItem *caption = item(QStringLiteral("captionLabel"));
    QVERIFY(caption);
    QCOMPARE(caption->property("text").toString(), QStringLiteral("Shot 1 of 8 \u2013 0.0\u00b0"));
    QTRY_VERIFY(!viewer()->isLoading());
    QCOMPARE(positionOfColour(shownColour(), 8), 0);

    QTest::keyClick(window, Qt::Key_Right);
    QCOMPARE(caption->property("text").toString(), QStringLiteral("Shot 2 of 8 \u2013 45.0\u00b0"));
    QTRY_VERIFY(!viewer()->isLoading());
    QCOMPARE(positionOfColour(shownColour(), 8), 1);
    QTest::keyClick(window, Qt::Key_Left);
    QTest::keyClick(window, Qt::Key_Left);
    QCOMPARE(caption->property("text").toString(), QStringLiteral("Shot 8 of 8 \u2013 315.0\u00b0"));
    QCOMPARE(item(QStringLiteral("frameSlider"))->property("value").toInt(), 7);
    QTRY_COMPARE(positionOfColour(shownColour(), 8), 7);

    // The shot without a picture is a marked gap, not the frame before it.
    viewer()->setCurrentFrame(4);
    QVERIFY2(viewer()->gapText().contains(QStringLiteral("No picture")), qPrintable(viewer()->gapText()));
    QTRY_VERIFY(shownColour().hsvSaturation() < 60);
    viewer()->setCurrentFrame(7);

    // Space plays until pressed again.
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_VERIFY(viewer()->currentFrame() != 7);
    QTest::keyClick(window, Qt::Key_Space);
    QVERIFY(!item(QStringLiteral("playButton"))->property("checked").toBool());
    QTest::keyClick(window, Qt::Key_Home);
    QCOMPARE(viewer()->currentFrame(), 0);

    // Zoom in reads the shown frame at full size.
    QSignalSpy zoomed(viewer(), &SpinViewer::zoomChanged);
    QTest::keyClick(window, Qt::Key_Plus);
    QCOMPARE(item(QStringLiteral("spinFrameView"))->property("zoom").toReal(), 2.0);
    QTRY_COMPARE(viewer()->currentZoomImage().size(), QSize(320, 240));
    QCOMPARE(zoomed.count(), 1);
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(item(QStringLiteral("spinFrameView"))->property("zoom").toReal(), 1.0);
}

void tst_SpinViewerWindow::sameSpinRaisesItsWindow()
{
    const QString folder = GeneratedSpin::evenlySpaced(4).write(dir->path(), QStringLiteral("spin"));
    QSignalSpy opened(launcher.get(), &SpinViewerLauncher::viewerOpened);
    QVERIFY(open(folder));
    QCOMPARE(launcher->openSpin(folder + QStringLiteral("/")), window);
    QCOMPARE(launcher->openSpin(QUrl::fromLocalFile(folder).toString()), window);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(launcher->windows().size(), 1);

    QPointer<SpinViewer> shown = viewer();
    window->close();
    QTRY_VERIFY(shown.isNull());
    QVERIFY(launcher->windows().isEmpty());
}

void tst_SpinViewerWindow::notASpinSaysWhy()
{
    QVERIFY(open(dir->path()));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(!viewer()->isValid());
    QVERIFY2(viewer()->error().contains(QStringLiteral("is not a spin")), qPrintable(viewer()->error()));
    QCOMPARE(window->title(), QStringLiteral("Spin viewer"));
    QVERIFY(!item(QStringLiteral("exportButton"))->isEnabled());
    QVERIFY(!item(QStringLiteral("playButton"))->isEnabled());
    QTest::keyClick(window, Qt::Key_Right);
    QCOMPARE(viewer()->currentFrame(), 0);
}

// The main page's "Open spin…": a window that asks for the folder at once.
void tst_SpinViewerWindow::chosenFolderIsAskedFor()
{
    window = qobject_cast<QQuickWindow *>(launcher->chooseSpin());
    QVERIFY(window);
    QVERIFY(!viewer()->isValid());
    QVERIFY(viewer()->error().isEmpty());
    const auto dialogShown = [] {
        for (QWindow *top : QGuiApplication::topLevelWindows()) {
            if (top->isVisible() && top->title() == QStringLiteral("Open a spin folder"))
                return true;
        }
        return false;
    };
    QTRY_VERIFY(dialogShown());
    const QString folder = GeneratedSpin::evenlySpaced(3).write(dir->path(), QStringLiteral("spin"));
    QVERIFY(viewer()->open(QUrl::fromLocalFile(folder).toString()));
    QCOMPARE(viewer()->frameCount(), 3);
}

void tst_SpinViewerWindow::exportsFromTheDialog()
{
    const QString folder = GeneratedSpin::evenlySpaced(6).write(dir->path(), QStringLiteral("spin"));
    const QString target = dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(target));
    QVERIFY(open(folder));
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QQuickItem *exportButton = item(QStringLiteral("exportButton"));
    QTRY_VERIFY(exportButton->isEnabled());
    QMetaObject::invokeMethod(exportButton, "clicked");
    QQuickItem *toolList = nullptr;
    QTRY_VERIFY((toolList = item(QStringLiteral("exportToolList"))));
    QCOMPARE(toolList->property("count").toInt(), 4);
    toolList->setProperty("currentIndex", ZLSpinExportTools::Gif);
    QTRY_VERIFY(item(QStringLiteral("option_frameTime")));
    item(QStringLiteral("targetField"))->setProperty("text", target);
    QSignalSpy finished(tools.get(), &SpinToolsHost::finished);
    QMetaObject::invokeMethod(item(QStringLiteral("runExportButton")), "clicked");
    QVERIFY(finished.wait(20000));
    QVERIFY2(finished.first().at(0).toBool(), qPrintable(finished.first().at(1).toString()));
    QTRY_VERIFY(item(QStringLiteral("exportResultLabel"))->property("text").toString().contains("Written to"));
    QVERIFY(QFileInfo(QDir(target).filePath(QStringLiteral("spin.gif"))).size() > 0);
}

QTEST_MAIN(tst_SpinViewerWindow)
#include "tst_spinviewerwindow.moc"
