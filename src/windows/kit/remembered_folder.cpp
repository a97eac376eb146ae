#include "windows/kit/remembered_folder.h"

#include "shell/config_folder.h"
#include "windows/kit/msg_dlg.h"
#include "shell/ini_file.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace ravir {

QString ChooseRememberedFolder(QWidget* owner, const QString& section, const QString& key,
                               const QString& title)
{
    QString initial = ReadValue(section, key);
    if (initial.isEmpty())
        initial = DefaultChooserFolder();
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, title, initial, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    return AcceptChosenFolder(owner, chosen);
}

QString AcceptChosenFolder(QWidget* owner, const QString& chosen)
{
    if (chosen.isEmpty())
        return {};
    const QFileInfo folder(chosen);
    if (!folder.isAbsolute() || !folder.isDir()) {
        CMsgBox::Error(owner, text(TXT_MSG_FOLDER_PATH_FAILED));
        return {};
    }
    return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}

}  // namespace ravir
