// Start-up time and peak RSS of the host against two yardsticks of the same window size: a page
// of Qt Quick Controls 2 (Fusion) with the same kinds of controls, and a minimal Qt Quick page.
// All run with the probe preloaded, which reports at the first frame of the loaded page.
// Usage: spinwright-bench-startup <host> <controls program> <minimal program> <probe library> [runs]
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
    long cpuUs = 0;
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
        || std::sscanf(output.c_str() + at, "startupprobe ready_ns=%lld maxrss_kb=%ld size=%dx%d cpu_us=%ld", &readyNs,
                       &result.rssKb, &result.width, &result.height, &result.cpuUs) != 5) {
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
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <host> <controls program> <minimal program> <probe library> [runs]\n",
                     argv[0]);
        return 2;
    }
    const std::string probe = argv[4];
    const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
    char pattern[] = "/tmp/spinwright-startup-XXXXXX";
    const char *home = mkdtemp(pattern);
    if (!home)
        return 1;

    // One run of the host first, for its window size.
    const Start first = runOnce({argv[1]}, probe, std::string(home) + "/0");
    if (!first.ok)
        return 1;
    const std::string width = std::to_string(first.width);
    const std::string height = std::to_string(first.height);
    const std::vector<std::string> controls = {argv[2], width, height};
    const std::vector<std::string> minimal = {argv[3], width, height};

    std::vector<double> hostMs, hostRss, controlsMs, controlsRss, minimalMs, minimalRss, hostCpu, controlsCpu;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a change of machine load hits all alike; each host run starts afresh.
        const Start host = runOnce({argv[1]}, probe, std::string(home) + "/" + std::to_string(i + 1));
        const Start withControls = runOnce(controls, probe, std::string(home) + "/c");
        const Start small = runOnce(minimal, probe, std::string(home) + "/m");
        if (!host.ok || !withControls.ok || !small.ok)
            return 1;
        hostMs.push_back(host.ms);
        hostRss.push_back(double(host.rssKb));
        hostCpu.push_back(double(host.cpuUs) / 1e3);
        controlsCpu.push_back(double(withControls.cpuUs) / 1e3);
        controlsMs.push_back(withControls.ms);
        controlsRss.push_back(double(withControls.rssKb));
        minimalMs.push_back(small.ms);
        minimalRss.push_back(double(small.rssKb));
    }
    const double hm = median(hostMs), cm = median(controlsMs), mm = median(minimalMs);
    const double hr = median(hostRss), cr = median(controlsRss), mr = median(minimalRss);
    std::printf("row\tstart-up to page ready (%dx%d), host / Controls 2 (Fusion) page\t%.4f\t<= 1.25\t<= 1.1\t"
                "host %.0f ms, Controls 2 page %.0f ms (medians of %d); CPU time host %.0f ms, Controls 2 page %.0f ms\n",
                first.width, first.height, hm / cm, hm, cm, runs, median(hostCpu), median(controlsCpu));
    std::printf("row\tpeak RSS at page ready, host / Controls 2 (Fusion) page\t%.4f\t<= 1.25\t<= 1.1\t"
                "host %.1f MiB, Controls 2 page %.1f MiB\n",
                hr / cr, hr / 1024, cr / 1024);
    std::printf("row\tstart-up to page ready, host / minimal Qt Quick page\t%.4f\t(yardstick)\t\t"
                "host %.0f ms, minimal %.0f ms\n",
                hm / mm, hm, mm);
    std::printf("row\tpeak RSS at page ready, host / minimal Qt Quick page\t%.4f\t(yardstick)\t\t"
                "host %.1f MiB, minimal %.1f MiB\n",
                hr / mr, hr / 1024, mr / 1024);
    std::string cleanup = std::string("rm -rf '") + home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
