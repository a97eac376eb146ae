#pragma once
// The main window's report command (context-menu item and Ctrl+R), in two calls:
//
// 1. ChooseReportFolder when the user asks for a report: [FOLDERPATH] REPORT_FOLDER when it
//    names an existing folder; else the remembered-folder chooser (titled
//    TXT_MSG_SELECT_OUTPUT_FOLDER), whose choice is written back. Empty: no report.
// 2. FinishReport once the window has its own picture and the map window's page picture (or
//    ReportMapPlaceholder when there is no fix or no connection): the map is drawn into the
//    window picture (lower right corner s x 4 and s x 38 from the right and bottom edges), the
//    result goes as JPEG into the day's workbook, and TXT_DONE (caption TXT_EXIT) or
//    TXT_MSG_IMAGE_SAVE_FAILED (caption "ERROR") is shown. Nothing is written beside the
//    workbook: the pictures stay in memory.
#include "exports/report_workbook.h"

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace ravir {

// chooser: for tests; by default the remembered-folder chooser.
QString ChooseReportFolder(QWidget* owner, const std::function<QString()>& chooser = {});

// recordingFileName: the file name of the current recording (the day and the sheet name come
// from it; when its day is no date of the calendar, the date of `gps`, the recording's
// telemetry, is taken, and without one the report is refused). mainFrame: the main camera's frame shown, as Player::CaptureFrame gave it; a null
// one (the engine does not really hold that frame, decoded) is refused like the still: the
// failure message and nothing written. An empty folder, a null picture or a name that is not a
// recording's fail with the failure message as well.
ReportResult FinishReport(QWidget* owner, const QString& folder, const QImage& mainFrame,
                          const QImage& windowPicture, const QImage& mapPicture,
                          double layoutScale, const QString& recordingFileName,
                          const std::vector<GpsSample>& gps = {});

}  // namespace ravir
