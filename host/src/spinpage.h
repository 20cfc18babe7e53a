#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QQuickItem;

// What the main page shows of a spin under way besides its progress: the pictures folder, the
// shots taken ("n of N"), the last picture, and the "Next" of manual capture; and what the user
// asks of it there. A page without one of these functions or signals (an older page, a test's
// stand-in) lacks that part, without a warning.
class SpinPage : public QObject
{
    Q_OBJECT

public:
    explicit SpinPage(QQuickItem *page, QObject *parent = nullptr);

    void showPicturesFolder(const QString &folder);
    void showShots(int taken, int total);
    // A picture the page cannot read (a raw file) leaves the last one shown; empty clears it.
    void showPicture(const QString &path);
    void setWaitingForNext(bool waiting);

signals:
    // Next, or the space bar, while the spin waits for the user.
    void nextRequested();
    // An absolute local path.
    void picturesFolderChosen(const QString &folder);

private slots:
    void onPicturesFolderChosen(const QUrl &folder);

private:
    QPointer<QQuickItem> page;
};
