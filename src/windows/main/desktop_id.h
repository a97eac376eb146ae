#pragma once
// The viewer's desktop id: the name of its installed desktop file (without ".desktop") and of
// its AppStream metainfo file. The Wayland application id and the MPRIS DesktopEntry carry it
// so that the desktop finds the entry, its name and its icon for the window. The build reads
// the id from this line to name the installed files.
namespace ravir {
inline constexpr char kDesktopId[] = "io.github.ravir.Viewer";
}  // namespace ravir
