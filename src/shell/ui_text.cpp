#include "shell/ui_text.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <utility>

namespace ravir {
namespace {

// The texts of one row, slot by slot. "\r\n" in slot 105 and "\n" in slot 173 are line
// breaks inside the text; slots 65 to 67 hold the ideographic space U+3000; slot 5 holds U+00B0.
constexpr const char16_t* kTexts[kUiTextFilled] = {
    u"閉じる",  // 0 TXT_CLOSE
    u"動画保存（連結）",  // 1 TXT_SAVE_JOINED
    u"CSV",  // 2 TXT_CSV
    u"削除",  // 3 TXT_DELETE
    u"早送り",  // 4 TXT_FAST_FORWARD
    u"回転 180°",  // 5 TXT_ROTATE_180
    u"コマ送り",  // 6 TXT_FRAME_STEP
    u"大",  // 7 TXT_SIZE_LARGE
    u"中",  // 8 TXT_SIZE_MEDIUM
    u"次",  // 9 TXT_NEXT
    u"参照",  // 10 TXT_BROWSE
    u"一時停止",  // 11 TXT_PAUSE
    u"再生",  // 12 TXT_PLAY
    u"前",  // 13 TXT_PREVIOUS
    u"ビデオリペア",  // 14 TXT_VIDEO_REPAIR
    u"セーブ",  // 15 TXT_SAVE_KANA
    u"設定",  // 16 TXT_SETTINGS
    u"スロー",  // 17 TXT_SLOW
    u"小",  // 18 TXT_SIZE_SMALL
    u"静止画",  // 19 TXT_STILL_IMAGE
    u"先頭",  // 20 TXT_FIRST
    u"拡大",  // 21 TXT_ZOOM
    u"緊急",  // 22 TXT_EMERGENCY
    u"ファイルNo.",  // 23 TXT_FILE_NO
    u"衝撃",  // 24 TXT_IMPACT
    u"衝撃＋マニュアル",  // 25 TXT_IMPACT_MANUAL
    u"マニュアル",  // 26 TXT_MANUAL
    u"録画トリガー",  // 27 TXT_TRIGGER
    u"データサイズ",  // 28 TXT_DATA_SIZE
    u"日付,",  // 29 TXT_CSV_DATE
    u"ファイル名,",  // 30 TXT_CSV_FILE_NAME
    u"ファイルNo.,",  // 31 TXT_CSV_FILE_NO
    u"フレームレート,",  // 32 TXT_CSV_FRAME_RATE
    u"%d個",  // 33 TXT_COUNT_FMT
    u"画質,",  // 34 TXT_CSV_QUALITY
    u"録画サイズ,",  // 35 TXT_CSV_REC_SIZE
    u"録画時間,",  // 36 TXT_CSV_REC_TIME
    u"開始時刻,",  // 37 TXT_CSV_START_TIME
    u"録画トリガー,",  // 38 TXT_CSV_TRIGGER
    u"バックアップ",  // 39 TXT_BACKUP
    u"動画保存（連結）",  // 40 TXT_SAVE_JOINED_2
    u"次へ",  // 41 TXT_NEXT_STEP
    u"日付",  // 42 TXT_DATE
    u"削除",  // 43 TXT_DELETE_2
    u"完了しました。",  // 44 TXT_DONE
    u"終了",  // 45 TXT_EXIT
    u"ファイル名",  // 46 TXT_FILE_NAME
    u"ファイルサイズ",  // 47 TXT_FILE_SIZE
    u"ID",  // 48 TXT_ID
    u"保存",  // 49 TXT_SAVE
    u"全選択",  // 50 TXT_SELECT_ALL
    u"表示された全てを選択",  // 51 TXT_SELECT_ALL_SHOWN
    u"全てのファイルを表示",  // 52 TXT_SHOW_ALL_FILES
    u"終了時刻",  // 53 TXT_END_TIME
    u"開始時刻",  // 54 TXT_START_TIME
    u"高画質",  // 55 TXT_HIGH_QUALITY
    u"低画質",  // 56 TXT_LOW_QUALITY
    u"再生速度x1.0",  // 57 TXT_SPEED_1_0
    u"再生速度x2.0",  // 58 TXT_SPEED_2_0
    u"再生速度x4.0",  // 59 TXT_SPEED_4_0
    u"再生速度x0.5",  // 60 TXT_SPEED_0_5
    u"再生速度x0.25",  // 61 TXT_SPEED_0_25
    u"前後(X軸)",  // 62 TXT_AXIS_X
    u"左右(Y軸)",  // 63 TXT_AXIS_Y
    u"上下(Z軸)",  // 64 TXT_AXIS_Z
    u"ドライブサポート　急加速",  // 65 TXT_DS_SUDDEN_ACCEL
    u"ドライブサポート　急ブレーキ",  // 66 TXT_DS_SUDDEN_BRAKE
    u"ドライブサポート　急ハンドル",  // 67 TXT_DS_SUDDEN_STEER
    u"位置",  // 68 TXT_POSITION
    u"急加速",  // 69 TXT_SUDDEN_ACCEL
    u"急ブレーキ",  // 70 TXT_SUDDEN_BRAKE
    u"急下降",  // 71 TXT_SUDDEN_DESCENT
    u"急ハンドル",  // 72 TXT_SUDDEN_STEER
    u"急上昇",  // 73 TXT_SUDDEN_RISE
    u"マニュアル録画",  // 74 TXT_MANUAL_RECORDING
    u"緊急録画停止",  // 75 TXT_EMERGENCY_REC_STOP
    u"駐車監視",  // 76 TXT_PARKING_MONITOR
    u"速度超過",  // 77 TXT_OVER_SPEED
    u"閉じる",  // 78 TXT_CLOSE_2
    u"早送り",  // 79 TXT_FAST_FORWARD_2
    u"コマ送り",  // 80 TXT_FRAME_STEP_2
    u"参照",  // 81 TXT_BROWSE_2
    u"一時停止",  // 82 TXT_PAUSE_2
    u"再生",  // 83 TXT_PLAY_2
    u"設定",  // 84 TXT_SETTINGS_2
    u"スロー",  // 85 TXT_SLOW_2
    u"静止画",  // 86 TXT_STILL_IMAGE_2
    u"停止",  // 87 TXT_STOP
    u"フルスクリーン（縦横比を維持）",  // 88 TXT_FULLSCREEN_KEEP_ASPECT
    u"フルスクリーン（ストレッチ）",  // 89 TXT_FULLSCREEN_STRETCH
    u"同名のファイルが存在します。続行しますか？",  // 90 TXT_MSG_SAME_NAME_EXISTS
    u"動画ファイルの保存に失敗しました。",  // 91 TXT_MSG_VIDEO_SAVE_FAILED
    u"動画の連結に失敗しました。",  // 92 TXT_MSG_JOIN_FAILED
    u"CSVファイルが作成できません。",  // 93 TXT_MSG_CSV_CREATE_FAILED
    u"動画ファイルの削除に失敗しました。",  // 94 TXT_MSG_DELETE_FAILED
    u"フォルダパスの取得に失敗しました。",  // 95 TXT_MSG_FOLDER_PATH_FAILED
    u"動画のオープンに失敗しました。",  // 96 TXT_MSG_OPEN_FAILED
    u"録画時間が短いため再生できません。",  // 97 TXT_MSG_TOO_SHORT
    u"画像の保存に失敗しました。",  // 98 TXT_MSG_IMAGE_SAVE_FAILED
    u"動画ファイルがありません。",  // 99 TXT_MSG_NO_VIDEO
    u"バックアップフォルダーを選択してください。",  // 100 TXT_MSG_SELECT_BACKUP_FOLDER
    u"出力先フォルダーを選択してください。",  // 101 TXT_MSG_SELECT_OUTPUT_FOLDER
    u"動画フォルダーを選択してください。",  // 102 TXT_MSG_SELECT_VIDEO_FOLDER
    u"表示数が1500を超えています。1500項目表示します。",  // 103 TXT_MSG_OVER_1500
    u"確認",  // 104 TXT_CONFIRM
    u"新しいバージョンのソフトを利用できます。\r\nダウンロードする場合は下記URLをクリックしてください。",  // 105 TXT_UPDATE_AVAILABLE
    u"更新情報",  // 106 TXT_UPDATE_INFO
    u"現在のバージョン：",  // 107 TXT_CURRENT_VERSION
    u"ドライブレコーダー本体",  // 108 TXT_RECORDER_UNIT
    u"更新バージョン：",  // 109 TXT_UPDATE_VERSION
    u"ビューワーソフト",  // 110 TXT_VIEWER_SOFTWARE
    u"GPSデータ情報",  // 111 TXT_GPS_DATA_INFO
    u"メイリオ",  // 112 TXT_FONT_FACE
    u"コーデックとスプリッターをインストールしてください。",  // 113 TXT_MSG_INSTALL_CODEC
    u"適用",  // 114 TXT_APPLY
    u"ドライブサポート",  // 115 TXT_DRIVE_SUPPORT
    u"SDカードの初期化",  // 116 TXT_SD_FORMAT
    u"パスワード設定",  // 117 TXT_PASSWORD_SETTING
    u"新しいパスワード確認:",  // 118 TXT_NEW_PASSWORD_CONFIRM
    u"現在のパスワード:",  // 119 TXT_CURRENT_PASSWORD
    u"新しいパスワード:",  // 120 TXT_NEW_PASSWORD
    u"SDカードの設定",  // 121 TXT_SD_SETTINGS
    u"ドライブ選択:",  // 122 TXT_DRIVE_SELECT
    u"設定",  // 123 TXT_SETTINGS_3
    u"緊急録画停止",  // 124 TXT_EMERGENCY_REC_STOP_2
    u"駐車監視衝撃",  // 125 TXT_PARKING_MONITOR_IMPACT
    u"ファームウェアの更新",  // 126 TXT_FIRMWARE_UPDATE
    u"バージョン情報",  // 127 TXT_VERSION_INFO
    u"加速度グラフ/マップアイコン表示設定",  // 128 TXT_GRAPH_ICON_SETTINGS
    u"速度超過",  // 129 TXT_OVER_SPEED_2
    u"ファイル",  // 130 TXT_FILE
    u"フォルダー",  // 131 TXT_FOLDER
    u"参照先",  // 132 TXT_SOURCE
    u"SDカード",  // 133 TXT_SD_CARD
    u"実行中...",  // 134 TXT_RUNNING
    u"お待ちください...",  // 135 TXT_PLEASE_WAIT
    u"最小化",  // 136 TXT_MINIMIZE
    u"マップに戻る",  // 137 TXT_BACK_TO_MAP
    u"サイズオーバーです。",  // 138 TXT_MSG_SIZE_OVER
    u"車両情報",  // 139 TXT_VEHICLE_INFO
    u"ファイル数を減らしてください。",  // 140 TXT_MSG_REDUCE_FILES
    u"オービス",  // 141 TXT_SPEED_CAMERA
    u"レーダー",  // 142 TXT_RADAR
    u"自動速度取締機",  // 143 TXT_AUTO_SPEED_ENFORCER
    u"レーダー波警報",  // 144 TXT_RADAR_ALARM
    u"メインカメラ",  // 145 TXT_MAIN_CAMERA
    u"サブカメラ",  // 146 TXT_SUB_CAMERA
    u"表示切替",  // 147 TXT_SWITCH_DISPLAY
    u"メインカメラデータサイズ,",  // 148 TXT_CSV_MAIN_DATA_SIZE
    u"サブカメラデータサイズ",  // 149 TXT_CSV_SUB_DATA_SIZE
    u"マップ表示切替",  // 150 TXT_SWITCH_MAP
    u"マップ",  // 151 TXT_MAP
    u"常時",  // 152 TXT_KIND_CONTINUOUS
    u"速度取締機",  // 153 TXT_SPEED_ENFORCER
    u"レーダー",  // 154 TXT_RADAR_2
    u"マニュアル",  // 155 TXT_MANUAL_2
    u"衝撃",  // 156 TXT_IMPACT_2
    u"駐車",  // 157 TXT_PARKING
    u"駐車衝撃",  // 158 TXT_PARKING_IMPACT
    u"タイムラプス",  // 159 TXT_TIMELAPSE
    u"常時",  // 160 TXT_KIND_CONTINUOUS_2
    u"オービス",  // 161 TXT_SPEED_CAMERA_2
    u"レーダー",  // 162 TXT_RADAR_3
    u"マニュアル",  // 163 TXT_MANUAL_3
    u"衝撃",  // 164 TXT_IMPACT_3
    u"常時タイムラプス",  // 165 TXT_CONTINUOUS_TIMELAPSE
    u"駐車",  // 166 TXT_PARKING_2
    u"駐車衝撃",  // 167 TXT_PARKING_IMPACT_2
    u"駐車タイムラプス",  // 168 TXT_PARKING_TIMELAPSE
    u"拡大",  // 169 TXT_ZOOM_IN
    u"縮小",  // 170 TXT_ZOOM_OUT
    u"ファイルサムネイル表示",  // 171 TXT_THUMBNAILS_SHOW
    u"ファイルサムネイル非表示",  // 172 TXT_THUMBNAILS_HIDE
    u"拡大モードです\n\n拡大したい場所を\nクリックしてください",  // 173 TXT_MSG_ZOOM_MODE
    u"RTCリセット",  // 174 TXT_RTC_RESET
    u"あり",  // 175 TXT_PRESENT
    u"なし",  // 176 TXT_ABSENT
    u"データサイズ,",  // 177 TXT_CSV_DATA_SIZE
};

// Row 1: the same slots in English. Format markers, line breaks and the trailing commas of the
// CSV headings are those of row 0; slot 112 names the generic sans-serif family (the desktop's
// UI font comes first, see uiFontFamilies).
constexpr const char16_t* kEnglishTexts[kUiTextFilled] = {
    u"Close",  // 0 TXT_CLOSE
    u"Save video (joined)",  // 1 TXT_SAVE_JOINED
    u"CSV",  // 2 TXT_CSV
    u"Delete",  // 3 TXT_DELETE
    u"Fast forward",  // 4 TXT_FAST_FORWARD
    u"Rotate 180°",  // 5 TXT_ROTATE_180
    u"Frame advance",  // 6 TXT_FRAME_STEP
    u"Large",  // 7 TXT_SIZE_LARGE
    u"Medium",  // 8 TXT_SIZE_MEDIUM
    u"Next",  // 9 TXT_NEXT
    u"Browse",  // 10 TXT_BROWSE
    u"Pause",  // 11 TXT_PAUSE
    u"Play",  // 12 TXT_PLAY
    u"Previous",  // 13 TXT_PREVIOUS
    u"Video repair",  // 14 TXT_VIDEO_REPAIR
    u"Save",  // 15 TXT_SAVE_KANA
    u"Settings",  // 16 TXT_SETTINGS
    u"Slow",  // 17 TXT_SLOW
    u"Small",  // 18 TXT_SIZE_SMALL
    u"Still image",  // 19 TXT_STILL_IMAGE
    u"Go to start",  // 20 TXT_FIRST
    u"Zoom",  // 21 TXT_ZOOM
    u"Emergency",  // 22 TXT_EMERGENCY
    u"File No.",  // 23 TXT_FILE_NO
    u"Impact",  // 24 TXT_IMPACT
    u"Impact + manual",  // 25 TXT_IMPACT_MANUAL
    u"Manual",  // 26 TXT_MANUAL
    u"Recording trigger",  // 27 TXT_TRIGGER
    u"Data size",  // 28 TXT_DATA_SIZE
    u"Date,",  // 29 TXT_CSV_DATE
    u"File name,",  // 30 TXT_CSV_FILE_NAME
    u"File No.,",  // 31 TXT_CSV_FILE_NO
    u"Frame rate,",  // 32 TXT_CSV_FRAME_RATE
    u"%d items",  // 33 TXT_COUNT_FMT
    u"Quality,",  // 34 TXT_CSV_QUALITY
    u"Recording size,",  // 35 TXT_CSV_REC_SIZE
    u"Recording time,",  // 36 TXT_CSV_REC_TIME
    u"Start time,",  // 37 TXT_CSV_START_TIME
    u"Recording trigger,",  // 38 TXT_CSV_TRIGGER
    u"Backup",  // 39 TXT_BACKUP
    u"Save video (joined)",  // 40 TXT_SAVE_JOINED_2
    u"Next",  // 41 TXT_NEXT_STEP
    u"Date",  // 42 TXT_DATE
    u"Delete",  // 43 TXT_DELETE_2
    u"Done.",  // 44 TXT_DONE
    u"Finished",  // 45 TXT_EXIT
    u"File name",  // 46 TXT_FILE_NAME
    u"File size",  // 47 TXT_FILE_SIZE
    u"ID",  // 48 TXT_ID
    u"Save",  // 49 TXT_SAVE
    u"Select all",  // 50 TXT_SELECT_ALL
    u"Select all shown",  // 51 TXT_SELECT_ALL_SHOWN
    u"Show all files",  // 52 TXT_SHOW_ALL_FILES
    u"End time",  // 53 TXT_END_TIME
    u"Start time",  // 54 TXT_START_TIME
    u"High quality",  // 55 TXT_HIGH_QUALITY
    u"Low quality",  // 56 TXT_LOW_QUALITY
    u"Playback x1.0",  // 57 TXT_SPEED_1_0
    u"Playback x2.0",  // 58 TXT_SPEED_2_0
    u"Playback x4.0",  // 59 TXT_SPEED_4_0
    u"Playback x0.5",  // 60 TXT_SPEED_0_5
    u"Playback x0.25",  // 61 TXT_SPEED_0_25
    u"Front/back (X axis)",  // 62 TXT_AXIS_X
    u"Left/right (Y axis)",  // 63 TXT_AXIS_Y
    u"Up/down (Z axis)",  // 64 TXT_AXIS_Z
    u"Drive support: sudden acceleration",  // 65 TXT_DS_SUDDEN_ACCEL
    u"Drive support: sudden braking",  // 66 TXT_DS_SUDDEN_BRAKE
    u"Drive support: sudden steering",  // 67 TXT_DS_SUDDEN_STEER
    u"Position",  // 68 TXT_POSITION
    u"Sudden acceleration",  // 69 TXT_SUDDEN_ACCEL
    u"Sudden braking",  // 70 TXT_SUDDEN_BRAKE
    u"Sudden drop",  // 71 TXT_SUDDEN_DESCENT
    u"Sudden steering",  // 72 TXT_SUDDEN_STEER
    u"Sudden rise",  // 73 TXT_SUDDEN_RISE
    u"Manual recording",  // 74 TXT_MANUAL_RECORDING
    u"Emergency recording stop",  // 75 TXT_EMERGENCY_REC_STOP
    u"Parking monitoring",  // 76 TXT_PARKING_MONITOR
    u"Speeding",  // 77 TXT_OVER_SPEED
    u"Close",  // 78 TXT_CLOSE_2
    u"Fast forward",  // 79 TXT_FAST_FORWARD_2
    u"Frame advance",  // 80 TXT_FRAME_STEP_2
    u"Browse",  // 81 TXT_BROWSE_2
    u"Pause",  // 82 TXT_PAUSE_2
    u"Play",  // 83 TXT_PLAY_2
    u"Settings",  // 84 TXT_SETTINGS_2
    u"Slow",  // 85 TXT_SLOW_2
    u"Still image",  // 86 TXT_STILL_IMAGE_2
    u"Stop",  // 87 TXT_STOP
    u"Full screen (keep aspect ratio)",  // 88 TXT_FULLSCREEN_KEEP_ASPECT
    u"Full screen (stretch)",  // 89 TXT_FULLSCREEN_STRETCH
    u"A file with the same name exists. Continue?",  // 90 TXT_MSG_SAME_NAME_EXISTS
    u"Saving the video file failed.",  // 91 TXT_MSG_VIDEO_SAVE_FAILED
    u"Joining the videos failed.",  // 92 TXT_MSG_JOIN_FAILED
    u"The CSV file cannot be created.",  // 93 TXT_MSG_CSV_CREATE_FAILED
    u"Deleting the video file failed.",  // 94 TXT_MSG_DELETE_FAILED
    u"Getting the folder path failed.",  // 95 TXT_MSG_FOLDER_PATH_FAILED
    u"Opening the video failed.",  // 96 TXT_MSG_OPEN_FAILED
    u"The recording is too short to be played.",  // 97 TXT_MSG_TOO_SHORT
    u"Saving the image failed.",  // 98 TXT_MSG_IMAGE_SAVE_FAILED
    u"There is no video file.",  // 99 TXT_MSG_NO_VIDEO
    u"Please choose the backup folder.",  // 100 TXT_MSG_SELECT_BACKUP_FOLDER
    u"Please choose the output folder.",  // 101 TXT_MSG_SELECT_OUTPUT_FOLDER
    u"Please choose the video folder.",  // 102 TXT_MSG_SELECT_VIDEO_FOLDER
    u"More than 1500 items to show; the first 1500 are shown.",  // 103 TXT_MSG_OVER_1500
    u"Confirm",  // 104 TXT_CONFIRM
    u"A newer version of the software is available.\r\nTo download it, click the URL below.",  // 105 TXT_UPDATE_AVAILABLE
    u"Update information",  // 106 TXT_UPDATE_INFO
    u"Current version:",  // 107 TXT_CURRENT_VERSION
    u"Drive recorder",  // 108 TXT_RECORDER_UNIT
    u"New version:",  // 109 TXT_UPDATE_VERSION
    u"Viewer software",  // 110 TXT_VIEWER_SOFTWARE
    u"GPS data",  // 111 TXT_GPS_DATA_INFO
    u"Sans Serif",  // 112 TXT_FONT_FACE
    u"Please install a decoder for this movie.",  // 113 TXT_MSG_INSTALL_CODEC
    u"Apply",  // 114 TXT_APPLY
    u"Drive support",  // 115 TXT_DRIVE_SUPPORT
    u"Format SD card",  // 116 TXT_SD_FORMAT
    u"Password",  // 117 TXT_PASSWORD_SETTING
    u"Confirm new password:",  // 118 TXT_NEW_PASSWORD_CONFIRM
    u"Current password:",  // 119 TXT_CURRENT_PASSWORD
    u"New password:",  // 120 TXT_NEW_PASSWORD
    u"SD card settings",  // 121 TXT_SD_SETTINGS
    u"Drive:",  // 122 TXT_DRIVE_SELECT
    u"Settings",  // 123 TXT_SETTINGS_3
    u"Emergency recording stop",  // 124 TXT_EMERGENCY_REC_STOP_2
    u"Parking impact",  // 125 TXT_PARKING_MONITOR_IMPACT
    u"Firmware update",  // 126 TXT_FIRMWARE_UPDATE
    u"Version",  // 127 TXT_VERSION_INFO
    u"Acceleration graph and map icons",  // 128 TXT_GRAPH_ICON_SETTINGS
    u"Speeding",  // 129 TXT_OVER_SPEED_2
    u"File",  // 130 TXT_FILE
    u"Folder",  // 131 TXT_FOLDER
    u"Source",  // 132 TXT_SOURCE
    u"SD card",  // 133 TXT_SD_CARD
    u"Running...",  // 134 TXT_RUNNING
    u"Please wait...",  // 135 TXT_PLEASE_WAIT
    u"Minimize",  // 136 TXT_MINIMIZE
    u"Back to map",  // 137 TXT_BACK_TO_MAP
    u"The size is over the limit.",  // 138 TXT_MSG_SIZE_OVER
    u"Vehicle information",  // 139 TXT_VEHICLE_INFO
    u"Please reduce the number of files.",  // 140 TXT_MSG_REDUCE_FILES
    u"Speed camera",  // 141 TXT_SPEED_CAMERA
    u"Radar",  // 142 TXT_RADAR
    u"Speed enforcement camera",  // 143 TXT_AUTO_SPEED_ENFORCER
    u"Radar alert",  // 144 TXT_RADAR_ALARM
    u"Main camera",  // 145 TXT_MAIN_CAMERA
    u"Sub camera",  // 146 TXT_SUB_CAMERA
    u"Switch display",  // 147 TXT_SWITCH_DISPLAY
    u"Main camera data size,",  // 148 TXT_CSV_MAIN_DATA_SIZE
    u"Sub camera data size",  // 149 TXT_CSV_SUB_DATA_SIZE
    u"Show or hide the map",  // 150 TXT_SWITCH_MAP
    u"Map",  // 151 TXT_MAP
    u"Continuous",  // 152 TXT_KIND_CONTINUOUS
    u"Speed enforcement",  // 153 TXT_SPEED_ENFORCER
    u"Radar",  // 154 TXT_RADAR_2
    u"Manual",  // 155 TXT_MANUAL_2
    u"Impact",  // 156 TXT_IMPACT_2
    u"Parking",  // 157 TXT_PARKING
    u"Parking impact",  // 158 TXT_PARKING_IMPACT
    u"Time-lapse",  // 159 TXT_TIMELAPSE
    u"Continuous",  // 160 TXT_KIND_CONTINUOUS_2
    u"Speed camera",  // 161 TXT_SPEED_CAMERA_2
    u"Radar",  // 162 TXT_RADAR_3
    u"Manual",  // 163 TXT_MANUAL_3
    u"Impact",  // 164 TXT_IMPACT_3
    u"Continuous time-lapse",  // 165 TXT_CONTINUOUS_TIMELAPSE
    u"Parking",  // 166 TXT_PARKING_2
    u"Parking impact",  // 167 TXT_PARKING_IMPACT_2
    u"Parking time-lapse",  // 168 TXT_PARKING_TIMELAPSE
    u"Zoom in",  // 169 TXT_ZOOM_IN
    u"Zoom out",  // 170 TXT_ZOOM_OUT
    u"Show file thumbnails",  // 171 TXT_THUMBNAILS_SHOW
    u"Hide file thumbnails",  // 172 TXT_THUMBNAILS_HIDE
    u"Zoom mode\n\nClick the place\nyou want to enlarge",  // 173 TXT_MSG_ZOOM_MODE
    u"RTC reset",  // 174 TXT_RTC_RESET
    u"Yes",  // 175 TXT_PRESENT
    u"No",  // 176 TXT_ABSENT
    u"Data size,",  // 177 TXT_CSV_DATA_SIZE
};

// This program's own texts, from slot kUiTextFilled on.
constexpr const char16_t* kOwnTexts[kUiTextOwnCount] = {
    u"事故報告書作成",  // 178 TXT_REPORT
    u"表示中のSDカードまたはフォルダが見つかりません。",  // 179 TXT_MSG_SOURCE_GONE
    u"削除した動画: %1件、削除されなかった動画: %2件",  // 180 TXT_MSG_DELETE_COUNTS
    u"ファイルの保存中です。中止して終了しますか？",  // 181 TXT_MSG_CLOSE_WHILE_SAVING
    u"キャンセル",  // 182 TXT_CANCEL
    u"言語と単位",  // 183 TXT_LANGUAGE_UNITS
    u"言語:",  // 184 TXT_LANGUAGE
    u"自動",  // 185 TXT_LANGUAGE_AUTO
    u"日本語",  // 186 TXT_LANGUAGE_JAPANESE
    u"English",  // 187 TXT_LANGUAGE_ENGLISH
    u"速度の単位:",  // 188 TXT_SPEED_UNIT
    u"km/h",  // 189 TXT_UNIT_KMH
    u"mph",  // 190 TXT_UNIT_MPH
    u"言語の変更は次回の起動から有効になります。",  // 191 TXT_MSG_LANGUAGE_NEXT_START
    u"メインカメラ（サブカメラの小窓付き）",  // 192 TXT_ACC_MAIN_WITH_SUB
    u"%1、フレーム %2 / %3",  // 193 TXT_ACC_FRAME_FMT
    u"再生位置",  // 194 TXT_ACC_POSITION
    u"音量",  // 195 TXT_ACC_VOLUME
    u"加速度グラフ",  // 196 TXT_ACC_GRAPH
    u"キー: %1",  // 197 TXT_ACC_KEY_FMT
    u"速度 %1 %2",  // 198 TXT_ACC_SPEED_FMT
    u"速度不明",  // 199 TXT_ACC_NO_SPEED
    u"GPS測位あり",  // 200 TXT_ACC_GPS_FIX
    u"GPS測位なし",  // 201 TXT_ACC_NO_GPS_FIX
    u"値なし",  // 202 TXT_ACC_NO_VALUE
    u"証拠書き出し",  // 203 TXT_EVIDENCE
    u"開始フレーム:",  // 204 TXT_EVIDENCE_FROM
    u"終了フレーム:",  // 205 TXT_EVIDENCE_TO
    u"保存先フォルダ:",  // 206 TXT_EVIDENCE_FOLDER
    u"証拠を書き出しました:\n%1",  // 207 TXT_MSG_EVIDENCE_DONE
    u"証拠を書き出せませんでした:\n%1",  // 208 TXT_MSG_EVIDENCE_FAILED
    u"%1 は既にあります。新しいフォルダ名を指定してください。",  // 209 TXT_MSG_EVIDENCE_FOLDER_EXISTS
    u"%d個",  // 210 TXT_COUNT_ONE_FMT
};

// The same in English; a slot left out here shows its row-0 text.
constexpr const char16_t* kOwnEnglishTexts[kUiTextOwnCount] = {
    u"Accident report",  // 178 TXT_REPORT
    u"The card or folder being viewed is no longer there.",  // 179 TXT_MSG_SOURCE_GONE
    u"Deleted: %1 recordings; not deleted: %2.",  // 180 TXT_MSG_DELETE_COUNTS
    u"A file is still being saved. Stop saving and close?",  // 181 TXT_MSG_CLOSE_WHILE_SAVING
    u"Cancel",  // 182 TXT_CANCEL
    u"Language and units",  // 183 TXT_LANGUAGE_UNITS
    u"Language:",  // 184 TXT_LANGUAGE
    u"Automatic",  // 185 TXT_LANGUAGE_AUTO
    u"日本語",  // 186 TXT_LANGUAGE_JAPANESE: a language is offered under its own name
    u"English",  // 187 TXT_LANGUAGE_ENGLISH
    u"Speed unit:",  // 188 TXT_SPEED_UNIT
    u"km/h",  // 189 TXT_UNIT_KMH
    u"mph",  // 190 TXT_UNIT_MPH
    u"A new language takes effect the next time the viewer starts.",  // 191 TXT_MSG_LANGUAGE_NEXT_START
    u"Main camera with the sub camera inset",  // TXT_ACC_MAIN_WITH_SUB
    u"%1, frame %2 of %3",  // TXT_ACC_FRAME_FMT
    u"Playback position",  // TXT_ACC_POSITION
    u"Volume",  // TXT_ACC_VOLUME
    u"Acceleration graph",  // TXT_ACC_GRAPH
    u"Key: %1",  // TXT_ACC_KEY_FMT
    u"Speed %1 %2",  // TXT_ACC_SPEED_FMT
    u"Speed unknown",  // TXT_ACC_NO_SPEED
    u"GPS fix",  // TXT_ACC_GPS_FIX
    u"No GPS fix",  // TXT_ACC_NO_GPS_FIX
    u"no value",  // TXT_ACC_NO_VALUE
    u"Export evidence",  // 203 TXT_EVIDENCE
    u"From frame:",  // 204 TXT_EVIDENCE_FROM
    u"To frame:",  // 205 TXT_EVIDENCE_TO
    u"Output folder:",  // 206 TXT_EVIDENCE_FOLDER
    u"The evidence was written to:\n%1",  // 207 TXT_MSG_EVIDENCE_DONE
    u"The evidence could not be written:\n%1",  // 208 TXT_MSG_EVIDENCE_FAILED
    u"%1 exists already. Choose a new folder name.",  // 209 TXT_MSG_EVIDENCE_FOLDER_EXISTS
    u"%d item",  // 210 TXT_COUNT_ONE_FMT
};

using Row = std::array<QString, kUiTextSlots>;

// Each slot is its own QString, so slots that show the same words stay separate entries.
// Row 0 holds the Japanese texts, row 1 the English ones.
const std::array<Row, kUiTextRows>& table()
{
    static const std::array<Row, kUiTextRows> rows = [] {
        std::array<Row, kUiTextRows> made;
        for (int i = 0; i < kUiTextEnd; ++i) {
            const bool own = i >= kUiTextFilled;
            const char16_t* japanese = own ? kOwnTexts[i - kUiTextFilled] : kTexts[i];
            const char16_t* english = own ? kOwnEnglishTexts[i - kUiTextFilled] : kEnglishTexts[i];
            made[0][static_cast<size_t>(i)] = QString::fromUtf16(japanese);
            made[1][static_cast<size_t>(i)] = QString::fromUtf16(english ? english : japanese);
        }
        return made;
    }();
    return rows;
}

std::atomic<int> currentRow{0};

// The message slots (failures, questions, notices): the command line prints them in the
// language of its locale while every other slot keeps row 0.
constexpr int kMessageSlots[] = {
    TXT_MSG_SAME_NAME_EXISTS,     TXT_MSG_VIDEO_SAVE_FAILED,     TXT_MSG_JOIN_FAILED,
    TXT_MSG_CSV_CREATE_FAILED,    TXT_MSG_DELETE_FAILED,         TXT_MSG_FOLDER_PATH_FAILED,
    TXT_MSG_OPEN_FAILED,          TXT_MSG_TOO_SHORT,             TXT_MSG_IMAGE_SAVE_FAILED,
    TXT_MSG_NO_VIDEO,             TXT_MSG_SELECT_BACKUP_FOLDER,  TXT_MSG_SELECT_OUTPUT_FOLDER,
    TXT_MSG_SELECT_VIDEO_FOLDER,  TXT_MSG_OVER_1500,             TXT_MSG_INSTALL_CODEC,
    TXT_MSG_SIZE_OVER,            TXT_MSG_REDUCE_FILES,          TXT_MSG_SOURCE_GONE,
    TXT_MSG_DELETE_COUNTS,        TXT_MSG_CLOSE_WHILE_SAVING,
};

const Row& englishMessages()
{
    static const Row row = [] {
        Row made;
        for (int slot : kMessageSlots)
            made[static_cast<size_t>(slot)] = table()[1][static_cast<size_t>(slot)];
        return made;
    }();
    return row;
}

std::atomic<MessageLanguage> currentMessageLanguage{MessageLanguage::Japanese};

}  // namespace

const QString& text(int index)
{
    static const QString empty;
    if (index < 0 || index >= kUiTextSlots)
        return empty;
    if (currentMessageLanguage.load(std::memory_order_relaxed) == MessageLanguage::English) {
        const QString& english = englishMessages()[static_cast<size_t>(index)];
        if (!english.isEmpty())
            return english;
    }
    return table()[static_cast<size_t>(currentRow.load(std::memory_order_relaxed))]
                  [static_cast<size_t>(index)];
}

QString textAt(int row, int index)
{
    if (row < 0 || row >= kUiTextRows || index < 0 || index >= kUiTextSlots)
        return {};
    return table()[static_cast<size_t>(row)][static_cast<size_t>(index)];
}

bool isUsEnglish(const QLocale& locale)
{
    return locale.language() == QLocale::English && locale.territory() == QLocale::UnitedStates;
}

LanguageSetting languageSettingOf(const QString& value)
{
    const QString v = value.trimmed().toLower();
    if (v == u"ja")
        return LanguageSetting::Japanese;
    if (v == u"en")
        return LanguageSetting::English;
    return LanguageSetting::Auto;
}

QString languageSettingValue(LanguageSetting setting)
{
    switch (setting) {
    case LanguageSetting::Japanese:
        return QStringLiteral("ja");
    case LanguageSetting::English:
        return QStringLiteral("en");
    case LanguageSetting::Auto:
        break;
    }
    return QStringLiteral("auto");
}

MessageLanguage chooseLanguage(LanguageSetting setting, MessageLanguage ofLocale)
{
    switch (setting) {
    case LanguageSetting::Japanese:
        return MessageLanguage::Japanese;
    case LanguageSetting::English:
        return MessageLanguage::English;
    case LanguageSetting::Auto:
        break;
    }
    return ofLocale;
}

int chooseUiTextRow(MessageLanguage language)
{
    currentRow.store(language == MessageLanguage::English ? 1 : 0, std::memory_order_relaxed);
    return currentRow.load(std::memory_order_relaxed);
}

int uiTextRow() { return currentRow.load(std::memory_order_relaxed); }

QString englishMessage(int index)
{
    if (index < 0 || index >= kUiTextSlots)
        return {};
    return englishMessages()[static_cast<size_t>(index)];
}

MessageLanguage messageLanguageOfLocaleName(const QByteArray& name)
{
    // "ja", "ja_JP", "ja_JP.UTF-8", "ja_JP.eucJP@...": the language part is "ja".
    if (name.startsWith("ja")
        && (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@'))
        return MessageLanguage::Japanese;
    return MessageLanguage::English;
}

QByteArray messagesLocaleName()
{
    // The POSIX order for the category of messages: LC_ALL, then LC_MESSAGES, then LANG; the
    // first one set and not empty names the locale. None: the C locale.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return QByteArray(value);
    }
    return QByteArrayLiteral("C");
}

MessageLanguage messageLanguageOfEnvironment()
{
    return messageLanguageOfLocaleName(messagesLocaleName());
}

void setMessageLanguage(MessageLanguage language)
{
    currentMessageLanguage.store(language, std::memory_order_relaxed);
}

MessageLanguage messageLanguage() { return currentMessageLanguage.load(std::memory_order_relaxed); }

QStringList uiFontFamilies()
{
    // The Japanese fonts stay behind the face of the row: a file name or folder in Japanese
    // renders in either language.
    return {text(TXT_FONT_FACE), QStringLiteral("Noto Sans CJK JP"),
            QStringLiteral("Noto Sans JP")};
}

QString uiFontFamilyFallbacks() { return uiFontFamilies().join(u','); }

}  // namespace ravir
