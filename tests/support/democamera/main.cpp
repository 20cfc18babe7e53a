// spinwright-demo-camera COMMAND [ARGUMENT...]
// Puts one emulated PTP camera on an emulated USB bus and runs COMMAND with the bus in its
// environment, so that whatever it runs (Spinwright, gphoto2) finds the camera. Each capture
// stores a 1280x960 test card numbered by the capture, "IMG_0001.JPG" and on; live view runs.
// Must itself run under libumockdev-preload (LD_PRELOAD), which the command inherits.
#include "emulatedptpcamera.h"
#include "ptptestimage.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

volatile sig_atomic_t child = 0;

void forward(int signal)
{
    if (child > 0)
        kill(pid_t(child), signal);
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--") == 0)
        ++first;
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--] COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    EmulatedPtpCamera &bus = EmulatedPtpCamera::instance();
    EmulatedPtpCamera::Identity identity;
    identity.model = "Spinwright Demo Camera";
    const int slot = bus.plug(identity);
    bus.setCaptureGenerator(slot, [](int n) {
        char name[16];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", n % 10000);
        return std::vector<EmulatedPtpCamera::File>{{name, PtpTestImage::testCard(1280, 960, n)}};
    });
    // A real camera takes a moment to expose and to hand the file over.
    bus.setTiming(slot, std::chrono::milliseconds(300), std::chrono::milliseconds(100));
    std::fprintf(stderr, "%s: \"%s\" attached at %s\n", argv[0], identity.model.c_str(), bus.usbPort(slot).c_str());

    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "%s: cannot run %s: %s\n", argv[0], argv[first], std::strerror(errno));
        _exit(127);
    }
    child = pid;
    // Ctrl+C reaches the command through the terminal; the camera stays until it has ended.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, forward);
    std::signal(SIGHUP, forward);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
