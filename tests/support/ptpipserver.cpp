#include "ptpipserver.h"

#include "ptpcamera.h"
#include "ptpdataset.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

using namespace ptpdataset;

namespace {

enum PacketType : std::uint32_t {
    initCommandRequest = 1,
    initCommandAck = 2,
    initEventRequest = 3,
    initEventAck = 4,
    operationRequest = 6,
    operationResponse = 7,
    eventPacket = 8,
    startData = 9,
    dataPacket = 10,
    endData = 12,
    probeRequest = 13,
    probeResponse = 14,
};
constexpr int tick = 5;                    // ms between looks at the camera's timed answers
constexpr int chunk = 256 * 1024;          // a Data packet's payload at most
constexpr std::uint32_t dataOut = 2;       // an Operation Request's data phase: to the camera

bool sendAll(int fd, const std::vector<std::uint8_t> &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

bool sendPacket(int fd, std::uint32_t type, const std::vector<std::uint8_t> &payload)
{
    std::vector<std::uint8_t> out;
    put32(out, std::uint32_t(8 + payload.size()));
    put32(out, type);
    out.insert(out.end(), payload.begin(), payload.end());
    return sendAll(fd, out);
}

// One whole packet: false at the end of the connection or on nonsense.
bool readPacket(int fd, std::uint32_t *type, std::vector<std::uint8_t> *payload)
{
    std::uint8_t header[8];
    if (::recv(fd, header, sizeof header, MSG_WAITALL) != ssize_t(sizeof header))
        return false;
    const std::uint32_t length = get32(header);
    *type = get32(header + 4);
    if (length < 8 || length > (64u << 20))
        return false;
    payload->resize(length - 8);
    return payload->empty() || ::recv(fd, payload->data(), payload->size(), MSG_WAITALL) == ssize_t(payload->size());
}

bool readable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

std::vector<std::uint8_t> ucs2(const char *text)
{
    std::vector<std::uint8_t> out;
    for (const char *c = text; *c; ++c)
        put16(out, std::uint8_t(*c));
    put16(out, 0);
    return out;
}

} // namespace

PtpIpServer::PtpIpServer(PtpCamera &camera, std::mutex &cameraLock, std::function<void()> gone)
    : camera(camera)
    , lock(cameraLock)
    , gone(std::move(gone))
{
}

PtpIpServer::~PtpIpServer()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
    if (listener >= 0)
        ::close(listener);
}

std::uint16_t PtpIpServer::start()
{
    offline = false;
    if (listener >= 0)
        return port;
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        if (listener >= 0)
            ::close(listener);
        listener = -1;
        return 0;
    }
    port = ntohs(address.sin_port);
    thread = std::thread([this] { run(); });
    return port;
}

void PtpIpServer::stop()
{
    offline = true;
}

void PtpIpServer::run()
{
    // libgphoto2 opens the command and event connections at once, so they may be accepted in
    // either order: each is known by its first packet, and the event connection is answered
    // only once the command connection has been.
    std::vector<int> fresh;
    int command = -1, events = -1;
    const auto dropAll = [&] {
        for (int fd : fresh)
            ::close(fd);
        fresh.clear();
        for (int *fd : {&command, &events}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    };
    while (!stopping) {
        std::vector<pollfd> watched{{listener, POLLIN, 0}};
        for (int fd : fresh)
            watched.push_back({fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), 20) <= 0)
            continue;
        if (watched[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && offline)
                ::close(fd);
            else if (fd >= 0)
                fresh.push_back(fd);
        }
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (!watched[i].revents)
                continue;
            const int fd = watched[i].fd;
            fresh.erase(std::find(fresh.begin(), fresh.end(), fd));
            std::uint32_t type = 0;
            std::vector<std::uint8_t> payload;
            const bool read = readPacket(fd, &type, &payload);
            if (read && type == initCommandRequest && command < 0) {
                std::vector<std::uint8_t> ack;
                put32(ack, 1);
                ack.insert(ack.end(), 16, 0x5A);  // the camera's GUID
                const std::vector<std::uint8_t> name = ucs2("Spinwright Test Camera");
                ack.insert(ack.end(), name.begin(), name.end());
                put32(ack, 0x00010000);
                command = fd;
                if (!sendPacket(fd, initCommandAck, ack))
                    dropAll();
            } else if (read && type == initEventRequest && command >= 0 && events < 0) {
                events = fd;
                if (!sendPacket(fd, initEventAck, {}))
                    dropAll();
            } else {
                ::close(fd);
            }
        }
        if (command < 0 || events < 0)
            continue;
        const int one = 1;
        ::setsockopt(command, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(events, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        serve(command, events);
        dropAll();
        std::lock_guard<std::mutex> guard(lock);
        camera.disconnect();
    }
    dropAll();
}

void PtpIpServer::serve(int command, int events)
{
    std::vector<std::uint8_t> pendingData;  // a data phase to the camera, still arriving
    std::uint32_t type = 0;
    std::vector<std::uint8_t> payload;
    while (!stopping && !offline) {
        if (readable(command, tick)) {
            if (!readPacket(command, &type, &payload))
                return;
            std::lock_guard<std::mutex> guard(lock);
            const auto now = PtpCamera::Clock::now();
            if (type == operationRequest && payload.size() >= 10) {
                // Data phase, code, transaction, parameters: the USB command container bar the phase.
                const std::size_t params = (payload.size() - 10) / 4;
                std::vector<std::uint8_t> c = container(commandBlock, get16(payload.data() + 4), get32(payload.data() + 6),
                                                        4 * params);
                c.insert(c.end(), payload.begin() + 10, payload.begin() + long(10 + 4 * params));
                camera.receive(c.data(), c.size(), now);
                if (get32(payload.data()) == dataOut)
                    pendingData = container(dataBlock, get16(payload.data() + 4), get32(payload.data() + 6), 0);
            } else if ((type == dataPacket || type == endData) && payload.size() >= 4 && !pendingData.empty()) {
                pendingData.insert(pendingData.end(), payload.begin() + 4, payload.end());
                if (type == endData) {
                    std::vector<std::uint8_t> length;
                    put32(length, std::uint32_t(pendingData.size()));
                    std::copy(length.begin(), length.end(), pendingData.begin());
                    camera.receive(pendingData.data(), pendingData.size(), now);
                    pendingData.clear();
                }
            } else if (type == probeRequest && !sendPacket(command, probeResponse, {})) {
                return;
            }
        }
        if (!drain(command, events))
            return;
    }
}

// Sends what the camera has due: containers as PTP/IP packets, events on their own connection.
bool PtpIpServer::drain(int command, int events)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto now = PtpCamera::Clock::now();
    std::vector<std::uint8_t> buffer(chunk + headerLength);
    for (;;) {
        int n = camera.sendBulk(buffer.data(), int(buffer.size()), now);
        if (n < int(headerLength))
            break;
        const std::uint32_t length = get32(buffer.data());
        const std::uint16_t kind = get16(buffer.data() + 4);
        const std::uint16_t code = get16(buffer.data() + 6);
        const std::uint32_t transaction = get32(buffer.data() + 8);
        std::vector<std::uint8_t> out;
        if (kind == responseBlock) {
            put16(out, code);
            put32(out, transaction);
            out.insert(out.end(), buffer.begin() + headerLength, buffer.begin() + n);
            if (!sendPacket(command, operationResponse, out))
                return false;
            continue;
        }
        put32(out, transaction);
        put64(out, length - headerLength);
        if (!sendPacket(command, startData, out))
            return false;
        // Each piece goes out once the next has come, so that the last can be the End Data.
        std::vector<std::uint8_t> piece(buffer.begin() + headerLength, buffer.begin() + n);
        std::size_t received = std::size_t(n);
        while (received < length) {
            n = camera.sendBulk(buffer.data(), chunk, now);
            if (n < 0) {
                // Unplugged inside the data phase.
                out.clear();
                put32(out, transaction);
                out.insert(out.end(), piece.begin(), piece.end());
                sendPacket(command, dataPacket, out);
                if (camera.unplugDue())
                    gone();
                return false;
            }
            out.clear();
            put32(out, transaction);
            out.insert(out.end(), piece.begin(), piece.end());
            if (!sendPacket(command, dataPacket, out))
                return false;
            piece.assign(buffer.begin(), buffer.begin() + n);
            received += std::size_t(n);
        }
        out.clear();
        put32(out, transaction);
        out.insert(out.end(), piece.begin(), piece.end());
        if (!sendPacket(command, endData, out))
            return false;
    }
    std::uint8_t event[256];
    for (int n; (n = camera.sendEvent(event, sizeof event, now)) >= int(headerLength);) {
        std::vector<std::uint8_t> out;
        put16(out, get16(event + 6));
        put32(out, get32(event + 8));
        out.insert(out.end(), event + headerLength, event + n);
        if (!sendPacket(events, eventPacket, out))
            return false;
    }
    if (camera.unplugDue()) {
        gone();
        return false;
    }
    return true;
}
