#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QQuickItem;
class QQuickView;

// Plays one user session at the program's window, chosen by SPINWRIGHT_E2E_SCENARIO, and
// prints what the user would see on standard output, one "key: value" line each.
// Lives on the GUI thread; every step is polled by one timer until it reports done.
class E2EDriver : public QObject
{
    Q_OBJECT

public:
    explicit E2EDriver(QObject *parent = nullptr);
    void start();

public slots:
    // Stands in for the desktop's viewer of local files.
    void openUrl(const QUrl &url);

private:
    using Step = std::function<bool()>;

    void then(const QString &what, Step step);
    void act(const QString &what, std::function<void()> action);
    void tick();
    void fail(const QString &why);

    // Steps shared by the scenarios.
    void waitForPage();
    void waitForOpenDevice();
    void pickOfferedTurntable();
    void setUpCustomTurntable(int countsPerRevolution);
    void setFullSpeed();  // on the turntable page
    void chooseFixedCount(const QString &count, const QString &preDelay, const QString &postDelay);
    void addCustomAngles(const QStringList &angles);
    void runToCompletion();
    // True when a manual-capture spin stood waiting and has been told Next.
    bool pressNextWhenAsked();
    // The scenario with a camera on USB (e2etethered.cpp).
    void tetheredSpin();
    void exitProgram();
    void printState();
    void takeScreenshots(const QString &folder);

    // Looking at and touching the window.
    QQuickView *view() const;
    QList<QQuickItem *> sceneItems() const;
    QQuickItem *item(const QString &objectName, QQuickItem *scope = nullptr) const;
    QQuickItem *itemWithText(const QString &className, const QString &text) const;
    QObject *openDialog() const;
    bool isShown(QQuickItem *target) const;
    bool click(QQuickItem *target);
    bool typeInto(QQuickItem *field, const QString &text);
    bool choose(QQuickItem *combo, const QString &entry);
    bool saveImage(const QString &path, QQuickItem *crop);

    QList<QPair<QString, Step>> steps;
    int current = 0;
    QElapsedTimer stepClock;
    QTimer poll;
    bool failed = false;
    QUrl openedUrl;
    QString chosenCamera;
};
