#include "shell/remembered_folder_gui.h"

#include "shell/config_folder.h"
#include "shell/ini_file.h"

#include <QDir>
#include <QFileDialog>

namespace ravir {

QString ChooseRememberedFolder(QWidget* owner, const QString& section, const QString& key,
                               const QString& title)
{
    QString initial = ReadValue(section, key);
    if (initial.isEmpty())
        initial = DefaultChooserFolder();
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, title, initial, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return {};
    return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}

}  // namespace ravir
