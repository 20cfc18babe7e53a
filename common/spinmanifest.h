#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// One spin on disk: a folder named by the spin's start time, the pictures in
// "originalCapturedImages" named by shot and angle, and the manifest "spin.json" that says what
// was planned and what each shot produced. The host writes it after every shot; the viewer, the
// exports and the card import read it and the import adds files to it. This is the one reader
// and writer of the file.
//
// Keys of "spin.json" (one JSON object; a missing key reads as its default, a value of the
// wrong type or out of its bounds makes the whole file unusable, so that a hand-edited file is
// never half-believed):
//   "format"          int, 1. A higher number is refused: a newer program wrote it.
//   "program"         string, the writing program's name and version ("Spinwright v.3.0.30108").
//   "created"         string, ISO 8601 local time with offset and milliseconds: the spin's start.
//   "state"           string: "running" while shots are taken, then "finished", "stopped",
//                     "failed" or "disconnected". A spin that lost power stays "running".
//   "ended"           string, ISO 8601 as "created"; absent while running.
//   "stateText"       string, the message the user was shown when the spin ended, if any.
//   "turntable"       object: "model" string, "countsPerRevolution" int 1..10000000.
//   "camera"          object: "name" string (as the camera choice showed it), "kind" string,
//                     "cable" (fired through the shutter-release cable: the pictures stay on the
//                     card) or "tethered" (the pictures are in the folder).
//   "direction"       string, "clockwise" or "counterclockwise".
//   "speed"           int 0..100, the turntable's speed setting.
//   "preCaptureDelay", "postCaptureDelay"  number, seconds, 0..86400.
//   "manualCapture"   bool.
//   "row"             int 0..99, the camera height's row when several spins of one product are
//                     shot at several heights; 0 for a single row.
//   "plannedAngles"   array of numbers, degrees in [0, 360), at most 10000.
//   "shots"           array of objects, in the order taken, at most 10000:
//       "shot"     int >= 1, the shot number (1 is the first angle)
//       "angle"    number, degrees in [0, 360)
//       "time"     string, ISO 8601 as "created": when the camera was triggered
//       "files"    array of strings, paths relative to the spin folder, each inside
//                  "originalCapturedImages" (anything else is refused: a manifest never points
//                  outside its folder)
//       "outcome"  string: "captured" (files stored), "triggered" (fired through the cable,
//                  nothing stored), "imported" (files copied in from the card), "failed"
//       "error"    string, the camera's reason when "failed"
namespace SpinManifest {

inline constexpr char fileName[] = "spin.json";
// The same name as ZLCameraHardware::originalImagesDirectoryName(); common code does not link
// the SDK, so a test holds the two together.
inline constexpr char imagesFolder[] = "originalCapturedImages";
inline constexpr int currentFormat = 1;
inline constexpr int maxShots = 10000;
inline constexpr qint64 maxFileSize = 16 * 1024 * 1024;

struct Shot
{
    int shot = 0;
    double angle = 0.0;
    QDateTime time;
    QStringList files;
    QString outcome;
    QString error;
};

struct Spin
{
    int format = currentFormat;
    QString program;
    QDateTime created;
    QString state = QStringLiteral("running");
    QDateTime ended;
    QString stateText;
    QString turntableModel;
    int countsPerRevolution = 0;
    QString cameraName;
    QString cameraKind = QStringLiteral("cable");
    QString direction = QStringLiteral("clockwise");
    int speed = 0;
    double preCaptureDelay = 0.0;
    double postCaptureDelay = 0.0;
    bool manualCapture = false;
    int row = 0;
    QVector<double> plannedAngles;
    QVector<Shot> shots;
};

// Reads "<folder>/spin.json". False with *error set (a phrase for the user's message, naming
// the key at fault) when the file is missing, too large, not JSON or holds a value out of
// bounds.
bool read(const QString &folder, Spin *spin, QString *error);
// Writes "<folder>/spin.json" atomically: a crash mid-write leaves the previous manifest whole.
bool write(const QString &folder, const Spin &spin, QString *error);

QJsonObject toJson(const Spin &spin);
bool fromJson(const QJsonObject &object, Spin *spin, QString *error);

// "07_135.0": the shot number, zero-padded to the width of the spin's shot count (at least two
// digits), and the angle with one decimal. The pictures' stem inside "originalCapturedImages".
QString pictureStem(int shot, double angle, int shotCount);
// "2026-12-10_17-30-05": the spin folder's name for a start time; a second spin in the same
// second gets "-2", "-3" appended by makeSpinFolder.
QString folderNameFor(const QDateTime &start);
// Creates a new, empty spin folder under root with its "originalCapturedImages" folder, named
// by start. Returns its path, or an empty text with *error set (the path and the reason).
QString makeSpinFolder(const QString &root, const QDateTime &start, QString *error);

} // namespace SpinManifest
