#include "devtoolsbrowser.h"
#include "exporthost.h"
#include "generatedspin.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

namespace {
const int frameCount = 12;
}

// The exported web viewer in Debian's chromium, driven over DevTools as a user would drive it.
class tst_WebViewer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void turnsInABrowser_data();
    void turnsInABrowser();

private:
    void drag(double fromX, double fromY, double dx, double dy);
    QJsonObject elementRect();

    std::unique_ptr<DevToolsBrowser> browser;
    QTemporaryDir dir;
};

void tst_WebViewer::initTestCase()
{
    browser.reset(new DevToolsBrowser);
    QString why;
    if (!browser->start(QSize(800, 700), &why))
        QSKIP(qPrintable(QStringLiteral("no browser for the web viewer test: ") + why));
    // Every frame the page announces, from the first script on.
    browser->call(QStringLiteral("Page.addScriptToEvaluateOnNewDocument"),
                  {{QStringLiteral("source"), QStringLiteral(
                            "window.__frames = [];"
                            "document.addEventListener('spin360:frame', function (e) {"
                            "  window.__frames.push([e.detail.row, e.detail.frame]); });")}});
}

QJsonObject tst_WebViewer::elementRect()
{
    return QJsonDocument::fromJson(browser->evaluate(QStringLiteral(
            "JSON.stringify(document.querySelector('.spin360').getBoundingClientRect())")).toString().toUtf8()).object();
}

void tst_WebViewer::drag(double fromX, double fromY, double dx, double dy)
{
    const auto mouse = [&](const char *type, double x, double y, int buttons) {
        browser->call(QStringLiteral("Input.dispatchMouseEvent"),
                      {{"type", QLatin1String(type)}, {"x", x}, {"y", y}, {"button", "left"},
                       {"buttons", buttons}, {"clickCount", 1}});
    };
    mouse("mousePressed", fromX, fromY, 1);
    for (int step = 1; step <= 5; ++step)
        mouse("mouseMoved", fromX + dx * step / 5, fromY + dy * step / 5, 1);
    mouse("mouseReleased", fromX + dx, fromY + dy, 0);
}

void tst_WebViewer::turnsInABrowser_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<double>("dragFrames");
    QTest::addColumn<int>("expectedFrame");
    QTest::newRow("one row") << 1 << false << 3.4 << 3;
    QTest::newRow("reversed") << 1 << true << 3.4 << frameCount - 3;
    QTest::newRow("drag to the left") << 1 << false << -2.2 << frameCount - 2;
    QTest::newRow("two rows") << 2 << false << 1.0 << 1;
}

void tst_WebViewer::turnsInABrowser()
{
    QFETCH(int, rows);
    QFETCH(bool, reverse);
    QFETCH(double, dragFrames);
    QFETCH(int, expectedFrame);

    GeneratedSpin generated = GeneratedSpin::evenlySpaced(frameCount);
    generated.size = QSize(320, 240);
    QStringList folders;
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    for (int r = 0; r < rows; ++r)
        folders << generated.write(dir.path(), tag + QString::number(r));
    const QString target = dir.filePath(tag);
    QVERIFY(QDir().mkpath(target));
    ExportHost host;
    QVariantMap result;
    QVERIFY2(host.run(ZLSpinExportTools::WebViewer, {{"spinFolders", folders}, {"target", target}, {"width", 200},
                                                     {"frameTime", 20}, {"reverse", reverse}}, &result),
             qPrintable(host.tools.lastError()));
    const QString folder = result.value(QStringLiteral("path")).toString();

    browser->clearEvents();
    const QUrl page = QUrl::fromLocalFile(QDir(folder).filePath(QStringLiteral("index.html")));
    QString error;
    browser->call(QStringLiteral("Page.navigate"), {{"url", page.toString()}}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString total = QString::number(rows * frameCount);
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360') && document.querySelector('.spin360').dataset.loaded == ") + total, 20000));
    // Autoplay turns once round and stops where it began.
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360').dataset.playing === 'false'"), 20000));
    QCOMPARE(browser->evaluate(QStringLiteral("performance.getEntriesByName('spin360-first-frame').length")).toInt(), 1);
    QCOMPARE(browser->evaluate(QStringLiteral("window.__frames.length")).toInt(), frameCount);
    QCOMPARE(browser->evaluate(QStringLiteral("document.querySelector('.spin360').dataset.frame")).toString(), QStringLiteral("0"));

    const QJsonObject rect = elementRect();
    const double width = rect.value("width").toDouble(), height = rect.value("height").toDouble();
    const double x = rect.value("x").toDouble() + width / 2, y = rect.value("y").toDouble() + height * 2 / 3;
    QVERIFY(width > 100 && height > 50);
    QImage shot = browser->screenshot();
    QVERIFY(!shot.isNull());
    QCOMPARE(positionOfColour(shot.pixelColor(int(x), int(y)), frameCount), 0);

    // One drag across the width is one turn; a drag down the height passes every row.
    drag(x, y - (rows > 1 ? height / 4 : 0), dragFrames * width / frameCount, rows > 1 ? height / 2 : 0);
    const QString shown = QString::number(expectedFrame);
    QVERIFY2(browser->waitFor(QStringLiteral("document.querySelector('.spin360').dataset.frame === '%1'").arg(shown), 5000),
             qPrintable(browser->evaluate(QStringLiteral("document.querySelector('.spin360').dataset.frame")).toString()));
    QCOMPARE(browser->evaluate(QStringLiteral("document.querySelector('.spin360').dataset.row")).toString(),
             QString::number(rows - 1));
    QCOMPARE(browser->evaluate(QStringLiteral("window.__frames[window.__frames.length - 1].join()")).toString(),
             QStringLiteral("%1,%2").arg(rows - 1).arg(expectedFrame));
    QTRY_COMPARE_WITH_TIMEOUT(positionOfColour(browser->screenshot().pixelColor(int(x), int(y)), frameCount),
                              expectedFrame, 5000);

    // The arrow key turns one frame further, against the drag's sense when reversed.
    browser->evaluate(QStringLiteral("document.querySelector('.spin360').focus()"));
    browser->call(QStringLiteral("Input.dispatchKeyEvent"),
                  {{"type", "keyDown"}, {"key", "ArrowRight"}, {"code", "ArrowRight"}, {"windowsVirtualKeyCode", 39}});
    const int afterKey = (expectedFrame + (reverse ? -1 : 1) + frameCount) % frameCount;
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360').dataset.frame === '%1'").arg(afterKey), 5000));

    // A wheel notch turns one frame on; zoom swaps in the larger frame and back.
    browser->call(QStringLiteral("Input.dispatchMouseEvent"),
                  {{"type", "mouseWheel"}, {"x", x}, {"y", y}, {"deltaX", 0}, {"deltaY", 40}});
    const int afterWheel = (afterKey + (reverse ? -1 : 1) + frameCount) % frameCount;
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360').dataset.frame === '%1'").arg(afterWheel), 5000));
    browser->call(QStringLiteral("Input.dispatchKeyEvent"), {{"type", "keyDown"}, {"key", "+"}, {"text", "+"}});
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360-view').src.indexOf('/zoom/r%1-%2.jpg') > 0"
                                            " && document.querySelector('.spin360-view').naturalWidth === 320")
                                     .arg(rows - 1).arg(afterWheel, 3, 10, QLatin1Char('0')), 5000));
    browser->call(QStringLiteral("Input.dispatchKeyEvent"),
                  {{"type", "keyDown"}, {"key", "Escape"}, {"code", "Escape"}, {"windowsVirtualKeyCode", 27}});
    QVERIFY(browser->waitFor(QStringLiteral("document.querySelector('.spin360-view').src.indexOf('/frames/') > 0"), 5000));

    // Nothing was asked of anything outside the export's folder, and the page reported no error.
    const QString inside = QUrl::fromLocalFile(folder).toString() + QLatin1Char('/');
    int requests = 0;
    for (const DevToolsBrowser::Event &event : browser->events()) {
        if (event.method != QLatin1String("Network.requestWillBeSent"))
            continue;
        const QString url = event.params.value("request").toObject().value("url").toString();
        QVERIFY2(url.startsWith(inside), qPrintable(url));
        ++requests;
    }
    QVERIFY(requests > rows * frameCount);
    QCOMPARE(browser->pageErrors(), QStringList());
}

QTEST_MAIN(tst_WebViewer)
#include "tst_webviewer.moc"
