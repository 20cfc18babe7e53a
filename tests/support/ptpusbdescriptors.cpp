#include "ptpusbdescriptors.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t deviceDescriptorLength = 18;

std::vector<std::uint8_t> stringDescriptor(const std::string &text)
{
    std::vector<std::uint8_t> out{std::uint8_t(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        out.push_back(std::uint8_t(c));
        out.push_back(0);
    }
    return out;
}

std::string hex(const std::vector<std::uint8_t> &bytes)
{
    // umockdev's record format takes upper-case hex only.
    std::string out;
    char two[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        out += two;
    }
    return out;
}

} // namespace

// A still-image camera as USB 2.0 high speed shows it: device class 0 (a class on the device
// descriptor hides it from libgphoto2's generic match), one configuration, one interface of
// class 6/1/1 with bulk IN, bulk OUT and an interrupt IN for events.
std::vector<std::uint8_t> PtpUsbDescriptors::descriptors(std::uint16_t vendor, std::uint16_t product)
{
    return {
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, std::uint8_t(vendor), std::uint8_t(vendor >> 8),
        std::uint8_t(product), std::uint8_t(product >> 8), 0x00, 0x01, 0x01, 0x02, 0x03, 0x01,
        0x09, 0x02, 0x27, 0x00, 0x01, 0x01, 0x00, 0xC0, 0x01,
        0x09, 0x04, 0x00, 0x00, 0x03, 0x06, 0x01, 0x01, 0x00,
        0x07, 0x05, endpointIn, 0x02, 0x00, 0x02, 0x00,
        0x07, 0x05, endpointOut, 0x02, 0x00, 0x02, 0x00,
        0x07, 0x05, endpointEvents, 0x03, 0x40, 0x00, 0x04,
    };
}

std::string PtpUsbDescriptors::record(const EmulatedPtpCamera::Identity &id, const std::string &syspath,
                                      const std::string &node, unsigned bus, unsigned address)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x", id.vendorId);
    const std::string vendor = ids;
    std::snprintf(ids, sizeof ids, "%04x", id.productId);
    const std::string product = ids;
    return "P: " + syspath.substr(4) + "\nN: " + node.substr(5) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME="
        + node + "\nE: BUSNUM=" + node.substr(13, 3) + "\nE: DEVNUM=" + node.substr(17, 3)
        + "\nA: busnum=" + std::to_string(bus) + "\\n\nA: devnum=" + std::to_string(address)
        + "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\nA: idVendor=" + vendor + "\\n\nA: idProduct=" + product
        + "\\n\nA: manufacturer=" + id.manufacturer + "\\n\nA: product=" + id.model + "\\n\nA: serial="
        + id.serialNumber + "\\n\nH: descriptors=" + hex(descriptors(id.vendorId, id.productId)) + "\n";
}

int PtpUsbDescriptors::control(const EmulatedPtpCamera::Identity &id, const std::uint8_t *setup, std::uint8_t *data,
                               int room, bool *reset)
{
    const std::uint8_t type = setup[0];
    const std::uint8_t request = setup[1];
    const std::uint16_t value = std::uint16_t(setup[2] | setup[3] << 8);
    *reset = false;
    std::vector<std::uint8_t> answer;
    if (type == 0x80 && request == 0x06) {
        const std::vector<std::uint8_t> all = descriptors(id.vendorId, id.productId);
        const int which = value & 0xFF;
        switch (value >> 8) {
        case 1: answer.assign(all.begin(), all.begin() + deviceDescriptorLength); break;
        case 2: answer.assign(all.begin() + deviceDescriptorLength, all.end()); break;
        case 3:
            if (which == 0)
                answer = {4, 0x03, 0x09, 0x04};
            else if (which <= 3)
                answer = stringDescriptor(which == 1 ? id.manufacturer : which == 2 ? id.model : id.serialNumber);
            else
                return -1;
            break;
        default: return -1;
        }
    } else if ((type & 0x80) && request == 0x00) {
        answer = {0, 0};  // GET_STATUS: no halt, bus powered
    } else if (type == 0xA1 && request == 0x67) {
        answer = {4, 0, 0x01, 0x20};  // PTP class Get Device Status: OK
    } else if (type == 0x02 && request == 0x01) {
        return 0;  // CLEAR_FEATURE(ENDPOINT_HALT)
    } else if (type == 0x21 && (request == 0x64 || request == 0x66)) {
        *reset = true;  // PTP class Cancel, Device Reset
        return 0;
    } else {
        return -1;
    }
    const int length = std::min(room, int(answer.size()));
    std::copy_n(answer.begin(), length, data);
    return length;
}
