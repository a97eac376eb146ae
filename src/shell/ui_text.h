#pragma once
// The UI text table: every caption, label, tooltip, message and CSV heading the program shows.
// Two rows of 260 slots; slots 0 to 177 hold the texts of the recorder's viewer, slots from 178
// on the texts of this program's own additions (kUiTextOwnCount of them), the rest are empty.
// Row 0 holds the Japanese texts, row 1 the same slots in English. The row is chosen once at
// start-up from the locale and the configuration's [DISPLAY] LANGUAGE; `text()` reads the
// current row.
#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace ravir {

inline constexpr int kUiTextRows = 2;
inline constexpr int kUiTextSlots = 260;   // slots per row; a slot is row * 260 + index
inline constexpr int kUiTextFilled = 178;  // slots 0 to 177 hold the viewer's texts
inline constexpr int kUiTextOwnCount = 33;  // slots 178 on: this program's own texts
inline constexpr int kUiTextEnd = kUiTextFilled + kUiTextOwnCount;  // first empty slot

enum TextId : int {
    TXT_CLOSE = 0,                    // Close
    TXT_SAVE_JOINED = 1,              // Save video (joined)
    TXT_CSV = 2,                      // CSV
    TXT_DELETE = 3,                   // Delete
    TXT_FAST_FORWARD = 4,             // Fast forward
    TXT_ROTATE_180 = 5,               // Rotate 180 degrees
    TXT_FRAME_STEP = 6,               // Frame advance
    TXT_SIZE_LARGE = 7,               // Large
    TXT_SIZE_MEDIUM = 8,              // Medium
    TXT_NEXT = 9,                     // Next
    TXT_BROWSE = 10,                  // Browse
    TXT_PAUSE = 11,                   // Pause
    TXT_PLAY = 12,                    // Play
    TXT_PREVIOUS = 13,                // Previous
    TXT_VIDEO_REPAIR = 14,            // Video repair
    TXT_SAVE_KANA = 15,               // Save
    TXT_SETTINGS = 16,                // Settings
    TXT_SLOW = 17,                    // Slow
    TXT_SIZE_SMALL = 18,              // Small
    TXT_STILL_IMAGE = 19,             // Still image
    TXT_FIRST = 20,                   // To the beginning
    TXT_ZOOM = 21,                    // Enlarge
    TXT_EMERGENCY = 22,               // Emergency
    TXT_FILE_NO = 23,                 // File No.
    TXT_IMPACT = 24,                  // Impact
    TXT_IMPACT_MANUAL = 25,           // Impact + manual
    TXT_MANUAL = 26,                  // Manual
    TXT_TRIGGER = 27,                 // Recording trigger
    TXT_DATA_SIZE = 28,               // Data size
    TXT_CSV_DATE = 29,                // Date, (CSV heading)
    TXT_CSV_FILE_NAME = 30,           // File name, (CSV heading)
    TXT_CSV_FILE_NO = 31,             // File No., (CSV heading)
    TXT_CSV_FRAME_RATE = 32,          // Frame rate, (CSV heading)
    TXT_COUNT_FMT = 33,               // %d items (count format)
    TXT_CSV_QUALITY = 34,             // Image quality, (CSV heading)
    TXT_CSV_REC_SIZE = 35,            // Recording size, (CSV heading)
    TXT_CSV_REC_TIME = 36,            // Recording time, (CSV heading)
    TXT_CSV_START_TIME = 37,          // Start time, (CSV heading)
    TXT_CSV_TRIGGER = 38,             // Recording trigger, (CSV heading)
    TXT_BACKUP = 39,                  // Backup
    TXT_SAVE_JOINED_2 = 40,           // Save video (joined), second slot
    TXT_NEXT_STEP = 41,               // Next (step)
    TXT_DATE = 42,                    // Date
    TXT_DELETE_2 = 43,                // Delete, second slot
    TXT_DONE = 44,                    // Completed.
    TXT_EXIT = 45,                    // End (finished)
    TXT_FILE_NAME = 46,               // File name
    TXT_FILE_SIZE = 47,               // File size
    TXT_ID = 48,                      // ID
    TXT_SAVE = 49,                    // Save
    TXT_SELECT_ALL = 50,              // Select all
    TXT_SELECT_ALL_SHOWN = 51,        // Select everything shown
    TXT_SHOW_ALL_FILES = 52,          // Show all files
    TXT_END_TIME = 53,                // End time
    TXT_START_TIME = 54,              // Start time
    TXT_HIGH_QUALITY = 55,            // High quality
    TXT_LOW_QUALITY = 56,             // Low quality
    TXT_SPEED_1_0 = 57,               // Playback speed x1.0
    TXT_SPEED_2_0 = 58,               // Playback speed x2.0
    TXT_SPEED_4_0 = 59,               // Playback speed x4.0
    TXT_SPEED_0_5 = 60,               // Playback speed x0.5
    TXT_SPEED_0_25 = 61,              // Playback speed x0.25
    TXT_AXIS_X = 62,                  // Front-back (X axis)
    TXT_AXIS_Y = 63,                  // Left-right (Y axis)
    TXT_AXIS_Z = 64,                  // Up-down (Z axis)
    TXT_DS_SUDDEN_ACCEL = 65,         // Drive support: sudden acceleration
    TXT_DS_SUDDEN_BRAKE = 66,         // Drive support: sudden braking
    TXT_DS_SUDDEN_STEER = 67,         // Drive support: sudden steering
    TXT_POSITION = 68,                // Position
    TXT_SUDDEN_ACCEL = 69,            // Sudden acceleration
    TXT_SUDDEN_BRAKE = 70,            // Sudden braking
    TXT_SUDDEN_DESCENT = 71,          // Sudden descent
    TXT_SUDDEN_STEER = 72,            // Sudden steering
    TXT_SUDDEN_RISE = 73,             // Sudden rise
    TXT_MANUAL_RECORDING = 74,        // Manual recording
    TXT_EMERGENCY_REC_STOP = 75,      // Emergency recording stop
    TXT_PARKING_MONITOR = 76,         // Parking monitoring
    TXT_OVER_SPEED = 77,              // Over speed
    TXT_CLOSE_2 = 78,                 // Close, second slot
    TXT_FAST_FORWARD_2 = 79,          // Fast forward, second slot
    TXT_FRAME_STEP_2 = 80,            // Frame advance, second slot
    TXT_BROWSE_2 = 81,                // Browse, second slot
    TXT_PAUSE_2 = 82,                 // Pause, second slot
    TXT_PLAY_2 = 83,                  // Play, second slot
    TXT_SETTINGS_2 = 84,              // Settings, second slot
    TXT_SLOW_2 = 85,                  // Slow, second slot
    TXT_STILL_IMAGE_2 = 86,           // Still image, second slot
    TXT_STOP = 87,                    // Stop
    TXT_FULLSCREEN_KEEP_ASPECT = 88,  // Full screen (keep aspect ratio)
    TXT_FULLSCREEN_STRETCH = 89,      // Full screen (stretch)
    TXT_MSG_SAME_NAME_EXISTS = 90,    // A file with the same name exists. Continue?
    TXT_MSG_VIDEO_SAVE_FAILED = 91,   // Saving the video file failed.
    TXT_MSG_JOIN_FAILED = 92,         // Joining the videos failed.
    TXT_MSG_CSV_CREATE_FAILED = 93,   // The CSV file cannot be created.
    TXT_MSG_DELETE_FAILED = 94,       // Deleting the video file failed.
    TXT_MSG_FOLDER_PATH_FAILED = 95,  // Getting the folder path failed.
    TXT_MSG_OPEN_FAILED = 96,         // Opening the video failed.
    TXT_MSG_TOO_SHORT = 97,           // The recording is too short to be played.
    TXT_MSG_IMAGE_SAVE_FAILED = 98,   // Saving the image failed.
    TXT_MSG_NO_VIDEO = 99,            // There is no video file.
    TXT_MSG_SELECT_BACKUP_FOLDER = 100,// Please choose the backup folder.
    TXT_MSG_SELECT_OUTPUT_FOLDER = 101,// Please choose the output folder.
    TXT_MSG_SELECT_VIDEO_FOLDER = 102,// Please choose the video folder.
    TXT_MSG_OVER_1500 = 103,          // More than 1500 to show; 1500 items are shown.
    TXT_CONFIRM = 104,                // Confirmation
    TXT_UPDATE_AVAILABLE = 105,       // A newer version of the software is available; click the URL below to download it.
    TXT_UPDATE_INFO = 106,            // Update information
    TXT_CURRENT_VERSION = 107,        // Current version:
    TXT_RECORDER_UNIT = 108,          // Drive recorder unit
    TXT_UPDATE_VERSION = 109,         // Update version:
    TXT_VIEWER_SOFTWARE = 110,        // Viewer software
    TXT_GPS_DATA_INFO = 111,          // GPS data information
    TXT_FONT_FACE = 112,              // UI font face name
    TXT_MSG_INSTALL_CODEC = 113,      // Please install a codec and splitter.
    TXT_APPLY = 114,                  // Apply
    TXT_DRIVE_SUPPORT = 115,          // Drive support
    TXT_SD_FORMAT = 116,              // Initialise the SD card
    TXT_PASSWORD_SETTING = 117,       // Password setting
    TXT_NEW_PASSWORD_CONFIRM = 118,   // Confirm new password:
    TXT_CURRENT_PASSWORD = 119,       // Current password:
    TXT_NEW_PASSWORD = 120,           // New password:
    TXT_SD_SETTINGS = 121,            // SD card settings
    TXT_DRIVE_SELECT = 122,           // Drive selection:
    TXT_SETTINGS_3 = 123,             // Settings, third slot
    TXT_EMERGENCY_REC_STOP_2 = 124,   // Emergency recording stop, second slot
    TXT_PARKING_MONITOR_IMPACT = 125, // Parking-monitoring impact
    TXT_FIRMWARE_UPDATE = 126,        // Firmware update
    TXT_VERSION_INFO = 127,           // Version information
    TXT_GRAPH_ICON_SETTINGS = 128,    // Acceleration graph / map icon display settings
    TXT_OVER_SPEED_2 = 129,           // Over speed, second slot
    TXT_FILE = 130,                   // File
    TXT_FOLDER = 131,                 // Folder
    TXT_SOURCE = 132,                 // Source to read from
    TXT_SD_CARD = 133,                // SD card
    TXT_RUNNING = 134,                // Running...
    TXT_PLEASE_WAIT = 135,            // Please wait...
    TXT_MINIMIZE = 136,               // Minimise
    TXT_BACK_TO_MAP = 137,            // Back to the map
    TXT_MSG_SIZE_OVER = 138,          // The size is over the limit.
    TXT_VEHICLE_INFO = 139,           // Vehicle information
    TXT_MSG_REDUCE_FILES = 140,       // Please reduce the number of files.
    TXT_SPEED_CAMERA = 141,           // Automatic speed camera
    TXT_RADAR = 142,                  // Radar
    TXT_AUTO_SPEED_ENFORCER = 143,    // Automatic speed enforcement unit
    TXT_RADAR_ALARM = 144,            // Radar-wave alarm
    TXT_MAIN_CAMERA = 145,            // Main camera
    TXT_SUB_CAMERA = 146,             // Sub camera
    TXT_SWITCH_DISPLAY = 147,         // Switch display
    TXT_CSV_MAIN_DATA_SIZE = 148,     // Main camera data size, (CSV heading)
    TXT_CSV_SUB_DATA_SIZE = 149,      // Sub camera data size (CSV heading)
    TXT_SWITCH_MAP = 150,             // Switch map display
    TXT_MAP = 151,                    // Map
    TXT_KIND_CONTINUOUS = 152,        // Continuous
    TXT_SPEED_ENFORCER = 153,         // Speed enforcement unit
    TXT_RADAR_2 = 154,                // Radar, second slot
    TXT_MANUAL_2 = 155,               // Manual, second slot
    TXT_IMPACT_2 = 156,               // Impact, second slot
    TXT_PARKING = 157,                // Parking
    TXT_PARKING_IMPACT = 158,         // Parking impact
    TXT_TIMELAPSE = 159,              // Time-lapse
    TXT_KIND_CONTINUOUS_2 = 160,      // Continuous, second slot
    TXT_SPEED_CAMERA_2 = 161,         // Automatic speed camera, second slot
    TXT_RADAR_3 = 162,                // Radar, third slot
    TXT_MANUAL_3 = 163,               // Manual, third slot
    TXT_IMPACT_3 = 164,               // Impact, third slot
    TXT_CONTINUOUS_TIMELAPSE = 165,   // Continuous time-lapse
    TXT_PARKING_2 = 166,              // Parking, second slot
    TXT_PARKING_IMPACT_2 = 167,       // Parking impact, second slot
    TXT_PARKING_TIMELAPSE = 168,      // Parking time-lapse
    TXT_ZOOM_IN = 169,                // Enlarge (zoom in)
    TXT_ZOOM_OUT = 170,               // Reduce (zoom out)
    TXT_THUMBNAILS_SHOW = 171,        // Show file thumbnails
    TXT_THUMBNAILS_HIDE = 172,        // Hide file thumbnails
    TXT_MSG_ZOOM_MODE = 173,          // Zoom mode: click the place to enlarge
    TXT_RTC_RESET = 174,              // RTC reset
    TXT_PRESENT = 175,                // Present
    TXT_ABSENT = 176,                 // None
    TXT_CSV_DATA_SIZE = 177,          // Data size, (CSV heading)
    // This program's own texts, for what it adds to the viewer.
    TXT_REPORT = 178,                 // Accident report (video context menu)
    TXT_MSG_SOURCE_GONE = 179,        // The card or folder being viewed is no longer there
    TXT_MSG_DELETE_COUNTS = 180,      // Deleted: %1, not deleted: %2 (a deletion that ended early)
    TXT_MSG_CLOSE_WHILE_SAVING = 181, // A file is being saved: stop and close? (closing the window)
    TXT_CANCEL = 182,                 // Cancel (dialog button)
    TXT_LANGUAGE_UNITS = 183,         // Language and units (settings group)
    TXT_LANGUAGE = 184,               // Language:
    TXT_LANGUAGE_AUTO = 185,          // Automatic (the locale's language)
    TXT_LANGUAGE_JAPANESE = 186,      // Japanese, in its own name in both rows
    TXT_LANGUAGE_ENGLISH = 187,       // English, in its own name in both rows
    TXT_SPEED_UNIT = 188,             // Speed unit:
    TXT_UNIT_KMH = 189,               // km/h
    TXT_UNIT_MPH = 190,               // mph
    TXT_MSG_LANGUAGE_NEXT_START = 191,// A new language takes effect at the next start
    // Names and descriptions that screen readers read (accessible names of the controls).
    TXT_ACC_MAIN_WITH_SUB = 192,      // Main camera with the sub camera inset (the video surface)
    TXT_ACC_FRAME_FMT = 193,          // %1, frame %2 of %3 (the video surface: its view and frame)
    TXT_ACC_POSITION = 194,           // Playback position (the position slider)
    TXT_ACC_VOLUME = 195,             // Volume (the volume slider)
    TXT_ACC_GRAPH = 196,              // Acceleration graph
    TXT_ACC_KEY_FMT = 197,            // Key: %1 (a button's key, in its description)
    TXT_ACC_SPEED_FMT = 198,          // Speed %1 %2 (the number and the unit on screen)
    TXT_ACC_NO_SPEED = 199,           // Speed unknown
    TXT_ACC_GPS_FIX = 200,            // GPS fix
    TXT_ACC_NO_GPS_FIX = 201,         // No GPS fix
    TXT_ACC_NO_VALUE = 202,           // no value (an acceleration without a sample)
    // The evidence export (key E, the video context menu) and its dialog.
    TXT_EVIDENCE = 203,               // Export evidence (menu item, dialog title)
    TXT_EVIDENCE_FROM = 204,          // From frame:
    TXT_EVIDENCE_TO = 205,            // To frame:
    TXT_EVIDENCE_FOLDER = 206,        // Output folder:
    TXT_MSG_EVIDENCE_DONE = 207,      // The evidence was written to: %1
    TXT_MSG_EVIDENCE_FAILED = 208,    // The evidence could not be written: %1 (the reason)
    TXT_MSG_EVIDENCE_FOLDER_EXISTS = 209, // %1 exists already: choose a new folder
    TXT_COUNT_ONE_FMT = 210,          // %d item (the count format for one)
    // Add new slots here, before this line, and raise kUiTextOwnCount.
};

// The text of slot `index` in the current row. Indices 0 to kUiTextEnd - 1 always give a
// non-empty text; any other index gives an empty string. The reference stays valid for the whole process.
const QString& text(int index);

// The text of one slot of one row (empty outside the table); for tests and tools.
QString textAt(int row, int index);

// The language of the texts: Japanese (row 0) or English (row 1).
enum class MessageLanguage { Japanese, English };

// [DISPLAY] LANGUAGE: "auto" (the locale decides), "ja" or "en"; any other value is "auto".
enum class LanguageSetting { Auto, Japanese, English };
LanguageSetting languageSettingOf(const QString& value);
QString languageSettingValue(LanguageSetting setting);  // "auto", "ja", "en"
// The language chosen: the setting when it names one, else the locale's.
MessageLanguage chooseLanguage(LanguageSetting setting, MessageLanguage ofLocale);

// Sets the row for the language, once at start-up on the UI thread before any window text is
// set: row 0 for Japanese, row 1 for English. Returns the current row.
int chooseUiTextRow(MessageLanguage language);

// The current row (0 before chooseUiTextRow ran).
int uiTextRow();

// The language of a locale name as the environment gives it ("ja_JP.UTF-8", "C", "en_US"):
// Japanese for a Japanese locale, English for any other (C, POSIX, en_US, de_DE, ...).
MessageLanguage messageLanguageOfLocaleName(const QByteArray& name);
// The locale name for messages: LC_ALL, else LC_MESSAGES, else LANG (the first set and not
// empty); "C" when none is set.
QByteArray messagesLocaleName();
// The language of that locale.
MessageLanguage messageLanguageOfEnvironment();

// The `ravir` command keeps row 0 (its CSV headings are those of the table's first row) and
// prints only its messages (the TXT_MSG_ slots) in the language chosen for it: with English
// set, text() gives row 1's text of each message slot and row 0's of every other slot.
// Sets the language of the messages for the whole process, once at start-up (Japanese until
// then).
void setMessageLanguage(MessageLanguage language);
MessageLanguage messageLanguage();
// The English form of a message slot; empty for a slot that is not a message.
QString englishMessage(int index);

// True for the locale that stands for language id 0x0409 (English, United States).
bool isUsEnglish(const QLocale& locale);

// The font families for UI text, best first: the face name of TXT_FONT_FACE in the current row
// (a Japanese face in row 0, the generic sans-serif family in row 1), then the installed
// Japanese fonts that stand in for it (fonts-noto-cjk), so that every text renders.
QStringList uiFontFamilies();
// The same list joined with ',' (the form a style sheet's font-family takes).
QString uiFontFamilyFallbacks();

}  // namespace ravir
