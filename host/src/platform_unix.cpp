#include "platform.h"

#include <QIcon>
#include <QString>
#include <QWindow>

#include <iostream>

namespace SpinwrightPlatform {

void openDriverInstaller()
{
    // The kernel's own driver serves the chip here: there is no installer to start.
}

void setApplicationIcon(QWindow *window)
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/Spinwright-%1.png").arg(size), QSize(size, size));
    window->setIcon(icon);
}

void writeWideLine(const std::wstring &text)
{
    // glibc locks stdout to narrow output once std::cout has written, so wide output
    // would be dropped: convert back and write narrow.
    std::cout << QString::fromStdWString(text).toLocal8Bit().constData() << std::endl;
}

} // namespace SpinwrightPlatform
