#pragma once

#include <QImage>
#include <QString>

#include <chrono>
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>

// The one thread that drives libgphoto2 for one camera object: a queue of jobs (search, open,
// capture and download, storage listing and download, live view on and off) run in order, and
// between jobs a live view frame at most every 1/15 s or, with a camera open, a look at its
// events every half second (which is how an unplugged idle camera is noticed).
//
// Threads: the public calls may come from any thread and only queue work or read atomics; the
// worker (named "tethered-cam") owns the GphotoCamera and everything it returns; the listener
// is called on the worker.
class TetheredCameraWorker
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void camerasFound(const std::list<std::string> &names) = 0;
        virtual void opened(size_t index) = 0;
        virtual void openFailed(size_t index, const QString &error) = 0;
        virtual void disconnected(size_t index, const QString &error) = 0;
        virtual void pictureStored(const QString &path) = 0;
        virtual void captureEnded(const QString &text, bool success, const QString &error) = 0;
        // Valid while the call runs; Format_RGB32.
        virtual void previewFrame(const QImage &frame) = 0;
    };

    explicit TetheredCameraWorker(Listener *listener);
    // Ends the job running (a capture within its bound), closes the camera and joins.
    ~TetheredCameraWorker();

    void search();
    void open(size_t index);
    // False (and *error set) while another capture is queued or running, or no camera is open.
    bool capture(const QString &text, QString *error);
    void setLiveView(bool on);

    // Run as jobs and waited for: they come after whatever is queued.
    bool browse(std::map<QString, std::list<QString>> *items, QString *error);
    bool download(const QString &cameraPath, const QString &localPath, QString *error);

    bool isOpen() const;
    bool hasLiveView() const;
    bool liveViewOn() const;
    // What the last setLiveView asked for; on comes into force once a camera with live view is open.
    bool liveViewWanted() const;

    // How long a capture may take beyond the camera's exposure before it counts as failed.
    void setCaptureTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds captureTimeout() const;
    void setDeleteAfterDownload(bool remove);

    struct Private;

private:
    std::unique_ptr<Private> d;
};
