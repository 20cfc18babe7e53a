// Start-up time and peak RSS of the host against a minimal Qt Quick program of the same window
// size. Both run with the probe preloaded, which reports at the first frame of the loaded page.
// Usage: spinwright-bench-startup <host> <minimal program> <probe library> [runs]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Start
{
    bool ok = false;
    double ms = 0;
    long rssKb = 0;
    int width = 0;
    int height = 0;
};

Start runOnce(const std::vector<std::string> &command, const std::string &probe, const std::string &home)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) != 0 && entry.rfind("XDG_DATA_HOME=", 0) != 0
            && entry.rfind("XDG_CONFIG_HOME=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("LD_PRELOAD=" + probe);
    env.push_back("SPINWRIGHT_D2XX_SIM=turntable:2");
    env.push_back("XDG_DATA_HOME=" + home + "/data");
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    if (!std::getenv("QT_QPA_PLATFORM"))
        env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("QT_QUICK_BACKEND=software");
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = command;
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return {};
    }

    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);

    Start result;
    const std::size_t at = output.find("startupprobe ready_ns=");
    long long readyNs = 0;
    if (at == std::string::npos
        || std::sscanf(output.c_str() + at, "startupprobe ready_ns=%lld maxrss_kb=%ld size=%dx%d", &readyNs,
                       &result.rssKb, &result.width, &result.height) != 4) {
        std::fprintf(stderr, "%s reported no ready page; its output:\n%s\n", argv[0], output.c_str());
        return {};
    }
    const long long startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(started.time_since_epoch()).count();
    result.ms = double(readyNs - startNs) / 1e6;
    result.ok = true;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <host> <minimal program> <probe library> [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    char pattern[] = "/tmp/spinwright-startup-XXXXXX";
    const char *home = mkdtemp(pattern);
    if (!home)
        return 1;

    // One run of the host first, for its window size.
    const Start first = runOnce({argv[1]}, argv[3], std::string(home) + "/0");
    if (!first.ok)
        return 1;
    const std::vector<std::string> minimal = {argv[2], std::to_string(first.width), std::to_string(first.height)};

    std::vector<double> hostMs, hostRss, minimalMs, minimalRss;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a change of machine load hits both alike; each host run starts afresh.
        const Start host = runOnce({argv[1]}, argv[3], std::string(home) + "/" + std::to_string(i + 1));
        const Start small = runOnce(minimal, argv[3], std::string(home) + "/m");
        if (!host.ok || !small.ok)
            return 1;
        hostMs.push_back(host.ms);
        hostRss.push_back(double(host.rssKb));
        minimalMs.push_back(small.ms);
        minimalRss.push_back(double(small.rssKb));
    }
    const double hm = median(hostMs), mm = median(minimalMs), hr = median(hostRss), mr = median(minimalRss);
    std::printf("row\tstart-up to main page ready (%dx%d), host/minimal Qt Quick\t%.4f\t"
                "host %.0f ms, minimal %.0f ms (medians of %d)\t<= 1.5\n",
                first.width, first.height, hm / mm, hm, mm, runs);
    std::printf("row\tpeak RSS at page ready, host/minimal Qt Quick\t%.4f\thost %.0f MiB, minimal %.0f MiB\t<= 1.5\n",
                hr / mr, hr / 1024, mr / 1024);
    std::string cleanup = std::string("rm -rf '") + home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
