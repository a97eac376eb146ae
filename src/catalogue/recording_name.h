#pragma once
// The recorder's file-name grammar, the recording kinds derived from a name, the companion-file
// rules and the two folder layouts of a card. Everything here is a pure function of its argument
// except DetectLayout (which looks at the disk) and the current layout index (a process-wide
// value that worker threads may read).
#include <QString>

namespace ravir {

// The kind of a recording, from the first three letters of its name.
enum class RecordingKind : int {
    None = -1,
    Continuous = 0,
    Impact = 1,
    Manual = 2,
    Parking = 3,
    ParkingImpact = 4,
};

// Kind-mask bits: the set of kinds a folder-tree item holds.
inline constexpr int kKindMaskContinuous = 1;
inline constexpr int kKindMaskManual = 2;
inline constexpr int kKindMaskImpact = 4;
inline constexpr int kKindMaskParking = 8;
inline constexpr int kKindMaskParkingImpact = 16;
inline constexpr int kKindMaskAll = 31;

// A calendar time as the catalogue hands it around (local time). dayOfWeek: 0 is Sunday.
struct SystemTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0,
        milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

// Length of a recording name, e.g. "AG__-250101-120000-000123M.MOV".
inline constexpr int kRecordingNameLength = 30;

// What the catalogue needs of one file name, worked out in one pass over its characters.
struct NameFacts {
    bool movExtension = false;   // HasMovExtension
    bool recording = false;      // IsRecordingName
    bool mainRecording = false;  // IsMainRecordingName
    RecordingKind kind = RecordingKind::None;
    int kindMask = 0;            // KindMaskOf
    int number = -1;             // FileNumberOf
};
// The facts of a file name (no folder part).
NameFacts ParseFileName(QStringView fileName);

// True if the file name of path matches the any-camera grammar and its kind is not None.
bool IsRecordingName(const QString& path);
// The same with the main-camera grammar (camera letter M).
bool IsMainRecordingName(const QString& path);

// True if the file name of path is one the recorder gives its own files: the recording grammar
// up to the camera letter, with any camera letter and extension (movies of either camera,
// telemetry files, and their deleted forms).
bool IsRecorderFileName(const QString& path);

// Kind of a file name (a path is accepted too; only its file name is looked at).
RecordingKind KindOf(const QString& fileName);
// Kind-mask bits of the file name of path.
int KindMaskOf(const QString& path);
// The long kind label written by the CSV export (possibly empty).
QString KindLabel(const QString& path);
// The text of a file-list row: "AG__-120000-000123" for a recording, else the name up to its
// first '.'.
QString ListText(const QString& path);
// Start time from the name, as local time; out-of-range fields roll over. When the name cannot
// be read or converted the result is the local time of 1970-01-01 00:00:00 UTC.
SystemTime StartTimeOf(const QString& path);

// Characters 19 to 24 of the file name (the recorder's running number), compared as text.
QString FileNumberText(const QString& fileName);
// The same read as a decimal number; -1 when those characters are not six digits.
int FileNumberOf(const QString& fileName);

// The other camera's movie: Main/ <-> Sub_/ folder and camera letter M <-> S.
QString PairedPathOf(const QString& path);
// The telemetry file of a movie, using the current layout index: the data folder of the movie
// folder, camera letter D and extension ".ADA".
QString TelemetryPathOf(const QString& path);
// True if the file name ends in ".MOV" in any letter case.
bool HasMovExtension(const QString& path);
// Probes root for the layout folders, sets the current layout index and returns whether any
// probed layout folder exists.
bool DetectLayout(const QString& root);
// True for exactly "Video" and "Parking".
bool IsLayout1MovieFolder(const QString& name);

// One row of the folder table: type letter ('M' movie, 'D' data), folder name, live and
// deleted extension. Rows: continuous movies, continuous data, parking movies, parking data.
struct FolderKindRow {
    char typeLetter;
    const char* folder;
    const char* liveExtension;
    const char* deletedExtension;
};
extern const FolderKindRow kFolderKindTable[2][4];

// The process-wide layout index (0 or 1); starts at 0.
int CurrentLayoutIndex();
void SetCurrentLayoutIndex(int index);

}  // namespace ravir
