#include "shell/display_prefs.h"

#include "shell/ini_file.h"
#include "shell/ini_keys.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ravir {
namespace {

SpeedUnit g_speedUnit = SpeedUnit::Kmh;

constexpr double kKmPerMile = 1.609344;

QString readKey(const QString& configFile, const IniKey& key)
{
    if (configFile.isEmpty())
        return {};
    return IniFile(configFile).read(QString::fromLatin1(key.section), QString::fromLatin1(key.key));
}

}  // namespace

std::optional<SpeedUnit> speedUnitSettingOf(const QString& value)
{
    const QString v = value.trimmed().toLower();
    if (v == u"kmh")
        return SpeedUnit::Kmh;
    if (v == u"mph")
        return SpeedUnit::Mph;
    return std::nullopt;
}

QString speedUnitValue(SpeedUnit unit)
{
    return unit == SpeedUnit::Mph ? QStringLiteral("mph") : QStringLiteral("kmh");
}

SpeedUnit defaultSpeedUnitFor(const QByteArray& localeName)
{
    // "en_US", "en_GB.UTF-8", "en_US@euro": the language and the territory before the code set.
    QByteArray name = localeName;
    const qsizetype cut = name.indexOf('.') >= 0 ? name.indexOf('.') : name.indexOf('@');
    if (cut >= 0)
        name.truncate(cut);
    if (!name.startsWith("en_") && !name.startsWith("en-"))
        return SpeedUnit::Kmh;
    const QLocale locale(QString::fromLatin1(name));
    if (locale.language() != QLocale::English)
        return SpeedUnit::Kmh;
    return locale.territory() == QLocale::UnitedStates || locale.territory() == QLocale::UnitedKingdom
               ? SpeedUnit::Mph
               : SpeedUnit::Kmh;
}

SpeedUnit chooseSpeedUnit(const QString& value, const QByteArray& localeName)
{
    return speedUnitSettingOf(value).value_or(defaultSpeedUnitFor(localeName));
}

double speedInUnit(double kmh, SpeedUnit unit)
{
    return unit == SpeedUnit::Mph ? kmh / kKmPerMile : kmh;
}

int speedUnitTextId(SpeedUnit unit)
{
    return unit == SpeedUnit::Mph ? TXT_UNIT_MPH : TXT_UNIT_KMH;
}

SpeedUnit speedUnit() { return g_speedUnit; }
void setSpeedUnit(SpeedUnit unit) { g_speedUnit = unit; }

LanguageSetting ReadLanguageSetting() { return languageSettingOf(ReadValue(ini::kLanguage)); }

bool WriteLanguageSetting(LanguageSetting setting)
{
    return WriteValue(ini::kLanguage, languageSettingValue(setting));
}

std::optional<SpeedUnit> ReadSpeedUnitSetting()
{
    return speedUnitSettingOf(ReadValue(ini::kSpeedUnit));
}

bool WriteSpeedUnitSetting(SpeedUnit unit)
{
    return WriteValue(ini::kSpeedUnit, speedUnitValue(unit));
}

MessageLanguage ConfiguredLanguage(const QString& configFile)
{
    return chooseLanguage(languageSettingOf(readKey(configFile, ini::kLanguage)),
                          messageLanguageOfEnvironment());
}

MessageLanguage StartDisplayLanguage(const QString& configFile)
{
    const MessageLanguage language = ConfiguredLanguage(configFile);
    chooseUiTextRow(language);
    setSpeedUnit(chooseSpeedUnit(readKey(configFile, ini::kSpeedUnit), messagesLocaleName()));
    return language;
}

bool InstallQtTranslation(MessageLanguage language)
{
    static QTranslator* installed = nullptr;
    if (language != MessageLanguage::Japanese || QCoreApplication::instance() == nullptr)
        return false;
    if (installed)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

}  // namespace ravir
