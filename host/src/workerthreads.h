#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

// Threads that run jobs for a GUI-thread object. A job runs on a worker and returns what is to
// happen with its result; that runs on the receiver's thread, queued. Jobs and their results pass
// under one std::mutex (not a Qt mutex: ThreadSanitizer sees through the one, not the other), so
// whatever a job captured or returned needs no lock of its own.
class WorkerThreads
{
public:
    using Finish = std::function<void()>;
    using Job = std::function<Finish()>;

    // receiver owns this object (a member of it or of its private part), so that no finish is
    // queued for it after both are gone.
    WorkerThreads(QObject *receiver, int threadCount);
    // Drops the jobs still waiting and waits for those running; their finishes never run.
    ~WorkerThreads();

    void start(Job job);
    int threadCount() const { return int(threads.size()); }

private:
    void work();
    void deliver();

    QObject *receiver;
    std::mutex lock;
    std::condition_variable wake;
    // Under lock.
    std::deque<Job> jobs;
    std::deque<Finish> finished;
    bool stopping = false;
    std::vector<std::thread> threads;
};
