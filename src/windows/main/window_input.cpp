#include "windows/main/window_input.h"

#include "windows/main/key_table.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>

namespace ravir {

WindowInput::WindowInput(QWidget& window, QWidget& video)
    : QObject(&window), window_(window), video_(video)
{
    clickTimer_.setSingleShot(true);
    connect(&clickTimer_, &QTimer::timeout, this, [this] { Q_EMIT videoClicked(clickPoint_); });
    watchSurface(&video);
    qApp->installEventFilter(this);  // the window's keys, whichever child has the focus
}

WindowInput::~WindowInput() { qApp->removeEventFilter(this); }

void WindowInput::watchSurface(QWidget* surface)
{
    surfaces_.push_back(surface);
    surface->installEventFilter(this);
}

void WindowInput::stop() { clickTimer_.stop(); }

bool WindowInput::takeKey(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Close) || event->matches(QKeySequence::Quit)) {
        Q_EMIT closeRequested();
        return true;
    }
    const std::optional<KeyEffect> effect = EffectOfKey(event->key(), event->modifiers());
    if (!effect)
        return false;
    if (const Command* command = std::get_if<Command>(&*effect)) {
        Q_EMIT commandKey(*command);
        return true;
    }
    switch (std::get<KeyAction>(*effect)) {
    case KeyAction::kFullScreen:
        Q_EMIT fullScreenToggled();
        break;
    case KeyAction::kFrameBack:
        Q_EMIT framesStepped(-1);
        break;
    case KeyAction::kFrameForward:
        Q_EMIT framesStepped(1);
        break;
    case KeyAction::kEscape:
        Q_EMIT escapePressed();
        break;
    }
    return true;
}

bool WindowInput::eventFilter(QObject* watched, QEvent* event)
{
    // The folder tree, the file list and the buttons would otherwise take Space, the arrows,
    // the page keys and the letters for themselves. Text fields keep their keys.
    if (event->type() == QEvent::KeyPress && watched != &window_ && watched->isWidgetType()) {
        auto* target = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (target->window() == &window_ && !target->testAttribute(Qt::WA_InputMethodEnabled) &&
            (EffectOfKey(key->key(), key->modifiers()) ||
             key->matches(QKeySequence::Close) || key->matches(QKeySequence::Quit))) {
            takeKey(key);
            return true;
        }
    }
    if (std::find(surfaces_.begin(), surfaces_.end(), watched) == surfaces_.end())
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            // Reported as a single click once the double-click time has passed.
            clickPoint_ = video_.mapFromGlobal(e->globalPosition().toPoint());
            clickTimer_.start(QApplication::doubleClickInterval());
            return true;
        }
        if (e->button() == Qt::RightButton) {
            clickTimer_.stop();
            Q_EMIT menuRequested(e->globalPosition().toPoint());
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonDblClick &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        clickTimer_.stop();
        Q_EMIT fullScreenToggled();
        return true;
    }
    return false;
}

}  // namespace ravir
