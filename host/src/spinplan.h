#pragma once

#include "spinmanifest.h"

class QQuickItem;
class ZLCameraHardware;
class ZLTurntableHardware;
class ZLTurntableSpins;

namespace SpinPlan {

// What a spin about to start will do, as its record begins: the settings last read from the
// editor, the open turntable, the camera (null: none) by the name the user chose it by, and the
// speed shown on the turntable's panel (0 without one).
SpinManifest::Spin make(const ZLTurntableSpins &spins, ZLTurntableHardware *turntable,
                        ZLCameraHardware *camera, const QString &cameraName, QQuickItem *turntablePanel);

} // namespace SpinPlan
