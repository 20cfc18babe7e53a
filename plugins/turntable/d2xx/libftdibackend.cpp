#include "libftdibackend.h"

#include "ft245reeprom.h"
#include "libftdiqueue.h"
#include "libusbdevicewatch.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace d2xx {

namespace {

constexpr int vendorId = 0x0403;
constexpr int productId = 0x6001;

struct DeviceList
{
    ftdi_device_list *head = nullptr;
    ~DeviceList() { ftdi_list_free(&head); }
};

struct Context
{
    ftdi_context *ctx = ftdi_new();
    ~Context()
    {
        if (ctx)
            ftdi_free(ctx);
    }
};

// Only a board another process has claimed through libusb can be told apart: claiming its
// interface fails with LIBUSB_ERROR_BUSY. A board bound to the kernel's serial driver may
// still be open as a tty; that is not visible here.
bool claimedElsewhere(libusb_device *device)
{
    libusb_device_handle *usb = nullptr;
    if (libusb_open(device, &usb) != 0)
        return false;
    bool busy = false;
    if (libusb_kernel_driver_active(usb, 0) == 0) {
        const int claimed = libusb_claim_interface(usb, 0);
        if (claimed == 0)
            libusb_release_interface(usb, 0);
        busy = claimed == LIBUSB_ERROR_BUSY;
    }
    libusb_close(usb);
    return busy;
}

bool serialDriverBound(libusb_device *device)
{
    libusb_device_handle *usb = nullptr;
    if (libusb_open(device, &usb) != 0)
        return false;
    const bool bound = libusb_kernel_driver_active(usb, 0) == 1;
    libusb_close(usb);
    return bound;
}

void giveBackSerialDriver(libusb_device *device)
{
    libusb_device_handle *usb = nullptr;
    if (libusb_open(device, &usb) != 0)
        return;
    libusb_attach_kernel_driver(usb, 0);
    libusb_close(usb);
}

} // namespace

struct LibftdiBackend::Link
{
    std::mutex mutex;
    ftdi_context *ctx = nullptr;
    ULONG baudRate = 0;  // as FT_SetBaudRate asked; 0 before any
    USHORT divisor = 0;  // as FT_SetDivisor asked, in its place; 0 before any
    std::unique_ptr<LibftdiQueue> queue;  // while open
    std::string description;
    std::string serialNumber;
    int bus = 0;
    int address = 0;
    // The user area: where it begins once located, and the words of it read so far.
    bool userAreaFound = false;
    std::size_t userAreaBegin = 0;
    std::vector<UCHAR> userArea;

    // The board the serial driver held before the open took it; it gets it back at the close.
    libusb_device *serialBoard = nullptr;

    ~Link()
    {
        queue.reset();
        if (ctx) {
            ftdi_usb_close(ctx);
            if (serialBoard) {
                giveBackSerialDriver(serialBoard);
                libusb_unref_device(serialBoard);
            }
            ftdi_free(ctx);
        }
    }
};

LibftdiBackend::LibftdiBackend() = default;
LibftdiBackend::~LibftdiBackend() = default;

std::vector<LibftdiBackend::Found> LibftdiBackend::enumerate()
{
    std::vector<Found> found;
    Context context;
    if (!context.ctx)
        return found;
    DeviceList list;
    if (ftdi_usb_find_all(context.ctx, &list.head, vendorId, productId) <= 0)
        return found;

    std::vector<std::pair<int, int>> ownOpen;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &entry : links)
            ownOpen.emplace_back(entry.second->bus, entry.second->address);
    }
    for (ftdi_device_list *node = list.head; node; node = node->next) {
        Found device;
        device.bus = libusb_get_bus_number(node->dev);
        device.address = libusb_get_device_address(node->dev);
        char description[64] = "";
        char serial[16] = "";
        // The strings need the device opened; one held open elsewhere may refuse them.
        if (ftdi_usb_get_strings(context.ctx, node->dev, nullptr, 0, description, sizeof description, serial,
                                 sizeof serial) == 0) {
            device.description = description;
            device.serialNumber = serial;
        }
        const bool ours = std::find(ownOpen.begin(), ownOpen.end(), std::make_pair(device.bus, device.address))
            != ownOpen.end();
        device.busy = !ours && claimedElsewhere(node->dev);
        found.push_back(device);
    }
    return found;
}

std::shared_ptr<LibftdiBackend::Link> LibftdiBackend::linkOf(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = links.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == links.end() ? nullptr : it->second;
}

FT_STATUS LibftdiBackend::createDeviceInfoList(DWORD *numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    *numDevices = static_cast<DWORD>(enumerate().size());
    return FT_OK;
}

FT_STATUS LibftdiBackend::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, DWORD *numDevices)
{
    // *numDevices is also the capacity of list: a board plugged in since
    // FT_CreateDeviceInfoList must not write past the caller's array.
    if (!list || !numDevices)
        return FT_INVALID_PARAMETER;
    const std::vector<Found> found = enumerate();
    const DWORD filled = std::min<DWORD>(*numDevices, static_cast<DWORD>(found.size()));
    for (DWORD i = 0; i < filled; ++i) {
        FT_DEVICE_LIST_INFO_NODE &node = list[i];
        node.Flags = found[i].busy ? FT_FLAGS_OPENED : 0;
        node.Type = FT_DEVICE_232R;
        node.ID = ft245rId;
        node.LocId = static_cast<DWORD>(found[i].bus << 8 | found[i].address);
        copyText(node.SerialNumber, sizeof node.SerialNumber, found[i].serialNumber);
        copyText(node.Description, sizeof node.Description, found[i].description);
        node.ftHandle = nullptr;
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &entry : links) {
            if (entry.second->bus == found[i].bus && entry.second->address == found[i].address)
                node.ftHandle = reinterpret_cast<FT_HANDLE>(entry.first);
        }
    }
    *numDevices = filled;
    return FT_OK;
}

FT_STATUS LibftdiBackend::open(int deviceNumber, FT_HANDLE *handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (deviceNumber < 0)
        return FT_DEVICE_NOT_FOUND;

    auto link = std::make_shared<Link>();
    link->ctx = ftdi_new();
    if (!link->ctx)
        return FT_INSUFFICIENT_RESOURCES;
    DeviceList list;
    if (ftdi_usb_find_all(link->ctx, &list.head, vendorId, productId) <= 0)
        return FT_DEVICE_NOT_FOUND;
    ftdi_device_list *node = list.head;
    for (int i = 0; node && i < deviceNumber; ++i)
        node = node->next;
    if (!node)
        return FT_DEVICE_NOT_FOUND;

    // Opening detaches the kernel's serial driver from the board (libftdi's default), which
    // bit-bang needs; the board's tty disappears until the close gives the driver back. A
    // listing opens every FT245R, and would otherwise take the tty of each one for good.
    const bool serialDriver = serialDriverBound(node->dev);
    const int opened = ftdi_usb_open_dev(link->ctx, node->dev);
    if (opened < 0) {
        if (serialDriver)
            giveBackSerialDriver(node->dev);
        ftdi_free(link->ctx);
        link->ctx = nullptr;
        return opened == -4 || opened == -5 ? FT_DEVICE_NOT_OPENED : FT_IO_ERROR;
    }
    if (serialDriver)
        link->serialBoard = libusb_ref_device(node->dev);
    link->queue = std::make_unique<LibftdiQueue>(link->ctx);
    link->bus = libusb_get_bus_number(node->dev);
    link->address = libusb_get_device_address(node->dev);
    char description[64] = "";
    char serial[16] = "";
    if (ftdi_usb_get_strings2(link->ctx, node->dev, nullptr, 0, description, sizeof description, serial,
                              sizeof serial) == 0) {
        link->description = description;
        link->serialNumber = serial;
    }

    std::lock_guard<std::mutex> lock(mutex);
    const std::uintptr_t id = nextHandle++;
    links[id] = std::move(link);
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

FT_STATUS LibftdiBackend::close(FT_HANDLE handle)
{
    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = links.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == links.end())
            return FT_INVALID_HANDLE;
        link = std::move(it->second);
        links.erase(it);
    }
    // The last reference closes the USB device, after any call still running on it.
    std::lock_guard<std::mutex> lock(link->mutex);
    return FT_OK;
}

FT_STATUS LibftdiBackend::readUserArea(Link &link, std::size_t length)
{
    // Word by word, and only what is asked for: libftdi1's ftdi_read_eeprom reads 128 words,
    // twice the chip's EEPROM, one control transfer each.
    const auto readWord = [&link](std::size_t word, UCHAR *bytes) {
        unsigned short value = 0;
        if (ftdi_read_eeprom_location(link.ctx, int(word), &value) < 0)
            return false;
        bytes[0] = UCHAR(value & 0xFF);
        bytes[1] = UCHAR(value >> 8);
        return true;
    };
    if (!link.userAreaFound) {
        if (link.ctx->type != TYPE_R)
            return FT_DEVICE_NOT_FOUND;
        UCHAR descriptors[6];
        for (std::size_t i = 0; i < sizeof descriptors; i += 2) {
            if (!readWord((ft245rDescriptors + i) / 2, descriptors + i))
                return FT_IO_ERROR;
        }
        if (!ft245rUserAreaBegin(descriptors, &link.userAreaBegin))
            return FT_IO_ERROR;
        link.userAreaFound = true;
    }
    const std::size_t wanted = std::min(length, ft245rUserAreaEnd - link.userAreaBegin);
    while (link.userArea.size() < wanted) {
        UCHAR bytes[2];
        if (!readWord((link.userAreaBegin + link.userArea.size()) / 2, bytes))
            return FT_IO_ERROR;
        link.userArea.insert(link.userArea.end(), bytes, bytes + 2);
    }
    return FT_OK;
}

FT_STATUS LibftdiBackend::eeUaSize(FT_HANDLE handle, DWORD *size)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (!size)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    const FT_STATUS status = readUserArea(*link, 0);
    if (status == FT_OK)
        *size = static_cast<DWORD>(ft245rUserAreaEnd - link->userAreaBegin);
    return status;
}

FT_STATUS LibftdiBackend::eeUaRead(FT_HANDLE handle, UCHAR *data, DWORD dataLength, DWORD *bytesRead)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (!data || !bytesRead)
        return FT_INVALID_PARAMETER;
    *bytesRead = 0;
    std::lock_guard<std::mutex> lock(link->mutex);
    const FT_STATUS status = readUserArea(*link, dataLength);
    if (status != FT_OK)
        return status;
    const std::size_t n = std::min<std::size_t>(dataLength, link->userArea.size());
    std::copy_n(link->userArea.begin(), n, data);
    *bytesRead = static_cast<DWORD>(n);
    return FT_OK;
}

int LibftdiBackend::applyBaudRate(Link &link)
{
    // A divisor goes out as it is, in the raw request (SIO_SET_BAUDRATE, the divisor's low 16
    // bits as value, the rest as index, 0 for a whole divisor of an R chip), past libftdi1's
    // conversion, whose bit-bang factor is the disputed one (ft245rclock.h).
    if (link.divisor != 0)
        return libusb_control_transfer(link.ctx->usb_dev, FTDI_DEVICE_OUT_REQTYPE, SIO_SET_BAUDRATE_REQUEST,
                                       link.divisor, 0, nullptr, 0, link.ctx->usb_write_timeout) < 0 ? -2 : 0;
    // In bit-bang mode libftdi1 multiplies the rate by 4 before it picks the divisor; the
    // vendor's library programs the divisor of the rate asked for in every mode, and so do we.
    if (link.baudRate == 0)
        return 0;
    const ULONG rate = link.ctx->bitbang_enabled ? std::max<ULONG>(link.baudRate / 4, 1) : link.baudRate;
    return ftdi_set_baudrate(link.ctx, static_cast<int>(rate));
}

FT_STATUS LibftdiBackend::setBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (baudRate == 0 || baudRate > 3000000)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    link->baudRate = baudRate;
    link->divisor = 0;
    const int result = applyBaudRate(*link);
    return result == -1 ? FT_INVALID_PARAMETER : result < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS LibftdiBackend::setDivisor(FT_HANDLE handle, USHORT divisor)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (divisor == 0)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    link->divisor = divisor;
    link->baudRate = 0;
    return applyBaudRate(*link) < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS LibftdiBackend::writeQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if ((!buffer && length > 0) || length > 0x7FFFFFFF)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    if (length > 0 && !link->queue->submit(buffer, length))
        return FT_IO_ERROR;
    // This block stays queued behind the chip's FIFO while the caller makes the next.
    return link->queue->waitUntil(1) ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::waitQueued(FT_HANDLE handle)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(link->mutex);
    return link->queue->waitUntil(0) ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibftdiBackend::cancelQueued(FT_HANDLE handle, DWORD *dropped)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(link->mutex);
    const DWORD count = link->queue->cancelAll();
    if (dropped)
        *dropped = count;
    return FT_OK;
}

FT_STATUS LibftdiBackend::setLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (latencyMs < 1)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    return ftdi_set_latency_timer(link->ctx, latencyMs) < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS LibftdiBackend::setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (mode != FT_BITMODE_RESET && mode != FT_BITMODE_ASYNC_BITBANG)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    if (ftdi_set_bitmode(link->ctx, mask, mode == FT_BITMODE_RESET ? BITMODE_RESET : BITMODE_BITBANG) < 0)
        return FT_IO_ERROR;
    applyBaudRate(*link);
    return FT_OK;
}

FT_STATUS LibftdiBackend::purge(FT_HANDLE handle, ULONG mask)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (mask & ~ULONG(FT_PURGE_RX | FT_PURGE_TX))
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    int result = 0;
    if ((mask & FT_PURGE_RX) && (mask & FT_PURGE_TX))
        result = ftdi_tcioflush(link->ctx);
    else if (mask & FT_PURGE_RX)
        result = ftdi_tciflush(link->ctx);
    else if (mask & FT_PURGE_TX)
        result = ftdi_tcoflush(link->ctx);
    return result < 0 ? FT_IO_ERROR : FT_OK;
}

FT_STATUS LibftdiBackend::write(FT_HANDLE handle, const UCHAR *buffer, DWORD bytesToWrite, DWORD *bytesWritten)
{
    if (bytesWritten)
        *bytesWritten = 0;
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if ((!buffer && bytesToWrite > 0) || !bytesWritten || bytesToWrite > 0x7FFFFFFF)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    const int written = ftdi_write_data(link->ctx, buffer, static_cast<int>(bytesToWrite));
    if (written < 0)
        return FT_IO_ERROR;
    *bytesWritten = static_cast<DWORD>(written);
    return FT_OK;
}

FT_STATUS LibftdiBackend::read(FT_HANDLE handle, UCHAR *buffer, DWORD bytesToRead, DWORD *bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if ((!buffer && bytesToRead > 0) || !bytesReturned)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(link->mutex);
    // The present pin levels, sampled once per byte asked for.
    for (DWORD i = 0; i < bytesToRead; ++i) {
        if (ftdi_read_pins(link->ctx, &buffer[i]) < 0)
            return FT_IO_ERROR;
        ++*bytesReturned;
    }
    return FT_OK;
}

FT_STATUS LibftdiBackend::getDeviceInfo(FT_HANDLE handle, FT_DEVICE *type, DWORD *id, char *serialNumber,
                                        char *description)
{
    const auto link = linkOf(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(link->mutex);
    // A control transfer that fails once the board is gone.
    unsigned char latency = 0;
    if (ftdi_get_latency_timer(link->ctx, &latency) < 0)
        return FT_IO_ERROR;
    return answerDeviceInfo(type, id, serialNumber, description,
                            link->ctx->type == TYPE_R ? FT_DEVICE_232R : FT_DEVICE_UNKNOWN, link->serialNumber,
                            link->description);
}

std::unique_ptr<DeviceWatch> LibftdiBackend::watch(std::function<void()> changed)
{
    return LibusbDeviceWatch::create(std::move(changed));
}

Backend *hardwareBackend()
{
    static LibftdiBackend backend;
    return &backend;
}

} // namespace d2xx
