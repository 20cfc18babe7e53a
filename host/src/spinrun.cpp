#include "spinrun.h"

#include "camerareports.h"
#include "programsettings.h"
#include "spinpage.h"
#include "spinplan.h"
#include "spinrecorder.h"
#include "zlcamerahardware.h"
#include "zlturntablespins.h"

#include <QQuickItem>
#include <QVariant>

SpinRun::SpinRun(CameraReports *reports, QQuickItem *pageItem, ProgramSettings &settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , page(new SpinPage(pageItem, this))
    , pageItem(pageItem)
{
    connect(reports, &CameraReports::captureFinished, this, &SpinRun::onCaptureFinished);
    connect(reports, &CameraReports::imageSaved, this, &SpinRun::onImageSaved);
    connect(reports, &CameraReports::disconnected, this,
            [this](ZLCameraHardware *from, qulonglong) { onDisconnected(from); });
    connect(page, &SpinPage::nextRequested, this, &SpinRun::onNext);
    connect(page, &SpinPage::picturesFolderChosen, this, &SpinRun::onPicturesFolderChosen);
    page->showPicturesFolder(settings.effectivePicturesFolder());
}

SpinRun::~SpinRun() = default;

bool SpinRun::begin(const ZLTurntableSpins &spins, ZLCameraHardware *spinCamera, QQuickItem *turntablePanel)
{
    end(QStringLiteral("stopped"), QString());
    const SpinManifest::Spin plan = SpinPlan::make(spins, spins.turntable(), spinCamera, settings.camera, turntablePanel);
    auto next = std::make_shared<SpinRecorder>();
    QString problem;
    if (!next->begin(settings.effectivePicturesFolder(), plan, &problem)) {
        emit message(tr("Spin folder"), problem);
        return false;
    }
    record = next;
    camera = spinCamera;
    shotCount = next->shotCount();
    waitingShot = 0;
    waitingForUser = false;
    recordFailureTold = false;
    page->showShots(0, shotCount);
    page->showPicture(QString());
    return true;
}

bool SpinRun::isRecording() const
{
    return record && !record->hasEnded();
}

QString SpinRun::folder() const
{
    return record ? record->folder() : QString();
}

bool SpinRun::shoot(int shot, int count, bool manual)
{
    shotCount = count;
    if (!isRecording())
        return true;
    if (manual) {
        waitingShot = shot;
        waitingForUser = true;
        page->setWaitingForNext(true);
        return false;
    }
    // Without a record of it the shot must not be taken: the spin would go on unrecorded.
    if (!record->shotTriggered(shot)) {
        recordFailureTold = true;
        emit mustEnd(QStringLiteral("failed"), tr("Spin record"), record->lastError());
        return false;
    }
    if (!camera || !camera->cameraQueryB()) {
        // The cable's answer never stopped a spin; the record still says what it was.
        if (camera && !camera->captureImage(QString()))
            check(record->shotFinished(shot, false, camera->lastError()), record);
        taken(shot);
        return true;
    }
    const QString stem = record->pictureStem(shot);
    pending.insert(stem, Pending{record, shot, camera});
    if (!camera->captureImage(stem)) {
        pending.remove(stem);
        const QString reason = camera->lastError();
        check(record->shotFinished(shot, false, reason), record);
        emit mustEnd(QStringLiteral("failed"), tr("Capture failed"), reason);
        return false;
    }
    waitingShot = shot;
    return false;
}

void SpinRun::taken(int shot)
{
    waitingShot = 0;
    waitingForUser = false;
    if (pageItem && shotCount > 0)
        QMetaObject::invokeMethod(pageItem, "setProgressValue", Qt::QueuedConnection,
                                  Q_ARG(QVariant, QVariant(float(shot) / float(shotCount))));
    page->showShots(shot, shotCount);
}

void SpinRun::end(const QString &state, const QString &text)
{
    if (waitingForUser)
        page->setWaitingForNext(false);
    waitingShot = 0;
    waitingForUser = false;
    if (isRecording())
        check(record->end(state, text), record);
}

void SpinRun::onNext()
{
    if (!waitingForUser || !isRecording())
        return;
    const int shot = waitingShot;
    page->setWaitingForNext(false);
    // The user has taken the picture: its time is when they said so.
    check(record->shotTriggered(shot), record);
    taken(shot);
    emit shotTaken();
}

void SpinRun::onPicturesFolderChosen(const QString &folder)
{
    settings.picturesFolder = folder;
    page->showPicturesFolder(settings.effectivePicturesFolder());
}

void SpinRun::onCaptureFinished(ZLCameraHardware *from, const QString &text, bool success)
{
    const auto it = pending.find(text);
    if (it == pending.end() || it->camera != from)
        return;
    const Pending done = it.value();
    pending.erase(it);
    const QString reason = success ? QString() : from->lastError();
    check(done.record->shotFinished(done.shot, success, reason), done.record);
    if (done.record != record || !isRecording() || waitingForUser || done.shot != waitingShot)
        return;
    if (!success) {
        waitingShot = 0;
        emit mustEnd(QStringLiteral("failed"), tr("Capture failed"), reason);
        return;
    }
    taken(done.shot);
    emit shotTaken();
}

void SpinRun::onImageSaved(ZLCameraHardware *from, const QString &path)
{
    // The camera stores at the stem plus its own extension.
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it->camera != from || !path.startsWith(it.key() + QLatin1Char('.')))
            continue;
        check(it->record->fileSaved(it->shot, path), it->record);
        if (it->record == record)
            page->showPicture(path);
        return;
    }
}

void SpinRun::onDisconnected(ZLCameraHardware *from)
{
    if (!isRecording() || from != camera)
        return;
    QString reason = camera->lastError();
    if (reason.isEmpty())
        reason = tr("Camera disconnected");
    emit mustEnd(QStringLiteral("disconnected"), tr("Camera disconnected"), reason);
}

void SpinRun::check(bool written, const std::shared_ptr<SpinRecorder> &writtenTo)
{
    // fileSaved refuses a path outside the pictures folder without a write error.
    if (written || writtenTo->lastError().isEmpty() || writtenTo != record || recordFailureTold)
        return;
    recordFailureTold = true;
    // Told from the event loop: the listener ends the spin, which must not happen mid-call.
    const QString reason = writtenTo->lastError();
    QMetaObject::invokeMethod(this, [this, reason] {
        if (isRecording())
            emit mustEnd(QStringLiteral("failed"), tr("Spin record"), reason);
        else
            emit message(tr("Spin record"), reason);
    }, Qt::QueuedConnection);
}
