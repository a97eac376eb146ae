#pragma once
// The record of one recording, folder or recording group, and the list operations over records
// that do not need the catalogue's state: folder enumeration, the sort orders, the kind filter,
// removal by name and the recording-group naming.
#include "catalogue/folder_listing.h"
#include "catalogue/recording_name.h"

#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace ravir {

// Attribute bits of an entry, with the values of the recorder's home platform.
inline constexpr uint32_t kAttributeHidden = 0x2;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;

// The three sizes of a folder record.
inline constexpr uint64_t kFolderRecordSize = ~uint64_t{0};

// One recording (the main-camera movie), or a folder or recording group for a folder record.
// Copied by value. The sizes are full 64-bit sizes.
struct RecordingRecord {
    QString path;             // movie file, or the folder (a group: its first movie)
    uint32_t attributes = 0;  // kAttributeDirectory for a folder entry; 0 for records from a path
    int row = 0;              // build order from 0 in each scan; -1 in folder records
    int kindLetter = 0;       // character 0 of the name when its kind is not None, else 0
    int joined = 0;           // set to 1 by the joined save on the recordings it joins
    int pictureQuality = 0;   // 11: 720 lines, 12: 1080 lines; set when opened
    float frameRate = 0;      // set when opened
    SystemTime startTime;     // set when opened
    SystemTime endTime;       // reserved
    uint64_t size = 0;        // movie size in bytes
    uint64_t pairedSize = 0;  // the other camera's movie, 0 when missing
    uint64_t telemetrySize = 0;  // the telemetry file, 0 when missing
    uint8_t trigger = 0;      // trigger code of the telemetry header, 0 when unreadable

    bool isFolderEntry() const { return (attributes & kAttributeDirectory) != 0; }
    QString fileName() const;
};

using RecordList = std::vector<RecordingRecord>;

// Catalogue limits.
inline constexpr int kMaxTreeItems = 1500;
inline constexpr int kMaxGroupSize = 200;
inline constexpr int kMaxFolderDepth = 3;

// The kind of source: a drive (card root), a folder or one movie file.
enum class SourceMode : int { None = 0, Drive = 1, Folder = 2, File = 3 };

// The five kind flags of the file list, in the order continuous, impact, manual, parking,
// parking impact.
struct KindFilter {
    std::array<bool, 5> flags{true, true, true, true, true};
    // From five '0'/'1' characters in the same order ("11111"); nullopt otherwise.
    static std::optional<KindFilter> fromText(const QString& text);
    QString toText() const;
};

// Lists a folder: one entry record (path, attributes) per entry except hidden entries (the DOS
// hidden attribute on FAT and exFAT, else a leading dot), "." and "..". False when the folder
// cannot be listed. The order is the file system's. Entries left out for a reason other than
// being hidden (a name that is not valid UTF-8, a link to nothing) go to skipped when given.
bool EnumerateFolder(const QString& folder, RecordList& entries, SkipList* skipped = nullptr);

// Appends a folder record: path, row -1, kind letter 0, all three sizes kFolderRecordSize.
void BuildFolderRecord(const QString& path, RecordList& records);

// Name order: by file name (ordinal UTF-16); with videoFirst, "Video" precedes "Parking".
bool NameLess(const RecordingRecord& a, const RecordingRecord& b, bool videoFirst);
// All records in name order (folders and files mixed).
void SortByNameOrder(RecordList& records, bool videoFirst);
// Folder entries first, then the others, each in name order.
void SortByName(RecordList& records, bool videoFirst);
// Records with recording names first, then the others, each by the file-number text.
void SortByNumber(RecordList& records);

// The records the kind flags let through, in input order.
RecordList ApplyKindFilter(const RecordList& records, const KindFilter& filter);
bool PassesKindFilter(const QString& path, const KindFilter& filter);

// Keeps the records whose file name differs from the file names of every removed record.
void RemoveByName(RecordList& records, const RecordList& removed);
// Sets every record's row number to its index.
void RenumberRows(RecordList& records);

// The recording-group state of one folder walk.
struct GroupState {
    QString currentName;   // name of the current group
    QString previousPath;  // previous listed file; empty before the first
    int count = 0;         // files in the current group
    std::map<QString, int> groupsOfDate;  // "YYMMDD" -> groups of that date so far
};

// The group name ("YYMMDD_NNNN") of the entry: the current group when the entry continues it
// (a previous file, fewer than kMaxGroupSize files, fourth letter not 'S', number = previous
// number + 1), else a new group of the entry's date. Updates count and date map; the caller
// sets previousPath and currentName.
QString GroupNameOf(const QString& entryPath, GroupState& state);

}  // namespace ravir
