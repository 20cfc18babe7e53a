#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// PTP still-image cameras emulated on the kernel's USB device interface under umockdev, so that
// the real libgphoto2 (camlib ptp2, iolib usb1, libusb) detects, opens and drives them as the
// generic "USB PTP Class Camera": interface class 6/1/1 with device class 0, a VID:PID no camlib
// names, a manufacturer no vendor quirk keys on, vendor extension 0.
//
// The process must run with libumockdev-preload (ctest sets LD_PRELOAD) and must create the
// instance before its first libusb call: a test linking the EmulatedPtpCamera target gets both
// checked and done before main (ptpusblink.cpp). A child process started afterwards with the
// same environment (UMOCKDEV_DIR, LD_PRELOAD) reaches the same cameras, as the gphoto2 tool or
// the real program. A process holds either these cameras or EmulatedFt245r, never both: each
// makes a testbed of its own and the preload follows only the last one; a test needing a
// turntable beside the camera runs the turntable on the simulated back end.
//
// What a camera answers (anything else gets OperationNotSupported, never silence):
// GetDeviceInfo, OpenSession, CloseSession, GetStorageIDs, GetStorageInfo, GetNumObjects,
// GetObjectHandles, GetObjectInfo, GetObject, GetPartialObject, DeleteObject, InitiateCapture,
// GetDevicePropDesc, GetDevicePropValue, SetDevicePropValue and, with live view, GetStreamInfo
// and GetStream. Live view is the PTP 1.1 stream: SupportedStreams (0x5020) and EnabledStreams
// (0x5021, bit 0 video); while enabled, each GetStream serves a fresh small JPEG frame.
// A capture stores its files in "DCIM/100SPINW" of the one storage (0x00010001), sends
// ObjectAdded for each after the exposure time, then CaptureComplete; libgphoto2 shows them as
// "/store_00010001/DCIM/100SPINW". Trap: gp_camera_capture names only the last file of a
// RAW+JPEG pair and drops the other without an event; gp_camera_trigger_capture followed by
// gp_camera_wait_for_event gives a GP_EVENT_FILE_ADDED for each, then CAPTURE_COMPLETE.
//
// Slots count from 0 in plug order; every call is thread-safe (the USB handler runs on
// umockdev's own thread); calls on a slot that does not exist do nothing and return defaults.
class EmulatedPtpCamera final
{
public:
    // The one instance; the first call creates the testbed.
    static EmulatedPtpCamera &instance();
    // Whether the preload that makes the emulation work is in this process.
    static bool available();

    struct Identity
    {
        std::string model = "Spinwright Test Camera";
        std::string manufacturer = "Zenlyte Optics";
        std::string serialNumber;          // empty: "SPWC" and the slot number, 8 characters
        std::string deviceVersion = "1.0";
        std::uint16_t vendorId = 0x1209;   // pid.codes' test range: in no libgphoto2 table
        std::uint16_t productId = 0x0001;
        bool liveView = true;              // advertises the stream operations and properties
    };

    // One file as the camera reports it: the name is untrusted ("../../x.jpg" is allowed and
    // reported as given); a name ending in .JPG/.JPEG is EXIF/JPEG (0x3801), any other
    // format Undefined (0x3000).
    struct File
    {
        std::string name;
        std::vector<std::uint8_t> bytes;
    };

    struct StoredObject
    {
        std::uint32_t handle = 0;
        std::string folder;                // "DCIM/100SPINW": folder path from the storage root
        std::string name;
        std::vector<std::uint8_t> bytes;
    };

    struct Counters
    {
        std::uint64_t sessionsOpened = 0;
        std::uint64_t captures = 0;        // InitiateCapture calls answered OK
        std::uint64_t capturesRefused = 0;
        std::uint64_t getObjectCalls = 0;  // GetObject and GetPartialObject
        std::uint64_t bytesServed = 0;     // object bytes sent by those
        std::uint64_t liveViewFrames = 0;  // GetStream answers carrying a frame
        std::uint64_t deletes = 0;         // objects removed by DeleteObject
        std::uint64_t notSupported = 0;    // operations answered OperationNotSupported
    };

    // Unplugs and forgets every camera.
    void reset();
    // Puts a new camera on the bus (add uevent); its slot.
    int plug();
    int plug(const Identity &identity);
    // Off the bus with a remove uevent, so a new search no longer finds it; an open handle gets
    // ENODEV from then on and its transfers in flight end with -ESHUTDOWN. Storage is kept.
    void unplug(int slot);
    // Back on the bus under a new device number, with the same identity and storage.
    void replug(int slot);
    bool plugged(int slot);
    // Whether a PTP session is open now.
    bool sessionOpen(int slot);

    // What captures store. Sets queued with setNextCapture are used first, one per capture
    // (RAW+JPEG: two files in one set); with none queued, the generator gives the files for
    // the n-th capture (from 1); without a generator a capture stores a generated 64x48 JPEG
    // named "IMG_0001.JPG" counting up. The generator runs on umockdev's thread under the
    // emulator's lock: it must not call the emulator.
    void setNextCapture(int slot, const std::vector<File> &files);
    void setCaptureGenerator(int slot, std::function<std::vector<File>(int n)> generator);
    // A file already on the card, in folder ("DCIM/100SPINW"; folders are made as needed).
    std::uint32_t addObject(int slot, const std::string &folder, const File &file);
    std::vector<StoredObject> objects(int slot);

    // Slow camera: exposure runs from InitiateCapture to ObjectAdded; transfer is how long a
    // download waits before its data arrives (GetObject, or GetPartialObject from offset 0).
    void setTiming(int slot, std::chrono::milliseconds exposure, std::chrono::milliseconds transfer);

    // Faults. The next `count` InitiateCaptures are answered with `responseCode` (StoreFull
    // 0x200C, DeviceBusy 0x2019, ...), store nothing and send no event, as cameras do. Trap:
    // libgphoto2 2.5.30's gp_camera_capture then waits for events for ever; its
    // gp_camera_trigger_capture returns the refusal (GP_ERROR, GP_ERROR_CAMERA_BUSY).
    void refuseCaptures(int slot, std::uint16_t responseCode, int count = 1);
    // Captures send ObjectAdded but never CaptureComplete: gp_camera_capture then waits for
    // ever; gp_camera_trigger_capture and gp_camera_wait_for_event with a timeout see
    // GP_EVENT_FILE_ADDED, then GP_EVENT_TIMEOUT instead of GP_EVENT_CAPTURE_COMPLETE.
    void setCaptureNeverCompletes(int slot, bool never);
    // Unplugs (as unplug) once a GetObject/GetPartialObject has sent `bytes` object bytes in
    // all from now on; 0 cancels.
    void unplugAfterObjectBytes(int slot, std::uint64_t bytes);

    Counters counters(int slot);
    void clearCounters(int slot);
    // Every operation code asked since plug, in the order first asked.
    std::vector<std::uint16_t> operationsAsked(int slot);
    bool liveViewEnabled(int slot);        // EnabledStreams bit 0 as last set
    std::string serialNumber(int slot);
    // libgphoto2's port of the camera now, "usb:001,002", for gp_port_info_list_lookup_path.
    std::string usbPort(int slot);
    // The same camera on PTP/IP too (from the first call on, while plugged): the port
    // "ptpip:127.0.0.1:P:P" for the abilities "PTP/IP Camera" (never autodetected). Unplug
    // drops its connections and refuses new ones. Drive a camera over one link at a time.
    std::string ptpIpPort(int slot);

    struct Private;

private:
    EmulatedPtpCamera();
    ~EmulatedPtpCamera();

    std::unique_ptr<Private> d;
};
