#pragma once
// Recorder cards for tests, benchmarks and the demo: the recorder's folders and names, movies of
// both cameras (sample_movie.h), telemetry files (telemetry_block.h), deleted forms and the marker
// files of the card root. The same options (seed included) always give the same card.
//
// The standard card holds, in the continuous folder (Normal or Video) and the parking folder:
// - every combination of the first three name letters (mode A/P/T/_, event G/M/_, third letter
//   O/R/T/_), continuous-pair kinds and names of no kind in the continuous folder, parking kinds
//   in the parking folder; names with 'T' first or third are time-lapse movies at 15 fps;
// - runs of consecutive file numbers broken by gaps, a fourth letter 'S' inside a run, a number
//   wrap from 999999 to 000000, recordings on three days;
// - deleted recordings (main movie .DMY and telemetry .TDA; the sub-camera movie stays);
// - a recording whose telemetry file is missing, one with the recorder clock reset mark;
// - optionally 205 consecutive parking recordings (more than one group of 200), two-second and
//   shorter movies, the two-camera form (movie folder/Main and movie folder/Sub_, the telemetry
//   files beside the main movies), "ZU590-MVS_download.url" and "pvtrace.txt" at the root.
#include <QList>
#include <QString>
#include <cstdint>

namespace ravir::samples {

// Raised whenever the writers make different bytes for the same options, so that cached test
// data is made again.
constexpr int kSampleDataVersion = 1;

struct SampleCardOptions {
    int layout = 0;          // 0: Normal/_NData/Parking/_PData; 1: Video/_VData/Parking/_PData
    bool twoCamera = false;  // movies in <movie folder>/Main and <movie folder>/Sub_
    bool subCamera = true;   // write the sub-camera movies
    int mainWidth = 1920, mainHeight = 1080;
    int subWidth = 1280, subHeight = 720;
    double seconds = 3.0;        // length of the ordinary recordings
    double featureSeconds = 0;   // > 0: a handful of longer recordings of this length (demo)
    bool audio = true;
    bool allKinds = true;        // every letter combination (else a handful of kinds)
    bool shortMovies = false;    // add 2 s, 1 s, 0.5 s and one-frame recordings
    int longRun = 0;             // consecutive parking recordings (205 passes the group limit)
    bool deletedForms = true;
    bool hideTelemetry = true;   // hidden attribute on telemetry files and deleted forms (FAT only)
    bool downloadUrl = false;    // "ZU590-MVS_download.url" at the root
    bool pvtrace = false;        // "pvtrace.txt" at the root
    bool distinctPictures = false;  // encode every movie on its own (else equal movies are shared)
    int count = 0;               // > 0: benchmark card of this many recordings instead
    bool tiny = false;           // 64x36 movies of at most 0.2 s (names and structure only)
    uint32_t seed = 1;
    QByteArray firmware = "010502";        // header firmware digits (version 1.5.2)
    QByteArray recorderNumber = "231015";  // after the end magic of every telemetry block
};

// A text naming every option, for caches of generated cards.
QString OptionsFingerprint(const SampleCardOptions& options);

// Options of the usual cards.
SampleCardOptions SmallCardOptions();  // 320x180 / 160x90, 1 s movies: a card in a few seconds
SampleCardOptions DemoCardOptions();   // real picture sizes, a handful of 12 s recordings

struct SampleCardFile {
    QString path;      // relative to the card root, '/' separated
    QString role;      // "main", "sub", "telemetry", "deleted-main", "deleted-telemetry", "marker"
    qint64 size = 0;
    bool hidden = false;    // the hidden attribute was asked for (set only on FAT/exFAT)
    long long frames = 0;   // movies: frame count
    double fps = 0;         // movies: frame rate
    int records = 0;        // telemetry: record count
};

struct SampleCardSummary {
    QString root;
    int layout = 0;
    bool dosAttributes = false;  // the hidden attribute could be set (FAT/exFAT)
    QList<SampleCardFile> files;
    qint64 totalBytes = 0;
    int encodings = 0;           // ffmpeg runs
};

// Writes the card into dir (created if missing; existing files of the same names are replaced).
// Every file is written through the safe writer, so each name holds either a complete file or
// what it held before. Returns false with a message when a movie cannot be made or a file
// cannot be written.
bool WriteSampleCard(const QString& dir, const SampleCardOptions& options,
                     SampleCardSummary* summary = nullptr, QString* error = nullptr);

}  // namespace ravir::samples
