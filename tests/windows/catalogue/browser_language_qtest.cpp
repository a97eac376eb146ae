// The browser's texts in both languages: every kind button's label fits its button or is cut
// with "…" and read whole from the tooltip and by screen readers, the Japanese row keeps its
// fixed steps; the selection list's rows are read as checkable with their tick, kind and time.
#include "catalogue/catalogue.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/kit/app_scale.h"
#include "windows/kit/skin_artwork.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_list.h"
#include "shell/ui_text.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QTest>

#include <vector>

using namespace ravir;

namespace {

// The geometry the fixed steps give (units): layout 0 one row, layout 1 three and two.
std::vector<QRect> fixedKindGeometry(int layout, int w, int y)
{
    const int m = Scaled(4);
    const int gap = Scaled(2);
    const int h = Scaled(20) - gap;
    const std::vector<std::vector<int>> rows = layout == 0
        ? std::vector<std::vector<int>>{{55, 55, 92, 55, 55}}
        : std::vector<std::vector<int>>{{82, 70, 82}, {82, 70}};
    std::vector<QRect> out;
    for (const std::vector<int>& steps : rows) {
        int x = m;
        for (size_t k = 0; k < steps.size(); ++k) {
            const int bw = k + 1 == steps.size() ? std::max(Scaled(steps[k]), w - x - m)
                                                 : Scaled(steps[k]) - gap;
            out.emplace_back(x, y, bw, h);
            x += Scaled(steps[k]);
        }
        y += Scaled(20);
    }
    return out;
}

}  // namespace

class BrowserLanguageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QWidget probe;
        probe.show();
        QVERIFY(ComputeScalesAndFonts(&probe));
    }
    void cleanupTestCase() { chooseUiTextRow(MessageLanguage::Japanese); }

    void kindLabelsFitOrAreElidedWhole_data()
    {
        QTest::addColumn<int>("language");
        QTest::addRow("Japanese") << static_cast<int>(MessageLanguage::Japanese);
        QTest::addRow("English") << static_cast<int>(MessageLanguage::English);
    }
    void kindLabelsFitOrAreElidedWhole()
    {
        QFETCH(int, language);
        const auto lang = static_cast<MessageLanguage>(language);
        chooseUiTextRow(lang);
        Catalogue catalogue;
        CFilerContainerDlg browser(catalogue);
        browser.show();  // a shown panel lays out at each resize
        const QFontMetrics fm(SharedFont(kFont10));
        // From the width the window gives the browser (452 units) down to far less than a row
        // needs.
        for (const int units : {452, 330, 240, 120}) {
            for (const int layout : {0, 1}) {
                const QString where = QStringLiteral("%1 units, layout %2").arg(units).arg(layout);
                browser.setLayoutMode(layout);
                browser.resize(Scaled(units), Scaled(560));
                int elided = 0;
                int bottom = 0;
                for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i) {
                    CSkinCheckButton* b = browser.kindButton(i);
                    const QString label = b->text();
                    QVERIFY(!label.isEmpty());
                    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(b);
                    QCOMPARE(iface->text(QAccessible::Name), label);
                    const int room = b->width() - skin::unit(16);
                    if (fm.horizontalAdvance(label) <= room) {
                        QVERIFY2(!b->textElided(), qPrintable(where));
                        QCOMPARE(b->shownText(), label);
                        QVERIFY2(b->toolTip().isEmpty(), qPrintable(where + u' ' + label));
                    } else {
                        ++elided;
                        QVERIFY2(b->textElided(), qPrintable(where + u' ' + label));
                        // Cut with "…" (nothing when even that has no room).
                        QVERIFY2(b->shownText().isEmpty() || b->shownText().endsWith(QChar(0x2026)),
                                 qPrintable(b->shownText()));
                        QVERIFY(fm.horizontalAdvance(b->shownText()) <= room);
                        QCOMPARE(b->toolTip(), label);
                    }
                    bottom = std::max(bottom, b->geometry().bottom());
                    // Side by side, none over another.
                    for (int j = 0; j < i; ++j)
                        QVERIFY2(!b->geometry().intersects(browser.kindButton(j)->geometry()),
                                 qPrintable(where));
                }
                // At the width the window gives the browser nothing is cut, and every button
                // lies inside the panel (the Japanese row fits a narrower one too).
                const bool realWidth =
                    units == 452 || (lang == MessageLanguage::Japanese && units == 330);
                if (realWidth) {
                    QVERIFY2(elided == 0, qPrintable(where));
                    for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i)
                        QVERIFY2(browser.rect().contains(browser.kindButton(i)->geometry()),
                                 qPrintable(where));
                }
                if (lang == MessageLanguage::English && units == 240 && layout == 1)
                    QVERIFY2(elided == 0, qPrintable(where));
                if (lang == MessageLanguage::English && units == 120)
                    QVERIFY2(elided > 0, qPrintable(where));
                // There the Japanese row keeps its fixed steps exactly.
                if (lang == MessageLanguage::Japanese && realWidth) {
                    const int y = browser.kindButton(0)->y();
                    const std::vector<QRect> fixed = fixedKindGeometry(layout, browser.width(), y);
                    for (int i = 0; i < CFilerContainerDlg::kKindCount; ++i)
                        QCOMPARE(browser.kindButton(i)->geometry(), fixed[static_cast<size_t>(i)]);
                }
            }
        }
    }

    void selectListRowsReadTheirTick()
    {
        // Qt's rows of a tree view, checkable; the name reads the kind and the time of a
        // recording, then the columns; a file that is no recording reads its columns.
        chooseUiTextRow(MessageLanguage::English);
        RecordList records(2);
        records[0].path = QStringLiteral("/card/Normal/AG__-250314-120001-000001M.MOV");
        records[0].size = 3 << 20;
        records[1].path = QStringLiteral("/card/Normal/notes.MOV");
        records[1].size = 1 << 20;
        CFileSelectDlg dlg(CFileSelectDlg::kDelete);
        dlg.setAllList(records);
        dlg.setCurrentList(records);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        CSkinListCtrl* list = dlg.listCtrl();
        QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list);
        QVERIFY(view && view->tableInterface());
        QAccessibleInterface* row0 = view->tableInterface()->cellAt(0, 0);
        QAccessibleInterface* row1 = view->tableInterface()->cellAt(1, 0);
        QVERIFY(row0 && row1);
        QCOMPARE(row0->role(), QAccessible::TreeItem);
        QCOMPARE(row0->text(QAccessible::Name),
                 QStringLiteral("Impact, 2025/03/14 12:00:01, AG__-250314-120001-000001M.MOV, 3 MB"));
        QCOMPARE(row1->text(QAccessible::Name), QStringLiteral("notes.MOV, 1 MB"));
        QVERIFY(row0->state().checkable && row1->state().checkable);
        QVERIFY(!row0->state().checked);

        // Space on the current row ticks and unticks it.
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(dlg.isTicked(0));
        QVERIFY(row0->state().checked);
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!dlg.isTicked(0));
        QVERIFY(!row0->state().checked);

        // A click ticks the second row; hovering the first (its hot image) ticks nothing.
        QTest::mouseMove(list->viewport(), list->visualItemRect(list->topLevelItem(0)).center());
        QVERIFY(!row0->state().checked);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(1)).center());
        QVERIFY(dlg.isTicked(1));
        QVERIFY(row1->state().checked);
        QVERIFY(!row0->state().checked);

        // A check state written from outside (a style's indicator) does not untick the row.
        list->model()->setData(list->model()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(dlg.isTicked(1) && row1->state().checked);

        // Japanese rows read the Japanese kind.
        chooseUiTextRow(MessageLanguage::Japanese);
        CFileSelectDlg ja(CFileSelectDlg::kJoin);
        ja.setAllList(records);
        ja.setCurrentList(records);
        ja.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ja));
        QAccessibleInterface* jaView = QAccessible::queryAccessibleInterface(ja.listCtrl());
        QAccessibleInterface* jaRow = jaView->tableInterface()->cellAt(0, 0);
        QVERIFY(jaRow);
        QVERIFY(jaRow->text(QAccessible::Name)
                    .startsWith(text(TXT_IMPACT_3) + QStringLiteral(", 2025/03/14")));
    }
};

QTEST_MAIN(BrowserLanguageTest)
#include "browser_language_qtest.moc"
