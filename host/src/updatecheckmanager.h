#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QUrl>

class QNetworkReply;
class QTimer;

// Asks the update servers once, in the background, whether a newer build exists.
//
// Contract with the controller (GUI thread only):
//   updateManager = new UpdateCheckManager(versionPrefix, changelistNumber);   // no parent
//   connect(updateManager, &UpdateCheckManager::updateAvailable, this,
//           [this](const QString &title, const QString &text) { showMessageDialog(root, text, title); });
//   connect(updateManager, &UpdateCheckManager::checkEnded, this,
//           [this] { updateManager->deleteLater(); updateManager = nullptr; });
//   updateManager->start();
// - start() returns at once; every reply arrives later through the event loop.
// - updateAvailable is emitted at most once, before checkEnded, with the texts to show.
// - checkEnded is emitted exactly once, always from the event loop (never from start()),
//   after success and after every failure alike. Release the manager with deleteLater(),
//   never with delete from a slot connected to its signals. Deleting it earlier (for example
//   from the controller's destructor) cancels the check without any signal.
class UpdateCheckManager : public QNetworkAccessManager
{
    Q_OBJECT

public:
    // The local version is compared field by field: prefix "v.3.0." with build "30108".
    UpdateCheckManager(const QString &versionPrefix, const QString &changelistNumber,
                       QObject *parent = nullptr);
    ~UpdateCheckManager() override;

    // Host name plus "/vemo-hosts.xml" for each location, tried in order; "http://" is prepended.
    static QStringList defaultHostsListLocations();
    // Takes effect only before start(); at most 255 locations are used.
    void setHostsListLocations(const QStringList &locations);
    QStringList hostsListLocations() const;

    // Upper bound of each request, redirects included; a late reply ends the check.
    void setRequestTimeout(int msecs);
    int requestTimeout() const;

    // A reply longer than this is abandoned and ends the check.
    static constexpr qint64 maximumReplySize = 256 * 1024;
    static constexpr int maximumRedirects = 4;

    quint8 currentHostIndex() const { return hostIndex; }
    // Address of the version file once a hosts list has named the update server.
    QUrl versionFileUrl() const { return serverUrl; }
    bool hasEnded() const { return ended; }

    // Sends the first request. Calling it again does nothing.
    void start();

signals:
    void updateAvailable(const QString &title, const QString &text);
    void checkEnded();

public slots:
    void checkForUpdateNetworkReplyFinished(QNetworkReply *networkReply);

private:
    void sendRequest(const QUrl &url);
    void endCheck();
    bool drainReply(QNetworkReply *reply);
    bool readHostsList(const QByteArray &data);
    void compareVersionFile(const QByteArray &data);

    quint8 hostIndex = 0;
    QUrl serverUrl;

    QStringList updateHostsList;
    QString localVersionPrefix;
    QString localChangelistNumber;
    int timeoutMsecs = 10000;
    QTimer *deadline = nullptr;
    QNetworkReply *pendingReply = nullptr;
    QByteArray replyBody; // what has arrived of pendingReply, never more than maximumReplySize
    bool started = false;
    bool ended = false;
};
