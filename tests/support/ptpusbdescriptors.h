#pragma once

#include "emulatedptpcamera.h"

#include <cstdint>
#include <string>
#include <vector>

// What an emulated PTP camera shows of itself on USB before any PTP is spoken: its
// descriptors, its sysfs and udev record for the testbed, and its answers to control requests.
class PtpUsbDescriptors
{
public:
    static constexpr std::uint8_t endpointIn = 0x81;
    static constexpr std::uint8_t endpointOut = 0x02;
    static constexpr std::uint8_t endpointEvents = 0x83;

    // Device descriptor and the full configuration.
    static std::vector<std::uint8_t> descriptors(std::uint16_t vendorId, std::uint16_t productId);
    // The testbed record of the device at node ("/dev/bus/usb/001/002") and syspath.
    static std::string record(const EmulatedPtpCamera::Identity &identity, const std::string &syspath,
                              const std::string &node, unsigned bus, unsigned address);
    // Answers one control transfer (8-byte setup, then room bytes of data stage): the length
    // of the data stage, or -1 to stall. *reset says the host asked for PTP's Device Reset or
    // Cancel, which ends the transaction in progress.
    static int control(const EmulatedPtpCamera::Identity &identity, const std::uint8_t *setup, std::uint8_t *data,
                       int room, bool *reset);
};
