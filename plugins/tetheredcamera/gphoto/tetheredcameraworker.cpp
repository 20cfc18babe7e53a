#include "tetheredcameraworker_p.h"

#include "cameraerrortext.h"
#include "picturefiles.h"
#include "usbproductname.h"

#include <gphoto2/gphoto2-result.h>

#include <QCoreApplication>

#include <future>

#include <pthread.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr auto frameInterval = std::chrono::microseconds(1000000 / 15);
constexpr auto pollInterval = 500ms;
// libgphoto2 spins while it waits for events on some links: look briefly, then sleep on the queue.
constexpr int pollWaitMs = 10;
// Folder walks stop there: a card is a few levels deep, a loop in a broken listing is not.
constexpr int maxFolderDepth = 8;
constexpr int maxListedFiles = 100000;

QString tr(const char *text)
{
    return QCoreApplication::translate("ZLTetheredCamera", text);
}

} // namespace

TetheredCameraWorker::TetheredCameraWorker(Listener *listener)
    : d(std::make_unique<Private>(listener))
{
    d->thread = std::thread([this] { d->run(); });
}

TetheredCameraWorker::~TetheredCameraWorker()
{
    {
        std::lock_guard<std::mutex> guard(d->lock);
        d->stopping = true;
    }
    d->quitting = true;
    d->wake.notify_all();
    d->thread.join();
}

void TetheredCameraWorker::search()
{
    d->post([this] { d->searchNow(); });
}

void TetheredCameraWorker::open(size_t index)
{
    d->post([this, index] { d->openNow(index); });
}

bool TetheredCameraWorker::capture(const QString &text, QString *error)
{
    if (!d->open) {
        *error = tr("No camera is open.");
        return false;
    }
    bool expected = false;
    if (!d->capturing.compare_exchange_strong(expected, true)) {
        *error = tr("The camera is still taking the previous picture.");
        return false;
    }
    d->post([this, text] { d->captureNow(text); });
    return true;
}

void TetheredCameraWorker::setLiveView(bool on)
{
    d->liveViewWanted = on;
    d->post([this, on] {
        const bool was = d->liveView;
        d->liveView = on && d->session && d->session->isOpen() && d->session->hasLiveView();
        d->nextFrame = Private::Clock::now();
        // Left on, a camera keeps its mirror up and its sensor busy; a failure only costs that.
        if (was && !d->liveView)
            d->lostIf(d->session->endPreview());
    });
}

bool TetheredCameraWorker::browse(std::map<QString, std::list<QString>> *items, QString *error)
{
    // Stays so when the job never runs: the camera object is being closed.
    *error = tr("The camera was closed.");
    d->call([&] {
        error->clear();
        d->browseNow(items, error);
    });
    return error->isEmpty();
}

bool TetheredCameraWorker::download(const QString &cameraPath, const QString &localPath, QString *error)
{
    bool ok = false;
    *error = tr("The camera was closed.");
    d->call([&] {
        error->clear();
        d->downloadNow(cameraPath, localPath, error, &ok);
    });
    return ok;
}

bool TetheredCameraWorker::isOpen() const
{
    return d->open;
}

bool TetheredCameraWorker::hasLiveView() const
{
    return d->open && d->hasLiveViewFlag;
}

bool TetheredCameraWorker::liveViewOn() const
{
    return d->liveView;
}

bool TetheredCameraWorker::liveViewWanted() const
{
    return d->liveViewWanted;
}

void TetheredCameraWorker::setCaptureTimeout(std::chrono::milliseconds timeout)
{
    d->timeoutMs = timeout.count();
}

std::chrono::milliseconds TetheredCameraWorker::captureTimeout() const
{
    return std::chrono::milliseconds(d->timeoutMs.load());
}

void TetheredCameraWorker::setDeleteAfterDownload(bool remove)
{
    d->deleteAfterDownload = remove;
}

void TetheredCameraWorker::Private::post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stopping)
            return;
        jobs.push_back(std::move(job));
    }
    wake.notify_all();
}

void TetheredCameraWorker::Private::call(const std::function<void()> &job)
{
    if (std::this_thread::get_id() == thread.get_id()) {
        job();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([&job, done] {
        job();
        done->set_value();
    });
    // A job dropped at shut-down never runs; the promise then dies unset and wait() returns.
    finished.wait();
}

void TetheredCameraWorker::Private::run()
{
    // Named for debuggers, top and the benchmark that reads this thread's CPU time.
    pthread_setname_np(pthread_self(), "tethered-cam");
    GphotoCamera camera;
    session = &camera;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> guard(lock);
            const Clock::time_point until = liveView ? nextFrame : open ? nextPoll : Clock::time_point::max();
            wake.wait_until(guard, until, [this, until] { return stopping || !jobs.empty() || Clock::now() >= until; });
            if (stopping)
                break;
            if (!jobs.empty()) {
                job = std::move(jobs.front());
                jobs.pop_front();
            }
        }
        if (job)
            job();
        else if (liveView)
            previewNow();
        else if (open)
            pollEvents();
    }
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> guard(lock);
        dropped.swap(jobs);
    }
    dropped.clear();
    if (liveView)
        camera.endPreview();
    camera.close();
    open = false;
    session = nullptr;
}

QString TetheredCameraWorker::Private::cameraName() const
{
    return QString::fromStdString(session->openCamera().model);
}

bool TetheredCameraWorker::Private::lostIf(int result)
{
    // Answers of a camera that is there: it refused, is busy, or lacks the operation.
    if (result >= GP_OK || result == GP_ERROR || result == GP_ERROR_CAMERA_BUSY || result == GP_ERROR_NOT_SUPPORTED
        || result == GP_ERROR_DIRECTORY_NOT_FOUND || result == GP_ERROR_FILE_NOT_FOUND || !session->isOpen())
        return false;
    if (session->stillAttached())
        return false;
    lose();
    return true;
}

void TetheredCameraWorker::Private::lose()
{
    const QString text = CameraErrorText::gone(cameraName());
    const size_t index = openIndex;
    session->close();
    open = false;
    liveView = false;
    openIndex = SIZE_MAX;
    listener->disconnected(index, text);
}

void TetheredCameraWorker::Private::searchNow()
{
    int result = GP_OK;
    lastSearch = session->detect(&result);
    std::list<std::string> names;
    for (const GphotoCamera::Detected &camera : lastSearch) {
        std::string where = camera.port;
        // "usb:001,004" reads "USB 001,004"
        if (where.rfind("usb:", 0) == 0)
            where = "USB " + where.substr(4);
        names.push_back(camera.model + " (" + where + ")");
    }
    listener->camerasFound(names);
}

void TetheredCameraWorker::Private::openNow(size_t index)
{
    if (index >= lastSearch.size()) {
        listener->openFailed(index, tr("There is no camera number %1: search for cameras again.").arg(index + 1));
        return;
    }
    if (session->isOpen()) {
        if (openIndex == index && session->openCamera().port == lastSearch[index].port) {
            listener->opened(index);
            return;
        }
        session->close();
        open = false;
        liveView = false;
    }
    const GphotoCamera::Detected wanted = lastSearch[index];
    const int result = session->open(wanted);
    if (result < GP_OK) {
        const std::string node = usbDeviceNode(wanted.port);
        const bool attached = GphotoCamera::portListed(wanted.port);
        const bool accessible = node.empty() || ::access(node.c_str(), R_OK | W_OK) == 0;
        listener->openFailed(index, CameraErrorText::openFailed(QString::fromStdString(wanted.model), result,
                                                                session->lastMessage(), attached, accessible));
        return;
    }
    openIndex = index;
    hasLiveViewFlag = session->hasLiveView();
    open = true;
    liveView = liveViewWanted && hasLiveViewFlag;
    nextPoll = Clock::now() + pollInterval;
    listener->opened(index);
}

void TetheredCameraWorker::Private::previewNow()
{
    const Clock::time_point started = Clock::now();
    nextFrame = started + frameInterval;
    QByteArray jpeg;
    const int result = session->preview(&jpeg);
    if (result < GP_OK) {
        if (!lostIf(result) && result == GP_ERROR_NOT_SUPPORTED) {
            hasLiveViewFlag = false;
            liveView = false;
        }
        return;
    }
    QImage frame = QImage::fromData(jpeg, "JPEG");
    if (frame.isNull())
        return;
    frame = frame.convertToFormat(QImage::Format_RGB32);
    listener->previewFrame(frame);
}

void TetheredCameraWorker::Private::pollEvents()
{
    nextPoll = Clock::now() + pollInterval;
    // Files the photographer takes with the camera's own button stay on its card.
    for (int i = 0; i < 16; ++i) {
        GphotoCamera::Event event;
        const int result = session->waitForEvent(pollWaitMs, &event);
        if (result < GP_OK) {
            lostIf(result);
            return;
        }
        if (event.kind == GphotoCamera::Event::Timeout)
            return;
    }
}

void TetheredCameraWorker::Private::browseNow(std::map<QString, std::list<QString>> *items, QString *error)
{
    if (!session->isOpen()) {
        *error = tr("No camera is open.");
        return;
    }
    int listed = 0;
    std::function<bool(const std::string &, int)> walk = [&](const std::string &folder, int depth) {
        std::vector<std::string> names;
        int result = session->listFiles(folder, &names);
        if (result < GP_OK) {
            *error = CameraErrorText::captureFailed(result, session->lastMessage());
            lostIf(result);
            return false;
        }
        if (!names.empty()) {
            std::list<QString> &files = (*items)[QString::fromStdString(folder)];
            for (const std::string &name : names)
                files.push_back(QString::fromStdString(name));
            listed += int(names.size());
        }
        if (depth >= maxFolderDepth || listed > maxListedFiles)
            return true;
        result = session->listFolders(folder, &names);
        if (result < GP_OK) {
            *error = CameraErrorText::captureFailed(result, session->lastMessage());
            lostIf(result);
            return false;
        }
        for (const std::string &name : names) {
            if (name.find('/') != std::string::npos || name == "." || name == "..")
                continue;
            if (!walk(folder == "/" ? "/" + name : folder + "/" + name, depth + 1))
                return false;
        }
        return true;
    };
    walk("/", 0);
}

void TetheredCameraWorker::Private::downloadNow(const QString &cameraPath, const QString &localPath, QString *error,
                                                bool *ok)
{
    if (!session->isOpen()) {
        *error = tr("No camera is open.");
        return;
    }
    const std::string path = cameraPath.toStdString();
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 >= path.size()) {
        *error = tr("\"%1\" names no file on the camera.").arg(cameraPath);
        return;
    }
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    QByteArray bytes;
    const QString camera = cameraName();
    const int result = session->download(folder, path.substr(slash + 1), &bytes);
    if (result < GP_OK) {
        *error = lostIf(result) ? CameraErrorText::gone(camera)
                                : tr("Cannot copy %1 from the camera: %2")
                                      .arg(cameraPath, QString::fromStdString(GphotoCamera::resultText(result)));
        return;
    }
    *ok = writePictureFile(localPath, bytes, error);
}
