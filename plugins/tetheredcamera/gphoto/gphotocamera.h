#pragma once

#include <QByteArray>

#include <functional>
#include <string>
#include <vector>

typedef struct _GPContext GPContext;
typedef struct _Camera Camera;
typedef struct _CameraAbilitiesList CameraAbilitiesList;
typedef struct _CameraFile CameraFile;

// One libgphoto2 session: the context, the camera list and at most one open camera. Not
// thread-safe: libgphoto2 is not, so one thread (TetheredCameraWorker's) makes every call.
// Results are libgphoto2's GP_OK / GP_ERROR_* codes; lastMessage() holds the text the camlib
// gave with the last failure ("PTP Store Full", "Could not claim interface ..."), if any.
class GphotoCamera
{
public:
    struct Detected
    {
        std::string model;        // what the user reads: the driver's model, or the USB product
        std::string driverModel;  // libgphoto2's model entry: "Canon EOS 90D", "USB PTP Class Camera"
        std::string port;         // "usb:001,004", "ptpip:127.0.0.1:15740:15741"
    };

    struct Event
    {
        enum Kind { Timeout, FileAdded, CaptureComplete, Other };
        Kind kind = Timeout;
        std::string folder;
        std::string name;
    };

    GphotoCamera();
    ~GphotoCamera();

    std::vector<Detected> detect(int *result);
    int open(const Detected &camera);
    void close();
    bool isOpen() const { return camera != nullptr; }
    const Detected &openCamera() const { return current; }
    bool hasLiveView() const { return liveView; }

    int triggerCapture();
    int waitForEvent(int timeoutMs, Event *event);
    int download(const std::string &folder, const std::string &name, QByteArray *bytes);
    int remove(const std::string &folder, const std::string &name);
    int listFolders(const std::string &folder, std::vector<std::string> *names);
    int listFiles(const std::string &folder, std::vector<std::string> *names);
    int preview(QByteArray *jpeg);
    // Switches the camera's live view off again; libgphoto2 has no call for it, so it goes
    // through the camera's settings. GP_ERROR_NOT_SUPPORTED when it has no such setting.
    int endPreview();
    // The exposure set on the camera in seconds; 0 when it has none or it is not a number (bulb).
    double exposureSeconds();

    // Whether the open camera's port is still on the bus, asked afresh of the USB listing.
    bool stillAttached();
    static bool portListed(const std::string &port);

    std::string lastMessage() const { return message; }
    static std::string resultText(int result);

private:
    int list(const std::string &folder, bool folders, std::vector<std::string> *names);
    // A file libgphoto2 fills (a download, a live view frame), its bytes copied out.
    int readFile(QByteArray *bytes, const std::function<int(CameraFile *)> &fill);

    GPContext *context = nullptr;
    CameraAbilitiesList *abilities = nullptr;
    bool abilitiesLoaded = false;
    Camera *camera = nullptr;
    Detected current;
    bool liveView = false;
    std::string message;
};
