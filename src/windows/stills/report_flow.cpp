#include "windows/stills/report_flow.h"

#include "playback/report_picture.h"
#include "windows/kit/msg_dlg.h"
#include "shell/ini_keys.h"
#include "windows/kit/remembered_folder.h"
#include "shell/ui_text.h"

#include <QFileInfo>

namespace ravir {

QString ChooseReportFolder(QWidget* owner, const std::function<QString()>& chooser)
{
    const QString stored = ReadValue(ini::kReportFolder);
    if (!stored.isEmpty() && QFileInfo(stored).isDir())
        return stored;
    const QString chosen = chooser ? chooser()
                                   : ChooseRememberedFolder(owner, ini::kReportFolder.section,
                                                            ini::kReportFolder.key,
                                                            text(TXT_MSG_SELECT_OUTPUT_FOLDER));
    if (!chosen.isEmpty())
        WriteValue(ini::kReportFolder, chosen);
    return chosen;
}

ReportResult FinishReport(QWidget* owner, const QString& folder, const QImage& mainFrame,
                          const QImage& windowPicture, const QImage& mapPicture,
                          double layoutScale, const QString& recordingFileName,
                          const std::vector<GpsSample>& gps)
{
    ReportResult result;
    const auto names = ReportNamesFromRecording(recordingFileName);
    const QString day = names ? ReportDayFor(*names, gps) : QString();
    QByteArray jpeg;
    if (folder.isEmpty())
        result.message = "no report folder";
    else if (mainFrame.isNull())
        result.message = "the frame shown could not be captured";
    else if (!names)
        result.message = QString("%1: not a recording name").arg(recordingFileName);
    else if (day.isEmpty())
        result.message = QString("%1: no date in the name or the telemetry").arg(recordingFileName);
    else if ((jpeg = ReportJpeg(ComposeReportPicture(windowPicture, mapPicture, layoutScale)))
                 .isEmpty())
        result.message = "the report picture could not be made";
    else
        result = AddReportSheet(folder, day, names->sheet, jpeg);
    if (result.ok())
        CMsgBox::Show(owner, text(TXT_DONE), text(TXT_EXIT), CMsgBox::kOk);
    else
        CMsgBox::Error(owner, text(TXT_MSG_IMAGE_SAVE_FAILED));
    return result;
}

}  // namespace ravir
