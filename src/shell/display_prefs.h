#pragma once
// The language of the texts and the unit of speeds on screen: chosen once at start-up from the
// locale, unless the configuration file's [DISPLAY] LANGUAGE and SPEED_UNIT say otherwise. The
// settings dialog writes both keys; a new language takes effect at the next start, a new unit
// at once. Stored files (the recording list CSV, the report) keep km/h whatever is chosen.
#include "shell/ui_text.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace ravir {

enum class SpeedUnit { Kmh, Mph };

// [DISPLAY] SPEED_UNIT: "kmh" or "mph" (letter case and spaces around ignored); none for any
// other value, missing included.
std::optional<SpeedUnit> speedUnitSettingOf(const QString& value);
QString speedUnitValue(SpeedUnit unit);  // "kmh", "mph"
// The unit of a locale name as the environment gives it ("en_US.UTF-8"): mph for English in
// the United States or the United Kingdom, km/h for any other.
SpeedUnit defaultSpeedUnitFor(const QByteArray& localeName);
// The stored setting when it names a unit, else the locale's default.
SpeedUnit chooseSpeedUnit(const QString& value, const QByteArray& localeName);

// A speed of the telemetry (km/h) in the unit.
double speedInUnit(double kmh, SpeedUnit unit);
// The text slot of the unit's name (TXT_UNIT_KMH, TXT_UNIT_MPH).
int speedUnitTextId(SpeedUnit unit);

// The unit of speeds on screen for the whole process (km/h until set). Read and written on the
// UI thread.
SpeedUnit speedUnit();
void setSpeedUnit(SpeedUnit unit);

// The two keys through the configuration helpers (the start-up folder's file).
LanguageSetting ReadLanguageSetting();
bool WriteLanguageSetting(LanguageSetting setting);
std::optional<SpeedUnit> ReadSpeedUnitSetting();
bool WriteSpeedUnitSetting(SpeedUnit unit);

// The start of a program: reads LANGUAGE and SPEED_UNIT from the configuration file at
// `configFile` (missing or unreadable reads as empty), decides with the environment's locale
// for messages (LC_ALL, LC_MESSAGES, LANG), chooses the text row and sets the unit. Returns
// the language chosen.
MessageLanguage StartDisplayLanguage(const QString& configFile);

// Qt's own texts (the folder and file choosers, standard buttons) in the same language: for
// Japanese, Qt's Japanese translation (qtbase_ja from Qt's translations folder) is installed on
// the application, once; for English nothing is needed. False when it is missing (Qt's texts
// then stay English).
bool InstallQtTranslation(MessageLanguage language);

// The language the configuration file at `configFile` and the environment's locale choose,
// without changing anything (the `ravir` command's messages).
MessageLanguage ConfiguredLanguage(const QString& configFile);

}  // namespace ravir
