#include "catalogue/recording_record.h"

#include "shell/hidden_attribute.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <set>

#include <dirent.h>
#include <sys/stat.h>

namespace ravir {

QString RecordingRecord::fileName() const
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<KindFilter> KindFilter::fromText(const QString& text)
{
    if (text.size() != 5)
        return std::nullopt;
    KindFilter filter;
    for (int i = 0; i < 5; ++i) {
        if (text[i] != QLatin1Char('0') && text[i] != QLatin1Char('1'))
            return std::nullopt;
        filter.flags[static_cast<size_t>(i)] = text[i] == QLatin1Char('1');
    }
    return filter;
}

QString KindFilter::toText() const
{
    QString text;
    for (bool flag : flags)
        text += flag ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

namespace {

class DirHandle {
public:
    explicit DirHandle(const QByteArray& path) : dir_(::opendir(path.constData())) {}
    ~DirHandle()
    {
        if (dir_)
            ::closedir(dir_);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

}  // namespace

bool EnumerateFolder(const QString& folder, RecordList& entries)
{
    if (folder.isEmpty())
        return false;
    const QByteArray encoded = QFile::encodeName(folder);
    DirHandle dir(encoded);
    if (!dir.get())
        return false;
    // On a filesystem with DOS attributes every entry is asked for its hidden bit; elsewhere a
    // leading dot is the hidden mark and no entry needs to be opened.
    const bool dosAttributes = HasDosAttributes(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* rawName = entry->d_name;
        if (std::strcmp(rawName, ".") == 0 || std::strcmp(rawName, "..") == 0)
            continue;
        const QString name = QFile::decodeName(rawName);
        const QString path = joinPath(folder, name);
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            const QByteArray full = encoded + '/' + QByteArray(rawName);
            if (::stat(full.constData(), &st) != 0)
                continue;  // a dangling link lists as nothing
            isDir = S_ISDIR(st.st_mode);
        }
        // A folder may be another filesystem's mount point, so folders are always asked.
        const bool hidden = (dosAttributes || isDir) ? IsHidden(path) : name.startsWith(u'.');
        if (hidden)
            continue;
        RecordingRecord record;
        record.path = path;
        record.attributes = isDir ? kAttributeDirectory : kAttributeNormal;
        entries.push_back(std::move(record));
    }
    return true;
}

void BuildFolderRecord(const QString& path, RecordList& records)
{
    RecordingRecord record;
    record.path = path;
    record.row = -1;
    record.kindLetter = 0;
    record.size = kFolderRecordSize;
    record.pairedSize = kFolderRecordSize;
    record.telemetrySize = kFolderRecordSize;
    records.push_back(std::move(record));
}

namespace {

QStringView nameOf(const QString& path)
{
    return QStringView(path).mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

bool NameLess(const RecordingRecord& a, const RecordingRecord& b, bool videoFirst)
{
    const QStringView na = nameOf(a.path), nb = nameOf(b.path);
    if (videoFirst && IsLayout1MovieFolder(na.toString()) && IsLayout1MovieFolder(nb.toString()))
        return nb.compare(na) < 0;
    return na.compare(nb) < 0;
}

void SortByName(RecordList& records, bool videoFirst)
{
    const auto folderEnd = std::stable_partition(records.begin(), records.end(),
        [](const RecordingRecord& r) { return r.isFolderEntry(); });
    const auto less = [videoFirst](const RecordingRecord& a, const RecordingRecord& b) {
        return NameLess(a, b, videoFirst);
    };
    std::sort(records.begin(), folderEnd, less);
    std::sort(folderEnd, records.end(), less);
}

void SortByNumber(RecordList& records)
{
    const auto recordingEnd = std::stable_partition(records.begin(), records.end(),
        [](const RecordingRecord& r) { return IsRecordingName(r.path); });
    // By the six characters of the file number, as text; equal numbers by the whole name so
    // that the order does not depend on the file system's.
    const auto less = [](const RecordingRecord& a, const RecordingRecord& b) {
        const QStringView na = nameOf(a.path), nb = nameOf(b.path);
        const int byNumber = na.mid(19, 6).compare(nb.mid(19, 6));
        return byNumber != 0 ? byNumber < 0 : na.compare(nb) < 0;
    };
    std::sort(records.begin(), recordingEnd, less);
    std::sort(recordingEnd, records.end(), less);
}

bool PassesKindFilter(const QString& path, const KindFilter& filter)
{
    const QStringView name = nameOf(path);
    const QChar c0 = name.size() > 0 ? name[0] : QChar();
    const QChar e = name.size() > 1 ? name[1] : QChar();
    const QChar t = name.size() > 2 ? name[2] : QChar();
    const bool continuousMode = c0 == QLatin1Char('A') || c0 == QLatin1Char('T');
    const bool parkingMode = c0 == QLatin1Char('P');
    const auto& f = filter.flags;
    bool shown = f[0] && continuousMode;
    if (e == QLatin1Char('G') && continuousMode) {
        shown = f[1];
        if (shown)
            return true;
    }
    if (e == QLatin1Char('M')) {
        shown = f[2];
        if (shown)
            return true;
    }
    bool parked = f[3] && (parkingMode || t == QLatin1Char('T'));
    if (parkingMode && e == QLatin1Char('G')) {
        parked = f[4];
        if (parked)
            return true;
    }
    return shown || parked;
}

RecordList ApplyKindFilter(const RecordList& records, const KindFilter& filter)
{
    RecordList shown;
    for (const RecordingRecord& r : records) {
        if (PassesKindFilter(r.path, filter))
            shown.push_back(r);
    }
    return shown;
}

void RemoveByName(RecordList& records, const RecordList& removed)
{
    std::set<QString> names;
    for (const RecordingRecord& r : removed)
        names.insert(r.fileName());
    std::erase_if(records, [&names](const RecordingRecord& r) {
        return names.count(r.fileName()) != 0;
    });
}

void RenumberRows(RecordList& records)
{
    for (size_t i = 0; i < records.size(); ++i)
        records[i].row = static_cast<int>(i);
}

QString GroupNameOf(const QString& entryPath, GroupState& state)
{
    const QStringView name = nameOf(entryPath);
    const int n = FileNumberOf(entryPath);
    const bool hasPrevious = !state.previousPath.isEmpty();
    const int p = hasPrevious ? FileNumberOf(state.previousPath) : 0;
    const bool opensGroup = name.size() > 3 && name[3] == QLatin1Char('S');
    if (hasPrevious && state.count < kMaxGroupSize && !opensGroup && n >= 0 && p >= 0
        && n == p + 1) {
        ++state.count;
        return state.currentName;
    }
    state.count = 1;
    QString date;
    if (name.size() > 5) {
        const qsizetype dash = name.indexOf(QLatin1Char('-'), 5);
        date = (dash < 0 ? name.mid(5) : name.mid(5, dash - 5)).toString();
    }
    const int k = ++state.groupsOfDate[date];
    return date + QStringLiteral("_%1").arg(k, 4, 10, QLatin1Char('0'));
}

}  // namespace ravir
