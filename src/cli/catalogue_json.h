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
