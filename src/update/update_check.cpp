#include "update/update_check.h"

#include "shell/ui_text.h"
#include "shell/version.h"

#include <climits>

namespace ravir::update {
namespace {

// One downloaded byte as a character: the files are ASCII; anything else (control characters,
// bytes of another character set) becomes '?'.
QChar byteToChar(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return (b >= 0x20 && b < 0x7F) ? QChar(b) : QChar(u'?');
}

// Versions are shown as they are when they look like versions; other characters become '?',
// and a version never takes more than 32 characters of the text.
QString safeVersion(const QString& version)
{
    QString out;
    for (QChar c : version.left(32)) {
        const bool ok = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                        (c >= u'A' && c <= u'Z') || c == u'.' || c == u'/' || c == u'-' ||
                        c == u'_' || c == u'+' || c == u' ';
        out += ok ? c : QChar(u'?');
    }
    return out;
}

// The URL part of a block: a link for http and https URLs whose escaped form is at most
// `maxHref` characters, else the text alone (escaped, cut to 40 characters when a link was
// refused for its length or when maxHref is 0).
QString urlPart(const QString& urlText, int maxHref)
{
    const QString trimmed = urlText.trimmed();
    const QUrl url(trimmed, QUrl::TolerantMode);
    if (isHttpUrl(url) && maxHref > 0) {
        const QString href = QString::fromLatin1(url.toEncoded()).toHtmlEscaped();
        if (href.size() <= maxHref)
            return QStringLiteral("<a href=\"%1\">%1</a>").arg(href);
    }
    QString shown = trimmed;
    if (maxHref < INT_MAX && shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("...");
    return shown.toHtmlEscaped();
}

QString buildWith(const std::vector<UpdateItem>& items, int maxHref)
{
    QString text = ravir::text(TXT_UPDATE_AVAILABLE) + QStringLiteral("\r\n\r\n");
    for (size_t i = 0; i < items.size(); ++i) {
        const UpdateItem& item = items[i];
        if (i > 0)
            text += QStringLiteral("\r\n\r\n\r\n");
        text += item.name.toHtmlEscaped() + QStringLiteral(":\r\n") +
                ravir::text(TXT_CURRENT_VERSION) + safeVersion(item.current).toHtmlEscaped() +
                QStringLiteral("   \u2192   ") + ravir::text(TXT_UPDATE_VERSION) +
                safeVersion(item.next).toHtmlEscaped() + QStringLiteral("\r\n\r\nURL : ") +
                urlPart(item.url, maxHref);
    }
    if (items.size() >= 2)
        text += QStringLiteral("\r\n");
    return text;
}

QString bytesToText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes)
        text += byteToChar(b);
    return text;
}

}  // namespace

std::optional<CsvTable> parseVersionCsv(const QByteArray& body)
{
    if (body.isEmpty())
        return std::nullopt;
    CsvTable table;
    CsvRow row;
    int column = 0;
    int rowIndex = 0;
    for (char byte : body) {
        if (byte == '\n') {
            if (rowIndex < kCsvMaxRows)
                table.rows.push_back(row);
            ++rowIndex;
            row = CsvRow();
            column = 0;
        } else if (byte == ',') {
            if (column < kCsvColumns)
                ++column;
        } else if (byte == '\r') {
            continue;
        } else if (column < kCsvColumns && rowIndex < kCsvMaxRows) {
            QString& cell = row[static_cast<size_t>(column)];
            if (cell.size() < kCsvMaxCellLength)
                cell += byteToChar(byte);
        }
    }
    return table;
}

std::optional<CsvRow> findRow(const CsvTable& table, const QString& key)
{
    std::optional<CsvRow> found;
    for (const CsvRow& row : table.rows) {
        if (row[0] == key)
            found = row;
    }
    return found;
}

QString recorderVersionForCompare(const QString& version)
{
    qsizetype dots = 0;
    for (qsizetype i = 0; i < version.size(); ++i) {
        if (version[i] == u'.' && ++dots == 3)
            return version.left(i);
    }
    return version;
}

QString formatGpsVersion(const QString& version)
{
    QString out;
    for (qsizetype i = 0; i < version.size(); ++i) {
        out += version[i];
        if (i % 2 == 1 && i != 5)
            out += u'/';
    }
    return out;
}

std::optional<QString> parseGpsText(const QByteArray& body)
{
    if (body.isEmpty())
        return std::nullopt;
    const qsizetype block = 1024;
    const qsizetype lastStart = ((body.size() - 1) / block) * block;
    const QString text = bytesToText(body.mid(lastStart).trimmed());
    if (text.isEmpty() || text.size() > kGpsMaxTextLength)
        return std::nullopt;
    return text;
}

QString buildUpdateText(const std::vector<UpdateItem>& items)
{
    if (items.empty())
        return {};
    // Long server texts first lose their links' length, then their links; the text never
    // passes its 1300 characters and never ends inside markup.
    for (int maxHref : {INT_MAX, 200, 0}) {
        const QString text = buildWith(items, maxHref);
        if (text.size() <= kMaxTextLength)
            return text;
    }
    return buildWith(items, 0).left(kMaxTextLength);
}

QString updateTextToHtml(const QString& text)
{
    QString html = text;
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    return html;
}

QUrl hostUrl(const QString& baseUrl, const char* path)
{
    QString base = baseUrl.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    const QUrl url(base + QLatin1String(path), QUrl::StrictMode);
    return isHttpUrl(url) ? url : QUrl();
}

CheckResult runUpdateCheck(const QString& baseUrl, const UpdateInputs& inputs,
                           const HttpLimits& limits, const std::atomic<bool>* cancel)
{
    CheckResult result;
    if (!hostUrl(baseUrl, kRecorderCsvPath).isValid()) {
        result.notes << QStringLiteral("no update host set (or not an http/https URL)");
        return result;
    }
    const auto cancelled = [&] { return cancel && cancel->load(); };
    HttpSession session(limits, cancel);
    const auto fetchRow = [&](const char* path, const char* key) -> std::optional<CsvRow> {
        const HttpResponse response = session.get(hostUrl(baseUrl, path));
        if (!response.ok) {
            result.notes << QStringLiteral("%1: %2").arg(QLatin1String(path), response.error);
            return std::nullopt;
        }
        const std::optional<CsvTable> table = parseVersionCsv(response.body);
        if (!table) {
            result.notes << QStringLiteral("%1: empty answer").arg(QLatin1String(path));
            return std::nullopt;
        }
        return findRow(*table, QLatin1String(key));
    };

    // 1. Recorder firmware, only for a card that carries the maker's download shortcut.
    if (inputs.downloadKey == QLatin1String(kDownloadKey)) {
        QString url = hostUrl(baseUrl, kRecorderPagePath).toString();
        QString next;
        if (const std::optional<CsvRow> row = fetchRow(kRecorderCsvPath, kRecorderModelKey)) {
            next = (*row)[2];
            if (!(*row)[3].isEmpty())
                url = (*row)[3];
        }
        if (!inputs.recorderVersion.isEmpty()) {
            const QString current = recorderVersionForCompare(inputs.recorderVersion);
            if (!next.isEmpty() && next != current)
                result.items.push_back({text(TXT_RECORDER_UNIT), current, next, url});
        }
    }
    if (cancelled())
        return {};

    // 2. This viewer.
    const QString viewer =
        inputs.viewerVersion.isEmpty() ? ravir::viewerVersion() : inputs.viewerVersion;
    if (const std::optional<CsvRow> row = fetchRow(kViewerCsvPath, kViewerKey)) {
        const QString next = (*row)[1];
        if (!next.isEmpty() && next != viewer)
            result.items.push_back({text(TXT_VIEWER_SOFTWARE), viewer, next, (*row)[2]});
    }
    if (cancelled())
        return {};

    // 3. GPS data on the card. Only a failed download ends the check without a text; an
    // empty text (or one too long to be a version) means no GPS update, and the recorder and
    // viewer blocks stay.
    if (!inputs.gpsVersion.isEmpty()) {
        const HttpResponse response = session.get(hostUrl(baseUrl, kGpsTextPath));
        if (!response.ok || response.truncated) {
            result.notes << QStringLiteral("%1: %2").arg(
                QLatin1String(kGpsTextPath),
                response.ok ? QStringLiteral("answer too long") : response.error);
            result.items.clear();
            return result;
        }
        const std::optional<QString> text = parseGpsText(response.body);
        if (!text)
            result.notes << QStringLiteral("%1: no version text (no GPS data update)")
                                .arg(QLatin1String(kGpsTextPath));
        const QString current = formatGpsVersion(inputs.gpsVersion);
        const QString next = text ? formatGpsVersion(*text) : current;
        if (next != current)
            result.items.push_back({ravir::text(TXT_GPS_DATA_INFO), current, next,
                                    hostUrl(baseUrl, kGpsPagePath).toString()});
    }
    if (cancelled())
        return {};
    result.text = buildUpdateText(result.items);
    return result;
}

}  // namespace ravir::update
