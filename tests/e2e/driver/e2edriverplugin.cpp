#include "e2edriver.h"

#include "zlplugin.h"

#include <QCoreApplication>
#include <QTimer>

// Offers no plug-in objects, so the host's one-turntable, one-camera rule is untouched; it
// only starts the driver once the event loop runs.
class E2EDriverPlugin : public ZLRegisterPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.marvolix.ZLRegisterPlugin")

public:
    E2EDriverPlugin()
    {
        auto *driver = new E2EDriver(qApp);
        QTimer::singleShot(0, driver, &E2EDriver::start);
    }

    unsigned short supportedPluginTypes() override { return 0; }
    ZLAbstractPlugin *createPluginObject(PluginType) override { return nullptr; }
};

#include "e2edriverplugin.moc"
