// The update check's parsing, comparisons and text, without a network.
#include "shell/ui_text.h"
#include "update/update_check.h"

#include <gtest/gtest.h>

namespace ravir::update {
namespace {

TEST(VersionCsv, RowsEndAtLfAndKeepFiveColumns)
{
    const auto table = parseVersionCsv("a,b,c,d,e,f,g\r\n,,x\n\nk1,1\rx,2\nlast,without,lf");
    ASSERT_TRUE(table);
    ASSERT_EQ(table->rows.size(), 4u);
    EXPECT_EQ(table->rows[0][0], "a");
    EXPECT_EQ(table->rows[0][4], "e");  // columns after the fifth are dropped
    EXPECT_EQ(table->rows[1][2], "x");
    EXPECT_EQ(table->rows[1][0], "");
    EXPECT_EQ(table->rows[2][0], "");
    EXPECT_EQ(table->rows[3][1], "1x");   // CR is skipped wherever it stands
    EXPECT_EQ(table->rows[3][2], "2");

    EXPECT_FALSE(parseVersionCsv(""));
    const auto noRows = parseVersionCsv("ZU590-MVS,x,9.9.9,http://a/");
    ASSERT_TRUE(noRows);
    EXPECT_TRUE(noRows->rows.empty());
    EXPECT_FALSE(findRow(*noRows, "ZU590-MVS"));
}

TEST(VersionCsv, TheLastMatchingRowWinsAndOnlyHundredRowsCount)
{
    const auto table = parseVersionCsv("K,1\nOTHER,2\nK,3\nk,4\n K,5\n");
    ASSERT_TRUE(table);
    const auto row = findRow(*table, "K");
    ASSERT_TRUE(row);
    EXPECT_EQ((*row)[1], "3");  // exact, case-sensitive match of column 0

    QByteArray many;
    for (int i = 0; i < 150; ++i)
        many += "K," + QByteArray::number(i) + "\n";
    const auto big = parseVersionCsv(many);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->rows.size(), 100u);
    EXPECT_EQ((*findRow(*big, "K"))[1], "99");

    // Cells are cut; bytes other than printable ASCII become '?'.
    const auto odd = parseVersionCsv(QByteArray(1000, 'x') + ",\xE3\x81\x82\t\x01v\n");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->rows[0][0].size(), kCsvMaxCellLength);
    EXPECT_EQ(odd->rows[0][1], "?????v");
}

TEST(Versions, RecorderCutAndGpsFormat)
{
    EXPECT_EQ(recorderVersionForCompare("1.2.3"), "1.2.3");
    EXPECT_EQ(recorderVersionForCompare("1.2.3.4"), "1.2.3");
    EXPECT_EQ(recorderVersionForCompare("1.2.3.4.5"), "1.2.3");
    EXPECT_EQ(recorderVersionForCompare("1.2"), "1.2");
    EXPECT_EQ(recorderVersionForCompare(""), "");
    EXPECT_EQ(recorderVersionForCompare("..."), "..");

    EXPECT_EQ(formatGpsVersion("231015"), "23/10/15");
    EXPECT_EQ(formatGpsVersion("2310"), "23/10/");
    EXPECT_EQ(formatGpsVersion("23101599"), "23/10/1599/");
    EXPECT_EQ(formatGpsVersion("2"), "2");
    EXPECT_EQ(formatGpsVersion(""), "");

    EXPECT_EQ(parseGpsText("231015"), "231015");
    EXPECT_EQ(parseGpsText("231015\r\n"), "231015");  // line break at the end is not the version
    EXPECT_FALSE(parseGpsText(""));
    EXPECT_FALSE(parseGpsText("\r\n"));
    EXPECT_FALSE(parseGpsText(QByteArray(300, '1')));
    // Only the last 1024-byte block counts.
    EXPECT_EQ(parseGpsText(QByteArray(1024, 'x') + "240101"), "240101");
    EXPECT_FALSE(parseGpsText(QByteArray(2048, 'x')));
}

TEST(UpdateText, ServerTextsAreEscapedAndOnlyHttpLinked)
{
    const std::vector<UpdateItem> items = {
        {"R", "1.2.3", "<b>9</b>", "javascript:alert(1)"},
        {"V", "1.0.0", "2.0.0", "http://example.com/a?x=1&y=\"2\"><script>"},
        {"G", "23/10/15", "24/01/01", "ftp://example.com/file"},
    };
    const QString t = buildUpdateText(items);
    EXPECT_FALSE(t.contains("<b>"));
    EXPECT_FALSE(t.contains("<script>"));
    EXPECT_FALSE(t.contains("href=\"javascript"));
    EXPECT_FALSE(t.contains("href=\"ftp"));
    EXPECT_TRUE(t.contains("URL : javascript:alert(1)\r\n"));
    EXPECT_TRUE(t.contains("URL : ftp://example.com/file\r\n"));
    EXPECT_EQ(t.count("<a href="), 1);
    EXPECT_EQ(t.count("</a>"), 1);
    const qsizetype a = t.indexOf("<a href=\"");
    const qsizetype end = t.indexOf('"', a + 9);
    const QString href = t.mid(a + 9, end - a - 9);
    EXPECT_TRUE(href.startsWith("http://example.com/a?x=1&amp;y=%222%22%3E%3Cscript%3E")) << href.toStdString();
    EXPECT_EQ(t.count(u'<'), 2);  // the link's opening and closing tags, nothing else
    EXPECT_TRUE(buildUpdateText({}).isEmpty());
}

TEST(UpdateText, NeverLongerThan1300CharactersNorCutInsideMarkup)
{
    const QString longUrl = "http://example.com/" + QString(900, u'&');
    const std::vector<UpdateItem> items = {
        {text(TXT_RECORDER_UNIT), QString(500, u'"'), QString(500, u'<'), longUrl},
        {text(TXT_VIEWER_SOFTWARE), "1.0.0", "2.0.0", longUrl},
        {text(TXT_GPS_DATA_INFO), "1", "2", QString(2000, u'>')},
    };
    for (size_t n = 1; n <= 3; ++n) {
        const std::vector<UpdateItem> some(items.begin(), items.begin() + static_cast<long>(n));
        const QString t = buildUpdateText(some);
        EXPECT_LE(t.size(), kMaxTextLength);
        EXPECT_EQ(t.count("<a "), t.count("</a>"));
        EXPECT_EQ(t.count(u'<'), 2 * t.count("</a>"));
        EXPECT_EQ(t.count(text(TXT_CURRENT_VERSION)), static_cast<qsizetype>(n));
    }
    // A short URL keeps its link when another item's URL is too long.
    const QString t = buildUpdateText({{"R", "1", "2", longUrl}, {"V", "1", "2", "http://s/x"}});
    EXPECT_TRUE(t.contains("<a href=\"http://s/x\">http://s/x</a>"));
    EXPECT_EQ(updateTextToHtml("a\r\nb\r\n"), "a<br>b<br>");
}

TEST(UpdateText, HostUrlJoinsBaseAndPath)
{
    EXPECT_EQ(hostUrl("http://h.example", kGpsTextPath).toString(),
              "http://h.example/gps_data/drgps_01.txt");
    EXPECT_EQ(hostUrl(" https://h.example/pre/ ", kGpsTextPath).toString(),
              "https://h.example/pre/gps_data/drgps_01.txt");
    EXPECT_FALSE(hostUrl("", kGpsTextPath).isValid());
    EXPECT_FALSE(hostUrl("ftp://h.example", kGpsTextPath).isValid());
    EXPECT_FALSE(hostUrl("javascript:alert(1)//", kGpsTextPath).isValid());
    EXPECT_FALSE(hostUrl("h.example", kGpsTextPath).isValid());
}

}  // namespace
}  // namespace ravir::update
