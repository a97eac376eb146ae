#include "shell/ini_file.h"
#include "shell/config_folder.h"

#include "shell/hidden_attribute.h"
#include "shell/regular_file.h"
#include "shell/safe_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravir {
namespace {

// Reads and writes of the configuration file from several threads do not interleave.
QMutex& fileMutex()
{
    static QMutex mutex;
    return mutex;
}

enum class Encoding { Utf8, Utf16Le, Utf16Be };

// The file's text as a sequence of code units (bytes for UTF-8, 16-bit units for UTF-16).
// Every character the format cares about (space, tab, CR, LF, '[', ']', '=', ';', quotes) is
// ASCII, so scanning units is exact in both encodings, and splicing at unit offsets leaves
// every other byte as it was, even bytes that are not valid text.
class Units {
public:
    explicit Units(const QByteArray& raw) : raw_(raw)
    {
        const auto b = [&](qsizetype i) { return static_cast<unsigned char>(raw_[i]); };
        if (raw_.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
            bom_ = 3;
        } else if (raw_.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) {
            encoding_ = Encoding::Utf16Le;
            bom_ = 2;
        } else if (raw_.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) {
            encoding_ = Encoding::Utf16Be;
            bom_ = 2;
        }
        count_ = (raw_.size() - bom_) / unitSize();
    }

    qsizetype size() const { return count_; }
    int unitSize() const { return encoding_ == Encoding::Utf8 ? 1 : 2; }
    qsizetype byteOffset(qsizetype unit) const { return bom_ + unit * unitSize(); }

    char16_t at(qsizetype i) const
    {
        const qsizetype o = byteOffset(i);
        const auto b = [&](qsizetype k) { return static_cast<char16_t>(static_cast<unsigned char>(raw_[k])); };
        switch (encoding_) {
        case Encoding::Utf8:
            return b(o);
        case Encoding::Utf16Le:
            return static_cast<char16_t>(b(o) | (b(o + 1) << 8));
        case Encoding::Utf16Be:
            return static_cast<char16_t>((b(o) << 8) | b(o + 1));
        }
        return 0;
    }

    QString decode(qsizetype from, qsizetype to) const
    {
        if (to <= from)
            return {};
        if (encoding_ == Encoding::Utf8)
            return QString::fromUtf8(raw_.constData() + from + bom_, to - from);
        QString s(to - from, Qt::Uninitialized);
        for (qsizetype i = from; i < to; ++i)
            s[i - from] = QChar(at(i));
        return s;
    }

    QByteArray encode(const QString& text) const
    {
        if (encoding_ == Encoding::Utf8)
            return text.toUtf8();
        QByteArray out;
        out.reserve(text.size() * 2);
        for (QChar c : text) {
            const char lo = static_cast<char>(c.unicode() & 0xFF);
            const char hi = static_cast<char>(c.unicode() >> 8);
            if (encoding_ == Encoding::Utf16Le) {
                out.append(lo);
                out.append(hi);
            } else {
                out.append(hi);
                out.append(lo);
            }
        }
        return out;
    }

private:
    const QByteArray& raw_;
    Encoding encoding_ = Encoding::Utf8;
    qsizetype bom_ = 0;
    qsizetype count_ = 0;
};

// The characters the profile functions trim around names and values (0x1A is the old
// end-of-file mark that editors sometimes leave behind).
bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' ||
           c == 0x1A;
}

enum class LineKind { Blank, Section, Key, Other };

struct Line {
    qsizetype start = 0;  // first unit of the line
    qsizetype next = 0;   // first unit of the next line (after the line break)
    qsizetype contentStart = 0, contentEnd = 0;  // the line without surrounding spaces
    LineKind kind = LineKind::Blank;
    QString name;                 // section or key name, trimmed
    qsizetype valueStart = 0;     // key lines: first unit of the value (after '=' and spaces)
};

std::vector<Line> parseLines(const Units& u)
{
    std::vector<Line> lines;
    const qsizetype n = u.size();
    qsizetype pos = 0;
    while (pos < n) {
        Line line;
        line.start = pos;
        // A line ends at LF; a file (or its rest) without any LF is split at CR, as the profile
        // functions do for old Macintosh files.
        qsizetype end = pos;
        while (end < n && u.at(end) != u'\n')
            ++end;
        if (end == n) {
            end = pos;
            while (end < n && u.at(end) != u'\r')
                ++end;
        }
        line.next = end < n ? end + 1 : n;
        qsizetype cs = pos;
        qsizetype ce = end;
        while (cs < ce && isSpace(u.at(cs)))
            ++cs;
        while (ce > cs && isSpace(u.at(ce - 1)))
            --ce;
        line.contentStart = cs;
        line.contentEnd = ce;
        pos = line.next;
        if (cs == ce) {
            lines.push_back(std::move(line));
            continue;
        }
        const char16_t first = u.at(cs);
        if (first == u';') {
            line.kind = LineKind::Other;
            lines.push_back(std::move(line));
            continue;
        }
        if (first == u'[') {
            qsizetype close = ce - 1;
            while (close > cs && u.at(close) != u']')
                --close;
            if (close > cs) {
                qsizetype ns = cs + 1;
                qsizetype ne = close;
                while (ns < ne && isSpace(u.at(ns)))
                    ++ns;
                while (ne > ns && isSpace(u.at(ne - 1)))
                    --ne;
                line.kind = LineKind::Section;
                line.name = u.decode(ns, ne);
                lines.push_back(std::move(line));
                continue;
            }
            // "[" without "]" is read as an ordinary line, as the profile functions do.
        }
        qsizetype eq = cs;
        while (eq < ce && u.at(eq) != u'=')
            ++eq;
        if (eq == ce) {
            line.kind = LineKind::Other;  // no '=': not a key
            lines.push_back(std::move(line));
            continue;
        }
        qsizetype ne = eq;
        while (ne > cs && isSpace(u.at(ne - 1)))
            --ne;
        qsizetype vs = eq + 1;
        while (vs < ce && isSpace(u.at(vs)))
            ++vs;
        line.kind = LineKind::Key;
        line.name = u.decode(cs, ne);
        line.valueStart = vs;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString trimmedName(const QString& name)
{
    qsizetype s = 0;
    qsizetype e = name.size();
    while (s < e && isSpace(name[s].unicode()))
        ++s;
    while (e > s && isSpace(name[e - 1].unicode()))
        --e;
    return name.mid(s, e - s);
}

struct Found {
    std::optional<size_t> section;  // the first section of that name
    std::optional<size_t> key;      // the first key of that name inside it
    size_t lastEntry = 0;           // the last non-blank line of the section (or its header)
};

Found find(const std::vector<Line>& lines, const QString& section, const QString& key)
{
    Found found;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, section)) {
            found.section = i;
            break;
        }
    }
    if (!found.section)
        return found;
    found.lastEntry = *found.section;
    for (size_t i = *found.section + 1; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Section)
            break;
        if (line.kind != LineKind::Blank)
            found.lastEntry = i;
        if (!found.key && line.kind == LineKind::Key && sameName(line.name, key))
            found.key = i;
    }
    return found;
}

// A value enclosed in a pair of single or double quotes reads without them.
QString unquote(const QString& value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// The inverse of what a read does to a value: a value that would lose its surrounding spaces
// or a pair of quotes is stored in quotes, so it reads back as it was written.
QString quoteForStorage(const QString& value)
{
    if (value.isEmpty())
        return value;
    const bool spaced = isSpace(value.front().unicode()) || isSpace(value.back().unicode());
    if (spaced || unquote(value) != value)
        return u'"' + value + u'"';
    return value;
}

QString cutToLimit(QString value)
{
    if (value.size() > IniFile::kMaxValueLength) {
        value.truncate(IniFile::kMaxValueLength);
        // Never leave half of a surrogate pair at the end.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value;
}

bool hasLineBreakOrNul(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

// The line break style of the file: that of its first line, CR LF for a new file.
QString lineBreakOf(const Units& u)
{
    for (qsizetype i = 0; i < u.size(); ++i) {
        const char16_t c = u.at(i);
        if (c == u'\n')
            return (i > 0 && u.at(i - 1) == u'\r') ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }
    for (qsizetype i = 0; i < u.size(); ++i) {
        if (u.at(i) == u'\r')
            return QStringLiteral("\r");
    }
    return QStringLiteral("\r\n");
}

bool endsWithLineBreak(const Units& u, qsizetype unitPos)
{
    if (unitPos == 0)
        return true;
    const char16_t c = u.at(unitPos - 1);
    return c == u'\n' || c == u'\r';
}

// The file's bytes. Opened without waiting (a FIFO of that name must not hold the program) and
// read only when the opened file is a regular file of at most kMaxFileSize bytes.
std::optional<QByteArray> loadFile(const QString& path, bool* missing)
{
    *missing = false;
    const RegularFile file = OpenRegularFile(path);
    if (!file.ok()) {
        if (!file.missing())
            return std::nullopt;
        *missing = true;
        return QByteArray();
    }
    if (file.st.st_size > IniFile::kMaxFileSize)
        return std::nullopt;
    const int fd = file.fd.get();
    const struct stat& st = file.st;
    // Room for one byte more than the file holds, so that a file that grows is noticed.
    QByteArray bytes(static_cast<qsizetype>(st.st_size) + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done <= IniFile::kMaxFileSize) {
        if (done == bytes.size())
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, IniFile::kMaxFileSize + 1));
        const ssize_t n = ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += n;
    }
    if (done > IniFile::kMaxFileSize)
        return std::nullopt;
    bytes.truncate(done);
    return bytes;
}

bool writeAllTo(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Replaces the file with `bytes` through the safe writer: the file is always either the old or
// the new one. The file keeps its permissions; a symbolic link keeps pointing to it. The change
// is not forced to the disk (a setting written on every slider move must not wait for that).
// When the folder does not allow a new file but the file itself is writable, it is rewritten in
// place.
bool storeFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : path;
    SafeWriter writer;
    if (writer.open(target, {.keepMode = true}) && writer.write(bytes) && writer.commit())
        return true;
    const SafeWriteError error = writer.error();
    if (error.step != SafeWriteStep::CreateTemp ||
        (error.error != EACCES && error.error != EPERM))
        return false;
    const int fd = ::open(QFile::encodeName(target).constData(),
                          O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && writeAllTo(fd, bytes) &&
                    ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
    return ::close(fd) == 0 && ok;
}

QString& startupFolderStorage()
{
    static QString folder;
    return folder;
}

QMutex& startupFolderMutex()
{
    static QMutex mutex;
    return mutex;
}

}  // namespace

QString IniFile::readFromBytes(const QByteArray& content, const QString& section,
                               const QString& key)
{
    const QString s = trimmedName(section);
    const QString k = trimmedName(key);
    if (s.isEmpty() || k.isEmpty())
        return {};
    const Units units(content);
    const std::vector<Line> lines = parseLines(units);
    const Found found = find(lines, s, k);
    if (!found.key)
        return {};
    const Line& line = lines[*found.key];
    return cutToLimit(unquote(units.decode(line.valueStart, line.contentEnd)));
}

std::optional<QByteArray> IniFile::writeToBytes(const QByteArray& content,
                                                const QString& section, const QString& key,
                                                const QString& value)
{
    const QString s = trimmedName(section);
    const QString k = trimmedName(key);
    if (s.isEmpty() || k.isEmpty() || hasLineBreakOrNul(s) || hasLineBreakOrNul(k) ||
        hasLineBreakOrNul(value) || k.contains(u'=') || k.startsWith(u';') ||
        k.startsWith(u'['))
        return std::nullopt;
    const Units units(content);
    const std::vector<Line> lines = parseLines(units);
    const Found found = find(lines, s, k);
    const QString stored = quoteForStorage(value);
    // After the file's last LF, a file may go on in lines ended by CR alone (that is how its
    // rest is read). New lines there end with CR too, so that they do not join those lines.
    qsizetype tailStart = 0;
    for (qsizetype i = 0; i < units.size(); ++i) {
        if (units.at(i) == u'\n')
            tailStart = i + 1;
    }
    bool tailUsesCr = false;
    for (qsizetype i = tailStart; i < units.size() && !tailUsesCr; ++i)
        tailUsesCr = units.at(i) == u'\r';
    const auto lineBreakAt = [&](qsizetype unitPos) {
        return unitPos >= tailStart && tailUsesCr ? QStringLiteral("\r") : lineBreakOf(units);
    };

    qsizetype from = 0;  // units to replace: [from, to)
    qsizetype to = 0;
    QString insert;
    if (found.key) {
        const Line& line = lines[*found.key];
        from = line.valueStart;
        to = line.contentEnd;
        insert = stored;
    } else if (found.section) {
        const Line& last = lines[found.lastEntry];
        from = to = last.next;
        const QString lineBreak = lineBreakAt(from);
        if (!endsWithLineBreak(units, from))
            insert = lineBreak;
        insert += k + u'=' + stored + lineBreak;
    } else {
        from = to = units.size();
        const QString lineBreak = lineBreakAt(from);
        if (units.size() > 0) {
            if (!endsWithLineBreak(units, from))
                insert = lineBreak;
            insert += lineBreak;  // a blank line before the new section
        }
        insert += u'[' + s + u']' + lineBreak + k + u'=' + stored + lineBreak;
    }
    // Bytes after the last whole unit (an odd byte of a UTF-16 file) stay where they are.
    const qsizetype byteFrom = content.isEmpty() ? 0 : units.byteOffset(from);
    const qsizetype byteTo = content.isEmpty() ? 0 : units.byteOffset(to);
    QByteArray out;
    out.reserve(content.size() + insert.size() * 3);
    out.append(content.constData(), byteFrom);
    out.append(units.encode(insert));
    out.append(content.constData() + byteTo, content.size() - byteTo);
    // Damaged files can hold lines that change how the new one reads (stray brackets, bytes that
    // are no UTF-8, names that only differ in what the reader trims). A write that would not
    // read back as written is refused rather than stored wrong.
    if (readFromBytes(out, s, k) != cutToLimit(value))
        return std::nullopt;
    return out;
}

bool IniFile::exists() const
{
    return QFileInfo::exists(path_);
}

QString IniFile::read(const QString& section, const QString& key) const
{
    QMutexLocker lock(&fileMutex());
    bool missing = false;
    const std::optional<QByteArray> bytes = loadFile(path_, &missing);
    if (!bytes || missing)
        return {};
    return readFromBytes(*bytes, section, key);
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) const
{
    QMutexLocker lock(&fileMutex());
    bool missing = false;
    const std::optional<QByteArray> bytes = loadFile(path_, &missing);
    if (!bytes)
        return false;
    if (!missing && !QFileInfo(path_).isWritable())
        return false;
    const std::optional<QByteArray> updated = writeToBytes(*bytes, section, key, value);
    if (!updated)
        return false;
    if (!missing && *updated == *bytes)
        return true;
    return storeFile(path_, *updated);
}

void recordStartupFolder()
{
    setStartupFolder(QDir::currentPath());
}

void setStartupFolder(const QString& folder)
{
    QMutexLocker lock(&startupFolderMutex());
    startupFolderStorage() = folder;
}

QString startupFolder()
{
    QMutexLocker lock(&startupFolderMutex());
    return startupFolderStorage();
}

QString configFilePath()
{
    QString folder = startupFolder();
    // Code that runs before the start-up folder is recorded (a dialog shown on its own, a test)
    // uses the configuration folder, never the root of the file system.
    if (folder.isEmpty())
        folder = ViewerConfigFolder();
    if (folder.isEmpty())
        return {};
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    if (folder == u'/')
        folder.clear();
    return folder + u'/' + QLatin1String(kConfigFileName);
}

QString ReadValue(const QString& section, const QString& key)
{
    return IniFile(configFilePath()).read(section, key);
}

bool WriteValue(const QString& section, const QString& key, const QString& value)
{
    const QString path = configFilePath();
    if (!IniFile(path).write(section, key, value))
        return false;
    SetHiddenAttribute(path);
    return true;
}

}  // namespace ravir
