#pragma once
// Choose a folder that is remembered under a configuration key (window code: lives in the
// viewer, not in the core).
#include <QString>

class QWidget;

namespace ravir {

// Offers a folder chooser owned by `owner`, titled `title`, opened at the folder stored under
// section/key, or at the user's home folder when none is stored. Returns the chosen folder, or an
// empty string when the user cancelled. The key is not written: the caller writes the chosen
// folder back with WriteValue when it is not empty.
QString ChooseRememberedFolder(QWidget* owner, const QString& section, const QString& key,
                               const QString& title);

}  // namespace ravir
