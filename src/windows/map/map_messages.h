#pragma once
// What the map host and its page say to each other, as plain functions: the GPS arrays, the
// update message, the script calls the host runs in the page, the marker names, and the checks
// applied to every value that comes from the page. Every number written into a script is
// formatted here, so a script text never holds anything but the call and its numbers. The
// functions are built into the map module (web/map_messages.cpp); the rest of the windows use
// only the types declared here.
#include "container/telemetry.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace ravir::map {

// The play status of the page: empty while playing, "pause", "stop".
enum class PlayStatus { Playing = 0, Paused = 1, Stopped = 2 };
QString statusText(PlayStatus status);

// The GPS array of a sample list: latitude, longitude and time field of every sample whose valid
// field is not 0, in list order, then one element equal to 3 x the samples sent.
QJsonArray gpsArray(const std::vector<GpsSample>& samples);
// True when the list holds a sample with a GPS fix (valid and a position other than 0, 0 and
// the no-coordinate value).
bool hasGpsFix(const std::vector<GpsSample>& samples);

// The update message: {"map_lat":"%f","map_lng":"%f","map_status":"...","val_command":"update",
// "val_end":""} with the keys in this order and nothing else.
QString updateMessage(double latitude, double longitude, PlayStatus status);

// A number as "%d" or "%f" writes it ("C" locale); a value that is not finite writes 0.
QString scriptInt(qint64 value);
QString scriptDouble(double value);

// The scripts of a track reload, in the order they are run.
QStringList reloadTrackScripts(int recordingIndex, bool wholeTrip);
inline constexpr char kMoveMarkerScript[] = "orbitgrplist.MoveMarker()";

// The marker name of a marker type 0..7 (UI text); empty for any other value.
QString markName(int markerType);

// Checks of values that come from the page. A whole number in the int range (a JS number
// arrives as a double) or nothing; a finite double or nothing; anything else (text, null,
// fractions, objects) is refused.
std::optional<int> pageInt(const QVariant& value);
std::optional<double> pageDouble(const QVariant& value);

// What a click on an event icon reports: the frame to seek to, when every value is acceptable
// (four whole numbers, four finite numbers, the frame not negative).
std::optional<int> clickedFrame(const QVariantList& values);

}  // namespace ravir::map
