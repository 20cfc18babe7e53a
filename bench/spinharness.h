#pragma once

#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QQuickItem>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include <cstdint>
#include <vector>

class CHostAppSpinwright;
class QGuiApplication;
class QQuickView;
class ZLPluginsList;
class ZLTurntableHardware;

// The host's controller, main page and the built turntable plug-in on the simulated board, set
// up as the program does it, for benchmarks that run whole spins. GUI thread only.
class SpinHarness
{
public:
    // Call before anything else: private data folder, simulator devices and line dump.
    SpinHarness(const QByteArray &simulatedDevices, bool dumpLines);
    ~SpinHarness();

    bool isValid() const { return valid; }
    QString dataDirectory() const;
    QString dumpPath() const;

    // Writes one settings file into the data folder; before start() to take effect.
    bool writeSettings(const QString &fileName, const QJsonObject &settings);

    // The spin the benches run: images evenly spaced, no delays, clockwise, automatic capture,
    // speed 9 with a 1-degree ramp and no idle lock.
    bool writeEvenSpinSettings(int images);
    // Loads the plug-ins, builds the page and the controller and opens device list entry 0.
    bool start(int argc, char *argv[]);
    // Searches the camera objects other than the cable and opens the first camera found on USB;
    // false if none is open within the time.
    bool chooseUsbCamera(int timeoutMs = 30000);
    // Runs one spin to its "finished" message; false if it does not end within the timeout.
    bool runSpin(double *wallMs, int timeoutMs = 600000);
    // Shows the controller's message dialog and closes it, without a spin.
    bool showAndCloseMessage();
    // Message dialogs still in the page.
    int openMessages() const;
    // "Finished" messages closed by runSpin() whose objects still exist.
    int undestroyedMessages() const;
    // Closes the board (which flushes the dump) and saves as the program does at exit.
    void finish();

private:
    void closeMessage(QQuickItem *label);

    QTemporaryDir home;
    bool valid = false;
    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<ZLPluginsList> plugins;
    QQuickView *view = nullptr;
    CHostAppSpinwright *controller = nullptr;
    ZLTurntableHardware *turntable = nullptr;
    QList<QPointer<QQuickItem>> shownMessages;
};

// The simulated board's line dump as the spin benches read it: moves from the step line (line 2
// of the first board, wire "#"), a new move where the line rests longer than restMs; shutter
// releases from line 4 (wire "%").
struct LineDump
{
    struct Move
    {
        std::uint32_t counts = 0;
        long long firstRiseUs = 0;
        long long lastFallUs = 0;
    };
    std::vector<Move> moves;
    long long shutterUs = 0;  // stage 1 high, which spans the whole release
};
LineDump readLineDump(const QString &path, int restMs = 400);
