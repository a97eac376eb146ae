#pragma once
// CListCommands: the three commands of the main window that work on the recordings of the
// source, each with its dialogs and messages on the window thread and its work as the
// background task:
//   38010 delete      - the tick list in delete mode, then the card-aware delete of the chosen
//                       recordings (last to first, stopping at the first failure); the lists
//                       lose the deleted records and the source is opened again;
//   38007 joined save - the tick list in join mode, the output folder (FOLDERPATH/CONNECT_FOLDER),
//                       the same-name question, then the join; the joined rows are marked;
//   38012 CSV export  - the output folder (FOLDERPATH/CSV_FOLDER), the same-name question, then
//                       the list of every recording of the source in the character set of
//                       FOLDERPATH/CSV_ENCODING.
// Progress goes to the progress bar; the stop button (stop()) ends a task at its next check.
// Every message is shown with CMsgBox.
#include "catalogue/recording_record.h"
#include "windows/kit/skin_progress.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace ravir {

class Catalogue;
class CFileSelectDlg;
class TaskRunner;
struct IniKey;

class CListCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kCmdJoin = 38007;
    static constexpr int kCmdDelete = 38010;
    static constexpr int kCmdCsv = 38012;

    // The folder chooser: the configuration key it remembers and the title text id; returns
    // the folder or empty (cancelled).
    using FolderChooser = std::function<QString(const IniKey& key, int titleId)>;
    // Runs the selection dialog; true when it was confirmed (its result holds the records).
    using SelectionRunner = std::function<bool(CFileSelectDlg& dialog)>;

    CListCommands(Catalogue& catalogue, TaskRunner& runner, QWidget* window,
                  QObject* parent = nullptr);
    ~CListCommands() override;

    void setProgressBar(CSkinProgressBarCtrl* bar) { progress_ = bar; }
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    void setSelectionRunner(SelectionRunner runner) { selection_ = std::move(runner); }
    // Called on the window thread just before a task starts, with its command id: the main
    // window stops playback and closes the open recording so that no file of it is held.
    void setBeforeTask(std::function<void(int command)> hook) { beforeTask_ = std::move(hook); }

    // Each runs its dialogs and starts its task; false when it ended before a task started
    // (cancelled, refused, nothing to do, or another task running).
    bool runCommand(int command);
    bool runDelete();
    bool runJoin();
    bool runCsv();
    void stop();
    // Stops the running task so that it leaves nothing: no joined movie and no CSV file under
    // their names (the window closes).
    void abandon();
    bool busy() const;
    // The command whose task runs (kCmdDelete, kCmdJoin, kCmdCsv), or 0.
    int runningCommand() const;

Q_SIGNALS:
    void taskStarted(int command);
    // The task ended (its messages shown); changed when files of the source were changed.
    void taskFinished(int command, bool changed);
    // The delete opened the source again: the browser shows the catalogue anew.
    void sourceReopened();

private:
    struct Pending;
    bool startTask(std::shared_ptr<Pending> pending);
    void onProgress(qint64 done, qint64 total);
    void onFinished(const QString& name, int result, bool stopped);
    void finishDelete();
    void finishJoin();
    void finishCsv();

    Catalogue& catalogue_;
    TaskRunner& runner_;
    QPointer<QWidget> window_;
    QPointer<CSkinProgressBarCtrl> progress_;
    FolderChooser chooser_;
    SelectionRunner selection_;
    std::function<void(int)> beforeTask_;
    std::shared_ptr<Pending> pending_;
};

}  // namespace ravir
