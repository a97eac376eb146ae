#pragma once
// The accident-report form: a one-sheet .xlsx package made by this program with libxlsxwriter.
//
// Sheet "Sheet1" holds the labels of a traffic-accident report at their cells, the merged
// ranges of the form, every column 2.453125 wide, rows 18 points high (rows 1 to 3: 24), the
// print area A1:CF36 (defined name _xlnm.Print_Area), A3 landscape at 80 % fitted to one page
// with margins left/right 0.79, top/bottom 0.98, header/footer 0.51 inches and a manual row break
// after row 36. The scene picture goes into the box from the top-left corner of BA18 to the
// top-left corner of CG32. The document properties carry no personal name.
#include <QByteArray>
#include <QString>

namespace ravir {

namespace report {
// The picture box as 0-based (row, column) of its top-left and bottom-right corner cells.
inline constexpr int kBoxFirstRow = 17;  // row 18
inline constexpr int kBoxFirstCol = 52;  // column BA
inline constexpr int kBoxLastRow = 31;   // row 32
inline constexpr int kBoxLastCol = 84;   // column CG
inline constexpr double kColumnWidth = 2.453125;  // characters
inline constexpr double kRowHeight = 18;          // points
inline constexpr double kTitleRowHeight = 24;     // rows 1 to 3
inline constexpr char kTemplateSheet[] = "Sheet1";
}  // namespace report

// The template package's bytes; empty with *error set when libxlsxwriter failed (it writes
// through a private temporary folder that is removed again).
QByteArray MakeReportTemplate(QString* error = nullptr);

}  // namespace ravir
