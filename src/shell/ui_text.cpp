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

// This program's own texts, from slot kUiTextFilled on, in both rows.
constexpr const char16_t* kOwnTexts[kUiTextOwnCount] = {
    u"事故報告書作成",  // 178 TXT_REPORT
    u"表示中のSDカードまたはフォルダが見つかりません。",  // 179 TXT_MSG_SOURCE_GONE
    u"削除した動画: %1件、削除されなかった動画: %2件",  // 180 TXT_MSG_DELETE_COUNTS
    u"ファイルの保存中です。中止して終了しますか？",  // 181 TXT_MSG_CLOSE_WHILE_SAVING
    u"メインカメラ（サブカメラの小窓付き）",  // 182 TXT_ACC_MAIN_WITH_SUB
    u"%1、フレーム %2 / %3",  // 183 TXT_ACC_FRAME_FMT
    u"再生位置",  // 184 TXT_ACC_POSITION
    u"音量",  // 185 TXT_ACC_VOLUME
    u"加速度グラフ",  // 186 TXT_ACC_GRAPH
    u"キー: %1",  // 187 TXT_ACC_KEY_FMT
    u"速度 %1 km/h",  // 188 TXT_ACC_SPEED_FMT
    u"速度不明",  // 189 TXT_ACC_NO_SPEED
    u"GPS測位あり",  // 190 TXT_ACC_GPS_FIX
    u"GPS測位なし",  // 191 TXT_ACC_NO_GPS_FIX
    u"値なし",  // 192 TXT_ACC_NO_VALUE
};

// Row 1's forms of the own texts that screen readers read (the other own slots hold the same
// text in both rows).
constexpr std::pair<int, const char*> kOwnTextsRow1[] = {
    {TXT_ACC_MAIN_WITH_SUB, "Main camera with the sub camera inset"},
    {TXT_ACC_FRAME_FMT, "%1, frame %2 of %3"},
    {TXT_ACC_POSITION, "Playback position"},
    {TXT_ACC_VOLUME, "Volume"},
    {TXT_ACC_GRAPH, "Acceleration graph"},
    {TXT_ACC_KEY_FMT, "Key: %1"},
    {TXT_ACC_SPEED_FMT, "Speed %1 km/h"},
    {TXT_ACC_NO_SPEED, "Speed unknown"},
    {TXT_ACC_GPS_FIX, "GPS fix"},
    {TXT_ACC_NO_GPS_FIX, "No GPS fix"},
    {TXT_ACC_NO_VALUE, "no value"},
};

using Row = std::array<QString, kUiTextSlots>;

// Each slot is its own QString, so slots that show the same words stay separate entries.
// Row 1 holds the same strings as row 0.
const std::array<Row, kUiTextRows>& table()
{
    static const std::array<Row, kUiTextRows> rows = [] {
        std::array<Row, kUiTextRows> made;
        for (int i = 0; i < kUiTextEnd; ++i) {
            made[0][static_cast<size_t>(i)] =
                QString::fromUtf16(i < kUiTextFilled ? kTexts[i] : kOwnTexts[i - kUiTextFilled]);
            made[1][static_cast<size_t>(i)] = made[0][static_cast<size_t>(i)];
        }
        for (const auto& [slot, english] : kOwnTextsRow1)
            made[1][static_cast<size_t>(slot)] = QString::fromUtf8(english);
        return made;
    }();
    return rows;
}

std::atomic<int> currentRow{0};

// The messages in English, for the command line outside a Japanese locale.
constexpr std::pair<int, const char*> kEnglishMessages[] = {
    {TXT_MSG_SAME_NAME_EXISTS, "A file with the same name exists. Continue?"},
    {TXT_MSG_VIDEO_SAVE_FAILED, "Saving the video file failed."},
    {TXT_MSG_JOIN_FAILED, "Joining the videos failed."},
    {TXT_MSG_CSV_CREATE_FAILED, "The CSV file cannot be created."},
    {TXT_MSG_DELETE_FAILED, "Deleting the video file failed."},
    {TXT_MSG_FOLDER_PATH_FAILED, "Getting the folder path failed."},
    {TXT_MSG_OPEN_FAILED, "Opening the video failed."},
    {TXT_MSG_TOO_SHORT, "The recording is too short to be played."},
    {TXT_MSG_IMAGE_SAVE_FAILED, "Saving the image failed."},
    {TXT_MSG_NO_VIDEO, "There is no video file."},
    {TXT_MSG_SELECT_BACKUP_FOLDER, "Please choose the backup folder."},
    {TXT_MSG_SELECT_OUTPUT_FOLDER, "Please choose the output folder."},
    {TXT_MSG_SELECT_VIDEO_FOLDER, "Please choose the video folder."},
    {TXT_MSG_OVER_1500, "More than 1500 items to show; the first 1500 are shown."},
    {TXT_MSG_INSTALL_CODEC, "Please install a decoder for this movie."},
    {TXT_MSG_SIZE_OVER, "The size is over the limit."},
    {TXT_MSG_REDUCE_FILES, "Please reduce the number of files."},
    {TXT_MSG_SOURCE_GONE, "The card or folder being viewed is no longer there."},
    {TXT_MSG_DELETE_COUNTS, "Deleted: %1 recordings; not deleted: %2."},
    {TXT_MSG_CLOSE_WHILE_SAVING, "A file is still being saved. Stop saving and close?"},
};

const Row& englishMessages()
{
    static const Row row = [] {
        Row made;
        for (const auto& [slot, message] : kEnglishMessages)
            made[static_cast<size_t>(slot)] = QString::fromUtf8(message);
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

int uiTextRowForLocale(const QLocale& locale) { return isUsEnglish(locale) ? 1 : 0; }

int chooseUiTextRow(const QLocale& locale)
{
    if (uiTextRowForLocale(locale) == 1)
        currentRow.store(1, std::memory_order_relaxed);
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

MessageLanguage messageLanguageOfEnvironment()
{
    // The POSIX order for the category of messages: LC_ALL, then LC_MESSAGES, then LANG; the
    // first one set and not empty names the locale. None: the C locale.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return messageLanguageOfLocaleName(QByteArray(value));
    }
    return MessageLanguage::English;
}

void setMessageLanguage(MessageLanguage language)
{
    currentMessageLanguage.store(language, std::memory_order_relaxed);
}

MessageLanguage messageLanguage() { return currentMessageLanguage.load(std::memory_order_relaxed); }

QStringList uiFontFamilies()
{
    return {text(TXT_FONT_FACE), QStringLiteral("Noto Sans CJK JP"),
            QStringLiteral("Noto Sans JP")};
}

QString uiFontFamilyFallbacks() { return uiFontFamilies().join(u','); }

}  // namespace ravir
