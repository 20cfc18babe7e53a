#include "closingguard.h"

#include "questiondialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QQuickItem>
#include <QWindow>

ClosingGuard::ClosingGuard(QWindow *closingWindow, Steps closingSteps, QObject *parent)
    : QObject(parent)
    , window(closingWindow)
    , steps(std::move(closingSteps))
{
    if (window)
        window->installEventFilter(this);
}

bool ClosingGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);

    // A second request while a question is open waits for its answer.
    if (questionOpen) {
        event->ignore();
        return true;
    }
    if (steps.spinRunning && steps.spinRunning()) {
        event->ignore();
        askToStopSpin();
        return true;
    }
    if (steps.releaseDevice)
        steps.releaseDevice();
    const QStringList failures = steps.saveSettings && !givenUp ? steps.saveSettings() : QStringList();
    if (!failures.isEmpty()) {
        event->ignore();
        askToRetrySaving(failures);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void ClosingGuard::askToStopSpin()
{
    QuestionDialogTexts texts;
    texts.title = tr("Stop the spin?");
    texts.text = tr("A spin is under way. Stop it and quit Spinwright?");
    texts.yesText = tr("Stop and quit");
    texts.noText = tr("Go on with the spin");
    questionOpen = showQuestionDialog(steps.dialogParent ? steps.dialogParent() : nullptr, texts,
                                      [this](bool stop) {
        questionOpen = false;
        if (!stop)
            return;
        if (steps.stopSpin)
            steps.stopSpin();
        closeLater();
    }) != nullptr;
    // Without a dialog the window's close button must still close, as it always has.
    if (!questionOpen) {
        if (steps.stopSpin)
            steps.stopSpin();
        closeLater();
    }
}

void ClosingGuard::askToRetrySaving(const QStringList &failures)
{
    QuestionDialogTexts texts;
    texts.title = tr("Settings not saved");
    texts.text = tr("These settings could not be saved:") + QLatin1String("\n\n")
                 + failures.join(QLatin1String("\n\n")) + QLatin1String("\n\n")
                 + tr("Make the folder writable and try again, or quit without saving them.");
    texts.yesText = tr("Try again");
    texts.noText = tr("Quit without saving");
    // Escape must not throw the settings away.
    texts.escapeAnswers = false;
    questionOpen = showQuestionDialog(steps.dialogParent ? steps.dialogParent() : nullptr, texts,
                                      [this](bool retry) {
        questionOpen = false;
        if (!retry)
            givenUp = true;
        closeLater();
    }) != nullptr;
    // Without a dialog nobody can answer: go without the settings rather than never close.
    if (!questionOpen) {
        givenUp = true;
        closeLater();
    }
}

void ClosingGuard::closeLater()
{
    // Not from within the dialog's own signal: closing takes the dialog along.
    QPointer<QWindow> target = window;
    QMetaObject::invokeMethod(this, [target] {
        if (target)
            target->close();
    }, Qt::QueuedConnection);
}
