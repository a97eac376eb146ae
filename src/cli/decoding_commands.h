#pragma once
// The commands that decode pictures, `still` and `report`, drive the playback engine (libmpv,
// FFmpeg's libraries, Qt Gui), whose libraries take far longer to load than any other command
// takes to run. They live in a second program, `ravir-decode`, installed beside `ravir`: `ravir`
// starts without those libraries, lists these commands with the others and, when one of them is
// asked for, becomes `ravir-decode` with the same arguments (decode_handoff.cpp). Their names and
// help texts are here, so that both programs describe them alike.
#include "cli/command.h"

namespace ravir::cli {

// The names of the decoding commands.
QStringList DecodingCommandNames();

// The decoding command NAME (one of DecodingCommandNames()) with its help texts, run by `run`.
Command DecodingCommand(const QString& name, std::function<int(const QStringList&)> run);

}  // namespace ravir::cli
