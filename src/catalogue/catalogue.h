#pragma once
// The catalogue of one source: the folder tree, the records of the selected tree item, the
// folder records of a drive source, every recording on demand, and the recorder information.
// All of it runs on the caller's (UI) thread; only the source-lost flag is shared with the
// source watcher.
#include "catalogue/folder_tree.h"
#include "catalogue/recording_record.h"

#include <QString>
#include <atomic>
#include <memory>
#include <map>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace ravir {

class SourceWatcher;

// Read from the newest recording of a drive source, for the update check.
struct RecorderInfo {
    QString version;      // "%d.%d.%d" of the firmware digits
    QString number;       // six digits, "%06d"
    QString downloadKey;  // "ZU590-MVS_download" when the card carries its .url file, else empty
    int downloadFlag = 0; // 1 with the download key
};

inline constexpr char kDownloadKeyName[] = "ZU590-MVS_download";

class Catalogue {
public:
    Catalogue();
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // ---- Sources --------------------------------------------------------------------------
    // Rebuilds the tree, the current records and (drive) the folder records for the source.
    // Drive: the tree of the card, every top-level item scanned in turn, the recorder
    // information read. Folder: one top-level item named after the folder. File: the movie's
    // record when it passes the container check. The caller then runs SelectDefaultItem.
    void OpenSource(const QString& path, SourceMode mode);
    // Empties the tree (with the clearing flag set), the folder, current and whole-source records.
    void Clear();

    // ---- Tree selection -------------------------------------------------------------------
    // Makes item the selected item. A change of selection runs ScanTreeItem unless the tree is
    // being cleared; selecting the selected item again does nothing. False when nothing changed.
    bool SelectItem(TreeItem* item);
    // Rebuilds the item's children and the current records from the disk; returns the number
    // of current records. Does nothing (returns 0) while the tree is being cleared.
    int ScanTreeItem(TreeItem* item);
    // Selects the first recording group of the layout's first movie folder, else the first
    // top-level item.
    bool SelectDefaultItem();

    // ---- Records --------------------------------------------------------------------------
    const RecordList& CollectAllRecordings();
    const RecordList& currentRecords() const { return current_; }
    RecordList& currentRecords() { return current_; }
    const RecordList& folderRecords() const { return folderRecords_; }
    const RecordList& allRecords() const { return all_; }
    // The current records the kind filter lets through: the file list's rows.
    RecordList shownRecords() const { return ApplyKindFilter(current_, filter_); }
    const KindFilter& kindFilter() const { return filter_; }
    void setKindFilter(const KindFilter& filter) { filter_ = filter; }
    void setKindFlag(int index, bool on);

    // Appends the record of one movie (sizes of movie, paired movie and telemetry file, trigger
    // code, the next row number). False (nothing appended) when the name lacks the .MOV
    // extension or the file cannot be opened as a regular file (reported in skipped()).
    bool BuildRecordingRecord(const QString& path, RecordList& records);
    // A file entry that HasMovExtension, IsMainRecordingName and passes the container check.
    bool IsListableRecording(const QString& path) const;
    // The container check: an engine accepts an MP4/MOV file. With no engine ready nothing is
    // listable and no trigger code is read.
    bool ContainerCheck(const QString& path) const;
    void setEnginesReady(bool ready) { enginesReady_ = ready; }
    bool enginesReady() const { return enginesReady_; }

    // ---- Walks (public for the file browser and the tests) ---------------------------------
    // Scans folder under parent; returns the folder it actually scanned.
    QString WalkFolder(const QString& folder, TreeItem* parent, RecordList& records,
                       RecordList* folderRecords, bool layoutFolders, int depth);
    void GroupWalk(const QString& scanFolder, TreeItem* parent, RecordList& records,
                   RecordList* folderRecords, bool layoutFolders, bool insertItems,
                   const QString& targetGroup);
    void ReadRecorderInfo(const QString& root);

    // Every entry or recording left out since the last OpenSource, with its reason, each once:
    // movies that are not regular files, cannot be read or fail the container check, companion
    // files that are there but cannot be read, names that are not valid UTF-8, folders that
    // cannot be listed or were reached a second time through a link. (Hidden entries, names
    // outside the grammar and the catalogue's limits are rules, not losses, and are not listed.)
    const std::vector<SkippedEntry>& skipped() const { return skipped_.entries(); }

    // ---- State ----------------------------------------------------------------------------
    FolderTree& tree() { return tree_; }
    const FolderTree& tree() const { return tree_; }
    const QString& sourcePath() const { return sourcePath_; }
    SourceMode mode() const { return mode_; }
    const QString& singleFile() const { return singleFile_; }
    bool layoutFoldersExist() const { return layoutFolders_; }
    bool videoFirst() const { return videoFirst_; }
    const RecorderInfo& recorderInfo() const { return recorder_; }
    // The path of the selected item as the browser's path field shows it.
    const QString& pathField() const { return pathField_; }
    int rowCounter() const { return rowCounter_; }

    // Set by the source watcher when the source vanished; cleared by OpenSource, ScanTreeItem
    // and CollectAllRecordings. The delete and the joined save refuse to run while it is set.
    std::atomic<bool>& sourceLostFlag() { return sourceLost_; }
    bool sourceLost() const { return sourceLost_.load(); }
    // The watcher that OpenSource points at the source (drive root, the folder's parent, the
    // file); nullptr for none.
    void setSourceWatcher(SourceWatcher* watcher) { watcher_ = watcher; }

private:
    struct Session;
    struct Listing;
    struct RecordJob;
    class SessionScope;
    using FolderId = std::pair<dev_t, ino_t>;

    bool collect(const QString& folder, int depth, RecordList& out);  // true: the folder holds files
    int kindMaskOfFolder(const QString& folder) const;
    Listing& listing(const QString& folder) const;
    const std::vector<uint32_t>& numberOrder(Listing& l) const;
    std::vector<uint32_t> nameOrder(const Listing& l, bool videoFirst, bool folders) const;
    void ensureProbes(Listing& l, const std::vector<uint32_t>& indexes, size_t begin,
                      size_t end) const;
    bool listable(Listing& l, uint32_t index) const;
    void reportFolderError(const Listing& l) const;
    bool visitFolder(const Listing& l, const QString& path);
    void claimRealFolders(Listing& l, const QString& folder, int depth);
    bool prepareJob(const QString& path, RecordJob& job) const;
    void runJob(RecordJob& job) const;
    void buildRecords(std::vector<RecordJob>& jobs, RecordList& records);

    FolderTree tree_;
    QString sourcePath_;
    SourceMode mode_ = SourceMode::None;
    QString singleFile_;
    RecordList current_;
    RecordList folderRecords_;
    RecordList all_;
    RecorderInfo recorder_;
    KindFilter filter_;
    QString pathField_;
    bool layoutFolders_ = false;
    bool videoFirst_ = false;
    bool enginesReady_ = true;
    int rowCounter_ = 0;
    int scannedMask_ = 0;    // kind mask of the listable recordings of the folder last walked;
                             // -1 when the walk did not work it out
    int groupWalkMask_ = 0;  // the same for the last group walk
    // The folder listings and container checks of one operation (an open, a tree selection,
    // a collection): each folder is listed once and each movie opened once per operation.
    mutable std::unique_ptr<Session> session_;
    mutable int sessionDepth_ = 0;
    std::map<FolderId, QString>* visited_ = nullptr;  // folders of the running walk, by path
    mutable SkipList skipped_;
    std::atomic<bool> sourceLost_{false};
    SourceWatcher* watcher_ = nullptr;
};

}  // namespace ravir
