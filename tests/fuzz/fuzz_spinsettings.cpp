// "TurntableSpins.json" as the spin settings editor loads it.
#include "fuzzapplication.h"
#include "spinwrightresources.h"
#include "zlturntablespins.h"

#include <QQuickItem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool resources = [] {
        initSpinwrightResources();
        return true;
    }();
    (void)resources;
    writeFuzzFile("TurntableSpins.json", data, size);
    ZLTurntableSpins spins;
    QQuickItem *item = spins.createPluginUIFrameView();
    spins.takeSettingsFileError();
    spins.readSettingsFromUi();
    spins.angleTexts();
    delete item;
    return 0;
}
