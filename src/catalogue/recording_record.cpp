#include "catalogue/recording_record.h"

#include "catalogue/folder_listing.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <set>


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

bool EnumerateFolder(const QString& folder, RecordList& entries, SkipList* skipped)
{
    const FolderListing listing = ListFolder(folder, skipped);
    if (!listing.ok())
        return false;
    entries.reserve(entries.size() + listing.entries.size());
    for (const FolderEntry& e : listing.entries) {
        RecordingRecord record;
        record.path = JoinPath(folder, e.name);
        record.attributes = e.isDir ? kAttributeDirectory : kAttributeNormal;
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

namespace {

// Sorts records[begin, end) by a comparator over their file names, with every name found once
// instead of at every comparison.
template <typename Less>
void sortByFileName(RecordList& records, size_t begin, size_t end, Less less)
{
    struct Keyed {
        QStringView name;
        size_t index;
    };
    std::vector<Keyed> keys;
    keys.reserve(end - begin);
    for (size_t i = begin; i < end; ++i)
        keys.push_back({nameOf(records[i].path), i});
    std::sort(keys.begin(), keys.end(),
              [&less](const Keyed& a, const Keyed& b) { return less(a.name, b.name); });
    RecordList sorted;
    sorted.reserve(keys.size());
    for (const Keyed& k : keys)
        sorted.push_back(std::move(records[k.index]));
    std::move(sorted.begin(), sorted.end(), records.begin() + static_cast<std::ptrdiff_t>(begin));
}

bool nameLess(QStringView a, QStringView b, bool videoFirst)
{
    if (videoFirst && IsLayout1MovieFolder(a.toString()) && IsLayout1MovieFolder(b.toString()))
        return b.compare(a) < 0;
    return a.compare(b) < 0;
}

// By the six characters of the file number, as text; equal numbers by the whole name so that
// the order does not depend on the file system's.
bool numberLess(QStringView a, QStringView b)
{
    const int byNumber = a.mid(19, 6).compare(b.mid(19, 6));
    return byNumber != 0 ? byNumber < 0 : a.compare(b) < 0;
}

}  // namespace

void SortByName(RecordList& records, bool videoFirst)
{
    const auto folderEnd = std::stable_partition(records.begin(), records.end(),
        [](const RecordingRecord& r) { return r.isFolderEntry(); });
    const auto split = static_cast<size_t>(folderEnd - records.begin());
    const auto less = [videoFirst](QStringView a, QStringView b) { return nameLess(a, b, videoFirst); };
    sortByFileName(records, 0, split, less);
    sortByFileName(records, split, records.size(), less);
}

void SortByNumber(RecordList& records)
{
    const auto recordingEnd = std::stable_partition(records.begin(), records.end(),
        [](const RecordingRecord& r) { return IsRecordingName(r.path); });
    const auto split = static_cast<size_t>(recordingEnd - records.begin());
    sortByFileName(records, 0, split, numberLess);
    sortByFileName(records, split, records.size(), numberLess);
}

void SortByNameOrder(RecordList& records, bool videoFirst)
{
    const auto less = [videoFirst](QStringView a, QStringView b) { return nameLess(a, b, videoFirst); };
    sortByFileName(records, 0, records.size(), less);
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
