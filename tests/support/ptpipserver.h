#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class PtpCamera;

// An emulated camera's second link: PTP/IP (CIPA DC-005) on 127.0.0.1, one listening port that
// takes the command connection and then the event connection, as libgphoto2 makes them when
// given "ptpip:127.0.0.1:P:P". It translates PTP/IP packets to and from the containers the
// camera's protocol speaks, so both links drive the same camera.
// Its thread owns the sockets; the camera is used only under the lock it is given.
class PtpIpServer
{
public:
    // gone is called, under the lock, when a fault makes the camera leave.
    PtpIpServer(PtpCamera &camera, std::mutex &cameraLock, std::function<void()> gone);
    ~PtpIpServer();

    // Serving, on a port of the system's choice that stays the same; 0 if none could be had.
    std::uint16_t start();
    // The camera went away: connections are dropped, new ones closed at once, until start().
    // Safe to call under the camera's lock.
    void stop();

private:
    void run();
    void serve(int command, int events);
    bool drain(int command, int events);

    PtpCamera &camera;
    std::mutex &lock;
    std::function<void()> gone;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> offline{false};
    int listener = -1;  // made by start() before the thread, then the thread's
    std::uint16_t port = 0;
};
