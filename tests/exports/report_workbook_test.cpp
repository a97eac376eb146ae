// The report workbook as a spreadsheet library reads it (python3-openpyxl): the form of the
// template, the first and further reports of a day, carried cells, pictures, duplicate names,
// and the safety of the existing report on damaged input and a full disk.
#include "exports/report_workbook.h"
#include "shell/safe_write.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mount.h>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace ravir {
namespace {

// Debian's python3, which holds python3-openpyxl, even when another python3 comes first on PATH.
QString Python()
{
    return QFile::exists("/usr/bin/python3") ? QString("/usr/bin/python3") : QString("python3");
}

QJsonObject Inspect(const QString& path)
{
    QProcess p;
    p.start(Python(), {RAVIR_SOURCE_DIR "/tests/exports/report_reader.py", path});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 0) << err.constData();
    const QJsonObject book = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    EXPECT_EQ(book["package_problems"].toArray(), QJsonArray()) << path.toStdString();
    int selected = 0;
    for (const QJsonValue& s : book["sheets"].toArray())
        selected += s["selected"].toBool();
    EXPECT_EQ(selected, 1) << "exactly one sheet is selected";
    return book;
}

// Sets cells of the first sheet the way another program would (openpyxl rewrites the package).
void TypeIntoFirstSheet(const QString& path, const QString& cell, const QString& value)
{
    QProcess p;
    p.start(Python(), {"-c",
                        "import openpyxl,sys\n"
                        "b=openpyxl.load_workbook(sys.argv[1])\n"
                        "b.worksheets[0][sys.argv[2]]=sys.argv[3]\n"
                        "b.save(sys.argv[1])\n",
                        path, cell, value});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
}

QByteArray Jpeg(const QString& dir, const QString& colour)
{
    const QString out = QDir(dir).filePath(colour + ".jpg");
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "color=" + colour + ":s=96x54",
                       "-frames:v", "1", out});
    EXPECT_TRUE(p.waitForFinished(60000));
    QFile f(out);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    QFile::remove(out);
    return bytes;
}

QString Sha1(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Names(const QJsonObject& book)
{
    QStringList names;
    for (const QJsonValue& s : book["sheets"].toArray())
        names << s["name"].toString();
    return names;
}

void ExpectPictureInBox(const QJsonObject& sheet, const QString& sha1)
{
    const QJsonArray images = sheet["images"].toArray();
    ASSERT_EQ(images.size(), 1) << sheet["name"].toString().toStdString();
    const QJsonObject image = images[0].toObject();
    EXPECT_EQ(image["from"].toArray(), (QJsonArray{52, 17, 0, 0}));  // BA18
    EXPECT_EQ(image["to"].toArray(), (QJsonArray{84, 31, 0, 0}));    // CG32
    EXPECT_EQ(image["sha1"].toString(), sha1);
}

TEST(ReportWorkbook, NamesComeFromTheRecordingName)
{
    const auto names = ReportNamesFromRecording("A___-250102-093015-000123M.MOV");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->day, "20250102");
    EXPECT_EQ(names->sheet, "093015");
    EXPECT_FALSE(ReportNamesFromRecording("A___-250102"));
    EXPECT_FALSE(ReportNamesFromRecording("movie.mp4"));
    EXPECT_FALSE(ReportNamesFromRecording(""));
}

TEST(ReportWorkbook, FirstReportHoldsTheFormAndThePicture)
{
    QTemporaryDir dir;
    const QByteArray red = Jpeg(dir.path(), "red");
    ASSERT_FALSE(red.isEmpty());
    const ReportResult r = AddReportSheet(dir.path(), "20250102", "093015", red);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_TRUE(r.created);
    EXPECT_EQ(r.reportPath, dir.filePath("report_20250102.xlsx"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"report_20250102.xlsx"});

    const QJsonObject book = Inspect(r.reportPath);
    EXPECT_EQ(Names(book), QStringList{"093015"});
    EXPECT_EQ(book["creator"].toString(), "");
    EXPECT_EQ(book["last_modified_by"].toString(), "");
    EXPECT_TRUE(book["bad"].isNull());
    const QJsonObject s = book["sheets"].toArray()[0].toObject();
    // The form's labels at their cells, and nothing else written.
    const QJsonObject cells = s["cells"].toObject();
    const std::pair<const char*, const char*> labels[] = {
        {"AD1", "西暦"}, {"AH1", "年"}, {"AK1", "月"}, {"AN1", "日"},
        {"I3", "交　通　事　故　報　告　書"}, {"K5", "殿"},
        {"AD6", "所属"}, {"AD7", "報告者"}, {"AG7", "　"}, {"AM7", "印"},
        {"B9", "事故発生日時"}, {"R9", "西暦"}, {"W9", "年"}, {"AA9", "月"}, {"AE9", "日"},
        {"AI9", "時"}, {"AM9", "分"}, {"B10", "事故発生場所"},
        {"B12", "事故区分"}, {"J12", "1、人身　　2、物損　3、その他"}, {"B13", "事故種別"},
        {"B15", "届出警察署"},
        {"B16", "当方"}, {"F16", "氏名"}, {"F17", "所属"}, {"F18", "車種"}, {"J18", "車名"},
        {"Q18", "型式"}, {"Y18", "年式"}, {"AE18", "車台\n番号"}, {"F19", "負傷状況"},
        {"F20", "医療機関"},
        {"B21", "当方\n同乗者"}, {"F21", "氏名"}, {"F22", "所属"}, {"F23", "負傷状況"},
        {"F24", "医療機関"},
        {"B25", "相手方"}, {"F25", "住所"}, {"F26", "氏名"}, {"F27", "勤務先"}, {"F28", "車種"},
        {"J28", "車名"}, {"Q28", "型式"}, {"Y28", "年式"}, {"AE28", "車台\n番号"},
        {"F29", "負傷状況"}, {"F30", "医療機関"},
        {"B31", "相手方\n同乗者"}, {"F31", "住所"}, {"F32", "氏名"}, {"F33", "勤務先"},
        {"F34", "負傷状況"}, {"F35", "医療機関"},
        {"AT3", "事故の概要"}, {"AT5", "状況説明"}, {"AT18", "現場状況"}, {"AT32", "労災"},
        {"AT34", "備考"}, {"CD36", "A3用紙"},
    };
    for (const auto& [cell, label] : labels)
        EXPECT_EQ(cells[cell].toString(), QString::fromUtf8(label)) << cell;
    // The lines of accident types, the police line and the birth-date lines are the rest.
    for (const char* cell : {"J13", "J14", "J15", "J26", "J32"})
        EXPECT_FALSE(cells[cell].toString().isEmpty()) << cell;
    EXPECT_EQ(cells.size(), qsizetype(std::size(labels)) + 5);
    EXPECT_TRUE(cells["J13"].toString().startsWith("a、")) << cells["J13"].toString().toStdString();
    EXPECT_TRUE(cells["J14"].toString().startsWith("c、")) << cells["J14"].toString().toStdString();
    EXPECT_TRUE(cells["J15"].toString().contains("警察署"));
    EXPECT_TRUE(cells["J26"].toString().contains("生年月日"));
    EXPECT_EQ(cells["J32"], cells["J26"]);
    // 109 merged ranges: the labels', the entry fields' and the ruled text rows beside the
    // right half's labels.
    const QJsonArray merged = s["merged"].toArray();
    EXPECT_EQ(merged.size(), 109);
    for (const char* range : {"I3:AH3", "B16:E20", "AT18:AZ31", "BB3:CE3", "BB5:CE5", "BB17:CE17",
                              "BB32:CE33", "BB35:CE35", "CD36:CF36"})
        EXPECT_TRUE(merged.contains(QString(range))) << range;
    // One nested array each (built by append: a braced single QJsonArray would be a copy).
    QJsonArray printArea;
    printArea.append(QJsonArray{"_xlnm.Print_Area", "0", "'093015'!$A$1:$CF$36"});
    EXPECT_EQ(book["defined_names"].toArray(), printArea);
    EXPECT_EQ(s["paper"].toInt(), 8);
    EXPECT_EQ(s["orientation"].toString(), "landscape");
    EXPECT_EQ(s["scale"].toInt(), 80);
    EXPECT_TRUE(s["fit"].toBool());
    EXPECT_EQ(s["fit_wide_tall"].toArray(), (QJsonArray{1, 1}));
    EXPECT_EQ(s["margins"].toArray(), (QJsonArray{0.79, 0.79, 0.98, 0.98, 0.51, 0.51}));
    EXPECT_EQ(s["row_breaks"].toArray(), QJsonArray{36});
    QJsonArray columns;
    columns.append(QJsonArray{1, 85, 2.453125});  // A to CG
    EXPECT_EQ(s["cols"].toArray(), columns);
    EXPECT_EQ(s["row_height"].toObject()["1"].toDouble(), 24);
    EXPECT_EQ(s["row_height"].toObject()["3"].toDouble(), 24);
    EXPECT_EQ(s["default_row"].toDouble(), 18);
    EXPECT_TRUE(s["selected"].toBool());
    ExpectPictureInBox(s, Sha1(red));

    // Without a picture the report is still written, with the form only.
    const ReportResult bare = AddReportSheet(dir.path(), "20250103", "120000", {});
    ASSERT_TRUE(bare.ok()) << bare.message.toStdString();
    EXPECT_TRUE(Inspect(bare.reportPath)["sheets"][0].toObject()["images"].toArray().isEmpty());
}

TEST(ReportWorkbook, FurtherReportsGoInFrontAndCarryTheTypedCells)
{
    QTemporaryDir dir;
    const QByteArray red = Jpeg(dir.path(), "red");
    const QByteArray blue = Jpeg(dir.path(), "blue");
    const QByteArray green = Jpeg(dir.path(), "green");
    ASSERT_TRUE(AddReportSheet(dir.path(), "20250102", "093015", red).ok());
    const QString path = dir.filePath("report_20250102.xlsx");
    // The user fills in the form in another program.
    TypeIntoFirstSheet(path, "J16", "山田太郎");
    TypeIntoFirstSheet(path, "BB5", "交差点で追突された");
    // A cell holding only spaces, as an inline string (as some programs write them).
    {
        QProcess p;
        p.start(Python(), {"-c",
                           "import re,sys,zipfile\n"
                           "src=zipfile.ZipFile(sys.argv[1]).infolist()\n"
                           "z=zipfile.ZipFile(sys.argv[1])\n"
                           "parts={i.filename:z.read(i.filename) for i in src}\n"
                           "n='xl/worksheets/sheet1.xml'\n"
                           "x=parts[n].decode()\n"
                           "x2=re.sub(r'<c r=\"J17\"( s=\"\\d+\")?[^>]*?(/>|></c>)',"
                           "r'<c r=\"J17\"\\1 t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                           "   </t></is></c>',x)\n"
                           "assert x2!=x\n"
                           "parts[n]=x2.encode()\n"
                           "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as o:\n"
                           "  [o.writestr(k,v) for k,v in parts.items()]\n",
                           path});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    }

    const ReportResult second = AddReportSheet(dir.path(), "20250102", "101500", blue);
    ASSERT_TRUE(second.ok()) << second.message.toStdString();
    EXPECT_FALSE(second.created);
    QJsonObject book = Inspect(path);
    ASSERT_EQ(Names(book), (QStringList{"101500", "093015"}));
    QJsonObject front = book["sheets"][0].toObject();
    QJsonObject back = book["sheets"][1].toObject();
    EXPECT_EQ(front["cells"].toObject()["J16"].toString(), "山田太郎");
    EXPECT_EQ(front["cells"].toObject()["BB5"].toString(), "交差点で追突された");
    EXPECT_EQ(front["cells"].toObject()["J17"].toString(), "   ");
    EXPECT_EQ(front["cells"].toObject()["I3"].toString(), "交　通　事　故　報　告　書");
    EXPECT_EQ(front["merged"], back["merged"]);
    EXPECT_EQ(book["defined_names"].toArray(),
              (QJsonArray{QJsonArray{"_xlnm.Print_Area", "0", "'101500'!$A$1:$CF$36"},
                          QJsonArray{"_xlnm.Print_Area", "1", "'093015'!$A$1:$CF$36"}}));
    EXPECT_EQ(front["scale"].toInt(), 80);
    ExpectPictureInBox(front, Sha1(blue));  // only the new picture
    ExpectPictureInBox(back, Sha1(red));    // the earlier sheet keeps its own
    EXPECT_EQ(back["cells"], front["cells"]);
    EXPECT_TRUE(front["selected"].toBool());
    EXPECT_FALSE(back["selected"].toBool());

    // A report of the same second: the name gets a suffix, the workbook stays sound.
    const ReportResult third = AddReportSheet(dir.path(), "20250102", "101500", green);
    ASSERT_TRUE(third.ok()) << third.message.toStdString();
    EXPECT_EQ(third.sheetName, "101500 (2)");
    book = Inspect(path);
    ASSERT_EQ(Names(book), (QStringList{"101500 (2)", "101500", "093015"}));
    ExpectPictureInBox(book["sheets"][0].toObject(), Sha1(green));
    ExpectPictureInBox(book["sheets"][1].toObject(), Sha1(blue));
    ExpectPictureInBox(book["sheets"][2].toObject(), Sha1(red));
    EXPECT_EQ(book["defined_names"].toArray(),
              (QJsonArray{QJsonArray{"_xlnm.Print_Area", "0", "'101500 (2)'!$A$1:$CF$36"},
                          QJsonArray{"_xlnm.Print_Area", "1", "'101500'!$A$1:$CF$36"},
                          QJsonArray{"_xlnm.Print_Area", "2", "'093015'!$A$1:$CF$36"}}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"report_20250102.xlsx"});

    // Names office programs refuse are made valid (and unique within 31 characters).
    const QString longName(40, u'x');
    for (const QString& wanted : {QString("09:30/15"), longName, longName})
        ASSERT_TRUE(AddReportSheet(dir.path(), "20250102", wanted, {}).ok());
    EXPECT_EQ(Names(Inspect(path)).mid(0, 4),
              (QStringList{QString(27, u'x') + " (2)", QString(31, u'x'), "09_30_15",
                           "101500 (2)"}));
}

// Reports made at the same time (batch work) take turns: none is lost.
TEST(ReportWorkbook, ConcurrentReportsAreAllKept)
{
    QTemporaryDir dir;
    const QByteArray red = Jpeg(dir.path(), "red");
    std::vector<std::thread> threads;
    std::atomic<int> saved{0};
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&, i] {
            saved += AddReportSheet(dir.path(), "20250102", QString("10000%1").arg(i), red).ok();
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(saved.load(), 6);
    QStringList names = Names(Inspect(dir.filePath("report_20250102.xlsx")));
    names.sort();
    EXPECT_EQ(names, (QStringList{"100000", "100001", "100002", "100003", "100004", "100005"}));
}

TEST(ReportWorkbook, AFileThatIsNotAWorkbookIsLeftUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("report_20250102.xlsx");
    // Not a zip at all; a zip without a workbook; a workbook whose sheet part is missing.
    const QByteArray notZip = "this is not a workbook\n";
    QByteArray zipWithoutBook, bookWithoutSheet;
    {
        ASSERT_TRUE(AddReportSheet(dir.path(), "t", "x", {}).ok());  // writes report_t.xlsx
        ASSERT_TRUE(QFile::rename(dir.filePath("report_t.xlsx"), dir.filePath("t.xlsx")));
        QProcess p;
        p.start(Python(), {"-c",
                            "import zipfile,sys\n"
                            "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('a.txt','x')\n"
                            "with zipfile.ZipFile(sys.argv[2],'w') as z, "
                            "zipfile.ZipFile(sys.argv[3]) as t:\n"
                            "  [z.writestr(n,t.read(n)) for n in t.namelist() "
                            "if 'worksheets/sheet' not in n]\n",
                            dir.filePath("a.zip"), dir.filePath("b.zip"),
                            dir.filePath("t.xlsx")});
        p.waitForFinished(60000);
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
        zipWithoutBook = ReadAll(dir.filePath("a.zip"));
        bookWithoutSheet = ReadAll(dir.filePath("b.zip"));
        QFile::remove(dir.filePath("a.zip"));
        QFile::remove(dir.filePath("b.zip"));
        QFile::remove(dir.filePath("t.xlsx"));
    }
    for (const QByteArray& content : {notZip, zipWithoutBook, bookWithoutSheet}) {
        ASSERT_FALSE(content.isEmpty());
        ASSERT_EQ(SafeWriteFile(path, content).step, SafeWriteStep::None);
        const ReportResult r = AddReportSheet(dir.path(), "20250102", "101500", "jpeg");
        EXPECT_EQ(r.status, ReportStatus::NotAWorkbook);
        EXPECT_TRUE(r.message.contains("not a workbook")) << r.message.toStdString();
        EXPECT_EQ(ReadAll(path), content);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"report_20250102.xlsx"});
    }
    // A folder of the report's name is not replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("report_20250104.xlsx"));
    const ReportResult r = AddReportSheet(dir.path(), "20250104", "101500", {});
    EXPECT_EQ(r.status, ReportStatus::ReadFailed);
    EXPECT_TRUE(QFileInfo(dir.filePath("report_20250104.xlsx")).isDir());
}

// A package that is small on the disk but whose first sheet inflates to 200 MB (a highly
// compressible part) is refused before it is inflated, and the report stays as it was; a
// package within the limits that is large all the same is read.
TEST(ReportWorkbook, AnInflationBombIsRefusedUntouched)
{
    QTemporaryDir dir;
    ASSERT_TRUE(AddReportSheet(dir.path(), "20250102", "093015", {}).ok());
    const QString path = dir.filePath("report_20250102.xlsx");
    // The sheet part padded with blanks between its elements (still well-formed XML).
    auto padSheet = [&](size_t padding) {
        int error = 0;
        zip_t* archive = zip_open(QFile::encodeName(path).constData(), 0, &error);
        ASSERT_NE(archive, nullptr) << error;
        const zip_int64_t index = zip_name_locate(archive, "xl/worksheets/sheet1.xml", 0);
        ASSERT_GE(index, 0);
        zip_stat_t st;
        ASSERT_EQ(zip_stat_index(archive, zip_uint64_t(index), 0, &st), 0);
        std::string sheet(size_t(st.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), 0);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(zip_fread(file, sheet.data(), st.size), zip_int64_t(st.size));
        zip_fclose(file);
        const size_t close = sheet.rfind("</worksheet>");
        ASSERT_NE(close, std::string::npos);
        sheet.insert(close, padding, ' ');
        // libzip keeps the buffer until zip_close; it frees it then.
        char* bytes = static_cast<char*>(std::malloc(sheet.size()));
        ASSERT_NE(bytes, nullptr);
        std::memcpy(bytes, sheet.data(), sheet.size());
        zip_source_t* source = zip_source_buffer(archive, bytes, sheet.size(), 1);
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(zip_file_replace(archive, zip_uint64_t(index), source, 0), 0);
        ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
    };
    padSheet(200u << 20);
    const QByteArray bomb = ReadAll(path);
    ASSERT_LT(bomb.size(), 2 << 20);  // small on the disk
    const ReportResult r = AddReportSheet(dir.path(), "20250102", "101500", {});
    EXPECT_EQ(r.status, ReportStatus::NotAWorkbook);
    EXPECT_TRUE(r.message.contains("not a workbook this program can read"))
        << r.message.toStdString();
    EXPECT_EQ(ReadAll(path), bomb);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"report_20250102.xlsx"});

    // 20 MB of padding: within the limits, read and extended.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(AddReportSheet(dir.path(), "20250102", "093015", {}).ok());
    padSheet(20u << 20);
    const ReportResult fine = AddReportSheet(dir.path(), "20250102", "101500", {});
    ASSERT_TRUE(fine.ok()) << fine.message.toStdString();
    EXPECT_EQ(Names(Inspect(path)), (QStringList{"101500", "093015"}));
}

TEST(ReportWorkbook, AFailedWriteKeepsThePreviousReport)
{
    QTemporaryDir dir;
    const QByteArray red = Jpeg(dir.path(), "red");
    ASSERT_TRUE(AddReportSheet(dir.path(), "20250102", "093015", red).ok());
    const QString path = dir.filePath("report_20250102.xlsx");
    const QByteArray before = ReadAll(path);

    SafeWriteFaults faults;
    faults.failAt = SafeWriteStep::Write;
    faults.error = ENOSPC;
    SetSafeWriteFaultsForTesting(&faults);
    const ReportResult r = AddReportSheet(dir.path(), "20250102", "101500", red);
    SetSafeWriteFaultsForTesting(nullptr);
    EXPECT_EQ(r.status, ReportStatus::WriteFailed);
    EXPECT_TRUE(r.message.contains("No space left")) << r.message.toStdString();
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"report_20250102.xlsx"});
}

TEST(ReportWorkbook, AFullDiskKeepsThePreviousReport)
{
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath("disk");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root)";
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(mountPoint)};

    const QByteArray red = Jpeg(dir.path(), "red");
    ASSERT_TRUE(AddReportSheet(mountPoint, "20250102", "093015", red).ok());
    const QString path = QDir(mountPoint).filePath("report_20250102.xlsx");
    const QByteArray before = ReadAll(path);
    // Fill the disk up to a few hundred bytes.
    {
        QFile filler(QDir(mountPoint).filePath("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    const ReportResult r = AddReportSheet(mountPoint, "20250102", "101500", red);
    EXPECT_EQ(r.status, ReportStatus::WriteFailed) << r.message.toStdString();
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"filler", "report_20250102.xlsx"}));
}

}  // namespace
}  // namespace ravir
