#include "windows/main/evidence_flow.h"

#include "exports/evidence_export.h"
#include "playback/player.h"
#include "shell/ini_keys.h"
#include "shell/ui_text.h"
#include "windows/kit/msg_dlg.h"
#include "windows/main/evidence_dialog.h"
#include "windows/main/recording_session.h"
#include "windows/main/task_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QWidget>

namespace ravir {

struct EvidenceOutcome {
    QString folder;  // written
    QString reason;  // why not
    bool abandoned = false;
};

namespace {

constexpr int kPollMs = 50;
constexpr int kTerminateGraceMs = 3000;  // SIGTERM first; SIGKILL when it has not ended by then
constexpr double kProposedSeconds = 10.0;
enum TaskResult { kWritten = 0, kFailed = 1, kStopped = 2 };

// The hidden folder the child writes under (`.NAME.partial-XXXXXX` beside the target): after a
// SIGKILL or a crash nobody else removes it.
void RemovePartialFolders(const QString& target)
{
    const QFileInfo out(target);
    const QString prefix = QStringLiteral(".") + out.fileName().left(64) + QStringLiteral(".partial-");
    QDir parent(out.absolutePath());
    const QStringList found =
        parent.entryList({prefix + QStringLiteral("??????")}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : found)
        QDir(parent.filePath(name)).removeRecursively();
}

// The child's last message without the program's prefix ("ravir: ...").
QString ReasonOf(const QStringList& lines)
{
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("ravir: ")))
            line.remove(0, 7);
        return line;
    }
    return {};
}

// Takes the complete lines out of `pending`: progress lines go to the bar, the rest are kept.
void TakeLines(QByteArray& pending, TaskRunner::Context& context, QStringList& messages)
{
    qsizetype end = 0;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        const QList<QByteArray> parts = line.split(' ');
        bool doneOk = false, totalOk = false;
        if (parts.size() == 3 && parts[0] == "progress") {
            const qint64 done = parts[1].toLongLong(&doneOk);
            const qint64 total = parts[2].toLongLong(&totalOk);
            if (doneOk && totalOk && context.progress)
                context.progress(done, total);
            if (doneOk && totalOk)
                continue;
        }
        messages << QString::fromLocal8Bit(line);
    }
}

// Runs the child to its end on the task's worker thread.
int RunChild(const QString& program, const QStringList& args, const QString& target,
             TaskRunner::Context& context, EvidenceOutcome& outcome)
{
    QProcess child;
    child.setProgram(program);
    child.setArguments(args);
    child.setStandardInputFile(QProcess::nullDevice());
    child.start();
    if (!child.waitForStarted(10000)) {
        outcome.reason = QStringLiteral("%1: %2").arg(program, child.errorString());
        return kFailed;
    }
    QByteArray out, pendingErr;
    QStringList messages;
    bool stopAsked = false;
    QElapsedTimer sinceStop;
    for (;;) {
        child.waitForFinished(kPollMs);
        out += child.readAllStandardOutput();
        pendingErr += child.readAllStandardError();
        TakeLines(pendingErr, context, messages);
        if (child.state() == QProcess::NotRunning)
            break;
        if (context.stopRequested()) {
            if (!stopAsked) {
                stopAsked = true;
                sinceStop.start();
                child.terminate();  // the command removes its partial folder and ends
            } else if (sinceStop.elapsed() > kTerminateGraceMs) {
                child.kill();
            }
        }
    }
    out += child.readAllStandardOutput();
    pendingErr += child.readAllStandardError() + '\n';
    TakeLines(pendingErr, context, messages);
    outcome.abandoned = context.abandoned && context.abandoned->load();
    const bool clean = child.exitStatus() == QProcess::NormalExit;
    if (clean && child.exitCode() == 0) {
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        outcome.folder = json.value(QStringLiteral("folder")).toString(target);
        return kWritten;
    }
    if (!clean)
        RemovePartialFolders(target);  // killed or crashed: its partial folder stays otherwise
    if (stopAsked)
        return kStopped;
    outcome.reason = ReasonOf(messages);
    if (outcome.reason.isEmpty())
        outcome.reason = clean ? QStringLiteral("%1 ended with exit code %2").arg(program).arg(child.exitCode())
                               : QStringLiteral("%1 ended unexpectedly").arg(program);
    return kFailed;
}

}  // namespace

QString EvidenceFlow::DefaultDecodeProgram()
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString installed = dir + QStringLiteral("/" RAVIR_DECODE_RELATIVE_DIR "/ravir-decode");
    if (QFileInfo(installed).isExecutable())
        return QDir::cleanPath(installed);
    return dir + QStringLiteral("/ravir-decode");
}

EvidenceFlow::EvidenceFlow(QWidget& window, RecordingSession& session, TaskRunner& tasks)
    : QObject(&window), window_(window), session_(session), tasks_(tasks), program_(DefaultDecodeProgram())
{
    connect(&tasks_, &TaskRunner::finished, this, &EvidenceFlow::onTaskFinished);
}

bool EvidenceFlow::running() const { return outcome_ != nullptr; }

EvidenceDialog* EvidenceFlow::dialog() const { return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr; }

void EvidenceFlow::start()
{
    if (dialog() || running() || tasks_.busy() || !session_.ready())
        return;
    // The frame on screen is the reference: playback holds still while the span is chosen.
    session_.PauseIfPlaying();
    movie_ = session_.currentPath();
    shown_ = std::max(0, session_.shownFrame());
    EvidenceDialog::Setup setup;
    setup.movie = movie_;
    setup.frames = session_.frameCount();
    setup.frameMs = session_.main().GetFrameMs();
    int64_t from = 0, to = 0;
    ProposeEvidenceSpan(shown_, setup.frames, setup.frameMs, kProposedSeconds, from, to);
    setup.from = from;
    setup.to = to;
    const QString stillFolder = ReadValue(ini::kSnapshotFolder);
    setup.parentFolder = !stillFolder.isEmpty() && QFileInfo(stillFolder).isDir() ? stillFolder : QDir::homePath();
    dialog_ = new EvidenceDialog(setup, &window_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &QDialog::accepted, this, &EvidenceFlow::onAccepted);
    dialog_->open();
}

void EvidenceFlow::onAccepted()
{
    if (!dialog_ || tasks_.busy())
        return;
    const QString target = QFileInfo(dialog_->folder()).absoluteFilePath();
    const long long from = dialog_->fromFrame(), to = dialog_->toFrame();
    dialog_ = nullptr;  // it closes and deletes itself
    const QStringList args{QStringLiteral("evidence"), movie_,
                           QStringLiteral("--from"), QString::number(from),
                           QStringLiteral("--to"), QString::number(to),
                           QStringLiteral("--frame"), QString::number(shown_),
                           QStringLiteral("--out"), target, QStringLiteral("--progress")};
    auto outcome = std::make_shared<EvidenceOutcome>();
    const QString program = program_;
    // The outcome is read on the window thread only after the worker has ended (finished()).
    if (tasks_.start(kTaskName, [program, args, target, outcome](TaskRunner::Context& context) {
            return RunChild(program, args, target, context, *outcome);
        }))
        outcome_ = outcome;
}

void EvidenceFlow::onTaskFinished(const QString& name, int result, bool /*stopped*/)
{
    if (name != kTaskName || !outcome_)
        return;
    const std::shared_ptr<EvidenceOutcome> outcome = std::move(outcome_);
    if (outcome->abandoned)
        return;  // the window is closing
    if (result == kWritten) {
        CMsgBox::Show(&window_, text(TXT_MSG_EVIDENCE_DONE).arg(QDir::toNativeSeparators(outcome->folder)),
                      text(TXT_EVIDENCE), CMsgBox::kOk);
        Q_EMIT finished(true, outcome->folder);
    } else if (result == kFailed) {
        CMsgBox::Error(&window_, text(TXT_MSG_EVIDENCE_FAILED).arg(outcome->reason));
        Q_EMIT finished(false, outcome->reason);
    } else {
        Q_EMIT finished(false, QString());
    }
}

}  // namespace ravir
