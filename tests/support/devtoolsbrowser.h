#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariant>
#include <QVector>
#include <QWebSocket>

// Debian's chromium, headless, with one page driven over the DevTools protocol: commands are
// answered synchronously (with a timeout), events are kept for the test to look through.
// Lives on the thread that made it; the browser is ended with it.
class DevToolsBrowser : public QObject
{
    Q_OBJECT

public:
    struct Event
    {
        QString method;
        QJsonObject params;
    };

    DevToolsBrowser();
    ~DevToolsBrowser() override;

    // Starts chromium and opens a page with network, console and log events on; false with
    // *why when the browser is missing or will not start (tests skip on that).
    bool start(const QSize &window, QString *why);
    // A command to the page; the result object, or an empty one with *error on an error or a
    // timeout.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, QString *error = nullptr,
                     int timeoutMs = 15000);
    // Runtime.evaluate by value (promises awaited).
    QVariant evaluate(const QString &expression, QString *error = nullptr);
    // Evaluates until the expression is truthy or the time is up.
    bool waitFor(const QString &expression, int timeoutMs);
    QImage screenshot();

    const QVector<Event> &events() const { return received; }
    void clearEvents() { received.clear(); }
    // Console errors, uncaught exceptions and error log entries seen so far.
    QStringList pageErrors() const;

private:
    QJsonObject send(const QString &method, const QJsonObject &params, bool toPage, QString *error, int timeoutMs);
    void onMessage(const QString &text);

    QProcess process;
    QTemporaryDir profile;
    QWebSocket socket;
    QString sessionId;
    int nextId = 1;
    QHash<int, QJsonObject> replies;
    QVector<Event> received;
};
