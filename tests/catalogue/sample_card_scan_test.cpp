// The catalogue of the generated sample cards (both layouts) and of a folder copied from one,
// checked against a listing of the card made independently with the recorder's expression.
#include "catalogue/catalogue.h"
#include "sample_data.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace ravir {
namespace {

// Main-camera movies of a folder that a viewer may list: the recorder's main-only expression,
// a kind, and "ftyp" at bytes 4..7 of a file of at least 260 bytes.
QStringList listableMovies(const QString& folder)
{
    static const std::regex mainOnly("[APT_]{1,1}[GM_]{1,1}[ORT_]{1,1}[S_]{1,1}-[0-9]{6,6}-"
                                     "[0-9]{6,6}-[0-9]{6,6}[M]{1,1}.MOV");
    QStringList out;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
        const std::string name = info.fileName().toStdString();
        if (!std::regex_match(name, mainOnly) || (name[0] == '_' && name[2] != 'T'))
            continue;
        QFile f(info.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray head = f.read(260);
        if (head.size() == 260 && head.mid(4, 4) == "ftyp")
            out << info.fileName();
    }
    out.sort();
    return out;
}

QStringList sortedNames(const RecordList& records)
{
    QStringList out;
    for (const RecordingRecord& r : records)
        out << r.fileName();
    out.sort();
    return out;
}

qint64 sizeOrZero(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

TEST(SampleCardScan, BothLayoutsMatchTheCardsFiles)
{
    for (int layout = 0; layout < 2; ++layout) {
        SCOPED_TRACE(layout);
        const QString root = test::smallCard(layout);
        ASSERT_FALSE(root.isEmpty());
        const QString movieFolder = layout == 0 ? "Normal" : "Video";
        const QString dataFolder = layout == 0 ? "_NData" : "_VData";

        Catalogue c;
        c.OpenSource(root, SourceMode::Drive);
        c.SelectDefaultItem();
        ASSERT_GE(c.tree().topLevel().size(), 4u);
        EXPECT_EQ(c.tree().topLevel()[0]->text(), movieFolder);
        EXPECT_EQ(c.tree().topLevel()[1]->text(), "Parking");
        const QStringList selected = FolderTree::namesOf(c.tree().selected());
        ASSERT_EQ(selected.size(), 2);
        EXPECT_EQ(selected[0], movieFolder);
        EXPECT_EQ(selected[1], c.tree().topLevel()[0]->children()[0]->text());
        EXPECT_FALSE(c.currentRecords().empty());

        // Every group of both movie folders, selected in turn, lists each listable movie once.
        bool sawFullGroup = false, sawTrigger = false;
        for (const QString& folder : {movieFolder, QString("Parking")}) {
            TreeItem* item = c.tree().find({folder});
            ASSERT_NE(item, nullptr);
            RecordList union_;
            std::vector<TreeItem*> groups;
            for (const auto& g : item->children())
                groups.push_back(g.get());
            for (TreeItem* g : groups) {
                c.SelectItem(g);
                EXPECT_GE(c.currentRecords().size(), 1u);
                EXPECT_LE(c.currentRecords().size(), static_cast<size_t>(kMaxGroupSize));
                sawFullGroup |= c.currentRecords().size() == static_cast<size_t>(kMaxGroupSize);
                union_.insert(union_.end(), c.currentRecords().begin(), c.currentRecords().end());
            }
            EXPECT_EQ(sortedNames(union_), listableMovies(root + "/" + folder));
            const QString data = folder == "Parking" ? "_PData" : dataFolder;
            for (const RecordingRecord& r : union_) {
                QString sub = r.fileName();
                sub[25] = 'S';
                QString tel = r.fileName();
                tel[25] = 'D';
                tel.replace(".MOV", ".ADA");
                EXPECT_EQ(r.pairedSize, static_cast<uint64_t>(sizeOrZero(root + "/" + folder + "/" + sub)));
                EXPECT_EQ(r.telemetrySize, static_cast<uint64_t>(sizeOrZero(root + "/" + data + "/" + tel)));
                sawTrigger |= r.trigger == 1;
            }
        }
        EXPECT_TRUE(sawFullGroup);
        EXPECT_TRUE(sawTrigger);
        EXPECT_EQ(c.recorderInfo().version, "1.5.2");
        EXPECT_EQ(c.recorderInfo().number, "231015");

        const qsizetype expectedAll = listableMovies(root + "/" + movieFolder).size()
                                      + listableMovies(root + "/Parking").size();
        EXPECT_EQ(static_cast<qsizetype>(c.CollectAllRecordings().size()), expectedAll);

        // The command line shows the same default selection and records.
        Catalogue fresh;
        fresh.OpenSource(root, SourceMode::Drive);
        fresh.SelectDefaultItem();
        const test::RunResult run = test::runRavir({"scan", root});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        const QJsonArray records = QJsonDocument::fromJson(run.out).object()["records"].toArray();
        ASSERT_EQ(records.size(), static_cast<qsizetype>(fresh.currentRecords().size()));
        for (qsizetype i = 0; i < records.size(); ++i)
            EXPECT_EQ(records[i].toObject()["path"].toString(),
                      fresh.currentRecords()[static_cast<size_t>(i)].path);
        const test::RunResult list = test::runRavir({"list", root});
        ASSERT_EQ(list.exitCode, 0);
        EXPECT_EQ(QJsonDocument::fromJson(list.out).object()["records"].toArray().size(),
                  expectedAll);
    }
}

TEST(SampleCardScan, FolderCopiedFromACard)
{
    const QString root = test::smallCard(0);
    ASSERT_FALSE(root.isEmpty());
    QTemporaryDir tmp;
    const QString copy = tmp.path() + "/copy";
    ASSERT_TRUE(QDir().mkpath(copy));
    for (const QFileInfo& info : QDir(root + "/Normal").entryInfoList(QDir::Files))
        ASSERT_TRUE(QFile::copy(info.filePath(), copy + "/" + info.fileName()));

    const test::RunResult run = test::runRavir({"scan", copy});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject scan = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(scan["mode"].toString(), "folder");
    const QJsonArray tree = scan["tree"].toArray();
    ASSERT_EQ(tree.size(), 1);
    EXPECT_EQ(tree[0].toObject()["name"].toString(), "copy");
    EXPECT_GT(tree[0].toObject()["children"].toArray().size(), 1);

    const test::RunResult list = test::runRavir({"list", copy});
    ASSERT_EQ(list.exitCode, 0);
    const QJsonArray records = QJsonDocument::fromJson(list.out).object()["records"].toArray();
    EXPECT_EQ(records.size(), listableMovies(copy).size());
    for (const QJsonValue& v : records) {
        // The data folder is not beside a copied folder.
        EXPECT_EQ(v.toObject()["telemetry_size"].toDouble(), 0);
        EXPECT_GT(v.toObject()["paired_size"].toDouble(), 0);
    }
}

}  // namespace
}  // namespace ravir
