#include "ptpcamera.h"

#include "ptpdataset.h"
#include "ptptestimage.h"

#include <algorithm>
#include <cstdio>

using namespace ptpdataset;

namespace {


enum Operation : std::uint16_t {
    getDeviceInfo = 0x1001,
    openSession = 0x1002,
    closeSession = 0x1003,
    getStorageIds = 0x1004,
    getStorageInfo = 0x1005,
    getNumObjects = 0x1006,
    getObjectHandles = 0x1007,
    getObjectInfo = 0x1008,
    getObject = 0x1009,
    deleteObject = 0x100B,
    initiateCapture = 0x100E,
    getDevicePropDesc = 0x1014,
    getDevicePropValue = 0x1015,
    setDevicePropValue = 0x1016,
    getPartialObject = 0x101B,
    getStreamInfo = 0x1024,
    getStream = 0x1025,
};

enum Response : std::uint16_t {
    ok = 0x2001,
    generalError = 0x2002,
    sessionNotOpen = 0x2003,
    operationNotSupported = 0x2005,
    parameterNotSupported = 0x2006,
    invalidStorageId = 0x2008,
    invalidObjectHandle = 0x2009,
    devicePropNotSupported = 0x200A,
    accessDenied = 0x200F,
    deviceBusy = 0x2019,
    invalidParameter = 0x201D,
    sessionAlreadyOpen = 0x201E,
};

enum Event : std::uint16_t { objectAdded = 0x4002, captureComplete = 0x400D };
constexpr std::uint16_t association = PtpObjectStore::association;
constexpr std::uint16_t exifJpeg = PtpObjectStore::exifJpeg;
constexpr std::uint16_t undefinedFormat = PtpObjectStore::undefinedFormat;
enum Property : std::uint16_t { batteryLevel = 0x5001, supportedStreams = 0x5020, enabledStreams = 0x5021 };
constexpr std::uint32_t storageId = PtpObjectStore::storageId;
constexpr std::uint32_t all = 0xFFFFFFFF;
constexpr std::uint64_t capacity = 32ull << 30;
constexpr std::uint16_t uint8Type = 0x0002, uint32Type = 0x0006;
constexpr const char *captureFolder = "DCIM/100SPINW";
// A 160x120 frame at most; generous, as frames here are a few kB.
constexpr std::uint32_t frameMaxSize = 512 * 1024;

} // namespace

PtpCamera::PtpCamera(const EmulatedPtpCamera::Identity &identity)
{
    settings.identity = identity;
}

void PtpCamera::receive(const std::uint8_t *bytes, std::size_t length, Clock::time_point now)
{
    advance(now);
    if (length == 0)
        return;  // the zero-length packet that ends a data phase of a whole number of packets
    if (!pendingOut.empty() || awaitingData.code) {
        pendingOut.insert(pendingOut.end(), bytes, bytes + length);
        if (pendingOut.size() < headerLength || pendingOut.size() < get32(pendingOut.data()))
            return;
        const std::vector<std::uint8_t> payload(pendingOut.begin() + headerLength,
                                                pendingOut.begin() + std::min<std::size_t>(pendingOut.size(), get32(pendingOut.data())));
        const bool isData = get16(pendingOut.data() + 4) == dataBlock;
        const Command c = awaitingData;
        pendingOut.clear();
        awaitingData = Command();
        if (isData)
            dataOut(c, payload, now);
        else
            respond(c, generalError);
        return;
    }
    if (length < headerLength || get16(bytes + 4) != commandBlock)
        return;  // not a command: a real camera stalls or ignores it; the host times out
    Command c;
    c.code = get16(bytes + 6);
    c.transaction = get32(bytes + 8);
    const std::size_t end = std::min<std::size_t>(length, get32(bytes));
    for (std::size_t at = headerLength; at + 4 <= end && c.params.size() < 5; at += 4)
        c.params.push_back(get32(bytes + at));
    c.params.resize(5, 0);
    if (std::find(asked.begin(), asked.end(), c.code) == asked.end())
        asked.push_back(c.code);
    command(c, now);
}

void PtpCamera::command(const Command &c, Clock::time_point now)
{
    const std::uint32_t p1 = c.params[0];
    const bool live = settings.identity.liveView;
    const std::vector<std::uint16_t> answered = operations();
    if (std::find(answered.begin(), answered.end(), c.code) == answered.end()) {
        ++counters.notSupported;
        respond(c, operationNotSupported);
        return;
    }
    if (!session && c.code != getDeviceInfo && c.code != openSession) {
        respond(c, sessionNotOpen);
        return;
    }
    switch (c.code) {
    case getDeviceInfo: sendData(c, deviceInfo()); respond(c, ok); return;
    case openSession:
        if (session) {
            respond(c, sessionAlreadyOpen, {session});
        } else if (p1 == 0) {
            respond(c, invalidParameter);
        } else {
            session = p1;
            ++counters.sessionsOpened;
            respond(c, ok);
        }
        return;
    case closeSession:
        session = 0;
        respond(c, ok);
        return;
    case getStorageIds: {
        std::vector<std::uint8_t> data;
        put32(data, 1);
        put32(data, storageId);
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case getStorageInfo: {
        if (p1 != storageId) {
            respond(c, invalidStorageId);
            return;
        }
        const std::uint64_t used = store.usedBytes();
        std::vector<std::uint8_t> data;
        put16(data, 0x0004);  // removable RAM: a memory card
        put16(data, 0x0003);  // DCF
        put16(data, 0x0000);  // read-write
        put64(data, capacity);
        put64(data, capacity - std::min(capacity, used));
        put32(data, std::uint32_t((capacity - std::min(capacity, used)) / (8u << 20)));
        putString(data, "SD");
        putString(data, "SPINWRIGHT");
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case getNumObjects:
    case getObjectHandles: {
        if (p1 != storageId && p1 != all) {
            respond(c, invalidStorageId);
            return;
        }
        const std::uint32_t parent = c.params[2];
        if (parent != 0 && parent != all && !store.isFolder(parent)) {
            respond(c, invalidObjectHandle);
            return;
        }
        const std::vector<std::uint32_t> found = store.handles(c.params[1], parent);
        if (c.code == getNumObjects) {
            respond(c, ok, {std::uint32_t(found.size())});
            return;
        }
        std::vector<std::uint8_t> data;
        put32(data, std::uint32_t(found.size()));
        for (std::uint32_t h : found)
            put32(data, h);
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case getObjectInfo:
        if (!store.find(p1)) {
            respond(c, invalidObjectHandle);
            return;
        }
        sendData(c, store.objectInfo(p1));
        respond(c, ok);
        return;
    case getObject:
    case getPartialObject: {
        const PtpObjectStore::Object *object = store.find(p1);
        if (!object || object->format == association) {
            respond(c, invalidObjectHandle);
            return;
        }
        const std::vector<std::uint8_t> &bytes = object->bytes;
        std::size_t offset = 0, count = bytes.size();
        if (c.code == getPartialObject) {
            offset = std::min<std::size_t>(c.params[1], bytes.size());
            count = std::min<std::size_t>(c.params[2], bytes.size() - offset);
        }
        ++counters.getObjectCalls;
        const Clock::time_point due = offset == 0 ? now + settings.transfer : now;
        sendData(c, std::vector<std::uint8_t>(bytes.begin() + long(offset), bytes.begin() + long(offset + count)), due, true);
        if (c.code == getPartialObject)
            respond(c, ok, {std::uint32_t(count)}, due);
        else
            respond(c, ok, {}, due);
        return;
    }
    case deleteObject: {
        if (p1 != all && !store.find(p1)) {
            respond(c, invalidObjectHandle);
            return;
        }
        counters.deletes += std::uint64_t(p1 == all ? store.eraseAll() : store.erase(p1));
        respond(c, ok);
        return;
    }
    case initiateCapture: {
        const std::uint16_t answer = startCapture(c, now);
        respond(c, answer);
        return;
    }
    case getDevicePropDesc: {
        std::vector<std::uint8_t> data;
        if (!propertyDescription(std::uint16_t(p1), &data)) {
            respond(c, devicePropNotSupported);
            return;
        }
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case getDevicePropValue: {
        std::vector<std::uint8_t> data;
        if (p1 == batteryLevel)
            put8(data, 80);
        else if (live && p1 == supportedStreams)
            put32(data, 1);
        else if (live && p1 == enabledStreams)
            put32(data, streamsOn);
        else {
            respond(c, devicePropNotSupported);
            return;
        }
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case setDevicePropValue:
        awaitingData = c;  // its value follows in a data phase
        return;
    case getStreamInfo: {
        std::vector<std::uint8_t> data;
        put64(data, 36);        // the dataset's own size
        put64(data, 1000000);   // time stamps in microseconds
        put32(data, 0);         // no frame header: a stream read is one whole JPEG
        put32(data, frameMaxSize);
        put32(data, 0);
        put32(data, frameMaxSize);
        put32(data, 1);
        sendData(c, data);
        respond(c, ok);
        return;
    }
    case getStream:
        if (!(streamsOn & 1)) {
            respond(c, deviceBusy);  // no stream enabled: nothing to send
            return;
        }
        ++counters.liveViewFrames;
        sendData(c, PtpTestImage::liveViewFrame(++frameNumber));
        respond(c, ok);
        return;
    default:
        respond(c, operationNotSupported);
        return;
    }
}

void PtpCamera::dataOut(const Command &c, const std::vector<std::uint8_t> &payload, Clock::time_point)
{
    const std::uint32_t property = c.params[0];
    if (c.code != setDevicePropValue) {
        respond(c, generalError);
    } else if (settings.identity.liveView && property == enabledStreams && payload.size() >= 4) {
        const std::uint32_t value = get32(payload.data());
        if (value & ~1u) {
            respond(c, invalidParameter);  // only the video stream exists
            return;
        }
        streamsOn = value;
        respond(c, ok);
    } else if (property == batteryLevel || (settings.identity.liveView && property == supportedStreams)) {
        respond(c, accessDenied);  // read-only
    } else {
        respond(c, devicePropNotSupported);
    }
}

std::uint16_t PtpCamera::startCapture(const Command &c, Clock::time_point now)
{
    if ((c.params[0] != 0 && c.params[0] != storageId) || (c.params[1] != 0 && c.params[1] != exifJpeg
                                                           && c.params[1] != undefinedFormat))
        return parameterNotSupported;
    if (settings.refuseCount > 0) {
        --settings.refuseCount;
        ++counters.capturesRefused;
        return settings.refuseCode;
    }
    if (!capturing.empty())
        return deviceBusy;
    ++captureNumber;
    std::vector<File> files;
    if (!settings.nextCaptures.empty()) {
        files = settings.nextCaptures.front();
        settings.nextCaptures.pop_front();
    } else if (settings.generator) {
        files = settings.generator(captureNumber);
    } else {
        char name[16];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", captureNumber % 10000);
        files = {File{name, PtpTestImage::testCard(64, 48, captureNumber)}};
    }
    ++counters.captures;
    capturing.push_back(Capture{now + settings.exposure, c.transaction, std::move(files)});
    return ok;
}

void PtpCamera::advance(Clock::time_point now)
{
    for (auto it = capturing.begin(); it != capturing.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        for (const File &file : it->files)
            event(objectAdded, it->transaction, store.add(captureFolder, file), now);
        if (!settings.neverCompletes)
            event(captureComplete, it->transaction, it->transaction, now);
        it = capturing.erase(it);
    }
}

int PtpCamera::sendBulk(std::uint8_t *out, int room, Clock::time_point now)
{
    advance(now);
    if (bulkIn.empty() || bulkIn.front().due > now || unplugNow)
        return -1;
    Packet &packet = bulkIn.front();
    std::size_t length = std::min<std::size_t>(std::size_t(room), packet.bytes.size() - packet.sent);
    if (packet.objectData) {
        // The container's header is not the object's: the fault and the counter see object bytes.
        const std::size_t headerLeft = headerLength - std::min(headerLength, packet.sent);
        std::size_t objectBytes = length - std::min(length, headerLeft);
        if (settings.unplugAfterBytes && objectBytes >= settings.unplugAfterBytes) {
            length -= objectBytes - std::size_t(settings.unplugAfterBytes);
            objectBytes = std::size_t(settings.unplugAfterBytes);
            unplugNow = true;
        }
        if (settings.unplugAfterBytes)
            settings.unplugAfterBytes -= objectBytes;
        counters.bytesServed += objectBytes;
    }
    std::copy_n(packet.bytes.begin() + long(packet.sent), length, out);
    packet.sent += length;
    if (packet.sent == packet.bytes.size())
        bulkIn.pop_front();
    return int(length);
}

int PtpCamera::sendEvent(std::uint8_t *out, int room, Clock::time_point now)
{
    advance(now);
    if (eventsOut.empty() || eventsOut.front().due > now || unplugNow)
        return -1;
    const std::vector<std::uint8_t> bytes = eventsOut.front().bytes;
    eventsOut.pop_front();
    const int length = std::min(room, int(bytes.size()));
    std::copy_n(bytes.begin(), length, out);
    return length;
}

void PtpCamera::disconnect()
{
    session = 0;
    streamsOn = 0;
    bulkIn.clear();
    eventsOut.clear();
    pendingOut.clear();
    awaitingData = Command();
    unplugNow = false;
}

void PtpCamera::respond(const Command &c, std::uint16_t code, std::vector<std::uint32_t> params, Clock::time_point due)
{
    std::vector<std::uint8_t> out = container(responseBlock, code, c.transaction, 4 * params.size());
    for (std::uint32_t p : params)
        put32(out, p);
    bulkIn.push_back(Packet{std::move(out), due, 0, false});
}

void PtpCamera::sendData(const Command &c, std::vector<std::uint8_t> payload, Clock::time_point due, bool objectData)
{
    std::vector<std::uint8_t> out = container(dataBlock, c.code, c.transaction, payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
    bulkIn.push_back(Packet{std::move(out), due, 0, objectData});
}

void PtpCamera::event(std::uint16_t code, std::uint32_t transaction, std::uint32_t param, Clock::time_point due)
{
    std::vector<std::uint8_t> out = container(eventBlock, code, transaction, 4);
    put32(out, param);
    eventsOut.push_back(Packet{std::move(out), due, 0, false});
}

std::vector<std::uint16_t> PtpCamera::operations() const
{
    std::vector<std::uint16_t> codes{getDeviceInfo, openSession, closeSession, getStorageIds, getStorageInfo,
                                     getNumObjects, getObjectHandles, getObjectInfo, getObject, deleteObject,
                                     initiateCapture, getDevicePropDesc, getDevicePropValue, setDevicePropValue,
                                     getPartialObject};
    if (settings.identity.liveView)
        codes.insert(codes.end(), {getStreamInfo, getStream});
    return codes;
}

std::vector<std::uint8_t> PtpCamera::deviceInfo() const
{
    const EmulatedPtpCamera::Identity &id = settings.identity;
    std::vector<std::uint16_t> properties{batteryLevel};
    if (id.liveView)
        properties.insert(properties.end(), {supportedStreams, enabledStreams});
    std::vector<std::uint8_t> data;
    put16(data, 110);  // PTP 1.1
    put32(data, 0);    // no vendor extension: libgphoto2 keeps to the standard
    put16(data, 0);
    putString(data, "");
    put16(data, 0);    // standard functional mode
    putArray(data, operations());
    putArray(data, {objectAdded, captureComplete});
    putArray(data, properties);
    putArray(data, {exifJpeg});
    putArray(data, {association, exifJpeg, undefinedFormat});
    putString(data, id.manufacturer);
    putString(data, id.model);
    putString(data, id.deviceVersion);
    putString(data, id.serialNumber);
    return data;
}

bool PtpCamera::propertyDescription(std::uint16_t property, std::vector<std::uint8_t> *out) const
{
    const bool live = settings.identity.liveView;
    put16(*out, property);
    if (property == batteryLevel) {
        put16(*out, uint8Type);
        put8(*out, 0);  // get only
        put8(*out, 100);
        put8(*out, 80);
        put8(*out, 1);  // range 0..100 step 1
        put8(*out, 0);
        put8(*out, 100);
        put8(*out, 1);
        return true;
    }
    if (!live || (property != supportedStreams && property != enabledStreams))
        return false;
    put16(*out, uint32Type);
    put8(*out, property == enabledStreams ? 1 : 0);
    put32(*out, property == enabledStreams ? 0 : 1);
    put32(*out, property == enabledStreams ? streamsOn : 1);
    put8(*out, 0);  // no form
    return true;
}

std::uint32_t PtpCamera::addObject(const std::string &folder, const File &file)
{
    return store.add(folder, file);
}

std::vector<EmulatedPtpCamera::StoredObject> PtpCamera::objects() const
{
    return store.files();
}
