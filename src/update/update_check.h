#pragma once
// The update check: fetches the maker's version files, compares them with the versions the
// viewer knows, and builds the update text (rich text with one block per item that has a newer
// version). Everything here runs on the calling thread; CInetConnectionAsync runs it on a worker.
#include "update/http_session.h"

#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <optional>
#include <vector>

namespace ravir::update {

// Paths on the maker's host.
inline constexpr char kRecorderCsvPath[] = "/taiou/dr_updata/zeradir_version.csv";
inline constexpr char kViewerCsvPath[] = "/0_recorder/viewer/zeradir_viewer.csv";
inline constexpr char kGpsTextPath[] = "/gps_data/drgps_01.txt";
inline constexpr char kGpsPagePath[] = "/taiou/gps_data/dr_01/dr01.html";
inline constexpr char kRecorderPagePath[] = "/taiou/dr_updata/za580-mvs/za580-mvs.html";

// Fixed keys.
inline constexpr char kDownloadKey[] = "ZU590-MVS_download";  // the card's shortcut name
inline constexpr char kRecorderModelKey[] = "ZU590-MVS";
inline constexpr char kViewerKey[] = "Rovazizarad";

inline constexpr int kMaxTextLength = 1300;
inline constexpr int kCsvColumns = 5;       // columns 0 to 4 are kept
inline constexpr int kCsvMaxRows = 100;     // rows beyond these are ignored
inline constexpr int kCsvMaxCellLength = 259;
inline constexpr int kGpsMaxTextLength = 259;

// The rows of a version CSV that were ended by LF (at most 100), each with columns 0 to 4.
using CsvRow = std::array<QString, kCsvColumns>;
struct CsvTable {
    std::vector<CsvRow> rows;
};

// Parses the body of a version CSV: LF ends a row, ',' moves to the next column, CR is
// skipped, every other character is added to the cell (columns 0 to 4; later columns are
// dropped). Bytes are read one character each; anything but printable ASCII becomes '?'.
// A last line without LF is not a row. Fails (nullopt) for an empty body.
std::optional<CsvTable> parseVersionCsv(const QByteArray& body);

// The row whose column 0 equals `key`; the last such row wins.
std::optional<CsvRow> findRow(const CsvTable& table, const QString& key);

// The recorder version as compared: cut before its third '.' ("1.2.3.4" -> "1.2.3").
QString recorderVersionForCompare(const QString& version);

// The GPS data version as shown and compared: '/' after every character at an odd index except
// index 5 ("231015" -> "23/10/15").
QString formatGpsVersion(const QString& version);

// The GPS text download: the text of the last 1024-byte block, without surrounding spaces and
// line breaks; nullopt when it is empty or longer than 259 characters.
std::optional<QString> parseGpsText(const QByteArray& body);

// What the viewer knows about its own installation and the card present at start-up.
struct UpdateInputs {
    QString recorderVersion;  // "%d.%d.%d", empty without telemetry
    QString gpsVersion;       // "%06d", empty when blank
    QString downloadKey;      // "ZU590-MVS_download" when the card holds that shortcut
    QString viewerVersion;    // empty: this viewer's own version
};

struct UpdateItem {
    QString name;     // UI text of the item
    QString current;  // as shown
    QString next;     // as shown
    QString url;      // as given by the server (or the maker's page)
};

// The update text for the items (1 to 3, in the order recorder, viewer, GPS data): the UI text
// TXT_UPDATE_AVAILABLE, then one block per item. Server texts are escaped; a URL becomes a
// link only when it is http or https. At most 1300 characters. Empty for no items.
QString buildUpdateText(const std::vector<UpdateItem>& items);

// The update text as HTML for a rich-text label: its CR LF pairs as line breaks.
QString updateTextToHtml(const QString& text);

// Joins the base URL of the maker's host and a path; invalid when the base is not http(s).
QUrl hostUrl(const QString& baseUrl, const char* path);

struct CheckResult {
    std::vector<UpdateItem> items;
    QString text;          // empty when there is nothing to report
    QStringList notes;     // what failed, for the command line; never shown in the viewer
};

// The check sequence: recorder (only with the download key), viewer, GPS data (only with a
// current GPS version; a failed GPS download ends the check without text). Stops early when
// `cancel` becomes true. An empty or non-http base URL makes no request and gives no text.
CheckResult runUpdateCheck(const QString& baseUrl, const UpdateInputs& inputs,
                           const HttpLimits& limits = {},
                           const std::atomic<bool>* cancel = nullptr);

}  // namespace ravir::update
