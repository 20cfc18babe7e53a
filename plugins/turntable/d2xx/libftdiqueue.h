#pragma once

#include <ftdi.h>

#include <cstdint>
#include <deque>
#include <vector>

// The bulk transfers of one libftdi1 link queued ahead of the chip (d2xx.h, FTX_WriteQueued):
// each block is one asynchronous transfer, waited for in the kernel (poll), never by spinning.
// Not locked: the link's own lock is held around every call.
class LibftdiQueue
{
public:
    explicit LibftdiQueue(ftdi_context *context) : ctx(context) {}
    ~LibftdiQueue() { cancelAll(); }
    LibftdiQueue(const LibftdiQueue &) = delete;
    LibftdiQueue &operator=(const LibftdiQueue &) = delete;

    // Submits a block; false when libftdi1 could not.
    bool submit(const unsigned char *bytes, std::size_t length);
    // Waits until at most `left` transfers are still on their way; false when one failed.
    bool waitUntil(std::size_t left);
    // Takes back every transfer still on its way; returns the bytes that never left, those of
    // failed transfers included.
    std::uint32_t cancelAll();

private:
    struct Queued
    {
        ftdi_transfer_control *transfer;
        std::vector<unsigned char> bytes;  // libftdi sends from this buffer until the transfer ends
    };

    void waitFor(ftdi_transfer_control *transfer);
    bool finishOldest();

    ftdi_context *ctx;
    std::deque<Queued> queued;
    std::uint32_t unsent = 0;  // bytes of failed transfers that never left
};
