#pragma once

#include "zlcamerahardware.h"

#include <chrono>
#include <memory>

// A camera on the computer's USB (PTP, and every model libgphoto2 drives), through libgphoto2.
// One worker thread per object makes every libgphoto2 call; every report comes from that thread
// through the SDK's hooks, so the host hands them to its GUI thread itself.
//
// searchAvailableCameras(): lists attached cameras and reports them through
//   availableCamerasDidSearched as "<model> (USB 001,004)": the model libgphoto2 knows, or the
//   camera's own USB product name where libgphoto2 knows it only as a generic PTP camera.
// openHardware(index): opens the index-th camera of the last search; reports
//   hardwareOpenSucceeded, or hardwareDisconnected with lastError() saying why (in use by
//   another program, no access to the device, gone). Opening another index closes the first.
// captureImage(text): true when the capture is under way (false at once, with lastError(), when
//   no camera is open or a capture is still running); returns at once. A non-empty text is the
//   path stem of the picture: each file the camera makes is stored at text plus the file's
//   extension in lower case ("/spin/07_135.0" gives "/spin/07_135.0.jpg", and for RAW+JPEG
//   ".cr3" as well), whatever the camera calls it; missing folders are made. Each file is
//   written beside its final name and renamed into place once the camera reports the capture
//   complete; then capturedImageSaved(path) for each, then captureFinished(text, true).
//   An empty text leaves the picture on the camera's card only (nothing is downloaded).
//   Any failure (refused: card full, no card, busy; download broken; camera gone) gives
//   captureFinished(text, false) with the camera's reason in lastError() and stores nothing.
//   A capture the camera does not complete within captureTimeout() (30 s) plus the exposure
//   set on the camera fails the same way, and the camera stays usable.
//   Pictures stay on the card after download unless setDeleteFromCardAfterDownload(true).
// cameraQueryA(): whether the open camera has live view. cameraCommand(): live view on or off.
//   While on, frames arrive at the camera's pace up to 15 a second: previewInfoIsChanged
//   (colour model 3, 32 bits, when the size changes, and before the first frame) then
//   previewPixelsAcquired (rows of width * 4 bytes). Captures pause it. Off (and on closing)
//   the camera's own live view is switched off too ("viewfinder", or PTP's EnabledStreams).
// cameraQueryB(): true: this camera reports every capture through captureFinished.
// A camera unplugged while open is reported through hardwareDisconnected (lastError() says it
//   is gone), also in the middle of a capture, which then ends with captureFinished(false); a
//   new search finds it again once it is back.
// browseDcimItems(): every folder of the camera holding files ("/store_00010001/DCIM/100CANON")
//   to the names of those files. downloadDcimItem(cameraPath, localPath): copies the file
//   "<folder>/<name>" to localPath (written beside it and renamed). Both wait for a capture
//   under way to end first.
class ZLTetheredCamera : public ZLCameraHardware
{
public:
    ZLTetheredCamera();
    // Closes the camera; a capture under way is abandoned without a report.
    ~ZLTetheredCamera() override;

    void searchAvailableCameras() override;
    void openHardware(size_t index) override;
    bool cameraQueryA() override;
    bool cameraQueryB() override;
    void cameraCommand() override;
    bool captureImage(QString text) override;
    bool browseDcimItems(std::map<QString, std::list<QString>> *items) const override;
    bool downloadDcimItem(QString item, QString destination) const override;

    bool liveViewOn() const;
    void setCaptureTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds captureTimeout() const;
    void setDeleteFromCardAfterDownload(bool remove);

    struct Private;

private:
    Q_DISABLE_COPY(ZLTetheredCamera)
    std::unique_ptr<Private> d;
};
