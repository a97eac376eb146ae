// The settings of the configuration file: each key's rule for missing, empty and odd values,
// the first-run values, and the number readers that behave like the C runtime's.
#include "shell/ini_file.h"
#include "shell/ini_keys.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <climits>

namespace ravir {
namespace {

class IniKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        saved_ = startupFolder();
        setStartupFolder(dir_.path());
    }
    void TearDown() override { setStartupFolder(saved_); }

    void setFile(const QByteArray& bytes)
    {
        QFile f(configFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray file() const
    {
        QFile f(configFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    QString saved_;
};

TEST_F(IniKeys, FirstRunWritesThreeValuesOnlyWhenTheFileIsNew)
{
    ASSERT_TRUE(WriteFirstRunValues());
    EXPECT_EQ(file(), "[DISPLAY]\r\nINFOCHECK=31\r\nASPECT=on\r\nVOLUME=65535\r\n");
    // A new file starts with the aspect kept and full volume.
    EXPECT_TRUE(ReadAspectKeep());
    EXPECT_EQ(ReadVolume(), 65535);

    // An existing file is left alone even when the keys are missing from it.
    setFile("[OTHER]\nX=1\n");
    EXPECT_FALSE(WriteFirstRunValues());
    EXPECT_EQ(file(), "[OTHER]\nX=1\n");
    EXPECT_FALSE(ReadAspectKeep());  // ASPECT missing: stretch
    EXPECT_EQ(ReadVolume(), 65535);  // VOLUME missing: full
}

TEST_F(IniKeys, MissingAndOddValuesFollowEachKeysRule)
{
    // Nothing stored at all.
    EXPECT_FALSE(ReadAspectKeep());
    EXPECT_EQ(ReadVolume(), 65535);
    EXPECT_FALSE(ReadThumbnail());
    EXPECT_EQ(ReadScale(ini::kScaleX, 1.0), 1.0);
    EXPECT_FALSE(ReadHwDecode());
    EXPECT_EQ(ReadSourceSelect(), "SD");
    EXPECT_EQ(ReadUpdateHost(), "");

    setFile("[DISPLAY]\nASPECT=On\nVOLUME=abc\nTHUMBNAIL=2\nSCALEX=0\nSCALEY=-1.5\n"
            "[DECODE]\nHW=ON\n[SOURCE]\nSELECT=folder\n[UPDATE]\nHOST=  http://h/  \n");
    EXPECT_FALSE(ReadAspectKeep());             // only "on" exactly keeps the aspect
    EXPECT_EQ(ReadVolume(), 0);                 // _wtoi of text without digits
    EXPECT_TRUE(ReadThumbnail());               // any non-zero number shows thumbnails
    EXPECT_EQ(ReadScale(ini::kScaleX, 1.25), 1.25);  // 0 keeps the current factor
    EXPECT_EQ(ReadScale(ini::kScaleY, 1.25), 1.25);  // so does a negative one
    EXPECT_FALSE(ReadHwDecode());               // "ON" is not "on"
    EXPECT_EQ(ReadSourceSelect(), "SD");
    EXPECT_EQ(ReadUpdateHost(), "http://h/");

    setFile("[display]\naspect=on\nvolume=70000\nthumbnail=0\nscalex=1.500000\n"
            "scaley=2.25xyz\n[decode]\nhw=on\n[source]\nselect=FILE\n");
    EXPECT_TRUE(ReadAspectKeep());
    EXPECT_EQ(ReadVolume(), 65535);  // clamped into the slider's range
    EXPECT_FALSE(ReadThumbnail());
    EXPECT_EQ(ReadScale(ini::kScaleX, 1.0), 1.5);
    EXPECT_EQ(ReadScale(ini::kScaleY, 1.0), 2.25);
    EXPECT_TRUE(ReadHwDecode());
    EXPECT_EQ(ReadSourceSelect(), "FILE");

    setFile("[DISPLAY]\nVOLUME=-5\nSCALEX=1e999\nSCALEY=nan\nTHUMBNAIL= 7 \n");
    EXPECT_EQ(ReadVolume(), 0);
    EXPECT_EQ(ReadScale(ini::kScaleX, 1.0), 1.0);
    EXPECT_EQ(ReadScale(ini::kScaleY, 1.0), 1.0);
    EXPECT_TRUE(ReadThumbnail());

    // A value of more than 259 characters comes back cut.
    ASSERT_TRUE(WriteValue(ini::kSourceFolder, "/" + QString(400, u'd')));
    EXPECT_EQ(ReadValue(ini::kSourceFolder).size(), 259);
}

TEST_F(IniKeys, MapTileUrlFallsBackToOpenStreetMapUnlessUsable)
{
    const QString osm = QString::fromLatin1(ini::kDefaultTileUrl);
    EXPECT_EQ(ReadMapTileUrl(), osm);
    EXPECT_TRUE(ReadMapAttribution().contains("OpenStreetMap"));

    // Not http(s), no host, or a missing placeholder: the default, with its attribution.
    for (const char* bad : {"file:///tmp/{z}/{x}/{y}.png", "javascript:alert(1)//{z}{x}{y}",
                            "https:///{z}/{x}/{y}.png", "https://tiles.example/{z}/{x}.png"}) {
        setFile(QByteArray("[MAP]\nTILE_URL=") + bad + "\n");
        EXPECT_EQ(ReadMapTileUrl(), osm) << bad;
        EXPECT_TRUE(ReadMapAttribution().contains("OpenStreetMap")) << bad;
    }
    // Another server: taken as written; without an attribution of its own none is shown.
    setFile("[map]\ntile_url= http://127.0.0.1:8080/t/{z}/{x}/{y}.png \n");
    EXPECT_EQ(ReadMapTileUrl(), "http://127.0.0.1:8080/t/{z}/{x}/{y}.png");
    EXPECT_EQ(ReadMapAttribution(), "");
    setFile("[MAP]\nTILE_URL=http://127.0.0.1:8080/{z}/{x}/{y}.png\nATTRIBUTION=Local tiles\n");
    EXPECT_EQ(ReadMapAttribution(), "Local tiles");
}

TEST_F(IniKeys, WritersStoreWhatTheReadersExpect)
{
    ASSERT_TRUE(WriteScale(ini::kScaleX, 1.5));
    EXPECT_EQ(ReadValue(ini::kScaleX), "1.500000");
    EXPECT_EQ(ReadScale(ini::kScaleX, 1.0), 1.5);
    ASSERT_TRUE(WriteThumbnail(true));
    EXPECT_EQ(ReadValue(ini::kThumbnail), "1");
    ASSERT_TRUE(WriteThumbnail(false));
    EXPECT_EQ(ReadValue(ini::kThumbnail), "0");
    ASSERT_TRUE(WriteAspectKeep(false));
    EXPECT_EQ(ReadValue(ini::kAspect), "off");
    EXPECT_FALSE(ReadAspectKeep());
    ASSERT_TRUE(WriteVolume(1234));
    EXPECT_EQ(ReadVolume(), 1234);
    EXPECT_TRUE(file().startsWith("[DISPLAY]\r\nSCALEX=1.500000\r\nTHUMBNAIL=0\r\n"));
}

TEST(IniKeyTable, EveryKeyOnceWithItsFirstRunValue)
{
    QSet<QString> seen;
    int firstRun = 0;
    for (const IniKey& key : ini::kAllKeys) {
        const QString id = QString("%1/%2").arg(key.section, key.key);
        EXPECT_FALSE(seen.contains(id)) << id.toStdString();
        seen.insert(id);
        firstRun += key.firstRun != nullptr;
    }
    EXPECT_EQ(seen.size(), 21);
    EXPECT_TRUE(seen.contains("DISPLAY/LANGUAGE"));
    EXPECT_TRUE(seen.contains("DISPLAY/SPEED_UNIT"));
    EXPECT_TRUE(seen.contains("FOLDERPATH/CSV_ENCODING"));
    EXPECT_EQ(firstRun, 3);
    EXPECT_STREQ(ini::kInfoCheck.firstRun, "31");
    EXPECT_STREQ(ini::kAspect.firstRun, "on");
    EXPECT_STREQ(ini::kVolume.firstRun, "65535");
    EXPECT_TRUE(seen.contains("UPDATE/HOST"));
    EXPECT_TRUE(seen.contains("FOLDERPATH/SNAPSHOT_FOLDER"));
}

TEST(NumberReaders, BehaveLikeTheRuntimeReaders)
{
    EXPECT_EQ(wtoi(""), 0);
    EXPECT_EQ(wtoi("  42abc"), 42);
    EXPECT_EQ(wtoi("+7"), 7);
    EXPECT_EQ(wtoi("-13"), -13);
    EXPECT_EQ(wtoi("x1"), 0);
    EXPECT_EQ(wtoi("- 1"), 0);
    EXPECT_EQ(wtoi("99999999999999999999"), INT_MAX);
    EXPECT_EQ(wtoi("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(wtoi("2147483647"), INT_MAX);
    EXPECT_EQ(wtoi("-2147483648"), INT_MIN);
    EXPECT_EQ(wtoi("\t\n 5"), 5);

    EXPECT_EQ(wtof(""), 0.0);
    EXPECT_EQ(wtof("1.500000"), 1.5);
    EXPECT_EQ(wtof(" -2.5e1x"), -25.0);
    EXPECT_EQ(wtof("3."), 3.0);
    EXPECT_EQ(wtof(".5"), 0.5);
    EXPECT_EQ(wtof("1e"), 1.0);
    EXPECT_EQ(wtof("."), 0.0);
    EXPECT_EQ(wtof("1,5"), 1.0);  // the decimal point is always '.'
    EXPECT_EQ(wtof("abc"), 0.0);
}

}  // namespace
}  // namespace ravir
