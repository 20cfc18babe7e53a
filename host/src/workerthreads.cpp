#include "workerthreads.h"

#include <QMetaObject>
#include <QObject>

WorkerThreads::WorkerThreads(QObject *receiver, int threadCount)
    : receiver(receiver)
{
    for (int i = 0; i < threadCount; ++i)
        threads.emplace_back([this] { work(); });
}

WorkerThreads::~WorkerThreads()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    for (std::thread &thread : threads)
        thread.join();
}

void WorkerThreads::start(Job job)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void WorkerThreads::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        Finish finish = job();
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping)
                return;
            finished.push_back(std::move(finish));
        }
        // The receiver owns this object: once both are gone Qt drops the queued call.
        QMetaObject::invokeMethod(receiver, [this] { deliver(); }, Qt::QueuedConnection);
    }
}

void WorkerThreads::deliver()
{
    std::deque<Finish> ready;
    {
        std::lock_guard<std::mutex> guard(lock);
        ready.swap(finished);
    }
    for (Finish &finish : ready) {
        if (finish)
            finish();
    }
}
