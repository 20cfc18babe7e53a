#include "e2edriver.h"

#include "quickitems.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickView>
#include <QtTest/QTest>

#include <cstdio>

namespace {

// Generous: a spin of a real model (6400 counts a turn) over the emulated USB link takes about
// a minute on a loaded machine, longer under a sanitizer.
constexpr qint64 stepTimeoutMs = 300000;

void printLine(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString text(QObject *object, const char *property = "text")
{
    return object ? object->property(property).toString() : QStringLiteral("<missing>");
}

QString flag(QObject *object, const char *property)
{
    if (!object)
        return QStringLiteral("<missing>");
    return object->property(property).toBool() ? QStringLiteral("true") : QStringLiteral("false");
}

// QtTest types a whole text into widgets only; windows take it key by key.
void typeKeys(QWindow *window, const QString &keys)
{
    for (const QChar key : keys)
        QTest::keyClick(window, key.toLatin1());
}

} // namespace

E2EDriver::E2EDriver(QObject *parent)
    : QObject(parent)
{
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, &E2EDriver::tick);
}

void E2EDriver::start()
{
    const QString scenario = qEnvironmentVariable("SPINWRIGHT_E2E_SCENARIO");
    waitForPage();
    if (scenario == QLatin1String("page")) {
        act(QStringLiteral("report the page"), [this] {
            printLine(QStringLiteral("title: ") + view()->title());
            printLine(QStringLiteral("version: ") + text(item(QStringLiteral("versionLabel"))));
            view()->close();
        });
    } else if (scenario == QLatin1String("spin-360")) {
        setUpCustomTurntable(80);
        chooseFixedCount(QStringLiteral("8"), QStringLiteral("0"), QStringLiteral("0"));
        runToCompletion();
        exitProgram();
    } else if (scenario == QLatin1String("spin-identified")) {
        // The model the board names, as it is offered: nothing to set up but the speed.
        pickOfferedTurntable();
        then(QStringLiteral("turntable page"), [this] { return click(item(QStringLiteral("pluginPageButton"))); });
        setFullSpeed();
        chooseFixedCount(QStringLiteral("8"), QStringLiteral("0"), QStringLiteral("0"));
        runToCompletion();
        exitProgram();
    } else if (scenario == QLatin1String("spin-custom-manual")) {
        setUpCustomTurntable(80);
        then(QStringLiteral("spin page"), [this] { return click(item(QStringLiteral("spinsPageButton"))); });
        then(QStringLiteral("zero delays"), [this] {
            return typeInto(item(QStringLiteral("preDelayField")), QStringLiteral("0"))
                && typeInto(item(QStringLiteral("postDelayField")), QStringLiteral("0"));
        });
        then(QStringLiteral("custom mode"),
             [this] { return choose(item(QStringLiteral("shootingModeCombo")), QStringLiteral("Custom Defined")); });
        then(QStringLiteral("clear the angles"), [this] { return click(item(QStringLiteral("clearAnglesButton"))); });
        addCustomAngles({QStringLiteral("30"), QStringLiteral("90"), QStringLiteral("200")});
        then(QStringLiteral("manual capture"), [this] { return click(item(QStringLiteral("manualButton"))); });
        runToCompletion();
        exitProgram();
    } else if (scenario == QLatin1String("spin-stop")) {
        setUpCustomTurntable(80);
        then(QStringLiteral("lock and ramp"), [this] {
            QQuickItem *ramp = item(QStringLiteral("rampUpDegreesSpinBox"));
            if (!ramp || !click(item(QStringLiteral("lockTableWhenIdleCheckBox"))))
                return false;
            ramp->setProperty("value", 250);
            return true;
        });
        then(QStringLiteral("back to the spin page"), [this] { return click(item(QStringLiteral("spinsPageButton"))); });
        then(QStringLiteral("counterclockwise"), [this] { return click(item(QStringLiteral("counterclockwiseButton"))); });
        chooseFixedCount(QStringLiteral("8"), QStringLiteral("0.30"), QStringLiteral("0.30"));
        then(QStringLiteral("start"), [this] { return click(item(QStringLiteral("startButton"))); });
        then(QStringLiteral("stop after the second picture"), [this] {
            QQuickItem *root = view()->rootObject();
            // The page learns the progress through a queued call: take it in before reading.
            QCoreApplication::sendPostedEvents(root, QEvent::MetaCall);
            const double progress = text(item(QStringLiteral("progressBar")), "value").toDouble();
            if (progress < 0.25)
                return false;
            auto *footer = root->property("footer").value<QQuickItem *>();
            if (!click(item(QStringLiteral("stopButton"), footer)))
                return false;
            printLine(QStringLiteral("progress at stop: %1").arg(progress));
            return true;
        });
        then(QStringLiteral("start offered again"),
             [this] { return item(QStringLiteral("startButton"))->isEnabled(); });
        act(QStringLiteral("report"), [this] { printState(); });
        exitProgram();
    } else if (scenario == QLatin1String("reload")) {
        waitForOpenDevice();
        // The custom turntable's values reach its panel through a queued refresh.
        then(QStringLiteral("panel filled"), [this] {
            return !text(item(QStringLiteral("stepsPerRevolutionField"))).isEmpty();
        });
        act(QStringLiteral("report"), [this] { printState(); });
        exitProgram();
    } else if (scenario == QLatin1String("driver-link")) {
        then(QStringLiteral("follow the driver link"), [this] {
            QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
            return click(item(QStringLiteral("aboutLabel")));
        });
        then(QStringLiteral("a file opened"), [this] { return openedUrl.isValid(); });
        act(QStringLiteral("report"), [this] {
            QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
            printLine(QStringLiteral("opened: ") + openedUrl.toString());
            view()->close();
        });
    } else if (scenario == QLatin1String("spin-tethered")) {
        tetheredSpin();
    } else if (scenario == QLatin1String("screenshots")) {
        takeScreenshots(qEnvironmentVariable("SPINWRIGHT_E2E_SHOTS"));
    } else {
        fail(QStringLiteral("unknown scenario \"%1\"").arg(scenario));
        return;
    }
    stepClock.start();
    poll.start();
}

void E2EDriver::openUrl(const QUrl &url)
{
    openedUrl = url;
}

void E2EDriver::then(const QString &what, Step step)
{
    steps.append({what, std::move(step)});
}

void E2EDriver::act(const QString &what, std::function<void()> action)
{
    then(what, [action] {
        action();
        return true;
    });
}

void E2EDriver::tick()
{
    if (failed || current >= steps.size()) {
        poll.stop();
        return;
    }
    if (steps[current].second()) {
        ++current;
        stepClock.restart();
    } else if (stepClock.elapsed() > stepTimeoutMs) {
        fail(QStringLiteral("timed out at \"%1\"").arg(steps[current].first));
    }
}

void E2EDriver::fail(const QString &why)
{
    failed = true;
    poll.stop();
    printLine(QStringLiteral("failed: ") + why);
    QCoreApplication::exit(3);
}

void E2EDriver::waitForPage()
{
    // The controller has run once the spin editor sits in its container.
    then(QStringLiteral("page loaded"), [this] {
        QQuickItem *container = item(QStringLiteral("turntableSpinsUiContainer"));
        if (!container || !container->property("contentItem").value<QQuickItem *>())
            return false;
        view()->requestActivate();
        return true;
    });
}

void E2EDriver::waitForOpenDevice()
{
    then(QStringLiteral("device open"), [this] { return item(QStringLiteral("startButton"))->isEnabled(); });
}

void E2EDriver::pickOfferedTurntable()
{
    then(QStringLiteral("pick the turntable"), [this] {
        QQuickItem *devices = item(QStringLiteral("turntableDevicesList"));
        return devices && choose(devices, devices->property("currentText").toString());
    });
    waitForOpenDevice();
}

void E2EDriver::setUpCustomTurntable(int countsPerRevolution)
{
    then(QStringLiteral("pick the custom turntable"), [this] {
        return choose(item(QStringLiteral("turntableDevicesList")), QStringLiteral("Marvolix Custom (Expert use)"));
    });
    waitForOpenDevice();
    then(QStringLiteral("turntable page"), [this] { return click(item(QStringLiteral("pluginPageButton"))); });
    then(QStringLiteral("advanced tab"),
         [this] { return click(itemWithText(QStringLiteral("TabButton"), QStringLiteral("Advanced settings"))); });
    then(QStringLiteral("counts per revolution"), [this, countsPerRevolution] {
        return typeInto(item(QStringLiteral("stepsPerRevolutionField")), QString::number(countsPerRevolution));
    });
    // The simulated board's lines are active high.
    then(QStringLiteral("line levels"), [this] {
        return click(item(QStringLiteral("clockwiseActiveHighButton")))
            && click(item(QStringLiteral("motorEnableActiveHighButton")));
    });
    then(QStringLiteral("basic tab"),
         [this] { return click(itemWithText(QStringLiteral("TabButton"), QStringLiteral("Basic settings"))); });
    setFullSpeed();
}

void E2EDriver::setFullSpeed()
{
    then(QStringLiteral("full speed"), [this] {
        QQuickItem *slider = item(QStringLiteral("rotationSpeedSlider"));
        if (!isShown(slider))
            return false;
        slider->setProperty("value", 9);
        QMetaObject::invokeMethod(slider, "moved");
        return true;
    });
}

void E2EDriver::chooseFixedCount(const QString &count, const QString &preDelay, const QString &postDelay)
{
    then(QStringLiteral("spin page"), [this] { return click(item(QStringLiteral("spinsPageButton"))); });
    then(QStringLiteral("360 mode"),
         [this] { return choose(item(QStringLiteral("shootingModeCombo")), QStringLiteral("360 Photography")); });
    then(QStringLiteral("image count"), [this, count] { return choose(item(QStringLiteral("imagesCountCombo")), count); });
    then(QStringLiteral("delays"), [this, preDelay, postDelay] {
        return typeInto(item(QStringLiteral("preDelayField")), preDelay)
            && typeInto(item(QStringLiteral("postDelayField")), postDelay);
    });
}

void E2EDriver::addCustomAngles(const QStringList &angles)
{
    for (const QString &angle : angles) {
        then(QStringLiteral("open the angle field"), [this] { return click(item(QStringLiteral("addAngleButton"))); });
        then(QStringLiteral("type ") + angle, [this, angle] {
            QQuickItem *field = item(QStringLiteral("angleField"));
            if (!isShown(field) || !field->hasActiveFocus())
                return false;
            typeKeys(view(), angle);
            QTest::keyClick(view(), Qt::Key_Return);
            return true;
        });
    }
}

void E2EDriver::runToCompletion()
{
    act(QStringLiteral("angles"), [this] {
        printLine(QStringLiteral("angles: ")
                  + item(QStringLiteral("angleView"))->property("model").toStringList().join(QLatin1Char(' ')));
    });
    then(QStringLiteral("start"), [this] { return click(item(QStringLiteral("startButton"))); });
    then(QStringLiteral("spin ends"), [this] {
        if (pressNextWhenAsked())
            return false;
        QObject *dialog = openDialog();
        if (!dialog)
            return false;
        printLine(QStringLiteral("dialog: %1 | %2").arg(text(dialog, "title"), text(dialog, "errorText")));
        return true;
    });
    act(QStringLiteral("close the dialog"), [this] { QTest::keyClick(view(), Qt::Key_Escape); });
    then(QStringLiteral("dialog closed"), [this] { return !openDialog(); });
    act(QStringLiteral("report"), [this] { printState(); });
}

bool E2EDriver::pressNextWhenAsked()
{
    // Manual capture waits at every angle for the user's Next; the space bar gives it.
    if (!isShown(item(QStringLiteral("nextButton"))))
        return false;
    QTest::keyClick(view(), Qt::Key_Space);
    return true;
}

void E2EDriver::exitProgram()
{
    then(QStringLiteral("exit"), [this] { return click(item(QStringLiteral("exitButton"))); });
}

void E2EDriver::printState()
{
    const auto line = [](const char *key, const QString &value) {
        printLine(QStringLiteral("state %1: %2").arg(QLatin1String(key), value));
    };
    line("device", text(item(QStringLiteral("turntableDevicesList")), "currentText"));
    line("mode", text(item(QStringLiteral("shootingModeCombo")), "currentText"));
    line("count", text(item(QStringLiteral("imagesCountCombo")), "editText"));
    line("angles", item(QStringLiteral("angleView"))->property("model").toStringList().join(QLatin1Char(' ')));
    line("clockwise", flag(item(QStringLiteral("clockwiseButton")), "checked"));
    line("manual", flag(item(QStringLiteral("manualButton")), "checked"));
    line("preDelay", text(item(QStringLiteral("preDelayField"))));
    line("postDelay", text(item(QStringLiteral("postDelayField"))));
    line("speed", text(item(QStringLiteral("rotationSpeedSlider")), "value"));
    line("ramp", text(item(QStringLiteral("rampUpDegreesSpinBox")), "value"));
    line("lock", flag(item(QStringLiteral("lockTableWhenIdleCheckBox")), "checked"));
    line("counts", text(item(QStringLiteral("stepsPerRevolutionField"))));
    line("clockwiseActiveHigh", flag(item(QStringLiteral("clockwiseActiveHighButton")), "checked"));
    line("enableActiveHigh", flag(item(QStringLiteral("motorEnableActiveHighButton")), "checked"));
    line("start", flag(item(QStringLiteral("startButton")), "enabled"));
}

void E2EDriver::takeScreenshots(const QString &folder)
{
    then(QStringLiteral("folder"), [this, folder] {
        if (folder.isEmpty() || !QDir().mkpath(folder)) {
            fail(QStringLiteral("no folder for the screenshots"));
            return false;
        }
        return true;
    });
    pickOfferedTurntable();
    then(QStringLiteral("window set up"), [this] { return view()->resizeMode() == QQuickView::SizeRootObjectToView; });
    then(QStringLiteral("image count"), [this] { return choose(item(QStringLiteral("imagesCountCombo")), QStringLiteral("24")); });
    then(QStringLiteral("main window"), [this, folder] { return saveImage(folder + QStringLiteral("/main-window.png"), nullptr); });
    then(QStringLiteral("custom mode"),
         [this] { return choose(item(QStringLiteral("shootingModeCombo")), QStringLiteral("Custom Defined")); });
    then(QStringLiteral("clear the angles"), [this] { return click(item(QStringLiteral("clearAnglesButton"))); });
    addCustomAngles({QStringLiteral("0"), QStringLiteral("15"), QStringLiteral("40"), QStringLiteral("90"),
                     QStringLiteral("180"), QStringLiteral("270")});
    then(QStringLiteral("spin editor"), [this, folder] {
        return saveImage(folder + QStringLiteral("/spin-editor.png"), item(QStringLiteral("turntableSpinsUiContainer")));
    });
    then(QStringLiteral("turntable page"), [this] { return click(item(QStringLiteral("pluginPageButton"))); });
    then(QStringLiteral("plug-in panel"),
         [this, folder] { return saveImage(folder + QStringLiteral("/plugin-panel.png"), nullptr); });
    then(QStringLiteral("advanced tab"),
         [this] { return click(itemWithText(QStringLiteral("TabButton"), QStringLiteral("Advanced settings"))); });
    then(QStringLiteral("advanced settings"),
         [this, folder] { return saveImage(folder + QStringLiteral("/plugin-advanced.png"), nullptr); });
    then(QStringLiteral("spin page"), [this] { return click(item(QStringLiteral("spinsPageButton"))); });
    then(QStringLiteral("zero delays"), [this] {
        return typeInto(item(QStringLiteral("preDelayField")), QStringLiteral("0"))
            && typeInto(item(QStringLiteral("postDelayField")), QStringLiteral("0"));
    });
    then(QStringLiteral("refused delay"), [this] {
        const bool typed = typeInto(item(QStringLiteral("postDelayField")), QStringLiteral("1e9"));
        QTest::keyClick(view(), Qt::Key_Return);
        return typed;
    });
    then(QStringLiteral("refusal shown"), [this] {
        // A tool tip's item sits in the overlay, with the tool tip as its parent object.
        for (QQuickItem *each : sceneItems()) {
            if (each->parent() && each->parent()->objectName() == QLatin1String("messageToolTip") && each->isVisible())
                return true;
        }
        return false;
    });
    then(QStringLiteral("refused value"),
         [this, folder] { return saveImage(folder + QStringLiteral("/refused-value.png"), nullptr); });
    then(QStringLiteral("manual capture"), [this] { return click(item(QStringLiteral("manualButton"))); });
    then(QStringLiteral("start"), [this] { return click(item(QStringLiteral("startButton"))); });
    then(QStringLiteral("spin ends"), [this] { return !pressNextWhenAsked() && openDialog() != nullptr; });
    then(QStringLiteral("message"),
         [this, folder] { return saveImage(folder + QStringLiteral("/message-dialog.png"), nullptr); });
    then(QStringLiteral("OK"), [this] { return click(item(QStringLiteral("okButton"))); });
    then(QStringLiteral("message closed"), [this] { return !openDialog(); });
    // A long wait before the first picture: closing finds the spin under way.
    then(QStringLiteral("auto capture"), [this] { return click(item(QStringLiteral("autoButton"))); });
    then(QStringLiteral("long delay"), [this] { return typeInto(item(QStringLiteral("preDelayField")), QStringLiteral("60")); });
    then(QStringLiteral("second start"), [this] { return click(item(QStringLiteral("startButton"))); });
    act(QStringLiteral("close"), [this] { view()->close(); });
    then(QStringLiteral("closing question"), [this] { return isShown(item(QStringLiteral("yesButton"))); });
    then(QStringLiteral("question"),
         [this, folder] { return saveImage(folder + QStringLiteral("/closing-question.png"), nullptr); });
    then(QStringLiteral("stop and quit"), [this] { return click(item(QStringLiteral("yesButton"))); });
}

QQuickView *E2EDriver::view() const
{
    return QuickItems::firstView();
}

QList<QQuickItem *> E2EDriver::sceneItems() const
{
    QQuickView *quickView = view();
    return quickView ? QuickItems::all(quickView->contentItem()) : QList<QQuickItem *>();
}

QQuickItem *E2EDriver::item(const QString &objectName, QQuickItem *scope) const
{
    QQuickView *quickView = view();
    if (!quickView)
        return nullptr;
    return QuickItems::find(scope ? scope : quickView->contentItem(), objectName);
}

QQuickItem *E2EDriver::itemWithText(const QString &className, const QString &label) const
{
    for (QQuickItem *each : sceneItems()) {
        if (QString::fromLatin1(each->metaObject()->className()).contains(className)
            && each->property("text").toString() == label)
            return each;
    }
    return nullptr;
}

QObject *E2EDriver::openDialog() const
{
    // A popup's item sits in the window's overlay; the popup itself is that item's parent object.
    for (QQuickItem *each : sceneItems()) {
        QObject *popup = each->parent();
        if (popup && popup->property("errorText").isValid() && popup->property("opened").toBool())
            return popup;
    }
    return nullptr;
}

bool E2EDriver::isShown(QQuickItem *target) const
{
    if (!target || !target->isVisible() || !target->isEnabled() || target->width() <= 0 || target->height() <= 0)
        return false;
    const QRectF scene = target->mapRectToScene(QRectF(0, 0, target->width(), target->height()));
    return QRectF(QPointF(0, 0), QSizeF(view()->size())).contains(scene.center());
}

bool E2EDriver::click(QQuickItem *target)
{
    if (!isShown(target))
        return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

bool E2EDriver::typeInto(QQuickItem *field, const QString &value)
{
    if (!click(field))
        return false;
    if (!field->hasActiveFocus()) {
        fail(QStringLiteral("%1 takes no keyboard focus").arg(field->objectName()));
        return false;
    }
    QTest::keyClick(view(), Qt::Key_A, Qt::ControlModifier);
    typeKeys(view(), value);
    if (text(field) != value) {
        fail(QStringLiteral("%1 shows \"%2\" after typing \"%3\"").arg(field->objectName(), text(field), value));
        return false;
    }
    return true;
}

bool E2EDriver::choose(QQuickItem *combo, const QString &entry)
{
    // What the control does on a choice from its list: set the index and report the activation.
    if (!isShown(combo))
        return false;
    int index = -1;
    QMetaObject::invokeMethod(combo, "find", Q_RETURN_ARG(int, index), Q_ARG(QString, entry));
    if (index < 0) {
        fail(QStringLiteral("%1 has no entry \"%2\"").arg(combo->objectName(), entry));
        return false;
    }
    combo->setProperty("currentIndex", index);
    QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, index));
    return true;
}

bool E2EDriver::saveImage(const QString &path, QQuickItem *crop)
{
    QImage image = view()->grabWindow();
    if (image.isNull()) {
        fail(QStringLiteral("the window cannot be grabbed on this platform"));
        return false;
    }
    if (crop) {
        const qreal ratio = image.devicePixelRatio();
        const QRectF scene = crop->mapRectToScene(QRectF(0, 0, crop->width(), crop->height()));
        image = image.copy(QRectF(scene.topLeft() * ratio, scene.size() * ratio).toAlignedRect());
    }
    if (!image.save(path)) {
        fail(QStringLiteral("cannot write ") + path);
        return false;
    }
    printLine(QStringLiteral("screenshot: ") + path);
    return true;
}
