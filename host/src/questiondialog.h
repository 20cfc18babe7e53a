#pragma once

#include <QString>

#include <functional>

class QObject;
class QQuickItem;

// A question put in "qrc:/qml/QuestionDialog.qml" over parentItem, answered through the dialog's
// answered(bool) signal: true for yesText, false for noText and, when escapeAnswers, for Escape.
// answer runs once, on the GUI thread, inside the dialog's signal; the dialog then deletes itself.
// Returns the dialog, or null when it could not be created (answer is then never called).
struct QuestionDialogTexts
{
    QString title;
    QString text;
    QString yesText;
    QString noText;
    bool escapeAnswers = true;
};

QObject *showQuestionDialog(QQuickItem *parentItem, const QuestionDialogTexts &texts,
                            std::function<void(bool yes)> answer);

// Runs action once, on the GUI thread, when dialog emits signal (a SIGNAL() of no arguments);
// the connection goes with the dialog.
void onDialogSignal(QObject *dialog, const char *signal, std::function<void()> action);

// Shows a message in the page's message dialog; the dialog deletes itself when closed.
// Returns the dialog, or null when it could not be created.
// With actionText, a second button beside OK runs action (on the GUI thread) and closes it.
QObject *showMessageDialog(QQuickItem *parentItem, const QString &text, const QString &title,
                           const QString &actionText = QString(), std::function<void()> action = {});
