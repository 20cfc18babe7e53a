#include "e2edriver.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>
#include <QtTest/QTest>

#include <cstdio>

// A spin with a camera on USB, as a user runs it: the camera chosen on the page, an 8-picture
// spin, then "Show the spin" in the message at its end, which opens the spin's viewer.
void E2EDriver::tetheredSpin()
{
    const auto print = [](const QString &line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    };
    setUpCustomTurntable(80);
    then(QStringLiteral("spin page"), [this] { return click(item(QStringLiteral("spinsPageButton"))); });
    then(QStringLiteral("choose the USB camera"), [this, print] {
        QQuickItem *list = item(QStringLiteral("cameraList"));
        if (!isShown(list))
            return false;
        const int count = list->property("count").toInt();
        for (int i = 0; i < count; ++i) {
            QString name;
            QMetaObject::invokeMethod(list, "textAt", Q_RETURN_ARG(QString, name), Q_ARG(int, i));
            // The cable comes first; a camera found on USB names its port.
            if (name.contains(QLatin1String("(USB "))) {
                print(QStringLiteral("camera: ") + name);
                chosenCamera = name;
                return choose(list, name);
            }
        }
        return false;
    });
    then(QStringLiteral("camera open"), [this] {
        QQuickItem *bar = item(QStringLiteral("cameraBar"));
        QQuickItem *list = item(QStringLiteral("cameraList"));
        return bar && list && !bar->property("opening").toBool()
            && list->property("currentText").toString() == chosenCamera;
    });
    chooseFixedCount(QStringLiteral("8"), QStringLiteral("0"), QStringLiteral("0"));
    then(QStringLiteral("start"), [this] { return click(item(QStringLiteral("startButton"))); });
    then(QStringLiteral("spin ends"), [this, print] {
        QObject *dialog = openDialog();
        if (!dialog)
            return false;
        print(QStringLiteral("dialog: %1 | %2")
                  .arg(dialog->property("title").toString(), dialog->property("errorText").toString()));
        return true;
    });
    then(QStringLiteral("show the spin"), [this] {
        QObject *dialog = openDialog();
        return dialog && click(dialog->findChild<QQuickItem *>(QStringLiteral("actionButton")));
    });
    then(QStringLiteral("viewer shown"), [this, print] {
        for (QWindow *window : QGuiApplication::topLevelWindows()) {
            auto *viewer = qobject_cast<QQuickWindow *>(window);
            if (viewer && viewer != view() && viewer->isVisible()) {
                // The caption sits in the window's footer, outside its content item.
                QQuickItem *caption = viewer->findChild<QQuickItem *>(QStringLiteral("captionLabel"));
                // The first frame's caption once its picture is read.
                if (!caption || caption->property("text").toString().isEmpty())
                    return false;
                print(QStringLiteral("viewer: ") + caption->property("text").toString());
                viewer->close();
                return true;
            }
        }
        return false;
    });
    exitProgram();
}
