// Step-train fidelity, CPU cost of a move, CPU cost of a shutter release and stop latency on the
// simulated stepper board, each with the old busy-loop wait and with the sleeping one.
// Prints one tab-separated "row" line per figure for scripts/bench: figure, value, bar, goal, details.
#include "d2xxsim.h"
#include "precisewait.h"
#include "steptrain.h"
#include "zlsteppermotor.h"

#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

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

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Method
{
    PreciseWait::Method method;
    const char *name;
    bool isNew;
};

const Method methods[] = {{PreciseWait::Method::Spin, "busy loop", false},
                          {PreciseWait::Method::SleepThenSpin, "sleep then spin", true}};

// The old wait's rows are there to compare against; the bars and goals apply to the new one.
void row(const Method &method, const std::string &figure, const std::string &value, const char *bar,
         const char *goal, const std::string &details)
{
    std::printf("row\t%s, %s\t%s\t%s\t%s\t%s\n", figure.c_str(), method.name, value.c_str(),
                method.isNew ? bar : "(before)", method.isNew ? goal : "", details.c_str());
    std::fflush(stdout);
}

std::string format(const char *pattern, double a, double b = 0, double c = 0, double d = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

bool openMotor(ZLStepperMotor &motor, std::uint32_t baseDelayMs)
{
    std::wstring error;
    if (!motor.open(0, &error)) {
        std::fprintf(stderr, "cannot open the simulated board\n");
        return false;
    }
    motor.countsPerRevolution = countsPerRevolution;
    motor.rampUpDegrees = rampDegrees;
    motor.pulseDelayMs = baseDelayMs;
    motor.lockMotorWhenIdle = true;
    motor.direction = Clockwise;
    return true;
}

bool fidelityAndCpu(int slot, const Method &method)
{
    constexpr std::uint32_t counts = 2000;
    constexpr std::uint32_t baseDelayMs = 1;
    MoveEnd end;
    ZLStepperMotor motor(&end);
    if (!openMotor(motor, baseDelayMs))
        return false;
    motor.setSteps(int(counts));
    motor.prepareRotation();
    d2xxsim::clearWrites(slot);

    const double cpu0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const Clock::time_point start = Clock::now();
    if (!motor.startRotation())
        return false;
    end.wait();
    const Clock::time_point stop = Clock::now();
    const double cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const double wall = steptrain::msBetween(start, stop);

    const std::vector<d2xxsim::Pulse> pulses = d2xxsim::pulses(slot, 2);
    const std::vector<unsigned> high = steptrain::idealHighMs(counts, countsPerRevolution, rampDegrees, baseDelayMs);
    if (pulses.size() != counts) {
        std::fprintf(stderr, "expected %u step pulses, the trace holds %zu\n", counts, pulses.size());
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

    row(method, "CPU/wall during a 2000-count move (process)", format("%.4f", cpu / wall), "<= 0.10", "<= 0.05",
        format("CPU %.1f ms, wall %.1f ms", cpu, wall));
    row(method, "step-train fidelity measured/ideal (2000 counts, P0 1 ms, ramp 1 deg)",
        format("%.4f", measured / ideal), "<= 1.01", "<= 1.005",
        format("measured %.1f ms, ideal %.0f ms", measured, ideal));
    const double p99 = steptrain::percentile(errorsUs, 0.99);
    std::string errors = format("p50 %.1f, p99 %.1f, max %.1f us", steptrain::percentile(errorsUs, 0.5), p99, worst);
    if (method.isNew)
        errors += format("; wake-up margin now %.0f us", double(PreciseWait::sleepMargin().count()));
    row(method, "per-count error p99", format("%.1f us", p99), "<= 50 us", "<= 20 us", errors);
    FT_Close(motor.handle);
    motor.handle = nullptr;
    return true;
}

// The calling thread stands for the GUI thread, which fires the shutter in a spin.
bool shutterRelease(const Method &method)
{
    MoveEnd end;
    ZLStepperMotor motor(&end);
    if (!openMotor(motor, 1))
        return false;
    const double cpu0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const Clock::time_point start = Clock::now();
    motor.triggerShutterRelease();
    const double wall = steptrain::msBetween(start, Clock::now());
    const double cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    row(method, "GUI-thread CPU/wall during a shutter release", format("%.4f", cpu / wall), "<= 0.10", "<= 0.05",
        format("thread CPU %.2f ms, wall %.1f ms", cpu, wall)
            + (wall >= 1000.0 ? ", the caller blocked for the full second" : ", ENDED EARLY"));
    FT_Close(motor.handle);
    motor.handle = nullptr;
    return true;
}

bool stopLatency(const Method &method)
{
    double worstRatio = 0;
    double worstLatency = 0;
    double worstBound = 0;
    int stops = 0;
    for (std::uint32_t baseDelayMs : {1u, 5u, 10u}) {
        for (int i = 0; i < 5; ++i) {
            MoveEnd end;
            ZLStepperMotor motor(&end);
            if (!openMotor(motor, baseDelayMs))
                return false;
            motor.setSteps(100000);
            motor.prepareRotation();
            if (!motor.startRotation())
                return false;
            // Past the ramp, so the present delay is P0; the odd offsets spread the stops over a count.
            const double rampMs = steptrain::idealMoveMs(40, countsPerRevolution, rampDegrees, baseDelayMs);
            std::this_thread::sleep_for(std::chrono::microseconds(long(rampMs * 1e3) + 7300 * i + 50000));
            const Clock::time_point before = Clock::now();
            motor.stopRotation();
            const double latency = steptrain::msBetween(before, Clock::now());
            const double bound = 1.0 + baseDelayMs + 1.0;
            if (latency / bound > worstRatio) {
                worstRatio = latency / bound;
                worstLatency = latency;
                worstBound = bound;
            }
            ++stops;
            FT_Close(motor.handle);
            motor.handle = nullptr;
        }
    }
    row(method, "stop latency, worst / (1 ms + d + 1 ms)", format("%.4f", worstRatio), "<= 1", "<= 1",
        format("worst %.2f ms against %.0f ms, %.0f stops at d = 1, 5, 10 ms", worstLatency, worstBound, stops));
    return true;
}

} // namespace

int main()
{
    for (const Method &method : methods) {
        PreciseWait::setMethod(method.method);
        d2xxsim::reset();
        const int slot = d2xxsim::attach(d2xxsim::turntableDevice(2));
        if (!fidelityAndCpu(slot, method) || !shutterRelease(method))
            return 1;
        d2xxsim::reset();
        d2xxsim::attach(d2xxsim::turntableDevice(2));
        if (!stopLatency(method))
            return 1;
    }
    return 0;
}
