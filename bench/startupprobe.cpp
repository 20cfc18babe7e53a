// Preloaded into a Qt Quick program: at the first frame of a window whose page has loaded it
// prints the monotonic clock, the peak RSS, the window size and the CPU time used, then ends the
// process at once.
#include <QCoreApplication>
#include <QEvent>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

void report(QQuickWindow *window)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long cpuUs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000L + usage.ru_utime.tv_usec
                       + usage.ru_stime.tv_usec;
    std::fprintf(stderr, "startupprobe ready_ns=%lld maxrss_kb=%ld size=%dx%d cpu_us=%ld\n",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
                 usage.ru_maxrss, window->width(), window->height(), cpuUs);
    std::fflush(stderr);
    _exit(0);
}

bool pageLoaded(QQuickWindow *window)
{
    if (auto *view = qobject_cast<QQuickView *>(window))
        return view->status() == QQuickView::Ready && view->rootObject();
    return !window->contentItem()->childItems().isEmpty();
}

class Watcher : public QObject
{
public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Expose) {
            auto *window = qobject_cast<QQuickWindow *>(object);
            if (window && !window->property("startupprobe").toBool()) {
                window->setProperty("startupprobe", true);
                connect(window, &QQuickWindow::frameSwapped, window, [window] {
                    if (pageLoaded(window))
                        report(window);
                }, Qt::DirectConnection);
            }
        }
        return false;
    }
};

void install()
{
    QCoreApplication::instance()->installEventFilter(new Watcher);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
