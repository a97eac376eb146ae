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
// tables of every input are checked against its media data before anything is written. The
// media data of every input is streamed into the output's `mdat` (64-bit size when needed) from
// the descriptors opened when the input was read, with the kernel's copy where it can.
//
// The caller names every path: the inputs with their telemetry files, the output movie and the
// output telemetry file (this layer knows no naming rule). Both outputs are written to temporary
// files in their folders and renamed at the end, the telemetry file first (never replacing a
// file unless the caller allows it), then the movie; a failure at any step leaves the previous
// files as they were and nothing under the final names.
#include "container/box_tree_writer.h"
#include "container/mp4_box.h"
#include "container/telemetry_holder.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ravir {

// Why a join failed. JoinResult::path names the file concerned.
enum class JoinError {
    None,
    OpenFailed,       // an input cannot be opened (missing, not a regular file, unreadable) or its
                      // box structure is damaged
    InputDamaged,     // an input's sample tables do not hold together or do not fit its media
                      // data, or the input ends before its boxes say
    NotJoinable,      // inputs differ in tracks, codecs, picture sizes or timescales, or use
                      // boxes the joiner cannot merge (fragments, several media data boxes)
    InputChanged,     // an input changed while the join read or copied it
    OutputIsInput,    // an output is one of the input files, or both outputs are one file
    OutputExists,     // the movie output exists and may not be replaced, or is not a file
    TelemetryExists,  // the telemetry output exists and may not be replaced, or is not a file
    NoSpace,          // not enough free space in the output folder
    WriteFailed,      // creating, writing or renaming an output failed
    Stopped,          // the stop flag was set
};

struct JoinTrack;  // per-track merged tables (join_tables.h)

// One joined save.
class JoinSession {
public:
    JoinSession();
    ~JoinSession();
    JoinSession(const JoinSession&) = delete;
    JoinSession& operator=(const JoinSession&) = delete;

    std::unique_ptr<sMP4MOVIE> accumulator;              // the first recording
    std::vector<std::unique_ptr<sMP4MOVIE>> merged;      // kept open until the output is written
    // The descriptors of the inputs (held by the movies above) with their identities.
    std::vector<WriteSource> sources;
    TelemetryHolder telemetry;                           // joined telemetry files
    bool telemetryEnabled = true;                        // cleared when a telemetry file is missing
    QStringList notes;                                   // telemetry files left out, and why
    QStringList missingTelemetry;                        // recordings without a telemetry file
    TelemetryHolder udatTelemetry;                       // joined udat blocks of the movies
    bool udatEnabled = true;
    ProgressCallback progress;
    std::atomic<bool>* stop = nullptr;                   // polled while the payloads are copied
    JoinError error = JoinError::None;
    QString errorPath;                                   // the file the error is about
    QString errorDetail;

    std::vector<JoinTrack>& tracks() { return *tracks_; }
    // Media data of each input in order: the first recording's, then the merged ones'.
    std::vector<const BoxNode*> mediaData;

private:
    std::unique_ptr<std::vector<JoinTrack>> tracks_;
};

// Opens the first recording as the accumulator and reads its telemetry file (none when the path
// is empty; a missing or unreadable one only clears telemetryEnabled). False with join.error set
// when the movie cannot be opened or cannot be joined at all.
bool StartJoin(JoinSession& join, const QString& firstMoviePath, const QString& telemetryPath = {});
// Opens the next recording, merges it and keeps it open; joins its telemetry file.
bool AddToJoin(JoinSession& join, const QString& moviePath, const QString& telemetryPath = {});
// Merges the tables of added into the session's tracks (added must stay open).
bool MergeMovie(JoinSession& join, sMP4MOVIE& added);
// Lays the output out without writing it: merged sample tables with chunk offsets where the
// payloads will land (co64 when an offset passes 4 GiB), recomputed durations, the joined udat
// block. Returns the output size, or 0 with join.error set.
uint64_t PrepareJoinedTree(JoinSession& join);

// The joined save as a background task, without any window.
struct JoinInput {
    QString movie;
    QString telemetry;  // the recording's telemetry file; empty when it has none
};
struct JoinRequest {
    std::vector<JoinInput> inputs;      // in list order; the first gives the tree
    QString outputPath;                 // the output movie
    bool replaceOutput = false;         // the caller asked about an existing output movie
    // The joined telemetry file; empty: none is written. Written only when every input has one.
    QString telemetryPath;
    bool replaceTelemetry = false;      // the caller asked about an existing telemetry file
    // When the telemetry file's folder does not exist: the one folder that may be created (the
    // data folder of a card's movie folder); empty: a missing folder is an error.
    QString telemetryFolderToCreate;
    // Bytes needed (movie, paired movie and telemetry sizes of every recording); 0 computes them
    // from the movie and telemetry files.
    uint64_t neededBytes = 0;
    std::function<void(int64_t done, int64_t total)> progress;
    std::atomic<bool>* stop = nullptr;  // the task-running flag cleared by the stop button
    bool syncToDisk = true;             // flush the outputs before they get their final names
};
struct JoinResult {
    bool ok = false;
    JoinError error = JoinError::None;
    QString path;             // the file the error is about (an input or an output)
    QString detail;           // what failed, for logs and the command line
    QString telemetryPath;    // the telemetry file written, empty when none
    QStringList notes;        // what was left out (telemetry files), for the user
};
JoinResult SaveJoinedMovie(const JoinRequest& request);

}  // namespace ravir
