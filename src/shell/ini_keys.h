#pragma once
// Every setting of the configuration file: its section and key, its type, the value written at
// the first run, and typed readers and writers that apply each key's rule for a missing or empty
// value. All of them go through ReadValue/WriteValue, so every read goes to the file.
#include <QString>
#include <array>

namespace ravir {

enum class IniValueType {
    Integer,  // decimal, read as _wtoi reads it
    OnOff,    // "on" or any other text
    Float,    // written with "%f", read as _wtof reads it
    Text,
    Path,     // a full path of a folder or file
    Url,
};

struct IniKey {
    const char* section;
    const char* key;
    IniValueType type;
    const char* firstRun;  // written when the file did not exist; nullptr for none
};

namespace ini {
inline constexpr IniKey kInfoCheck{"DISPLAY", "INFOCHECK", IniValueType::Integer, "31"};
inline constexpr IniKey kAspect{"DISPLAY", "ASPECT", IniValueType::OnOff, "on"};
inline constexpr IniKey kVolume{"DISPLAY", "VOLUME", IniValueType::Integer, "65535"};
inline constexpr IniKey kThumbnail{"DISPLAY", "THUMBNAIL", IniValueType::Integer, nullptr};
inline constexpr IniKey kScaleX{"DISPLAY", "SCALEX", IniValueType::Float, nullptr};
inline constexpr IniKey kScaleY{"DISPLAY", "SCALEY", IniValueType::Float, nullptr};
// The language of the texts: "auto" (the locale's), "ja" or "en"; read once at start-up.
inline constexpr IniKey kLanguage{"DISPLAY", "LANGUAGE", IniValueType::Text, nullptr};
// The unit of speeds on screen: "kmh" or "mph"; missing: mph for English in the US or the UK.
inline constexpr IniKey kSpeedUnit{"DISPLAY", "SPEED_UNIT", IniValueType::Text, nullptr};
inline constexpr IniKey kHw{"DECODE", "HW", IniValueType::OnOff, nullptr};
inline constexpr IniKey kSourceSelect{"SOURCE", "SELECT", IniValueType::Text, nullptr};
inline constexpr IniKey kSourceSd{"SOURCE", "SD", IniValueType::Text, nullptr};
inline constexpr IniKey kSourceFolder{"SOURCE", "FOLDER", IniValueType::Path, nullptr};
inline constexpr IniKey kSourceFile{"SOURCE", "FILE", IniValueType::Path, nullptr};
inline constexpr IniKey kCsvFolder{"FOLDERPATH", "CSV_FOLDER", IniValueType::Path, nullptr};
inline constexpr IniKey kConnectFolder{"FOLDERPATH", "CONNECT_FOLDER", IniValueType::Path,
                                       nullptr};
inline constexpr IniKey kSnapshotFolder{"FOLDERPATH", "SNAPSHOT_FOLDER", IniValueType::Path,
                                        nullptr};
// The folder of the accident-report workbooks, chosen the first time and whenever it is gone.
inline constexpr IniKey kReportFolder{"FOLDERPATH", "REPORT_FOLDER", IniValueType::Path, nullptr};
// Character set of the recording list CSV: "locale", "cp932" or "utf-8"; missing: the locale's.
inline constexpr IniKey kCsvEncoding{"FOLDERPATH", "CSV_ENCODING", IniValueType::Text, nullptr};
// Base URL of the maker's update server (a deployment setting); empty: no update check.
inline constexpr IniKey kUpdateHost{"UPDATE", "HOST", IniValueType::Url, nullptr};
// Tile server of the map ({z}, {x}, {y} in the URL) and the attribution shown under the map;
// empty or unusable: OpenStreetMap's standard tile server.
inline constexpr IniKey kMapTileUrl{"MAP", "TILE_URL", IniValueType::Url, nullptr};
inline constexpr IniKey kMapAttribution{"MAP", "ATTRIBUTION", IniValueType::Text, nullptr};

// Every key above, in this order.
inline constexpr std::array<IniKey, 21> kAllKeys{
    kInfoCheck,   kAspect,     kVolume,        kThumbnail,      kScaleX,
    kScaleY,      kLanguage,   kSpeedUnit,     kHw,             kSourceSelect,
    kSourceSd,    kSourceFolder, kSourceFile,  kCsvFolder,      kConnectFolder,
    kSnapshotFolder, kReportFolder, kCsvEncoding, kUpdateHost,  kMapTileUrl,
    kMapAttribution};

// The map's defaults: OpenStreetMap's standard tile server (no key).
inline constexpr char kDefaultTileUrl[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr char kDefaultAttribution[] =
    "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> contributors";

// Values of SOURCE/SELECT.
inline constexpr char kSelectSd[] = "SD";
inline constexpr char kSelectFolder[] = "FOLDER";
inline constexpr char kSelectFile[] = "FILE";
}  // namespace ini

QString ReadValue(const IniKey& key);
bool WriteValue(const IniKey& key, const QString& value);

// The number at the start of a text as _wtoi reads it: leading spaces, an optional sign, the
// digits up to the first other character; 0 when there is none; clamped to the int range.
int wtoi(const QString& text);
// The number at the start of a text as _wtof reads it; 0 when there is none.
double wtof(const QString& text);

// DISPLAY/ASPECT: true (keep the aspect ratio) only for "on"; anything else, missing included,
// means stretch.
bool ReadAspectKeep();
bool WriteAspectKeep(bool keep);  // "on" or "off"

// DISPLAY/VOLUME: 0 to 65535; empty means 65535; other values are clamped to that range.
int ReadVolume();
bool WriteVolume(int volume);  // "%d"

// DISPLAY/THUMBNAIL: any non-zero number shows the thumbnails; missing means hidden.
bool ReadThumbnail();
bool WriteThumbnail(bool show);  // "1" or "0"

// DISPLAY/SCALEX and SCALEY: the stored factor when it is a finite number above 0, else
// `current` (which is 1.0 until a layout was restored).
double ReadScale(const IniKey& key, double current);
bool WriteScale(const IniKey& key, double factor);  // "%f"

// DECODE/HW: hardware decoding only for exactly "on" (case-sensitive).
bool ReadHwDecode();

// SOURCE/SELECT: "SD", "FOLDER" or "FILE"; anything else, missing included, preselects "SD".
QString ReadSourceSelect();

// FOLDERPATH/CSV_ENCODING: the text as stored, trimmed and in lower case ("locale", "cp932",
// "utf-8"); empty when missing. The CSV export maps it (an unknown name means the locale's).
QString ReadCsvEncodingName();

// UPDATE/HOST: the update server's base URL; empty when no check is to be made.
QString ReadUpdateHost();

// MAP/TILE_URL: an http or https URL with a host and the placeholders {z}, {x} and {y};
// anything else, missing included, gives kDefaultTileUrl.
QString ReadMapTileUrl();
// MAP/ATTRIBUTION: the text (HTML allowed, scripts are never run) under the map; empty gives
// kDefaultAttribution when the tile URL is the default one, else no attribution.
QString ReadMapAttribution();

// Writes DISPLAY INFOCHECK=31, ASPECT=on, VOLUME=65535 in this order, but only when the
// configuration file does not exist; true when they were written.
bool WriteFirstRunValues();

}  // namespace ravir
