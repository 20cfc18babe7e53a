#include "gphotocamera.h"

#include "usbproductname.h"

#include <gphoto2/gphoto2.h>

#include <QString>

#include <cstdlib>
#include <cstring>

namespace {

const char genericUsbModel[] = "USB PTP Class Camera";
const char genericIpModel[] = "PTP/IP Camera";

void keepError(GPContext *, const char *text, void *data)
{
    if (text)
        *static_cast<std::string *>(data) = text;
}

// Exposure texts as camlibs write them: "1/125", "0.3", "2.5s", "30"; anything else is 0.
double parseExposure(const char *text)
{
    const QString value = QString::fromUtf8(text).trimmed().remove(QLatin1Char('s'));
    const int slash = value.indexOf(QLatin1Char('/'));
    bool ok = false, ok2 = false;
    if (slash > 0) {
        const double numerator = value.left(slash).toDouble(&ok);
        const double denominator = value.mid(slash + 1).toDouble(&ok2);
        return ok && ok2 && denominator > 0 ? numerator / denominator : 0.0;
    }
    const double seconds = value.toDouble(&ok);
    return ok && seconds > 0 ? seconds : 0.0;
}

// The entry of exactly this port, or -1. Not gp_port_info_list_lookup_path: its catch-all
// "^usb:" entry matches any USB path, also of a device that has gone.
int exactPort(GPPortInfoList *ports, const std::string &port)
{
    for (int i = 0; i < gp_port_info_list_count(ports); ++i) {
        GPPortInfo info;
        char *path = nullptr;
        if (gp_port_info_list_get_info(ports, i, &info) >= GP_OK && gp_port_info_get_path(info, &path) >= GP_OK
            && path && port == path)
            return i;
    }
    return -1;
}

} // namespace

GphotoCamera::GphotoCamera()
    : context(gp_context_new())
{
    gp_context_set_error_func(context, keepError, &message);
    // Loaded at the first open, not here: it loads every camera driver libgphoto2 has, and the
    // session starts with the program.
    gp_abilities_list_new(&abilities);
}

GphotoCamera::~GphotoCamera()
{
    close();
    gp_abilities_list_free(abilities);
    gp_context_unref(context);
}

std::vector<GphotoCamera::Detected> GphotoCamera::detect(int *result)
{
    message.clear();
    std::vector<Detected> found;
    CameraList *list = nullptr;
    gp_list_new(&list);
    *result = gp_camera_autodetect(list, context);
    for (int i = 0; *result >= GP_OK && i < gp_list_count(list); ++i) {
        const char *name = nullptr, *port = nullptr;
        if (gp_list_get_name(list, i, &name) < GP_OK || gp_list_get_value(list, i, &port) < GP_OK)
            continue;
        Detected camera{name, name, port};
        if (camera.driverModel == genericUsbModel) {
            const std::string product = usbProductName(camera.port);
            if (!product.empty())
                camera.model = product;
        }
        found.push_back(camera);
    }
    gp_list_free(list);
    return found;
}

int GphotoCamera::open(const Detected &wanted)
{
    close();
    message.clear();
    if (!abilitiesLoaded) {
        const int loaded = gp_abilities_list_load(abilities, context);
        if (loaded < GP_OK)
            return loaded;
        abilitiesLoaded = true;
    }
    CameraAbilities a;
    const int model = gp_abilities_list_lookup_model(abilities, wanted.driverModel.c_str());
    if (model < GP_OK)
        return model;
    int result = gp_abilities_list_get_abilities(abilities, model, &a);
    if (result < GP_OK)
        return result;
    GPPortInfoList *ports = nullptr;
    gp_port_info_list_new(&ports);
    gp_port_info_list_load(ports);
    GPPortInfo info;
    // A USB camera that has gone must not reach gp_camera_set_port_info: in libgphoto2 2.5.30 its
    // failure there leaves the camera marked in use, so that gp_camera_unref never frees it.
    const bool usb = wanted.port.rfind("usb:", 0) == 0;
    const int at = usb ? exactPort(ports, wanted.port) : gp_port_info_list_lookup_path(ports, wanted.port.c_str());
    result = at < 0 ? GP_ERROR_IO_USB_FIND : gp_port_info_list_get_info(ports, at, &info);
    Camera *opened = nullptr;
    if (result >= GP_OK)
        result = gp_camera_new(&opened);
    if (result >= GP_OK)
        result = gp_camera_set_abilities(opened, a);
    if (result >= GP_OK)
        result = gp_camera_set_port_info(opened, info);
    if (result >= GP_OK)
        result = gp_camera_init(opened, context);
    gp_port_info_list_free(ports);
    if (result < GP_OK) {
        if (opened)
            gp_camera_unref(opened);
        return result;
    }
    camera = opened;
    current = wanted;
    liveView = (a.operations & GP_OPERATION_CAPTURE_PREVIEW) != 0;
    // The generic PTP driver claims preview for every camera and finds out at the first frame;
    // its summary lists the PTP 1.1 streams the camera really has.
    if (liveView && (wanted.driverModel == genericUsbModel || wanted.driverModel == genericIpModel)) {
        CameraText summary;
        liveView = gp_camera_get_summary(camera, &summary, context) >= GP_OK
            && std::strstr(summary.text, "Streams:") != nullptr;
    }
    return GP_OK;
}

void GphotoCamera::close()
{
    if (!camera)
        return;
    // On a camera that is gone this fails at once (ENODEV), which is all that is wanted of it.
    gp_camera_exit(camera, context);
    gp_camera_unref(camera);
    camera = nullptr;
    liveView = false;
}

int GphotoCamera::triggerCapture()
{
    message.clear();
    return camera ? gp_camera_trigger_capture(camera, context) : GP_ERROR_BAD_PARAMETERS;
}

int GphotoCamera::waitForEvent(int timeoutMs, Event *event)
{
    message.clear();
    *event = Event();
    if (!camera)
        return GP_ERROR_BAD_PARAMETERS;
    CameraEventType type = GP_EVENT_TIMEOUT;
    void *data = nullptr;
    const int result = gp_camera_wait_for_event(camera, timeoutMs, &type, &data, context);
    if (result >= GP_OK) {
        switch (type) {
        case GP_EVENT_TIMEOUT:
            event->kind = Event::Timeout;
            break;
        case GP_EVENT_FILE_ADDED: {
            const auto *path = static_cast<const CameraFilePath *>(data);
            event->kind = Event::FileAdded;
            event->folder = path->folder;
            event->name = path->name;
            break;
        }
        case GP_EVENT_CAPTURE_COMPLETE:
            event->kind = Event::CaptureComplete;
            break;
        default:
            event->kind = Event::Other;
            break;
        }
    }
    std::free(data);
    return result;
}

int GphotoCamera::readFile(QByteArray *bytes, const std::function<int(CameraFile *)> &fill)
{
    CameraFile *file = nullptr;
    gp_file_new(&file);
    int result = fill(file);
    const char *data = nullptr;
    unsigned long size = 0;
    if (result >= GP_OK)
        result = gp_file_get_data_and_size(file, &data, &size);
    if (result >= GP_OK)
        *bytes = QByteArray(data, int(size));
    gp_file_unref(file);
    return result;
}

int GphotoCamera::download(const std::string &folder, const std::string &name, QByteArray *bytes)
{
    message.clear();
    bytes->clear();
    if (!camera)
        return GP_ERROR_BAD_PARAMETERS;
    return readFile(bytes, [&](CameraFile *file) {
        return gp_camera_file_get(camera, folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL, file, context);
    });
}

int GphotoCamera::remove(const std::string &folder, const std::string &name)
{
    message.clear();
    return camera ? gp_camera_file_delete(camera, folder.c_str(), name.c_str(), context) : GP_ERROR_BAD_PARAMETERS;
}

int GphotoCamera::listFolders(const std::string &folder, std::vector<std::string> *names)
{
    return list(folder, true, names);
}

int GphotoCamera::listFiles(const std::string &folder, std::vector<std::string> *names)
{
    return list(folder, false, names);
}

int GphotoCamera::list(const std::string &folder, bool folders, std::vector<std::string> *names)
{
    message.clear();
    names->clear();
    if (!camera)
        return GP_ERROR_BAD_PARAMETERS;
    CameraList *list = nullptr;
    gp_list_new(&list);
    const int result = folders ? gp_camera_folder_list_folders(camera, folder.c_str(), list, context)
                               : gp_camera_folder_list_files(camera, folder.c_str(), list, context);
    for (int i = 0; result >= GP_OK && i < gp_list_count(list); ++i) {
        const char *name = nullptr;
        if (gp_list_get_name(list, i, &name) >= GP_OK && name)
            names->push_back(name);
    }
    gp_list_free(list);
    return result;
}

int GphotoCamera::preview(QByteArray *jpeg)
{
    message.clear();
    jpeg->clear();
    if (!camera)
        return GP_ERROR_BAD_PARAMETERS;
    return readFile(jpeg, [&](CameraFile *file) { return gp_camera_capture_preview(camera, file, context); });
}

int GphotoCamera::endPreview()
{
    message.clear();
    if (!camera)
        return GP_ERROR_BAD_PARAMETERS;
    // "viewfinder": the vendor drivers' mirror and sensor switch (Canon, Nikon, Sony); "5021":
    // a PTP 1.1 camera's EnabledStreams, which the generic driver sets on for preview.
    for (const char *key : {"viewfinder", "5021"}) {
        CameraWidget *widget = nullptr;
        if (gp_camera_get_single_config(camera, key, &widget, context) < GP_OK)
            continue;
        CameraWidgetType type;
        int result = gp_widget_get_type(widget, &type);
        if (result >= GP_OK) {
            const int off = 0;
            result = type == GP_WIDGET_TOGGLE ? gp_widget_set_value(widget, &off)
                : type == GP_WIDGET_TEXT      ? gp_widget_set_value(widget, "0")
                                              : GP_ERROR_NOT_SUPPORTED;
        }
        if (result >= GP_OK)
            result = gp_camera_set_single_config(camera, key, widget, context);
        gp_widget_free(widget);
        return result;
    }
    message.clear();
    return GP_ERROR_NOT_SUPPORTED;
}

double GphotoCamera::exposureSeconds()
{
    if (!camera)
        return 0.0;
    CameraWidget *widget = nullptr;
    double seconds = 0.0;
    for (const char *key : {"shutterspeed", "exposuretime"}) {
        if (gp_camera_get_single_config(camera, key, &widget, context) < GP_OK)
            continue;
        const char *value = nullptr;
        CameraWidgetType type;
        if (gp_widget_get_type(widget, &type) >= GP_OK
            && (type == GP_WIDGET_RADIO || type == GP_WIDGET_MENU || type == GP_WIDGET_TEXT)
            && gp_widget_get_value(widget, &value) >= GP_OK && value)
            seconds = parseExposure(value);
        gp_widget_free(widget);
        break;
    }
    message.clear();
    return seconds;
}

bool GphotoCamera::stillAttached()
{
    return !camera || portListed(current.port);
}

bool GphotoCamera::portListed(const std::string &port)
{
    if (port.rfind("usb:", 0) != 0)
        return true;
    GPPortInfoList *ports = nullptr;
    gp_port_info_list_new(&ports);
    gp_port_info_list_load(ports);
    const bool found = exactPort(ports, port) >= 0;
    gp_port_info_list_free(ports);
    return found;
}

std::string GphotoCamera::resultText(int result)
{
    return gp_result_as_string(result);
}
