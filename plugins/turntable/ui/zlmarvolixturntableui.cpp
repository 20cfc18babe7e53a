#include "zlmarvolixturntableui.h"

#include "pluginuirecord.h"
#include "settingsfile.h"
#include "turntablemodels.h"
#include "turntablesettingsfile.h"
#include "zlplugin.h"
#include "zlqmlturntablecontrol.h"

#include <QMetaObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QUrl>

namespace {

const char uiUrl[] = "qrc:/qml/MarvolixTurntableUi.qml";

// What the panel's saveSettings() answers for the open row; empty without a panel.
QVariantMap savedSettings(QQuickItem *item, int openRow)
{
    if (!item)
        return {};
    QVariant result;
    QMetaObject::invokeMethod(item, "saveSettings", Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, openRow));
    return SettingsFile::mapFromQml(result);
}

} // namespace

ZLMarvolixTurntableUi::ZLMarvolixTurntableUi(BridgeFactory bridgeFactory)
    : m_bridgeFactory(std::move(bridgeFactory))
{
    if (!m_bridgeFactory) {
        m_bridgeFactory = [](ZLMarvolixTurntableControl *control, QObject *parent) -> QObject * {
            return new ZLQmlTurntableControl(control, parent);
        };
    }
}

ZLMarvolixTurntableUi::~ZLMarvolixTurntableUi()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_record.reset();
}

QQuickItem *ZLMarvolixTurntableUi::create(ZLMarvolixTurntableControl *control, const QStringList &standardModels,
                                          QString *error)
{
    QQmlEngine *engine = globalQmlEngine();
    auto record = std::make_unique<PluginUiRecord>();
    record->context = new QQmlContext(engine->rootContext());
    record->context->setContextProperty(QStringLiteral("MarvolixTurntableStandardDevicesModel"), standardModels);

    QQmlComponent component(engine, QUrl(QLatin1String(uiUrl)));
    QObject *object = component.create(record->context);
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        *error = component.errorString();
        return nullptr;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    record->item = item;

    QVariantMap settings;
    QString problem;
    if (TurntableSettingsFile::read(&settings, &problem)) {
        QMetaObject::invokeMethod(item, "loadSettings", Q_ARG(QVariant, QVariant(settings)));
        record->customAdvancedSettings = TurntableSettingsFile::customBlock(settings);
    }
    // For the host, which shows it as it shows the problems of its own files.
    item->setProperty("settingsFileProblem", problem);

    // Published after loadSettings, so that the values it sets reach no motor.
    record->bridge = m_bridgeFactory(control, item);
    record->context->setContextProperty(QStringLiteral("MarvolixTurntableQmlControl"), record->bridge.data());

    std::lock_guard<std::mutex> lock(m_mutex);
    m_record = std::move(record);
    return item;
}

bool ZLMarvolixTurntableUi::close(QQuickItem *item, int openRow, QString *error)
{
    std::unique_ptr<PluginUiRecord> record;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        record = std::move(m_record);
    }
    if (!item && record)
        item = record->item.data();

    QVariantMap settings = savedSettings(item, openRow);
    // An empty answer would wipe the file; keep what was saved before.
    if (settings.isEmpty())
        return true;
    if (record)
        TurntableSettingsFile::mergeCustomBlock(&settings, &record->customAdvancedSettings);
    if (TurntableSettingsFile::write(settings, error))
        return true;
    // Kept, so that the host can try again once the user has made the folder writable.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_record)
        m_record = std::move(record);
    return false;
}

TurntableSettingsUi::SpinSettings ZLMarvolixTurntableUi::spinSettings(int openRow)
{
    QPointer<QQuickItem> item;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_record)
            item = m_record->item;
    }
    const QVariantMap settings = savedSettings(item.data(), openRow);
    const bool customRow = openRow == customTurntableRow;
    if (customRow) {
        const QVariantMap custom = TurntableSettingsFile::customBlock(settings);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_record)
            m_record->customAdvancedSettings = custom;
    }
    TurntableSettingsUi::SpinSettings spin = TurntableSettingsFile::spinSettings(settings, customRow);
    if (customRow)
        spin.customCountsText =
            TurntableSettingsFile::customBlock(settings).value(QStringLiteral("stepsPerRevolutionText")).toString();
    return spin;
}

void ZLMarvolixTurntableUi::refresh(int index, const DeviceSettings &device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_record || !m_record->item)
        return;
    QVariant settings;
    if (index == customTurntableRow)
        settings = m_record->customAdvancedSettings;
    else if (index != -1)
        settings = TurntableSettingsFile::deviceMap(device);
    // Posted, not called: the worker thread asks too, and the QML must run on the GUI thread.
    // The arguments travel as Qt's own copies: a functor built here and run there would share
    // its captures across threads through a queue whose lock the thread checker cannot see.
    QMetaObject::invokeMethod(m_record->item.data(), "updateDeviceSettingsUI", Qt::QueuedConnection,
                              Q_ARG(QVariant, QVariant(index)), Q_ARG(QVariant, settings));
}

void ZLMarvolixTurntableUi::setStandardModels(const QStringList &standardModels)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_record && m_record->context)
        m_record->context->setContextProperty(QStringLiteral("MarvolixTurntableStandardDevicesModel"), standardModels);
}
