#pragma once
// Choose a folder that is remembered under a configuration key.
#include <QString>

class QWidget;

namespace ravir {

// Offers a folder chooser owned by `owner`, titled `title`, opened at the folder stored under
// section/key, or at the user's home folder when none is stored. Returns the chosen folder, or an
// empty string when the user cancelled. The key is not written: the caller writes the chosen
// folder back with WriteValue when it is not empty.
QString ChooseRememberedFolder(QWidget* owner, const QString& section, const QString& key,
                               const QString& title);

// The chooser's answer made into a folder path: empty stays empty (cancelled); a choice that is
// not a folder of the local file system (a remote location the dialog could not map, or a folder
// gone since) shows "ERROR" TXT_MSG_FOLDER_PATH_FAILED and gives the empty string; otherwise the
// clean native path.
QString AcceptChosenFolder(QWidget* owner, const QString& chosen);

}  // namespace ravir
