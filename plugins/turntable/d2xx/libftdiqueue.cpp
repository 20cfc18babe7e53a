#include "libftdiqueue.h"

#include <libusb.h>

#include <algorithm>
#include <sys/time.h>

bool LibftdiQueue::submit(const unsigned char *bytes, std::size_t length)
{
    Queued entry{nullptr, std::vector<unsigned char>(bytes, bytes + length)};
    entry.transfer = ftdi_write_data_submit(ctx, entry.bytes.data(), int(length));
    if (!entry.transfer) {
        unsent += std::uint32_t(length);
        return false;
    }
    queued.push_back(std::move(entry));
    return true;
}

void LibftdiQueue::waitFor(ftdi_transfer_control *transfer)
{
    // libftdi1's own ftdi_transfer_data_done polls with a zero timeout, which spins a core.
    while (!transfer->completed) {
        timeval timeout{0, 100000};
        const int result = libusb_handle_events_timeout_completed(ctx->usb_ctx, &timeout, &transfer->completed);
        if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED)
            break;
    }
}

bool LibftdiQueue::finishOldest()
{
    Queued oldest = std::move(queued.front());
    queued.pop_front();
    waitFor(oldest.transfer);
    const int size = oldest.transfer->size;
    const int offset = oldest.transfer->offset;
    const bool ok = ftdi_transfer_data_done(oldest.transfer) == size;
    if (!ok)
        unsent += std::uint32_t(std::max(0, size - offset));
    return ok;
}

bool LibftdiQueue::waitUntil(std::size_t left)
{
    bool ok = true;
    while (queued.size() > left)
        ok = finishOldest() && ok;
    return ok;
}

std::uint32_t LibftdiQueue::cancelAll()
{
    std::uint32_t dropped = unsent;
    unsent = 0;
    for (Queued &entry : queued) {
        if (!entry.transfer->completed)
            libusb_cancel_transfer(entry.transfer->transfer);
        waitFor(entry.transfer);
        dropped += std::uint32_t(entry.transfer->size - entry.transfer->offset);
        ftdi_transfer_data_done(entry.transfer);
    }
    queued.clear();
    return dropped;
}
