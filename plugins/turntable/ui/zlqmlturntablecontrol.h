#pragma once

#include <QObject>

class ZLMarvolixTurntableControl;

// What the settings UI's QML calls to act on the turntable outside a spin: preview moves, the
// shutter button, speed, ramp and idle lock of the open motor, and the import of a standard
// model's values into the custom turntable's settings.
//
// Lives on the GUI thread; its QObject parent is the UI's root item, which receives the
// imported values through its updateDeviceSettingsUI function.
class ZLQmlTurntableControl : public QObject
{
    Q_OBJECT

public:
    explicit ZLQmlTurntableControl(ZLMarvolixTurntableControl *control, QObject *parent = nullptr);
    ~ZLQmlTurntableControl() override;

    // degrees 0 turns until stopRotationPreview(); true when the rotation has started.
    Q_INVOKABLE bool startRotationPreview(int degrees, bool isCounterclockwise);
    Q_INVOKABLE void stopRotationPreview();
    // predefinedIndex is a standard model row, 1 to the table's last; the custom turntable stays open.
    Q_INVOKABLE void customTurntableImportStandardSettings(int predefinedIndex);
    Q_INVOKABLE void triggerShutterRelease();
    Q_INVOKABLE void setRampUpDegrees(float degrees);
    Q_INVOKABLE void setRotationSpeed(int speed);
    Q_INVOKABLE void setLockMotorWhenIdle(bool value);
    // Why the custom counts field's text would be refused at a spin start; empty when it would
    // not, and for an empty field, which is simply not set yet.
    Q_INVOKABLE QString customCountsProblem(const QString &text) const;

private:
    ZLMarvolixTurntableControl *m_control = nullptr;
};
