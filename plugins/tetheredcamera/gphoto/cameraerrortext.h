#pragma once

#include <QString>

#include <string>

// The texts a user reads when the camera fails, from libgphoto2's result code and the camlib's
// own message (GphotoCamera::lastMessage()).
namespace CameraErrorText {

// Opening failed. `attached`: the port is still on the bus; `accessible`: its device node can
// be opened for reading and writing by this user.
QString openFailed(const QString &camera, int result, const std::string &message, bool attached, bool accessible);
QString gone(const QString &camera);
QString captureFailed(int result, const std::string &message);
QString neverCompleted(int seconds);

} // namespace CameraErrorText
