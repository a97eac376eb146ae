// The window's language and unit of speeds at start: a Japanese locale starts in Japanese, any
// other in English, and [DISPLAY] LANGUAGE and SPEED_UNIT in the configuration file override the
// locale. Checked on what the window shows: the transport buttons' tooltips, the panel's speed
// unit and the settings dialog's buttons; and the settings dialog writes both keys. A program of
// its own (GoogleTest with its own main) on Qt's offscreen platform.
#include "window_card_test.h"
#include "windows/main/dedorade_dlg.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_slider.h"
#include "windows/main/recording_session.h"
#include "playback/player.h"
#include "sample_data.h"
#include "windows/settings/setting_dlg.h"
#include "shell/display_prefs.h"
#include "shell/ini_file.h"
#include "shell/ui_text.h"
#include "windows/views/info_dlg.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

// LANG for the life of the object, with LC_ALL and LC_MESSAGES unset.
class Locale {
public:
    explicit Locale(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
            qunsetenv(name);
        }
        qputenv("LANG", lang);
    }
    ~Locale()
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

class MainWindowLanguage : public test::WindowCardTest {
protected:
    void TearDown() override
    {
        WindowCardTest::TearDown();
        chooseUiTextRow(MessageLanguage::Japanese);
        setSpeedUnit(SpeedUnit::Kmh);
    }

    QString configFile() const { return config_.filePath(QString::fromLatin1(kConfigFileName)); }
    void writeConfig(const QByteArray& content)
    {
        QFile::remove(configFile());
        if (content.isEmpty())
            return;
        QFile f(configFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    std::unique_ptr<CdedoradeDlg> startWindow()
    {
        CdedoradeDlg::Options o;
        o.source = card_;
        auto w = std::make_unique<CdedoradeDlg>(o);
        w->show();
        EXPECT_TRUE(waitUntil([&] { return w->session()->telemetryReady(); }, 20000));
        return w;
    }

    // Whether a skinned button's tooltip is the text, alone or followed by its key ("Delete
    // (Del)").
    static bool hasTip(const QWidget* w, const QString& text)
    {
        for (const CSkinButton* b : w->findChildren<CSkinButton*>()) {
            const QString tip = b->toolTip();
            if (tip == text || tip.startsWith(text + QStringLiteral(" (")))
                return true;
        }
        return false;
    }

};

}  // namespace

TEST_F(MainWindowLanguage, LocaleAndConfigurationChooseTheWindowsLanguageAndUnit)
{
    struct Case {
        const char* lang;
        QByteArray config;
        bool english;
        const char* unit;
    };
    const Case cases[] = {
        {"ja_JP.UTF-8", "", false, "km/h"},
        {"en_US.UTF-8", "", true, "mph"},
        {"C.UTF-8", "", true, "km/h"},
        {"en_US.UTF-8", "[DISPLAY]\r\nLANGUAGE=ja\r\nSPEED_UNIT=kmh\r\n", false, "km/h"},
        {"ja_JP.UTF-8", "[DISPLAY]\r\nLANGUAGE=en\r\nSPEED_UNIT=mph\r\n", true, "mph"},
    };
    const QString stillJa = QString::fromUtf8("静止画");
    const QString deleteJa = QString::fromUtf8("削除");
    for (const Case& c : cases) {
        const Locale locale(c.lang);
        writeConfig(c.config);
        const std::string where = std::string(c.lang) + " / " + c.config.toStdString();
        auto w = startWindow();
        EXPECT_EQ(hasTip(w.get(), QStringLiteral("Still image")), c.english) << where;
        EXPECT_EQ(hasTip(w.get(), QStringLiteral("Delete")), c.english) << where;
        EXPECT_EQ(hasTip(w.get(), stillJa), !c.english) << where;
        EXPECT_EQ(hasTip(w.get(), deleteJa), !c.english) << where;
        EXPECT_EQ(w->infoView()->texts().speedUnit, QString::fromLatin1(c.unit)) << where;
        CSettingDlg* settings = w->settingsDialog();
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->cancelButton()->text(),
                  c.english ? QStringLiteral("Cancel") : QString::fromUtf8("キャンセル"))
            << where;
        EXPECT_EQ(settings->windowTitle(),
                  c.english ? QStringLiteral("Settings") : QString::fromUtf8("設定"))
            << where;
        w->Shutdown();
    }
}

// The settings dialog shows what the file holds, OK writes both keys (the unit takes effect on
// the panel at once), Cancel leaves the file as it is.
TEST_F(MainWindowLanguage, SettingsDialogWritesLanguageAndUnit)
{
    const Locale locale("ja_JP.UTF-8");
    writeConfig("[DISPLAY]\r\nLANGUAGE=auto\r\n");
    auto w = startWindow();
    CSettingDlg* settings = w->settingsDialog();
    ASSERT_NE(settings, nullptr);
    QComboBox* language = settings->languageBox();
    QComboBox* unit = settings->speedUnitBox();
    EXPECT_EQ(language->currentData().toString(), QStringLiteral("auto"));
    EXPECT_EQ(unit->currentData().toString(), QStringLiteral("kmh"));  // the locale's
    EXPECT_EQ(w->infoView()->texts().speedUnit, QString::fromUtf8("km/h"));

    settings->showCentredOn(w.get());
    language->setCurrentIndex(language->findData(QStringLiteral("en")));
    unit->setCurrentIndex(unit->findData(QStringLiteral("mph")));
    settings->cancelButton()->click();
    EXPECT_FALSE(settings->isVisible());
    IniFile file(configFile());
    EXPECT_EQ(file.read("DISPLAY", "LANGUAGE"), QStringLiteral("auto"));
    EXPECT_TRUE(file.read("DISPLAY", "SPEED_UNIT").isEmpty());
    EXPECT_EQ(language->currentData().toString(), QStringLiteral("auto"));  // back as stored

    settings->showCentredOn(w.get());
    language->setCurrentIndex(language->findData(QStringLiteral("en")));
    unit->setCurrentIndex(unit->findData(QStringLiteral("mph")));
    settings->okButton()->click();
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(file.read("DISPLAY", "LANGUAGE"), QStringLiteral("en"));
    EXPECT_EQ(file.read("DISPLAY", "SPEED_UNIT"), QStringLiteral("mph"));
    EXPECT_EQ(w->infoView()->texts().speedUnit, QStringLiteral("mph"));  // at once
    EXPECT_EQ(text(TXT_PLAY), QString::fromUtf8("再生"));  // the language only at the next start
    w->Shutdown();
    w.reset();

    // The next start reads them back.
    auto again = startWindow();
    EXPECT_EQ(text(TXT_PLAY), QStringLiteral("Play"));
    EXPECT_EQ(again->infoView()->texts().speedUnit, QStringLiteral("mph"));
    EXPECT_EQ(again->settingsDialog()->languageBox()->currentData().toString(), QStringLiteral("en"));
    EXPECT_EQ(again->settingsDialog()->speedUnitBox()->currentData().toString(), QStringLiteral("mph"));
    again->Shutdown();
}

// The saved volume is where the window starts: on the slider, in the engine and for the media
// controls, not the full volume the slider is made with.
TEST_F(MainWindowLanguage, TheSavedVolumeIsOnTheSliderAndInTheEngine)
{
    writeConfig("[DISPLAY]\r\nVOLUME=16384\r\n");
    auto w = startWindow();
    auto* slider = w->findChild<CSkinSliderCtrl*>(QStringLiteral("volumeSliderCtrl"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(w->volume(), 16384);
    EXPECT_EQ(slider->position(), 16384);
    EXPECT_TRUE(waitUntil([&] { return std::abs(w->session()->player(0)->engineVolume() - 25.0) < 0.5; }, 5000))
        << w->session()->player(0)->engineVolume();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
