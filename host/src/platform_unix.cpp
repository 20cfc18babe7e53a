#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QString>
#include <QUrl>
#include <QWindow>

#include <iostream>

namespace SpinwrightPlatform {

void openDriverInstaller()
{
    // The kernel's own driver serves the chip here: instead of an installer, the guide's
    // section on the udev rule, kept at the same place beside the program in both trees.
    QUrl guide = QUrl::fromLocalFile(QDir::cleanPath(QCoreApplication::applicationDirPath()
                                                     + QStringLiteral("/../share/doc/spinwright/user-guide.html")));
    guide.setFragment(QStringLiteral("access-for-a-normal-user"));
    QDesktopServices::openUrl(guide);
}

void setApplicationIcon(QWindow *window)
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        // Named as PNG and not left to guess: guessing loads every image-format plug-in to ask it.
        QImageReader reader(QStringLiteral(":/icons/Spinwright-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    window->setIcon(icon);
}

void writeWideLine(const std::wstring &text)
{
    // glibc locks stdout to narrow output once std::cout has written, so wide output
    // would be dropped: convert back and write narrow.
    std::cout << QString::fromStdWString(text).toLocal8Bit().constData() << std::endl;
}

} // namespace SpinwrightPlatform
