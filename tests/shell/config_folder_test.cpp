// The viewer's configuration folder: RAVIR_CONFIG_DIR first, else the user's configuration
// folder for the viewer, created when missing; folder choosers start at home.
#include "shell/config_folder.h"
#include "shell/ini_file.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ravir;

namespace {
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name), had_(qEnvironmentVariableIsSet(name)),
                                           value_(qgetenv(name)) {}
    ~EnvGuard()
    {
        if (had_)
            qputenv(name_, value_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray value_;
};
}  // namespace

TEST(ConfigFolder, EnvironmentOverridesXdgAndFoldersAreCreated)
{
    EnvGuard a("RAVIR_CONFIG_DIR");
    EnvGuard b("XDG_CONFIG_HOME");
    const QString savedStartup = startupFolder();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // No override: $XDG_CONFIG_HOME/ravir-viewer, made on demand; never the current directory.
    qunsetenv("RAVIR_CONFIG_DIR");
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/xdg").toLocal8Bit());
    const QString xdgFolder = dir.path() + "/xdg/ravir-viewer";
    ASSERT_FALSE(QFileInfo::exists(xdgFolder));
    EXPECT_EQ(UseViewerConfigFolder(), xdgFolder);
    EXPECT_TRUE(QFileInfo(xdgFolder).isDir());
    EXPECT_EQ(configFilePath(), xdgFolder + "/Zazavud_Urezed.ini");
    EXPECT_TRUE(WriteValue("DISPLAY", "VOLUME", "100"));
    EXPECT_TRUE(QFileInfo::exists(xdgFolder + "/Zazavud_Urezed.ini"));

    // The override, relative paths made absolute, nested folders created.
    qputenv("RAVIR_CONFIG_DIR", (dir.path() + "/portable/../portable/cfg").toLocal8Bit());
    EXPECT_EQ(ViewerConfigFolder(), dir.path() + "/portable/cfg");
    EXPECT_TRUE(QFileInfo(dir.path() + "/portable/cfg").isDir());
    // An empty override counts as none.
    qputenv("RAVIR_CONFIG_DIR", "");
    EXPECT_EQ(ViewerConfigFolder(), xdgFolder);

    // A folder that cannot be made: empty, so the configuration reads as empty.
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("RAVIR_CONFIG_DIR", (dir.path() + "/file/cfg").toLocal8Bit());
    EXPECT_EQ(ViewerConfigFolder(), QString());

    // No start-up folder recorded yet: the configuration folder, never "/"; with no folder at
    // all, writes fail instead of landing somewhere else.
    setStartupFolder(QString());
    qputenv("RAVIR_CONFIG_DIR", (dir.path() + "/early").toLocal8Bit());
    EXPECT_EQ(configFilePath(), dir.path() + "/early/Zazavud_Urezed.ini");
    EXPECT_TRUE(WriteValue("FOLDERPATH", "REPORT_FOLDER", "/x"));
    EXPECT_EQ(ReadValue("FOLDERPATH", "REPORT_FOLDER"), "/x");
    qputenv("RAVIR_CONFIG_DIR", (dir.path() + "/file/cfg").toLocal8Bit());
    EXPECT_EQ(configFilePath(), QString());
    EXPECT_FALSE(WriteValue("FOLDERPATH", "REPORT_FOLDER", "/y"));
    EXPECT_EQ(ReadValue("FOLDERPATH", "REPORT_FOLDER"), QString());

    EXPECT_EQ(DefaultChooserFolder(), QDir::homePath());
    setStartupFolder(savedStartup);
}
