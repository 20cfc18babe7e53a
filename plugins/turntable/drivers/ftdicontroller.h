#pragma once

#include "d2xx.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FTDIController;

enum RotationDirection : int32_t {
    Clockwise = 1,
    Counterclockwise = 2
};

// Whoever owns a motor hears from it here when a rotation has ended.
class FTDIControllerOwner
{
public:
    virtual ~FTDIControllerOwner() = default;

    // Called on the motor's worker thread, after currentAngle has been updated.
    // Must not block on the thread that calls stopRotation(): that thread is joining us.
    virtual void rotationEnded() = 0;
    // Instead of rotationEnded() when the move ended because the board vanished; same thread.
    virtual void boardVanished() { rotationEnded(); }
};

// One rotation thread and its go-on flag.
struct RotationWorker
{
    std::thread thread;
    std::atomic<bool> running{false};
};

// FT245R chip in asynchronous bit-bang mode plus the motion state both motor drivers share.
//
// Threads: the owner's thread (GUI) prepares, starts and stops moves and may change
// pulseDelayMs, rampUpDegrees and lockMotorWhenIdle at any time; the worker thread writes
// the lines during a move and owns stepsDone and the angles until it has ended.
// outputBits is changed and written under outputMutex only.
class FTDIController
{
public:
    struct DeviceEntry
    {
        int32_t deviceIndex = -1;
        int32_t modelIndex = -1;
        std::string serialNumber;
        // Set for a board this process has open: it is listed as it is, unread, under every kind.
        FT_HANDLE openHandle = nullptr;
    };

    // What availableDevices() lists: boards whose identity record has that kind and names a
    // model row; plain chips (no record, or a row no model has) come with the kind 0 listing.
    enum DeviceKind : int32_t {
        PlainDevices = 0,
        IdentifiedTurntables = 1
    };

    // How a stepper times its counts: by the chip's own byte clock (ft245rclock.h), or by the host
    // with one of PreciseWait's waits, for a link that cannot stream and for comparisons.
    enum class StepTiming { ChipClock, SleepThenSpin, BusyLoop };

    explicit FTDIController(FTDIControllerOwner *control = nullptr);
    virtual ~FTDIController();

    FTDIController(const FTDIController &) = delete;
    FTDIController &operator=(const FTDIController &) = delete;

    virtual bool open(int deviceIndex, std::wstring *errorText);
    virtual bool triggerShutterRelease();
    virtual bool prepareRotation();
    virtual bool startRotation();

    // kind: a DeviceKind, or any other record kind. unopenable, when given, counts the chips no
    // other process holds that still failed to open.
    static std::vector<DeviceEntry> availableDevices(int kind, int *unopenable = nullptr);

    void writeOutput();
    uint8_t readInput();
    bool isConnected();
    static void waitMilliseconds(unsigned n);
    // While a move runs this writes nothing: the worker applies the lock at the move's end, so
    // the enable line never drops under a turning table.
    void applyIdleLock();

    int setSteps(int counts);
    double rotateByAngle(double degrees);
    void rotateToAngle(double degrees);
    void stopRotation();

    // True while a worker is moving the table.
    bool isRotating() const;
    // True once a line write or read has failed and the board no longer answered: it is gone.
    bool isBoardLost() const { return boardLost.load(); }

    FT_HANDLE handle = nullptr;
    uint8_t outputBits = 0;
    int32_t direction = Clockwise;
    bool isClockwiseActiveHigh = true;
    bool isMotorEnableActiveHigh = true;
    uint32_t countsPerRevolution = 0;
    uint32_t stepsToGo = 0;
    uint32_t stepsDone = 0;
    double currentAngle = 0.0;
    double targetAngle = 0.0;
    std::atomic<uint32_t> pulseDelayMs{0};
    std::atomic<bool> lockMotorWhenIdle{true};
    std::atomic<double> rampUpDegrees{1.0};
    // The link's one setting of how step trains are timed; read at the start of each move.
    std::atomic<StepTiming> stepTiming{StepTiming::ChipClock};
    std::unique_ptr<RotationWorker> worker;
    FTDIControllerOwner *control = nullptr;

protected:
    // Every change of outputBits and the write that follows it hold this lock.
    std::mutex outputMutex;
    // Set by whichever thread saw the board vanish; read by the worker at every write.
    std::atomic<bool> boardLost{false};
    bool onStepTrainClock = false;  // under outputMutex

    // Purge and one-byte write of outputBits; the caller holds outputMutex. False when the
    // write failed.
    bool writeOutputLocked();
    // After a failed transfer: a board that no longer answers either is marked lost.
    void noteFailedTransfer();

    // Sets the bits in 'set', clears those in 'clear', writes the byte: one locked step.
    bool changeOutput(uint8_t set, uint8_t clear);

    // Resets the chip, then drives the lines in outputMask from the byte written (bit-bang).
    void enterBitBang(uint8_t outputMask);
    // Programs the byte clock of step trains (ft245rclock.h), or the fast rate of one-byte writes
    // for host-timed lines; the caller holds outputMutex.
    void useStepTrainClock(bool on);

    // Starts a move's thread on body; false while the previous move still runs.
    bool startWorker(std::function<void()> body);
    // Atomic exchange of running to false, done by the worker when its move ends.
    void finishRunning();
    void reportRotationEnded();
};
