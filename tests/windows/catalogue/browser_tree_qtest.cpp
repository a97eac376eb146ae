// The browser's folder tree stays in step with the catalogue: selecting items rescans them, which
// rebuilds their children in the catalogue, and every item the widget shows afterwards is one the
// catalogue still has. Run under the sanitizer build this also proves that no freed item is used.
#include "catalogue/catalogue.h"
#include "windows/catalogue/browser_pane.h"
#include "sample_data.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <functional>

using namespace ravir;

namespace {

// Every item of the catalogue's tree, depth first.
void collectItems(const TreeItem* item, std::vector<const TreeItem*>& out)
{
    out.push_back(item);
    for (const auto& c : item->children())
        collectItems(c.get(), out);
}

bool catalogueHolds(const Catalogue& catalogue, const TreeItem* wanted)
{
    std::vector<const TreeItem*> all;
    for (const auto& top : catalogue.tree().topLevel())
        collectItems(top.get(), all);
    return std::find(all.begin(), all.end(), wanted) != all.end();
}

// The texts of the widget's items and of the catalogue's items, outline form.
QStringList widgetOutline(QTreeWidget* tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        out << QString(depth, QLatin1Char(' ')) + (*it)->text(0);
    }
    return out;
}

QStringList catalogueOutline(const Catalogue& catalogue)
{
    std::vector<const TreeItem*> all;
    for (const auto& top : catalogue.tree().topLevel())
        collectItems(top.get(), all);
    QStringList out;
    for (const TreeItem* t : all)
        out << QString(t->depth(), QLatin1Char(' ')) + t->text();
    return out;
}

}  // namespace

class BrowserTreeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void selectingScannedItemsRepeatedlyKeepsTheTreeInStep();
};

void BrowserTreeTest::selectingScannedItemsRepeatedlyKeepsTheTreeInStep()
{
    const QString card = test::smallCard(0);
    QVERIFY(!card.isEmpty());
    Catalogue catalogue;
    catalogue.OpenSource(card, SourceMode::Drive);
    catalogue.SelectDefaultItem();
    BrowserPane pane(catalogue);
    pane.reload();
    auto* tree = pane.findChild<QTreeWidget*>(QStringLiteral("folderTree"));
    QVERIFY(tree);
    QVERIFY(tree->topLevelItemCount() > 0);

    // Three rounds over every item the widget shows, folders (which rescan and rebuild their
    // children) and groups alike, in the order shown and backwards.
    for (int round = 0; round < 3; ++round) {
        QStringList seen = widgetOutline(tree);
        for (int i = 0; i < seen.size(); ++i) {
            const int index = (round == 1) ? static_cast<int>(seen.size()) - 1 - i : i;
            QTreeWidgetItemIterator it(tree);
            for (int k = 0; k < index && *it; ++k)
                ++it;
            if (!*it)
                break;
            tree->setCurrentItem(*it);
            // The catalogue's selection is an item it holds, named as the widget's current item.
            const TreeItem* selected = catalogue.tree().selected();
            QVERIFY(selected);
            QVERIFY2(catalogueHolds(catalogue, selected), "selected item is not in the tree");
            QCOMPARE(selected->text(), tree->currentItem()->text(0));
            // The widget shows exactly the catalogue's tree after the rescan.
            QCOMPARE(widgetOutline(tree), catalogueOutline(catalogue));
        }
    }
    QVERIFY(pane.rowCount() >= 0);
}

QTEST_MAIN(BrowserTreeTest)
#include "browser_tree_qtest.moc"
