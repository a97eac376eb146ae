// The UI text table against a transcription of its own: every slot of both rows, the special
// characters by code point, the separate entries of shared words, and the row choice.
#include "shell/ui_text.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>
#include <QSet>

namespace ravir {
namespace {

struct Expected {
    int id;
    int slot;
    const char* utf8;
};

// Written out independently of the table in the program.
const Expected kExpected[] = {
    {TXT_CLOSE, 0, "閉じる"},
    {TXT_SAVE_JOINED, 1, "動画保存（連結）"},
    {TXT_CSV, 2, "CSV"},
    {TXT_DELETE, 3, "削除"},
    {TXT_FAST_FORWARD, 4, "早送り"},
    {TXT_ROTATE_180, 5, "回転 180°"},
    {TXT_FRAME_STEP, 6, "コマ送り"},
    {TXT_SIZE_LARGE, 7, "大"},
    {TXT_SIZE_MEDIUM, 8, "中"},
    {TXT_NEXT, 9, "次"},
    {TXT_BROWSE, 10, "参照"},
    {TXT_PAUSE, 11, "一時停止"},
    {TXT_PLAY, 12, "再生"},
    {TXT_PREVIOUS, 13, "前"},
    {TXT_VIDEO_REPAIR, 14, "ビデオリペア"},
    {TXT_SAVE_KANA, 15, "セーブ"},
    {TXT_SETTINGS, 16, "設定"},
    {TXT_SLOW, 17, "スロー"},
    {TXT_SIZE_SMALL, 18, "小"},
    {TXT_STILL_IMAGE, 19, "静止画"},
    {TXT_FIRST, 20, "先頭"},
    {TXT_ZOOM, 21, "拡大"},
    {TXT_EMERGENCY, 22, "緊急"},
    {TXT_FILE_NO, 23, "ファイルNo."},
    {TXT_IMPACT, 24, "衝撃"},
    {TXT_IMPACT_MANUAL, 25, "衝撃＋マニュアル"},
    {TXT_MANUAL, 26, "マニュアル"},
    {TXT_TRIGGER, 27, "録画トリガー"},
    {TXT_DATA_SIZE, 28, "データサイズ"},
    {TXT_CSV_DATE, 29, "日付,"},
    {TXT_CSV_FILE_NAME, 30, "ファイル名,"},
    {TXT_CSV_FILE_NO, 31, "ファイルNo.,"},
    {TXT_CSV_FRAME_RATE, 32, "フレームレート,"},
    {TXT_COUNT_FMT, 33, "%d個"},
    {TXT_CSV_QUALITY, 34, "画質,"},
    {TXT_CSV_REC_SIZE, 35, "録画サイズ,"},
    {TXT_CSV_REC_TIME, 36, "録画時間,"},
    {TXT_CSV_START_TIME, 37, "開始時刻,"},
    {TXT_CSV_TRIGGER, 38, "録画トリガー,"},
    {TXT_BACKUP, 39, "バックアップ"},
    {TXT_SAVE_JOINED_2, 40, "動画保存（連結）"},
    {TXT_NEXT_STEP, 41, "次へ"},
    {TXT_DATE, 42, "日付"},
    {TXT_DELETE_2, 43, "削除"},
    {TXT_DONE, 44, "完了しました。"},
    {TXT_EXIT, 45, "終了"},
    {TXT_FILE_NAME, 46, "ファイル名"},
    {TXT_FILE_SIZE, 47, "ファイルサイズ"},
    {TXT_ID, 48, "ID"},
    {TXT_SAVE, 49, "保存"},
    {TXT_SELECT_ALL, 50, "全選択"},
    {TXT_SELECT_ALL_SHOWN, 51, "表示された全てを選択"},
    {TXT_SHOW_ALL_FILES, 52, "全てのファイルを表示"},
    {TXT_END_TIME, 53, "終了時刻"},
    {TXT_START_TIME, 54, "開始時刻"},
    {TXT_HIGH_QUALITY, 55, "高画質"},
    {TXT_LOW_QUALITY, 56, "低画質"},
    {TXT_SPEED_1_0, 57, "再生速度x1.0"},
    {TXT_SPEED_2_0, 58, "再生速度x2.0"},
    {TXT_SPEED_4_0, 59, "再生速度x4.0"},
    {TXT_SPEED_0_5, 60, "再生速度x0.5"},
    {TXT_SPEED_0_25, 61, "再生速度x0.25"},
    {TXT_AXIS_X, 62, "前後(X軸)"},
    {TXT_AXIS_Y, 63, "左右(Y軸)"},
    {TXT_AXIS_Z, 64, "上下(Z軸)"},
    {TXT_DS_SUDDEN_ACCEL, 65, "ドライブサポート　急加速"},
    {TXT_DS_SUDDEN_BRAKE, 66, "ドライブサポート　急ブレーキ"},
    {TXT_DS_SUDDEN_STEER, 67, "ドライブサポート　急ハンドル"},
    {TXT_POSITION, 68, "位置"},
    {TXT_SUDDEN_ACCEL, 69, "急加速"},
    {TXT_SUDDEN_BRAKE, 70, "急ブレーキ"},
    {TXT_SUDDEN_DESCENT, 71, "急下降"},
    {TXT_SUDDEN_STEER, 72, "急ハンドル"},
    {TXT_SUDDEN_RISE, 73, "急上昇"},
    {TXT_MANUAL_RECORDING, 74, "マニュアル録画"},
    {TXT_EMERGENCY_REC_STOP, 75, "緊急録画停止"},
    {TXT_PARKING_MONITOR, 76, "駐車監視"},
    {TXT_OVER_SPEED, 77, "速度超過"},
    {TXT_CLOSE_2, 78, "閉じる"},
    {TXT_FAST_FORWARD_2, 79, "早送り"},
    {TXT_FRAME_STEP_2, 80, "コマ送り"},
    {TXT_BROWSE_2, 81, "参照"},
    {TXT_PAUSE_2, 82, "一時停止"},
    {TXT_PLAY_2, 83, "再生"},
    {TXT_SETTINGS_2, 84, "設定"},
    {TXT_SLOW_2, 85, "スロー"},
    {TXT_STILL_IMAGE_2, 86, "静止画"},
    {TXT_STOP, 87, "停止"},
    {TXT_FULLSCREEN_KEEP_ASPECT, 88, "フルスクリーン（縦横比を維持）"},
    {TXT_FULLSCREEN_STRETCH, 89, "フルスクリーン（ストレッチ）"},
    {TXT_MSG_SAME_NAME_EXISTS, 90, "同名のファイルが存在します。続行しますか？"},
    {TXT_MSG_VIDEO_SAVE_FAILED, 91, "動画ファイルの保存に失敗しました。"},
    {TXT_MSG_JOIN_FAILED, 92, "動画の連結に失敗しました。"},
    {TXT_MSG_CSV_CREATE_FAILED, 93, "CSVファイルが作成できません。"},
    {TXT_MSG_DELETE_FAILED, 94, "動画ファイルの削除に失敗しました。"},
    {TXT_MSG_FOLDER_PATH_FAILED, 95, "フォルダパスの取得に失敗しました。"},
    {TXT_MSG_OPEN_FAILED, 96, "動画のオープンに失敗しました。"},
    {TXT_MSG_TOO_SHORT, 97, "録画時間が短いため再生できません。"},
    {TXT_MSG_IMAGE_SAVE_FAILED, 98, "画像の保存に失敗しました。"},
    {TXT_MSG_NO_VIDEO, 99, "動画ファイルがありません。"},
    {TXT_MSG_SELECT_BACKUP_FOLDER, 100, "バックアップフォルダーを選択してください。"},
    {TXT_MSG_SELECT_OUTPUT_FOLDER, 101, "出力先フォルダーを選択してください。"},
    {TXT_MSG_SELECT_VIDEO_FOLDER, 102, "動画フォルダーを選択してください。"},
    {TXT_MSG_OVER_1500, 103, "表示数が1500を超えています。1500項目表示します。"},
    {TXT_CONFIRM, 104, "確認"},
    {TXT_UPDATE_AVAILABLE, 105, "新しいバージョンのソフトを利用できます。\r\nダウンロードする場合は下記URLをクリックしてください。"},
    {TXT_UPDATE_INFO, 106, "更新情報"},
    {TXT_CURRENT_VERSION, 107, "現在のバージョン："},
    {TXT_RECORDER_UNIT, 108, "ドライブレコーダー本体"},
    {TXT_UPDATE_VERSION, 109, "更新バージョン："},
    {TXT_VIEWER_SOFTWARE, 110, "ビューワーソフト"},
    {TXT_GPS_DATA_INFO, 111, "GPSデータ情報"},
    {TXT_FONT_FACE, 112, "メイリオ"},
    {TXT_MSG_INSTALL_CODEC, 113, "コーデックとスプリッターをインストールしてください。"},
    {TXT_APPLY, 114, "適用"},
    {TXT_DRIVE_SUPPORT, 115, "ドライブサポート"},
    {TXT_SD_FORMAT, 116, "SDカードの初期化"},
    {TXT_PASSWORD_SETTING, 117, "パスワード設定"},
    {TXT_NEW_PASSWORD_CONFIRM, 118, "新しいパスワード確認:"},
    {TXT_CURRENT_PASSWORD, 119, "現在のパスワード:"},
    {TXT_NEW_PASSWORD, 120, "新しいパスワード:"},
    {TXT_SD_SETTINGS, 121, "SDカードの設定"},
    {TXT_DRIVE_SELECT, 122, "ドライブ選択:"},
    {TXT_SETTINGS_3, 123, "設定"},
    {TXT_EMERGENCY_REC_STOP_2, 124, "緊急録画停止"},
    {TXT_PARKING_MONITOR_IMPACT, 125, "駐車監視衝撃"},
    {TXT_FIRMWARE_UPDATE, 126, "ファームウェアの更新"},
    {TXT_VERSION_INFO, 127, "バージョン情報"},
    {TXT_GRAPH_ICON_SETTINGS, 128, "加速度グラフ/マップアイコン表示設定"},
    {TXT_OVER_SPEED_2, 129, "速度超過"},
    {TXT_FILE, 130, "ファイル"},
    {TXT_FOLDER, 131, "フォルダー"},
    {TXT_SOURCE, 132, "参照先"},
    {TXT_SD_CARD, 133, "SDカード"},
    {TXT_RUNNING, 134, "実行中..."},
    {TXT_PLEASE_WAIT, 135, "お待ちください..."},
    {TXT_MINIMIZE, 136, "最小化"},
    {TXT_BACK_TO_MAP, 137, "マップに戻る"},
    {TXT_MSG_SIZE_OVER, 138, "サイズオーバーです。"},
    {TXT_VEHICLE_INFO, 139, "車両情報"},
    {TXT_MSG_REDUCE_FILES, 140, "ファイル数を減らしてください。"},
    {TXT_SPEED_CAMERA, 141, "オービス"},
    {TXT_RADAR, 142, "レーダー"},
    {TXT_AUTO_SPEED_ENFORCER, 143, "自動速度取締機"},
    {TXT_RADAR_ALARM, 144, "レーダー波警報"},
    {TXT_MAIN_CAMERA, 145, "メインカメラ"},
    {TXT_SUB_CAMERA, 146, "サブカメラ"},
    {TXT_SWITCH_DISPLAY, 147, "表示切替"},
    {TXT_CSV_MAIN_DATA_SIZE, 148, "メインカメラデータサイズ,"},
    {TXT_CSV_SUB_DATA_SIZE, 149, "サブカメラデータサイズ"},
    {TXT_SWITCH_MAP, 150, "マップ表示切替"},
    {TXT_MAP, 151, "マップ"},
    {TXT_KIND_CONTINUOUS, 152, "常時"},
    {TXT_SPEED_ENFORCER, 153, "速度取締機"},
    {TXT_RADAR_2, 154, "レーダー"},
    {TXT_MANUAL_2, 155, "マニュアル"},
    {TXT_IMPACT_2, 156, "衝撃"},
    {TXT_PARKING, 157, "駐車"},
    {TXT_PARKING_IMPACT, 158, "駐車衝撃"},
    {TXT_TIMELAPSE, 159, "タイムラプス"},
    {TXT_KIND_CONTINUOUS_2, 160, "常時"},
    {TXT_SPEED_CAMERA_2, 161, "オービス"},
    {TXT_RADAR_3, 162, "レーダー"},
    {TXT_MANUAL_3, 163, "マニュアル"},
    {TXT_IMPACT_3, 164, "衝撃"},
    {TXT_CONTINUOUS_TIMELAPSE, 165, "常時タイムラプス"},
    {TXT_PARKING_2, 166, "駐車"},
    {TXT_PARKING_IMPACT_2, 167, "駐車衝撃"},
    {TXT_PARKING_TIMELAPSE, 168, "駐車タイムラプス"},
    {TXT_ZOOM_IN, 169, "拡大"},
    {TXT_ZOOM_OUT, 170, "縮小"},
    {TXT_THUMBNAILS_SHOW, 171, "ファイルサムネイル表示"},
    {TXT_THUMBNAILS_HIDE, 172, "ファイルサムネイル非表示"},
    {TXT_MSG_ZOOM_MODE, 173, "拡大モードです\n\n拡大したい場所を\nクリックしてください"},
    {TXT_RTC_RESET, 174, "RTCリセット"},
    {TXT_PRESENT, 175, "あり"},
    {TXT_ABSENT, 176, "なし"},
    {TXT_CSV_DATA_SIZE, 177, "データサイズ,"},
};

TEST(UiText, EverySlotOfBothRowsHoldsItsText)
{
    ASSERT_EQ(std::size(kExpected), static_cast<size_t>(kUiTextFilled));
    for (size_t i = 0; i < std::size(kExpected); ++i) {
        const Expected& e = kExpected[i];
        EXPECT_EQ(e.id, e.slot) << "ID constant of slot " << e.slot;
        EXPECT_EQ(e.slot, static_cast<int>(i));
        const QString want = QString::fromUtf8(e.utf8);
        EXPECT_EQ(textAt(0, e.slot), want) << "slot " << e.slot;
        EXPECT_FALSE(textAt(1, e.slot).isEmpty()) << "slot " << e.slot;
        EXPECT_EQ(text(e.slot), want) << "current row, slot " << e.slot;
    }
    // The program's own texts follow the viewer's; then nothing.
    const Expected own[] = {{TXT_REPORT, 178, "事故報告書作成"},
                            {TXT_MSG_SOURCE_GONE, 179, "表示中のSDカードまたはフォルダが見つかりません。"},
                            {TXT_MSG_DELETE_COUNTS, 180, "削除した動画: %1件、削除されなかった動画: %2件"},
                            {TXT_MSG_CLOSE_WHILE_SAVING, 181, "ファイルの保存中です。中止して終了しますか？"},
                            {TXT_CANCEL, 182, "キャンセル"},
                            {TXT_LANGUAGE_UNITS, 183, "言語と単位"},
                            {TXT_LANGUAGE, 184, "言語:"},
                            {TXT_LANGUAGE_AUTO, 185, "自動"},
                            {TXT_LANGUAGE_JAPANESE, 186, "日本語"},
                            {TXT_LANGUAGE_ENGLISH, 187, "English"},
                            {TXT_SPEED_UNIT, 188, "速度の単位:"},
                            {TXT_UNIT_KMH, 189, "km/h"},
                            {TXT_UNIT_MPH, 190, "mph"},
                            {TXT_MSG_LANGUAGE_NEXT_START, 191, "言語の変更は次回の起動から有効になります。"},
                            {TXT_ACC_MAIN_WITH_SUB, 192, "メインカメラ（サブカメラの小窓付き）"},
                            {TXT_ACC_FRAME_FMT, 193, "%1、フレーム %2 / %3"},
                            {TXT_ACC_POSITION, 194, "再生位置"},
                            {TXT_ACC_VOLUME, 195, "音量"},
                            {TXT_ACC_GRAPH, 196, "加速度グラフ"},
                            {TXT_ACC_KEY_FMT, 197, "キー: %1"},
                            {TXT_ACC_SPEED_FMT, 198, "速度 %1 %2"},
                            {TXT_ACC_NO_SPEED, 199, "速度不明"},
                            {TXT_ACC_GPS_FIX, 200, "GPS測位あり"},
                            {TXT_ACC_NO_GPS_FIX, 201, "GPS測位なし"},
                            {TXT_ACC_NO_VALUE, 202, "値なし"},
                            {TXT_EVIDENCE, 203, "証拠書き出し"},
                            {TXT_EVIDENCE_FROM, 204, "開始フレーム:"},
                            {TXT_EVIDENCE_TO, 205, "終了フレーム:"},
                            {TXT_EVIDENCE_FOLDER, 206, "保存先フォルダ:"},
                            {TXT_MSG_EVIDENCE_DONE, 207, "証拠を書き出しました:\n%1"},
                            {TXT_MSG_EVIDENCE_FAILED, 208, "証拠を書き出せませんでした:\n%1"},
                            {TXT_MSG_EVIDENCE_FOLDER_EXISTS, 209, "%1 は既にあります。新しいフォルダ名を指定してください。"},
                            {TXT_COUNT_ONE_FMT, 210, "%d個"}};
    ASSERT_EQ(std::size(own), static_cast<size_t>(kUiTextOwnCount));
    for (size_t i = 0; i < std::size(own); ++i) {
        EXPECT_EQ(own[i].id, own[i].slot);
        EXPECT_EQ(own[i].slot, kUiTextFilled + static_cast<int>(i));
        EXPECT_EQ(textAt(0, own[i].slot), QString::fromUtf8(own[i].utf8)) << own[i].slot;
        EXPECT_FALSE(textAt(1, own[i].slot).isEmpty()) << own[i].slot;
    }
    for (int row = 0; row < kUiTextRows; ++row) {
        for (int slot = kUiTextEnd; slot < kUiTextSlots; ++slot)
            EXPECT_TRUE(textAt(row, slot).isEmpty()) << "row " << row << " slot " << slot;
    }
    // Outside the table there is nothing, and nothing breaks.
    EXPECT_TRUE(textAt(2, 0).isEmpty());
    EXPECT_TRUE(textAt(-1, 0).isEmpty());
    EXPECT_TRUE(textAt(0, kUiTextSlots).isEmpty());
    EXPECT_TRUE(text(-1).isEmpty());
    EXPECT_TRUE(text(kUiTextSlots).isEmpty());
    EXPECT_TRUE(text(kUiTextEnd).isEmpty());
    EXPECT_EQ(TXT_CLOSE, 0);
    EXPECT_EQ(TXT_FONT_FACE, 112);
    EXPECT_EQ(TXT_CSV_DATA_SIZE, 177);
}

TEST(UiText, SpecialCharactersByCodePoint)
{
    for (int row = 0; row < 1; ++row) {
        // Slot 105: one CR LF pair between the two sentences, no other line break.
        const QString update = textAt(row, TXT_UPDATE_AVAILABLE);
        const qsizetype cr = update.indexOf(QChar(0x0D));
        ASSERT_GT(cr, 0);
        EXPECT_EQ(update[cr + 1].unicode(), 0x0A);
        EXPECT_EQ(update.count(QChar(0x0D)), 1);
        EXPECT_EQ(update.count(QChar(0x0A)), 1);
        EXPECT_EQ(update[cr - 1].unicode(), 0x3002);  // 。 ends the first sentence

        // Slot 173: two LF after the first sentence, one before the last line, no CR.
        const QString zoom = textAt(row, TXT_MSG_ZOOM_MODE);
        EXPECT_EQ(zoom.count(QChar(0x0A)), 3);
        EXPECT_EQ(zoom.count(QChar(0x0D)), 0);
        EXPECT_EQ(zoom.split(QChar(0x0A)).size(), 4);
        EXPECT_TRUE(zoom.split(QChar(0x0A))[1].isEmpty());

        // Slots 65 to 67: an ideographic space after "ドライブサポート".
        for (int slot : {TXT_DS_SUDDEN_ACCEL, TXT_DS_SUDDEN_BRAKE, TXT_DS_SUDDEN_STEER}) {
            const QString s = textAt(row, slot);
            EXPECT_EQ(s.count(QChar(0x3000)), 1) << slot;
            EXPECT_EQ(s.indexOf(QChar(0x3000)), 8) << slot;
            EXPECT_EQ(s.count(QChar(0x20)), 0) << slot;
        }
        // Slot 5: the degree sign U+00B0 after an ASCII space.
        const QString rotate = textAt(row, TXT_ROTATE_180);
        EXPECT_EQ(rotate.size(), 7);
        EXPECT_EQ(rotate[2].unicode(), 0x20);
        EXPECT_EQ(rotate[6].unicode(), 0x00B0);

        // Full-width forms where the table has them.
        EXPECT_EQ(textAt(row, TXT_SAVE_JOINED)[4].unicode(), 0xFF08);
        EXPECT_EQ(textAt(row, TXT_IMPACT_MANUAL)[2].unicode(), 0xFF0B);
        EXPECT_EQ(textAt(row, TXT_CURRENT_VERSION).back().unicode(), 0xFF1A);
        EXPECT_EQ(textAt(row, TXT_FONT_FACE),
                  QString::fromUtf16(u"\u30E1\u30A4\u30EA\u30AA"));
    }
    // The only line breaks of the table are those two slots.
    for (int slot = 0; slot < kUiTextFilled; ++slot) {
        if (slot == TXT_UPDATE_AVAILABLE || slot == TXT_MSG_ZOOM_MODE)
            continue;
        EXPECT_FALSE(textAt(0, slot).contains(QChar(0x0A)) || textAt(0, slot).contains(QChar(0x0D)))
            << slot;
    }
}

TEST(UiText, SharedWordsAreSeparateEntries)
{
    const int groups[][3] = {{TXT_SAVE_JOINED, TXT_SAVE_JOINED_2, -1},
                             {TXT_DELETE, TXT_DELETE_2, -1},
                             {TXT_IMPACT, TXT_IMPACT_2, TXT_IMPACT_3},
                             {TXT_SETTINGS, TXT_SETTINGS_2, TXT_SETTINGS_3},
                             {TXT_RADAR, TXT_RADAR_2, TXT_RADAR_3},
                             {TXT_CLOSE, TXT_CLOSE_2, -1}};
    for (const auto& group : groups) {
        EXPECT_EQ(text(group[0]), text(group[1]));
        EXPECT_NE(&text(group[0]), &text(group[1])) << group[0];
        if (group[2] >= 0) {
            EXPECT_NE(&text(group[1]), &text(group[2]));
        }
        // Separate entries hold separate strings, not one string shared by two slots.
        EXPECT_NE(text(group[0]).constData(), text(group[1]).constData()) << group[0];
        if (group[2] >= 0) {
            EXPECT_NE(text(group[1]).constData(), text(group[2]).constData()) << group[1];
        }
    }
    // Words that appear in several slots: the table has them as many times as it names them.
    int impact = 0;
    for (int slot = 0; slot < kUiTextFilled; ++slot)
        impact += textAt(0, slot) == textAt(0, TXT_IMPACT) ? 1 : 0;
    EXPECT_EQ(impact, 3);
}

bool hasJapanese(const QString& s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// What a text must keep in every language: printf and Qt argument markers, line breaks, and the
// trailing comma of a CSV heading.
QStringList markersOf(const QString& s)
{
    QStringList markers;
    static const QRegularExpression marker(QStringLiteral("%[0-9a-zA-Z]|\\r\\n|\\n"));
    for (auto it = marker.globalMatch(s); it.hasNext();)
        markers << it.next().captured();
    if (s.endsWith(u','))
        markers << QStringLiteral("trailing comma");
    return markers;
}

TEST(UiText, EnglishRowKeepsTheMarkersAndIsEnglish)
{
    // Slots that read the same in both rows on purpose: a language offered under its own name.
    const QSet<int> keptAsIs = {TXT_LANGUAGE_JAPANESE};
    int english = 0;
    for (int slot = 0; slot < kUiTextEnd; ++slot) {
        const QString ja = textAt(0, slot);
        const QString en = textAt(1, slot);
        ASSERT_FALSE(en.isEmpty()) << slot;
        EXPECT_EQ(markersOf(en), markersOf(ja)) << "slot " << slot << ": " << en.toStdString();
        EXPECT_EQ(en.trimmed(), en) << slot;
        if (keptAsIs.contains(slot)) {
            EXPECT_EQ(en, ja) << slot;
            continue;
        }
        EXPECT_FALSE(hasJapanese(en)) << "slot " << slot << ": " << en.toStdString();
        english += en != ja ? 1 : 0;
    }
    // Everything but a few words that are the same in both (CSV, ID, units) is translated.
    EXPECT_GT(english, kUiTextEnd - 8);
    EXPECT_EQ(textAt(1, TXT_CSV_DATE), QStringLiteral("Date,"));
    EXPECT_EQ(textAt(1, TXT_CSV_SUB_DATA_SIZE).back(), u'e');  // the last heading has no comma
    EXPECT_EQ(textAt(1, TXT_COUNT_FMT), QStringLiteral("%d items"));
    EXPECT_EQ(textAt(1, TXT_COUNT_ONE_FMT), QStringLiteral("%d item"));
    EXPECT_EQ(textAt(1, TXT_EXIT), QStringLiteral("Finished"));  // the caption of "Completed."
    EXPECT_EQ(textAt(1, TXT_UPDATE_AVAILABLE).count(QStringLiteral("\r\n")), 1);
    EXPECT_EQ(textAt(1, TXT_MSG_ZOOM_MODE).split(u'\n').size(), 4);
    EXPECT_TRUE(textAt(1, TXT_MSG_ZOOM_MODE).split(u'\n')[1].isEmpty());
    // The Japanese face stays in row 0; row 1 names the generic family.
    EXPECT_EQ(textAt(0, TXT_FONT_FACE), QString::fromUtf16(u"\u30E1\u30A4\u30EA\u30AA"));
    EXPECT_EQ(textAt(1, TXT_FONT_FACE), QStringLiteral("Sans Serif"));
    // Slots that share words stay separate entries in English too.
    EXPECT_EQ(textAt(1, TXT_IMPACT), textAt(1, TXT_IMPACT_3));
    EXPECT_EQ(textAt(1, TXT_EVIDENCE), QStringLiteral("Export evidence"));
}

TEST(UiText, RowChoiceFollowsTheLocaleAndTheSetting)
{
    EXPECT_EQ(languageSettingOf(QStringLiteral("ja")), LanguageSetting::Japanese);
    EXPECT_EQ(languageSettingOf(QStringLiteral(" EN ")), LanguageSetting::English);
    for (const char* other : {"", "auto", "AUTO", "jp", "english", "de"})
        EXPECT_EQ(languageSettingOf(QString::fromLatin1(other)), LanguageSetting::Auto) << other;
    for (LanguageSetting s : {LanguageSetting::Auto, LanguageSetting::Japanese, LanguageSetting::English})
        EXPECT_EQ(languageSettingOf(languageSettingValue(s)), s);

    struct Case {
        const char* locale;
        const char* setting;
        int row;
    };
    const Case cases[] = {
        {"ja_JP.UTF-8", "", 0},     {"ja_JP.UTF-8", "auto", 0}, {"ja_JP.UTF-8", "en", 1},
        {"ja_JP.UTF-8", "ja", 0},   {"en_US.UTF-8", "", 1},     {"en_US.UTF-8", "ja", 0},
        {"en_GB", "auto", 1},       {"de_DE.UTF-8", "", 1},     {"C", "", 1},
        {"C", "ja", 0},             {"POSIX", "en", 1},         {"ja", "bogus", 0},
        {"jv_ID", "", 1},
    };
    EXPECT_EQ(uiTextRow(), 0);
    for (const Case& c : cases) {
        const MessageLanguage language = chooseLanguage(
            languageSettingOf(QString::fromLatin1(c.setting)), messageLanguageOfLocaleName(c.locale));
        EXPECT_EQ(chooseUiTextRow(language), c.row) << c.locale << " / " << c.setting;
        EXPECT_EQ(uiTextRow(), c.row);
        EXPECT_EQ(text(TXT_PLAY), textAt(c.row, TXT_PLAY)) << c.locale << " / " << c.setting;
    }
    chooseUiTextRow(MessageLanguage::English);
    EXPECT_EQ(text(TXT_PLAY), QStringLiteral("Play"));
    EXPECT_EQ(text(TXT_CSV_FILE_NAME), QStringLiteral("File name,"));
    chooseUiTextRow(MessageLanguage::Japanese);
    EXPECT_EQ(text(TXT_PLAY), QString::fromUtf8("再生"));

    EXPECT_TRUE(isUsEnglish(QLocale(QStringLiteral("en_US"))));
    EXPECT_FALSE(isUsEnglish(QLocale(QStringLiteral("en_GB"))));
    EXPECT_FALSE(isUsEnglish(QLocale(QStringLiteral("ja_JP"))));
    EXPECT_FALSE(isUsEnglish(QLocale(QStringLiteral("es_US"))));
    // The names screen readers read are English in row 1.
    EXPECT_EQ(textAt(1, TXT_ACC_VOLUME), QStringLiteral("Volume"));
    EXPECT_EQ(textAt(1, TXT_ACC_FRAME_FMT), QStringLiteral("%1, frame %2 of %3"));
}

// The messages of the command line: English unless the locale is Japanese; captions, CSV
// headings and the table's rows stay as they are.
TEST(UiText, MessagesInTheLanguageOfTheLocale)
{
    for (const char* name : {"ja", "ja_JP", "ja_JP.UTF-8", "ja_JP.eucJP", "ja@x"})
        EXPECT_EQ(messageLanguageOfLocaleName(name), MessageLanguage::Japanese) << name;
    for (const char* name : {"", "C", "POSIX", "C.UTF-8", "en_US.UTF-8", "de_DE", "jv_ID", "jam"})
        EXPECT_EQ(messageLanguageOfLocaleName(name), MessageLanguage::English) << name;

    const char* variables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<QByteArray> saved;
    std::vector<bool> wasSet;
    for (const char* v : variables) {
        wasSet.push_back(qEnvironmentVariableIsSet(v));
        saved.push_back(qgetenv(v));
        qunsetenv(v);
    }
    EXPECT_EQ(messageLanguageOfEnvironment(), MessageLanguage::English);  // no locale: C
    qputenv("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(messageLanguageOfEnvironment(), MessageLanguage::Japanese);
    qputenv("LC_MESSAGES", "C");
    EXPECT_EQ(messageLanguageOfEnvironment(), MessageLanguage::English);
    qputenv("LC_ALL", "ja_JP");
    EXPECT_EQ(messageLanguageOfEnvironment(), MessageLanguage::Japanese);
    qputenv("LC_ALL", "");  // empty counts as not set
    EXPECT_EQ(messageLanguageOfEnvironment(), MessageLanguage::English);
    for (size_t i = 0; i < std::size(variables); ++i) {
        if (wasSet[i])
            qputenv(variables[i], saved[i]);
        else
            qunsetenv(variables[i]);
    }

    const int messages[] = {TXT_MSG_SAME_NAME_EXISTS,   TXT_MSG_VIDEO_SAVE_FAILED,
                            TXT_MSG_JOIN_FAILED,        TXT_MSG_CSV_CREATE_FAILED,
                            TXT_MSG_DELETE_FAILED,      TXT_MSG_FOLDER_PATH_FAILED,
                            TXT_MSG_OPEN_FAILED,        TXT_MSG_TOO_SHORT,
                            TXT_MSG_IMAGE_SAVE_FAILED,  TXT_MSG_NO_VIDEO,
                            TXT_MSG_SELECT_BACKUP_FOLDER, TXT_MSG_SELECT_OUTPUT_FOLDER,
                            TXT_MSG_SELECT_VIDEO_FOLDER, TXT_MSG_OVER_1500,
                            TXT_MSG_INSTALL_CODEC,      TXT_MSG_SIZE_OVER,
                            TXT_MSG_REDUCE_FILES};
    EXPECT_EQ(messageLanguage(), MessageLanguage::Japanese);  // until a program sets it
    setMessageLanguage(MessageLanguage::English);
    QSet<QString> seen;
    for (int slot : messages) {
        const QString english = text(slot);
        EXPECT_EQ(english, englishMessage(slot)) << slot;
        EXPECT_FALSE(english.isEmpty()) << slot;
        EXPECT_TRUE(english.endsWith(u'.') || english.endsWith(u'?')) << slot;
        for (QChar c : english)
            EXPECT_LT(c.unicode(), 0x80) << slot;
        seen.insert(english);
        EXPECT_EQ(textAt(0, slot), QString::fromUtf8(kExpected[slot].utf8)) << slot;
    }
    EXPECT_EQ(seen.size(), static_cast<qsizetype>(std::size(messages)));
    EXPECT_EQ(text(TXT_MSG_DELETE_FAILED), QStringLiteral("Deleting the video file failed."));
    // Everything that is not a message keeps the table's text.
    int english = 0;
    for (int slot = 0; slot < kUiTextFilled; ++slot) {
        if (englishMessage(slot).isEmpty())
            EXPECT_EQ(text(slot), QString::fromUtf8(kExpected[slot].utf8)) << slot;
        else
            ++english;
    }
    EXPECT_EQ(english, static_cast<int>(std::size(messages)));
    EXPECT_TRUE(englishMessage(-1).isEmpty());
    EXPECT_TRUE(englishMessage(kUiTextSlots).isEmpty());
    setMessageLanguage(MessageLanguage::Japanese);
    EXPECT_EQ(text(TXT_MSG_DELETE_FAILED), QString::fromUtf8(kExpected[TXT_MSG_DELETE_FAILED].utf8));
}

TEST(UiText, FontFamiliesStartWithTheTableFace)
{
    const QStringList families = uiFontFamilies();
    ASSERT_EQ(families.size(), 3);
    EXPECT_EQ(families[0], text(TXT_FONT_FACE));
    EXPECT_EQ(families[1], QStringLiteral("Noto Sans CJK JP"));
    EXPECT_EQ(uiFontFamilyFallbacks().split(u',').size(), 3);
    EXPECT_TRUE(uiFontFamilyFallbacks().startsWith(text(TXT_FONT_FACE) + u','));
}

}  // namespace
}  // namespace ravir
