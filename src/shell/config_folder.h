#pragma once
// The viewer's start-up folder, which holds its configuration file: the user's configuration
// folder for the viewer (~/.config/ravir-viewer with the usual XDG rules), or the folder named
// by the environment variable RAVIR_CONFIG_DIR when that is set and not empty (tests, portable
// use). The folder is created when it is missing.
#include <QString>

namespace ravir {

inline constexpr char kConfigDirVariable[] = "RAVIR_CONFIG_DIR";
inline constexpr char kViewerAppName[] = "ravir-viewer";

// The folder chosen by the rule above, absolute and cleaned; empty when it does not exist and
// cannot be created (the configuration then reads as empty and writes fail).
QString ViewerConfigFolder();

// The same folder's path without creating it (for a reader that only looks); empty when there is
// no configuration location at all.
QString ViewerConfigFolderPath();

// Chooses the folder and records it as the start-up folder of the process (setStartupFolder).
// Returns the folder recorded.
QString UseViewerConfigFolder();

// The folder a folder chooser opens at when nothing is remembered under its key: the user's
// home folder (the configuration folder is no place for exported files).
QString DefaultChooserFolder();

}  // namespace ravir
