#pragma once

#include <string>

// The USB product string ("EOS 90D", prefixed with its maker when the product does not name it)
// of the device on libgphoto2's port "usb:BBB,DDD", read from sysfs; empty when not found.
// libgphoto2 names every camera it knows only by the class ("USB PTP Class Camera"): the
// product string is what tells two such cameras apart for the user.
std::string usbProductName(const std::string &port);

// The device node of a "usb:BBB,DDD" port, "/dev/bus/usb/BBB/DDD"; empty for any other port.
std::string usbDeviceNode(const std::string &port);
