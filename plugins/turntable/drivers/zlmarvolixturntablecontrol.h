#pragma once

#include "ftdicontroller.h"
#include "turntableboardlist.h"
#include "turntablemodels.h"
#include "devicewatch.h"
#include "turntablesettingsui.h"
#include "zlturntablehardware.h"

#include <QString>

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

    // Starts watching for boards arriving and leaving, as watchDevices() does.
    void pluginDidInitialized() override;
    QQuickItem *createPluginUIFrameView() override;
    // False when the settings file cannot be written: lastError() then names the file and the
    // reason, and the panel stays, so that another call tries again.
    bool pluginUIFrameViewWillClose(QQuickItem *item) override;

    // From now on boards that arrive or leave are told to the host through turntableDevicesChanged(),
    // after an open board that left has been reported as disconnected. GUI thread.
    void watchDevices();
    // False where the link cannot tell arrivals: the host learns of boards only by asking again.
    bool isWatchingDevices() const;

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

    // Why a custom turntable's counts text cannot be used, or an empty text with *counts set.
    static QString customCountsProblem(const QString &text, uint32_t *counts = nullptr);

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
    void loseOpenBoard();
    // The open board's serial number as it answers now; empty when it does not.
    std::string openSerialNumber() const;
    // GUI thread: the watch's news of boards that arrived or left.
    void devicesChanged();
    // The standard models of a listing, for the panel's import menu.
    void offerToPanel(std::list<std::string> names);

    std::unique_ptr<FTDIController> m_motor;
    std::unique_ptr<TurntableControlPrivate> d;
};
