// Fuzzes the configuration-file parser: any bytes as a file, any names asked for, and a write
// into it that must read back as written without breaking the parser.
#include "shell/ini_file.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Names taken from the input itself (its first line split at '/'), and fixed ones.
    const qsizetype nl = bytes.indexOf('\n');
    const QString head = QString::fromUtf8(nl < 0 ? bytes.left(32) : bytes.left(nl).left(64));
    const QString section = head.section(u'/', 0, 0);
    const QString key = head.section(u'/', 1, 1);

    using ravir::IniFile;
    for (const auto& [s, k] : {std::pair{section, key}, std::pair{QString("DISPLAY"), QString("ASPECT")},
                               std::pair{QString("S"), QString("K")}}) {
        const QString value = IniFile::readFromBytes(bytes, s, k);
        if (value.size() > IniFile::kMaxValueLength)
            std::abort();
        const QString wanted = QStringLiteral(" new value ");
        const auto written = IniFile::writeToBytes(bytes, s, k, wanted);
        if (written && IniFile::readFromBytes(*written, s, k) != wanted.left(IniFile::kMaxValueLength))
            std::abort();
    }
    return 0;
}
