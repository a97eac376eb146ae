#pragma once
// EvidenceFlow: the evidence export from the window (key E, the video menu). It pauses playback,
// proposes ten seconds either side of the frame on screen in the span dialog, and on OK runs
// `ravir-decode evidence` as the window's background task: the progress bar follows the child's
// progress lines and the stop button ends it (SIGTERM, after three seconds SIGKILL, and the
// child's hidden partial folder removed), so that a stopped export leaves nothing. The child
// holds its own playback engines for the stills; the window's players are not disturbed. The
// window thread never waits for it: the child is driven from the task's worker thread.
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QWidget;

namespace ravir {

class EvidenceDialog;
struct EvidenceOutcome;
class RecordingSession;
class TaskRunner;

class EvidenceFlow : public QObject {
    Q_OBJECT
public:
    static inline const QString kTaskName = QStringLiteral("evidence");

    EvidenceFlow(QWidget& window, RecordingSession& session, TaskRunner& tasks);

    // Opens the span dialog without waiting for it; its OK starts the export.
    void start();
    EvidenceDialog* dialog() const;  // the open span dialog, or null
    bool running() const;
    // The program that writes the folder: RAVIR_DECODE_RELATIVE_DIR from the program's folder,
    // else beside the program (a build tree). Tests name their own.
    static QString DefaultDecodeProgram();
    void setDecodeProgram(const QString& program) { program_ = program; }

Q_SIGNALS:
    // After the message: the folder written, or the reason it was not (empty after a stop).
    void finished(bool ok, const QString& folderOrReason);

private:
    void onAccepted();
    void onTaskFinished(const QString& name, int result, bool stopped);

    QWidget& window_;
    RecordingSession& session_;
    TaskRunner& tasks_;
    QString program_;
    QPointer<EvidenceDialog> dialog_;
    QString movie_;       // the recording the dialog was opened for
    long long shown_ = 0;  // its frame on screen then
    std::shared_ptr<EvidenceOutcome> outcome_;
};

}  // namespace ravir
