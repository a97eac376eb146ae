#include "catalogue/catalogue.h"

#include "catalogue/folder_listing.h"
#include "catalogue/source_watcher.h"
#include "container/telemetry.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

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

// A folder that exists but cannot be listed is reported; a path that names nothing (a tree
// item of a recording group) is not.
bool isMissing(int error) { return error == ENOENT || error == ENOTDIR; }

// Time-lapse names sample telemetry 15 times a second.
bool isTimeLapseName(QStringView name)
{
    return (name.size() > 0 && name[0] == u'T') || (name.size() > 2 && name[2] == u'T');
}

// Container checks of a group walk are issued in batches of this many movies, so that a walk
// that stops early (the selected group found) does not read the rest of the folder.
constexpr size_t kProbeBatch = 256;

// The largest telemetry file read whole for the recorder number.
constexpr uint64_t kRecorderInfoReadLimit = 64ull << 20;

}  // namespace

struct Catalogue::Listing {
    FolderListing list;
    std::vector<MovieProbe> probes;  // per entry, valid where probed[i]
    std::vector<uint8_t> probed;
    std::vector<uint32_t> byNumber;
    bool byNumberReady = false;
};

struct Catalogue::Session {
    std::unordered_map<QString, std::unique_ptr<Listing>> listings;
    std::unordered_map<QString, MovieProbe> pathProbes;
    DirFds fds;
};

// The inputs and results of building one record; prepared on the caller's thread, run on any.
struct Catalogue::RecordJob {
    QString path;
    QByteArray movieName;  // the name's bytes when the listing has them
    bool probeKnown = false;
    bool requireMp4 = false;  // the container check is still to be made
    MovieProbe probe;
    bool ok = false;
    RecordingRecord record;
    std::vector<SkippedEntry> skips;
};

class Catalogue::SessionScope {
public:
    explicit SessionScope(const Catalogue& c) : c_(c)
    {
        if (c_.sessionDepth_++ == 0)
            c_.session_ = std::make_unique<Session>();
    }
    ~SessionScope()
    {
        if (--c_.sessionDepth_ == 0)
            c_.session_.reset();
    }
    SessionScope(const SessionScope&) = delete;
    SessionScope& operator=(const SessionScope&) = delete;

private:
    const Catalogue& c_;
};

Catalogue::Catalogue() = default;
Catalogue::~Catalogue() = default;

void Catalogue::setKindFlag(int index, bool on)
{
    if (index >= 0 && index < 5)
        filter_.flags[static_cast<size_t>(index)] = on;
}

Catalogue::Listing& Catalogue::listing(const QString& folder) const
{
    auto& slot = session_->listings[folder];
    if (!slot) {
        slot = std::make_unique<Listing>();
        slot->list = ListFolder(folder, &skipped_);
        slot->probes.resize(slot->list.entries.size());
        slot->probed.assign(slot->list.entries.size(), 0);
    }
    return *slot;
}

const std::vector<uint32_t>& Catalogue::numberOrder(Listing& l) const
{
    if (!l.byNumberReady) {
        const auto& e = l.list.entries;
        l.byNumber.resize(e.size());
        for (uint32_t i = 0; i < e.size(); ++i)
            l.byNumber[i] = i;
        // Recordings first, each part by the six characters of the file number as text (a
        // recording's number is six digits, so its value orders the same), then by name.
        std::sort(l.byNumber.begin(), l.byNumber.end(), [&e](uint32_t a, uint32_t b) {
            const FolderEntry& x = e[a];
            const FolderEntry& y = e[b];
            if (x.facts.recording != y.facts.recording)
                return x.facts.recording;
            if (x.facts.recording) {
                if (x.facts.number != y.facts.number)
                    return x.facts.number < y.facts.number;
            } else {
                const int byText = QStringView(x.name).mid(19, 6).compare(QStringView(y.name).mid(19, 6));
                if (byText != 0)
                    return byText < 0;
            }
            return QStringView(x.name).compare(QStringView(y.name)) < 0;
        });
        l.byNumberReady = true;
    }
    return l.byNumber;
}

// The folder entries (folders) or the entries that may be main-camera recordings (files), in
// name order.
std::vector<uint32_t> Catalogue::nameOrder(const Listing& l, bool videoFirst, bool folders) const
{
    const auto& e = l.list.entries;
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < e.size(); ++i) {
        if (folders ? e[i].isDir : !e[i].isDir && e[i].facts.movExtension && e[i].facts.mainRecording)
            order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&e, videoFirst](uint32_t a, uint32_t b) {
        const QString& x = e[a].name;
        const QString& y = e[b].name;
        if (videoFirst && IsLayout1MovieFolder(x) && IsLayout1MovieFolder(y))
            return QStringView(y).compare(QStringView(x)) < 0;
        return QStringView(x).compare(QStringView(y)) < 0;
    });
    return order;
}

void Catalogue::ensureProbes(Listing& l, const std::vector<uint32_t>& indexes, size_t begin,
                             size_t end) const
{
    std::vector<uint32_t> todo;
    for (size_t k = begin; k < end; ++k) {
        if (!l.probed[indexes[k]])
            todo.push_back(indexes[k]);
    }
    if (todo.empty())
        return;
    const int dirFd = session_->fds.get(l.list.folder);
    ParallelFor(todo.size(), [&](size_t k) {
        const FolderEntry& e = l.list.entries[todo[k]];
        MovieProbe& probe = l.probes[todo[k]];
        if (!e.isRegular)
            probe.result = MovieProbe::Result::NotRegular;  // refused without opening it
        else if (dirFd < 0)
            probe.result = MovieProbe::Result::Missing;
        else
            probe = ProbeMovie(dirFd, e.nativeName.constData(), false);
    });
    for (uint32_t i : todo) {
        l.probed[i] = 1;
        SkippedEntry skip;
        if (SkipOfProbe(l.probes[i], NativePath(l.list.folder, l.list.entries[i].nativeName), skip))
            skipped_.add(std::move(skip));
    }
}

// A file entry that HasMovExtension, IsMainRecordingName and passes the container check.
bool Catalogue::listable(Listing& l, uint32_t index) const
{
    const FolderEntry& e = l.list.entries[index];
    if (e.isDir || !e.facts.movExtension || !e.facts.mainRecording || !enginesReady_)
        return false;
    if (!l.probed[index])
        ensureProbes(l, {index}, 0, 1);
    return l.probes[index].accepted();
}

void Catalogue::reportFolderError(const Listing& l) const
{
    if (!isMissing(l.list.error))
        skipped_.add({QFile::encodeName(l.list.folder), SkipReason::FolderUnreadable, l.list.error});
}

// Marks the folder as walked under path; false (and a report) when the running walk has been
// there, or will be, under another path.
bool Catalogue::visitFolder(const Listing& l, const QString& path)
{
    if (!visited_ || !l.list.ok())
        return true;
    const auto [at, added] = visited_->emplace(FolderId{l.list.device, l.list.inode}, path);
    if (added || at->second == path)
        return true;
    skipped_.add({QFile::encodeName(path), SkipReason::FolderAlreadyListed, 0});
    return false;
}

// Before a folder's entries are walked in name order, its real sub-folders claim their place, so
// that a link that sorts before the folder it points to is the one left out.
void Catalogue::claimRealFolders(Listing& l, const QString& folder, int depth)
{
    if (!visited_ || depth >= kMaxFolderDepth)
        return;
    for (const FolderEntry& e : l.list.entries) {
        if (!e.isDir || e.isLink)
            continue;
        const QString sub = JoinPath(folder, e.name);
        const Listing& s = listing(sub);
        if (s.list.ok())
            visited_->emplace(FolderId{s.list.device, s.list.inode}, sub);
    }
}

bool Catalogue::ContainerCheck(const QString& path) const
{
    // Both camera engines answer with the same container test, so asking one is enough.
    if (!enginesReady_)
        return false;
    SessionScope scope(*this);
    auto& memo = session_->pathProbes;
    auto found = memo.find(path);
    if (found == memo.end()) {
        const MovieProbe probe = ProbeMovie(AT_FDCWD, QFile::encodeName(path).constData());
        found = memo.emplace(path, probe).first;
        SkippedEntry skip;
        if (SkipOfProbe(probe, QFile::encodeName(path), skip))
            skipped_.add(std::move(skip));
    }
    return found->second.accepted();
}

bool Catalogue::IsListableRecording(const QString& path) const
{
    return HasMovExtension(path) && IsMainRecordingName(path) && ContainerCheck(path);
}

bool Catalogue::prepareJob(const QString& path, RecordJob& job) const
{
    if (!HasMovExtension(path))
        return false;
    job.path = path;
    if (!job.probeKnown) {
        const auto found = session_->pathProbes.find(path);
        if (found != session_->pathProbes.end()) {
            job.probe = found->second;
            job.probeKnown = true;
        }
    }
    return true;
}

namespace {

// The descriptor and name to reach path by: its folder's descriptor when the scan opened it
// before the jobs ran, else the whole path. dirFd -1: the folder cannot be opened.
struct Place {
    int dirFd = AT_FDCWD;
    QByteArray name;
};

Place placeOf(const QString& path, const DirFds& fds, const QByteArray& knownName = {})
{
    Place place;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const int fd = slash > 0 ? fds.find(path.left(slash)) : -2;
    if (fd == -2) {
        place.name = QFile::encodeName(path);
        return place;
    }
    place.dirFd = fd;
    place.name = knownName.isEmpty() ? QFile::encodeName(path.mid(slash + 1)) : knownName;
    return place;
}

}  // namespace

void Catalogue::runJob(RecordJob& job) const
{
    const DirFds& fds = session_->fds;
    if (!job.probeKnown) {
        const Place movie = placeOf(job.path, fds, job.movieName);
        job.probe = movie.dirFd == -1 ? MovieProbe{} : ProbeMovie(movie.dirFd, movie.name.constData());
        SkippedEntry skip;
        if (SkipOfProbe(job.probe, QFile::encodeName(job.path), skip)
            && (job.requireMp4 || job.probe.result != MovieProbe::Result::NotMp4))
            job.skips.push_back(std::move(skip));
    }
    using R = MovieProbe::Result;
    // A record needs a movie that opens as a regular file; the listing needs an MP4 as well.
    if (job.probe.result != R::Accepted && (job.requireMp4 || job.probe.result != R::NotMp4))
        return;
    RecordingRecord& record = job.record;
    record.path = job.path;
    if (!job.probe.sized) {
        // Checked by a listing's container check: the size is the one stat still to make.
        const Place movie = placeOf(job.path, fds, job.movieName);
        const CompanionProbe sized = StatCompanion(movie.dirFd, movie.name.constData());
        if (!sized.present) {
            if (sized.hasProblem)
                job.skips.push_back({QFile::encodeName(job.path), sized.problem, sized.error});
            return;
        }
        job.probe.size = sized.size;
        job.probe.sized = true;
    }
    record.size = job.probe.size;
    const QString pairedPath = PairedPathOf(job.path);
    const Place pairedPlace = placeOf(pairedPath, fds);
    const CompanionProbe paired = StatCompanion(pairedPlace.dirFd, pairedPlace.name.constData());
    record.pairedSize = paired.size;
    if (paired.hasProblem)
        job.skips.push_back({QFile::encodeName(pairedPath), paired.problem, paired.error});
    const QString telemetryPath = TelemetryPathOf(job.path);
    const Place telemetryPlace = placeOf(telemetryPath, fds);
    const CompanionProbe telemetry =
        ProbeTelemetry(telemetryPlace.dirFd, telemetryPlace.name.constData(), enginesReady_,
                       isTimeLapseName(QStringView(telemetryPath).mid(telemetryPath.lastIndexOf(u'/') + 1)));
    record.telemetrySize = telemetry.size;
    record.trigger = telemetry.headerRead ? telemetry.trigger : 0;
    if (telemetry.hasProblem)
        job.skips.push_back({QFile::encodeName(telemetryPath), telemetry.problem, telemetry.error});
    record.joined = 0;
    const QStringView name = QStringView(job.path).mid(job.path.lastIndexOf(u'/') + 1);
    record.kindLetter = KindOf(name.toString()) != RecordingKind::None ? name[0].unicode() : 0;
    job.ok = true;
}

void Catalogue::buildRecords(std::vector<RecordJob>& jobs, RecordList& records)
{
    // The folders of the movies and of their companions are opened once, before the jobs run
    // on several threads (which only look descriptors up).
    QString lastFolder;
    for (const RecordJob& job : jobs) {
        const QString folder = parentOf(job.path);
        if (folder.isEmpty() || folder == lastFolder)
            continue;
        lastFolder = folder;
        session_->fds.get(folder);
        for (const QString& companion : {PairedPathOf(job.path), TelemetryPathOf(job.path)}) {
            const QString companionFolder = parentOf(companion);
            if (!companionFolder.isEmpty())
                session_->fds.get(companionFolder);
        }
    }
    ParallelFor(jobs.size(), [&](size_t i) { runJob(jobs[i]); });
    for (RecordJob& job : jobs) {
        for (SkippedEntry& skip : job.skips)
            skipped_.add(std::move(skip));
        if (!job.ok)
            continue;
        job.record.row = rowCounter_++;
        records.push_back(std::move(job.record));
    }
}

bool Catalogue::BuildRecordingRecord(const QString& path, RecordList& records)
{
    SessionScope scope(*this);
    std::vector<RecordJob> jobs(1);
    if (!prepareJob(path, jobs[0]))
        return false;
    const size_t before = records.size();
    buildRecords(jobs, records);
    session_->pathProbes.emplace(path, jobs[0].probe);
    return records.size() > before;
}

int Catalogue::kindMaskOfFolder(const QString& folder) const
{
    SessionScope scope(*this);
    Listing& l = listing(folder);
    if (!l.list.ok())
        return 0;
    std::vector<uint32_t> candidates;
    for (uint32_t i = 0; i < l.list.entries.size(); ++i) {
        const FolderEntry& e = l.list.entries[i];
        if (!e.isDir && e.facts.movExtension && e.facts.mainRecording)
            candidates.push_back(i);
    }
    if (!enginesReady_)
        return 0;
    ensureProbes(l, candidates, 0, candidates.size());
    int mask = 0;
    for (uint32_t i : candidates) {
        if (l.probes[i].accepted())
            mask |= l.list.entries[i].facts.kindMask;
    }
    return mask;
}

QString Catalogue::WalkFolder(const QString& folder, TreeItem* parent, RecordList& records,
                              RecordList* folderRecords, bool layoutFolders, int depth)
{
    SessionScope scope(*this);
    Listing& l = listing(folder);
    // The walk's own record of folders met, so that a link back to one is not walked again.
    std::map<FolderId, QString> visited;
    const bool outermost = visited_ == nullptr;
    if (outermost)
        visited_ = &visited;
    struct Reset {
        Catalogue* c;
        bool on;
        ~Reset()
        {
            if (on)
                c->visited_ = nullptr;
        }
    } reset{this, outermost};
    if (outermost && l.list.ok())
        visited.emplace(FolderId{l.list.device, l.list.inode}, folder);

    if (!l.list.ok()) {
        reportFolderError(l);
        // Not a folder: a tree item path naming a recording group in its parent folder.
        const QString target = lastComponent(folder);
        const QString parentFolder = parentOf(folder);
        const QString main = JoinPath(parentFolder, QStringLiteral("Main"));
        const QString scan = !parentFolder.isEmpty() && QFileInfo(main).isDir() ? main : parentFolder;
        GroupWalk(scan, parent, records, folderRecords, layoutFolders, false, target);
        scannedMask_ = -1;  // not known; worked out only where a tree item needs it
        return scan;
    }
    const bool recordingFolder = std::any_of(l.list.entries.begin(), l.list.entries.end(),
        [](const FolderEntry& e) {
            return e.isDir ? e.name == QLatin1String("Main") : e.facts.mainRecording;
        });
    if (recordingFolder) {
        const bool hasMain = std::any_of(l.list.entries.begin(), l.list.entries.end(),
            [](const FolderEntry& e) { return e.isDir && e.name == QLatin1String("Main"); });
        const QString scan = hasMain ? JoinPath(folder, QStringLiteral("Main")) : folder;
        GroupWalk(scan, parent, records, folderRecords, layoutFolders, true, QString());
        scannedMask_ = groupWalkMask_;
        return scan;
    }
    videoFirst_ = layoutFolders;
    const std::vector<uint32_t> order = nameOrder(l, videoFirst_, true);
    if (layoutFolders && folderRecords)
        claimRealFolders(l, folder, depth);
    for (uint32_t i : order) {
        const FolderEntry& e = l.list.entries[i];
        if (depth >= kMaxFolderDepth || tree_.count() >= kMaxTreeItems)
            continue;
        const QString sub = JoinPath(folder, e.name);
        if (layoutFolders && folderRecords) {
            if (!visitFolder(listing(sub), sub))
                continue;
            TreeItem* item = tree_.insert(parent, e.name);
            const QString scanned =
                WalkFolder(sub, item, records, folderRecords, layoutFolders, depth + 1);
            BuildFolderRecord(scanned, *folderRecords);
            tree_.setKindMask(item, scannedMask_ >= 0 ? scannedMask_ : kindMaskOfFolder(scanned));
        } else {
            tree_.insert(parent, e.name);
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
    SessionScope scope(*this);
    Listing& l = listing(scanFolder);
    if (!l.list.ok()) {
        reportFolderError(l);
        return;
    }
    // The entries that can be listable recordings, in file-number order.
    std::vector<uint32_t> candidates;
    if (enginesReady_) {
        for (uint32_t i : numberOrder(l)) {
            const FolderEntry& e = l.list.entries[i];
            if (!e.isDir && e.facts.movExtension && e.facts.mainRecording)
                candidates.push_back(i);
        }
    }
    GroupState state;
    int mask = 0;
    groupWalkMask_ = 0;
    bool inTarget = false;
    TreeItem* lastGroup = nullptr;
    std::vector<RecordJob> jobs;
    const auto closeGroup = [&]() {
        if (layoutFolders && lastGroup) {
            tree_.setKindMask(lastGroup, mask);
            tree_.expandWithAncestors(lastGroup);
        }
        mask = 0;
    };
    bool done = false;
    const size_t batch = insertItems ? candidates.size() : kProbeBatch;
    for (size_t at = 0; at < candidates.size() && !done; at += batch) {
        const size_t end = std::min(candidates.size(), at + batch);
        ensureProbes(l, candidates, at, end);
        for (size_t k = at; k < end && !done; ++k) {
            const uint32_t i = candidates[k];
            if (!l.probes[i].accepted())
                continue;
            const FolderEntry& e = l.list.entries[i];
            groupWalkMask_ |= e.facts.kindMask;
            const QString group = GroupNameOf(e.name, state);
            state.previousPath = e.name;
            if (insertItems) {
                if (tree_.count() >= kMaxTreeItems)
                    continue;
                if (group != state.currentName) {
                    state.currentName = group;
                    closeGroup();
                    lastGroup = tree_.insert(parent, group);
                    if (folderRecords)
                        BuildFolderRecord(JoinPath(scanFolder, e.name), *folderRecords);
                }
                if (layoutFolders)
                    mask |= e.facts.kindMask;
            } else {
                state.currentName = group;
                if (group == targetGroup) {
                    inTarget = true;
                    RecordJob job;
                    job.movieName = e.nativeName;
                    job.probe = l.probes[i];
                    job.probeKnown = true;
                    if (prepareJob(JoinPath(scanFolder, e.name), job))
                        jobs.push_back(std::move(job));
                } else if (inTarget) {
                    // Group numbers only grow within a date, so a group once left never comes
                    // back: the rest of the folder cannot add to the target.
                    done = true;
                }
            }
        }
    }
    if (insertItems)
        closeGroup();
    else
        buildRecords(jobs, records);
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
    // Opening a drive walks the movie folders twice (tree, then each top-level item); one
    // session lists each folder and opens each movie once for the whole open.
    SessionScope scope(*this);
    Clear();
    skipped_.clear();
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
    SessionScope scope(*this);
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
    Listing& l = listing(folder);
    if (!l.list.ok()) {
        reportFolderError(l);
        return false;
    }
    const bool hasFiles = std::any_of(l.list.entries.begin(), l.list.entries.end(),
                                      [](const FolderEntry& e) { return !e.isDir; });
    claimRealFolders(l, folder, depth);
    for (uint32_t i : nameOrder(l, videoFirst_, true)) {
        const FolderEntry& e = l.list.entries[i];
        if (depth >= kMaxFolderDepth)
            continue;
        const QString sub = JoinPath(folder, e.name);
        if (!visitFolder(listing(sub), sub))
            continue;
        RecordList records;
        if (collect(sub, depth + 1, records))
            SortByNumber(records);
        out.insert(out.end(), std::make_move_iterator(records.begin()),
                   std::make_move_iterator(records.end()));
    }
    // The folder's recordings in name order: container check and record in one job each.
    std::vector<RecordJob> jobs;
    if (enginesReady_) {
        session_->fds.get(folder);
        const std::vector<uint32_t> files = nameOrder(l, videoFirst_, false);
        jobs.reserve(files.size());
        for (uint32_t i : files) {
            const FolderEntry& e = l.list.entries[i];
            RecordJob job;
            job.movieName = e.nativeName;
            if (l.probed[i]) {
                job.probe = l.probes[i];
                job.probeKnown = true;
                if (!job.probe.accepted())
                    continue;
            } else if (!e.isRegular) {
                skipped_.add({NativePath(folder, e.nativeName), SkipReason::NotRegularFile, 0});
                continue;
            }
            job.requireMp4 = true;
            job.path = JoinPath(folder, e.name);
            jobs.push_back(std::move(job));
        }
    }
    buildRecords(jobs, out);
    return hasFiles;
}

const RecordList& Catalogue::CollectAllRecordings()
{
    SessionScope scope(*this);
    std::map<FolderId, QString> visited;
    visited_ = &visited;
    struct Reset {
        Catalogue* c;
        ~Reset() { c->visited_ = nullptr; }
    } reset{this};
    const auto collectFrom = [this, &visited](const QString& folder) {
        const Listing& l = listing(folder);
        if (l.list.ok())
            visited.emplace(FolderId{l.list.device, l.list.inode}, folder);
        collect(folder, 0, all_);
    };
    all_.clear();
    rowCounter_ = 0;
    sourceLost_ = false;
    switch (mode_) {
    case SourceMode::Drive:
        collectFrom(tree_.rootPath());
        break;
    case SourceMode::File:
        BuildRecordingRecord(singleFile_, all_);
        break;
    case SourceMode::Folder:
        if (TreeItem* first = tree_.firstTopLevel())
            collectFrom(tree_.pathOf(first));
        break;
    case SourceMode::None:
        break;
    }
    return all_;
}

void Catalogue::ReadRecorderInfo(const QString& root)
{
    SessionScope scope(*this);
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
        Listing& l = listing(f.path);  // a group's folder record names a movie: not listable
        if (!l.list.ok())
            continue;
        const std::vector<uint32_t>& order = numberOrder(l);
        const int dirFd = session_->fds.get(f.path);
        for (auto it = order.rbegin(); it != order.rend() && newest.isEmpty(); ++it) {
            const FolderEntry& e = l.list.entries[*it];
            if (e.isDir || !e.facts.movExtension || e.facts.kind == RecordingKind::None)
                continue;
            if (e.isRegular && dirFd >= 0 && IsReadableRegularFile(dirFd, e.nativeName.constData()))
                newest = JoinPath(f.path, e.name);
        }
        if (!newest.isEmpty())
            break;
    }
    if (newest.isEmpty() || !enginesReady_)
        return;
    const QString telemetryPath = TelemetryPathOf(newest);
    // One non-blocking read of the whole file (a FIFO or device named like it is refused).
    const QByteArray bytes = ReadTelemetryBytes(telemetryPath, kRecorderInfoReadLimit);
    TelemetryHeader header;
    if (!ReadTelemetryHeaderBytes(bytes, isTimeLapseName(lastComponent(telemetryPath)), header))
        return;
    recorder_.version = header.firmwareVersion();
    const QString number = ReadRecorderNumberBytes(bytes);
    if (!number.isEmpty())
        recorder_.number = number;
    recorder_.downloadKey.clear();
    recorder_.downloadFlag = 0;
    const QString url = JoinPath(root, QLatin1String(kDownloadKeyName) + QLatin1String(".url"));
    if (QFileInfo(url).isFile()) {
        recorder_.downloadKey = QLatin1String(kDownloadKeyName);
        recorder_.downloadFlag = 1;
    }
}

}  // namespace ravir
