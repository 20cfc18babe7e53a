#pragma once

#include <QStringList>
#include <QVariant>

class QQuickItem;
class ZLTurntableHardware;

// Calls into the main page that the controller makes for the turntable list. A page may lack a
// function (an older one, or a test's stand-in): the call is then skipped without a warning.
namespace PageCalls {

// Calls page function name(argument); false when the page has no such function.
bool invoke(QQuickItem *page, const char *name, const QVariant &argument);
// Asks the turntable for its devices and publishes them as "TurntableDevicesModel".
QStringList publishTurntables(ZLTurntableHardware *turntable);
// The list shows this entry as chosen, without reporting it; -1: none.
void showTurntableListIndex(QQuickItem *page, int index);

} // namespace PageCalls
