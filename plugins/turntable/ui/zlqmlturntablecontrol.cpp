#include "zlqmlturntablecontrol.h"

#include "turntablesettingsfile.h"
#include "zlmarvolixturntablecontrol.h"

#include <QMetaObject>
#include <QVariant>

ZLQmlTurntableControl::ZLQmlTurntableControl(ZLMarvolixTurntableControl *control, QObject *parent)
    : QObject(parent)
    , m_control(control)
{
}

ZLQmlTurntableControl::~ZLQmlTurntableControl() = default;

bool ZLQmlTurntableControl::startRotationPreview(int degrees, bool isCounterclockwise)
{
    return m_control && m_control->startRotationPreview(degrees, isCounterclockwise);
}

void ZLQmlTurntableControl::stopRotationPreview()
{
    if (m_control)
        m_control->stopRotationPreview();
}

void ZLQmlTurntableControl::customTurntableImportStandardSettings(int predefinedIndex)
{
    // Only standard rows have values worth importing; anything else would close the open
    // custom turntable for nothing.
    if (!m_control || !isStandardTurntableRow(predefinedIndex))
        return;

    const QVariantMap settings =
        TurntableSettingsFile::deviceMap(m_control->customTurntableImportStandardSettings(predefinedIndex));
    if (QObject *item = parent()) {
        QMetaObject::invokeMethod(item, "updateDeviceSettingsUI", Qt::QueuedConnection,
                                  Q_ARG(QVariant, QVariant(customTurntableRow)), Q_ARG(QVariant, QVariant(settings)));
    }
}

void ZLQmlTurntableControl::triggerShutterRelease()
{
    if (m_control)
        m_control->triggerShutterRelease();
}

void ZLQmlTurntableControl::setRampUpDegrees(float degrees)
{
    if (m_control)
        m_control->setRampUpDegrees(degrees);
}

void ZLQmlTurntableControl::setRotationSpeed(int speed)
{
    if (m_control)
        m_control->setRotationSpeed(speed);
}

void ZLQmlTurntableControl::setLockMotorWhenIdle(bool value)
{
    if (m_control)
        m_control->setLockMotorWhenIdle(value);
}

QString ZLQmlTurntableControl::customCountsProblem(const QString &text) const
{
    return text.trimmed().isEmpty() ? QString() : ZLMarvolixTurntableControl::customCountsProblem(text);
}
