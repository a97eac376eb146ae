#pragma once
// How the catalogue reads a source's folders and files: folder listings with every name decoded
// and parsed once, the container check and size of a movie from one open and one 260-byte read,
// the size of a companion file from one stat, the telemetry header through the descriptor the
// size came from, and the report of every entry that had to be left out. No open here can block:
// a file that is not a regular file (a FIFO, a device) is refused from its directory type or
// opened non-blocking and refused after a stat of the opened descriptor.
#include "catalogue/recording_name.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sys/types.h>

namespace ravir {

// Why an entry or a recording was left out of the catalogue.
enum class SkipReason : int {
    NotRegularFile,       // a FIFO, device or socket named like a movie or a telemetry file
    Unreadable,           // cannot be opened or read (error holds errno)
    NotMp4,               // named like a main movie but shorter than 260 bytes or without "ftyp"
    UndecodableName,      // the name's bytes are not valid UTF-8, so no path can name it
    FolderUnreadable,     // a folder that cannot be listed (error holds errno)
    FolderAlreadyListed,  // a folder reached a second time through a symbolic link
    BrokenLink,           // a symbolic link to nothing, or a loop of links (error holds errno)
};

struct SkippedEntry {
    QByteArray path;  // the path's bytes as the file system has them
    SkipReason reason = SkipReason::Unreadable;
    int error = 0;    // errno where the reason has one, else 0
    bool operator==(const SkippedEntry&) const = default;
};

// The entries left out, in the order they were met, each once.
class SkipList {
public:
    void add(SkippedEntry entry);
    void clear();
    const std::vector<SkippedEntry>& entries() const { return entries_; }

private:
    std::vector<SkippedEntry> entries_;
    std::unordered_set<QByteArray> keys_;
};

// One entry of a folder listing.
struct FolderEntry {
    QString name;            // decoded name
    QByteArray nativeName;   // the bytes on disk
    bool isDir = false;      // a folder, or a link to one
    bool isRegular = false;  // a regular file, or a link to one (as listed)
    bool isLink = false;     // listed as a symbolic link
    NameFacts facts;         // ParseFileName(name), worked out once
};

struct FolderListing {
    QString folder;
    int error = 0;         // 0 when listed; the errno of the failure otherwise
    dev_t device = 0;      // identity of the folder (after links)
    ino_t inode = 0;
    std::vector<FolderEntry> entries;  // the file system's order
    bool ok() const { return error == 0; }
};

// Lists a folder: every entry except ".", ".." and hidden entries (the DOS hidden attribute on
// FAT and exFAT, else a leading dot; a folder is always asked, as it may be a mount point).
// Symbolic links are followed. An entry whose name is not valid UTF-8 and a link to nothing are
// left out and reported into skipped (when given).
FolderListing ListFolder(const QString& folder, SkipList* skipped);

// "folder/name" (one separator).
QString JoinPath(const QString& folder, const QString& name);
// The bytes of a path for reports.
QByteArray NativePath(const QString& folder, const QByteArray& nativeName);

// The result of the container check of a movie, with its size from the same open.
struct MovieProbe {
    enum class Result : uint8_t { Accepted, NotMp4, NotRegular, Unreadable, Missing };
    Result result = Result::Missing;
    int error = 0;
    uint64_t size = 0;
    bool sized = false;  // size holds the file's size
    bool accepted() const { return result == Result::Accepted; }
};
// Opens name relative to dirFd (AT_FDCWD: name is a path) once, reads its first 260 bytes and
// looks for "ftyp" at bytes 4 to 7. With withSize the opened descriptor is also asked for its
// type and size (a file that is not a regular file is refused); without it the caller knows the
// entry to be a regular file from its listing, and the non-blocking open and positioned read
// refuse anything else that took its place.
MovieProbe ProbeMovie(int dirFd, const char* name, bool withSize = true);
// The skip report of a failed probe (nothing for Accepted and Missing).
bool SkipOfProbe(const MovieProbe& probe, const QByteArray& path, SkippedEntry& out);

// The size of a companion file (the other camera's movie, the telemetry file).
struct CompanionProbe {
    uint64_t size = 0;       // 0 when missing or not readable
    bool present = false;    // a readable regular file
    bool headerRead = false; // the telemetry header could be read (trigger is valid)
    uint8_t trigger = 0;
    SkipReason problem = SkipReason::Unreadable;
    int error = 0;
    bool hasProblem = false; // there, but not a regular file or not readable
};
// One stat relative to dirFd.
CompanionProbe StatCompanion(int dirFd, const char* name);
// One open relative to dirFd: the size from the opened descriptor and, with readHeader, the
// telemetry header's trigger code.
CompanionProbe ProbeTelemetry(int dirFd, const char* name, bool readHeader, bool timeLapse);
// The whole telemetry file (at most limit bytes) through a non-blocking open; empty when it is
// not a regular file or cannot be read.
QByteArray ReadTelemetryBytes(const QString& path, uint64_t limit);
// True when path can be opened for reading and is a regular file.
bool IsReadableRegularFile(int dirFd, const char* name);

// Directory descriptors opened once per scan (for openat and fstatat), closed together.
class DirFds {
public:
    DirFds() = default;
    ~DirFds();
    DirFds(const DirFds&) = delete;
    DirFds& operator=(const DirFds&) = delete;
    // The descriptor of folder, opened on first use; -1 when it cannot be opened.
    int get(const QString& folder);
    // The descriptor of a folder opened before; -2 when it was not asked for. Safe to call from
    // several threads while no thread calls get().
    int find(const QString& folder) const;

private:
    std::unordered_map<QString, int> fds_;
};

// Runs work(i) for every i below count on a few threads, so that the reads of a folder are
// issued together and a slow card's queue stays full. Small counts run on the caller's thread.
void ParallelFor(size_t count, const std::function<void(size_t)>& work);

}  // namespace ravir
