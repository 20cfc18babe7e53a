#pragma once

#include "zlplugin.h"

#include <QList>
#include <QString>

class QQuickItem;
class ZLTurntableHardware;

// Outcome of one call of ZLTurntableSpins::nextSpinStep().
enum class SpinStepResult : int {
    Rotating = 0,       // a rotation was started; its end arrives through turntableRotationStopped
    AtStartAngle = 1,   // the first angle is 0: nothing to turn, ask again at once
    Finished = 2,       // every angle and the closing full turn are done
    RotationFailed = 3  // the turntable refused the rotation; see turntable()->lastError()
};

// The parameters of a spin, their editor ("qrc:/qml/TurntableSpins.qml"), their file
// "TurntableSpins.json" and the sequence of table positions of a spin.
// GUI thread only.
//
// Calling order: setTurntable(); createPluginUIFrameView(); removeVideoMode();
// updateTurntableStepsPerRevolution() after every opened device; readSettingsFromUi() when a
// spin starts; nextSpinStep() after every capture cycle; pluginUIFrameViewWillClose() when the
// application closes (saves the file), after which the caller deletes the item.
//
// Without a settings file the editor starts from 24 images and 1 s before and after each
// capture; a file that lacks a value starts it from that value's default.
//
// A settings file that cannot be read or holds something else than spin settings is moved
// aside as "TurntableSpins.json.bad" and the defaults are used. The text for the user is then
// both lastError() and the one-time result of takeSettingsFileError(): call the latter right
// after createPluginUIFrameView() and show a non-empty result once (a title such as
// "Spin settings"). Nothing else is reported that way.
class ZLTurntableSpins : public ZLAbstractPlugin
{
public:
    ZLTurntableSpins();
    ~ZLTurntableSpins() override;

    ZLRegisterPlugin::PluginType pluginType() const override;
    // Builds the editor on globalQmlEngine() and loads the settings file; the caller owns the item.
    // Returns null (and sets lastError()) when the editor cannot be built.
    QQuickItem *createPluginUIFrameView() override;
    // Reads the editor, writes the settings file and drops the editor's companion. False when the
    // file cannot be written: the previous one is left untouched, lastError() names the path and
    // the reason, and the editor stays, so that another call tries again.
    bool pluginUIFrameViewWillClose(QQuickItem *item) override;

    // Not owned.
    ZLTurntableHardware *turntable() const;
    void setTurntable(ZLTurntableHardware *turntable);

    void updateTurntableStepsPerRevolution();
    void removeVideoMode();
    // Takes the angle list, delays, direction and capture mode from the editor; does nothing
    // while no editor exists.
    void readSettingsFromUi();
    // Turns the table to the next absolute position of the spin (negative counter-clockwise).
    SpinStepResult nextSpinStep();

    // Why the table cannot stop at every angle last read as a position of its own, for the
    // user; empty when it can (or when countsPerRevolution is 0, not known).
    QString unreachablePositions(unsigned int countsPerRevolution) const;

    QString takeSettingsFileError();
    static QString settingsFilePath();

    // Values as last read by readSettingsFromUi(); delays are seconds, never negative.
    int shootingMode() const;
    QList<float> shootingAngles() const;
    int shootingAnglesCount() const;
    float firstShootingAngle() const; // 0 when the list is empty
    float preCaptureDelay() const;
    float postCaptureDelay() const;
    int direction() const; // 0 clockwise, 1 counter-clockwise
    float videoDegrees() const;
    bool isManualCapture() const;

    quint16 stepIndex() const;
    void setStepIndex(quint16 index);

    // The angle texts the editor shows ("0.00", "45.00", ...).
    QStringList angleTexts() const;

private:
    Q_DISABLE_COPY(ZLTurntableSpins)

    struct TurntableSpinsPrivate;
    TurntableSpinsPrivate *d;
    ZLTurntableHardware *m_turntable = nullptr;
};
