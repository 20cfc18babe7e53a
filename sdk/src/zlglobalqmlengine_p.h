#pragma once

class QQmlEngine;

namespace ZLSdkPrivate {
// Deletes the shared engine; a later globalQmlEngine() starts a new one rather than
// handing out a dangling pointer.
void deleteGlobalQmlEngine();
}
