#include "updatecheckmanager.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

const char versionFilePath[] = "/Downloads/Spinwright/defines.h";
const char buildNumberKey[] = "#define P4CHANGELISTVAR";
const char versionKey[] = "#define APPLICATION_VERSION";

struct VersionNumber
{
    int major = 0;
    int minor = 0;
};

// Digits only, at most nine: "0a", "-1" or an overlong number counts as 0.
int parseField(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    return text.toInt();
}

// "v.3.0." gives 3 and 0; a missing field is 0 like any other field that is not a number.
VersionNumber parseVersion(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    VersionNumber version;
    version.major = parseField(fields.value(1));
    version.minor = parseField(fields.value(2));
    return version;
}

quint32 parseBuildNumber(const QString &text)
{
    bool ok = false;
    const uint number = text.toUInt(&ok, 10);
    return ok ? number : 0;
}

QString quotedValue(const QByteArray &line)
{
    const int first = line.indexOf('"');
    const int last = line.lastIndexOf('"');
    if (first < 0 || last <= first)
        return QString();
    return QString::fromLatin1(line.mid(first + 1, last - first - 1));
}

} // namespace

UpdateCheckManager::UpdateCheckManager(const QString &versionPrefix,
                                       const QString &changelistNumber, QObject *parent)
    : QNetworkAccessManager(parent),
      updateHostsList(defaultHostsListLocations()),
      localVersionPrefix(versionPrefix),
      localChangelistNumber(changelistNumber),
      deadline(new QTimer(this))
{
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this] {
        if (pendingReply)
            pendingReply->abort();
    });
}

UpdateCheckManager::~UpdateCheckManager() = default;

QStringList UpdateCheckManager::defaultHostsListLocations()
{
    return { QStringLiteral("update.marvolix.com/vemo-hosts.xml"),
             QStringLiteral("update2.marvolix.com/vemo-hosts.xml"),
             QStringLiteral("update.marvolix.net/vemo-hosts.xml") };
}

void UpdateCheckManager::setHostsListLocations(const QStringList &locations)
{
    if (!started)
        updateHostsList = locations.mid(0, 255);
}

QStringList UpdateCheckManager::hostsListLocations() const
{
    return updateHostsList;
}

void UpdateCheckManager::setRequestTimeout(int msecs)
{
    timeoutMsecs = qMax(1, msecs);
}

int UpdateCheckManager::requestTimeout() const
{
    return timeoutMsecs;
}

void UpdateCheckManager::start()
{
    if (started)
        return;
    started = true;
    connect(this, &QNetworkAccessManager::finished,
            this, &UpdateCheckManager::checkForUpdateNetworkReplyFinished);
    if (updateHostsList.isEmpty()) {
        QTimer::singleShot(0, this, &UpdateCheckManager::endCheck);
        return;
    }
    sendRequest(QUrl(QStringLiteral("http://") + updateHostsList.at(hostIndex)));
}

void UpdateCheckManager::sendRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maximumRedirects);
    request.setTransferTimeout(timeoutMsecs);
    // Asking for the plain body keeps a compressed reply from expanding past the size bound.
    request.setRawHeader("Accept-Encoding", "identity");

    QNetworkReply *reply = get(request);
    pendingReply = reply;
    replyBody.clear();
    // The network layer waits for us to drain its small buffer, so memory stays bounded.
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maximumReplySize)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { drainReply(reply); });
    deadline->start(timeoutMsecs);
}

// Returns false once the reply has grown past the size bound (and has been abandoned).
bool UpdateCheckManager::drainReply(QNetworkReply *reply)
{
    if (reply != pendingReply)
        return false;
    replyBody += reply->read(maximumReplySize + 1 - replyBody.size());
    if (replyBody.size() <= maximumReplySize)
        return true;
    replyBody.clear();
    if (reply->isRunning())
        reply->abort();
    return false;
}

void UpdateCheckManager::endCheck()
{
    if (ended)
        return;
    ended = true;
    deadline->stop();
    pendingReply = nullptr;
    emit checkEnded();
}

void UpdateCheckManager::checkForUpdateNetworkReplyFinished(QNetworkReply *networkReply)
{
    if (!networkReply)
        return;
    if (ended || networkReply != pendingReply) {
        networkReply->deleteLater();
        return;
    }
    deadline->stop();
    const bool complete = networkReply->error() == QNetworkReply::NoError && drainReply(networkReply);
    pendingReply = nullptr;
    QByteArray data;
    data.swap(replyBody);

    if (!complete) {
        networkReply->deleteLater();
        endCheck();
        return;
    }

    if (serverUrl.isEmpty()) {
        if (!readHostsList(data)) {
            if (hostIndex + 1 < updateHostsList.size()) {
                ++hostIndex;
                sendRequest(QUrl(QStringLiteral("http://") + updateHostsList.at(hostIndex)));
            } else {
                endCheck();
            }
        }
        networkReply->deleteLater();
        return;
    }

    compareVersionFile(data);
    networkReply->deleteLater();
}

// Returns true once the list has named the update server and its version file is requested.
bool UpdateCheckManager::readHostsList(const QByteArray &data)
{
    QXmlStreamReader xml(data);
    while (!xml.atEnd() && !xml.hasError()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() != QLatin1String("NAME"))
            continue;
        if (xml.readElementText() != QLatin1String("UpdateServer"))
            continue;
        if (xml.readNextStartElement() && xml.name() == QLatin1String("ADDRESS")) {
            const QString address = xml.readElementText();
            if (xml.hasError())
                return false;
            serverUrl = QUrl(QStringLiteral("http://") + address + QLatin1String(versionFilePath));
            sendRequest(serverUrl);
            return true;
        }
    }
    return false;
}

void UpdateCheckManager::compareVersionFile(const QByteArray &data)
{
    quint32 remoteBuild = 0;
    VersionNumber remoteVersion;
    for (int start = 0; start < data.size();) {
        int end = data.indexOf('\n', start);
        end = end < 0 ? data.size() : end + 1;
        const QByteArray line = data.mid(start, end - start);
        start = end;
        if (line.startsWith(buildNumberKey)) {
            remoteBuild = parseBuildNumber(quotedValue(line));
        } else if (line.startsWith(versionKey)) {
            remoteVersion = parseVersion(quotedValue(line));
        }
        if (remoteVersion.major > 0 && remoteBuild != 0)
            break;
    }

    const VersionNumber localVersion = parseVersion(localVersionPrefix + localChangelistNumber);
    const quint32 localBuild = parseBuildNumber(localChangelistNumber);

    // Field by field on purpose, as every released build does: the server's file is published for that rule.
    const bool newer = remoteVersion.major > localVersion.major
            || remoteVersion.minor > localVersion.minor
            || remoteBuild > localBuild;
    if (newer) {
        const QString link = QStringLiteral("<a href=\"%1\">%2</a>")
                .arg(QCoreApplication::translate("CHostAppSpinwright",
                                                "https://www.marvolix.com/downloads/spinwright"),
                     QCoreApplication::translate("CHostAppSpinwright", "Download latest version"));
        emit updateAvailable(
                QCoreApplication::translate("CHostAppSpinwright", "An updated version is available"),
                link);
    }
    endCheck();
}
