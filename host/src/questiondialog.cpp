#include "questiondialog.h"

#include "zlplugin.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

namespace {

// Carries the answer from the dialog's QML signal to the caller's function.
class QuestionAnswerReceiver : public QObject
{
    Q_OBJECT

public:
    QuestionAnswerReceiver(QObject *dialog, std::function<void(bool)> answer)
        : QObject(dialog)
        , m_answer(std::move(answer))
    {
    }

public slots:
    void answered(bool yes)
    {
        // Once only: the function may close the window, which closes the dialog again.
        std::function<void(bool)> answer;
        answer.swap(m_answer);
        parent()->deleteLater();
        if (answer)
            answer(yes);
    }

private:
    std::function<void(bool)> m_answer;
};

// Carries a QML signal without arguments to the caller's function.
class DialogSignalReceiver : public QObject
{
    Q_OBJECT

public:
    DialogSignalReceiver(QObject *dialog, std::function<void()> action)
        : QObject(dialog)
        , m_action(std::move(action))
    {
    }

public slots:
    void fired()
    {
        std::function<void()> action;
        action.swap(m_action);
        if (action)
            action();
    }

private:
    std::function<void()> m_action;
};

} // namespace

void onDialogSignal(QObject *dialog, const char *signal, std::function<void()> action)
{
    auto *receiver = new DialogSignalReceiver(dialog, std::move(action));
    QObject::connect(dialog, signal, receiver, SLOT(fired()));
}

QObject *showMessageDialog(QQuickItem *parentItem, const QString &text, const QString &title,
                           const QString &actionText, std::function<void()> action)
{
    QQmlComponent component(globalQmlEngine(), QUrl(QStringLiteral("qrc:/qml/ErrorDialog.qml")));
    QObject *dialog = component.create();
    if (!dialog)
        return nullptr;
    dialog->setProperty("parent", QVariant::fromValue(parentItem));
    dialog->setProperty("errorText", text);
    dialog->setProperty("title", title);
    // The dialog destroys itself when closed; until then the page owns it. Without a QObject
    // parent the JavaScript collector would take a dialog nobody refers to while it is open.
    QQmlEngine::setObjectOwnership(dialog, QQmlEngine::JavaScriptOwnership);
    dialog->setParent(parentItem);
    if (!actionText.isEmpty() && action) {
        dialog->setProperty("actionText", actionText);
        onDialogSignal(dialog, SIGNAL(actionChosen()), std::move(action));
    }
    QMetaObject::invokeMethod(dialog, "open");
    return dialog;
}

QObject *showQuestionDialog(QQuickItem *parentItem, const QuestionDialogTexts &texts,
                            std::function<void(bool yes)> answer)
{
    QQmlComponent component(globalQmlEngine(), QUrl(QStringLiteral("qrc:/qml/QuestionDialog.qml")));
    QObject *dialog = component.create();
    if (!dialog)
        return nullptr;
    dialog->setProperty("parent", QVariant::fromValue(parentItem));
    dialog->setProperty("title", texts.title);
    dialog->setProperty("questionText", texts.text);
    if (!texts.yesText.isEmpty())
        dialog->setProperty("yesText", texts.yesText);
    if (!texts.noText.isEmpty())
        dialog->setProperty("noText", texts.noText);
    dialog->setProperty("escapeAnswers", texts.escapeAnswers);
    // As a message dialog: the page keeps it alive while it is open and takes it along.
    QQmlEngine::setObjectOwnership(dialog, QQmlEngine::JavaScriptOwnership);
    dialog->setParent(parentItem);
    auto *receiver = new QuestionAnswerReceiver(dialog, std::move(answer));
    QObject::connect(dialog, SIGNAL(answered(bool)), receiver, SLOT(answered(bool)));
    QMetaObject::invokeMethod(dialog, "open");
    return dialog;
}

#include "questiondialog.moc"
