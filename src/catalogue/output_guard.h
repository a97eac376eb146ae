#pragma once
// The one check every command and window makes before it writes a file whose name the user
// chose (a still, a report workbook, a CSV list, a joined movie, a sample card): a user's
// recordings are never what gets replaced, whatever the spelling of the name.
#include <QString>
#include <QStringList>

namespace ravir {

// Why `output` must not be written, or an empty string when it may. Refused are:
// - an output that exists and is not a regular file (a device such as /dev/null, a FIFO, a
//   socket, a folder), also when the name is a symbolic link to one;
// - an output that is the same file (device and inode) as one of `inputs`, whatever path,
//   `..` or link names it;
// - an output in a card's movie or data folder (Normal, Parking, Video, _NData, _PData,
//   _VData, and their Main and Sub_ camera folders) under a name the recorder gives its own
//   files (IsRecorderFileName).
// Inputs that do not exist are passed over.
QString OutputRefusal(const QString& output, const QStringList& inputs);

// The files of a recording that no output may be: the movie, the other camera's movie and the
// telemetry file (by the card's rules and beside the movie), as far as they exist.
QStringList RecordingFilesOf(const QString& movie);

// True for a folder that the recorder writes its files into (see OutputRefusal).
bool IsCardFileFolder(const QString& folder);

}  // namespace ravir
