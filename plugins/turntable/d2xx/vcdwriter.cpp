#include "vcdwriter.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace d2xx {

VcdWriter::~VcdWriter()
{
    close();
}

bool VcdWriter::open(const std::string &path, std::string *errorText)
{
    close();
    file = std::fopen(path.c_str(), "w");
    if (!file) {
        if (errorText)
            *errorText = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    origin = std::chrono::steady_clock::now();
    return true;
}

void VcdWriter::close()
{
    if (!file)
        return;
    std::fclose(file);
    file = nullptr;
    defined = false;
    shown.clear();
    lastTime = -1;
}

void VcdWriter::flush()
{
    if (file)
        std::fflush(file);
}

std::string VcdWriter::identifier(std::size_t wire)
{
    // Printable ASCII '!' to '~', as short as possible.
    std::string id;
    do {
        id += static_cast<char>('!' + wire % 94);
        wire /= 94;
    } while (wire > 0);
    return id;
}

void VcdWriter::writeDefinitions(const std::vector<Scope> &scopes)
{
    if (!file || defined)
        return;
    defined = true;
    shown.clear();
    for (const Scope &scope : scopes)
        shown.push_back(scope.levels);

    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file, "$date %s $end\n", date);
    std::fprintf(file, "$version Spinwright D2XX simulator $end\n");
    std::fprintf(file, "$timescale 1us $end\n");
    std::fprintf(file, "$scope module d2xx $end\n");
    for (std::size_t s = 0; s < scopes.size(); ++s) {
        std::fprintf(file, "$scope module %s $end\n", scopes[s].name.c_str());
        for (std::size_t line = 0; line < 8; ++line)
            std::fprintf(file, "$var wire 1 %s %s $end\n", identifier(s * 8 + line).c_str(),
                         scopes[s].wireNames.at(line).c_str());
        std::fprintf(file, "$upscope $end\n");
    }
    std::fprintf(file, "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n");
    for (std::size_t s = 0; s < scopes.size(); ++s) {
        for (std::size_t line = 0; line < 8; ++line)
            std::fprintf(file, "%c%s\n", (scopes[s].levels >> line & 1) ? '1' : '0',
                         identifier(s * 8 + line).c_str());
    }
    std::fprintf(file, "$end\n");
    lastTime = 0;
}

void VcdWriter::change(std::chrono::steady_clock::time_point time, std::size_t index, std::uint8_t levels)
{
    if (!file || !defined || index >= shown.size() || shown[index] == levels)
        return;
    const std::uint8_t before = shown[index];
    const std::uint8_t after = levels;
    shown[index] = levels;
    long long us = std::chrono::duration_cast<std::chrono::microseconds>(time - origin).count();
    if (us < lastTime)
        us = lastTime;
    if (us != lastTime) {
        std::fprintf(file, "#%lld\n", us);
        lastTime = us;
    }
    const std::uint8_t changed = before ^ after;
    for (std::size_t line = 0; line < 8; ++line) {
        if (changed >> line & 1)
            std::fprintf(file, "%c%s\n", (after >> line & 1) ? '1' : '0', identifier(index * 8 + line).c_str());
    }
}

} // namespace d2xx
