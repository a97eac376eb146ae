// Fuzzes the report's reading of the day's existing workbook, which can be any file that a user
// or an office program left in the report folder. The input is either the whole file, or (its
// first byte odd) the program's own first report with one part replaced: byte 1 chooses the
// part, the rest is its new content, so that the XML readers see damaged parts inside a sound
// package. Whatever the file, the report must either be added, and then the workbook it wrote
// takes a further report, or be refused with the file left exactly as it was; and nothing else
// may be left in the folder.
#include "exports/report_workbook.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

const QString kDay = QStringLiteral("20250102");

QString Folder()
{
    static const QString folder = [] {
        const QString base =
            QDir::tempPath() + QStringLiteral("/ravir-fuzz-workbook-%1").arg(::getpid());
        QDir().mkpath(base + "/template");
        QDir().mkpath(base + "/work");
        // Kept past the statics' destruction for the removal at exit.
        static const QString* const removeAtExit = new QString(base);
        std::atexit([] { QDir(*removeAtExit).removeRecursively(); });
        return base;
    }();
    return folder;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The workbook of a first report, made once.
const QByteArray& FirstReport()
{
    static const QByteArray bytes = [] {
        const QString folder = Folder() + "/template";
        if (!ravir::AddReportSheet(folder, kDay, QStringLiteral("093015"), {}).ok())
            std::abort();
        return ReadAll(ravir::ReportWorkbookPath(folder, kDay));
    }();
    return bytes;
}

// The first report with part `index` (modulo the parts) holding `content`.
QByteArray WithPartReplaced(const QString& path, uint8_t index, const QByteArray& content)
{
    if (!WriteAll(path, FirstReport()))
        std::abort();
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), 0, &error);
    if (!archive)
        std::abort();
    const zip_int64_t parts = zip_get_num_entries(archive, 0);
    // content outlives zip_close, which reads it.
    zip_source_t* source = zip_source_buffer(archive, content.constData(),
                                             static_cast<zip_uint64_t>(content.size()), 0);
    if (parts <= 0 || !source || zip_file_replace(archive, index % parts, source, 0) < 0 ||
        zip_close(archive) < 0)
        std::abort();
    return ReadAll(path);
}

void WriteSeed(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    if (!WriteAll(folder + "/" + name, bytes))
        std::abort();
}

}  // namespace

// With RAVIR_FUZZ_SEEDS=DIR (scripts/fuzz), writes the starting inputs into DIR before the
// corpus is read: the first report and a report of two sheets as whole files, and each part
// of the first report as a part replacement holding its own content.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString seeds = QString::fromLocal8Bit(qgetenv("RAVIR_FUZZ_SEEDS"));
    if (seeds.isEmpty())
        return 0;
    WriteSeed(seeds, "first.xlsx", FirstReport());
    const QString folder = Folder() + "/template";
    if (!ravir::AddReportSheet(folder, kDay, QStringLiteral("101010"), {}).ok())
        std::abort();
    WriteSeed(seeds, "second.xlsx", ReadAll(ravir::ReportWorkbookPath(folder, kDay)));
    int error = 0;
    const QString first = Folder() + "/first.xlsx";
    WriteAll(first, FirstReport());
    zip_t* archive = zip_open(QFile::encodeName(first).constData(), ZIP_RDONLY, &error);
    if (!archive)
        std::abort();
    const zip_int64_t parts = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < parts && i < 256; ++i) {
        zip_stat_t info;
        zip_file_t* part = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!part || zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &info) != 0)
            std::abort();
        QByteArray seed(2 + static_cast<qsizetype>(info.size), '\0');
        seed[0] = 1;
        seed[1] = static_cast<char>(i);
        if (zip_fread(part, seed.data() + 2, info.size) != static_cast<zip_int64_t>(info.size))
            std::abort();
        zip_fclose(part);
        WriteSeed(seeds, QStringLiteral("part-%1").arg(i), seed);
    }
    zip_discard(archive);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString folder = Folder() + "/work";
    const QString report = ravir::ReportWorkbookPath(folder, kDay);
    QByteArray file;
    if (size >= 2 && (data[0] & 1)) {
        file = WithPartReplaced(report, data[1],
                                QByteArray(reinterpret_cast<const char*>(data + 2),
                                           static_cast<qsizetype>(size - 2)));
    } else {
        file = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        if (!WriteAll(report, file))
            std::abort();
    }

    const ravir::ReportResult added = ravir::AddReportSheet(folder, kDay, QStringLiteral("101010"), {});
    if (added.ok()) {
        // What it wrote is a workbook it reads again.
        if (!ravir::AddReportSheet(folder, kDay, QStringLiteral("111111"), {}).ok())
            std::abort();
    } else if (ReadAll(report) != file) {
        std::fprintf(stderr, "refused (%s) but changed the report\n", qPrintable(added.message));
        std::abort();
    }
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (left != QStringList{QFileInfo(report).fileName()}) {
        std::fprintf(stderr, "left in the folder: %s\n", qPrintable(left.join(", ")));
        std::abort();
    }
    QFile::remove(report);
    return 0;
}
