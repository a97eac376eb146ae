#include "exports/report_template.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <array>

namespace ravir {
namespace {

struct Label {
    const char* cell;   // top-left cell
    const char* range;  // merged range, or nullptr for a single cell
    const char* text;
    int style;          // 0 plain, 1 title, 2 small centred, 3 wrapped centred
};

// The form. Labels of the left half name the parties and their fields; the right half holds the
// summary, the description, the scene picture, the work-accident and remarks boxes.
constexpr Label kLabels[] = {
    {"AD1", "AD1:AG1", "西暦", 2},
    {"AH1", "AH1:AJ1", "年", 2},
    {"AK1", "AK1:AM1", "月", 2},
    {"AN1", "AN1:AP1", "日", 2},
    {"I3", "I3:AH3", "交　通　事　故　報　告　書", 1},
    {"K5", nullptr, "殿", 0},
    {"AD6", "AD6:AF6", "所属", 2},
    {"AD7", "AD7:AF7", "報告者", 2},
    {"AG7", "AG7:AL7", "　", 0},
    {"AM7", nullptr, "印", 2},
    {"B9", "B9:I9", "事故発生日時", 3},
    {"R9", "R9:V9", "西暦", 2},
    {"W9", "W9:Z9", "年", 2},
    {"AA9", "AA9:AD9", "月", 2},
    {"AE9", "AE9:AH9", "日", 2},
    {"AI9", "AI9:AL9", "時", 2},
    {"AM9", "AM9:AP9", "分", 2},
    {"B10", "B10:I11", "事故発生場所", 3},
    {"B12", "B12:I12", "事故区分", 3},
    {"J12", "J12:AR12", "1、人身　　2、物損　3、その他", 0},
    {"B13", "B13:I14", "事故種別", 3},
    {"J13", "J13:AR13", "a、人対車両（横断中・対面通行中・背面通行中・その他）　b、車両相互（正面衝突・追突）", 0},
    {"J14", "J14:AR14", "c、車両相互（出会い頭・右左折時・その他）　d、車両単独・その他", 0},
    {"B15", "B15:I15", "届出警察署", 3},
    {"J15", "J15:AR15", "　　　　　警察署　　　　　交番・駐在所　　電話　　　　　　担当者　　　　　", 0},
    // own party
    {"B16", "B16:E20", "当方", 3},
    {"F16", "F16:I16", "氏名", 3},
    {"F17", "F17:I17", "所属", 3},
    {"F18", "F18:I18", "車種", 3},
    {"J18", "J18:L18", "車名", 2},
    {"Q18", "Q18:S18", "型式", 2},
    {"Y18", "Y18:AA18", "年式", 2},
    {"AE18", "AE18:AG18", "車台\n番号", 3},
    {"F19", "F19:I19", "負傷状況", 3},
    {"F20", "F20:I20", "医療機関", 3},
    // own passengers
    {"B21", "B21:E24", "当方\n同乗者", 3},
    {"F21", "F21:I21", "氏名", 3},
    {"F22", "F22:I22", "所属", 3},
    {"F23", "F23:I23", "負傷状況", 3},
    {"F24", "F24:I24", "医療機関", 3},
    // other party
    {"B25", "B25:E30", "相手方", 3},
    {"F25", "F25:I25", "住所", 3},
    {"F26", "F26:I26", "氏名", 3},
    {"J26", "J26:AR26", "　　　　　　　　　　　（生年月日　　　年　　月　　日　　　歳　男・女）", 0},
    {"F27", "F27:I27", "勤務先", 3},
    {"F28", "F28:I28", "車種", 3},
    {"J28", "J28:L28", "車名", 2},
    {"Q28", "Q28:S28", "型式", 2},
    {"Y28", "Y28:AA28", "年式", 2},
    {"AE28", "AE28:AG28", "車台\n番号", 3},
    {"F29", "F29:I29", "負傷状況", 3},
    {"F30", "F30:I30", "医療機関", 3},
    // other party's passengers
    {"B31", "B31:E35", "相手方\n同乗者", 3},
    {"F31", "F31:I31", "住所", 3},
    {"F32", "F32:I32", "氏名", 3},
    {"J32", "J32:AR32", "　　　　　　　　　　　（生年月日　　　年　　月　　日　　　歳　男・女）", 0},
    {"F33", "F33:I33", "勤務先", 3},
    {"F34", "F34:I34", "負傷状況", 3},
    {"F35", "F35:I35", "医療機関", 3},
    // right half
    {"AT3", "AT3:BA4", "事故の概要", 3},
    {"AT5", "AT5:BA17", "状況説明", 3},
    {"AT18", "AT18:AZ31", "現場状況", 3},
    {"AT32", "AT32:BA33", "労災", 3},
    {"AT34", "AT34:BA35", "備考", 3},
    {"CD36", "CD36:CF36", "A3用紙", 2},
};

// Empty merged entry fields: the user types into them.
constexpr const char* kFields[] = {
    "B5:J5",     "AG6:AP6",   "J9:Q9",     "J10:AR11",  "J16:AR16",  "J17:AR17",
    "M18:P18",   "T18:X18",   "AB18:AD18", "AH18:AR18", "J19:AR19",  "J20:AR20",
    "J21:AR21",  "J22:AR22",  "J23:AR23",  "J24:AR24",  "J25:AR25",  "J27:AR27",
    "M28:P28",   "T28:X28",   "AB28:AD28", "AH28:AR28", "J29:AR29",  "J30:AR30",
    "J31:AR31",  "J33:AR33",  "J34:AR34",  "J35:AR35",
    // Beside the right half's labels: ruled text rows for the summary (rows 3-4), the
    // description (rows 5-17) and the remarks (rows 34-35); the work-accident entry is one box.
    "BB3:CE3",   "BB4:CE4",   "BB5:CE5",   "BB6:CE6",   "BB7:CE7",   "BB8:CE8",
    "BB9:CE9",   "BB10:CE10", "BB11:CE11", "BB12:CE12", "BB13:CE13", "BB14:CE14",
    "BB15:CE15", "BB16:CE16", "BB17:CE17", "BB32:CE33", "BB34:CE34", "BB35:CE35",
};

}  // namespace

QByteArray MakeReportTemplate(QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    QTemporaryDir dir;
    if (!dir.isValid())
        return fail("no temporary folder for the report template");
    const QByteArray path = QFile::encodeName(dir.filePath("template.xlsx"));

    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = nullptr;
    options.use_zip64 = LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(path.constData(), &options);
    if (!book)
        return fail("the report template could not be started");

    lxw_doc_properties properties{};
    properties.title = const_cast<char*>("交通事故報告書");
    properties.comments = const_cast<char*>("Ravir viewer accident report form");
    workbook_set_properties(book, &properties);

    lxw_worksheet* sheet = workbook_add_worksheet(book, report::kTemplateSheet);
    lxw_error status = LXW_NO_ERROR;
    auto check = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && status == LXW_NO_ERROR)
            status = e;
    };

    lxw_format* plain = workbook_add_format(book);
    format_set_font_name(plain, "ＭＳ 明朝");
    format_set_font_size(plain, 10);
    format_set_align(plain, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* title = workbook_add_format(book);
    format_set_font_name(title, "ＭＳ 明朝");
    format_set_font_size(title, 18);
    format_set_bold(title);
    format_set_align(title, LXW_ALIGN_CENTER);
    format_set_align(title, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* small = workbook_add_format(book);
    format_set_font_name(small, "ＭＳ 明朝");
    format_set_font_size(small, 9);
    format_set_align(small, LXW_ALIGN_CENTER);
    format_set_align(small, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* boxed = workbook_add_format(book);
    format_set_font_name(boxed, "ＭＳ 明朝");
    format_set_font_size(boxed, 10);
    format_set_align(boxed, LXW_ALIGN_CENTER);
    format_set_align(boxed, LXW_ALIGN_VERTICAL_CENTER);
    format_set_text_wrap(boxed);
    format_set_border(boxed, LXW_BORDER_THIN);
    lxw_format* field = workbook_add_format(book);
    format_set_font_name(field, "ＭＳ 明朝");
    format_set_font_size(field, 10);
    format_set_align(field, LXW_ALIGN_LEFT);
    format_set_align(field, LXW_ALIGN_VERTICAL_TOP);
    format_set_text_wrap(field);
    format_set_border(field, LXW_BORDER_THIN);
    const std::array<lxw_format*, 4> styles{plain, title, small, boxed};

    check(worksheet_set_column(sheet, 0, report::kBoxLastCol, report::kColumnWidth, nullptr));
    worksheet_set_default_row(sheet, report::kRowHeight, LXW_FALSE);
    for (lxw_row_t row = 0; row < 3; ++row)
        check(worksheet_set_row(sheet, row, report::kTitleRowHeight, nullptr));

    for (const Label& label : kLabels) {
        lxw_format* format = styles[size_t(label.style)];
        if (label.range) {
            const lxw_row_t r1 = lxw_name_to_row(label.range);
            const lxw_col_t c1 = lxw_name_to_col(label.range);
            const lxw_row_t r2 = lxw_name_to_row_2(label.range);
            const lxw_col_t c2 = lxw_name_to_col_2(label.range);
            check(worksheet_merge_range(sheet, r1, c1, r2, c2, label.text, format));
        } else {
            check(worksheet_write_string(sheet, lxw_name_to_row(label.cell),
                                         lxw_name_to_col(label.cell), label.text, format));
        }
    }
    for (const char* range : kFields)
        check(worksheet_merge_range(sheet, lxw_name_to_row(range), lxw_name_to_col(range),
                                    lxw_name_to_row_2(range), lxw_name_to_col_2(range), "",
                                    field));

    // Print settings: A3 landscape, 80 %, fitted to one page, the form's margins and a row
    // break after row 36.
    check(worksheet_print_area(sheet, 0, 0, 35, 83));  // A1:CF36
    worksheet_set_paper(sheet, 8);
    worksheet_set_landscape(sheet);
    worksheet_set_print_scale(sheet, 80);
    worksheet_fit_to_pages(sheet, 1, 1);
    worksheet_set_margins(sheet, 0.79, 0.79, 0.98, 0.98);
    lxw_header_footer_options hf{};
    hf.margin = 0.51;
    check(worksheet_set_header_opt(sheet, "", &hf));
    check(worksheet_set_footer_opt(sheet, "", &hf));
    static lxw_row_t breaks[] = {36, 0};
    check(worksheet_set_h_pagebreaks(sheet, breaks));

    const lxw_error closed = workbook_close(book);
    if (status != LXW_NO_ERROR)
        return fail(QString("the report template could not be made: %1")
                        .arg(lxw_strerror(status)));
    if (closed != LXW_NO_ERROR)
        return fail(QString("the report template could not be written: %1")
                        .arg(lxw_strerror(closed)));
    QFile file(dir.filePath("template.xlsx"));
    if (!file.open(QIODevice::ReadOnly))
        return fail("the report template could not be read back");
    return file.readAll();
}

}  // namespace ravir
