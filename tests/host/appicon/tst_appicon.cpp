#include "platform.h"
#include "spinwrightresources.h"

#include <QFile>
#include <QIcon>
#include <QWindow>
#include <QtTest>

// Its own process: the first image read anywhere else would load the image-format plug-ins.
class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initSpinwrightResources(); }
    void everySizeWithoutTheImageFormatPlugins();
};

void TestAppIcon::everySizeWithoutTheImageFormatPlugins()
{
    QWindow window;
    SpinwrightPlatform::setApplicationIcon(&window);

    const QList<QSize> sizes = window.icon().availableSizes();
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        QCOMPARE(window.icon().pixmap(size).size(), QSize(size, size));
    }
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY2(!maps.readAll().contains("/imageformats/"), "an image-format plug-in was loaded");
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
