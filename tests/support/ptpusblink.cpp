// Linked into a test, this puts the emulated PTP cameras' testbed in place from before main,
// ahead of the first libusb call of any library the test loads.
#include "emulatedptpcamera.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

[[maybe_unused]] const bool installed = [] {
    if (!EmulatedPtpCamera::available()) {
        std::fprintf(stderr, "%s runs with LD_PRELOAD=libumockdev-preload.so.0, as ctest and scripts/run start it.\n",
                     program_invocation_short_name);
        std::exit(1);
    }
    EmulatedPtpCamera::instance();
    return true;
}();

} // namespace
