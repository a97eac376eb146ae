#pragma once
// The recording list CSV: one line per recording of the source with its file name, date, start
// time, recording time, trigger, picture size class, frame rate and data size, and an RTC reset
// column when the card carries the download marker. Lines end in CR LF, there is no byte-order
// mark, and the text is in the locale's character set or in CP932 on request (what a
// spreadsheet on a Japanese desktop expects).
//
// The export runs as a background task; its window parts (folder chooser, messages, progress
// bar) belong to the caller, which answers the "same name exists" question through a callback.
#include "catalogue/recording_name.h"
#include "catalogue/recording_record.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace ravir {

// What a full row needs to know about one recording.
struct CsvMovieFacts {
    int width = 0, height = 0;   // picture size of the movie
    uint32_t totalSamples = 0;   // samples of the first track
    double frameRate = 0;        // frames per second
    uint8_t mark = 0;            // telemetry header mark byte (1: the recorder's clock was reset)
};

// Reads the facts of a movie: its telemetry header (the telemetry file of TelemetryPathOf, with
// the current layout index) and its box model. Empty, with the reason in *reason, when either
// file is missing or is not a regular file (neither is ever waited on: a FIFO of such a name is
// refused at once), the header cannot be read, the movie cannot be read as a box model or its
// picture size is not valid; such a recording gets the short row.
std::optional<CsvMovieFacts> ReadCsvMovieFacts(const QString& moviePath, QString* reason = nullptr);
using CsvFactsReader =
    std::function<std::optional<CsvMovieFacts>(const QString& moviePath, QString* reason)>;

// "Dv_%Y%m%d_%H%M%S.csv" of a start time.
QString CsvFileName(const SystemTime& start);
// The header line with its CR LF; the RTC reset column only with rtcColumn.
QString CsvHeaderLine(bool rtcColumn);
// "name,-,-,-,-,-,fps,0MB" with CR LF, for a recording that cannot be analysed.
QString CsvShortRow(const QString& fileName);
// "SD", "HD", "FHD", "3M", "WQHD" for heights 360, 720, 1080, 1296, 1440; else empty.
QString CsvPictureSizeClass(int height);
// The row of one recording with its CR LF. Without facts, or with a frame rate that is not a
// positive number, the short row. fileSize is the movie's size in bytes.
QString CsvRow(const QString& moviePath, const std::optional<CsvMovieFacts>& facts,
               uint64_t fileSize, bool rtcColumn);

enum class CsvEncoding {
    Locale,  // the locale's character set (UTF-8 when the locale is plain ASCII)
    Cp932,   // Windows Japanese
    Utf8,
};
// "locale", "cp932", "utf-8" (also "utf8", "CP932", ...) -> the encoding; nullopt otherwise.
std::optional<CsvEncoding> CsvEncodingFromName(const QString& name);
// The iconv name of the character set an encoding writes with.
QByteArray CsvCharset(CsvEncoding encoding);

enum class CsvExportStatus {
    Written,       // every row written
    Stopped,       // the running flag was cleared; the file holds the rows written so far
    NoRecordings,  // nothing to list; no file
    Declined,      // the file exists and the caller did not want it replaced; file untouched
    CreateFailed,  // the file could not be created; nothing under the final name changed
    WriteFailed,   // writing or the final rename failed; nothing under the final name changed
    BadEncoding,   // iconv does not know the character set
    SourceGone,    // the source could no longer be read part way (the card was pulled): the
                   // export ended as a stop does, before the row it could not read
};
QString CsvExportStatusName(CsvExportStatus status);  // "written", "stopped", ...

struct CsvExportOptions {
    QString folder;                              // output folder
    CsvEncoding encoding = CsvEncoding::Locale;
    bool rtcColumn = false;                      // the download-marker flag of the source
    // Asked when the file exists; true replaces it. Null: an existing file is never replaced.
    std::function<bool(const QString& path)> confirmOverwrite;
    // Called after each row with (rows written, total).
    std::function<void(int done, int total)> progress;
    // The export goes on while this flag is set (tested before each row); null: always.
    const std::atomic<bool>* running = nullptr;
    // What a stop leaves: true, the file with the rows written so far (the window's stop
    // button); false, nothing (the command ended by a signal).
    bool keepRowsOnStop = true;
    // Once set (before the running flag is cleared), a stop leaves nothing, as with
    // keepRowsOnStop false: the window closes while the export runs. Null: never.
    const std::atomic<bool>* discardOnStop = nullptr;
    CsvFactsReader facts;                        // null: ReadCsvMovieFacts
    // The root of the source the recordings come from (the card); when given, the export ends
    // with SourceGone as soon as it is no longer there.
    QString sourceRoot;
    // The export also ends with SourceGone once this flag is set (the source watcher's
    // source-lost flag); null: never.
    const std::atomic<bool>* sourceLost = nullptr;
};

// A recording that got the short row, and why.
struct CsvShortRowNote {
    QString path;
    QString reason;
};

struct CsvExportResult {
    CsvExportStatus status = CsvExportStatus::NoRecordings;
    QString path;         // the CSV file (also when declined)
    int rows = 0;         // rows written
    QByteArray charset;   // the character set written
    int replaced = 0;     // characters that the character set could not hold ('?')
    QList<CsvShortRowNote> shortRows;  // every recording written as a short row
    QString error;
    bool sourceRootGone = false;  // SourceGone: the source root itself was gone (not one file)
};

// Writes the CSV of the recordings (movie paths, in list order) into options.folder, named
// after the start time of the first recording. The file is written under a temporary name in
// that folder, every write checked, flushed to the disk and renamed at the end, so that the
// final name only ever holds a complete file: a failure (a full disk, a read-only folder) leaves
// what was there before, or nothing. An existing file is replaced only when confirmOverwrite
// says so; a file of that name that appears while the export runs is never replaced. A stop
// keeps the rows written so far, or nothing with keepRowsOnStop false.
//
// A listed recording whose movie can no longer be found or read (ENOENT, EIO, ENODEV, ...),
// whose telemetry file was listed with it and now cannot be found or read, or a source root
// (options.sourceRoot) that is gone, means that the source went away while the export ran: the
// row is not written as a short row, and the export ends with SourceGone exactly as a stop ends
// (the whole rows written so far, or nothing with keepRowsOnStop false).
CsvExportResult ExportRecordingCsv(const QStringList& recordings, const CsvExportOptions& options);
// The same over records: a record with a telemetry size was listed with its telemetry file.
CsvExportResult ExportRecordingCsv(const RecordList& recordings, const CsvExportOptions& options);

}  // namespace ravir
