#pragma once
// CMovieMenu: the context menu of the main video surface. Its items follow the main camera's
// play state; its commands go to the main window.
#include "windows/main/command.h"

#include <QKeySequence>
#include <QMenu>

#include <optional>
#include <vector>

namespace ravir {

struct MovieMenuItem {
    std::optional<Command> command;  // none for a separator
    int textId = -1;                 // UI text; -1 for a separator
    bool enabled = true;
    bool separator() const { return !command; }
};

// The items for a play state (PlayStateCode of the player; a slot that is not open counts as
// closed), the rate code, full screen and the aspect mode (true keeps the aspect ratio). With a
// movie open and outside full screen, the report of the current frame follows the still image.
std::vector<MovieMenuItem> MovieMenuItems(int playState, int rateCode, bool fullScreen,
                                          bool aspectKeep);

// The key of a command from the window's key table, shown beside its item (none for the others).
QKeySequence MovieMenuShortcut(Command command);

class CMovieMenu : public QMenu {
    Q_OBJECT
public:
    CMovieMenu(const std::vector<MovieMenuItem>& items, QWidget* parent = nullptr);

Q_SIGNALS:
    void command(Command command);
};

}  // namespace ravir
