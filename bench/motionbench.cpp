// Every way the stepper can time its counts, side by side in one run, quiet and with four busy
// loops competing, on the simulated stepper board: CPU cost and fidelity of a move read off the
// board's byte timeline, transfers per count, stop latency, and the GUI thread's cost of a release.
// Prints one tab-separated "row" line per figure for scripts/bench: figure, value, bar, goal, details.
#include "d2xxsim.h"
#include "steptrain.h"
#include "zlsteppermotor.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Timing = FTDIController::StepTiming;

constexpr std::uint32_t countsPerRevolution = 6400;
constexpr double rampDegrees = 1.0;

// Lets the main thread sleep through a move instead of polling, which would cost CPU time.
class MoveEnd : public FTDIControllerOwner
{
public:
    void rotationEnded() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        condition.notify_all();
    }
    void wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait(lock, [this] { return ended; });
        ended = false;
    }

private:
    std::mutex mutex;
    std::condition_variable condition;
    bool ended = false;
};

// Four busy loops in processes of their own, so that they load the machine but not our CPU time.
class Competitors
{
public:
    void start()
    {
        for (int i = 0; i < 4; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                for (volatile unsigned long n = 0;; n = n + 1) {
                }
            }
            if (pid > 0)
                children.push_back(pid);
        }
    }
    void stop()
    {
        for (pid_t pid : children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        children.clear();
    }
    ~Competitors() { stop(); }

private:
    std::vector<pid_t> children;
};

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Method
{
    Timing timing;
    const char *name;
};

const Method methods[] = {{Timing::ChipClock, "chip clock"},
                          {Timing::SleepThenSpin, "sleep then spin"},
                          {Timing::BusyLoop, "busy loop"}};

// The bars and goals are the chip clock's; the host-timed methods are there to compare.
void row(const Method &method, const std::string &figure, const std::string &value, const char *goal,
         const std::string &details)
{
    const bool chip = method.timing == Timing::ChipClock;
    std::printf("row\t%s, %s\t%s\t%s\t%s\t%s\n", figure.c_str(), method.name, value.c_str(),
                chip ? goal : "(compare)", chip ? goal : "", details.c_str());
    std::fflush(stdout);
}

std::string format(const char *pattern, double a, double b = 0, double c = 0, double d = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

bool openMotor(ZLStepperMotor &motor, const Method &method, std::uint32_t baseDelayMs, double ramp)
{
    motor.stepTiming = method.timing;
    if (!motor.open(0, nullptr)) {
        std::fprintf(stderr, "cannot open the simulated board\n");
        return false;
    }
    motor.countsPerRevolution = countsPerRevolution;
    motor.rampUpDegrees = ramp;
    motor.pulseDelayMs = baseDelayMs;
    motor.lockMotorWhenIdle = true;
    motor.direction = Clockwise;
    return true;
}

void close(ZLStepperMotor &motor)
{
    FT_Close(motor.handle);
    motor.handle = nullptr;
}

bool moveFigures(int slot, const Method &method, bool loaded)
{
    constexpr std::uint32_t counts = 2000;
    constexpr std::uint32_t baseDelayMs = 1;
    const char *load = loaded ? "four busy loops" : "quiet";
    MoveEnd end;
    ZLStepperMotor motor(&end);
    if (!openMotor(motor, method, baseDelayMs, rampDegrees))
        return false;
    motor.setSteps(int(counts));
    motor.prepareRotation();
    d2xxsim::clearWrites(slot);
    const d2xxsim::DeviceState before = d2xxsim::state(slot);

    const double cpu0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const Clock::time_point start = Clock::now();
    if (!motor.startRotation())
        return false;
    end.wait();
    const double wall = steptrain::msBetween(start, Clock::now());
    const double cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const d2xxsim::DeviceState after = d2xxsim::state(slot);

    const std::vector<d2xxsim::Pulse> pulses = d2xxsim::pulses(slot, 2);
    const std::vector<unsigned> high = steptrain::idealHighMs(counts, countsPerRevolution, rampDegrees, baseDelayMs);
    if (pulses.size() != counts) {
        std::fprintf(stderr, "expected %u step pulses, the board made %zu\n", counts, pulses.size());
        return false;
    }
    std::vector<double> errorsUs;
    Clock::time_point previous = start;
    double ideal = 0;
    for (std::size_t i = 0; i < counts; ++i) {
        const double want = 1.0 + high[i];
        ideal += want;
        errorsUs.push_back((steptrain::msBetween(previous, pulses[i].fall) - want) * 1e3);
        previous = pulses[i].fall;
    }
    const double measured = steptrain::msBetween(start, pulses.back().fall);
    double worst = 0;
    for (double e : errorsUs)
        worst = std::max(worst, std::abs(e));

    if (!loaded) {
        row(method, "CPU/wall during a 2000-count move (process)", format("%.4f", cpu / wall), "<= 0.01",
            format("CPU %.1f ms, wall %.1f ms", cpu, wall));
        const double transfers = double(after.writeCalls - before.writeCalls + after.purgesTx - before.purgesTx);
        row(method, "USB transfers per count (writes and purges)", format("%.3f", transfers / counts), "<= 0.5",
            format("%.0f transfers for %.0f counts", transfers, counts));
    }
    row(method, std::string("fidelity, board timeline / ideal, ") + load, format("%.4f", measured / ideal),
        "1.000 +- 0.001", format("measured %.1f ms, ideal %.0f ms (2000 counts, P0 1 ms, ramp 1 deg)", measured, ideal));
    const double p99 = steptrain::percentile(errorsUs, 0.99);
    row(method, std::string("per-count error p99, ") + load, format("%.1f us", p99), "<= 100 us",
        format("p50 %.1f, p99 %.1f, max %.1f us", steptrain::percentile(errorsUs, 0.5), p99, worst));
    close(motor);
    return true;
}

// The calling thread stands for the GUI thread, which fires the shutter in a spin.
bool shutterRelease(const Method &method)
{
    MoveEnd end;
    ZLStepperMotor motor(&end);
    if (!openMotor(motor, method, 1, rampDegrees))
        return false;
    const double cpu0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const Clock::time_point start = Clock::now();
    motor.triggerShutterRelease();
    const double wall = steptrain::msBetween(start, Clock::now());
    const double cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    row(method, "GUI-thread CPU/wall during a shutter release", format("%.4f", cpu / wall), "<= 0.01",
        format("thread CPU %.2f ms, wall %.1f ms", cpu, wall)
            + (wall >= 1000.0 ? ", the caller blocked for the full second" : ", ENDED EARLY"));
    close(motor);
    return true;
}

// From the call to the last step edge on the board's timeline, against the bound: the chip's
// FIFO (25.6 ms) and one block (4 ms of whole counts) beyond the count in progress.
bool stopLatency(int slot, const Method &method)
{
    for (std::uint32_t baseDelayMs : {1u, 10u}) {
        double worst = 0;
        double worstReturn = 0;
        const double count = 1.0 + baseDelayMs;
        const double bound = method.timing == Timing::ChipClock ? 25.6 + std::max(4.0, count) + count : 2 * count;
        for (int i = 0; i < 5; ++i) {
            MoveEnd end;
            ZLStepperMotor motor(&end);
            if (!openMotor(motor, method, baseDelayMs, rampDegrees))
                return false;
            motor.setSteps(100000);
            motor.prepareRotation();
            if (!motor.startRotation())
                return false;
            const double rampMs = steptrain::idealMoveMs(40, countsPerRevolution, rampDegrees, baseDelayMs);
            std::this_thread::sleep_for(std::chrono::microseconds(long(rampMs * 1e3) + 7300 * i + 50000));
            const Clock::time_point called = Clock::now();
            motor.stopRotation();
            worstReturn = std::max(worstReturn, steptrain::msBetween(called, Clock::now()));
            const auto pulses = d2xxsim::pulses(slot, 2);
            if (!pulses.empty())
                worst = std::max(worst, steptrain::msBetween(called, pulses.back().fall));
            close(motor);
        }
        row(method, format("stop latency at speed %.0f, last step edge / bound", 10.0 - baseDelayMs),
            format("%.3f", worst / bound), "<= 1",
            format("worst %.1f ms after the call against %.1f ms; stopRotation returned within %.1f ms; 5 stops",
                   worst, bound, worstReturn));
    }
    return true;
}

} // namespace

int main()
{
    Competitors competitors;
    for (const Method &method : methods) {
        d2xxsim::reset();
        const int slot = d2xxsim::attach(d2xxsim::turntableDevice(2));
        if (!moveFigures(slot, method, false))
            return 1;
        competitors.start();
        const bool ok = moveFigures(slot, method, true);
        competitors.stop();
        if (!ok || !shutterRelease(method) || !stopLatency(slot, method))
            return 1;
    }
    return 0;
}
