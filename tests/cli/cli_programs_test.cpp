// `ravir` starts without the playback engine: its libraries (libmpv, FFmpeg's, Qt Gui) belong to
// `ravir-decode` alone, which `ravir` becomes for `still` and `report` and finds in its private
// folder (../libexec/ravir) or beside its own file.
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ravir {
namespace {

// The shared libraries that the dynamic loader maps for `program`, as ldd lists them.
QByteArray sharedLibraries(const char* program)
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QString::fromUtf8(program)});
    if (!ldd.waitForFinished(30000) || ldd.exitStatus() != QProcess::NormalExit ||
        ldd.exitCode() != 0)
        return {};
    return ldd.readAllStandardOutput();
}

TEST(CliPrograms, RavirLoadsNoDecoder)
{
    ASSERT_TRUE(test::havePrograms({"ldd"}));
    const QByteArray ravir = sharedLibraries(RAVIR_EXE);
    ASSERT_TRUE(ravir.contains("libQt6Core.so")) << ravir.constData();
    for (const char* heavy : {"libmpv.so", "libavcodec.so", "libavformat.so", "libavutil.so",
                              "libswscale.so", "libQt6Gui.so"})
        EXPECT_FALSE(ravir.contains(heavy)) << heavy << " in\n" << ravir.constData();
#ifdef RAVIR_DECODE_EXE
    const QByteArray decode = sharedLibraries(RAVIR_DECODE_EXE);
    EXPECT_TRUE(decode.contains("libmpv.so")) << decode.constData();
#endif
}

#ifdef RAVIR_DECODE_EXE
// `ravir still` with no arguments is a usage error of the still command itself (exit code 2),
// which only `ravir-decode` can give: ravir finds it beside its own file, also when ravir is
// started through a link in another folder, and says what is missing when it is not there.
TEST(CliPrograms, DecodingCommandsRunInTheProgramBesideRavir)
{
    QTemporaryDir dir;
    const QString alone = dir.filePath("alone");
    const QString both = dir.filePath("both");
    const QString linked = dir.filePath("bin");
    for (const QString& folder : {alone, both, linked})
        ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(RAVIR_EXE, alone + "/ravir"));
    ASSERT_TRUE(QFile::copy(RAVIR_EXE, both + "/ravir"));
    ASSERT_TRUE(QFile::copy(RAVIR_DECODE_EXE, both + "/ravir-decode"));
    ASSERT_TRUE(QFile::link(both + "/ravir", linked + "/ravir"));
    struct Case {
        QString program;
        QStringList args;
        int exitCode;
        QByteArray err;
    };
    const Case cases[] = {
        {both + "/ravir", {"still"}, 2, "ravir still: expects one movie file\nusage: ravir still"},
        {both + "/ravir", {"report", "--frame", "1"}, 2, "usage: ravir report MOVIE"},
        {linked + "/ravir", {"still"}, 2, "usage: ravir still MOVIE"},
        {alone + "/ravir", {"still"}, 1, "still needs " + QFile::encodeName(alone) + "/ravir-decode, which is not installed"},
        {alone + "/ravir", {"report"}, 1, "report needs " + QFile::encodeName(alone) + "/ravir-decode"},
        {alone + "/ravir", {"probe"}, 2, "usage: ravir probe"},
    };
    for (const Case& c : cases) {
        QProcess p;
        p.start(c.program, c.args);
        ASSERT_TRUE(p.waitForFinished(30000)) << qPrintable(c.program);
        const QByteArray err = p.readAllStandardError();
        const std::string what = (c.program + " " + c.args.join(' ')).toStdString();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(p.exitCode(), c.exitCode) << what << ": " << err.constData();
        EXPECT_TRUE(err.contains(c.err)) << what << ": " << err.constData();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << what;
    }
}
#endif

}  // namespace
}  // namespace ravir
