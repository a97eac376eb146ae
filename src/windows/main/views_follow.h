#pragma once
// How the main window keeps the graph, the information panel and the settings dialog in step
// with itself: the record the views get when a recording is ready, the playback-speed caption of
// the current rate, the panel's horizontal stretch for its width and the new layout scale after a
// monitor change. Plain functions over the views, so that the window's handlers stay one line.
#include "catalogue/recording_record.h"

#include <QString>

namespace ravir {

class CGSensorDlg;
class CInfoDlg;
class CSettingDlg;

// 11 for a 720-line video, 12 for a 1080-line video, else 0.
int PictureQualityFor(int videoHeight);

// The record of an opened recording as the views need it: the record the list handed over with
// the facts known only once it is open: the start time read from its name, the picture quality
// from the video height and the frame rate from the frame duration (0 when unknown).
RecordingRecord OpenedRecord(RecordingRecord record, int videoHeight, float frameMs);

// The playback-speed caption of a rate code: x1.0, x2.0, x4.0, x0.5 and x0.25; empty for any
// other code (and for no ready main camera, rateCode 0).
QString RateCaption(int rateCode);

// Sets the panel's caption for the rate code when it differs from the one shown; true when it
// changed.
bool FollowRate(CInfoDlg* info, int rateCode);

// The horizontal stretch of the panel's axis blocks: its width over the width it has at the
// design size (655 units, the video width less one), 1.0 at the design size; never below 1.0.
float InfoPanelStretch(int panelWidth, float layoutScale);
inline constexpr int kInfoPanelDesignWidth = 655;

// A new layout scale (another monitor or work area): the graph, the panel and the settings
// dialog take it (the window's relayout then gives the panel its stretch).
void RescaleViews(CGSensorDlg* graph, CInfoDlg* info, CSettingDlg* settings, float layoutScale,
                  float fontScale);

}  // namespace ravir
