#pragma once
// The joined save: several consecutive recordings written as one movie file and one telemetry
// file.
//
// The first recording's box tree is the accumulator; every further recording is merged into
// it track by track: every sample table is concatenated (time-to-sample, composition offsets,
// sync samples, sample sizes, sample-to-chunk with its chunk numbers moved on, sample groups,
// dependency flags), chunk offsets are kept as positions inside each input's media data and
// turned into output offsets only when the output layout is known (32-bit `stco` or 64-bit
// `co64`, whichever the offsets need), and the header durations are recomputed per track. The
// media data of every input is streamed into the output's `mdat` (64-bit size when needed) with
// the kernel's copy where it can. Everything is written to temporary files in the output
// folders and renamed at the end; a failure or a stop leaves nothing under the final names.
#include "container/mp4_box.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ravir {

struct RecordingRecord;

constexpr int kTelemetryRecordBytes = 124;
constexpr int kTelemetryHeaderBytes = 26;

// One telemetry block read into memory: the 26-byte header and whole records.
struct TelemetryHolder {
    std::array<uint8_t, kTelemetryHeaderBytes> header{};
    int64_t recordCount = 0;
    std::vector<uint8_t> records;  // recordCount x 124 bytes
};

// Reads a block ("QVXDAT", header, big-endian count, records) from bytes. A count of 0xFFFF
// means the records run to the end magic at a record boundary. Records that would pass the end
// of the bytes are not read (the count is cut to the whole records present). False when the
// bytes do not start with the magic or are shorter than the header.
bool ReadTelemetryHolderBytes(const uint8_t* data, size_t size, TelemetryHolder& holder);
// Reads the telemetry file of a movie (TelemetryPathOf) into a holder.
bool ReadTelemetryHolder(const QString& moviePath, TelemetryHolder& holder);
// Appends added's records followed by two more copies of its last record (none when added has
// no record).
void JoinTelemetry(TelemetryHolder& accumulator, const TelemetryHolder& added);
// The bytes of a joined telemetry file: "QVXDAT", header, count (0xFFFF when it is 0xFFFF or
// more), records, two blanks, "QVXEND", and the true count as 32 bits when it is 0xFFFF or more.
QByteArray TelemetryFileBytes(const TelemetryHolder& holder);

// Why a join failed.
enum class JoinError {
    None,
    OpenFailed,       // an input cannot be opened or its box structure is damaged
    NotJoinable,      // inputs differ in tracks, codecs, picture sizes or timescales, or use
                      // boxes the joiner cannot merge (fragments, several media data boxes)
    NoSpace,          // not enough free space in the output folder
    WriteFailed,      // creating, writing or renaming the output failed
    Stopped,          // the stop flag was set
};
QString JoinErrorText(JoinError error);

struct JoinTrack;  // per-track merged tables (movie_join.cpp)

// One joined save.
class JoinSession {
public:
    JoinSession();
    ~JoinSession();
    JoinSession(const JoinSession&) = delete;
    JoinSession& operator=(const JoinSession&) = delete;

    std::unique_ptr<sMP4MOVIE> accumulator;              // the first recording
    std::vector<std::unique_ptr<sMP4MOVIE>> merged;      // kept open until the output is written
    TelemetryHolder telemetry;                           // joined telemetry files
    bool telemetryEnabled = true;                        // cleared when a telemetry file is missing
    TelemetryHolder udatTelemetry;                       // joined udat blocks of the movies
    bool udatEnabled = true;
    ProgressCallback progress;
    std::atomic<bool>* stop = nullptr;                   // polled while the payloads are copied
    JoinError error = JoinError::None;
    QString errorDetail;

    std::vector<JoinTrack>& tracks() { return *tracks_; }
    // Media data of each input in order: the first recording's, then the merged ones'.
    std::vector<const BoxNode*> mediaData;

private:
    std::unique_ptr<std::vector<JoinTrack>> tracks_;
};

// Opens the first recording as the accumulator and reads its telemetry (a missing telemetry
// file only clears telemetryEnabled). False with join.error set when the movie cannot be opened
// or cannot be joined at all.
bool StartJoin(JoinSession& join, const QString& firstMoviePath);
// Opens the next recording, merges it and keeps it open; joins its telemetry.
bool AddToJoin(JoinSession& join, const QString& moviePath);
// Merges the tables of added into the session's tracks (added must stay open).
bool MergeMovie(JoinSession& join, sMP4MOVIE& added);
// Writes a node and its subtree: header, then a leaf's payload (the loaded bytes, or the bytes
// streamed from its source file followed by those of its appended boxes), or the children and
// any trailing bytes. The file is a descriptor open for writing at the node's position.
bool WriteBoxTree(const BoxNode& node, int fd, std::atomic<bool>* stop = nullptr);
// Lays the output out without writing it: merged sample tables with chunk offsets where the
// payloads will land (co64 when an offset passes 4 GiB), recomputed durations, the joined udat
// block. Returns the output size, or 0 with join.error set.
uint64_t PrepareJoinedTree(JoinSession& join);
// Writes the session's output movie to outputPath (through a temporary file in the same
// folder, renamed at the end).
bool WriteJoinedMovie(JoinSession& join, const QString& outputPath);
// Writes the joined telemetry file of outputMoviePath (TelemetryPathOf: the layout's data
// folder when the output folder is a layout movie folder, letter 'D', ".ADA"), hidden, through
// a temporary file renamed at the end.
bool WriteTelemetryFile(const TelemetryHolder& holder, const QString& outputMoviePath);

// The joined save as a background task, without any window.
struct JoinRequest {
    QStringList movies;                 // in list order; the first gives the tree
    QString outputPath;                 // full path of the output movie (the caller asked about
                                        // an existing file and chose the folder)
    // Bytes needed (movie, paired movie and telemetry sizes of every recording); 0 computes them
    // from the files.
    uint64_t neededBytes = 0;
    std::function<void(int64_t done, int64_t total)> progress;
    std::atomic<bool>* stop = nullptr;  // the task-running flag cleared by the stop button
    // The caller's records of the selection: marked joined before the write, unmarked again on
    // failure.
    std::vector<RecordingRecord>* records = nullptr;
    bool syncToDisk = true;             // flush the output before it gets its final name
};
struct JoinResult {
    bool ok = false;
    JoinError error = JoinError::None;
    int messageId = -1;       // TXT_MSG_JOIN_FAILED on failure, TXT_DONE on success, -1 stopped
    QString detail;           // what failed, for logs and the command line
    QString telemetryPath;    // the telemetry file written, empty when none
};
JoinResult SaveJoinedMovie(const JoinRequest& request);

}  // namespace ravir
