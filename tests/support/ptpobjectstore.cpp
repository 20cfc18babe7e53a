#include "ptpobjectstore.h"

#include "ptpdataset.h"

#include <algorithm>
#include <cctype>
#include <ctime>

using namespace ptpdataset;

namespace {

bool isJpeg(const std::string &name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const auto endsWith = [&](const std::string &tail) {
        return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".jpg") || endsWith(".jpeg");
}

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[20];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &local);
    return text;
}

} // namespace

std::uint32_t PtpObjectStore::folder(const std::string &path)
{
    std::uint32_t parent = 0;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, slash - start);
        start = slash + 1;
        if (name.empty())
            continue;
        const auto it = std::find_if(objects.begin(), objects.end(), [&](const auto &entry) {
            return entry.second.parent == parent && entry.second.format == association && entry.second.name == name;
        });
        if (it != objects.end()) {
            parent = it->first;
            continue;
        }
        const std::uint32_t handle = nextHandle++;
        objects[handle] = Object{parent, association, name, {}, timestamp()};
        parent = handle;
    }
    return parent;
}

std::uint32_t PtpObjectStore::add(const std::string &folderPath, const EmulatedPtpCamera::File &file)
{
    const std::uint32_t parent = folder(folderPath);
    const std::uint32_t handle = nextHandle++;
    objects[handle] = Object{parent, isJpeg(file.name) ? exifJpeg : undefinedFormat, file.name, file.bytes, timestamp()};
    return handle;
}

const PtpObjectStore::Object *PtpObjectStore::find(std::uint32_t handle) const
{
    const auto it = objects.find(handle);
    return it == objects.end() ? nullptr : &it->second;
}

bool PtpObjectStore::isFolder(std::uint32_t handle) const
{
    const Object *o = find(handle);
    return o && o->format == association;
}

int PtpObjectStore::erase(std::uint32_t handle)
{
    int removed = 0;
    std::vector<std::uint32_t> children;
    for (const auto &entry : objects) {
        if (entry.second.parent == handle)
            children.push_back(entry.first);
    }
    for (std::uint32_t child : children)
        removed += erase(child);
    const auto it = objects.find(handle);
    if (it == objects.end())
        return removed;
    if (it->second.format != association)
        ++removed;
    objects.erase(it);
    return removed;
}

int PtpObjectStore::eraseAll()
{
    int removed = 0;
    while (!objects.empty())
        removed += erase(objects.begin()->first);
    return removed;
}

std::vector<std::uint32_t> PtpObjectStore::handles(std::uint32_t format, std::uint32_t parent) const
{
    std::vector<std::uint32_t> found;
    for (const auto &entry : objects) {
        const Object &o = entry.second;
        const bool inFolder = parent == 0 || (parent == 0xFFFFFFFF ? o.parent == 0 : o.parent == parent);
        if (inFolder && (format == 0 || o.format == format))
            found.push_back(entry.first);
    }
    return found;
}

std::vector<std::uint8_t> PtpObjectStore::objectInfo(std::uint32_t handle) const
{
    const Object &o = *find(handle);
    const bool folderObject = o.format == association;
    std::vector<std::uint8_t> data;
    put32(data, storageId);
    put16(data, o.format);
    put16(data, 0);  // no protection
    put32(data, std::uint32_t(o.bytes.size()));
    // libgphoto2 refuses to download an Undefined object without a thumbnail format (taking it
    // for firmware or the like): files say JPEG, as cameras whose RAW format is Undefined do.
    put16(data, folderObject ? 0 : exifJpeg);
    put32(data, 0);
    put32(data, 0);
    put32(data, 0);
    put32(data, 0);  // image size unknown: the camera does not parse what it stores
    put32(data, 0);
    put32(data, 0);
    put32(data, o.parent);
    put16(data, folderObject ? 0x0001 : 0);  // generic folder
    put32(data, 0);
    put32(data, 0);
    putString(data, o.name);
    putString(data, o.captured);
    putString(data, o.captured);
    putString(data, "");
    return data;
}

std::uint64_t PtpObjectStore::usedBytes() const
{
    std::uint64_t used = 0;
    for (const auto &entry : objects)
        used += entry.second.bytes.size();
    return used;
}

std::string PtpObjectStore::pathOf(std::uint32_t folderHandle) const
{
    std::string path;
    for (const Object *o = find(folderHandle); o && o->format == association; o = find(o->parent))
        path = path.empty() ? o->name : o->name + "/" + path;
    return path;
}

std::vector<EmulatedPtpCamera::StoredObject> PtpObjectStore::files() const
{
    std::vector<EmulatedPtpCamera::StoredObject> out;
    for (const auto &entry : objects) {
        if (entry.second.format != association)
            out.push_back({entry.first, pathOf(entry.second.parent), entry.second.name, entry.second.bytes});
    }
    return out;
}
