// The file browser on a card of 10,000 recordings (offscreen): how long the window thread is
// busy filling the tree and the list after the scan, switching to another group (which includes
// the catalogue's rescan of it; its peer is the rescan alone, in the same run), and filling the
// list and the selection dialog with 1,500 rows (peer: a plain QTreeWidget filled with the same
// texts). Nothing is asserted; the ratios are printed by the reporter of each run.
#include "catalogue/catalogue.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/catalogue/folder_tree_ctrl.h"
#include "catalogue/recording_name.h"
#include "samplecard/sample_card.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

using namespace ravir;

QString benchCard()
{
    const QString dir = qEnvironmentVariable("RAVIR_BENCH_DIR", QStringLiteral("/tmp/ravir-bench"));
    const QString root = QStringLiteral("%1/catalogue-card-10000-L0").arg(dir);
    if (QFileInfo::exists(root + QStringLiteral("/.complete")))
        return root;
    QDir(root).removeRecursively();
    samples::SampleCardOptions o;
    o.layout = 0;
    o.count = 10000;
    o.tiny = true;
    std::fprintf(stderr, "making %s ...\n", qPrintable(root));
    QString error;
    if (!samples::WriteSampleCard(root, o, nullptr, &error))
        return {};
    QFile mark(root + QStringLiteral("/.complete"));
    return mark.open(QIODevice::WriteOnly) ? root : QString();
}

Catalogue& openedCatalogue()
{
    static Catalogue catalogue;
    static bool opened = false;
    if (!opened) {
        catalogue.OpenSource(benchCard(), SourceMode::Drive);
        catalogue.SelectDefaultItem();
        opened = true;
    }
    return catalogue;
}

RecordList rows1500()
{
    RecordList all = openedCatalogue().CollectAllRecordings();
    all.resize(std::min<size_t>(all.size(), 1500));
    return all;
}

void BM_BrowserReload(benchmark::State& state)
{
    Catalogue& c = openedCatalogue();
    CFilerContainerDlg browser(c);
    browser.resize(560, 700);
    for (auto _ : state)
        browser.reload();
    state.counters["tree_items"] = c.tree().count();
    state.counters["rows"] = browser.rowCount();
}

// Selecting the groups of the tree in turn: the rescan plus the widgets' update.
void BM_BrowserSwitchGroup(benchmark::State& state)
{
    Catalogue& c = openedCatalogue();
    CFilerContainerDlg browser(c);
    browser.resize(560, 700);
    browser.reload();
    CFolderTreeCtrl* tree = browser.treeCtrl();
    for (auto _ : state) {
        if (!tree->selectNextItem()) {
            state.PauseTiming();
            tree->setCurrentItem(tree->topLevelItem(0));
            state.ResumeTiming();
        }
    }
}

// The peer: the same rescans without any window.
void BM_ScanTreeItemOnly(benchmark::State& state)
{
    Catalogue& c = openedCatalogue();
    // By names: a rescan rebuilds the scanned item's children.
    std::vector<QStringList> items;
    std::function<void(const TreeItem*)> walk = [&](const TreeItem* t) {
        items.push_back(FolderTree::namesOf(t));
        for (const auto& ch : t->children())
            walk(ch.get());
    };
    for (const auto& top : c.tree().topLevel())
        walk(top.get());
    size_t i = 0;
    for (auto _ : state) {
        c.ScanTreeItem(c.tree().find(items[i % items.size()]));
        ++i;
    }
}

void BM_FileList1500(benchmark::State& state)
{
    const RecordList rows = rows1500();
    CFileListCtrl list;
    list.resize(400, 700);
    for (auto _ : state)
        list.setRecords(rows, KindFilter{});
}

void BM_PlainTree1500(benchmark::State& state)
{
    const RecordList rows = rows1500();
    QTreeWidget plain;
    plain.setColumnCount(2);
    plain.resize(400, 700);
    for (auto _ : state) {
        plain.clear();
        QList<QTreeWidgetItem*> items;
        for (const RecordingRecord& r : rows)
            items << new QTreeWidgetItem({ListText(r.path), QString()});
        plain.addTopLevelItems(items);
    }
}

void BM_SelectDialog1500(benchmark::State& state)
{
    const RecordList rows = rows1500();
    for (auto _ : state) {
        CFileSelectDlg dialog(CFileSelectDlg::kJoin);
        dialog.setCurrentList(rows);
        dialog.setSelectAllShown(true);
        benchmark::DoNotOptimize(dialog.totalMegabytes());
    }
}

void BM_FileListScroll1500Thumbnails(benchmark::State& state)
{
    const RecordList rows = rows1500();
    CFileListCtrl list;
    list.resize(400, 700);
    list.setRecords(rows, KindFilter{});
    list.setThumbnailsShown(true);
    list.show();
    int row = 0;
    for (auto _ : state) {
        row = (row + 20) % 1500;
        list.scrollToItem(list.topLevelItem(row));
        benchmark::DoNotOptimize(list.viewport()->grab());  // paints the rows in view
    }
}

}  // namespace

BENCHMARK(BM_BrowserReload)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowserSwitchGroup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTreeItemOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileList1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTree1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectDialog1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileListScroll1500Thumbnails)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
