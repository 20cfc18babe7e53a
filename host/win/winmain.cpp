#include "platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

// GUI-subsystem entry: Windows hands over one wide command line, Qt wants ANSI arguments.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Started from a console without redirection, the start-up failure lines should reach it.
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN
        && AttachConsole(ATTACH_PARENT_PROCESS)) {
        FILE *console = nullptr;
        freopen_s(&console, "CONOUT$", "w", stdout);
    }

    int argc = 0;
    LPWSTR *wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!wideArgv)
        return 1;

    std::vector<std::string> arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(size > 1 ? size - 1 : 0, '\0');
        if (size > 1)
            WideCharToMultiByte(CP_ACP, 0, wideArgv[i], -1, &argument[0], size, nullptr, nullptr);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wideArgv);

    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string &argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return spinwrightMain(argc, argv.data());
}
