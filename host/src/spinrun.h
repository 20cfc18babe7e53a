#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class CameraReports;
class ProgramSettings;
class QQuickItem;
class SpinPage;
class SpinRecorder;
class ZLCameraHardware;
class ZLTurntableHardware;
class ZLTurntableSpins;

// The pictures of one spin: takes each shot with the spin's camera (or waits for the user in
// manual capture), keeps the spin's folder and record, and shows the shots on the main page.
// A camera that reports its captures (cameraQueryB()) is given the picture's path stem, and its
// shot counts as taken only when its captureFinished arrives, so that nothing moves while it
// exposes or downloads. The shutter-release cable fires and forgets, as it always has.
// GUI thread only; the camera's reports come through CameraReports, already queued.
class SpinRun : public QObject
{
    Q_OBJECT

public:
    // settings: where spins go ("picturesFolder") and the camera's name; outlives this object.
    SpinRun(CameraReports *reports, QQuickItem *page, ProgramSettings &settings, QObject *parent = nullptr);
    ~SpinRun() override;

    // A new folder and record for the spin the settings describe; camera may be null (nothing is
    // fired). False after telling the user why (path and reason) through message.
    bool begin(const ZLTurntableSpins &spins, ZLCameraHardware *camera, QQuickItem *turntablePanel);
    // Shot (1-based) of count at the table's present angle. True when it is taken at once (the
    // cable); false when it is awaited (then shotTaken follows) or failed (mustEnd followed).
    bool shoot(int shot, int count, bool manual);
    // Ends the record; a capture under way is still recorded when its report comes, but nothing
    // more is announced for it.
    void end(const QString &state, const QString &text);

    // A capture or the user's Next is awaited.
    bool isWaiting() const { return waitingShot > 0; }
    bool isRecording() const;
    QString folder() const;

signals:
    // The picture awaited is there: the cycle goes on.
    void shotTaken();
    // The spin cannot go on: the camera failed or left, or the record cannot be written. The
    // listener ends the spin with state and shows text under title.
    void mustEnd(const QString &state, const QString &title, const QString &text);
    // For the user: the spin could not begin, or its ended record could not be written.
    void message(const QString &title, const QString &text);

private:
    void onCaptureFinished(ZLCameraHardware *camera, const QString &text, bool success);
    void onImageSaved(ZLCameraHardware *camera, const QString &path);
    void onDisconnected(ZLCameraHardware *camera);
    void onNext();
    void onPicturesFolderChosen(const QString &folder);
    void taken(int shot);
    // A write of the record failed: the spin must not go on unrecorded.
    void check(bool written, const std::shared_ptr<SpinRecorder> &writtenTo);

    struct Pending
    {
        std::shared_ptr<SpinRecorder> record;
        int shot = 0;
        ZLCameraHardware *camera = nullptr;
    };
    // Captures asked for and not yet finished, by the stem they were given; a stopped spin's
    // capture stays here until its report arrives.
    QHash<QString, Pending> pending;
    std::shared_ptr<SpinRecorder> record;
    ProgramSettings &settings;
    SpinPage *page = nullptr;
    QQuickItem *pageItem = nullptr;
    ZLCameraHardware *camera = nullptr;
    int waitingShot = 0;
    int shotCount = 0;
    bool waitingForUser = false;
    bool recordFailureTold = false;
};
