// Fuzzes what the update check makes of a server's answer: the version CSV, the GPS text and
// the update text built from them, which must stay within its length and carry no markup of
// the server's.
#include "update/update_check.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace ravir::update;
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<CsvTable> table = parseVersionCsv(body);
    if (table.has_value() == body.isEmpty() || (table && table->rows.size() > kCsvMaxRows))
        std::abort();
    std::vector<UpdateItem> items;
    if (table) {
        for (const CsvRow& row : table->rows) {
            for (const QString& cell : row) {
                if (cell.size() > kCsvMaxCellLength)
                    std::abort();
            }
            if (items.size() < 3)
                items.push_back({"name", row[0], row[2], row[3]});
        }
    }
    if (const std::optional<QString> gps = parseGpsText(body)) {
        if (gps->size() > kGpsMaxTextLength)
            std::abort();
        formatGpsVersion(*gps);
    }
    const QString text = buildUpdateText(items);
    if (text.size() > kMaxTextLength || text.count(u'<') != 2 * text.count(QStringLiteral("</a>")))
        std::abort();
    return 0;
}
