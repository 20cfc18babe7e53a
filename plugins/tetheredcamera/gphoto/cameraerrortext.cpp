#include "cameraerrortext.h"

#include "gphotocamera.h"

#include <gphoto2/gphoto2-result.h>

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ZLTetheredCamera", text);
}

bool says(const std::string &message, const char *what)
{
    return message.find(what) != std::string::npos;
}

QString detail(int result, const std::string &message)
{
    return QString::fromStdString(message.empty() ? GphotoCamera::resultText(result) : message);
}

} // namespace

QString CameraErrorText::openFailed(const QString &camera, int result, const std::string &message, bool attached,
                                    bool accessible)
{
    if (!attached)
        return gone(camera);
    if (!accessible)
        return tr("No access to \"%1\". The camera rules of libgphoto2 (Debian package libgphoto2-6) "
                  "give access to the user at the desktop; log out and in again after installing it.")
            .arg(camera);
    if (result == GP_ERROR_IO_USB_CLAIM || result == GP_ERROR_IO_LOCK || result == GP_ERROR_CAMERA_BUSY)
        return tr("\"%1\" is in use by another program. Close that program (a photo importer, or a file "
                  "manager showing the camera) and open the camera again.")
            .arg(camera);
    return tr("Cannot open \"%1\": %2").arg(camera, detail(result, message));
}

QString CameraErrorText::gone(const QString &camera)
{
    return tr("\"%1\" is no longer connected. Check its cable and that it is switched on, then search for "
              "cameras again.")
        .arg(camera);
}

QString CameraErrorText::captureFailed(int result, const std::string &message)
{
    // The PTP response names the camera's reason; libgphoto2 gives most of them as GP_ERROR.
    if (says(message, "Store Full"))
        return tr("The camera's card is full.");
    if (says(message, "Store Not Available") || says(message, "Store Read-Only") || says(message, "No Valid ObjectInfo"))
        return tr("The camera has no card it can write to.");
    if (result == GP_ERROR_CAMERA_BUSY || says(message, "Device Busy"))
        return tr("The camera is busy and did not take the picture.");
    return tr("The camera did not take the picture: %1").arg(detail(result, message));
}

QString CameraErrorText::neverCompleted(int seconds)
{
    return tr("The camera did not finish the picture within %1 seconds.").arg(seconds);
}
