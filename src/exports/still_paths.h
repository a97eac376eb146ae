#pragma once
// The file names of the still-image command.
#include <QString>

namespace ravir {

struct StillPaths {
    QString main;  // FOLDER/BASE-FFFFFF.jpg
    QString sub;   // the same with the camera letter swapped (M <-> S)
};

// The base name: the recording's file name up to its first '.'.
QString StillBaseName(const QString& recordingFileName);

// "%s-%06d" of base name and frame + ".jpg" in `folder` (a '/' is added only when the folder
// does not end with one). The sub camera's path swaps the character 12 places before the end
// (the camera letter before "-FFFFFF.jpg"): 'M' becomes 'S', 'S' becomes 'M', anything else
// stays. Empty paths for a negative frame or an empty folder or base name.
StillPaths MakeStillPaths(const QString& folder, const QString& baseName, int frame);

}  // namespace ravir
