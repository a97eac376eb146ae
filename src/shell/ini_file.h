#pragma once
// The configuration file in the private-profile ("INI") format, with the semantics of the
// Windows profile functions: sections and keys matched without regard to letter case, names and
// values trimmed of the spaces around them, values read back cut to 259 characters, a missing
// file, section or key reading as the empty string, and a duplicate section meaning its first
// occurrence. There is no copy in memory: every read goes to the file and every write goes to it
// at once. A write changes only the one value (or adds the one line or section it needs) and
// leaves every other byte of the file as it was: comments, blank lines, order, other sections,
// CR LF or LF line ends, a UTF-8 byte-order mark.
#include <QByteArray>
#include <QString>
#include <optional>

namespace ravir {

class IniFile {
public:
    static constexpr int kMaxValueLength = 259;      // a 260-character buffer with its terminator
    static constexpr qint64 kMaxFileSize = 16 << 20;  // larger files read as empty, writes fail

    explicit IniFile(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }
    bool exists() const;

    // The value of `key` in `section`: at most 259 characters, or empty when the file, the
    // section or the key is missing or the file cannot be read.
    QString read(const QString& section, const QString& key) const;

    // Sets `key` in `section` to `value`, creating the file, the section or the key as needed.
    // The new content replaces the file through a temporary file in the same folder and a rename,
    // so a crash never leaves half a file; when the folder is not writable but the file is, the
    // file is rewritten in place. Returns false and changes nothing when the file or folder is
    // read-only, the file is not a regular file or is too large, or a name or value cannot be
    // stored (a line break in it, an empty or '='-holding key, an empty section).
    bool write(const QString& section, const QString& key, const QString& value) const;

    // The same rules on the bytes of a file, without touching the disk.
    static QString readFromBytes(const QByteArray& content, const QString& section,
                                 const QString& key);
    static std::optional<QByteArray> writeToBytes(const QByteArray& content,
                                                  const QString& section, const QString& key,
                                                  const QString& value);

private:
    QString path_;
};

// The name of the configuration file, in the start-up folder.
inline constexpr char kConfigFileName[] = "Zazavud_Urezed.ini";

// The start-up folder: the current directory when the viewer started. It only locates the
// configuration file.
void recordStartupFolder();  // records the current directory
void setStartupFolder(const QString& folder);
QString startupFolder();

// "<start-up folder>/Zazavud_Urezed.ini", built anew on every call.
QString configFilePath();

// The two helpers every part of the program uses on the configuration file.
// ReadValue: the stored text (at most 259 characters) or empty; never fails for a missing file.
QString ReadValue(const QString& section, const QString& key);
// WriteValue: writes at once; after a successful write the file is made hidden. False when the
// write failed, which changed nothing.
bool WriteValue(const QString& section, const QString& key, const QString& value);

}  // namespace ravir
