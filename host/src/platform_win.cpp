#include "platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <iostream>

namespace SpinwrightPlatform {

void openDriverInstaller()
{
    const QString installer = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral("Driver/CDM21228_Setup.exe"));
    QDesktopServices::openUrl(QUrl::fromLocalFile(installer));
}

void setApplicationIcon(QWindow *)
{
    // The executable's icon resource serves every window.
}

void writeWideLine(const std::wstring &text)
{
    std::wcout << text << std::endl;
}

} // namespace SpinwrightPlatform
