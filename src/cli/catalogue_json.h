#pragma once
// Shared by `ravir scan` and `ravir list`: the source argument and the JSON form of records.
#include "catalogue/catalogue.h"

#include <QJsonArray>
#include <QJsonObject>
#include <optional>

namespace ravir::cli {

QJsonObject recordJson(const RecordingRecord& record);
QJsonArray recordsJson(const RecordList& records);

// The documented fields of one record, for the commands' help texts.
extern const char kRecordFieldsHelp[];

// The entries the catalogue left out: the JSON array `skipped` (path, reason, message) and one
// line per entry on stderr ("ravir COMMAND: skipped PATH: MESSAGE").
QJsonArray skippedJson(const std::vector<SkippedEntry>& skipped);
void reportSkipped(const QString& command, const std::vector<SkippedEntry>& skipped);
extern const char kSkippedFieldsHelp[];
// A path's bytes as text: UTF-8 where they are UTF-8, any other byte as \xHH.
QString DisplayPath(const QByteArray& bytes);

// Opens SOURCE as the viewer does: an absolute, cleaned path; mode from --mode or by default
// file for a file, drive for a folder holding a layout folder, folder otherwise. Returns the
// exit code on failure (after printing the error).
struct SourceArgs {
    QString path;
    SourceMode mode = SourceMode::None;
};
std::optional<SourceArgs> sourceArgs(const QString& command, const QString& source,
                                     const QString& modeText, int* exitCode);
QString modeName(SourceMode mode);

}  // namespace ravir::cli
