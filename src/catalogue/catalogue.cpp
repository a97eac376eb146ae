#include "catalogue/catalogue.h"

#include "catalogue/source_watcher.h"
#include "container/mp4_box.h"
#include "container/telemetry.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString lastComponent(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// The size of a regular file that can be opened for reading; nullopt otherwise (a folder, a
// device or a missing file). O_NONBLOCK keeps a FIFO from blocking the open.
std::optional<uint64_t> readableFileSize(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

// "YYMMDD_NNNN"
bool isGroupName(const QString& text)
{
    if (text.size() != 11 || text[6] != QLatin1Char('_'))
        return false;
    for (int i = 0; i < 11; ++i) {
        if (i != 6 && (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9')))
            return false;
    }
    return true;
}

}  // namespace

void Catalogue::setKindFlag(int index, bool on)
{
    if (index >= 0 && index < 5)
        filter_.flags[static_cast<size_t>(index)] = on;
}

bool Catalogue::ContainerCheck(const QString& path) const
{
    // Both camera engines answer with the same container test, so asking one is enough.
    if (!enginesReady_)
        return false;
    if (!memoActive_)
        return IsMp4File(path);
    const auto found = containerMemo_.find(path);
    if (found != containerMemo_.end())
        return found->second;
    const bool accepted = IsMp4File(path);
    containerMemo_.emplace(path, accepted);
    return accepted;
}

bool Catalogue::IsListableRecording(const QString& path) const
{
    return HasMovExtension(path) && IsMainRecordingName(path) && ContainerCheck(path);
}

bool Catalogue::BuildRecordingRecord(const QString& path, RecordList& records)
{
    if (!HasMovExtension(path))
        return false;
    const std::optional<uint64_t> size = readableFileSize(path);
    if (!size)
        return false;
    RecordingRecord record;
    record.path = path;
    record.size = *size;
    record.pairedSize = readableFileSize(PairedPathOf(path)).value_or(0);
    const QString telemetryPath = TelemetryPathOf(path);
    if (enginesReady_) {
        TelemetryHeader header;
        if (ReadTelemetryHeader(telemetryPath, header))
            record.trigger = header.trigger;
    }
    record.telemetrySize = readableFileSize(telemetryPath).value_or(0);
    record.row = rowCounter_++;
    record.joined = 0;
    const QString name = lastComponent(path);
    record.kindLetter = KindOf(name) != RecordingKind::None ? name[0].unicode() : 0;
    records.push_back(std::move(record));
    return true;
}

int Catalogue::kindMaskOfFolder(const QString& folder) const
{
    RecordList entries;
    if (!EnumerateFolder(folder, entries))
        return 0;
    int mask = 0;
    for (const RecordingRecord& e : entries) {
        if (!e.isFolderEntry() && IsListableRecording(e.path))
            mask |= KindMaskOf(e.path);
    }
    return mask;
}

QString Catalogue::WalkFolder(const QString& folder, TreeItem* parent, RecordList& records,
                              RecordList* folderRecords, bool layoutFolders, int depth)
{
    RecordList entries;
    if (!EnumerateFolder(folder, entries)) {
        // Not a folder: a tree item path naming a recording group in its parent folder.
        const QString target = lastComponent(folder);
        const QString parentFolder = parentOf(folder);
        const QString main = joinPath(parentFolder, QStringLiteral("Main"));
        const QString scan = !parentFolder.isEmpty() && QFileInfo(main).isDir() ? main : parentFolder;
        GroupWalk(scan, parent, records, folderRecords, layoutFolders, false, target);
        scannedMask_ = -1;  // not known; worked out only where a tree item needs it
        return scan;
    }
    const bool recordingFolder = std::any_of(entries.begin(), entries.end(),
        [](const RecordingRecord& e) {
            return e.isFolderEntry() ? e.fileName() == QLatin1String("Main")
                                     : IsMainRecordingName(e.path);
        });
    if (recordingFolder) {
        const QString main = joinPath(folder, QStringLiteral("Main"));
        const QString scan = QFileInfo(main).isDir() ? main : folder;
        GroupWalk(scan, parent, records, folderRecords, layoutFolders, true, QString());
        scannedMask_ = groupWalkMask_;
        return scan;
    }
    videoFirst_ = layoutFolders;
    SortByNameOrder(entries, videoFirst_);
    for (const RecordingRecord& e : entries) {
        if (!e.isFolderEntry())
            continue;
        if (depth >= kMaxFolderDepth || tree_.count() >= kMaxTreeItems)
            continue;
        TreeItem* item = tree_.insert(parent, e.fileName());
        if (layoutFolders && folderRecords) {
            const QString scanned =
                WalkFolder(e.path, item, records, folderRecords, layoutFolders, depth + 1);
            BuildFolderRecord(scanned, *folderRecords);
            tree_.setKindMask(item, scannedMask_ >= 0 ? scannedMask_ : kindMaskOfFolder(scanned));
        }
    }
    // A folder without main-camera recording names holds no listable recording.
    scannedMask_ = 0;
    return folder;
}

void Catalogue::GroupWalk(const QString& scanFolder, TreeItem* parent, RecordList& records,
                          RecordList* folderRecords, bool layoutFolders, bool insertItems,
                          const QString& targetGroup)
{
    RecordList entries;
    if (!EnumerateFolder(scanFolder, entries))
        return;
    SortByNumber(entries);
    GroupState state;
    int mask = 0;
    groupWalkMask_ = 0;
    bool inTarget = false;
    TreeItem* lastGroup = nullptr;
    const auto closeGroup = [&]() {
        if (layoutFolders && lastGroup) {
            tree_.setKindMask(lastGroup, mask);
            tree_.expandWithAncestors(lastGroup);
        }
        mask = 0;
    };
    for (const RecordingRecord& e : entries) {
        if (e.isFolderEntry() || !IsListableRecording(e.path))
            continue;
        groupWalkMask_ |= KindMaskOf(e.path);
        const QString group = GroupNameOf(e.path, state);
        state.previousPath = e.path;
        if (insertItems) {
            if (tree_.count() >= kMaxTreeItems)
                continue;
            if (group != state.currentName) {
                state.currentName = group;
                closeGroup();
                lastGroup = tree_.insert(parent, group);
                if (folderRecords)
                    BuildFolderRecord(e.path, *folderRecords);
            }
            if (layoutFolders)
                mask |= KindMaskOf(e.path);
        } else {
            state.currentName = group;
            if (group == targetGroup) {
                inTarget = true;
                BuildRecordingRecord(e.path, records);
            } else if (inTarget) {
                // Group numbers only grow within a date, so a group once left never comes
                // back: the rest of the folder cannot add to the target.
                break;
            }
        }
    }
    if (insertItems)
        closeGroup();
}

void Catalogue::Clear()
{
    tree_.setClearing(true);
    tree_.deleteAll();
    folderRecords_.clear();
    current_.clear();
    all_.clear();
    pathField_.clear();
    tree_.setClearing(false);
}

void Catalogue::OpenSource(const QString& path, SourceMode mode)
{
    // Opening a drive walks the movie folders twice (tree, then each top-level item); the
    // container check of a file is asked once per open.
    struct Memo {
        const Catalogue* c;
        explicit Memo(const Catalogue* catalogue) : c(catalogue) { c->memoActive_ = true; }
        ~Memo()
        {
            c->memoActive_ = false;
            c->containerMemo_.clear();
        }
    } memo(this);
    Clear();
    rowCounter_ = 0;
    mode_ = mode;
    sourcePath_ = path;
    singleFile_.clear();
    sourceLost_ = false;
    if (watcher_) {
        if (mode == SourceMode::Folder)
            watcher_->watch(parentOf(path.size() > 1 && path.endsWith(QLatin1Char('/'))
                                         ? path.chopped(1) : path));
        else
            watcher_->watch(path);
    }
    layoutFolders_ = DetectLayout(path);

    const auto selectTopLevelInTurn = [this]() {
        const auto& top = tree_.topLevel();
        for (size_t i = 1; i < top.size(); ++i)
            SelectItem(top[i].get());
        if (!top.empty())
            SelectItem(top.front().get());
    };

    switch (mode) {
    case SourceMode::Drive:
        tree_.setRootPath(path);
        WalkFolder(path, nullptr, current_, &folderRecords_, layoutFolders_, 0);
        selectTopLevelInTurn();
        ReadRecorderInfo(path);
        break;
    case SourceMode::Folder: {
        QString folder = path;
        if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        sourcePath_ = folder;
        tree_.setRootPath(parentOf(folder));
        TreeItem* item = tree_.insert(nullptr, lastComponent(folder));
        WalkFolder(folder, item, current_, nullptr, false, 0);
        SortByNumber(current_);
        selectTopLevelInTurn();
        break;
    }
    case SourceMode::File:
        singleFile_ = path;
        if (ContainerCheck(path))
            BuildRecordingRecord(path, current_);
        tree_.setRootPath(parentOf(path));
        break;
    case SourceMode::None:
        break;
    }
}

bool Catalogue::SelectItem(TreeItem* item)
{
    if (item == tree_.selected())
        return false;
    tree_.setSelected(item);
    if (item && !tree_.clearing())
        ScanTreeItem(item);
    return true;
}

int Catalogue::ScanTreeItem(TreeItem* item)
{
    if (tree_.clearing() || !item)
        return 0;
    sourceLost_ = false;
    const QString path = tree_.pathOf(item);
    pathField_ = path;
    current_.clear();
    rowCounter_ = 0;
    tree_.deleteChildren(item);
    WalkFolder(path, item, current_, nullptr, mode_ == SourceMode::Drive, item->depth());
    SortByNumber(current_);
    tree_.expandWithAncestors(item);
    return static_cast<int>(current_.size());
}

bool Catalogue::SelectDefaultItem()
{
    TreeItem* first = tree_.firstTopLevel();
    if (!first)
        return true;
    const FolderKindRow* rows = kFolderKindTable[CurrentLayoutIndex()];
    TreeItem* pick = first;
    if (first->text() == QLatin1String(rows[0].folder)
        || first->text() == QLatin1String(rows[2].folder)) {
        TreeItem* child = first->firstChild();
        if (child && isGroupName(child->text()))
            pick = child;
    }
    SelectItem(pick);
    pathField_ = tree_.pathOf(pick);
    return true;
}

bool Catalogue::collect(const QString& folder, int depth, RecordList& out)
{
    RecordList entries;
    if (!EnumerateFolder(folder, entries))
        return false;
    SortByName(entries, videoFirst_);
    bool hasFiles = false;
    for (const RecordingRecord& e : entries) {
        if (!e.isFolderEntry()) {
            hasFiles = true;
            continue;
        }
        if (depth >= kMaxFolderDepth)
            continue;
        RecordList sub;
        if (collect(e.path, depth + 1, sub))
            SortByNumber(sub);
        out.insert(out.end(), std::make_move_iterator(sub.begin()),
                   std::make_move_iterator(sub.end()));
    }
    for (const RecordingRecord& e : entries) {
        if (!e.isFolderEntry() && IsListableRecording(e.path))
            BuildRecordingRecord(e.path, out);
    }
    return hasFiles;
}

const RecordList& Catalogue::CollectAllRecordings()
{
    all_.clear();
    rowCounter_ = 0;
    sourceLost_ = false;
    switch (mode_) {
    case SourceMode::Drive:
        collect(tree_.rootPath(), 0, all_);
        break;
    case SourceMode::File:
        BuildRecordingRecord(singleFile_, all_);
        break;
    case SourceMode::Folder:
        if (TreeItem* first = tree_.firstTopLevel())
            collect(tree_.pathOf(first), 0, all_);
        break;
    case SourceMode::None:
        break;
    }
    return all_;
}

void Catalogue::ReadRecorderInfo(const QString& root)
{
    RecordList folders = folderRecords_;
    SortByNameOrder(folders, videoFirst_);
    const FolderKindRow* rows = kFolderKindTable[CurrentLayoutIndex()];
    // The newest movie (highest file number) of the first movie folder that holds one that can
    // be opened. Only that one record matters, so the candidates are ordered by number first
    // and opened from the newest down, instead of building a record for every movie.
    QString newest;
    for (const RecordingRecord& f : folders) {
        if (!f.path.contains(QLatin1String(rows[0].folder))
            && !f.path.contains(QLatin1String(rows[2].folder)))
            continue;
        if (!QFileInfo(f.path).isDir())
            continue;
        RecordList entries;
        if (!EnumerateFolder(f.path, entries))
            continue;
        std::erase_if(entries, [](const RecordingRecord& e) {
            return e.isFolderEntry() || !HasMovExtension(e.path)
                   || KindOf(e.fileName()) == RecordingKind::None;
        });
        SortByNumber(entries);
        for (auto it = entries.rbegin(); it != entries.rend() && newest.isEmpty(); ++it) {
            if (readableFileSize(it->path))
                newest = it->path;
        }
        if (!newest.isEmpty())
            break;
    }
    if (newest.isEmpty() || !enginesReady_)
        return;
    const QString telemetryPath = TelemetryPathOf(newest);
    TelemetryHeader header;
    if (!ReadTelemetryHeader(telemetryPath, header))
        return;
    recorder_.version = header.firmwareVersion();
    const QString number = ReadRecorderNumber(telemetryPath);
    if (!number.isEmpty())
        recorder_.number = number;
    recorder_.downloadKey.clear();
    recorder_.downloadFlag = 0;
    const QString url = joinPath(root, QLatin1String(kDownloadKeyName) + QLatin1String(".url"));
    if (QFileInfo(url).isFile()) {
        recorder_.downloadKey = QLatin1String(kDownloadKeyName);
        recorder_.downloadFlag = 1;
    }
}

}  // namespace ravir
