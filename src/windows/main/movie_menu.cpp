#include "windows/main/movie_menu.h"

#include "windows/main/key_table.h"
#include "playback/player.h"
#include "windows/kit/app_scale.h"
#include "shell/ui_text.h"

namespace ravir {

std::vector<MovieMenuItem> MovieMenuItems(int playState, int rateCode, bool fullScreen,
                                          bool aspectKeep)
{
    std::vector<MovieMenuItem> items;
    const MovieMenuItem separator{};
    if (playState != kStopped && playState != kPaused && playState != kPlaying) {
        items = {{Command::kSettings, TXT_SETTINGS_2, true}, separator,
                 {Command::kBrowse, TXT_BROWSE_2, true}};
        return items;
    }
    if (playState == kPlaying) {
        items.push_back({Command::kPlay, TXT_PAUSE_2, true});
        items.push_back({Command::kStop, TXT_STOP, true});
        items.push_back({Command::kFastForward, TXT_FAST_FORWARD_2, rateCode < 2});
        items.push_back({Command::kSlow, TXT_SLOW_2, rateCode >= 0});
    } else {
        items.push_back({Command::kPlay, TXT_PLAY_2, true});
        if (playState == kPaused)
            items.push_back({Command::kStop, TXT_STOP, true});
    }
    if (fullScreen) {
        items.push_back({Command::kSwitchDisplay, TXT_SWITCH_DISPLAY, true});
        items.push_back({Command::kAspect, aspectKeep ? TXT_FULLSCREEN_STRETCH
                                                  : TXT_FULLSCREEN_KEEP_ASPECT, true});
    } else {
        items.push_back(separator);
        items.push_back({Command::kStillImage, TXT_STILL_IMAGE_2, true});
        items.push_back({Command::kReport, TXT_REPORT, true});
        items.push_back({Command::kEvidence, TXT_EVIDENCE, true});
        items.push_back({Command::kSwitchDisplay, TXT_SWITCH_DISPLAY, true});
        items.push_back({Command::kSettings, TXT_SETTINGS_2, true});
        items.push_back(separator);
        items.push_back({Command::kBrowse, TXT_BROWSE_2, true});
    }
    return items;
}

QKeySequence MovieMenuShortcut(Command command) { return KeyForCommand(command); }

CMovieMenu::CMovieMenu(const std::vector<MovieMenuItem>& items, QWidget* parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("CMovieMenu"));
    setFont(SharedFont(kFont10));
    // Items 220 x 20 scaled units; selected items on blue with white text, disabled text grey,
    // a selected disabled item on pale blue.
    setStyleSheet(QStringLiteral(
                      "QMenu::item { min-width: %1px; min-height: %2px; padding: 0 %3px; }"
                      "QMenu::item:selected { background: #0000FF; color: #FFFFFF; }"
                      "QMenu::item:disabled { color: #7F7F7F; }"
                      "QMenu::item:disabled:selected { background: #C3C3FF; }")
                      .arg(Scaled(220) - 2 * Scaled(8))
                      .arg(Scaled(20))
                      .arg(Scaled(8)));
    for (const MovieMenuItem& item : items) {
        if (item.separator()) {
            addSeparator();
            continue;
        }
        const Command chosen = *item.command;
        QAction* action = addAction(text(item.textId));
        action->setEnabled(item.enabled);
        action->setData(QVariant::fromValue(chosen));
        // Shown beside the text only: the window's own key handling runs the command, so the
        // menu must not take the key while it is open.
        action->setShortcut(MovieMenuShortcut(chosen));
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, [this, chosen] { Q_EMIT command(chosen); });
    }
}

}  // namespace ravir
