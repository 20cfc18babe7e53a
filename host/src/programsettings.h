#pragma once

#include <QString>

// The program's own settings file, "Spinwright.json" in the application-local data directory,
// one JSON object. Its keys, each optional (an absent key keeps its default, so files written
// before a key existed read as before):
//   "lastUsedTurntableIndex-v3"  the model row of the turntable last opened: an integer >= 0
//   "camera"                     the camera the user chose: the name the main page lists it by
//                                (the shutter-release cable or a tethered camera); absent or
//                                not found among the cameras: the first one listed
//   "picturesFolder"             the folder under which every spin gets a folder of its own:
//                                an absolute path; absent: defaultPicturesFolder()
// A file that cannot be read, or holding a value of the wrong type or range, is moved aside as
// "Spinwright.json.bad" and every value starts from its default. GUI thread only.
class ProgramSettings
{
public:
    static QString filePath();
    // The user's Pictures folder, then "Spinwright".
    static QString defaultPicturesFolder();

    // Reads the file. False when it exists but could not be used: *message then holds the
    // text for the user (the path, the reason and where the file was kept).
    bool load(QString *message);
    // Writes every value that is set; false with *error (path and reason) when it cannot.
    bool save(QString *error) const;

    // -1 when the file names no turntable.
    int lastUsedTurntable = -1;
    QString camera;
    QString picturesFolder;

    QString effectivePicturesFolder() const;
};
