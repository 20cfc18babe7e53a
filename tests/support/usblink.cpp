// Linked into a test, this makes its d2xxsim calls drive FT245R chips emulated on the USB
// interface, reached through libftdi1, from before main on.
#include "emulatedft245r.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[maybe_unused]] const bool installed = [] {
    if (!EmulatedFt245r::available()) {
        std::fprintf(stderr, "This test runs with LD_PRELOAD=libumockdev-preload.so.0, as ctest starts it.\n");
        std::exit(1);
    }
    EmulatedFt245r::instance();
    return true;
}();

} // namespace
