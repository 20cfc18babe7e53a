#include "spinpage.h"

#include "pagecalls.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QQuickItem>
#include <QUrl>
#include <QVariantList>

SpinPage::SpinPage(QQuickItem *page, QObject *parent)
    : QObject(parent)
    , page(page)
{
    if (!page)
        return;
    const QMetaObject *meta = page->metaObject();
    if (meta->indexOfSignal("nextShotRequested()") >= 0)
        connect(page, SIGNAL(nextShotRequested()), this, SIGNAL(nextRequested()));
    if (meta->indexOfSignal("picturesFolderChosen(QUrl)") >= 0)
        connect(page, SIGNAL(picturesFolderChosen(QUrl)), this, SLOT(onPicturesFolderChosen(QUrl)));
}

void SpinPage::showPicturesFolder(const QString &folder)
{
    PageCalls::invoke(page, "setPicturesFolder", QDir::toNativeSeparators(folder));
}

void SpinPage::showShots(int taken, int total)
{
    PageCalls::invoke(page, "setShotsTaken", QVariantList{taken, total});
}

void SpinPage::showPicture(const QString &path)
{
    // Of a raw file and its JPEG the page can show only the one Qt reads.
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (!path.isEmpty() && !QImageReader::supportedImageFormats().contains(suffix))
        return;
    PageCalls::invoke(page, "setLastPicture", QUrl::fromLocalFile(path));
}

void SpinPage::setWaitingForNext(bool waiting)
{
    PageCalls::invoke(page, "setWaitingForNext", waiting);
}

void SpinPage::onPicturesFolderChosen(const QUrl &folder)
{
    // Only a folder on this computer can hold a spin.
    if (folder.isLocalFile() && !folder.toLocalFile().isEmpty())
        emit picturesFolderChosen(QDir::cleanPath(folder.toLocalFile()));
}
