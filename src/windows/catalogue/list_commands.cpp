#include "windows/catalogue/list_commands.h"

#include "catalogue/catalogue.h"
#include "windows/catalogue/file_select_dlg.h"
#include "catalogue/joined_save_paths.h"
#include "catalogue/recording_delete.h"
#include "container/movie_join.h"
#include "exports/recording_csv.h"
#include "windows/kit/msg_dlg.h"
#include "windows/kit/skin_progress.h"
#include "windows/main/task_runner.h"
#include "shell/ini_keys.h"
#include "windows/kit/remembered_folder.h"
#include "shell/ui_text.h"

#include <QDir>
#include <QFileInfo>

namespace ravir {

// One command's inputs and what its task found, shared by the window thread and the worker.
struct CListCommands::Pending {
    int command = 0;
    // delete
    RecordList chosen;
    DeleteTaskResult deleteResult;
    bool sourceLost = false;
    // joined save
    JoinRequest join;
    JoinResult joinResult;
    QString folder;
    // CSV
    RecordList all;
    CsvExportOptions csv;
    CsvExportResult csvResult;
};

namespace {

QString defaultChooser(QWidget* owner, const IniKey& key, int titleId)
{
    return ChooseRememberedFolder(owner, QString::fromLatin1(key.section),
                                  QString::fromLatin1(key.key), text(titleId));
}

CsvEncoding csvEncodingSetting()
{
    const QString name = ReadCsvEncodingName();
    if (name.isEmpty())
        return CsvEncoding::Locale;
    return CsvEncodingFromName(name).value_or(CsvEncoding::Locale);
}

}  // namespace

CListCommands::CListCommands(Catalogue& catalogue, TaskRunner& runner, QWidget* window,
                             QObject* parent)
    : QObject(parent), catalogue_(catalogue), runner_(runner), window_(window)
{
    chooser_ = [this](const IniKey& key, int titleId) {
        return defaultChooser(window_, key, titleId);
    };
    selection_ = [](CFileSelectDlg& dialog) { return dialog.exec() == QDialog::Accepted; };
    connect(&runner_, &TaskRunner::progress, this, &CListCommands::onProgress);
    connect(&runner_, &TaskRunner::finished, this, &CListCommands::onFinished);
}

CListCommands::~CListCommands() = default;

bool CListCommands::busy() const { return runner_.busy(); }

void CListCommands::stop() { runner_.stop(); }

void CListCommands::abandon() { runner_.abandon(); }

int CListCommands::runningCommand() const
{
    return runner_.busy() && pending_ ? pending_->command : 0;
}

bool CListCommands::runCommand(int command)
{
    switch (command) {
    case kCmdDelete: return runDelete();
    case kCmdJoin: return runJoin();
    case kCmdCsv: return runCsv();
    default: return false;
    }
}

bool CListCommands::runDelete()
{
    if (runner_.busy() || catalogue_.mode() == SourceMode::None)
        return false;
    RecordList all = catalogue_.CollectAllRecordings();
    RenumberRows(all);
    RenumberRows(catalogue_.currentRecords());
    CFileSelectDlg dialog(CFileSelectDlg::kDelete, window_);
    if (!dialog.setAllList(all))
        CMsgBox::Error(window_, text(TXT_MSG_OVER_1500));
    dialog.setCurrentList(catalogue_.currentRecords());
    if (!selection_(dialog) || dialog.result().empty())
        return false;
    if (catalogue_.sourceLost()) {
        CMsgBox::Error(window_, text(TXT_MSG_DELETE_FAILED));
        return false;
    }
    auto pending = std::make_shared<Pending>();
    pending->command = kCmdDelete;
    pending->chosen = dialog.result();
    return startTask(pending);
}

bool CListCommands::runJoin()
{
    if (runner_.busy() || catalogue_.mode() == SourceMode::None)
        return false;
    RenumberRows(catalogue_.currentRecords());
    CFileSelectDlg dialog(CFileSelectDlg::kJoin, window_);
    dialog.setAllList(catalogue_.currentRecords());
    dialog.setCurrentList(catalogue_.currentRecords());
    if (!selection_(dialog) || dialog.result().empty())
        return false;
    if (catalogue_.sourceLost()) {
        CMsgBox::Error(window_, text(TXT_MSG_JOIN_FAILED));
        return false;
    }
    const QString folder = chooser_(ini::kConnectFolder, TXT_MSG_SELECT_BACKUP_FOLDER);
    if (folder.isEmpty())
        return false;
    QStringList movies;
    for (const RecordingRecord& r : dialog.result())
        movies << r.path;
    const QString output = QDir(folder).filePath(dialog.result().front().fileName());
    JoinRequest request = MakeJoinRequest(movies, output);
    const bool movieExists = QFileInfo::exists(output);
    const bool telemetryExists =
        !request.telemetryPath.isEmpty() && QFileInfo::exists(request.telemetryPath);
    if (movieExists || telemetryExists) {
        if (CMsgBox::Show(window_, text(TXT_MSG_SAME_NAME_EXISTS), text(TXT_CONFIRM),
                          CMsgBox::kOkCancel) != CMsgBox::kIdOk)
            return false;
        request.replaceOutput = movieExists;
        request.replaceTelemetry = telemetryExists;
    }
    auto pending = std::make_shared<Pending>();
    pending->command = kCmdJoin;
    pending->chosen = dialog.result();
    pending->join = std::move(request);
    pending->folder = folder;
    return startTask(pending);
}

bool CListCommands::runCsv()
{
    if (runner_.busy() || catalogue_.mode() == SourceMode::None)
        return false;
    const QString folder = chooser_(ini::kCsvFolder, TXT_MSG_SELECT_OUTPUT_FOLDER);
    if (folder.isEmpty())
        return false;
    RecordList all = catalogue_.CollectAllRecordings();
    if (all.empty()) {
        CMsgBox::Error(window_, text(TXT_MSG_NO_VIDEO));
        return false;
    }
    const QString path = QDir(folder).filePath(CsvFileName(StartTimeOf(all.front().path)));
    bool replace = false;
    if (QFileInfo::exists(path)) {
        if (CMsgBox::Show(window_, text(TXT_MSG_SAME_NAME_EXISTS), text(TXT_CONFIRM),
                          CMsgBox::kOkCancel) != CMsgBox::kIdOk)
            return false;
        replace = true;
    }
    auto pending = std::make_shared<Pending>();
    pending->command = kCmdCsv;
    pending->all = std::move(all);
    pending->folder = folder;
    pending->csv.folder = folder;
    pending->csv.encoding = csvEncodingSetting();
    pending->csv.rtcColumn = catalogue_.recorderInfo().downloadFlag != 0;
    // Asked above on the window thread; a file that appears while the export runs is kept.
    pending->csv.confirmOverwrite = [replace](const QString&) { return replace; };
    // The export ends as soon as the card is gone: the watcher reports it, or the export finds
    // the card's root or a listed file missing.
    pending->csv.sourceRoot = catalogue_.sourcePath();
    pending->csv.sourceLost = &catalogue_.sourceLostFlag();
    return startTask(pending);
}

bool CListCommands::startTask(std::shared_ptr<Pending> pending)
{
    if (beforeTask_)
        beforeTask_(pending->command);
    const bool sourceLost = catalogue_.sourceLost();
    // A card source is the root that the card layouts are probed at (it need not be a mount
    // point of its own); elsewhere each recording's drive is probed.
    const QString probeRoot =
        catalogue_.mode() == SourceMode::Drive ? catalogue_.sourcePath() : QString();
    const QString name = QString::number(pending->command);
    const bool started = runner_.start(name, [pending, sourceLost, probeRoot](TaskRunner::Context& ctx) {
        switch (pending->command) {
        case kCmdDelete: {
            DeleteTaskOptions options;
            options.sourceLost = sourceLost;
            options.probeRoot = probeRoot;
            options.running = ctx.running;
            options.progress = [&ctx](int done, int total) { ctx.progress(done, total); };
            pending->deleteResult = RunDeleteTask(pending->chosen, options);
            return static_cast<int>(pending->deleteResult.status);
        }
        case kCmdJoin: {
            pending->join.stop = ctx.stop;
            pending->join.progress = [&ctx](int64_t done, int64_t total) {
                ctx.progress(done, total);
            };
            pending->joinResult = SaveJoinedMovie(pending->join);
            return pending->joinResult.ok ? 0 : 1;
        }
        default: {
            pending->csv.running = ctx.running;
            pending->csv.discardOnStop = ctx.abandoned;
            pending->csv.progress = [&ctx](int done, int total) { ctx.progress(done, total); };
            pending->csvResult = ExportRecordingCsv(pending->all, pending->csv);
            return static_cast<int>(pending->csvResult.status);
        }
        }
    });
    if (!started)
        return false;
    pending_ = pending;
    if (progress_) {
        progress_->setRange(0, 100);
        progress_->setPosition(0);
        progress_->raise();
        progress_->show();
    }
    Q_EMIT taskStarted(pending->command);
    return true;
}

void CListCommands::onProgress(qint64 done, qint64 total)
{
    if (!progress_ || total <= 0)
        return;
    progress_->setRange(0, 100);
    progress_->setPosition(static_cast<int>(std::clamp<qint64>(done * 100 / total, 0, 100)));
}

void CListCommands::onFinished(const QString&, int, bool)
{
    if (!pending_)
        return;
    if (progress_)
        progress_->hide();
    switch (pending_->command) {
    case kCmdDelete: finishDelete(); break;
    case kCmdJoin: finishJoin(); break;
    default: finishCsv(); break;
    }
}

void CListCommands::finishDelete()
{
    const std::shared_ptr<Pending> p = std::move(pending_);
    const DeleteTaskResult& result = p->deleteResult;
    const RecordList deleted = DeletedRecords(p->chosen, result);
    // No list keeps a recording that is gone, also after a failure or a stop.
    RecordList folderRecords = catalogue_.folderRecords();
    RemoveDeletedRecords(deleted, {&catalogue_.currentRecords()});
    // A deletion that ended early (a recording that could not be deleted, the card pulled) says
    // how far it got: the recordings deleted and those left.
    const bool sourceLost = catalogue_.sourceLost();
    if (result.status == DeleteTaskStatus::Failed || result.status == DeleteTaskStatus::SourceLost
        || (sourceLost && result.status != DeleteTaskStatus::Completed)) {
        const qsizetype chosen = static_cast<qsizetype>(p->chosen.size());
        const qsizetype done = static_cast<qsizetype>(deleted.size());
        CMsgBox::Error(window_, text(TXT_MSG_DELETE_FAILED) + QLatin1Char('\n')
                                    + text(TXT_MSG_DELETE_COUNTS).arg(done).arg(chosen - done));
    }
    const bool changed = !deleted.empty();
    if (changed && sourceLost) {
        // Nothing of the source can be shown again: the window clears it (source vanished).
        Q_EMIT taskFinished(kCmdDelete, changed);
        return;
    }
    if (changed) {
        const SourceMode mode = catalogue_.mode();
        const QString source = catalogue_.sourcePath();
        if (mode == SourceMode::Drive || mode == SourceMode::Folder) {
            catalogue_.OpenSource(source, mode);
            catalogue_.SelectDefaultItem();
        } else if (!QFileInfo::exists(catalogue_.singleFile())) {
            catalogue_.Clear();
        }
        Q_EMIT sourceReopened();
    }
    if (result.status == DeleteTaskStatus::Completed)
        CMsgBox::Show(window_, text(TXT_DONE), text(TXT_EXIT));
    Q_EMIT taskFinished(kCmdDelete, changed);
}

void CListCommands::finishJoin()
{
    const std::shared_ptr<Pending> p = std::move(pending_);
    const int message = JoinMessageId(p->joinResult);
    if (message == TXT_DONE) {
        // The joined rows are marked in the lists that hold them.
        for (RecordingRecord& r : catalogue_.currentRecords())
            for (const RecordingRecord& c : p->chosen)
                if (r.path == c.path)
                    r.joined = 1;
        WriteValue(ini::kConnectFolder, p->folder);
        CMsgBox::Show(window_, text(TXT_DONE), text(TXT_EXIT));
    } else if (message == TXT_MSG_JOIN_FAILED) {
        CMsgBox::Error(window_, text(TXT_MSG_JOIN_FAILED));
    }
    Q_EMIT taskFinished(kCmdJoin, message == TXT_DONE);
}

void CListCommands::finishCsv()
{
    const std::shared_ptr<Pending> p = std::move(pending_);
    switch (p->csvResult.status) {
    case CsvExportStatus::SourceGone:
        // Ended as a stop, with the whole rows read before. When the card itself is gone the
        // window says so (source vanished); a recording that vanished alone is a row that could
        // not be made.
        if (!p->csvResult.sourceRootGone && !catalogue_.sourceLost())
            CMsgBox::Error(window_, text(TXT_MSG_CSV_CREATE_FAILED));
        break;
    case CsvExportStatus::Written:
        WriteValue(ini::kCsvFolder, p->folder);
        CMsgBox::Show(window_, text(TXT_DONE), text(TXT_EXIT));
        break;
    case CsvExportStatus::NoRecordings:
        CMsgBox::Error(window_, text(TXT_MSG_NO_VIDEO));
        break;
    case CsvExportStatus::CreateFailed:
    case CsvExportStatus::WriteFailed:
    case CsvExportStatus::BadEncoding:
        CMsgBox::Error(window_, text(TXT_MSG_CSV_CREATE_FAILED));
        break;
    case CsvExportStatus::Stopped:
    case CsvExportStatus::Declined:
        break;
    }
    Q_EMIT taskFinished(kCmdCsv, p->csvResult.status == CsvExportStatus::Written);
}

}  // namespace ravir
