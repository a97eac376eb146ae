// The language and the unit of speeds at start-up: the configuration file's [DISPLAY] LANGUAGE
// and SPEED_UNIT over the locale, the unit's default for a locale, the conversion, and the keys
// read and written through the configuration helpers.
#include "shell/display_prefs.h"
#include "shell/ini_file.h"
#include "shell/ini_keys.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace ravir {
namespace {

// Sets the three locale variables for the life of the object.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
            qunsetenv(name);
        }
        if (lang)
            qputenv("LANG", lang);
    }
    ~LocaleEnvironment()
    {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }

private:
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST(DisplayPrefs, SpeedUnitOfTheSettingOrTheLocale)
{
    EXPECT_EQ(speedUnitSettingOf(QStringLiteral("kmh")), SpeedUnit::Kmh);
    EXPECT_EQ(speedUnitSettingOf(QStringLiteral(" MPH ")), SpeedUnit::Mph);
    for (const char* other : {"", "km/h", "mi", "auto", "0"})
        EXPECT_FALSE(speedUnitSettingOf(QString::fromLatin1(other)).has_value()) << other;
    for (SpeedUnit u : {SpeedUnit::Kmh, SpeedUnit::Mph})
        EXPECT_EQ(speedUnitSettingOf(speedUnitValue(u)), u);

    struct Case {
        const char* locale;
        const char* setting;
        SpeedUnit unit;
    };
    const Case cases[] = {
        {"en_US.UTF-8", "", SpeedUnit::Mph},  {"en_GB.UTF-8", "", SpeedUnit::Mph},
        {"en_GB@euro", "", SpeedUnit::Mph},   {"en_US", "kmh", SpeedUnit::Kmh},
        {"en_AU.UTF-8", "", SpeedUnit::Kmh},  {"en_IE", "", SpeedUnit::Kmh},
        {"es_US.UTF-8", "", SpeedUnit::Kmh},  {"ja_JP.UTF-8", "", SpeedUnit::Kmh},
        {"ja_JP.UTF-8", "mph", SpeedUnit::Mph}, {"C", "", SpeedUnit::Kmh},
        {"C.UTF-8", "bogus", SpeedUnit::Kmh}, {"", "", SpeedUnit::Kmh},
        {"en", "", SpeedUnit::Kmh},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseSpeedUnit(QString::fromLatin1(c.setting), c.locale), c.unit)
            << c.locale << " / " << c.setting;

    EXPECT_DOUBLE_EQ(speedInUnit(100.0, SpeedUnit::Kmh), 100.0);
    EXPECT_NEAR(speedInUnit(100.0, SpeedUnit::Mph), 62.137119, 1e-6);
    EXPECT_DOUBLE_EQ(speedInUnit(1.609344, SpeedUnit::Mph), 1.0);
    EXPECT_EQ(text(speedUnitTextId(SpeedUnit::Kmh)), QStringLiteral("km/h"));
    EXPECT_EQ(text(speedUnitTextId(SpeedUnit::Mph)), QStringLiteral("mph"));
}

// Start-up: the configuration file's keys over the locale, a missing file and odd values taken
// as "the locale decides"; the row and the unit are set, nothing is written.
TEST(DisplayPrefs, StartChoosesTheRowAndTheUnitFromFileAndLocale)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QString::fromLatin1(kConfigFileName));
    struct Case {
        const char* lang;      // LANG (LC_ALL and LC_MESSAGES unset); nullptr: none
        const char* content;   // the configuration file; nullptr: no file
        MessageLanguage language;
        SpeedUnit unit;
    };
    const Case cases[] = {
        {"ja_JP.UTF-8", nullptr, MessageLanguage::Japanese, SpeedUnit::Kmh},
        {"en_US.UTF-8", nullptr, MessageLanguage::English, SpeedUnit::Mph},
        {nullptr, nullptr, MessageLanguage::English, SpeedUnit::Kmh},
        {"ja_JP.UTF-8", "[DISPLAY]\nLANGUAGE=en\n", MessageLanguage::English, SpeedUnit::Kmh},
        {"en_US.UTF-8", "[display]\nlanguage = JA\n", MessageLanguage::Japanese, SpeedUnit::Mph},
        {"en_GB.UTF-8", "[DISPLAY]\nLANGUAGE=auto\nSPEED_UNIT=kmh\n", MessageLanguage::English,
         SpeedUnit::Kmh},
        {"de_DE.UTF-8", "[DISPLAY]\nLANGUAGE=fr\nSPEED_UNIT=mph\n", MessageLanguage::English,
         SpeedUnit::Mph},
        {"ja_JP.UTF-8", "[OTHER]\nLANGUAGE=en\n", MessageLanguage::Japanese, SpeedUnit::Kmh},
    };
    for (const Case& c : cases) {
        const LocaleEnvironment locale(c.lang);
        QFile::remove(file);
        if (c.content) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        const QByteArray before = c.content ? QByteArray(c.content) : QByteArray();
        const std::string where = std::string(c.lang ? c.lang : "-") + " / "
                                  + (c.content ? c.content : "no file");
        EXPECT_EQ(ConfiguredLanguage(file), c.language) << where;
        EXPECT_EQ(StartDisplayLanguage(file), c.language) << where;
        EXPECT_EQ(uiTextRow(), c.language == MessageLanguage::English ? 1 : 0) << where;
        EXPECT_EQ(speedUnit(), c.unit) << where;
        // Reading writes nothing.
        QFile f(file);
        EXPECT_EQ(f.exists(), c.content != nullptr);
        if (f.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(f.readAll(), before);
        }
    }
    chooseUiTextRow(MessageLanguage::Japanese);
    setSpeedUnit(SpeedUnit::Kmh);
}

TEST(DisplayPrefs, KeysWrittenAndReadBack)
{
    QTemporaryDir dir;
    const QString saved = startupFolder();
    setStartupFolder(dir.path());
    EXPECT_EQ(ReadLanguageSetting(), LanguageSetting::Auto);  // no file
    EXPECT_FALSE(ReadSpeedUnitSetting().has_value());
    ASSERT_TRUE(WriteLanguageSetting(LanguageSetting::English));
    ASSERT_TRUE(WriteSpeedUnitSetting(SpeedUnit::Mph));
    EXPECT_EQ(ReadValue(ini::kLanguage), QStringLiteral("en"));
    EXPECT_EQ(ReadValue(ini::kSpeedUnit), QStringLiteral("mph"));
    EXPECT_EQ(ReadLanguageSetting(), LanguageSetting::English);
    EXPECT_EQ(ReadSpeedUnitSetting(), SpeedUnit::Mph);
    ASSERT_TRUE(WriteLanguageSetting(LanguageSetting::Auto));
    EXPECT_EQ(ReadValue(ini::kLanguage), QStringLiteral("auto"));
    // The file the start reads is the one the helpers wrote.
    EXPECT_EQ(chooseSpeedUnit(IniFile(configFilePath()).read("DISPLAY", "SPEED_UNIT"), "C"),
              SpeedUnit::Mph);
    setStartupFolder(saved);
}

}  // namespace
}  // namespace ravir
