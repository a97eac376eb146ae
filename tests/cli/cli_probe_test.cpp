// `ravir probe`: a damaged box structure and a path that is no regular file are errors.
#include "../container/box_builder.h"
#include "test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace ravir {
namespace {

using namespace test;

TEST(CliProbe, DamagedOrUnreadableInputsExitWithOne)
{
    QTemporaryDir dir;
    const QByteArray head = ftyp() + box("moov", mvhd(1000, 2000));
    const QString good = dir.filePath("good.mp4");
    ASSERT_TRUE(writeFile(good, head + box("XYZ1", QByteArray(12, '\0'))));
    const auto ok = runRavir({"probe", good});
    ASSERT_EQ(ok.exitCode, 0) << ok.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(ok.out).object()["duration"].toDouble(), 2000.0);

    // A box of an unknown type whose size runs past the end of the file.
    QByteArray past = head + box("XYZ1", QByteArray(12, '\0'));
    past.replace(head.size(), 4, be32(4096));
    const QString damaged = dir.filePath("past.mp4");
    ASSERT_TRUE(writeFile(damaged, past));
    const auto bad = runRavir({"probe", damaged});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("'XYZ1'") && bad.err.contains("past")) << bad.err.constData();

    const QString fifo = dir.filePath("A___-250101-120000-000123M.MOV");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto pipe = runRavir({"probe", fifo}, 20000);
    EXPECT_EQ(pipe.exitCode, 1);
    EXPECT_TRUE(pipe.err.contains("not a regular file")) << pipe.err.constData();
    const auto missing = runRavir({"probe", dir.filePath("missing.mp4")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no such file")) << missing.err.constData();
}

}  // namespace
}  // namespace ravir
