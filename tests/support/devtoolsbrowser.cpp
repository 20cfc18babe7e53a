#include "devtoolsbrowser.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

DevToolsBrowser::DevToolsBrowser()
{
    connect(&socket, &QWebSocket::textMessageReceived, this, &DevToolsBrowser::onMessage);
}

DevToolsBrowser::~DevToolsBrowser()
{
    socket.close();
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool DevToolsBrowser::start(const QSize &window, QString *why)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (program.isEmpty()) {
        *why = QStringLiteral("chromium is not installed (scripts/install-deps installs it)");
        return false;
    }
    process.setProgram(program);
    process.setArguments({QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                          QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                          QStringLiteral("--disable-extensions"), QStringLiteral("--remote-debugging-port=0"),
                          QStringLiteral("--user-data-dir=") + profile.path(),
                          QStringLiteral("--window-size=%1,%2").arg(window.width()).arg(window.height()),
                          QStringLiteral("about:blank")});
    process.start();
    if (!process.waitForStarted(10000)) {
        *why = QStringLiteral("chromium did not start: ") + process.errorString();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("DevTools listening on (ws://\\S+)"));
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    QString address;
    while (address.isEmpty() && clock.elapsed() < 30000 && process.state() == QProcess::Running) {
        process.waitForReadyRead(500);
        output += process.readAllStandardError();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output));
        if (match.hasMatch())
            address = match.captured(1);
    }
    if (address.isEmpty()) {
        *why = QStringLiteral("chromium gave no DevTools address: ") + QString::fromUtf8(output.right(400));
        return false;
    }
    QEventLoop loop;
    connect(&socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    socket.open(QUrl(address));
    loop.exec();
    if (socket.state() != QAbstractSocket::ConnectedState) {
        *why = QStringLiteral("the DevTools socket did not connect");
        return false;
    }
    QString error;
    const QJsonObject target = send(QStringLiteral("Target.createTarget"),
                                    {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false, &error, 15000);
    const QJsonObject attached = send(QStringLiteral("Target.attachToTarget"),
                                      {{QStringLiteral("targetId"), target.value(QStringLiteral("targetId"))},
                                       {QStringLiteral("flatten"), true}}, false, &error, 15000);
    sessionId = attached.value(QStringLiteral("sessionId")).toString();
    if (sessionId.isEmpty()) {
        *why = QStringLiteral("no page could be opened: ") + error;
        return false;
    }
    for (const char *domain : {"Page.enable", "Runtime.enable", "Network.enable", "Log.enable"})
        call(QLatin1String(domain));
    return true;
}

QJsonObject DevToolsBrowser::call(const QString &method, const QJsonObject &params, QString *error, int timeoutMs)
{
    return send(method, params, true, error, timeoutMs);
}

QJsonObject DevToolsBrowser::send(const QString &method, const QJsonObject &params, bool toPage,
                                  QString *error, int timeoutMs)
{
    const int id = nextId++;
    QJsonObject message{{QStringLiteral("id"), id}, {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (toPage)
        message.insert(QStringLiteral("sessionId"), sessionId);
    socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    QElapsedTimer clock;
    clock.start();
    while (!replies.contains(id) && clock.elapsed() < timeoutMs && socket.state() == QAbstractSocket::ConnectedState) {
        QEventLoop loop;
        connect(&socket, &QWebSocket::textMessageReceived, &loop, &QEventLoop::quit);
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QJsonObject reply = replies.take(id);
    if (error) {
        if (reply.isEmpty())
            *error = method + QStringLiteral(": no answer");
        else if (reply.contains(QStringLiteral("error")))
            *error = method + QStringLiteral(": ")
                    + reply.value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString();
    }
    return reply.value(QStringLiteral("result")).toObject();
}

void DevToolsBrowser::onMessage(const QString &text)
{
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.contains(QStringLiteral("id")))
        replies.insert(message.value(QStringLiteral("id")).toInt(), message);
    else
        received.append({message.value(QStringLiteral("method")).toString(),
                         message.value(QStringLiteral("params")).toObject()});
}

QVariant DevToolsBrowser::evaluate(const QString &expression, QString *error)
{
    const QJsonObject result = call(QStringLiteral("Runtime.evaluate"),
                                    {{QStringLiteral("expression"), expression},
                                     {QStringLiteral("returnByValue"), true},
                                     {QStringLiteral("awaitPromise"), true}}, error);
    if (error && result.contains(QStringLiteral("exceptionDetails")))
        *error = result.value(QStringLiteral("exceptionDetails")).toObject().value(QStringLiteral("text")).toString();
    return result.value(QStringLiteral("result")).toObject().value(QStringLiteral("value")).toVariant();
}

bool DevToolsBrowser::waitFor(const QString &expression, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        if (evaluate(QStringLiteral("!!(") + expression + QLatin1Char(')')).toBool())
            return true;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    } while (clock.elapsed() < timeoutMs);
    return false;
}

QImage DevToolsBrowser::screenshot()
{
    const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"), {{QStringLiteral("format"), QStringLiteral("png")}});
    return QImage::fromData(QByteArray::fromBase64(shot.value(QStringLiteral("data")).toString().toLatin1()), "PNG");
}

QStringList DevToolsBrowser::pageErrors() const
{
    QStringList errors;
    for (const Event &event : received) {
        if (event.method == QLatin1String("Runtime.exceptionThrown")) {
            errors << event.params.value(QStringLiteral("exceptionDetails")).toObject().value(QStringLiteral("text")).toString();
        } else if (event.method == QLatin1String("Runtime.consoleAPICalled")
                   && event.params.value(QStringLiteral("type")).toString() == QLatin1String("error")) {
            errors << QString::fromUtf8(QJsonDocument(event.params.value(QStringLiteral("args")).toArray()).toJson());
        } else if (event.method == QLatin1String("Log.entryAdded")) {
            const QJsonObject entry = event.params.value(QStringLiteral("entry")).toObject();
            if (entry.value(QStringLiteral("level")).toString() == QLatin1String("error"))
                errors << entry.value(QStringLiteral("text")).toString();
        }
    }
    return errors;
}
