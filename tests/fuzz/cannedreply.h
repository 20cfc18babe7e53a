#pragma once

#include <QNetworkReply>
#include <QTimer>

// A finished HTTP reply with a fixed body, delivered through the event loop like a real one.
class CannedReply : public QNetworkReply
{
public:
    CannedReply(const QNetworkRequest &request, const QByteArray &body, QObject *parent)
        : QNetworkReply(parent)
        , body(body)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(QNetworkAccessManager::GetOperation);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QTimer::singleShot(0, this, [this] {
            emit metaDataChanged();
            emit readyRead();
            setFinished(true);
            emit finished();
        });
    }

    void abort() override
    {
        offset = body.size();
        setError(OperationCanceledError, QStringLiteral("aborted"));
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return body.size() - offset + QNetworkReply::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(body.size()) - offset);
        if (n <= 0)
            return isFinished() ? -1 : 0;
        memcpy(data, body.constData() + offset, size_t(n));
        offset += n;
        return n;
    }

private:
    QByteArray body;
    qint64 offset = 0;
};
