#pragma once
// The paths of a joined save by the card's naming rules, and the texts of its outcome. The
// joined save itself (container/movie_join.h) takes every path from here and knows no rule.
#include "container/movie_join.h"

#include <QString>
#include <QStringList>

namespace ravir {

// The telemetry file of a movie: camera letter D, extension ".ADA", in the data folder of the
// movie's folder when that folder is named exactly like a movie folder of either card layout
// (Normal, Video, Parking), else beside the movie.
struct TelemetryPlace {
    QString path;
    QString dataFolder;  // the card data folder of the rule, empty when the file lies beside the movie
};
TelemetryPlace TelemetryPlaceOf(const QString& moviePath);

// The request for joining movies (in list order) into outputPath: every input with its
// telemetry file, the joined telemetry file of outputPath (its data folder may be created only
// when outputPath lies in a card movie folder), and the bytes needed (movie, paired movie and
// telemetry sizes). Replacing an existing output or telemetry file stays off.
JoinRequest MakeJoinRequest(const QStringList& movies, const QString& outputPath);

// The UI text of an outcome: TXT_DONE, TXT_MSG_JOIN_FAILED, or -1 when the user stopped it.
int JoinMessageId(const JoinResult& result);
// What went wrong, in one line for the command line and logs.
QString JoinErrorText(JoinError error);

}  // namespace ravir
