#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace d2xx {

// Value Change Dump of the simulated lines: one scope per device, one 1-bit wire per line,
// microseconds since the dump was started. Not thread-safe; the simulator's lock guards it.
class VcdWriter
{
public:
    struct Scope
    {
        std::string name;
        std::vector<std::string> wireNames;  // eight names, line 0 first
        std::uint8_t levels = 0;             // levels before the first change
    };

    VcdWriter() = default;
    ~VcdWriter();
    VcdWriter(const VcdWriter &) = delete;
    VcdWriter &operator=(const VcdWriter &) = delete;

    bool open(const std::string &path, std::string *errorText);
    void close();
    bool isOpen() const { return file != nullptr; }
    // Definitions are written once, at the first change, for the scopes known then.
    bool hasDefinitions() const { return defined; }
    void writeDefinitions(const std::vector<Scope> &scopes);
    // Records the lines of scope `index` that differ from what the dump last showed.
    void change(std::chrono::steady_clock::time_point time, std::size_t index, std::uint8_t levels);
    void flush();

private:
    static std::string identifier(std::size_t wire);

    std::FILE *file = nullptr;
    bool defined = false;
    std::vector<std::uint8_t> shown;  // per scope
    std::chrono::steady_clock::time_point origin;
    long long lastTime = -1;
};

} // namespace d2xx
