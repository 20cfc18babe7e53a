#pragma once

#include <string>

class QWindow;

// The few things the host does differently per operating system.
namespace SpinwrightPlatform {

// Starts the turntable's USB driver installer, or what stands in for it on this system.
void openDriverInstaller();

// Gives the window the application icon where the executable carries none.
void setApplicationIcon(QWindow *window);

// Writes one line to standard output after earlier narrow output on the same stream.
void writeWideLine(const std::wstring &text);

} // namespace SpinwrightPlatform

// The program proper; the system's entry point prepares the arguments and calls it.
int spinwrightMain(int argc, char *argv[]);
