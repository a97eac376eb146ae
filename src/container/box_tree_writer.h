#pragma once
// Writes a box tree to a file: every header recomputed (BoxSize), loaded payloads from memory,
// the other payloads (media data, large leaves, trailing bytes) copied from their source files
// with the kernel's copy where it can, in pieces between which a stop flag is polled.
#include "container/mp4_box.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <sys/stat.h>
#include <vector>

namespace ravir {

// A source file held open by the caller, with its identity as when its boxes were read. Before
// each copy the writer checks that size and modification time are unchanged.
struct WriteSource {
    QString path;
    int fd = -1;
    struct stat identity {};
};

class BoxTreeWriter {
public:
    enum class Fault { None, Output, Input, InputChanged, Stopped };

    std::atomic<bool>* stop = nullptr;
    std::function<void(uint64_t written)> progress;
    // When set, payloads are copied only from these descriptors (a node whose source is not
    // among them fails the write); else each source is opened by its path.
    const std::vector<WriteSource>* sources = nullptr;

    // Writes node and its subtree at the descriptor's current position.
    bool write(const BoxNode& node, int fd);

    uint64_t written() const { return written_; }
    Fault fault() const { return fault_; }
    const QString& error() const { return error_; }
    const QString& faultyInput() const { return input_; }  // for Input and InputChanged

private:
    bool writeAll(int fd, const void* data, size_t length);
    bool copyRange(int out, const QString& sourcePath, uint64_t offset, uint64_t length);
    bool copyFrom(int in, int out, const QString& sourcePath, uint64_t offset, uint64_t length);
    bool writeLeaf(const BoxNode& node, int fd);
    bool stopped();
    bool failInput(Fault fault, const QString& path, const QString& text);
    bool failOutput(int error);

    uint64_t written_ = 0;
    Fault fault_ = Fault::None;
    QString error_;
    QString input_;
};

// The same for a tree whose sources are opened by path (no progress).
bool WriteBoxTree(const BoxNode& node, int fd, std::atomic<bool>* stop = nullptr);

}  // namespace ravir
