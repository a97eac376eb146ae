#pragma once
// Read-only access to a file of any size through bounded memory-mapped windows. A window never
// reaches past the end of the file, and every read is checked against the file size.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace ravir {

class MappedFile {
public:
    // One mapped view; unmapped when destroyed. data() is null for an empty or failed window.
    class Window {
    public:
        Window() = default;
        ~Window();
        Window(Window&& other) noexcept;
        Window& operator=(Window&& other) noexcept;
        Window(const Window&) = delete;
        Window& operator=(const Window&) = delete;

        const uint8_t* data() const { return data_; }
        size_t size() const { return size_; }      // bytes readable from data()
        uint64_t offset() const { return offset_; }  // file offset of data()[0]
        bool valid() const { return data_ != nullptr; }
        void reset();

    private:
        friend class MappedFile;
        void* base_ = nullptr;
        size_t mappedLength_ = 0;
        const uint8_t* data_ = nullptr;
        size_t size_ = 0;
        uint64_t offset_ = 0;
    };

    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens the file for reading. On failure nothing stays open.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    const QString& path() const { return path_; }
    uint64_t size() const { return size_; }
    int fd() const { return fd_; }
    // The mapping granularity (page size); window starts are rounded down to it.
    static uint64_t granularity();

    // Maps length bytes at offset; the length is cut at the end of the file. An offset at or
    // past the end, or a failed mapping, gives an invalid window.
    Window map(uint64_t offset, uint64_t length) const;
    // Copies exactly length bytes at offset into out; false (and nothing promised in out) when
    // the range does not lie wholly inside the file or the read fails.
    bool read(uint64_t offset, void* out, size_t length) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    QString path_;
};

}  // namespace ravir
