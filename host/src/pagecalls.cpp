#include "pagecalls.h"

#include "zlplugin.h"
#include "zlturntablehardware.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>

namespace PageCalls {

bool invoke(QQuickItem *page, const char *name, const QVariant &argument)
{
    if (!page || page->metaObject()->indexOfMethod(QByteArray(name) + "(QVariant)") < 0)
        return false;
    return QMetaObject::invokeMethod(page, name, Q_ARG(QVariant, argument));
}

QStringList publishTurntables(ZLTurntableHardware *turntable)
{
    QStringList devices;
    for (const std::string &name : turntable->availableTurntables())
        devices.append(QString::fromStdString(name));
    globalQmlEngine()->rootContext()->setContextProperty(QStringLiteral("TurntableDevicesModel"), devices);
    return devices;
}

void showTurntableListIndex(QQuickItem *page, int index)
{
    invoke(page, "setTurntableListIndex", index);
}

} // namespace PageCalls
