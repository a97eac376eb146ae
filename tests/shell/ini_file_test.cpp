// The configuration file: reads as the Windows profile functions read it, from hand-edited and
// damaged files, and writes that change only what they must.
#include "shell/hidden_attribute.h"
#include "shell/ini_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <tuple>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ravir {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString rd(const QByteArray& content, const char* section, const char* key)
{
    return IniFile::readFromBytes(content, QString::fromUtf8(section), QString::fromUtf8(key));
}

QByteArray wr(const QByteArray& content, const char* section, const char* key,
              const QString& value)
{
    const auto out = IniFile::writeToBytes(content, QString::fromUtf8(section),
                                           QString::fromUtf8(key), value);
    EXPECT_TRUE(out.has_value());
    return out.value_or(QByteArray());
}

TEST(IniRead, HandEditedFileReadsAsTheProfileFunctionsRead)
{
    const QByteArray file =
        "; settings of the viewer\r\n"
        "\r\n"
        "  [ display ]  \r\n"
        "Aspect = on  \r\n"
        "\tVOLUME=\t 1234\r\n"
        "; VOLUME=9\r\n"
        "no equals sign here\r\n"
        "THUMBNAIL=\r\n"
        "EMPTYVAL =   \r\n"
        "QUOTED=\"  spaced  \"\r\n"
        "SINGLE='x'\r\n"
        "HALF=\"open\r\n"
        "TWICE=first=second\r\n"
        "Aspect=second occurrence\r\n"
        "\r\n"
        "[DECODE]\r\n"
        "HW=ON\r\n";
    EXPECT_EQ(rd(file, "DISPLAY", "ASPECT"), "on");           // case, spaces, first key wins
    EXPECT_EQ(rd(file, "Display", "volume"), "1234");         // tabs trimmed
    EXPECT_EQ(rd(file, " DISPLAY ", " VOLUME "), "1234");     // asked names trimmed too
    EXPECT_EQ(rd(file, "DISPLAY", "THUMBNAIL"), "");
    EXPECT_EQ(rd(file, "DISPLAY", "EMPTYVAL"), "");
    EXPECT_EQ(rd(file, "DISPLAY", "QUOTED"), "  spaced  ");  // a pair of quotes is dropped
    EXPECT_EQ(rd(file, "DISPLAY", "SINGLE"), "x");
    EXPECT_EQ(rd(file, "DISPLAY", "HALF"), "\"open");
    EXPECT_EQ(rd(file, "DISPLAY", "TWICE"), "first=second");
    EXPECT_EQ(rd(file, "DISPLAY", "no equals sign here"), "");
    EXPECT_EQ(rd(file, "DISPLAY", "; VOLUME"), "");
    EXPECT_EQ(rd(file, "DISPLAY", "HW"), "");                 // keys stay in their section
    EXPECT_EQ(rd(file, "DECODE", "HW"), "ON");
    EXPECT_EQ(rd(file, "DECODE", "ASPECT"), "");
    EXPECT_EQ(rd(file, "MISSING", "HW"), "");
    EXPECT_EQ(rd(file, "", "HW"), "");
    EXPECT_EQ(rd(file, "DECODE", ""), "");

    // The same file with LF only, with a UTF-8 byte-order mark, and as UTF-16 reads the same.
    QByteArray lf = file;
    lf.replace("\r\n", "\n");
    QByteArray bom = "\xEF\xBB\xBF" + lf;
    QByteArray utf16 = "\xFF\xFE";
    for (QChar c : QString::fromUtf8(file)) {
        utf16.append(static_cast<char>(c.unicode() & 0xFF));
        utf16.append(static_cast<char>(c.unicode() >> 8));
    }
    QByteArray crOnly = file;
    crOnly.replace("\r\n", "\r");
    for (const QByteArray& variant : {lf, bom, utf16, crOnly}) {
        EXPECT_EQ(rd(variant, "DISPLAY", "ASPECT"), "on");
        EXPECT_EQ(rd(variant, "display", "VOLUME"), "1234");
        EXPECT_EQ(rd(variant, "DECODE", "HW"), "ON");
        EXPECT_EQ(rd(variant, "DISPLAY", "QUOTED"), "  spaced  ");
    }
    // A BOM right before the first section does not hide it.
    EXPECT_EQ(rd("\xEF\xBB\xBF[DISPLAY]\nASPECT=on", "DISPLAY", "ASPECT"), "on");
    // The last line needs no line break; non-ASCII text reads back.
    EXPECT_EQ(rd("[S]\nK=\xE3\x83\x9E\xE3\x83\x83\xE3\x83\x97", "S", "K"),
              QString::fromUtf16(u"\u30DE\u30C3\u30D7"));
}

TEST(IniRead, DuplicateSectionsAndOddHeaders)
{
    const QByteArray file = "[A]\nX=1\n[B]\nY=2\n[a]\nX=3\nZ=4\n[C\nW=5\n[D] trailing\nV=6\n"
                            "[ ]\nU=7\n[E]]\nT=8\n";
    EXPECT_EQ(rd(file, "A", "X"), "1");
    EXPECT_EQ(rd(file, "A", "Z"), "");    // only the first section of a name counts
    EXPECT_EQ(rd(file, "B", "W"), "");    // "[C" is no header, and not a key either
    EXPECT_EQ(rd(file, "C", "W"), "");
    EXPECT_EQ(rd(file, "B", "Y"), "2");
    EXPECT_EQ(rd(file, "D", "V"), "6");   // text after ']' is ignored
    EXPECT_EQ(rd(file, "E]", "T"), "8");  // the last ']' closes the name
}

TEST(IniRead, LongValuesAreCutTo259Characters)
{
    const QString longValue(600, u'v');
    const QByteArray file = "[S]\nK=" + longValue.toUtf8() + "\nAFTER=ok\n";
    EXPECT_EQ(rd(file, "S", "K"), QString(259, u'v'));
    EXPECT_EQ(rd(file, "S", "AFTER"), "ok");
    EXPECT_EQ(rd(QByteArray("[S]\nK=") + QByteArray(259, 'a'), "S", "K").size(), 259);
    // A cut never leaves half of a character pair.
    QString pairs = QString(258, u'a') + QString::fromUtf16(u"\U0001F600\U0001F600");
    const QString cut = rd("[S]\nK=" + pairs.toUtf8(), "S", "K");
    EXPECT_EQ(cut, QString(258, u'a'));
}

TEST(IniRead, DamagedFilesReadWithoutHarm)
{
    // Binary garbage, lone bytes, NULs and invalid UTF-8 read as empty or as the text that is
    // there, never more.
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 131 + 7) & 0xFF));
    EXPECT_EQ(rd(garbage, "DISPLAY", "ASPECT"), "");
    const QByteArray mixed = garbage + "\n[DISPLAY]\nASPECT=on\n\xFF\xFE\x00\x01=x\n" + garbage;
    EXPECT_EQ(rd(mixed, "DISPLAY", "ASPECT"), "on");
    EXPECT_EQ(rd("\xFF\xFE\x5B", "S", "K"), "");       // UTF-16 with an odd byte
    const char be[] = "\xFE\xFF\x00[\x00S\x00]\x00\n\x00K\x00=\x00v";  // UTF-16 big-endian
    EXPECT_EQ(rd(QByteArray(be, sizeof be - 1), "S", "K"), "v");
    EXPECT_EQ(rd(QByteArray("[S]\nK=a\0b\n", 10), "S", "K").size(), 3);
    EXPECT_EQ(rd("", "S", "K"), "");
    EXPECT_EQ(rd("[", "S", "K"), "");
    EXPECT_EQ(rd("=", "S", "K"), "");
    EXPECT_EQ(rd("[S]\n=\n", "S", "K"), "");
    EXPECT_EQ(rd("[S]\nK=\xC3", "S", "K"), QString(QChar(0xFFFD)));
}

TEST(IniWrite, ChangesOnlyTheValueAndKeepsEverythingElse)
{
    const QByteArray file = "\xEF\xBB\xBF; my settings\r\n"
                            "\r\n"
                            "[DISPLAY]\r\n"
                            "  aspect =  off  \r\n"
                            "; note\r\n"
                            "VOLUME=10\r\n"
                            "\r\n"
                            "[display]\r\n"
                            "ASPECT=later\r\n"
                            "[SOURCE]\r\n"
                            "FOLDER=/media/x\r\n";
    // An existing key: only its value changes; name spelling and spaces stay.
    QByteArray out = wr(file, "Display", "ASPECT", "on");
    QByteArray expected = file;
    expected.replace("  aspect =  off  ", "  aspect =  on  ");
    EXPECT_EQ(out, expected);

    // A new key goes after the last entry of the first section of that name, before the blank
    // line, with the file's line breaks.
    out = wr(file, "DISPLAY", "THUMBNAIL", "1");
    expected = file;
    expected.replace("VOLUME=10\r\n", "VOLUME=10\r\nTHUMBNAIL=1\r\n");
    EXPECT_EQ(out, expected);
    EXPECT_EQ(rd(out, "DISPLAY", "THUMBNAIL"), "1");

    // A new section goes at the end after a blank line.
    out = wr(file, "DECODE", "HW", "on");
    EXPECT_EQ(out, file + "\r\n[DECODE]\r\nHW=on\r\n");
    EXPECT_EQ(rd(out, "DECODE", "HW"), "on");

    // LF files get LF; a file whose last line has no line break gets one first.
    EXPECT_EQ(wr("[S]\nA=1", "S", "B", "2"), "[S]\nA=1\nB=2\n");
    EXPECT_EQ(wr("[S]\nA=1", "T", "B", "2"), "[S]\nA=1\n\n[T]\nB=2\n");
    EXPECT_EQ(wr("[S]\nA=1\n", "s", "a", ""), "[S]\nA=\n");
    EXPECT_EQ(wr("[S]", "S", "A", "1"), "[S]\r\nA=1\r\n");
    EXPECT_EQ(wr("", "S", "A", "1"), "[S]\r\nA=1\r\n");
    EXPECT_EQ(wr("[S]\nA=\n", "S", "A", "x"), "[S]\nA=x\n");
    EXPECT_EQ(wr("[S]\nA = \n", "S", "A", "x"), "[S]\nA =x \n");
    // Lines ended by CR alone (old Macintosh files, or the rest of a file after its last LF)
    // get CR-ended lines, so the new line never joins its neighbours.
    EXPECT_EQ(wr("[S]\rA=1\r", "S", "B", "2"), "[S]\rA=1\rB=2\r");
    EXPECT_EQ(wr("x\n[S]\rA=1", "S", "B", "2"), "x\n[S]\rA=1\rB=2\r");
    EXPECT_EQ(rd(wr("x\n[S]\rA=1", "T", "B", "2"), "S", "A"), "1");

    // UTF-16 files stay UTF-16, and non-ASCII values round-trip.
    QByteArray utf16("\xFF\xFE[\0S\0]\0\r\0\n\0", 12);
    out = wr(utf16, "S", "K", QString::fromUtf16(u"\u30D5\u30A9\u30EB\u30C0"));
    EXPECT_TRUE(out.startsWith(utf16));
    EXPECT_EQ(out.size() % 2, 0);
    EXPECT_EQ(rd(out, "S", "K"), QString::fromUtf16(u"\u30D5\u30A9\u30EB\u30C0"));

    // Invalid bytes elsewhere in the file survive byte for byte.
    const QByteArray damaged = "\xFF\x01garbage\n[S]\nK=old\n\xC3\xC3\n";
    EXPECT_EQ(wr(damaged, "S", "K", "new"), "\xFF\x01garbage\n[S]\nK=new\n\xC3\xC3\n");
}

TEST(IniWrite, ValuesReadBackAsWritten)
{
    for (const QString& value :
         {QString("plain"), QString(" leading"), QString("trailing "), QString("\"quoted\""),
          QString("'single'"), QString("a=b;c"), QString("/media/user/SD CARD/Normal"),
          QString("\""), QString()}) {
        const QByteArray out = wr("[S]\nK=1\n", "S", "K", value);
        EXPECT_EQ(rd(out, "S", "K"), value) << value.toStdString();
    }
    // What cannot be stored as one line is refused.
    for (const auto& [section, key, value] :
         {std::tuple{"S", "K", "two\nlines"}, std::tuple{"S", "K", "cr\r"},
          std::tuple{"S", "", "v"}, std::tuple{" ", "K", "v"}, std::tuple{"S", "A=B", "v"},
          std::tuple{"S\n[X]", "K", "v"}, std::tuple{"S", ";K", "v"},
          std::tuple{"S", "[K]", "v"}}) {
        EXPECT_FALSE(IniFile::writeToBytes("[S]\nK=1\n", QString::fromUtf8(section),
                                           QString::fromUtf8(key), QString::fromUtf8(value)))
            << section << "/" << key;
    }
}

TEST(IniFileOnDisk, MissingFileReadsEmptyAndFirstWriteCreatesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const IniFile ini(dir.filePath("Zazavud_Urezed.ini"));
    EXPECT_FALSE(ini.exists());
    EXPECT_EQ(ini.read("DISPLAY", "ASPECT"), "");
    EXPECT_FALSE(ini.exists());  // reading never creates the file
    ASSERT_TRUE(ini.write("DISPLAY", "ASPECT", "on"));
    EXPECT_EQ(readAll(ini.path()), "[DISPLAY]\r\nASPECT=on\r\n");
    ASSERT_TRUE(ini.write("display", "VOLUME", "65535"));
    EXPECT_EQ(ini.read("DISPLAY", "volume"), "65535");
    EXPECT_EQ(readAll(ini.path()), "[DISPLAY]\r\nASPECT=on\r\nVOLUME=65535\r\n");
    // No temporary files are left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A folder that does not exist: every write fails, reads stay empty.
    const IniFile nowhere(dir.filePath("missing/Zazavud_Urezed.ini"));
    EXPECT_FALSE(nowhere.write("S", "K", "v"));
    EXPECT_EQ(nowhere.read("S", "K"), "");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

    // A folder where the file should be: no read, no write.
    ASSERT_TRUE(QDir(dir.path()).mkdir("isdir.ini"));
    const IniFile folder(dir.filePath("isdir.ini"));
    EXPECT_FALSE(folder.write("S", "K", "v"));
    EXPECT_EQ(folder.read("S", "K"), "");
}

TEST(IniFileOnDisk, WritesKeepPermissionsAndEveryOtherByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Zazavud_Urezed.ini");
    const QByteArray original = "\xEF\xBB\xBF[DISPLAY]\r\nASPECT=off\r\n\r\n; end\r\n";
    writeAll(path, original);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const IniFile ini(path);
    ASSERT_TRUE(ini.write("DISPLAY", "ASPECT", "on"));
    QByteArray expected = original;
    expected.replace("ASPECT=off", "ASPECT=on");
    EXPECT_EQ(readAll(path), expected);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A symbolic link keeps pointing to the file it names.
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(IniFile(link).write("DISPLAY", "VOLUME", "7"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(IniFile(path).read("DISPLAY", "VOLUME"), "7");

    // A file of binary garbage takes the new section at its end and keeps the garbage.
    QByteArray garbage;
    for (int i = 0; i < 2000; ++i)
        garbage.append(static_cast<char>((i * 73 + 11) & 0xFF));
    writeAll(path, garbage);
    ASSERT_TRUE(ini.write("DISPLAY", "VOLUME", "5"));
    const QByteArray after = readAll(path);
    EXPECT_TRUE(after.startsWith(garbage));
    EXPECT_EQ(ini.read("DISPLAY", "VOLUME"), "5");

    // A very long value is stored whole and read back cut.
    ASSERT_TRUE(ini.write("DISPLAY", "LONG", QString(1000, u'x')));
    EXPECT_TRUE(readAll(path).contains(QByteArray(1000, 'x')));
    EXPECT_EQ(ini.read("DISPLAY", "LONG"), QString(259, u'x'));
}

// Runs `body` with the rights of an ordinary user: in a child process that drops root if the
// tests run as root (root may write anywhere). Returns the child's exit code.
template <typename F>
int asOrdinaryUser(F body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(90);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST(IniFileOnDisk, ReadOnlyFolderOrFileMakesWritesFailAndChangesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray root = QFile::encodeName(dir.path());
    ASSERT_EQ(::chmod(root.constData(), 0755), 0);
    const QString folder = dir.filePath("ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + "/Zazavud_Urezed.ini";
    const QByteArray original = "[DISPLAY]\nASPECT=off\n";
    writeAll(path, original);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

    // Neither the folder nor the file is writable for an ordinary user.
    EXPECT_EQ(asOrdinaryUser([&] {
                  const IniFile ini(path);
                  return !ini.write("DISPLAY", "ASPECT", "on") &&
                         ini.read("DISPLAY", "ASPECT") == "off" &&
                         !IniFile(folder + "/new.ini").write("S", "K", "v");
              }),
              0);
    EXPECT_EQ(readAll(path), original);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // The folder is read-only but the file is writable: the file is rewritten in place.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    EXPECT_EQ(asOrdinaryUser([&] { return IniFile(path).write("DISPLAY", "ASPECT", "on"); }), 0);
    EXPECT_EQ(readAll(path), "[DISPLAY]\nASPECT=on\n");

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    // A read-only file in a writable folder is not replaced either.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    EXPECT_EQ(asOrdinaryUser([&] { return !IniFile(path).write("DISPLAY", "ASPECT", "x"); }), 0);
    EXPECT_EQ(readAll(path), "[DISPLAY]\nASPECT=on\n");
}

// A 250-byte file name (the temporary name must stay within the name limit), a FIFO of the
// file's name (never waited on) and a full disk (the file stays as it was).
TEST(IniFileOnDisk, LongNamesFifosAndFullDisksAreSafe)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString longName = dir.filePath(QString(246, u'z') + ".ini");
    ASSERT_TRUE(IniFile(longName).write("DISPLAY", "ASPECT", "on"));
    EXPECT_EQ(IniFile(longName).read("DISPLAY", "ASPECT"), "on");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    const QString fifo = dir.filePath("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    EXPECT_EQ(IniFile(fifo).read("S", "K"), "");
    EXPECT_FALSE(IniFile(fifo).write("S", "K", "v"));

    const QString small = dir.filePath("small");
    QDir().mkpath(small);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) != 0) {
        ASSERT_NE(::geteuid(), 0u) << "root could not mount a small tmpfs";
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{small};
    const QString path = small + "/Zazavud_Urezed.ini";
    const IniFile ini(path);
    ASSERT_TRUE(ini.write("DISPLAY", "VOLUME", "100"));
    const QByteArray before = readAll(path);
    // Values of 20 KiB: the third no longer fits beside the file and its copy.
    ASSERT_TRUE(ini.write("A", "K", QString(20000, u'a')));
    const QByteArray withA = readAll(path);
    EXPECT_FALSE(ini.write("B", "K", QString(40000, u'b')));
    EXPECT_EQ(readAll(path), withA);
    EXPECT_TRUE(withA.startsWith(before));
    EXPECT_EQ(QDir(small).entryList(QDir::Files | QDir::Hidden), QStringList{"Zazavud_Urezed.ini"});
}

TEST(ConfigFile, PathFollowsTheStartupFolderAndHelpersUseIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString saved = startupFolder();
    setStartupFolder(dir.path());
    EXPECT_EQ(configFilePath(), dir.path() + "/Zazavud_Urezed.ini");
    EXPECT_EQ(ReadValue("DISPLAY", "ASPECT"), "");
    EXPECT_TRUE(WriteValue("DISPLAY", "ASPECT", "on"));
    EXPECT_EQ(ReadValue("display", "aspect"), "on");
    // Not on a DOS filesystem here: the name cannot change, so the file does not count as hidden.
    if (!HasDosAttributes(configFilePath())) {
        EXPECT_FALSE(IsHidden(configFilePath()));
    }

    // The path is built anew on every access.
    const QString other = dir.filePath("other");
    ASSERT_TRUE(QDir().mkdir(other));
    setStartupFolder(other);
    EXPECT_EQ(ReadValue("DISPLAY", "ASPECT"), "");
    setStartupFolder(other + "/");
    EXPECT_EQ(configFilePath(), other + "/Zazavud_Urezed.ini");

    // Recorded from the current directory.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    recordStartupFolder();
    ASSERT_TRUE(QDir::setCurrent(cwd));
    EXPECT_EQ(ReadValue("DISPLAY", "ASPECT"), "on");
    // The root as start-up folder keeps its one slash.
    setStartupFolder(QStringLiteral("/"));
    EXPECT_EQ(configFilePath(), "/Zazavud_Urezed.ini");
    setStartupFolder(saved);
}

TEST(HiddenAttribute, DotNamesCountAsHiddenWhereThereIsNoDosAttribute)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.filePath("MOVIE.ADA");
    const QString dotted = dir.filePath(".MOVIE.ADA");
    writeAll(plain, "x");
    writeAll(dotted, "x");
    if (HasDosAttributes(plain))
        GTEST_SKIP() << "temporary folder is on a DOS filesystem";
    EXPECT_FALSE(IsHidden(plain));
    EXPECT_TRUE(IsHidden(dotted));
    EXPECT_FALSE(SetHiddenAttribute(plain));  // nothing to set here
    EXPECT_FALSE(IsHidden(plain));
    EXPECT_FALSE(IsHidden(dir.filePath("missing")));
    EXPECT_TRUE(IsHidden(dir.filePath(".missing")));
    EXPECT_FALSE(SetHiddenAttribute(dir.filePath("missing")));
}

}  // namespace
}  // namespace ravir
