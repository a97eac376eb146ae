// What the accessibility interfaces of the skinned controls answer, read in-process (the same
// QAccessibleInterface the AT-SPI bridge reads): sliders with their values, which a reader can
// set; switches checked by their pressed look; buttons named by their command, the alternate
// name while the alternate state is on, the key in the description; the video surface named by
// its view and frame; the graph and the panel describing the frame.
#include "windows/kit/accessible_controls.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_slider.h"
#include "playback/dual_surface.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"
#include "windows/views/gsensor_dlg.h"
#include "windows/views/info_dlg.h"
#include "windows/kit/toggle_button.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>
#include <QTest>

using namespace ravir;

class AccessibleControlsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QWidget probe;
        probe.show();
        QVERIFY(ComputeScalesAndFonts(&probe));
        InstallAccessibleControls();
    }

    void sliderValueReadAndSet()
    {
        QWidget parent;
        parent.resize(400, 40);
        auto* slider = new CSkinSliderCtrl(38100, CSkinSliderCtrl::positionPictures(), &parent);
        slider->setTrackGeometry(QRect(20, 10, 300, 10));
        slider->setRange(0, 120);
        slider->setPosition(40);
        slider->setAccessibleName(text(TXT_ACC_POSITION));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(slider);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::Slider);
        QCOMPARE(iface->text(QAccessible::Name), text(TXT_ACC_POSITION));
        QAccessibleValueInterface* value = iface->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->currentValue().toInt(), 40);
        QCOMPARE(value->minimumValue().toInt(), 0);
        QCOMPARE(value->maximumValue().toInt(), 120);

        // A value set by the reader moves it as a press and release there do (clamped).
        QSignalSpy pressed(slider, &CSkinSliderCtrl::pressed);
        QSignalSpy released(slider, &CSkinSliderCtrl::released);
        struct Row {
            int asked;
            int landed;
        };
        for (const Row& r : {Row{70, 70}, Row{500, 120}, Row{-3, 0}}) {
            value->setCurrentValue(r.asked);
            QCOMPARE(slider->position(), r.landed);
            QCOMPARE(released.last().at(1).toInt(), r.landed);
        }
        QCOMPARE(pressed.size(), 3);
        // Disabled: nothing moves.
        slider->setEnabled(false);
        value->setCurrentValue(10);
        QCOMPARE(slider->position(), 0);
        QCOMPARE(released.size(), 3);
        // The arrow keys step it once focused.
        slider->setEnabled(true);
        slider->setKeyStep(5);
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Left);
        QCOMPARE(slider->position(), 5);
        QCOMPARE(released.size(), 6);
    }

    void buttonsAndSwitches()
    {
        QWidget parent;
        auto* play = new CSkinButton(&parent, 38002);
        play->setImage(QStringLiteral("btn_play"), QStringLiteral("tip"));
        play->setAlternateImage(QStringLiteral("btn_pause"), QStringLiteral("tip 2"));
        play->setCommandName(text(TXT_PLAY), text(TXT_PAUSE));
        play->setKeyName(QStringLiteral("Space"));
        QAccessibleInterface* p = QAccessible::queryAccessibleInterface(play);
        QCOMPARE(p->role(), QAccessible::Button);
        QCOMPARE(p->text(QAccessible::Name), text(TXT_PLAY));
        QCOMPARE(p->text(QAccessible::Description), text(TXT_ACC_KEY_FMT).arg(QStringLiteral("Space")));
        play->setAlternate(true);
        QCOMPARE(p->text(QAccessible::Name), text(TXT_PAUSE));

        // Without a name: the tooltip names it (the dialogs' close box).
        auto* close = new CSkinButton(&parent, 2);
        close->setImage(QStringLiteral("dialog_close"), text(TXT_CLOSE));
        QCOMPARE(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name), text(TXT_CLOSE));

        // A switch: checked while it shows the pressed look; its press action clicks it.
        auto* map = new CSkinButton(&parent, 38013);
        map->setCommandName(text(TXT_SWITCH_MAP));
        map->setToggleSwitch(true);
        QAccessibleInterface* m = QAccessible::queryAccessibleInterface(map);
        QVERIFY(m->state().checkable);
        QVERIFY(!m->state().checked);
        map->setPressedLook(true);
        QVERIFY(m->state().checked);
        QSignalSpy clicked(map, &CSkinButton::command);
        QVERIFY(m->actionInterface());
        m->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(clicked.size(), 1);
    }

    void videoSurfaceGraphAndPanel()
    {
        DualVideoSurface surface;
        QAccessibleInterface* v = QAccessible::queryAccessibleInterface(&surface);
        QCOMPARE(v->role(), QAccessible::Graphic);
        QCOMPARE(v->text(QAccessible::Name), text(TXT_MAIN_CAMERA));
        surface.setFrameShown(42, 120);
        QCOMPARE(v->text(QAccessible::Name),
                 text(TXT_ACC_FRAME_FMT).arg(text(TXT_MAIN_CAMERA), QStringLiteral("42"), QStringLiteral("120")));
        surface.setFrameShown(-1, 0);
        QCOMPARE(v->text(QAccessible::Name), text(TXT_MAIN_CAMERA));
        QCOMPARE(DualVideoSurface::ViewName(DisplayView::Sub), text(TXT_SUB_CAMERA));
        QCOMPARE(DualVideoSurface::ViewName(DisplayView::MainWithSubInset), text(TXT_ACC_MAIN_WITH_SUB));

        // Without telemetry: every value is said to be missing.
        CGSensorDlg graph;
        QAccessibleInterface* g = QAccessible::queryAccessibleInterface(&graph);
        QCOMPARE(g->role(), QAccessible::Chart);
        QCOMPARE(g->text(QAccessible::Name), text(TXT_ACC_GRAPH));
        QCOMPARE(g->text(QAccessible::Description),
                 QStringList({text(TXT_AXIS_X) + u' ' + text(TXT_ACC_NO_VALUE),
                              text(TXT_AXIS_Y) + u' ' + text(TXT_ACC_NO_VALUE),
                              text(TXT_AXIS_Z) + u' ' + text(TXT_ACC_NO_VALUE)})
                     .join(QStringLiteral(", ")));
        CInfoDlg panel;
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(&panel);
        QCOMPARE(i->text(QAccessible::Name), text(TXT_VEHICLE_INFO));
        QVERIFY(i->text(QAccessible::Description).endsWith(text(TXT_ACC_NO_SPEED) + QStringLiteral(", ") + text(TXT_ACC_NO_GPS_FIX)));
        // The axis switches are named check boxes.
        QAccessibleInterface* x = QAccessible::queryAccessibleInterface(panel.axisToggle(0));
        QCOMPARE(x->role(), QAccessible::CheckBox);
        QCOMPARE(x->text(QAccessible::Name), text(TXT_AXIS_X));
        QVERIFY(x->state().checked);
    }

    void spokenInfoTextWithValues()
    {
        InfoFields f;
        f.accel[0] = 0.25;
        f.accel[1] = -0.5;
        f.accel[2] = 1.0;
        f.speedValid = 1;
        f.speed = 42.0;
        const QString spoken = SpokenInfoText(f, true);
        QVERIFY2(spoken.contains(text(TXT_AXIS_X) + QStringLiteral(" 0.25G")), qPrintable(spoken));
        QVERIFY(spoken.contains(text(TXT_ACC_SPEED_FMT).arg(QStringLiteral("42"), text(TXT_UNIT_KMH))));
        QVERIFY(!SpokenInfoText(f, false).contains(text(TXT_ACC_SPEED_FMT).arg(QStringLiteral("42"), text(TXT_UNIT_KMH))));
    }
};

QTEST_MAIN(AccessibleControlsTest)
#include "accessible_controls_qtest.moc"
