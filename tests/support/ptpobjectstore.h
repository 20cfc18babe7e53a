#pragma once

#include "emulatedptpcamera.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The one storage of an emulated camera (0x00010001, a memory card): folders (associations)
// and files under handles that count up from 1 and are never reused.
class PtpObjectStore
{
public:
    static constexpr std::uint32_t storageId = 0x00010001;
    static constexpr std::uint16_t association = 0x3001;
    static constexpr std::uint16_t exifJpeg = 0x3801;
    static constexpr std::uint16_t undefinedFormat = 0x3000;

    struct Object
    {
        std::uint32_t parent = 0;  // 0: the storage's root
        std::uint16_t format = 0;
        std::string name;
        std::vector<std::uint8_t> bytes;
        std::string captured;      // "YYYYMMDDThhmmss"
    };

    // The handle of the folder at path ("DCIM/100SPINW"), made as needed; 0 for the root.
    std::uint32_t folder(const std::string &path);
    // A file in folder; JPEG by its name's extension, any other Undefined.
    std::uint32_t add(const std::string &folderPath, const EmulatedPtpCamera::File &file);
    const Object *find(std::uint32_t handle) const;
    bool isFolder(std::uint32_t handle) const;
    // Removes the object and, for a folder, all within it; the number of files removed.
    int erase(std::uint32_t handle);
    int eraseAll();
    // GetObjectHandles' choice: parent 0 is every object, 0xFFFFFFFF the root's; format 0 any.
    std::vector<std::uint32_t> handles(std::uint32_t format, std::uint32_t parent) const;
    std::vector<std::uint8_t> objectInfo(std::uint32_t handle) const;
    std::uint64_t usedBytes() const;
    std::vector<EmulatedPtpCamera::StoredObject> files() const;

private:
    std::string pathOf(std::uint32_t folderHandle) const;

    std::map<std::uint32_t, Object> objects;
    std::uint32_t nextHandle = 1;
};
