#include "zldcmotor.h"

#include "boardlines.h"

namespace {

using namespace DcLines;

constexpr uint8_t outputMask = uint8_t(~readyLine);
constexpr uint32_t maxCommandCounts = 16;
constexpr int handshakeTries = 100;
constexpr int stopTries = 20;
constexpr unsigned boardAnswerMs = 100;

// The board reads the count lines inverted.
uint8_t countNibble(uint32_t count)
{
    return uint8_t(15 - count % 16);
}

} // namespace

bool ZLDCMotor::open(int deviceIndex, std::wstring *errorText)
{
    if (!FTDIController::open(deviceIndex, errorText))
        return false;
    enterBitBang(outputMask);
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        outputBits = uint8_t((outputBits & readyLine) | 0x0E);
        writeOutputLocked();
    }
    changeOutput(latchLine, 0);
    return true;
}

bool ZLDCMotor::startRotation()
{
    return startWorker([this] { runCommands(); });
}

void ZLDCMotor::latchCommand()
{
    changeOutput(0, latchLine);
    changeOutput(latchLine, 0);
}

bool ZLDCMotor::startHandshake()
{
    for (int attempt = 0; attempt < handshakeTries; ++attempt) {
        changeOutput(0, startLine);
        changeOutput(startLine, 0);
        changeOutput(0, startLine);
        waitMilliseconds(boardAnswerMs);
        if (!boardIsReady())
            return true;
    }
    return false;
}

bool ZLDCMotor::boardIsReady()
{
    // A failed read yields 0, so a board that stopped answering looks busy.
    return readInput() & readyLine;
}

void ZLDCMotor::runCommands()
{
    const uint32_t totalSteps = stepsToGo;
    const bool continuous = totalSteps == 0;
    int64_t remaining = totalSteps;
    uint32_t lastCount = 0;
    bool finished = false;

    // Count lines 0b1110 with bit 0 cleared by the mask: the rest pattern the board expects.
    const auto restCount = [this] {
        std::lock_guard<std::mutex> lock(outputMutex);
        outputBits = uint8_t((outputBits & 0xFE) | 0x0E);
        writeOutputLocked();
    };

    changeOutput(0, continuousLine);
    for (;;) {
        if (boardIsReady()) {
            if (continuous) {
                restCount();
                latchCommand();
                changeOutput(continuousLine, 0);
                startHandshake();
            } else {
                remaining -= lastCount;
                if (remaining <= 0) {
                    finished = true;
                } else {
                    const uint32_t count = remaining % maxCommandCounts ? uint32_t(remaining % maxCommandCounts)
                                                                        : maxCommandCounts;
                    {
                        std::lock_guard<std::mutex> lock(outputMutex);
                        outputBits = uint8_t((outputBits & ~countLines) | countNibble(count));
                        writeOutputLocked();
                    }
                    latchCommand();
                    changeOutput(0, continuousLine);
                    startHandshake();
                    lastCount = count;
                }
            }
        }
        waitMilliseconds(1);
        // A vanished board ends the move as a stop would, without the stop's handshake.
        if (!isRotating() || isBoardLost() || (!continuous && finished))
            break;
    }

    for (int attempt = 0; attempt < stopTries && !isBoardLost(); ++attempt) {
        restCount();
        latchCommand();
        changeOutput(0, continuousLine);
        waitMilliseconds(boardAnswerMs);
        if (boardIsReady())
            break;
    }

    finishRunning();
    currentAngle = targetAngle;
    reportRotationEnded();
}
