#pragma once

#include "emulatedptpcamera.h"
#include "ptpobjectstore.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The device side of PTP (ISO 15740) for one emulated camera, apart from any transport:
// containers, the operations, the object store, events and the live-view stream. A transport
// hands it each bulk-OUT transfer and asks it for what each bulk-IN and interrupt-IN transfer
// carries; time is passed in so that slow cameras need no thread of their own.
// Not thread-safe: the transport holds its lock around every call.
class PtpCamera
{
public:
    using Clock = std::chrono::steady_clock;
    using File = EmulatedPtpCamera::File;

    struct Settings
    {
        EmulatedPtpCamera::Identity identity;
        std::deque<std::vector<File>> nextCaptures;
        std::function<std::vector<File>(int)> generator;
        std::chrono::milliseconds exposure{0};
        std::chrono::milliseconds transfer{0};
        std::uint16_t refuseCode = 0;
        int refuseCount = 0;
        bool neverCompletes = false;
        std::uint64_t unplugAfterBytes = 0;  // 0: no such fault
    };

    explicit PtpCamera(const EmulatedPtpCamera::Identity &identity);

    Settings settings;
    EmulatedPtpCamera::Counters counters;

    // One bulk-OUT transfer: a command, or part of a data phase.
    void receive(const std::uint8_t *bytes, std::size_t length, Clock::time_point now);
    // Fills the next bulk-IN / interrupt-IN transfer: its length, or -1 when nothing is due yet.
    // A bulk-IN transfer never spans two containers, as a short packet ends a real one.
    int sendBulk(std::uint8_t *out, int room, Clock::time_point now);
    int sendEvent(std::uint8_t *out, int room, Clock::time_point now);
    // A fault has reached the moment the camera leaves the bus.
    bool unplugDue() const { return unplugNow; }
    // The host went away or the camera left: the session and whatever was queued end.
    void disconnect();

    std::uint32_t addObject(const std::string &folder, const File &file);
    std::vector<EmulatedPtpCamera::StoredObject> objects() const;
    bool sessionOpen() const { return session != 0; }
    bool liveViewEnabled() const { return streamsOn & 1; }
    const std::vector<std::uint16_t> &operationsAsked() const { return asked; }

private:
    struct Packet
    {
        std::vector<std::uint8_t> bytes;
        Clock::time_point due;
        std::size_t sent = 0;
        bool objectData = false;  // GetObject's data phase, counted for the unplug fault
    };
    struct Capture
    {
        Clock::time_point due;
        std::uint32_t transaction;
        std::vector<File> files;
    };
    struct Command
    {
        std::uint16_t code = 0;
        std::uint32_t transaction = 0;
        std::vector<std::uint32_t> params;
    };

    void command(const Command &c, Clock::time_point now);
    void dataOut(const Command &c, const std::vector<std::uint8_t> &payload, Clock::time_point now);
    void respond(const Command &c, std::uint16_t code, std::vector<std::uint32_t> params = {},
                 Clock::time_point due = Clock::time_point());
    void sendData(const Command &c, std::vector<std::uint8_t> payload, Clock::time_point due = Clock::time_point(),
                  bool objectData = false);
    void event(std::uint16_t code, std::uint32_t transaction, std::uint32_t param, Clock::time_point due);
    void advance(Clock::time_point now);
    std::uint16_t startCapture(const Command &c, Clock::time_point now);
    std::vector<std::uint16_t> operations() const;
    std::vector<std::uint8_t> deviceInfo() const;
    bool propertyDescription(std::uint16_t property, std::vector<std::uint8_t> *out) const;

    PtpObjectStore store;
    std::uint32_t session = 0;
    std::uint32_t streamsOn = 0;  // EnabledStreams
    int captureNumber = 0;
    int frameNumber = 0;
    std::deque<Packet> bulkIn;
    std::deque<Packet> eventsOut;
    std::vector<Capture> capturing;
    std::vector<std::uint8_t> pendingOut;  // a data phase still arriving
    Command awaitingData;
    bool unplugNow = false;
    std::vector<std::uint16_t> asked;
};
