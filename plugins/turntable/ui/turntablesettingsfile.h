#pragma once

#include "turntablesettingsui.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// "MarvolixTurntable-v3.json" in the application-local data directory: one JSON object, the map
// the panel's saveSettings() returns, written when the panel closes. Keys, as read back (a value
// of another type, out of range or longer than 32 characters is dropped, the panel keeps its
// own value for it, and the file is kept aside and reported as read() says):
//   "rotationSpeed"          number, 0 to 9, rounded: the speed slider (9 is the fastest spin)
//   "isLockTableWhenIdle"    bool: "Lock table when idle"
//   "rampUpDegrees"          string: the ramp as the panel shows it, in its locale ("2,50")
//   "customTurntableAdvancedSettings"  object, written only while the custom row is open:
//       "stepsPerRevolutionText"   string: the counts as typed; may be empty
//       "isClockwiseActiveHigh"    bool
//       "isMotorEnableActiveHigh"  bool
// The "-v3" in the name is the only version mark. The same keys name the values in the maps
// the panel's saveSettings() answers and its updateDeviceSettingsUI() takes.
namespace TurntableSettingsFile {

QString path();

// The checked settings of the file; false when there is none or it cannot be read at all. A
// file that cannot be read, or holds values of the wrong type or range (the valid ones are still
// given), is kept aside as ".bad" so that the next save starts afresh, and *problem then says so
// for the user, with the path. Nothing goes to the console.
bool read(QVariantMap *settings, QString *problem = nullptr);
// False when the file cannot be written, with *error naming the path and the reason; the
// previous file is then left whole.
bool write(const QVariantMap &settings, QString *error = nullptr);

// The values of a saveSettings() answer that a spin applies to the motor; customRow: whether
// the custom turntable's block counts.
TurntableSettingsUi::SpinSettings spinSettings(const QVariantMap &settings, bool customRow);
// An opened motor's values as the panel's custom block shows them.
QVariantMap deviceMap(const TurntableSettingsUi::DeviceSettings &device);

// The custom turntable's block of a saveSettings() answer or of the file; empty when it has none.
QVariantMap customBlock(const QVariantMap &settings);
// A save while another row is open has no custom block: the last one known then goes into
// settings; a save that has one makes it the last one known.
void mergeCustomBlock(QVariantMap *settings, QVariantMap *lastCustomBlock);

} // namespace TurntableSettingsFile
