#pragma once

#include "spinmanifest.h"

#include <QString>

// The record of one spin on disk: its folder and its manifest, rewritten (atomically) after
// every change, so that a spin that is stopped, fails or loses power leaves an exact record.
// Shot n (1-based) is the n-th planned angle. GUI thread only.
class SpinRecorder
{
public:
    // Makes a new folder under root named by the plan's start time and writes the manifest with
    // the state "running". False with *error (path and reason) when either cannot be made.
    bool begin(const QString &root, const SpinManifest::Spin &plan, QString *error);

    QString folder() const { return spinFolder; }
    int shotCount() const { return int(spin.plannedAngles.size()); }
    // <folder>/originalCapturedImages/<shot and angle>: the camera adds the extension.
    QString pictureStem(int shot) const;
    // Whether the spin has ended; its record still takes the reports of a shot under way.
    bool hasEnded() const { return spin.state != QLatin1String("running"); }

    // The camera was fired (or the user took the picture) now; "triggered" until finished.
    bool shotTriggered(int shot);
    // A file the camera stored for shot; one outside the pictures folder is not recorded.
    bool fileSaved(int shot, const QString &path);
    bool shotFinished(int shot, bool success, const QString &error);
    // state: "finished", "stopped", "failed" or "disconnected"; text: what the user was told.
    bool end(const QString &state, const QString &text);

    // Why the last write failed (path and reason).
    QString lastError() const { return writeError; }

private:
    SpinManifest::Shot *shotRecord(int shot);
    bool save();

    QString spinFolder;
    SpinManifest::Spin spin;
    QString writeError;
};
