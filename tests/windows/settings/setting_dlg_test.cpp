// The settings dialog: modeless, its size and centring, both switches on at every start, the
// version notice, and its switches changing what the acceleration graph draws.
#include "windows/settings/setting_dlg.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/kit/toggle_button.h"

#include <QAbstractButton>
#include <QPushButton>
#include "../views/views_fixture.h"

namespace ravir {
namespace {

TEST(SettingDlg, ModelessSizedCentredAndVersioned)
{
    test::viewsApp();
    CSettingDlg dlg;
    EXPECT_FALSE(dlg.isModal());
    EXPECT_FALSE(dlg.isVisible());  // created hidden
    EXPECT_EQ(dlg.size(), QSize(460, 315));
    dlg.relayout(2.0f);
    EXPECT_EQ(dlg.size(), QSize(920, 630));
    EXPECT_EQ(dlg.switchButton(1)->geometry(), QRect(QPoint(480, 120), QPoint(800, 200)));
    dlg.relayout(1.5f);
    EXPECT_EQ(dlg.size(), QSize(690, 472));  // 315 x 1.5 truncated

    EXPECT_EQ(CentredOn(QRect(1920, 0, 1280, 1024), QSize(460, 315)), QRect(2330, 354, 460, 315));
    EXPECT_EQ(CentredOn(QRect(0, 0, 1920, 1080), QSize(461, 316)), QRect(729, 382, 461, 316));

    const QStringList lines = dlg.versionText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "version 1.0.0");
    EXPECT_TRUE(lines[1].contains("Ravir viewer"));

    EXPECT_EQ(dlg.switchButton(0)->text(), QStringLiteral("緊急録画停止"));
    EXPECT_EQ(dlg.switchButton(1)->text(), QStringLiteral("駐車監視衝撃"));
    EXPECT_EQ(dlg.switchButton(0)->commandId(), 32968);
}

// Like every dialog of the program it is skinned: no window-manager frame, its own caption strip
// with the title and a close box that hides it; its buttons show their whole captions.
TEST(SettingDlg, SkinnedCaptionCloseBoxAndWholeButtonCaptions)
{
    test::viewsApp();
    CSettingDlg dlg;
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("設定"));
    auto* close = dlg.findChild<QAbstractButton*>(QStringLiteral("dialogClose"));
    ASSERT_NE(close, nullptr);
    dlg.showCentredOn(nullptr);
    ASSERT_TRUE(dlg.isVisible());
    EXPECT_TRUE(close->isVisible());
    EXPECT_LE(close->geometry().bottom(), 20);  // inside the caption strip, above the groups
    close->click();
    EXPECT_FALSE(dlg.isVisible());
    for (float scale : {1.0f, 1.25f, 2.0f}) {
        dlg.relayout(scale);
        for (QPushButton* b : dlg.findChildren<QPushButton*>())
            EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString() << " at " << scale;
    }
}

TEST(SettingDlg, SwitchesStartOnEveryTimeAndChangeTheGraph)
{
    test::viewsApp();
    std::vector<test::RecordFields> r = test::QuietRecords(60);
    r[10].axis = 'X';
    r[20].marker72 = 'D';  // manual
    r[30].marker75 = 'D';  // emergency stop
    r[40].marker76 = 'D';  // parking
    CGSensorDlg graph;
    graph.resize(640, 150);
    graph.setScales(1.0f, 1.0f);
    graph.setTelemetry(test::MakeRecording(r, 60), 59);
    const double d = 598.0 / 60;
    auto bottomAt = [&](int sample) {
        return test::Pixel(graph.renderFrame(), 41 + static_cast<int>(test::PositionOf(sample) * d), 149);
    };
    int rebuilds = 0;
    QObject::connect(&graph, &CGSensorDlg::markerKindsChanged, [&] { ++rebuilds; });
    {
        CSettingDlg dlg;
        QObject::connect(&dlg, &CSettingDlg::kindSwitchChanged, &graph,
                         &CGSensorDlg::setSettingsKindShown);
        EXPECT_TRUE(dlg.switchOn(0));
        EXPECT_TRUE(dlg.switchOn(1));
        EXPECT_EQ(bottomAt(40), 0xFFFFFFu);
        dlg.switchButton(1)->click();  // parking off: the P marker goes
        EXPECT_FALSE(dlg.switchOn(1));
        EXPECT_EQ(bottomAt(40), 0u);
        EXPECT_EQ(bottomAt(30), 0xFFFFFFu);
        dlg.switchButton(0)->click();  // both off: G and M stay
        EXPECT_EQ(bottomAt(30), 0u);
        EXPECT_EQ(bottomAt(10), 0x00FF00u);
        EXPECT_EQ(bottomAt(20), 0xFFFFFFu);
        EXPECT_FALSE(graph.markerKinds()[4].showOnMap);
        EXPECT_FALSE(graph.markerKinds()[5].showOnMap);
        dlg.switchButton(1)->click();  // parking back
        EXPECT_EQ(bottomAt(40), 0xFFFFFFu);
        dlg.showCentredOn(nullptr);
        dlg.hide();  // hiding keeps the states
        EXPECT_FALSE(dlg.switchOn(0));
        EXPECT_TRUE(dlg.switchOn(1));
    }
    EXPECT_EQ(rebuilds, 3);
    CSettingDlg again;  // a new start: nothing was stored
    EXPECT_TRUE(again.switchOn(0));
    EXPECT_TRUE(again.switchOn(1));
}

}  // namespace
}  // namespace ravir
