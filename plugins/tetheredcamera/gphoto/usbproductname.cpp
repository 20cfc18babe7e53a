#include "usbproductname.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool parsePort(const std::string &port, unsigned *bus, unsigned *device)
{
    char tail = 0;
    return std::sscanf(port.c_str(), "usb:%u,%u%c", bus, device, &tail) == 2;
}

QString attribute(const QString &dir, const char *name)
{
    QFile file(dir + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Descriptor strings are at most 126 characters; anything longer is not one.
    return QString::fromUtf8(file.read(512)).trimmed();
}

} // namespace

std::string usbProductName(const std::string &port)
{
    unsigned bus = 0, device = 0;
    if (!parsePort(port, &bus, &device))
        return std::string();
    const QString root = QStringLiteral("/sys/bus/usb/devices");
    for (const QString &entry : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QString dir = root + QLatin1Char('/') + entry;
        if (attribute(dir, "busnum").toUInt() != bus || attribute(dir, "devnum").toUInt() != device)
            continue;
        const QString product = attribute(dir, "product");
        const QString maker = attribute(dir, "manufacturer");
        if (product.isEmpty())
            return maker.toStdString();
        if (maker.isEmpty() || product.startsWith(maker.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive))
            return product.toStdString();
        return (maker + QLatin1Char(' ') + product).toStdString();
    }
    return std::string();
}

std::string usbDeviceNode(const std::string &port)
{
    unsigned bus = 0, device = 0;
    if (!parsePort(port, &bus, &device))
        return std::string();
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, device);
    return node;
}
