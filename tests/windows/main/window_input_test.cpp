// The main window's keys and the mouse on its video surface: a key of the window is taken from
// whichever child has the focus (text fields keep theirs, other windows too), a left click is
// reported only once the double-click time has passed, a double click asks for full screen.
#include "windows/main/window_input.h"

#include "gui_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace ravir;

namespace {

QApplication* app() { return test::guiApp(); }

std::string CommandLog(Command command) { return "command " + std::to_string(static_cast<int>(command)); }

// A window with a video pane, a picture drawn over part of it, a button and a text field; a
// second window with a button of its own. Every signal of the input goes into `log`.
struct Fixture {
    Fixture()
    {
        window.resize(400, 300);
        video = new QWidget(&window);
        video->setGeometry(50, 40, 200, 150);
        picture = new QWidget(video);
        picture->setGeometry(20, 10, 100, 100);
        button = new QPushButton(QStringLiteral("b"), &window);
        button->setGeometry(300, 10, 60, 30);
        edit = new QLineEdit(&window);
        edit->setGeometry(300, 60, 80, 30);
        otherButton = new QPushButton(QStringLiteral("o"), &other);
        input = std::make_unique<WindowInput>(window, *video);
        input->watchSurface(picture);
        QObject::connect(input.get(), &WindowInput::closeRequested, [this] { log.push_back("close"); });
        QObject::connect(input.get(), &WindowInput::commandKey,
                         [this](Command command) { log.push_back(CommandLog(command)); });
        QObject::connect(input.get(), &WindowInput::fullScreenToggled,
                         [this] { log.push_back("full screen"); });
        QObject::connect(input.get(), &WindowInput::framesStepped,
                         [this](int d) { log.push_back("step " + std::to_string(d)); });
        QObject::connect(input.get(), &WindowInput::escapePressed, [this] { log.push_back("escape"); });
        QObject::connect(input.get(), &WindowInput::videoClicked, [this](QPoint p) {
            log.push_back("click " + std::to_string(p.x()) + "," + std::to_string(p.y()));
        });
        QObject::connect(input.get(), &WindowInput::menuRequested, [this](QPoint) { log.push_back("menu"); });
    }
    void key(QWidget* target, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QString text = k == Qt::Key_Space ? QStringLiteral(" ") : QString();
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QApplication::sendEvent(target, &press);
    }
    void mouse(QWidget* target, QEvent::Type type, Qt::MouseButton b, QPoint local)
    {
        QMouseEvent e(type, QPointF(local), QPointF(target->mapToGlobal(local)), b, b, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    void wait(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    QApplication* application = app();  // before the widgets
    QWidget window;
    QWidget other;
    QWidget* video = nullptr;
    QWidget* picture = nullptr;
    QPushButton* button = nullptr;
    QLineEdit* edit = nullptr;
    QPushButton* otherButton = nullptr;
    std::unique_ptr<WindowInput> input;
    std::vector<std::string> log;
};

}  // namespace

TEST(WindowInput, KeysOfTheWindowAreTakenFromTheFocusedChildOnly)
{
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers mods;
        bool onOtherWindow;
        std::vector<std::string> expected;
        bool buttonGetsIt;  // the button saw the key (Space presses it)
    };
    const Case cases[] = {
        {"space plays", Qt::Key_Space, Qt::NoModifier, false, {CommandLog(Command::kPlay)}, false},
        {"left steps back", Qt::Key_Left, Qt::NoModifier, false, {"step -1"}, false},
        {"right steps on", Qt::Key_Right, Qt::NoModifier, false, {"step 1"}, false},
        {"F full screen", Qt::Key_F, Qt::NoModifier, false, {"full screen"}, false},
        {"escape", Qt::Key_Escape, Qt::NoModifier, false, {"escape"}, false},
        {"ctrl+O browses", Qt::Key_O, Qt::ControlModifier, false, {CommandLog(Command::kBrowse)}, false},
        {"O alone is no key of the window", Qt::Key_O, Qt::NoModifier, false, {}, false},
        {"another window keeps its keys", Qt::Key_Space, Qt::NoModifier, true, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        bool pressed = false;
        QPushButton* target = c.onOtherWindow ? f.otherButton : f.button;
        QObject::connect(target, &QPushButton::pressed, [&] { pressed = true; });
        f.key(target, c.key, c.mods);
        EXPECT_EQ(f.log, c.expected);
        EXPECT_EQ(pressed, c.buttonGetsIt);
    }
    // The platform's close and quit keys (where it has them) close the window.
    for (const QKeySequence::StandardKey standard : {QKeySequence::Close, QKeySequence::Quit}) {
        const QList<QKeySequence> bindings = QKeySequence::keyBindings(standard);
        if (bindings.isEmpty())
            continue;
        Fixture f;
        const QKeyCombination combination = bindings.front()[0];
        f.key(f.button, combination.key(), combination.keyboardModifiers());
        EXPECT_EQ(f.log, std::vector<std::string>{"close"}) << bindings.front().toString().toStdString();
    }
    // A text field keeps Space and the letters: typed, not played.
    Fixture f;
    f.key(f.edit, Qt::Key_Space);
    EXPECT_TRUE(f.log.empty());
    EXPECT_EQ(f.edit->text(), QStringLiteral(" "));
    // The window's own key press (the window has the focus) goes the same way.
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    EXPECT_TRUE(f.input->takeKey(&home));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_FALSE(f.input->takeKey(&a));
    EXPECT_EQ(f.log, std::vector<std::string>{CommandLog(Command::kStop)});
}

TEST(WindowInput, ClickWaitsForTheDoubleClickTimeAndIsGivenInVideoCoordinates)
{
    app();  // the double-click time comes from the platform
    const int interval = QApplication::doubleClickInterval();
    {
        // A click on the picture over the video: reported late, at the video's coordinates.
        Fixture f;
        f.mouse(f.picture, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 7));
        EXPECT_TRUE(f.log.empty());
        f.wait(interval + 150);
        EXPECT_EQ(f.log, std::vector<std::string>{"click 25,17"});
    }
    {
        // A double click is full screen, and its first press is no click.
        Fixture f;
        f.mouse(f.video, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(30, 30));
        f.mouse(f.video, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(30, 30));
        f.wait(interval + 150);
        EXPECT_EQ(f.log, std::vector<std::string>{"full screen"});
    }
    {
        // The right button asks for the menu and drops a click still waiting; stop() drops one.
        Fixture f;
        f.mouse(f.video, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(30, 30));
        f.mouse(f.video, QEvent::MouseButtonPress, Qt::RightButton, QPoint(30, 30));
        f.mouse(f.video, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(40, 40));
        f.input->stop();
        // A press on a widget that is no part of the surface is not the input's.
        f.mouse(f.button, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(3, 3));
        f.wait(interval + 150);
        EXPECT_EQ(f.log, std::vector<std::string>{"menu"});
    }
}
