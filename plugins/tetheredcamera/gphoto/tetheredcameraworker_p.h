#pragma once

#include "gphotocamera.h"
#include "tetheredcameraworker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct TetheredCameraWorker::Private
{
    using Clock = std::chrono::steady_clock;

    explicit Private(Listener *listener)
        : listener(listener)
    {
    }

    void run();
    void post(std::function<void()> job);
    // Runs job on the worker and waits for it; at once when already on the worker.
    void call(const std::function<void()> &job);

    // Worker only, from here to the atomics.
    void searchNow();
    void openNow(size_t index);
    void captureNow(const QString &text);
    void previewNow();
    void pollEvents();
    void browseNow(std::map<QString, std::list<QString>> *items, QString *error);
    void downloadNow(const QString &cameraPath, const QString &localPath, QString *error, bool *ok);
    // After a failed call: true (and the camera closed and reported) when it has left the bus.
    bool lostIf(int result);
    void lose();
    QString cameraName() const;

    Listener *const listener;
    GphotoCamera *session = nullptr;  // made on the worker: libgphoto2 is used from there only
    std::vector<GphotoCamera::Detected> lastSearch;
    size_t openIndex = SIZE_MAX;
    Clock::time_point nextFrame;
    Clock::time_point nextPoll;

    std::thread thread;
    std::mutex lock;                  // guards jobs and stopping
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;

    std::atomic<bool> open{false};
    std::atomic<bool> hasLiveViewFlag{false};
    std::atomic<bool> liveView{false};
    std::atomic<bool> liveViewWanted{false};
    std::atomic<bool> capturing{false};
    std::atomic<bool> quitting{false};
    std::atomic<long long> timeoutMs{30000};
    std::atomic<bool> deleteAfterDownload{false};
};
