#include "windows/main/views_follow.h"

#include "windows/settings/setting_dlg.h"
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"

#include <algorithm>

namespace ravir {

int PictureQualityFor(int videoHeight)
{
    return videoHeight == 720 ? kQuality720 : (videoHeight == 1080 ? kQuality1080 : 0);
}

RecordingRecord OpenedRecord(RecordingRecord record, int videoHeight, float frameMs)
{
    record.startTime = StartTimeOf(record.path);
    record.pictureQuality = PictureQualityFor(videoHeight);
    record.frameRate = frameMs > 0.0f ? 1000.0f / frameMs : 0.0f;
    return record;
}

QString RateCaption(int rateCode)
{
    switch (rateCode) {
    case 1:
        return text(TXT_SPEED_1_0);
    case 2:
        return text(TXT_SPEED_2_0);
    case 4:
        return text(TXT_SPEED_4_0);
    case -2:
        return text(TXT_SPEED_0_5);
    case -4:
        return text(TXT_SPEED_0_25);
    default:
        return QString();
    }
}

bool FollowRate(CInfoDlg* info, int rateCode)
{
    if (!info)
        return false;
    const QString caption = RateCaption(rateCode);
    if (info->fields().speedCaption == caption)
        return false;
    info->setSpeedCaption(caption);
    return true;
}

float InfoPanelStretch(int panelWidth, float layoutScale)
{
    const int design = static_cast<int>(kInfoPanelDesignWidth * static_cast<double>(layoutScale));
    if (design <= 0 || panelWidth <= design)
        return 1.0f;
    return static_cast<float>(panelWidth) / static_cast<float>(design);
}

void RescaleViews(CGSensorDlg* graph, CInfoDlg* info, CSettingDlg* settings, float layoutScale,
                  float fontScale)
{
    if (graph)
        graph->setScales(layoutScale, fontScale);
    if (info)
        info->setScales(layoutScale, fontScale);
    if (settings)
        settings->relayout(layoutScale);
}

}  // namespace ravir
