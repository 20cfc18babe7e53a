#include "updatecheckmanager.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray versionPath = "/Downloads/Spinwright/defines.h";

struct Answer
{
    enum Kind { Complete, Trickle, Flood, Silent, Hangup, Redirect };
    Kind kind = Complete;
    int status = 200;
    QByteArray body;
    bool declareLength = true; // for Flood
};

// Plain HTTP/1.1 on 127.0.0.1, one request per connection, answers chosen by path.
class HttpServer : public QTcpServer
{
public:
    HttpServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    ++closedConnections;
                    socket->deleteLater();
                });
            }
        });
        if (!listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1");
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
    QString location(const char *name) const
    {
        return host() + QLatin1Char('/') + QLatin1String(name) + QLatin1String("/vemo-hosts.xml");
    }
    QByteArray path(const char *name) const
    {
        return QByteArray("/") + name + "/vemo-hosts.xml";
    }

    void answer(const QByteArray &path, const QByteArray &body) { routes[path].body = body; }

    QHash<QByteArray, Answer> routes;
    QList<QByteArray> requests;
    qint64 floodSent = 0;
    int closedConnections = 0;
    static constexpr qint64 floodSize = 256LL * 1024 * 1024;

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &buffer = pending[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        pending.remove(socket);
        disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
        const QByteArray path = requestLine.value(1);
        requests.append(path);

        const auto route = routes.constFind(path);
        const Answer answer = route == routes.cend() ? Answer{Answer::Complete, 404, "missing"} : *route;
        switch (answer.kind) {
        case Answer::Complete:
            socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\nContent-Length: "
                          + QByteArray::number(answer.body.size())
                          + "\r\nConnection: close\r\n\r\n" + answer.body);
            socket->disconnectFromHost();
            break;
        case Answer::Redirect:
            socket->write("HTTP/1.1 302 Found\r\nLocation: http://" + host().toLatin1() + path
                          + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            break;
        case Answer::Trickle: {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<hosts>");
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->write("<a/>"); });
            timer->start(10);
            break;
        }
        case Answer::Flood: {
            socket->write("HTTP/1.1 200 OK\r\n"
                          + (answer.declareLength ? "Content-Length: " + QByteArray::number(floodSize) + "\r\n"
                                                  : QByteArray())
                          + "Connection: close\r\n\r\n");
            const QByteArray chunk(64 * 1024, 'x');
            auto refill = [this, socket, chunk] {
                while (socket->bytesToWrite() < 4 * chunk.size() && floodSent < floodSize) {
                    socket->write(chunk);
                    floodSent += chunk.size();
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, refill);
            refill();
            break;
        }
        case Answer::Silent:
            break;
        case Answer::Hangup:
            socket->abort();
            break;
        }
    }

    QHash<QTcpSocket *, QByteArray> pending;
};

QByteArray hostsList(const QString &address)
{
    return "<?xml version=\"1.0\"?>\n<hosts><host><NAME>Mirror</NAME><ADDRESS>elsewhere</ADDRESS></host>"
           "<host><NAME>UpdateServer</NAME><ADDRESS>" + address.toLatin1() + "</ADDRESS></host></hosts>";
}

QByteArray versionFile(const QByteArray &version, const QByteArray &build)
{
    return "#pragma once\n#define APPLICATION_VERSION \"" + version + "\"\n#define P4CHANGELISTVAR \""
            + build + "\"\n";
}

} // namespace

class tst_UpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstListNamesServer();
    void hostsListRecognition_data();
    void hostsListRecognition();
    void mirrors_data();
    void mirrors();
    void networkErrorEndsCheck_data();
    void networkErrorEndsCheck();
    void versionComparison_data();
    void versionComparison();
    void hostileReplies_data();
    void hostileReplies();
    void redirectLoop();
    void deletionCancelsCheck();
    void startNeverEndsSynchronously();

private:
    UpdateCheckManager *createManager(const QStringList &locations);
    bool runToEnd(int msecs = 5000);

    HttpServer *server = nullptr;
    UpdateCheckManager *manager = nullptr;
    QSignalSpy *messages = nullptr;
    QSignalSpy *ended = nullptr;
};

void tst_UpdateCheck::init()
{
    server = new HttpServer;
}

void tst_UpdateCheck::cleanup()
{
    delete messages;
    delete ended;
    delete manager;
    delete server;
    messages = nullptr;
    ended = nullptr;
    manager = nullptr;
    server = nullptr;
}

UpdateCheckManager *tst_UpdateCheck::createManager(const QStringList &locations)
{
    manager = new UpdateCheckManager(QStringLiteral("v.3.0."), QStringLiteral("30108"));
    manager->setHostsListLocations(locations);
    messages = new QSignalSpy(manager, &UpdateCheckManager::updateAvailable);
    ended = new QSignalSpy(manager, &UpdateCheckManager::checkEnded);
    return manager;
}

bool tst_UpdateCheck::runToEnd(int msecs)
{
    manager->start();
    return ended->count() > 0 || ended->wait(msecs);
}

void tst_UpdateCheck::firstListNamesServer()
{
    server->answer(server->path("a"), hostsList(server->host()));
    server->answer(versionPath, versionFile("v.3.0.", "30109"));
    createManager({ server->location("a"), server->location("b"), server->location("c") });

    QVERIFY(runToEnd());
    QCOMPARE(server->requests, (QList<QByteArray>{ server->path("a"), versionPath }));
    QCOMPARE(manager->versionFileUrl(),
             QUrl(QStringLiteral("http://%1/Downloads/Spinwright/defines.h").arg(server->host())));
    QCOMPARE(messages->count(), 1);
    QCOMPARE(messages->at(0).at(0).toString(), QStringLiteral("An updated version is available"));
    const QString text = messages->at(0).at(1).toString();
    QVERIFY2(text.startsWith(QLatin1String("<a href=\"http")), qPrintable(text));
    QVERIFY2(text.endsWith(QLatin1String("\">Download latest version</a>")), qPrintable(text));
    QCOMPARE(ended->count(), 1);
    QVERIFY(manager->hasEnded());
}

void tst_UpdateCheck::hostsListRecognition_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("named");

    QTest::newRow("pair deep inside") << QByteArray("<a><b><c x='1'><NAME>UpdateServer</NAME><ADDRESS>%1</ADDRESS></c></b></a>") << true;
    QTest::newRow("pair after others") << QByteArray("<r><NAME>Other</NAME><ADDRESS>no</ADDRESS><NAME>UpdateServer</NAME>\n  <ADDRESS>%1</ADDRESS></r>") << true;
    QTest::newRow("address in next sibling") << QByteArray("<r><x><NAME>UpdateServer</NAME></x><y><ADDRESS>%1</ADDRESS></y></r>") << false;
    QTest::newRow("address before name") << QByteArray("<r><ADDRESS>%1</ADDRESS><NAME>UpdateServer</NAME></r>") << false;
    QTest::newRow("another element between") << QByteArray("<r><NAME>UpdateServer</NAME><PORT/><ADDRESS>%1</ADDRESS></r>") << false;
    QTest::newRow("name padded") << QByteArray("<r><NAME> UpdateServer</NAME><ADDRESS>%1</ADDRESS></r>") << false;
    QTest::newRow("name other case") << QByteArray("<r><NAME>updateserver</NAME><ADDRESS>%1</ADDRESS></r>") << false;
    QTest::newRow("element names other case") << QByteArray("<r><name>UpdateServer</name><address>%1</address></r>") << false;
    QTest::newRow("not xml") << QByteArray("NAME UpdateServer ADDRESS %1") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

// A list that names the server leads to its version file; any other list to the next location.
void tst_UpdateCheck::hostsListRecognition()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, named);
    server->answer(server->path("a"), xml.replace("%1", server->host().toLatin1()));
    server->answer(versionPath, versionFile("v.3.0.", "30108"));
    createManager({ server->location("a"), server->location("b") });

    QVERIFY(runToEnd());
    QCOMPARE(server->requests.value(1), named ? versionPath : server->path("b"));
    QCOMPARE(server->requests.size(), 2);
}

void tst_UpdateCheck::mirrors_data()
{
    QTest::addColumn<int>("namingList"); // 0-based; -1 when no list names the server

    QTest::newRow("second") << 1;
    QTest::newRow("third") << 2;
    QTest::newRow("none") << -1;
}

void tst_UpdateCheck::mirrors()
{
    QFETCH(int, namingList);
    const char *names[] = { "a", "b", "c" };
    QList<QByteArray> expected;
    for (int i = 0; i < 3; ++i) {
        server->answer(server->path(names[i]),
                       i == namingList ? hostsList(server->host()) : "<hosts><NAME>Mirror</NAME></hosts>");
        if (namingList < 0 || i <= namingList)
            expected.append(server->path(names[i]));
    }
    if (namingList >= 0)
        expected.append(versionPath);
    server->answer(versionPath, versionFile("v.3.0.", "30109"));
    createManager({ server->location("a"), server->location("b"), server->location("c") });

    QVERIFY(runToEnd());
    QCOMPARE(server->requests, expected);
    QCOMPARE(int(manager->currentHostIndex()), namingList < 0 ? 2 : namingList);
    QCOMPARE(messages->count(), namingList < 0 ? 0 : 1);
    QCOMPARE(ended->count(), 1);
}

void tst_UpdateCheck::networkErrorEndsCheck_data()
{
    QTest::addColumn<int>("failure");   // Answer::Kind
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("onVersionFile");

    QTest::newRow("list 404") << int(Answer::Complete) << 404 << false;
    QTest::newRow("list 500") << int(Answer::Complete) << 500 << false;
    QTest::newRow("list connection reset") << int(Answer::Hangup) << 0 << false;
    QTest::newRow("version file 404") << int(Answer::Complete) << 404 << true;
    QTest::newRow("version file connection reset") << int(Answer::Hangup) << 0 << true;
}

// An error ends the check: the mirrors are not tried and nothing is shown.
void tst_UpdateCheck::networkErrorEndsCheck()
{
    QFETCH(int, failure);
    QFETCH(int, status);
    QFETCH(bool, onVersionFile);

    Answer bad{ Answer::Kind(failure), status, versionFile("v.9.9.", "99999") };
    if (onVersionFile) {
        server->answer(server->path("a"), hostsList(server->host()));
        server->routes[versionPath] = bad;
    } else {
        server->routes[server->path("a")] = bad;
    }
    server->answer(server->path("b"), hostsList(server->host()));
    createManager({ server->location("a"), server->location("b") });

    QVERIFY(runToEnd());
    // The network layer may resend a request once on a reset connection; that is not a new location.
    QCOMPARE(QSet<QByteArray>(server->requests.cbegin(), server->requests.cend()),
             onVersionFile ? (QSet<QByteArray>{ server->path("a"), versionPath })
                           : (QSet<QByteArray>{ server->path("a") }));
    QCOMPARE(messages->count(), 0);
    QCOMPARE(ended->count(), 1);
}

void tst_UpdateCheck::versionComparison_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("message");

    QTest::newRow("newer build") << versionFile("v.3.0.", "30109") << true;
    QTest::newRow("same build") << versionFile("v.3.0.", "30108") << false;
    QTest::newRow("older build") << versionFile("v.3.0.", "30000") << false;
    QTest::newRow("newer minor, older major") << versionFile("v.2.5.", "100") << true;
    QTest::newRow("newer major") << versionFile("v.4.0.", "1") << true;
    QTest::newRow("full version text") << versionFile("v.3.0.30108", "30108") << false;
    QTest::newRow("lines in other order") << QByteArray("#define P4CHANGELISTVAR \"30109\"\n#define APPLICATION_VERSION \"v.3.0.\"") << true;
    QTest::newRow("crlf, no final newline") << QByteArray("#define APPLICATION_VERSION \"v.3.0.\"\r\n#define P4CHANGELISTVAR \"30109\"") << true;
    QTest::newRow("no version lines") << QByteArray("#pragma once\n#define OTHER \"v.9.9.\"\n") << false;
    QTest::newRow("only build line") << QByteArray("#define P4CHANGELISTVAR \"30109\"\n") << true;
    QTest::newRow("build not a number") << versionFile("v.3.0.", "30109x") << false;
    QTest::newRow("build too large") << versionFile("v.3.0.", "99999999999") << false;
    QTest::newRow("one quote") << QByteArray("#define APPLICATION_VERSION \"v.3.0.\"\n#define P4CHANGELISTVAR \"30109\n") << false;

    QTest::newRow("lines before ignored")
            << QByteArray("// #define P4CHANGELISTVAR \"99999\"\n #define APPLICATION_VERSION \"v.9.9.\"\n"
                          "#define P4CHANGELIST \"99999\"\n#define  APPLICATION_VERSION \"v.9.9.\"\n")
               + versionFile("v.3.0.", "30108") << false;
    QTest::newRow("rest not read, would show") << versionFile("v.3.0.", "30108")
               + "#define P4CHANGELISTVAR \"99999\"\n" << false;
    QTest::newRow("rest not read, would hide") << versionFile("v.3.0.", "30109")
               + "#define P4CHANGELISTVAR \"1\"\n" << true;
    QTest::newRow("major 0 keeps reading") << versionFile("v.0.0.", "30108")
               + "#define P4CHANGELISTVAR \"30109\"\n" << true;
    QTest::newRow("build 0 keeps reading") << versionFile("v.3.0.", "0")
               + "#define P4CHANGELISTVAR \"30109\"\n" << true;

    const QByteArray newer = versionFile("v.3.0.", "30109");
    const int padding = int(UpdateCheckManager::maximumReplySize) - newer.size();
    QTest::newRow("at the size bound") << QByteArray(padding, '\n') + newer << true;
    QTest::newRow("past the size bound") << QByteArray(padding + 1, '\n') + newer << false;

    // A field that is not a number (or is missing) counts as 0; the other parts still decide.
    QTest::newRow("version of two fields") << versionFile("v.3", "30109") << true;
    QTest::newRow("version of two fields, same build") << versionFile("v.4", "30108") << true;
    QTest::newRow("version empty") << versionFile("", "30109") << true;
    QTest::newRow("version fields not numbers") << versionFile("v.x.y.", "30109") << true;
    QTest::newRow("version fields not numbers, same build") << versionFile("v.x.y.", "30108") << false;
    QTest::newRow("version minor not a number") << versionFile("v.4.0a.", "1") << true;
    QTest::newRow("version major not a number") << versionFile("v.4a.1.", "1") << true;
    QTest::newRow("version fields signed or overlong") << versionFile("v.-4.1234567890.", "1") << false;
    QTest::newRow("version three fields") << versionFile("v.3.1", "1") << true;
}

void tst_UpdateCheck::versionComparison()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, message);
    server->answer(server->path("a"), hostsList(server->host()));
    server->answer(versionPath, file);
    createManager({ server->location("a") });

    QVERIFY(runToEnd());
    QCOMPARE(server->requests.size(), 2);
    QCOMPARE(messages->count(), message ? 1 : 0);
    QCOMPARE(ended->count(), 1);
}

void tst_UpdateCheck::hostileReplies_data()
{
    QTest::addColumn<bool>("onVersionFile");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("declareLength");
    QTest::addColumn<int>("requests");

    const QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                              "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
                              "<r><NAME>&g;</NAME></r>";
    const char binaryText[] = "#define APPLICATION_VERSION \"\0v.9.9.\"\n\0\0\xff\xfe#define P4CHANGELISTVAR \"9\0\"";
    const QByteArray binary(binaryText, sizeof binaryText - 1);
    QTest::newRow("list never ends") << false << int(Answer::Trickle) << QByteArray() << false << 1;
    QTest::newRow("list of many megabytes") << false << int(Answer::Flood) << QByteArray() << true << 1;
    QTest::newRow("list of many megabytes, no length") << false << int(Answer::Flood) << QByteArray() << false << 1;
    QTest::newRow("list never answered") << false << int(Answer::Silent) << QByteArray() << false << 1;
    // A broken list names no server, so the next location (absent here) is asked.
    QTest::newRow("list malformed") << false << int(Answer::Complete)
            << QByteArray("<hosts><NAME>UpdateServer<ADDRESS>x</ADDRESS></NAME>") << false << 2;
    QTest::newRow("list expands entities") << false << int(Answer::Complete) << laughs << false << 2;
    QTest::newRow("version file never ends") << true << int(Answer::Trickle) << QByteArray() << false << 2;
    QTest::newRow("version file of many megabytes") << true << int(Answer::Flood) << QByteArray() << true << 2;
    QTest::newRow("version file of many megabytes, no length") << true << int(Answer::Flood) << QByteArray() << false << 2;
    QTest::newRow("version file never answered") << true << int(Answer::Silent) << QByteArray() << false << 2;
    QTest::newRow("version file without the lines") << true << int(Answer::Complete)
            << QByteArray(200 * 1024, '\n') << false << 2;
    QTest::newRow("version file binary") << true << int(Answer::Complete)
            << binary << false << 2;
}

// Each ends quietly within the request timeout while the event loop keeps running.
void tst_UpdateCheck::hostileReplies()
{
    QFETCH(bool, onVersionFile);
    QFETCH(int, kind);
    QFETCH(QByteArray, body);
    QFETCH(bool, declareLength);
    QFETCH(int, requests);

    Answer hostile{ Answer::Kind(kind), 200, body, declareLength };
    if (onVersionFile) {
        server->answer(server->path("a"), hostsList(server->host()));
        server->routes[versionPath] = hostile;
    } else {
        server->routes[server->path("a")] = hostile;
    }
    createManager({ server->location("a"), server->location("b") });
    // Only the size bound may end a flood; the other hostile replies end by the timeout.
    manager->setRequestTimeout(kind == Answer::Flood ? 20000 : 400);

    int ticks = 0;
    int ticksAtEnd = -1;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    connect(manager, &UpdateCheckManager::checkEnded, this, [&] { ticksAtEnd = ticks; });
    ticker.start(5);

    QVERIFY(runToEnd(15000));
    QCOMPARE(server->requests.size(), requests);
    QCOMPARE(messages->count(), 0);
    QCOMPARE(ended->count(), 1);
    if (kind == Answer::Trickle || kind == Answer::Silent)
        QVERIFY2(ticksAtEnd > 0, "the event loop was blocked while the reply was pending");
    if (kind == Answer::Flood) {
        // The connection is dropped long before the sender could finish.
        QTRY_VERIFY(server->closedConnections >= requests);
        QVERIFY2(server->floodSent < HttpServer::floodSize / 4, qPrintable(QString::number(server->floodSent)));
    }
}

void tst_UpdateCheck::redirectLoop()
{
    server->routes[server->path("a")] = Answer{ Answer::Redirect, 302, {} };
    server->answer(server->path("b"), hostsList(server->host()));
    createManager({ server->location("a"), server->location("b") });
    manager->setRequestTimeout(2000);

    QVERIFY(runToEnd());
    QVERIFY(!server->requests.contains(server->path("b")));
    QVERIFY(server->requests.size() >= 2);
    // Each hop may be resent once when the network layer races the server's close.
    QVERIFY2(server->requests.size() <= 2 * (1 + UpdateCheckManager::maximumRedirects),
             qPrintable(QString::number(server->requests.size())));
    QCOMPARE(messages->count(), 0);
}

void tst_UpdateCheck::deletionCancelsCheck()
{
    server->routes[server->path("a")] = Answer{ Answer::Silent, 200, {} };
    createManager({ server->location("a") });
    manager->start();
    QTRY_COMPARE(server->requests.size(), 1);

    QPointer<UpdateCheckManager> guard(manager);
    manager->deleteLater();
    manager = nullptr;
    QTRY_VERIFY(guard.isNull());
    QTRY_COMPARE(server->closedConnections, 1);
    QCOMPARE(ended->count(), 0);
    QCOMPARE(messages->count(), 0);
}

void tst_UpdateCheck::startNeverEndsSynchronously()
{
    createManager({});
    manager->start();
    QCOMPARE(ended->count(), 0);
    QVERIFY(ended->wait(5000));
    QCOMPARE(ended->count(), 1);
    QVERIFY(server->requests.isEmpty());
    QCOMPARE(messages->count(), 0);
}

QTEST_GUILESS_MAIN(tst_UpdateCheck)
#include "tst_updatecheck.moc"
