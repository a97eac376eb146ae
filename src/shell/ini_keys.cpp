#include "shell/ini_keys.h"

#include "shell/ini_file.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>

namespace ravir {
namespace {

QString sectionOf(const IniKey& key) { return QString::fromLatin1(key.section); }
QString nameOf(const IniKey& key) { return QString::fromLatin1(key.key); }

// The leading spaces that the C runtime's number readers skip.
qsizetype skipSpaces(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    return i;
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

}  // namespace

QString ReadValue(const IniKey& key)
{
    return ReadValue(sectionOf(key), nameOf(key));
}

bool WriteValue(const IniKey& key, const QString& value)
{
    return WriteValue(sectionOf(key), nameOf(key), value);
}

int wtoi(const QString& text)
{
    qsizetype i = skipSpaces(text);
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;  // saturate; the sign decides below
    }
    if (negative)
        return value > static_cast<long long>(INT_MAX) ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

double wtof(const QString& text)
{
    // The longest prefix of the form [sign] digits [. digits] [e [sign] digits].
    qsizetype i = skipSpaces(text);
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        ++digits;
    if (i < text.size() && text[i] == u'.') {
        ++i;
        for (; i < text.size() && isDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toLatin1().toDouble(&ok);
    return ok ? value : 0.0;
}

bool ReadAspectKeep()
{
    return ReadValue(ini::kAspect) == u"on";
}

bool WriteAspectKeep(bool keep)
{
    return WriteValue(ini::kAspect, keep ? QStringLiteral("on") : QStringLiteral("off"));
}

int ReadVolume()
{
    const QString value = ReadValue(ini::kVolume);
    if (value.isEmpty())
        return 65535;
    return std::clamp(wtoi(value), 0, 65535);
}

bool WriteVolume(int volume)
{
    return WriteValue(ini::kVolume, QString::number(volume));
}

bool ReadThumbnail()
{
    return wtoi(ReadValue(ini::kThumbnail)) != 0;
}

bool WriteThumbnail(bool show)
{
    return WriteValue(ini::kThumbnail, show ? QStringLiteral("1") : QStringLiteral("0"));
}

double ReadScale(const IniKey& key, double current)
{
    const double value = wtof(ReadValue(key));
    if (std::isfinite(value) && value > 0.0)
        return value;
    return current;
}

bool WriteScale(const IniKey& key, double factor)
{
    return WriteValue(key, QString::asprintf("%f", factor));
}

bool ReadHwDecode()
{
    return ReadValue(ini::kHw) == u"on";
}

QString ReadSourceSelect()
{
    const QString value = ReadValue(ini::kSourceSelect);
    if (value == QLatin1String(ini::kSelectFolder) || value == QLatin1String(ini::kSelectFile))
        return value;
    return QString::fromLatin1(ini::kSelectSd);
}

QString ReadCsvEncodingName()
{
    return ReadValue(ini::kCsvEncoding).trimmed().toLower();
}

QString ReadUpdateHost()
{
    return ReadValue(ini::kUpdateHost).trimmed();
}

QString ReadMapTileUrl()
{
    const QString text = ReadValue(ini::kMapTileUrl).trimmed();
    QString sample = text;
    for (const char* p : {"{z}", "{x}", "{y}"})
        sample.replace(QLatin1String(p), QLatin1String("1"));
    const QUrl url(sample, QUrl::StrictMode);
    const bool usable = !text.isEmpty() && url.isValid() &&
                        (url.scheme() == u"http" || url.scheme() == u"https") &&
                        !url.host().isEmpty() && text.contains(u"{z}") &&
                        text.contains(u"{x}") && text.contains(u"{y}");
    return usable ? text : QString::fromLatin1(ini::kDefaultTileUrl);
}

QString ReadMapAttribution()
{
    const QString text = ReadValue(ini::kMapAttribution).trimmed();
    if (!text.isEmpty())
        return text;
    if (ReadMapTileUrl() == QString::fromLatin1(ini::kDefaultTileUrl))
        return QString::fromUtf8(ini::kDefaultAttribution);
    return {};
}

bool WriteFirstRunValues()
{
    if (QFileInfo::exists(configFilePath()))
        return false;
    bool ok = true;
    for (const IniKey& key : {ini::kInfoCheck, ini::kAspect, ini::kVolume})
        ok = WriteValue(key, QString::fromLatin1(key.firstRun)) && ok;
    return ok;
}

}  // namespace ravir
