#include "chostappspinwright.h"
#include "fakecamera.h"
#include "faketurntable.h"
#include "fixturelog.h"
#include "hosttestenvironment.h"
#include "testfiles.h"

#include "zlpluginslist.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Receives what the stand-in dialogs show; a question comes with itself as the parent.
class DialogRecorder : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        QObject *dialog;
    };
    QList<Message> messages;

    Q_INVOKABLE void record(const QString &title, const QString &text, QObject *parent)
    {
        messages.append({title, text, parent});
    }

    int count(const QString &title) const
    {
        return int(std::count_if(messages.begin(), messages.end(),
                                 [&](const Message &m) { return m.title == title; }));
    }

    const Message *last(const QString &title) const
    {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->title == title)
                return &*it;
        }
        return nullptr;
    }
};

namespace {

const char stopQuestion[] = "Stop the spin?";
const char saveQuestion[] = "Settings not saved";

} // namespace

class tst_Closing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedSaveIsAskedAbout_data();
    void failedSaveIsAskedAbout();
    void spinGoesOnWhenTheUserSaysSo();
    void returnToStartAfterStop();
    void startRefusedForPositionsTheTableCannotTellApart();
    void panelFileProblemIsShown();

private:
    void createController(const std::function<void(FakeTurntable *)> &configure = {});
    void writeSpinSettings(const QStringList &angles);
    QString dataPath(const QString &name) const;
    void sendSignal(const char *signal, int value);
    void answer(const char *title, bool yes);
    bool editorsGone() const;

    QTemporaryDir home;
    std::unique_ptr<ZLPluginsList> pluginsList;
    DialogRecorder recorder;
    FixtureLog log;
    std::unique_ptr<QQuickView> view;
    FakeTurntable *turntable = nullptr;
};

void tst_Closing::initTestCase()
{
    QVERIFY(home.isValid());
    setUpHostTestEnvironment(home.path());
    pluginsList.reset(new ZLPluginsList);
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("MessageRecorder"), &recorder);
}

void tst_Closing::init()
{
    QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).removeRecursively();
    QVERIFY(QDir().mkpath(ZLAbstractPlugin::applicationLocalDataDirectory()));
    log.clear();
    recorder.messages.clear();
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), QStringList());
}

void tst_Closing::cleanup()
{
    view.reset();
    turntable = nullptr;
}

void tst_Closing::createController(const std::function<void(FakeTurntable *)> &configure)
{
    view.reset(new QQuickView(globalQmlEngine(), nullptr));
    view->setSource(QUrl(QStringLiteral("qrc:/test/TestPage.qml")));
    QCOMPARE(view->status(), QQuickView::Ready);
    view->create();
    turntable = new FakeTurntable(&log);
    if (configure)
        configure(turntable);
    new CHostAppSpinwright(turntable, new FakeCamera(&log), view.get());
}

QString tst_Closing::dataPath(const QString &name) const
{
    return QDir(ZLAbstractPlugin::applicationLocalDataDirectory()).filePath(name);
}

void tst_Closing::writeSpinSettings(const QStringList &angles)
{
    const QJsonObject settings{{QStringLiteral("shootingAnglesList"), QJsonArray::fromStringList(angles)},
                               {QStringLiteral("shootingMode"), 1},
                               {QStringLiteral("preCaptureDelay"), 0},
                               {QStringLiteral("postCaptureDelay"), 0},
                               {QStringLiteral("clockwise"), true}};
    QVERIFY(TestFiles::write(dataPath(QStringLiteral("TurntableSpins.json")), QJsonDocument(settings).toJson()));
}

void tst_Closing::sendSignal(const char *signal, int value)
{
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), signal, Q_ARG(int, value)));
}

void tst_Closing::answer(const char *title, bool yes)
{
    const DialogRecorder::Message *question = recorder.last(QLatin1String(title));
    QVERIFY2(question, title);
    QVERIFY(QMetaObject::invokeMethod(question->dialog, "answered", Q_ARG(bool, yes)));
}

bool tst_Closing::editorsGone() const
{
    return !view->rootObject()->property("spinsUiItem").value<QQuickItem *>()
           && !view->rootObject()->property("pluginUiItem").value<QQuickItem *>();
}

void tst_Closing::failedSaveIsAskedAbout_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("retry");
    for (const char *file : {"Spinwright.json", "TurntableSpins.json", "MarvolixTurntable-v3.json"}) {
        QTest::addRow("%s, tried again", file) << file << true;
        QTest::addRow("%s, given up", file) << file << false;
    }
}

void tst_Closing::failedSaveIsAskedAbout()
{
    // Before, each failure was dropped without a word (or printed on the console) at closing.
    QFETCH(QString, failing);
    QFETCH(bool, retry);
    const bool panel = failing == QLatin1String("MarvolixTurntable-v3.json");
    const QString path = dataPath(failing);
    createController([&](FakeTurntable *table) {
        if (panel)
            table->uiSaveError = QStringLiteral("Cannot save \"%1\": Permission denied").arg(path);
    });
    // After the start, which would have moved an unreadable file aside.
    if (!panel)
        QVERIFY(QDir().mkpath(path));

    QVERIFY(!view->close());
    QCOMPARE(recorder.count(QLatin1String(saveQuestion)), 1);
    const QString text = recorder.last(QLatin1String(saveQuestion))->text;
    QVERIFY2(text.contains(QDir::toNativeSeparators(path)), qPrintable(text));
    QVERIFY(!editorsGone());

    if (retry) {
        if (panel)
            turntable->uiSaveError.clear();
        else
            QVERIFY(QDir(path).removeRecursively());
    }
    answer(saveQuestion, retry);
    QTRY_VERIFY(editorsGone());
    QCOMPARE(recorder.count(QLatin1String(saveQuestion)), 1);
    if (panel)
        QCOMPARE(log.count(QStringLiteral("uiWillClose")), retry ? 2 : 1);
    else
        QCOMPARE(QFileInfo(path).isFile(), retry);
    // The files that could be written were written once and are not lost either way.
    for (const char *other : {"Spinwright.json", "TurntableSpins.json"}) {
        if (failing != QLatin1String(other))
            QVERIFY(QFileInfo(dataPath(QLatin1String(other))).isFile());
    }
}

void tst_Closing::spinGoesOnWhenTheUserSaysSo()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00")});
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});

    // The title bar's button and Exit alike ask; "go on" leaves the spin as it was.
    QVERIFY(!view->close());
    answer(stopQuestion, false);
    QVERIFY(QMetaObject::invokeMethod(view->rootObject(), "applicationWillClose"));
    QCOMPARE(recorder.count(QLatin1String(stopQuestion)), 2);
    answer(stopQuestion, false);
    QVERIFY(!log.snapshot().contains(QStringLiteral("stopRotation")));
    QVERIFY(!editorsGone());

    turntable->releaseRotation();
    QTRY_COMPARE(turntable->rotationTargets(), (QList<float>{90, 180}));
    turntable->setHoldRotations(false);
    QTRY_VERIFY(recorder.count(QStringLiteral("Process complete.")) == 1);
    // Over: closing needs no question any more.
    QVERIFY(view->close());
    QCOMPARE(recorder.count(QLatin1String(stopQuestion)), 2);
    QVERIFY(editorsGone());
}

void tst_Closing::returnToStartAfterStop()
{
    writeSpinSettings({QStringLiteral("0.00"), QStringLiteral("90.00"), QStringLiteral("180.00")});
    createController([](FakeTurntable *table) { table->setHoldRotations(true); });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QTRY_COMPARE(turntable->rotationTargets(), QList<float>{90});
    turntable->releaseRotation();
    QTRY_COMPARE(turntable->rotationTargets(), (QList<float>{90, 180}));

    sendSignal("turntableSpinStateChanged", -1);
    QTRY_COMPARE(view->rootObject()->property("returnOffers").toList(), QVariantList{true});
    turntable->setHoldRotations(false);
    sendSignal("turntableSpinStateChanged", 2);
    // The spin's positions count from its start, so the closing turn's target takes it there.
    QCOMPARE(turntable->rotationTargets(), (QList<float>{90, 180, 360}));
    // Once only: the table is back.
    sendSignal("turntableSpinStateChanged", 2);
    QCOMPARE(turntable->rotationTargets().size(), 3);
}

void tst_Closing::startRefusedForPositionsTheTableCannotTellApart()
{
    // A list of 360 images on a table of 72 counts used to run, several pictures per count.
    QStringList angles;
    for (int i = 0; i < 360; ++i)
        angles << QString::number(i, 'f', 2);
    writeSpinSettings(angles);
    createController([](FakeTurntable *table) { table->counts = 72; });
    sendSignal("turntableDeviceChanged", 0);
    sendSignal("turntableSpinStateChanged", 1);
    QCOMPARE(recorder.count(QStringLiteral("Wrong settings.")), 1);
    QVERIFY2(recorder.last(QStringLiteral("Wrong settings."))->text.contains(QLatin1String("72 counts")),
             qPrintable(recorder.last(QStringLiteral("Wrong settings."))->text));
    QVERIFY(turntable->rotationTargets().isEmpty());
    QVERIFY(log.snapshot().contains(QStringLiteral("stopRotation")));
    QTRY_COMPARE(view->rootObject()->property("resets").toList().last().toBool(), true);
}

void tst_Closing::panelFileProblemIsShown()
{
    createController([](FakeTurntable *table) { table->uiFileProblem = QStringLiteral("kept as \"x.bad\""); });
    QCOMPARE(recorder.count(QStringLiteral("Turntable settings")), 1);
    QCOMPARE(recorder.last(QStringLiteral("Turntable settings"))->text, QStringLiteral("kept as \"x.bad\""));
}

QTEST_MAIN(tst_Closing)
#include "tst_closing.moc"
