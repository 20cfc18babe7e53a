#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QQuickItem;
class QWindow;

// Stands between the window's close request (Exit, the title bar's button, Ctrl+Q) and the end
// of the program: a running spin is stopped only when the user says so, and settings files that
// cannot be written are named, with path and reason, before the program goes without them.
// GUI thread only.
class ClosingGuard : public QObject
{
    Q_OBJECT

public:
    struct Steps
    {
        std::function<bool()> spinRunning;
        // The user has confirmed that the spin is to stop.
        std::function<void()> stopSpin;
        // Stops the table and releases the device; called again before every save.
        std::function<void()> releaseDevice;
        // Saves what has not been saved yet; one text per file that failed (path and reason).
        std::function<QStringList()> saveSettings;
        std::function<QQuickItem *()> dialogParent;
    };

    ClosingGuard(QWindow *window, Steps steps, QObject *parent = nullptr);

    // The user chose to quit although some settings could not be saved.
    bool savingGivenUp() const { return givenUp; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askToStopSpin();
    void askToRetrySaving(const QStringList &failures);
    void closeLater();

    QPointer<QWindow> window;
    Steps steps;
    bool questionOpen = false;
    bool givenUp = false;
};
