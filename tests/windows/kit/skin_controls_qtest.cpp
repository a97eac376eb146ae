// The skinned controls: artwork, button states and signals, slider mouse band, progress text
// colours, the message dialog, and the controls in their places on the main window.
#include "windows/main/dedorade_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_list.h"
#include "windows/kit/skin_progress.h"
#include "windows/kit/skin_slider.h"
#include "windows/kit/app_scale.h"
#include "shell/ini_keys.h"
#include "windows/kit/remembered_folder.h"
#include "shell/ui_text.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ravir;

namespace {

bool hasVisiblePixel(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

void sendEnter(QWidget* w)
{
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(w, &e);
}

void sendLeave(QWidget* w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

}  // namespace

class SkinControlsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void artworkRendersAtBothScales();
    void buttonStatesImagesAndSignals();
    void checkButtonAndListFollowTheMouse();
    void sliderBandAndSignalSequence();
    void sliderRepaintsOnlyWhenItsPictureMoves();
    void progressTextTakesTheOtherColour();
    void messageDialogTextCaptionAndAnswers();
    void messageDialogIgnoresEscapeAndEnter();
    void mainWindowPlacesAndDrivesTheControls();
};

void SkinControlsTest::initTestCase()
{
    // Every case runs at the layout scale of the screen (run it on a larger screen for scale 2).
    QWidget probe;
    probe.show();
    QVERIFY(ComputeScalesAndFonts(&probe));
    QVERIFY(skin::scale() > 0.0);
}

void SkinControlsTest::artworkRendersAtBothScales()
{
    const QStringList names = skin::allPictures();
    QVERIFY(names.size() >= 50);
    for (const QString& name : names) {
        const QSize design = skin::designSize(name);
        QVERIFY2(!design.isEmpty(), qPrintable(name));
        for (double s : {1.0, 2.0}) {
            const QPixmap pm = skin::renderScaled(name, s);
            QVERIFY2(!pm.isNull(), qPrintable(name));
            QCOMPARE(pm.size(), QSize(int(design.width() * s), int(design.height() * s)));
            QVERIFY2(hasVisiblePixel(pm.toImage()), qPrintable(QStringLiteral("%1 is empty at %2").arg(name).arg(s)));
        }
    }
    // The drawing rules depend on these layouts: four state images side by side.
    QCOMPARE(skin::designSize(QStringLiteral("btn_play")), QSize(128, 32));
    QCOMPARE(skin::designSize(QStringLiteral("title_close")), QSize(184, 18));
    QCOMPARE(skin::designSize(QStringLiteral("title_thumbnail")), QSize(600, 18));
    QCOMPARE(skin::designSize(QStringLiteral("dialog_close")), QSize(52, 12));
    QCOMPARE(skin::designSize(QStringLiteral("graph_background")), QSize(640, 120));
    QCOMPARE(skin::designSize(QStringLiteral("map_logo_offline")), QSize(452, 392));
    for (int type = 0; type < 8; ++type)
        QCOMPARE(skin::designSize(skin::mapIconForMarkerType(type)), QSize(32, 32));
    QVERIFY(skin::mapIconForMarkerType(8).isEmpty());
    // Every state image of a strip differs from the others.
    QImage cells[4];
    for (int i = 0; i < 4; ++i)
        cells[i] = skin::stripImage(QStringLiteral("btn_play"), 4, i, QSize(64, 64)).toImage();
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            QVERIFY(cells[i] != cells[j]);
    QVERIFY(skin::stripImage(QStringLiteral("btn_play"), 4, 4, QSize(32, 32)).isNull());
    // The empty tick box has a light inside, so that it reads as empty in the white rows of the
    // tick list too (not as a filled square); the ticked box is filled with colour.
    const QImage empty = skin::stripImage(QStringLiteral("check_box"), 4, 0, QSize(24, 24)).toImage();
    const QImage ticked = skin::stripImage(QStringLiteral("check_box"), 4, 2, QSize(24, 24)).toImage();
    QVERIFY(QColor(empty.pixel(12, 12)).lightness() > 200);
    QVERIFY(QColor(ticked.pixel(5, 5)).lightness() < 150);
    // The thumbnail switch shows "on" (its pressed look) in colour, not as a shade of the grey
    // plate it has when off.
    const QColor off(skin::stripImage(QStringLiteral("title_thumbnail"), 4, 0, QSize(150, 18)).toImage().pixel(75, 9));
    const QColor on(skin::stripImage(QStringLiteral("title_thumbnail"), 4, 2, QSize(150, 18)).toImage().pixel(75, 9));
    QVERIFY(off.hsvSaturation() < 60);
    QVERIFY(on.hsvSaturation() > 100);
    QVERIFY(skin::render(QStringLiteral("no_such_picture"), QSize(10, 10)).isNull());
}

void SkinControlsTest::buttonStatesImagesAndSignals()
{
    QWidget host;
    host.resize(200, 100);
    auto* b = new CSkinButton(&host, 38002);
    b->setGeometry(10, 10, 32, 32);
    b->setImage(QStringLiteral("btn_play"), QStringLiteral("play"));
    b->setAlternateImage(QStringLiteral("btn_pause"), QStringLiteral("pause"));
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy clicks(b, &CSkinButton::command);

    QCOMPARE(b->imageIndex(), 0);
    const QImage normal = b->grab().toImage();
    sendEnter(b);
    QCOMPARE(b->imageIndex(), 1);
    QCOMPARE(b->textColor(), skin::kTextWhite);
    const QImage hover = b->grab().toImage();
    QVERIFY(hover != normal);

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(16, 16));
    QCOMPARE(b->imageIndex(), 2);
    QCOMPARE(b->textColor(), skin::kTextGrey);
    QVERIFY(b->grab().toImage() != hover);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(16, 16));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 38002);
    // A press released outside the button is no click.
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(16, 16));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(100, 80));
    QCOMPARE(clicks.count(), 1);

    sendLeave(b);
    QCOMPARE(b->imageIndex(), 0);
    b->setPressedLook(true);
    QCOMPARE(b->imageIndex(), 2);
    sendEnter(b);
    QCOMPARE(b->imageIndex(), 2);  // the pressed look wins over the hover
    b->setPressedLook(false);
    b->setCheckable(true);
    b->setChecked(true);
    QCOMPARE(b->imageIndex(), 2);
    QCOMPARE(b->textColor(), skin::kTextWhite);
    b->setChecked(false);
    b->setCheckable(false);

    b->setEnabled(false);
    QCOMPARE(b->imageIndex(), 3);
    QCOMPARE(b->textColor(), skin::kTextGrey);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(16, 16));
    QCOMPARE(clicks.count(), 1);
    b->setEnabled(true);

    // The alternate image and tooltip (pause while playing).
    QCOMPARE(b->toolTip(), QStringLiteral("play"));
    sendLeave(b);
    const QImage playImage = b->grab().toImage();
    b->setAlternate(true);
    QCOMPARE(b->currentImage(), QStringLiteral("btn_pause"));
    QCOMPARE(b->toolTip(), QStringLiteral("pause"));
    QVERIFY(b->grab().toImage() != playImage);
    b->setAlternate(false);
    QCOMPARE(b->toolTip(), QStringLiteral("play"));
    QCOMPARE(b->grab().toImage(), playImage);
}

void SkinControlsTest::checkButtonAndListFollowTheMouse()
{
    QWidget host;
    host.resize(300, 300);
    auto* check = new CSkinCheckButton(QStringLiteral("X"), &host);
    check->setGeometry(0, 0, 100, 20);
    auto* list = new CSkinListCtrl(&host);
    list->setGeometry(0, 40, 300, 200);
    list->setHeaderHidden(true);
    for (int i = 0; i < 3; ++i)
        list->addRow({QStringLiteral("row %1").arg(i)});
    list->setStateImage(2, CSkinListCtrl::kNoState);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QSignalSpy toggled(check, &QAbstractButton::toggled);
    QTest::mouseMove(check, check->boxRect().center());
    QCOMPARE(check->imageIndex(), 1);
    QTest::mouseClick(check, Qt::LeftButton, {}, check->boxRect().center());
    QVERIFY(check->isChecked());
    QCOMPARE(check->imageIndex(), 2);
    QCOMPARE(toggled.count(), 1);
    check->setEnabled(false);
    QCOMPARE(check->imageIndex(), 3);

    QWidget* vp = list->viewport();
    const QPoint row0 = list->visualItemRect(list->topLevelItem(0)).center();
    const QPoint row1 = list->visualItemRect(list->topLevelItem(1)).center();
    const QPoint row2 = list->visualItemRect(list->topLevelItem(2)).center();
    QTest::mouseMove(vp, row0);
    QCOMPARE(list->stateImage(0), int(CSkinListCtrl::kHot));
    QTest::mouseMove(vp, row1);
    QCOMPARE(list->stateImage(0), int(CSkinListCtrl::kUnchecked));
    QCOMPARE(list->stateImage(1), int(CSkinListCtrl::kHot));
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(list->stateImage(1), int(CSkinListCtrl::kChecked));
    QTest::mouseMove(vp, row0);
    QCOMPARE(list->stateImage(1), int(CSkinListCtrl::kChecked));  // a checked row stays checked
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(list->stateImage(1), int(CSkinListCtrl::kUnchecked));
    QTest::mouseClick(vp, Qt::LeftButton, {}, row2);
    QCOMPARE(list->stateImage(2), int(CSkinListCtrl::kUnchecked));  // any other state becomes 1
}

void SkinControlsTest::sliderBandAndSignalSequence()
{
    QWidget host;
    host.resize(400, 60);
    CSkinSliderCtrl slider(38100, CSkinSliderCtrl::positionPictures(), &host);
    const QRect track(50, 20, 300, 10);
    slider.setTrackGeometry(track);
    QCOMPARE(slider.geometry(), track.adjusted(-skin::unit(10), 0, skin::unit(10), 0));
    slider.setRange(0, 0);
    QCOMPARE(slider.thumbX(), 0);  // range 0..0: thumb at the start
    slider.setRange(0, 299);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QStringList events;
    connect(&slider, &CSkinSliderCtrl::pressed, &host,
            [&](int id, int p) { events << QStringLiteral("pressed %1 %2").arg(id).arg(p); });
    connect(&slider, &CSkinSliderCtrl::moving, &host,
            [&](int id, int p) { events << QStringLiteral("moving %1 %2").arg(id).arg(p); });
    connect(&slider, &CSkinSliderCtrl::released, &host,
            [&](int id, int p) { events << QStringLiteral("released %1 %2").arg(id).arg(p); });

    const QRect t = slider.trackRect();
    // The program's setPosition reports nothing.
    slider.setPosition(120);
    QVERIFY(events.isEmpty());
    QCOMPARE(slider.position(), 120);

    // 5 units left of the track still counts and gives the minimum; it is a jump.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(t.left() - skin::unit(5), 5));
    QVERIFY(slider.isPressed());
    QVERIFY(slider.jumped());
    QTest::mouseMove(&slider, QPoint(t.left() + 150, 5));
    // Outside the band (more than 10 units beyond the end) the move is ignored.
    QMouseEvent far(QEvent::MouseMove, QPointF(t.right() + skin::unit(10) + 5, 5),
                    slider.mapToGlobal(QPointF(t.right() + skin::unit(10) + 5, 5)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &far);
    QTest::mouseMove(&slider, QPoint(t.right() + skin::unit(5), 5));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(t.right() + skin::unit(5), 5));
    QCOMPARE(events, QStringList({QStringLiteral("pressed 38100 0"), QStringLiteral("moving 38100 150"),
                                  QStringLiteral("moving 38100 299"), QStringLiteral("released 38100 299")}));
    QVERIFY(!slider.isPressed());

    // A press on the thumb is no jump; a press outside the band does nothing.
    events.clear();
    slider.setPosition(0);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(t.left() + 2, 5));
    QVERIFY(!slider.jumped());
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(t.left() + 2, 5));
    QCOMPARE(events.size(), 2);

    // Disabled: no reaction.
    events.clear();
    slider.setEnabled(false);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(t.center().x(), 5));
    QVERIFY(events.isEmpty());

    // The played part is drawn left of the position, the remaining part right of it.
    slider.setEnabled(true);
    slider.setPosition(150);
    const QImage image = slider.grab().toImage();
    const QColor played = image.pixelColor(t.left() + 40, t.height() / 2);
    const QColor remaining = image.pixelColor(t.right() - 40, t.height() / 2);
    QVERIFY2(played.blue() > 150 && played.red() < 150, qPrintable(played.name()));
    QVERIFY2(remaining.blue() < 100, qPrintable(remaining.name()));
}

void SkinControlsTest::sliderRepaintsOnlyWhenItsPictureMoves()
{
    // A long recording: ten positions for every pixel of the track, as while playing.
    QWidget host;
    host.resize(400, 60);
    CSkinSliderCtrl slider(38100, CSkinSliderCtrl::positionPictures(), &host);
    slider.setTrackGeometry(QRect(50, 20, 300, 10));
    slider.setRange(0, 2999);
    slider.setPosition(1000);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QApplication::processEvents();
    PaintCounter paints(&slider);

    int previousPlayed = slider.playedWidth();
    int previousThumb = slider.thumbX();
    int stepsThatMoved = 0;
    for (int p = 1001; p <= 1040; ++p) {
        const int before = paints.count;
        slider.setPosition(p);
        QApplication::processEvents();
        const bool moved = slider.playedWidth() != previousPlayed || slider.thumbX() != previousThumb;
        previousPlayed = slider.playedWidth();
        previousThumb = slider.thumbX();
        stepsThatMoved += moved ? 1 : 0;
        QVERIFY2((paints.count > before) == moved, qPrintable(QStringLiteral("position %1").arg(p)));
        QCOMPARE(slider.position(), p);
    }
    // Forty positions cross four pixels of the track: a handful of repaints, not forty.
    QVERIFY2(stepsThatMoved >= 4 && stepsThatMoved <= 10, qPrintable(QString::number(stepsThatMoved)));

    // The picture after the skipped steps is the one drawn afresh at that position.
    const QImage stepped = slider.grab().toImage();
    slider.setTrackGeometry(QRect(50, 20, 300, 10));  // draws the whole picture again
    QCOMPARE(slider.position(), 1040);
    QCOMPARE(stepped, slider.grab().toImage());
}

void SkinControlsTest::progressTextTakesTheOtherColour()
{
    CSkinProgressBarCtrl bar;
    bar.resize(400, 22);
    bar.setRange(0, 100);
    bar.setPosition(50);
    QCOMPARE(bar.label(), QStringLiteral("50 %"));
    QCOMPARE(bar.fillWidth(), 200);
    const QImage image = bar.grab().toImage();
    const QRect box = bar.textBox();
    // Away from the text: blue left of the fill edge, white right of it.
    QCOMPARE(image.pixelColor(10, 11), CSkinProgressBarCtrl::kFill);
    QCOMPARE(image.pixelColor(390, 11), CSkinProgressBarCtrl::kEmpty);
    QCOMPARE(image.pixelColor(199, 0), CSkinProgressBarCtrl::kFill);
    QCOMPARE(image.pixelColor(200, 0), CSkinProgressBarCtrl::kEmpty);
    // Inside the text box the text shows in the other colour on each side of the edge.
    int whiteOnBlue = 0, blueOnWhite = 0, other = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (x < 200) {
                if (c.red() > 128)
                    ++whiteOnBlue;
                if (c.blue() < 200)
                    ++other;  // anything but blue or white shades would be a wrong colour
            } else {
                if (c.red() < 128)
                    ++blueOnWhite;
                if (c.blue() < 200)
                    ++other;
            }
        }
    }
    QVERIFY(whiteOnBlue > 5);
    QVERIFY(blueOnWhite > 5);
    QCOMPARE(other, 0);

    bar.setRange(5, 5);  // a range below 1 draws no fill
    QCOMPARE(bar.fillWidth(), 0);
    QCOMPARE(bar.grab().toImage().pixelColor(10, 11), CSkinProgressBarCtrl::kEmpty);
}

void SkinControlsTest::messageDialogTextCaptionAndAnswers()
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    // The hook sees the dialog fully built.
    CMsgBox::setTestHook([](CMsgDlg& dlg) {
        [&] {
            QCOMPARE(dlg.caption(), QStringLiteral("ERROR"));
            QCOMPARE(dlg.textLabel()->text(), text(TXT_MSG_OPEN_FAILED));
            QVERIFY(dlg.cancelButton() == nullptr);
            const QRect ok = dlg.okButton()->geometry();
            QCOMPARE(ok.size(), QSize(skin::unit(100), skin::unit(30)));
            QCOMPARE(dlg.width() - ok.right() - 1, skin::unit(15));
            QCOMPARE(dlg.height() - ok.bottom() - 1, skin::unit(15));
            QVERIFY(dlg.width() >= dlg.textLabel()->width() - 1 + 2 * skin::unit(40));
        }();
        dlg.okButton()->click();
        return dlg.result();
    });
    QCOMPARE(CMsgBox::Error(&owner, text(TXT_MSG_OPEN_FAILED)), int(CMsgBox::kIdOk));

    CMsgBox::setTestHook([](CMsgDlg& dlg) {
        [&] {
            QVERIFY(dlg.cancelButton() != nullptr);
            // Cancel at the corner, OK 15 units to its left.
            QCOMPARE(dlg.okButton()->geometry().right() + 1 + skin::unit(15),
                     dlg.cancelButton()->geometry().left());
        }();
        if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR"))
            dlg.grab().save(QStringLiteral("%1/msgdlg_scale%2.png")
                                .arg(qEnvironmentVariable("RAVIR_SHOT_DIR"))
                                .arg(LayoutScale(), 0, 'f', 2));
        dlg.cancelButton()->click();
        return dlg.result();
    });
    QCOMPARE(CMsgBox::Show(&owner, text(TXT_MSG_SAME_NAME_EXISTS), text(TXT_CONFIRM), CMsgBox::kOkCancel),
             int(CMsgBox::kIdCancel));

    // The automatic answer records what would have been shown.
    CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    QCOMPARE(CMsgBox::Show(nullptr, QStringLiteral("a"), QStringLiteral("b"), CMsgBox::kOkCancel), 1);
    const QList<CMsgBox::Shown> shown = CMsgBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("a"));
    QCOMPARE(shown[0].caption, QStringLiteral("b"));
    QCOMPARE(shown[0].type, int(CMsgBox::kOkCancel));
    QVERIFY(CMsgBox::takeShown().isEmpty());

    // A folder chooser's answer that is no local folder fails with the folder-path message;
    // a real folder passes, a cancel is silent.
    QTemporaryDir folder;
    QCOMPARE(AcceptChosenFolder(&owner, folder.path() + QStringLiteral("/./")), QDir::cleanPath(folder.path()));
    QCOMPARE(AcceptChosenFolder(&owner, QString()), QString());
    QVERIFY(CMsgBox::takeShown().isEmpty());
    QCOMPARE(AcceptChosenFolder(&owner, folder.path() + QStringLiteral("/gone")), QString());
    QCOMPARE(AcceptChosenFolder(&owner, QStringLiteral("smb://host/share")), QString());
    const QList<CMsgBox::Shown> failed = CMsgBox::takeShown();
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed[0].text, text(TXT_MSG_FOLDER_PATH_FAILED));
    QCOMPARE(failed[0].caption, QStringLiteral("ERROR"));
    CMsgBox::setAutoAnswer(0);

    // Without a hook the dialog runs modally, centred on its owner; its close button cancels.
    QRect seen;
    QTimer::singleShot(50, [&] {
        auto* dlg = qobject_cast<CMsgDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        seen = dlg->frameGeometry();
        dlg->closeButton()->click();
    });
    QCOMPARE(CMsgBox::Show(&owner, QStringLiteral("modal"), QStringLiteral("caption"), CMsgBox::kOk),
             int(CMsgBox::kIdCancel));
    QVERIFY(!seen.isEmpty());
    QVERIFY((seen.center() - owner.frameGeometry().center()).manhattanLength() <= 2);
}

void SkinControlsTest::messageDialogIgnoresEscapeAndEnter()
{
    int visibleAfterKeys = -1;
    CMsgBox::setTestHook([&](CMsgDlg& dlg) {
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        visibleAfterKeys = dlg.isVisible() ? 1 : 0;
        QTest::keyClick(dlg.okButton(), Qt::Key_Space);  // Space presses the focused button
        return dlg.result();
    });
    QCOMPARE(CMsgBox::Show(nullptr, QStringLiteral("keys"), QStringLiteral("c"), CMsgBox::kOkCancel),
             int(CMsgBox::kIdOk));
    QCOMPARE(visibleAfterKeys, 1);
    CMsgBox::setTestHook({});
}

void SkinControlsTest::mainWindowPlacesAndDrivesTheControls()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    qputenv("RAVIR_CONFIG_DIR", dir.path().toUtf8());
    {
        CdedoradeDlg::Options options;
        options.source = qEnvironmentVariable("RAVIR_SHOT_SOURCE", dir.path());
        CdedoradeDlg window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const MainLayout& l = window.layoutRects();
        for (int i = 0; i < kTransportButtonCount; ++i) {
            auto* b = window.findChild<CSkinButton*>(QStringLiteral("button%1").arg(38000 + i));
            QVERIFY(b);
            QVERIFY(b->isVisible());
            QCOMPARE(b->geometry(), l.transport[static_cast<size_t>(i)]);
            QCOMPARE(b->commandId(), 38000 + i);
            QVERIFY(!b->toolTip().isEmpty());
        }
        auto* play = window.findChild<CSkinButton*>(QStringLiteral("button38002"));
        QCOMPARE(play->toolTip(), text(TXT_PLAY) + QStringLiteral(" (Space)"));  // names its key
        auto* maximise = window.findChild<CSkinButton*>(QStringLiteral("titleMaximise"));
        QCOMPARE(maximise->geometry(), l.maximiseButton);
        QCOMPARE(maximise->toolTip(), text(TXT_ZOOM_IN));
        QCOMPARE(window.findChild<CSkinButton*>(QStringLiteral("titleClose"))->geometry(), l.closeButton);
        QCOMPARE(window.findChild<CSkinButton*>(QStringLiteral("titleMinimise"))->geometry(), l.minimiseButton);
        auto* thumbs = window.findChild<CSkinButton*>(QStringLiteral("titleThumbnail"));
        QCOMPARE(thumbs->geometry(), l.thumbnailButton);

        auto* position = window.findChild<CSkinSliderCtrl*>(QStringLiteral("positionSliderCtrl"));
        QCOMPARE(position->trackRect().translated(position->pos()), l.positionSlider);
        auto* volume = window.findChild<CSkinSliderCtrl*>(QStringLiteral("volumeSliderCtrl"));
        QCOMPARE(volume->trackRect().translated(volume->pos()), l.volumeSlider);
        QCOMPARE(volume->position(), window.volume());

        if (qEnvironmentVariableIsSet("RAVIR_SHOT_DIR")) {
            QTest::qWait(qEnvironmentVariableIntValue("RAVIR_SHOT_WAIT"));
            const QString name = QStringLiteral("%1/mainwindow_scale%2.png")
                                     .arg(qEnvironmentVariable("RAVIR_SHOT_DIR"))
                                     .arg(LayoutScale(), 0, 'f', 2);
            QVERIFY(window.grab().save(name));
        }

        // The thumbnail switch holds itself in and writes its state.
        const bool before = thumbs->pressedLook();
        QTest::mouseClick(thumbs, Qt::LeftButton, {}, thumbs->rect().center());
        QCOMPARE(thumbs->pressedLook(), !before);
        QCOMPARE(ReadThumbnail(), !before);

        // The volume slider follows the mouse and writes VOLUME when released.
        const QRect vt = volume->trackRect();
        QTest::mousePress(volume, Qt::LeftButton, {}, QPoint(vt.left() + vt.width() / 4, vt.height() / 2));
        QTest::mouseRelease(volume, Qt::LeftButton, {}, QPoint(vt.left() + vt.width() / 4, vt.height() / 2));
        QVERIFY(volume->position() > 10000 && volume->position() < 22000);
        QCOMPARE(window.volume(), volume->position());
        QCOMPARE(ReadVolume(), volume->position());

        // The close button closes the window.
        QTest::mouseClick(window.findChild<CSkinButton*>(QStringLiteral("titleClose")), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }
    qunsetenv("RAVIR_CONFIG_DIR");
    QDir::setCurrent(previous);
}

QTEST_MAIN(SkinControlsTest)
#include "skin_controls_qtest.moc"
