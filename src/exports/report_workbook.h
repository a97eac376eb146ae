#pragma once
// The workbook step of the accident report: one workbook per recording day in the report
// folder, one sheet per report, newest first. The package is edited directly (libzip, pugixml);
// no office program is involved.
//
// The first report of a day writes "report_20YYMMDD.xlsx" from the template with its sheet
// named after the recording's start time (HHMMSS). Each further report of that day copies the
// first sheet (its cells, merged ranges, styles, sizes and print settings: everything typed into
// it in any office program) to a new sheet in front, named the same way, without the previous
// picture, and puts the new picture stretched over the box BA18:CG32. The other sheets keep
// their parts byte for byte, except that only the new sheet is selected. A sheet name that
// exists already (compared without regard to case) gets " (2)", " (3)", ...
//
// The new workbook is written under a temporary name in the folder and renamed: a failure, a
// full disk included, leaves the previous report as it was. A report file this program cannot
// read as a workbook is left untouched. Reports into one folder take turns (an exclusive lock on
// the folder), also between processes.
#include "container/telemetry.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>
#include <vector>

namespace ravir {

enum class ReportStatus {
    Saved,
    TemplateFailed,  // the form could not be made
    NotAWorkbook,    // the existing report file is not a workbook this program can read
    ReadFailed,      // the existing report file could not be read
    WriteFailed,     // the new workbook could not be written (full disk, no access, ...)
    Stopped,         // the stop flag was set before the new workbook took the report's name
};

struct ReportResult {
    ReportStatus status = ReportStatus::WriteFailed;
    QString reportPath;  // the workbook of the day
    QString sheetName;   // the name given to the new sheet (with a suffix when needed)
    bool created = false;  // the workbook did not exist before
    QString message;       // why it failed (English, for the command line)
    bool ok() const { return status == ReportStatus::Saved; }
};

// From a recording file name such as "A___-250102-093015-000123M.MOV": day "20250102" (the
// characters from index 5 up to the next '-', after "20") and sheet name "093015" (from index
// 12 up to the next '-'). Nothing when the name is too short or a field is empty.
struct ReportNames {
    QString day;
    QString sheet;
};
std::optional<ReportNames> ReportNamesFromRecording(const QString& fileName);

// Whether a report day "YYYYMMDD" is a date of the calendar (no month 13, no 30 February).
bool IsReportDay(const QString& day);

// The report day of a recording: the day of its name when that is a date of the calendar;
// otherwise the date of the first telemetry sample that holds a real date (the recording's own
// clock); empty when neither has one.
QString ReportDayFor(const ReportNames& names, const std::vector<GpsSample>& gps);

// "DIR/report_DAY.xlsx".
QString ReportWorkbookPath(const QString& folder, const QString& day);

// Adds the report of one scene: `jpeg` is the picture (JPEG bytes; empty: the sheet is added
// without a picture).
// `stop` (may be null): set by another thread or a signal handler; when it is set before the
// new workbook takes the report's name, nothing is written and the result is Stopped.
// A package whose parts inflate beyond what a report can hold (64 MiB a part, 128 MiB in all)
// is NotAWorkbook and is left untouched.
ReportResult AddReportSheet(const QString& folder, const QString& day, const QString& sheetName,
                            const QByteArray& jpeg, const std::atomic<bool>* stop = nullptr);

}  // namespace ravir
