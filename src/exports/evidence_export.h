#pragma once
// The evidence export: the seconds that matter of a recording, from both cameras, bit for bit,
// in one folder with their telemetry and a hash manifest.
//
// The folder holds the main camera's clip and, when the recording has one, the sub camera's
// clip of the same moments (both cut without re-encoding, movie_cut.h), the recorder's
// telemetry block cut to the span with its GPX and CSV forms, stills of the first, the last and
// the shown frame of each camera (drawn by the caller, who has a decoder), `evidence.json`
// (sources with their SHA-256, the span, the recorder, the GPS fix at the shown frame, the
// program) and `SHA256SUMS` in the form `sha256sum -c` checks. It is written under a hidden
// temporary name in the same parent folder and renamed at the end: it appears complete or not
// at all. The sources are only read.
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>

namespace ravir {

enum class EvidenceError {
    None,
    BadRequest,    // the span is empty or outside the recording, the shown frame outside it
    OpenFailed,    // a source cannot be opened or is damaged
    OutputExists,  // the output folder exists
    NoParent,      // the output's parent folder is missing or no folder
    InputChanged,  // a source changed while it was read
    WriteFailed,   // a write failed (a full disk, a pulled card)
    StillFailed,   // a still could not be drawn
    Stopped,
};

struct EvidenceRequest {
    QString movie;          // the main camera's movie
    QString subMovie;       // the sub camera's movie; empty: none
    QString telemetry;      // the recording's telemetry file; empty: none
    int64_t fromFrame = 0;  // frames of the main camera, inclusive
    int64_t toFrame = 0;
    int64_t shownFrame = 0;  // the frame shown when the export was asked for
    QString outDir;          // the folder to make; must not exist
    // Draws frame `frame` of `movie` into the image file `out`; empty: no stills.
    std::function<bool(const QString& movie, int64_t frame, const QString& out, QString* why)> still;
    std::function<void(int64_t done, int64_t total)> progress;  // out of 1000
    std::atomic<bool>* stop = nullptr;
    bool syncToDisk = true;
};

struct EvidenceResult {
    bool ok = false;
    EvidenceError error = EvidenceError::None;
    QString detail;     // what failed and why, for the user and the command line
    QString folder;     // the folder written
    QStringList files;  // its files, by name
    int64_t subFrom = -1, subTo = -1;  // the sub camera's frames, -1 without one
    double fromSeconds = 0, toSeconds = 0;
};

// The recording's sub camera movie and telemetry file, where they exist.
void FillEvidenceCompanions(EvidenceRequest& request);

EvidenceResult WriteEvidence(const EvidenceRequest& request);

// The span the window proposes: `seconds` before and after the shown frame, within the movie.
void ProposeEvidenceSpan(int64_t shownFrame, int64_t frameCount, double frameMs, double seconds,
                         int64_t& from, int64_t& to);

// "bad-request", "open-failed", ... for JSON.
const char* EvidenceErrorName(EvidenceError error);

}  // namespace ravir
