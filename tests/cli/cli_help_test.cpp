// The `ravir` front door: help where it was asked for, usage errors on stderr with exit code 2,
// and messages in the language of the locale.
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir {
namespace {

using test::runRavir;

TEST(CliHelp, HelpListsCommandsAndExitsZero)
{
    const auto r = runRavir({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("Usage: ravir COMMAND"));
}

TEST(CliHelp, UnknownCommandFailsWithMessage)
{
    const auto r = runRavir({"no-such-command"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown command"));
}

TEST(CliHelp, HelpOnStdoutWhenAskedOnStderrWhenNoCommandIsGiven)
{
    const auto asked = runRavir({"help"});
    ASSERT_EQ(asked.exitCode, 0) << asked.err.constData();
    EXPECT_TRUE(asked.err.isEmpty());
    // (still and report exist only where the playback engine is built in; `ravir` lists them
    // although they run in `ravir-decode`)
    std::vector<const char*> names = {"csv", "delete", "join", "list", "make-sample-card", "probe",
                                      "scan", "telemetry", "update-check"};
#ifdef RAVIR_DECODE_EXE
    names.insert(names.end(), {"report", "still"});
#endif
    for (const char* name : names)
        EXPECT_TRUE(asked.out.contains(QByteArray("\n  ") + name + ' ')) << name;

    // Nothing to do is a usage error: the same help, on stderr.
    const auto none = runRavir({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_EQ(none.err, asked.out);

    const auto one = runRavir({"help", "probe"});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_TRUE(one.out.startsWith("ravir probe MOVIE\n")) << one.out.constData();
    EXPECT_TRUE(one.out.contains("boxes"));

    const auto unknown = runRavir({"help", "nosuch"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains("unknown command 'nosuch'")) << unknown.err.constData();
    EXPECT_FALSE(unknown.err.contains("'help'"));

    const auto two = runRavir({"help", "probe", "delete"});
    EXPECT_EQ(two.exitCode, 2);
    EXPECT_TRUE(two.out.isEmpty());
}

// Sets locale variables for the `ravir` children of one test and restores them afterwards.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcMessages, const char* lang)
    {
        set("LC_ALL", lcAll);
        set("LC_MESSAGES", lcMessages);
        set("LANG", lang);
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
    void set(const char* name, const char* value)
    {
        saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

// The delete-failed message of a refused delete: English in the C, POSIX and any other
// non-Japanese locale, Japanese only in a Japanese one. LC_ALL wins over LC_MESSAGES, which
// wins over LANG.
TEST(CliHelp, MessagesFollowTheLanguageOfTheLocale)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("recordings");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray english = "Deleting the video file failed.";
    const QByteArray japanese = QString::fromUtf8("動画ファイルの削除に失敗しました。").toUtf8();
    struct Case {
        const char *lcAll, *lcMessages, *lang;
        bool japanese;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false},        {"C", nullptr, nullptr, false},
        {nullptr, nullptr, "POSIX", false},        {nullptr, nullptr, "C.UTF-8", false},
        {nullptr, nullptr, "de_DE.UTF-8", false},  {nullptr, nullptr, "en_US.UTF-8", false},
        {nullptr, nullptr, "ja_JP.UTF-8", true},   {nullptr, "ja_JP.eucJP", "C", true},
        {"C", nullptr, "ja_JP.UTF-8", false},      {"", "ja", "C", true},
        {nullptr, nullptr, "jv_ID", false},
    };
    for (const Case& c : cases) {
        const LocaleEnvironment locale(c.lcAll, c.lcMessages, c.lang);
        const auto r = runRavir({"delete", folder});
        const std::string where = std::string(c.lcAll ? c.lcAll : "-") + "/"
                                  + (c.lcMessages ? c.lcMessages : "-") + "/"
                                  + (c.lang ? c.lang : "-");
        EXPECT_EQ(r.exitCode, 1) << where;
        EXPECT_EQ(r.err.contains(japanese), c.japanese) << where << ": " << r.err.constData();
        EXPECT_EQ(r.err.contains(english), !c.japanese) << where << ": " << r.err.constData();
        // The reason itself and the JSON stay English: they are for scripts and logs.
        const QJsonObject out = QJsonDocument::fromJson(r.out).object();
        EXPECT_EQ(out["status"].toString(), "failed") << where;
        EXPECT_TRUE(out["results"].toArray()[0].toObject()["error"].toString().contains("folder"))
            << where;
        EXPECT_TRUE(QDir(folder).exists()) << where;
    }

    // [DISPLAY] LANGUAGE in the viewer's configuration file overrides the locale; "auto" and
    // other values leave it to the locale.
    QTemporaryDir config;
    const QByteArray savedConfig = qgetenv("RAVIR_CONFIG_DIR");
    const bool configWasSet = qEnvironmentVariableIsSet("RAVIR_CONFIG_DIR");
    qputenv("RAVIR_CONFIG_DIR", config.path().toLocal8Bit());
    struct Override {
        const char* lang;
        const char* value;
        bool japanese;
    };
    for (const Override& o : {Override{"C", "ja", true}, Override{"ja_JP.UTF-8", "en", false},
                              Override{"ja_JP.UTF-8", "auto", true}, Override{"C", "xx", false}}) {
        QFile ini(config.filePath("Zazavud_Urezed.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QByteArray("[DISPLAY]\r\nLANGUAGE=") + o.value + "\r\n");
        ini.close();
        const LocaleEnvironment locale(nullptr, nullptr, o.lang);
        const auto r = runRavir({"delete", folder});
        EXPECT_EQ(r.err.contains(japanese), o.japanese) << o.lang << " / " << o.value;
        EXPECT_EQ(r.err.contains(english), !o.japanese) << o.lang << " / " << o.value;
    }
    if (configWasSet)
        qputenv("RAVIR_CONFIG_DIR", savedConfig);
    else
        qunsetenv("RAVIR_CONFIG_DIR");
}

}  // namespace
}  // namespace ravir
