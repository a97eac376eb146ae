// What a screen reader reads from the running viewer: the viewer runs on the window tests' card
// on the virtual display, inside a private session bus that starts the accessibility bus, once
// in an English and once in a Japanese locale; a helper (tests/windows/main/a11y_tree.py, pyatspi)
// reads its accessible tree over AT-SPI, opens the source dialog and closes it with Escape.
// Every button, check box and slider shown has a name, the names are the UI texts of the row
// the locale picks, the sliders report values and the video surface names the frame it shows.
#include "sample_data.h"
#include "shell/ui_text.h"
#include "test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ravir {
namespace {

struct Node {
    QString role, name, description;
    bool hasValue = false;
    double minimum = 0, current = 0, maximum = 0;
    bool checked = false, showing = false;
};

struct Reading {
    std::vector<Node> tree;
    bool opened = false, closed = false;
    QString dialogName;
};

// Runs the viewer in the locale and reads its tree; false (and the reason) when that failed.
::testing::AssertionResult readViewer(const QString& locale, const QString& card, Reading* out)
{
    QTemporaryDir work;
    if (!work.isValid())
        return ::testing::AssertionFailure() << "no temporary folder";
    const QString json = work.filePath(QStringLiteral("tree.json"));
    const int row = (messageLanguageOfLocaleName(locale.toUtf8()) == MessageLanguage::English ? 1 : 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), locale);
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.remove(QStringLiteral("LANGUAGE"));
    env.insert(QStringLiteral("RAVIR_CONFIG_DIR"), work.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QStringLiteral("dbus-run-session"),
              {QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
               QStringLiteral(RAVIR_SOURCE_DIR "/tests/windows/main/a11y_tree.py"),
               QStringLiteral(RAVIR_VIEWER_EXE), card, json, textAt(row, TXT_ACC_POSITION)});
    if (!run.waitForFinished(240000)) {
        run.kill();
        run.waitForFinished();
        return ::testing::AssertionFailure() << "the reader did not finish in time";
    }
    QFile file(json);
    if (!file.open(QIODevice::ReadOnly))
        return ::testing::AssertionFailure() << "no reading written; exit " << run.exitCode();
    const QJsonObject doc = QJsonDocument::fromJson(file.readAll()).object();
    for (const QJsonValue& v : doc.value(QStringLiteral("tree")).toArray()) {
        const QJsonObject o = v.toObject();
        Node n;
        n.role = o.value(QStringLiteral("role")).toString();
        n.name = o.value(QStringLiteral("name")).toString();
        n.description = o.value(QStringLiteral("description")).toString();
        const QJsonArray value = o.value(QStringLiteral("value")).toArray();
        n.hasValue = value.size() == 3;
        if (n.hasValue) {
            n.minimum = value[0].toDouble();
            n.current = value[1].toDouble();
            n.maximum = value[2].toDouble();
        }
        n.checked = o.value(QStringLiteral("checked")).toBool();
        n.showing = o.value(QStringLiteral("showing")).toBool();
        out->tree.push_back(n);
    }
    const QJsonObject escape = doc.value(QStringLiteral("escape")).toObject();
    out->opened = escape.value(QStringLiteral("opened")).toBool();
    out->closed = escape.value(QStringLiteral("closed")).toBool();
    out->dialogName = escape.value(QStringLiteral("name")).toString();
    if (run.exitCode() != 0)
        return ::testing::AssertionFailure() << "the reader failed, exit " << run.exitCode();
    return ::testing::AssertionSuccess();
}

const Node* findNode(const Reading& r, const QString& role, const QString& name)
{
    for (const Node& n : r.tree) {
        if (n.role == role && n.name == name && n.showing)
            return &n;
    }
    return nullptr;
}

class AccessibleTree : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessibleTree, ControlsNamedInTheLocalesRowAndEscapeClosesTheSourceDialog)
{
    ASSERT_TRUE(test::havePrograms({"dbus-run-session", "xvfb-run"}));
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/python3")));
    QString error;
    const QString card = test::windowTestCard(&error);
    ASSERT_FALSE(card.isEmpty()) << error.toStdString();

    const QString locale = QString::fromLatin1(GetParam());
    const int row = (messageLanguageOfLocaleName(locale.toUtf8()) == MessageLanguage::English ? 1 : 0);
    Reading r;
    ASSERT_TRUE(readViewer(locale, card, &r));
    ASSERT_FALSE(r.tree.empty());
    auto t = [row](int slot) { return textAt(row, slot); };

    // Every control shown has a name.
    int controls = 0;
    for (const Node& n : r.tree) {
        if (!n.showing)
            continue;
        if (n.role == u"push button" || n.role == u"toggle button" || n.role == u"check box"
            || n.role == u"radio button" || n.role == u"slider") {
            ++controls;
            EXPECT_FALSE(n.name.trimmed().isEmpty()) << n.role.toStdString() << " without a name";
        }
    }
    EXPECT_GE(controls, 14 + 4 + 3 + 2 + 5);

    // The transport row and the title bar, named by their commands; the key in the description.
    const int transport[] = {TXT_FIRST,       TXT_PREVIOUS, TXT_SLOW,     TXT_FAST_FORWARD,
                             TXT_NEXT,        TXT_STILL_IMAGE, TXT_SAVE_JOINED, TXT_ZOOM,
                             TXT_BROWSE,      TXT_DELETE,   TXT_SETTINGS, TXT_CSV,
                             TXT_CLOSE,       TXT_MINIMIZE};
    for (int slot : transport)
        EXPECT_NE(findNode(r, QStringLiteral("push button"), t(slot)), nullptr) << slot;
    EXPECT_TRUE(findNode(r, QStringLiteral("push button"), t(TXT_PLAY))
                || findNode(r, QStringLiteral("push button"), t(TXT_PAUSE)));
    const Node* browse = findNode(r, QStringLiteral("push button"), t(TXT_BROWSE));
    ASSERT_NE(browse, nullptr);
    EXPECT_EQ(browse->description, t(TXT_ACC_KEY_FMT).arg(QStringLiteral("Ctrl+O")));
    // The two switches read as toggles, named by their commands.
    bool mapSwitch = false, thumbnails = false;
    for (const Node& n : r.tree) {
        mapSwitch |= n.showing && n.name == t(TXT_SWITCH_MAP) && n.role != u"frame";
        thumbnails |= n.showing && n.name == t(TXT_THUMBNAILS_SHOW);
    }
    EXPECT_TRUE(mapSwitch);
    EXPECT_TRUE(thumbnails);

    // The panel's axis toggles: check boxes with their state (on at the start).
    for (int slot : {TXT_AXIS_X, TXT_AXIS_Y, TXT_AXIS_Z}) {
        const Node* toggle = findNode(r, QStringLiteral("check box"), t(slot));
        ASSERT_NE(toggle, nullptr) << slot;
        EXPECT_TRUE(toggle->checked);
    }

    // The sliders report their values: the frame, the volume.
    const Node* position = findNode(r, QStringLiteral("slider"), t(TXT_ACC_POSITION));
    ASSERT_NE(position, nullptr);
    ASSERT_TRUE(position->hasValue);
    EXPECT_GT(position->maximum, 0);
    EXPECT_GE(position->current, position->minimum);
    EXPECT_LE(position->current, position->maximum);
    const Node* volume = findNode(r, QStringLiteral("slider"), t(TXT_ACC_VOLUME));
    ASSERT_NE(volume, nullptr);
    ASSERT_TRUE(volume->hasValue);
    EXPECT_EQ(volume->maximum, 65535);
    EXPECT_EQ(volume->current, 65535);  // the volume a fresh configuration starts with

    // The video surface names the view and the frame shown, of the recording's frame count.
    QString format = t(TXT_ACC_FRAME_FMT);
    format.replace(QStringLiteral("%1"), QStringLiteral("QQVIEWQQ"))
        .replace(QStringLiteral("%2"), QStringLiteral("QQFRAMEQQ"))
        .replace(QStringLiteral("%3"), QStringLiteral("QQCOUNTQQ"));
    format = QRegularExpression::escape(format)
                 .replace(QStringLiteral("QQVIEWQQ"), QRegularExpression::escape(t(TXT_MAIN_CAMERA)))
                 .replace(QStringLiteral("QQFRAMEQQ"), QStringLiteral("(\\d+)"))
                 .replace(QStringLiteral("QQCOUNTQQ"), QStringLiteral("(\\d+)"));
    const QRegularExpression framePattern(QStringLiteral("^") + format + QStringLiteral("$"));
    bool surfaceNamed = false;
    for (const Node& n : r.tree) {
        const QRegularExpressionMatch m = framePattern.match(n.name);
        if (n.role == u"image" && m.hasMatch()) {
            surfaceNamed = true;
            EXPECT_EQ(m.captured(2).toDouble(), position->maximum);
            EXPECT_LT(m.captured(1).toInt(), m.captured(2).toInt());
        }
    }
    EXPECT_TRUE(surfaceNamed) << "no picture named by its frame";

    // The graph and the panel describe the frame's values.
    const Node* graph = findNode(r, QStringLiteral("chart"), t(TXT_ACC_GRAPH));
    ASSERT_NE(graph, nullptr);
    EXPECT_TRUE(graph->description.startsWith(t(TXT_AXIS_X))) << graph->description.toStdString();
    const Node* panel = findNode(r, QStringLiteral("panel"), t(TXT_VEHICLE_INFO));
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->description.contains(t(TXT_AXIS_Z)));
    EXPECT_TRUE(panel->description.contains(t(TXT_ACC_GPS_FIX))
                || panel->description.contains(t(TXT_ACC_NO_GPS_FIX)));

    // Escape closes the source dialog.
    EXPECT_TRUE(r.opened) << "the source dialog did not open";
    EXPECT_EQ(r.dialogName, t(TXT_SOURCE));
    EXPECT_TRUE(r.closed) << "Escape left the source dialog open";
}

INSTANTIATE_TEST_SUITE_P(Locales, AccessibleTree,
                         ::testing::Values("en_US.UTF-8", "ja_JP.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             return std::string(param.param).substr(0, 2) == "en" ? std::string("English")
                                                                                  : std::string("Japanese");
                         });

}  // namespace
}  // namespace ravir
