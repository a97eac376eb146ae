#pragma once
// The recorder's container layout: top-level boxes in the order ftyp, mdat, moov, then a `udat`
// box whose payload is the telemetry block ("QVXDAT" ... "QVXEND" + recorder number). Movies made
// by ffmpeg are rewritten into it: `free`/`wide`/`skip` boxes are dropped and the chunk offsets
// (stco/co64) are moved with the mdat payload.
#include <QByteArray>
#include <QString>

namespace ravir::samples {

// Rewrites the movie `in` into `out` (created or replaced). An empty block writes no udat box.
// Fails with a message on a movie without ftyp, mdat or moov, or with boxes that run past the end.
bool RewriteRecorderLayout(const QString& in, const QString& out, const QByteArray& telemetryBlock,
                           QString* error = nullptr);

// The top-level `udat` box (header + block) that follows moov.
QByteArray UdatBox(const QByteArray& telemetryBlock);

}  // namespace ravir::samples
