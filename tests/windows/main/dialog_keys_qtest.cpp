// The keyboard in the program's dialogs, one table: Escape does what the close box does, Enter
// presses the focused button or the default one, Tab walks the controls in their rows, Space
// ticks a row of the selection list; the message dialog is answered with its buttons only
// (Enter and Escape leave it open, Space on the focused button answers it).
#include "windows/catalogue/file_select_dlg.h"
#include "windows/catalogue/source_open_dlg.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_button.h"
#include "windows/kit/skin_list.h"
#include "windows/settings/setting_dlg.h"
#include "windows/kit/app_scale.h"
#include "windows/main/evidence_dialog.h"
#include "shell/ini_file.h"
#include "windows/update/update_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace ravir;

namespace {

RecordList twoRecords()
{
    RecordList out;
    for (int i = 0; i < 2; ++i) {
        RecordingRecord r;
        r.path = QStringLiteral("/card/Normal/A___-250314-120%1-00000%1M.MOV").arg(i);
        r.size = 1 << 20;
        r.row = i;
        out.push_back(r);
    }
    return out;
}

// What is left after the keys: still shown, or closed with this result.
enum class After { Open, Accepted, Rejected, Hidden };

struct Case {
    const char* name;
    std::function<std::unique_ptr<CSkinDialog>()> make;
    // Keys in order, each sent to the widget that has the focus (Qt::Key, with Space as ' ').
    std::vector<int> keys;
    After after;
    // With Tab keys: the object names the focus visits, in order (empty: not checked).
    QStringList focusWalk;
};

std::unique_ptr<CSkinDialog> sourceDialog(int mode)
{
    RemovableDrives drives;
    drives.roots = {QStringLiteral("/media/card")};
    drives.defaultIndex = 0;
    auto dlg = std::make_unique<CSourceOpenDlg>(drives);
    dlg->folderField()->setText(QStringLiteral("/tmp"));
    dlg->selectMode(mode);
    return dlg;
}

std::unique_ptr<CSkinDialog> selectDialog()
{
    auto dlg = std::make_unique<CFileSelectDlg>(CFileSelectDlg::kDelete);
    dlg->setAllList(twoRecords());
    dlg->setCurrentList(twoRecords());
    return dlg;
}

// The evidence span dialog over a 120-frame movie, proposing a folder that does not exist yet.
std::unique_ptr<CSkinDialog> evidenceDialog()
{
    EvidenceDialog::Setup setup;
    setup.movie = QStringLiteral("/card/Normal/A___-250314-1200-000001M.MOV");
    setup.frames = 120;
    setup.frameMs = 1000.0 / 30;
    setup.from = 0;
    setup.to = 119;
    setup.parentFolder = QDir::tempPath();
    return std::make_unique<EvidenceDialog>(setup);
}

std::unique_ptr<CSkinDialog> messageDialog()
{
    return std::make_unique<CMsgDlg>(QStringLiteral("text"), QStringLiteral("ERROR"), CMsgBox::kOkCancel);
}

}  // namespace

class DialogKeysTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QWidget probe;
        probe.show();
        QVERIFY(ComputeScalesAndFonts(&probe));
        QVERIFY(config_.isValid());
        setStartupFolder(config_.path());
        CMsgBox::setAutoAnswer(CMsgBox::kIdOk);
    }

    void keysOfEveryDialog()
    {
        const Case cases[] = {
            {"source: Escape closes as the close box", [] { return sourceDialog(1); },
             {Qt::Key_Escape}, After::Rejected, {}},
            {"source: Enter is OK", [] { return sourceDialog(2); }, {Qt::Key_Return}, After::Accepted, {}},
            {"source: Tab walks row by row to OK", [] { return sourceDialog(1); },
             {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab,
              Qt::Key_Tab, Qt::Key_Tab},
             After::Open,
             {"driveList", "folderField", "folderMore", "fileField", "fileMore", "okButton"}},
            {"source: Enter on \"...\" presses it, not OK",
             [] {
                 auto dlg = sourceDialog(1);
                 // The folder chooser answers a folder: the dialog stays open in mode 2.
                 static_cast<CSourceOpenDlg*>(dlg.get())->setFolderChooser(
                     [](QWidget*) { return QStringLiteral("/srv/chosen"); });
                 return dlg;
             },
             {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}, After::Open, {}},
            {"selection: Escape cancels", selectDialog, {Qt::Key_Escape}, After::Rejected, {}},
            {"selection: Enter does nothing while nothing is ticked", selectDialog, {Qt::Key_Enter},
             After::Open, {}},
            {"selection: Space ticks the current row, Enter confirms", selectDialog,
             {Qt::Key_Down, ' ', Qt::Key_Return}, After::Accepted, {}},
            {"selection: Tab walks list, check buttons, OK", selectDialog,
             {Qt::Key_Down, ' ', Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab}, After::Open,
             {"showAll", "selectAllShown", "okButton"}},
            {"settings: Escape hides it", [] { return std::make_unique<CSettingDlg>(); },
             {Qt::Key_Escape}, After::Hidden, {}},
            {"settings: Enter is OK", [] { return std::make_unique<CSettingDlg>(); },
             {Qt::Key_Return}, After::Hidden, {}},
            {"update: Escape closes", [] { return std::make_unique<CUpdateDialog>(QStringLiteral("new")); },
             {Qt::Key_Escape}, After::Rejected, {}},
            {"update: Enter is its close button", [] { return std::make_unique<CUpdateDialog>(QStringLiteral("new")); },
             {Qt::Key_Return}, After::Accepted, {}},
            {"evidence: Escape cancels", evidenceDialog, {Qt::Key_Escape}, After::Rejected, {}},
            {"evidence: Enter in a frame field is OK", evidenceDialog, {Qt::Key_Up, Qt::Key_Return},
             After::Accepted, {}},
            {"evidence: Tab walks the frames, the folder, its chooser, OK, Cancel", evidenceDialog,
             {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab}, After::Open,
             {"toFrame", "folderField", "folderMore", "okButton", "cancelButton"}},
            {"evidence: Tab to Cancel, Space cancels", evidenceDialog,
             {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, ' '}, After::Rejected, {}},
            {"message: Enter and Escape leave it open", messageDialog,
             {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}, After::Open, {}},
            {"message: Space on the focused OK answers", messageDialog, {' '}, After::Accepted, {}},
            {"message: Tab to Cancel, Space answers Cancel", messageDialog, {Qt::Key_Tab, ' '},
             After::Rejected, {}},
        };
        for (const Case& c : cases) {
            QFile::remove(configFilePath());  // each dialog starts from no remembered source
            std::unique_ptr<CSkinDialog> dlg = c.make();
            int finished = -1;
            connect(dlg.get(), &QDialog::finished, this, [&finished](int r) { finished = r; });
            dlg->show();
            QApplication::setActiveWindow(dlg.get());
            QVERIFY2(QTest::qWaitForWindowActive(dlg.get()), c.name);
            QStringList walk;
            for (int key : c.keys) {
                QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dlg.get();
                if (key == ' ')
                    QTest::keyClick(target, Qt::Key_Space);
                else
                    QTest::keyClick(target, static_cast<Qt::Key>(key));
                if (key == Qt::Key_Tab && QApplication::focusWidget())
                    walk << QApplication::focusWidget()->objectName();
            }
            // The choice buttons of one group are walked with the arrow keys, Tab stops at one of
            // them: the walk is checked without them.
            walk.removeIf([](const QString& n) { return n.startsWith(u"mode"); });
            if (!c.focusWalk.isEmpty())
                QVERIFY2(walk.join(u' ').contains(c.focusWalk.join(u' ')), qPrintable(walk.join(u' ')));
            if (QByteArray(c.name).contains("\"...\"")) {
                auto* source = static_cast<CSourceOpenDlg*>(dlg.get());
                QCOMPARE(source->folderField()->text(), QStringLiteral("/srv/chosen"));
                QCOMPARE(source->mode(), 2);
            }
            switch (c.after) {
            case After::Open:
                QVERIFY2(dlg->isVisible(), c.name);
                QVERIFY2(finished == -1, c.name);
                break;
            case After::Hidden:
                QVERIFY2(!dlg->isVisible(), c.name);
                break;
            case After::Accepted:
                QVERIFY2(!dlg->isVisible(), c.name);
                QVERIFY2(finished == QDialog::Accepted || finished == CMsgBox::kIdOk, c.name);
                break;
            case After::Rejected:
                QVERIFY2(!dlg->isVisible(), c.name);
                QVERIFY2(finished == QDialog::Rejected || finished == CMsgBox::kIdCancel, c.name);
                break;
            }
        }
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(DialogKeysTest)
#include "dialog_keys_qtest.moc"
