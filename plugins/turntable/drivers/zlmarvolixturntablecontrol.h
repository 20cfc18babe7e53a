#pragma once

#include "ftdicontroller.h"
#include "zlturntablehardware.h"

#include <QVariantMap>

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <string>

class QObject;
class QQuickItem;

// The turntable object of the plug-in: knows the ten models, opens the motor of the chosen one,
// turns the table for the host, and keeps the settings UI and its file.
//
// Threads: everything runs on the GUI thread except rotationEnded(), which the motor's worker
// calls; it reads only the atomic spin flag and queues the UI refresh under the UI lock.
class ZLMarvolixTurntableControl : public ZLTurntableHardware, public FTDIControllerOwner
{
public:
    // Makes the QML bridge of the settings UI; parent is the UI's root item.
    using UiBridgeFactory = std::function<QObject *(ZLMarvolixTurntableControl *control, QObject *parent)>;

    static constexpr int modelCount = 10;

    ZLMarvolixTurntableControl();
    ~ZLMarvolixTurntableControl() override;

    std::list<std::string> availableTurntables() override;
    void openHardware(size_t index) override;
    void closeHardware() override;
    unsigned int countsPerRevolution() override;
    bool stepsSpinningWillStart() override;
    void stepsSpinningWillStop() override;
    bool startAngleRotation(float degrees) override;
    void stopAngleRotation() override;

    QQuickItem *createPluginUIFrameView() override;
    bool pluginUIFrameViewWillClose(QQuickItem *item) override;

    // Creates and opens the motor of a model row without calling any hook. Row 0 stands for the
    // identified turntable's own row when one has been found; index then carries that row.
    void createMotor(size_t &index, bool &ok);
    // The open motor, null while no turntable is open. Owned by this control.
    FTDIController *motor() const;
    bool isSpinning() const;

    // Queues the UI's refresh for a model row, or -1 for "the table has stopped turning".
    // Callable from any thread; does nothing while the UI does not exist.
    void updateDeviceSettingsUI(int index);

    // Operations of the settings UI's bridge (GUI thread); all but the import do nothing while no
    // motor is open.
    bool startRotationPreview(int degrees, bool isCounterclockwise);
    void stopRotationPreview();
    // Reads counts and clockwise level of a standard row (1 to 9) and reopens the custom
    // turntable; returns the map for the UI's custom settings (queued there by the caller).
    QVariantMap customTurntableImportStandardSettings(int predefinedIndex);
    void triggerShutterRelease();
    void setRampUpDegrees(float degrees);
    void setRotationSpeed(int speed);
    void setLockMotorWhenIdle(bool value);

    void setUiBridgeFactory(UiBridgeFactory factory);

    // The motor's end-of-rotation report, on its worker thread.
    void rotationEnded() override;
    // The motor's report that its board vanished mid-move, on its worker thread.
    void boardVanished() override;

private:
    Q_DISABLE_COPY(ZLMarvolixTurntableControl)
    struct TurntableControlPrivate;

    // Joins a worker that has ended by itself, so that its last writes are seen before ours.
    void joinFinishedWorker();
    // GUI thread: closes a motor whose board has vanished and tells the host.
    void reportBoardLost();

    std::unique_ptr<FTDIController> m_motor;
    std::unique_ptr<TurntableControlPrivate> d;
};
