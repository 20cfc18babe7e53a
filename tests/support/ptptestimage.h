#pragma once

#include <cstdint>
#include <vector>

// The pictures the emulated cameras make, as JPEG files: recognisable at a glance (colour bars,
// a circle and the number drawn in segments) and different for every number. Needs no
// QGuiApplication, so it runs on umockdev's thread as well.
class PtpTestImage
{
public:
    // A still: the n-th capture's test card.
    static std::vector<std::uint8_t> testCard(int width, int height, int n);
    // A 160x120 live-view frame; a bar sweeps across as n counts up.
    static std::vector<std::uint8_t> liveViewFrame(int n);
};
