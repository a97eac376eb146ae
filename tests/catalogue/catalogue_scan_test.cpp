// The catalogue scan on cards written by the tests: tree order, groups, records, filters, sorts,
// limits and the three kinds of source.
#include "card_builder.h"
#include "catalogue/catalogue.h"
#include "catalogue/recording_name.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace ravir {
namespace {

using test::CardBuilder;
using test::recName;

QStringList texts(const std::vector<std::unique_ptr<TreeItem>>& items)
{
    QStringList out;
    for (const auto& item : items)
        out << item->text();
    return out;
}

QStringList names(const RecordList& records)
{
    QStringList out;
    for (const RecordingRecord& r : records)
        out << r.fileName();
    return out;
}

QStringList selectedNames(const Catalogue& c)
{
    return c.tree().selected() ? FolderTree::namesOf(c.tree().selected()) : QStringList();
}

TEST(CatalogueScan, Layout0CardTreeGroupsAndDefaultSelection)
{
    CardBuilder card;
    for (int n = 1; n <= 3; ++n)
        card.recording("Normal", "_NData", recName("A___", n));
    card.recording("Normal", "_NData", recName("AG__", 4));
    card.recording("Normal", "_NData", recName("AM__", 10, "M", "250102"));
    card.recording("Parking", "_PData", recName("P___", 20));
    card.recording("Parking", "_PData", recName("PG__", 21));

    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    EXPECT_TRUE(c.layoutFoldersExist());
    EXPECT_EQ(CurrentLayoutIndex(), 0);
    // Ordinal order puts '_' after the capitals.
    EXPECT_EQ(texts(c.tree().topLevel()), QStringList({"Normal", "Parking", "_NData", "_PData"}));
    const TreeItem* normal = c.tree().topLevel()[0].get();
    const TreeItem* parking = c.tree().topLevel()[1].get();
    EXPECT_EQ(texts(normal->children()), QStringList({"250101_0001", "250102_0001"}));
    EXPECT_EQ(texts(parking->children()), QStringList({"250101_0001"}));
    // Kind masks of folders and groups; groups expanded with their ancestors.
    EXPECT_EQ(normal->kindMask(), kKindMaskContinuous | kKindMaskImpact | kKindMaskManual);
    EXPECT_EQ(normal->children()[0]->kindMask(), kKindMaskContinuous | kKindMaskImpact);
    EXPECT_EQ(parking->children()[0]->kindMask(), kKindMaskParking | kKindMaskParkingImpact);
    EXPECT_TRUE(normal->children()[0]->expanded());
    EXPECT_TRUE(normal->expanded());
    EXPECT_EQ(c.tree().topLevel()[2]->kindMask(), 0);

    // Folder records: each group's first movie and every top-level folder.
    QStringList folderRecordNames = names(c.folderRecords());
    folderRecordNames.sort();
    EXPECT_EQ(folderRecordNames,
              QStringList({recName("AM__", 10, "M", "250102"), recName("A___", 1), "Normal",
                           recName("P___", 20), "Parking", "_NData", "_PData"}));
    for (const RecordingRecord& r : c.folderRecords()) {
        EXPECT_EQ(r.row, -1);
        EXPECT_EQ(r.size, kFolderRecordSize);
        EXPECT_EQ(r.telemetrySize, kFolderRecordSize);
    }

    EXPECT_TRUE(c.SelectDefaultItem());
    EXPECT_EQ(selectedNames(c), QStringList({"Normal", "250101_0001"}));
    EXPECT_EQ(c.pathField(), card.root() + "/Normal/250101_0001");
    EXPECT_EQ(names(c.currentRecords()),
              QStringList({recName("A___", 1), recName("A___", 2), recName("A___", 3),
                           recName("AG__", 4)}));
    for (size_t i = 0; i < c.currentRecords().size(); ++i) {
        const RecordingRecord& r = c.currentRecords()[i];
        EXPECT_EQ(r.row, static_cast<int>(i));
        EXPECT_EQ(r.kindLetter, 'A');
        EXPECT_EQ(r.size, 300u);
        EXPECT_EQ(r.pairedSize, 400u);
        EXPECT_EQ(r.telemetrySize, static_cast<uint64_t>(CardBuilder::telemetryBytes(0).size()));
        EXPECT_EQ(r.attributes, 0u);
    }
    // Selecting another group rebuilds the current records from the disk.
    EXPECT_TRUE(c.SelectItem(normal->children()[1].get()));
    EXPECT_EQ(names(c.currentRecords()), QStringList({recName("AM__", 10, "M", "250102")}));
    EXPECT_FALSE(c.SelectItem(normal->children()[1].get()));  // no change, no rescan
}

TEST(CatalogueScan, Layout1PutsVideoBeforeParking)
{
    CardBuilder card;
    card.recording("Video", "_VData", recName("A___", 5));
    card.recording("Parking", "_PData", recName("P___", 6));
    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    EXPECT_EQ(CurrentLayoutIndex(), 1);
    EXPECT_TRUE(c.videoFirst());
    EXPECT_EQ(texts(c.tree().topLevel()), QStringList({"Video", "Parking", "_PData", "_VData"}));
    c.SelectDefaultItem();
    EXPECT_EQ(selectedNames(c), QStringList({"Video", "250101_0001"}));
    ASSERT_EQ(c.currentRecords().size(), 1u);
    // The telemetry file is found in _VData.
    EXPECT_GT(c.currentRecords()[0].telemetrySize, 0u);
}

// Folder mode over a folder of main movies with the given numbers and letters.
struct GroupCase {
    QStringList group;
    int count;
};
std::vector<GroupCase> groupsOf(const std::vector<std::pair<QString, int>>& files,
                                const QString& date = "250101")
{
    CardBuilder card;
    for (const auto& [letters, number] : files)
        card.movie("copy/" + recName(letters, number, "M", date));
    Catalogue c;
    c.OpenSource(card.root() + "/copy", SourceMode::Folder);
    std::vector<GroupCase> out;
    EXPECT_EQ(c.tree().topLevel().size(), 1u);
    if (c.tree().topLevel().empty())
        return out;
    const TreeItem* top = c.tree().topLevel()[0].get();
    for (const auto& child : top->children()) {
        c.SelectItem(child.get());
        out.push_back({QStringList({child->text()}), static_cast<int>(c.currentRecords().size())});
    }
    return out;
}

TEST(CatalogueGroups, RunsOfConsecutiveNumbers)
{
    {
        SCOPED_TRACE("gap after 000105");
        const auto groups = groupsOf({{"A___", 101}, {"A___", 102}, {"A___", 103}, {"A___", 104},
                                      {"A___", 105}, {"A___", 107}});
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(groups[0].group.front(), "250101_0001");
        EXPECT_EQ(groups[0].count, 5);
        EXPECT_EQ(groups[1].group.front(), "250101_0002");
        EXPECT_EQ(groups[1].count, 1);
    }
    {
        SCOPED_TRACE("fourth letter S");
        const auto groups = groupsOf({{"A___", 1}, {"A___", 2}, {"AG_S", 3}, {"A___", 4}});
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(groups[0].count, 2);
        EXPECT_EQ(groups[1].count, 2);
    }
    {
        SCOPED_TRACE("first file of a walk, whatever its number");
        const auto groups = groupsOf({{"A___", 999998}, {"A___", 999999}, {"A___", 0}});
        // Number order puts 000000 first; 999999 -> 000000 is no continuation either.
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(groups[0].count, 1);
        EXPECT_EQ(groups[1].count, 2);
    }
    {
        SCOPED_TRACE("250 consecutive files");
        std::vector<std::pair<QString, int>> files;
        for (int n = 1; n <= 250; ++n)
            files.push_back({"A___", n});
        const auto groups = groupsOf(files);
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(groups[0].count, 200);
        EXPECT_EQ(groups[1].count, 50);
        EXPECT_EQ(groups[1].group.front(), "250101_0002");
    }
}

TEST(CatalogueGroups, GroupNamesCountPerDate)
{
    GroupState state;
    const auto next = [&state](const QString& name) {
        const QString g = GroupNameOf("/x/" + name, state);
        state.previousPath = "/x/" + name;
        state.currentName = g;
        return g;
    };
    EXPECT_EQ(next(recName("A___", 7, "M", "250101")), "250101_0001");
    EXPECT_EQ(next(recName("A___", 8, "M", "250101")), "250101_0001");
    EXPECT_EQ(next(recName("A___", 9, "M", "250102")), "250101_0001");  // a run crosses midnight
    EXPECT_EQ(next(recName("A___", 11, "M", "250102")), "250102_0001");
    EXPECT_EQ(next(recName("A___", 20, "M", "250101")), "250101_0002");
    EXPECT_EQ(state.count, 1);
}

TEST(CatalogueScan, MainSubFolderIsScannedAndSubMoviesOnlySized)
{
    CardBuilder card;
    for (int n = 1; n <= 2; ++n) {
        card.movie("Normal/Main/" + recName("A___", n), 300 + n);
        card.movie("Normal/Sub_/" + recName("A___", n, "S"), 500);
        card.telemetry("_NData/" + recName("A___", n, "D").replace(".MOV", ".ADA"));
    }
    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    const TreeItem* normal = c.tree().find({"Normal"});
    ASSERT_NE(normal, nullptr);
    // The groups of Main, not the Main and Sub_ folders themselves.
    EXPECT_EQ(texts(normal->children()), QStringList({"250101_0001"}));
    EXPECT_EQ(normal->kindMask(), kKindMaskContinuous);
    c.SelectDefaultItem();
    ASSERT_EQ(c.currentRecords().size(), 2u);
    EXPECT_EQ(c.currentRecords()[0].path, card.path("Normal/Main/" + recName("A___", 1)));
    EXPECT_EQ(c.currentRecords()[0].size, 301u);
    EXPECT_EQ(c.currentRecords()[0].pairedSize, 500u);
    // Telemetry beside "Main" is not where the layout puts it: size 0.
    EXPECT_EQ(c.currentRecords()[0].telemetrySize, 0u);
    // The newest recording of the scanned Main folder gave no readable telemetry: no info.
    EXPECT_TRUE(c.recorderInfo().version.isEmpty());
}

TEST(CatalogueRecords, MissingTelemetryAndTriggerCode)
{
    CardBuilder card;
    card.movie("Normal/" + recName("A___", 1));
    card.movie("Normal/" + recName("A___", 2));
    card.file("_NData/" + recName("A___", 2, "D").replace(".MOV", ".ADA"),
              CardBuilder::telemetryBytes(1));
    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    c.SelectDefaultItem();
    ASSERT_EQ(c.currentRecords().size(), 2u);
    const RecordingRecord& missing = c.currentRecords()[0];
    EXPECT_EQ(missing.telemetrySize, 0u);
    EXPECT_EQ(missing.trigger, 0);
    EXPECT_EQ(missing.pairedSize, 0u);
    const RecordingRecord& marked = c.currentRecords()[1];
    EXPECT_EQ(marked.trigger, 1);
    EXPECT_GT(marked.telemetrySize, 0u);
    // Recorder information from the newest recording (number 2).
    EXPECT_EQ(c.recorderInfo().version, "1.5.2");
    EXPECT_EQ(c.recorderInfo().number, "004711");
    EXPECT_EQ(c.recorderInfo().downloadKey, "");
    EXPECT_EQ(c.recorderInfo().downloadFlag, 0);

    // With the download marker at the root.
    card.file("ZU590-MVS_download.url", "[InternetShortcut]\n");
    c.OpenSource(card.root(), SourceMode::Drive);
    EXPECT_EQ(c.recorderInfo().downloadKey, "ZU590-MVS_download");
    EXPECT_EQ(c.recorderInfo().downloadFlag, 1);

    // Without engines nothing is listable and no header is read.
    Catalogue noEngine;
    noEngine.setEnginesReady(false);
    noEngine.OpenSource(card.root(), SourceMode::Drive);
    noEngine.SelectDefaultItem();
    EXPECT_TRUE(noEngine.tree().find({"Normal"})->children().empty());
    EXPECT_TRUE(noEngine.currentRecords().empty());
}

TEST(CatalogueRecords, OnlyListableRecordingsAreListed)
{
    CardBuilder card;
    card.movie("copy/" + recName("A___", 1));
    card.file("copy/" + recName("A___", 2), "not a movie, but long enough? no.");  // no ftyp
    card.movie("copy/" + recName("A___", 3, "M", "250101", "120000", "mov"));      // lower case
    card.movie("copy/" + recName("A___", 4, "S"));                                // sub camera
    card.movie("copy/" + recName("__O_", 5));                                     // no kind
    card.movie("copy/.A___-250101-120000-000006M.MOV");                            // hidden
    card.folder("copy/" + recName("A___", 7));                                    // a folder
    card.movie("copy/" + recName("A___", 8));
    card.file("copy/notes.txt", "x");
    Catalogue c;
    c.OpenSource(card.path("copy"), SourceMode::Folder);
    EXPECT_EQ(c.tree().rootPath(), card.root());
    const TreeItem* top = c.tree().find({"copy"});
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->children().size(), 2u);  // 1 and 8 are not consecutive
    const RecordList& all = c.CollectAllRecordings();
    EXPECT_EQ(names(all), QStringList({recName("A___", 1), recName("A___", 8)}));

    // BuildRecordingRecord: .MOV needed, a folder or a missing file fails.
    RecordList out;
    EXPECT_FALSE(c.BuildRecordingRecord(card.path("copy/notes.txt"), out));
    EXPECT_FALSE(c.BuildRecordingRecord(card.path("copy/" + recName("A___", 7)), out));
    EXPECT_FALSE(c.BuildRecordingRecord(card.path("copy/" + recName("A___", 99)), out));
    EXPECT_TRUE(out.empty());
}

TEST(CatalogueRecords, SizesAreFull64BitSizes)
{
    CardBuilder card;
    card.movie("copy/" + recName("A___", 1));
    const QString path = card.path("copy/" + recName("A___", 1));
    const uint64_t fiveGiB = 5ull << 30;
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), static_cast<off_t>(fiveGiB)), 0);
    Catalogue c;
    RecordList out;
    ASSERT_TRUE(c.BuildRecordingRecord(path, out));
    EXPECT_EQ(out[0].size, fiveGiB);
}

TEST(CatalogueSources, SingleFileSource)
{
    CardBuilder card;
    card.recording("Normal", "_NData", recName("AG__", 42));
    card.file("Normal/" + recName("A___", 43), QByteArray(400, 'x'));
    Catalogue c;
    c.OpenSource(card.path("Normal/" + recName("AG__", 42)), SourceMode::File);
    EXPECT_TRUE(c.tree().topLevel().empty());
    EXPECT_EQ(c.tree().rootPath(), card.path("Normal"));
    ASSERT_EQ(c.currentRecords().size(), 1u);
    EXPECT_EQ(c.currentRecords()[0].pairedSize, 400u);
    EXPECT_GT(c.currentRecords()[0].telemetrySize, 0u);
    EXPECT_TRUE(c.SelectDefaultItem());
    EXPECT_EQ(c.CollectAllRecordings().size(), 1u);
    // A file that fails the container check gives an empty catalogue.
    c.OpenSource(card.path("Normal/" + recName("A___", 43)), SourceMode::File);
    EXPECT_TRUE(c.currentRecords().empty());
}

TEST(CatalogueSources, CollectAllRecordingsWalksThreeLevels)
{
    CardBuilder card;
    card.recording("Video", "_VData", recName("A___", 2));
    card.recording("Video", "_VData", recName("A___", 1));
    card.recording("Parking", "_PData", recName("P___", 9));
    card.movie("Extra/a/b/" + recName("AM__", 30));    // depth 3: collected
    card.movie("Extra/a/b2/c/" + recName("AM__", 31)); // depth 4: not
    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    EXPECT_EQ(names(c.CollectAllRecordings()),
              QStringList({recName("AM__", 30), recName("A___", 1), recName("A___", 2),
                           recName("P___", 9)}));
    for (size_t i = 0; i < c.allRecords().size(); ++i)
        EXPECT_EQ(c.allRecords()[i].row, static_cast<int>(i));
}

TEST(CatalogueLimits, TreeStopsAt1500Items)
{
    CardBuilder card;
    // 1600 single-file groups (every second number).
    for (int n = 0; n < 1600; ++n)
        card.movie("copy/" + recName("A___", 2 * n));
    Catalogue c;
    c.OpenSource(card.path("copy"), SourceMode::Folder);
    EXPECT_EQ(c.tree().count(), kMaxTreeItems);
    EXPECT_EQ(c.tree().topLevel()[0]->children().size(), static_cast<size_t>(kMaxTreeItems - 1));
    // The last listed group still gives its recording.
    c.SelectItem(c.tree().topLevel()[0]->children().back().get());
    EXPECT_EQ(c.currentRecords().size(), 1u);
}

TEST(CatalogueState, ClearingIgnoresSelectionAndSourceLostIsCleared)
{
    CardBuilder card;
    card.recording("Normal", "_NData", recName("A___", 1));
    Catalogue c;
    c.OpenSource(card.root(), SourceMode::Drive);
    c.SelectDefaultItem();
    ASSERT_EQ(c.currentRecords().size(), 1u);
    c.sourceLostFlag() = true;
    TreeItem* normal = c.tree().find({"Normal"});
    c.tree().setClearing(true);
    EXPECT_EQ(c.ScanTreeItem(normal), 0);
    EXPECT_EQ(c.currentRecords().size(), 1u);
    EXPECT_TRUE(c.sourceLost());
    c.tree().setClearing(false);
    c.SelectItem(normal);
    EXPECT_FALSE(c.sourceLost());
    c.Clear();
    EXPECT_EQ(c.tree().count(), 0);
    EXPECT_EQ(c.tree().selected(), nullptr);
    EXPECT_TRUE(c.currentRecords().empty());
    EXPECT_TRUE(c.folderRecords().empty());
}

TEST(CatalogueKindFilter, LaterFlagsOverrideEarlierOnes)
{
    const auto passes = [](const char* letters, const char* flags) {
        return PassesKindFilter(recName(letters, 1), *KindFilter::fromText(flags));
    };
    // Continuous on, impact off: a continuous impact recording is hidden, a plain one shown.
    EXPECT_FALSE(passes("AG__", "10111"));
    EXPECT_TRUE(passes("A___", "10111"));
    // Impact on alone shows continuous-mode impact recordings, time-lapse ones too.
    EXPECT_TRUE(passes("AG__", "01000"));
    EXPECT_TRUE(passes("TG__", "01000"));
    // Manual flag decides for M recordings, whatever the mode.
    EXPECT_FALSE(passes("AM__", "11011"));
    EXPECT_TRUE(passes("PM__", "00100"));
    // Parking impact passes only with its own flag.
    EXPECT_FALSE(passes("PG__", "11110"));
    EXPECT_TRUE(passes("PG__", "00001"));
    // '_' first and third letter T: the parking flag only.
    EXPECT_TRUE(passes("__T_", "00010"));
    EXPECT_FALSE(passes("__T_", "11101"));
    // Parking time-lapse: the continuous flag (mode) or the parking flag.
    EXPECT_TRUE(passes("P_T_", "00010"));
    EXPECT_FALSE(passes("P_T_", "11101"));
    EXPECT_FALSE(passes("A___", "00000"));

    RecordList records;
    for (const char* letters : {"A___", "AG__", "P___", "PG__"}) {
        RecordingRecord r;
        r.path = "/c/" + recName(letters, 1);
        records.push_back(r);
    }
    EXPECT_EQ(ApplyKindFilter(records, *KindFilter::fromText("10010")).size(), 2u);
    EXPECT_TRUE(ApplyKindFilter(records, *KindFilter::fromText("00000")).empty());
    EXPECT_FALSE(KindFilter::fromText("1111").has_value());
    EXPECT_FALSE(KindFilter::fromText("11121").has_value());
}

TEST(CatalogueOrders, SortsRemoveAndRenumber)
{
    const auto rec = [](const QString& path, uint32_t attributes = kAttributeNormal) {
        RecordingRecord r;
        r.path = path;
        r.attributes = attributes;
        return r;
    };
    RecordList byNumber = {rec("/c/notes.txt"), rec("/c/" + recName("PG__", 3)),
                           rec("/c/" + recName("A___", 1)), rec("/c/" + recName("AM__", 2))};
    SortByNumber(byNumber);
    EXPECT_EQ(names(byNumber), QStringList({recName("A___", 1), recName("AM__", 2),
                                            recName("PG__", 3), "notes.txt"}));

    RecordList byName = {rec("/c/b.MOV"), rec("/c/Parking", kAttributeDirectory),
                         rec("/c/a.MOV"), rec("/c/Video", kAttributeDirectory),
                         rec("/c/_VData", kAttributeDirectory)};
    SortByName(byName, false);
    EXPECT_EQ(names(byName), QStringList({"Parking", "Video", "_VData", "a.MOV", "b.MOV"}));
    SortByName(byName, true);
    EXPECT_EQ(names(byName), QStringList({"Video", "Parking", "_VData", "a.MOV", "b.MOV"}));

    RecordList list = {rec("/c/Normal/x.MOV"), rec("/c/Normal/y.MOV"), rec("/d/x.MOV"),
                       rec("/c/z.MOV")};
    RemoveByName(list, {rec("/elsewhere/x.MOV")});
    EXPECT_EQ(names(list), QStringList({"y.MOV", "z.MOV"}));
    RenumberRows(list);
    EXPECT_EQ(list[0].row, 0);
    EXPECT_EQ(list[1].row, 1);
}

TEST(CatalogueFolders, EnumerateSkipsHiddenEntries)
{
    CardBuilder card;
    card.file("f/a", "1");
    card.file("f/.hidden", "1");
    card.folder("f/sub");
    card.folder("f/.dir");
    RecordList entries;
    ASSERT_TRUE(EnumerateFolder(card.path("f"), entries));
    SortByName(entries, false);
    EXPECT_EQ(names(entries), QStringList({"sub", "a"}));
    EXPECT_TRUE(entries[0].isFolderEntry());
    EXPECT_FALSE(entries[1].isFolderEntry());
    RecordList none;
    EXPECT_FALSE(EnumerateFolder(card.path("missing"), none));
    EXPECT_FALSE(EnumerateFolder(card.path("f/a"), none));
}

}  // namespace
}  // namespace ravir
