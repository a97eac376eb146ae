#pragma once
// What a drop on the main window offers as a source: the local files and folders of its URLs
// (a file manager's drag), nothing else. The first local path is the one opened.
#include <QString>
#include <QStringList>

class QMimeData;

namespace ravir {

// The local paths of the drop's URLs, in order; remote URLs and text are left out.
QStringList LocalPathsOfDrop(const QMimeData* mime);

// The path a drop opens: the first local path that exists; empty when there is none.
QString DroppedSourcePath(const QMimeData* mime);

// A source given on the command line or by a file manager: a path, or a file: URL (the desktop
// file's %u); another URL gives an empty result.
QString SourceArgumentPath(const QString& argument);

}  // namespace ravir
