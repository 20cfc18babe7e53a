#pragma once

#include "ftdicontroller.h"
#include "turntablemodels.h"
#include "turntablesettingsui.h"
#include "zlturntablehardware.h"

#include <cstddef>
#include <list>
#include <memory>
#include <string>

class QQuickItem;

// The turntable object of the plug-in: knows the models, opens the motor of the chosen one and
// turns the table for the host. Its settings panel and file belong to the TurntableSettingsUi
// that the plug-in installs; without one the control has no panel.
//
// Threads: everything runs on the GUI thread except rotationEnded(), which the motor's worker
// calls; it reads only the atomic spin flag and asks the panel for a queued refresh.
class ZLMarvolixTurntableControl : public ZLTurntableHardware, public FTDIControllerOwner
{
public:
    static constexpr int modelCount = turntableModelCount;

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

    // Installs the settings panel; before the first turntable is opened, on the GUI thread.
    void setSettingsUi(std::unique_ptr<TurntableSettingsUi> ui);

    // Creates and opens the motor of a model row without calling any hook. An identified turntable
    // opens as its own row whatever row is asked for; index then carries that row.
    void createMotor(size_t &index, bool &ok);
    // The open motor, null while no turntable is open. Owned by this control.
    FTDIController *motor() const;
    bool isSpinning() const;

    // Queues the panel's refresh for a model row, or -1 for "the table has stopped turning".
    // Callable from any thread; does nothing while the panel does not exist.
    void updateDeviceSettingsUI(int index);

    // Operations of the settings panel's bridge (GUI thread); all but the import do nothing while
    // no motor is open.
    bool startRotationPreview(int degrees, bool isCounterclockwise);
    void stopRotationPreview();
    // Reads counts and clockwise level of a standard row (1 to modelCount - 1) and reopens the
    // custom turntable; returns the values for the panel's custom settings.
    TurntableSettingsUi::DeviceSettings customTurntableImportStandardSettings(int predefinedIndex);
    void triggerShutterRelease();
    void setRampUpDegrees(float degrees);
    void setRotationSpeed(int speed);
    void setLockMotorWhenIdle(bool value);

    // The motor's end-of-rotation report, on its worker thread.
    void rotationEnded() override;
    // The motor's report that its board vanished mid-move, on its worker thread.
    void boardVanished() override;

private:
    Q_DISABLE_COPY(ZLMarvolixTurntableControl)
    struct TurntableControlPrivate;
    // Gives the motor's idle lock back to the user's box, unless a spin holds the table.
    void followLockBox();

    // Joins a worker that has ended by itself, so that its last writes are seen before ours.
    void joinFinishedWorker();
    // GUI thread: closes a motor whose board has vanished and tells the host.
    void reportBoardLost();

    std::unique_ptr<FTDIController> m_motor;
    std::unique_ptr<TurntableControlPrivate> d;
};
