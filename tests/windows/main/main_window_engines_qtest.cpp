// The main window's playback engines are made on workers while the window is built: an open
// asked for before they are there is kept and carried out when they come, a window closed while
// they are made goes without waiting for them, and an engine that cannot start leaves its slot
// off. The engines are held back by a gate the test opens, so that nothing depends on how fast
// libmpv starts.
#include "window_card_test.h"
#include "playback/mpv_handle.h"
#include "playback/player.h"
#include "sample_data.h"
#include "windows/catalogue/file_list_ctrl.h"
#include "windows/catalogue/filer_container_dlg.h"
#include "windows/main/dedorade_dlg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

using namespace ravir;
using test::guiApp;
using test::waitUntil;

namespace {

// Holds the engine makers until open() (at most 60 s, so that a failing test cannot hang);
// the slot named by failSlot gets no engine.
struct EngineGate {
    std::mutex mutex;
    std::condition_variable opened;
    bool isOpen = false;
    int failSlot = -1;
    std::atomic<int> made{0};

    void open()
    {
        std::lock_guard lock(mutex);
        isOpen = true;
        opened.notify_all();
    }
    static EngineMaker maker(const std::shared_ptr<EngineGate>& gate)
    {
        return [gate](int slot, const MpvOptions& options) {
            {
                std::unique_lock lock(gate->mutex);
                gate->opened.wait_for(lock, std::chrono::seconds(60), [&] { return gate->isOpen; });
            }
            MpvEngine engine = slot == gate->failSlot ? MpvEngine() : MpvHandle::start(options);
            ++gate->made;
            return engine;
        };
    }
};

class MainWindowEngines : public test::WindowCardTest {
protected:
    void TearDown() override
    {
        // Every engine made for a test has ended before the next one starts.
        EngineStart::pool().waitForDone();
        WindowCardTest::TearDown();
    }

    std::unique_ptr<CdedoradeDlg> startWindow(const std::shared_ptr<EngineGate>& gate)
    {
        CdedoradeDlg::Options o;
        o.source = card_;
        o.engineMaker = EngineGate::maker(gate);
        auto w = std::make_unique<CdedoradeDlg>(o);
        bool started = false;
        QObject::connect(w.get(), &CdedoradeDlg::deferredStartDone, [&] { started = true; });
        w->show();
        EXPECT_TRUE(waitUntil([&] { return started; }, 5000));
        return w;
    }

};

}  // namespace

TEST_F(MainWindowEngines, AnOpenAskedBeforeTheEnginesCameIsCarriedOutWhenTheyCome)
{
    auto gate = std::make_shared<EngineGate>();
    auto w = startWindow(gate);
    RecordingSession& session = *w->session();
    EXPECT_TRUE(session.enginesStarting());
    EXPECT_FALSE(session.slotReady(0));
    ASSERT_GE(w->browser()->rowCount(), 2);  // the card was listed without the engines

    // The first row's open (after the open delay) is kept: the window waits in its open state.
    ASSERT_TRUE(waitUntil([&] { return !session.currentPath().isEmpty(); }, 5000));
    EXPECT_TRUE(session.opening());
    EXPECT_FALSE(session.ready());

    // Meanwhile the movie's own boxes decide: a file that is no movie fails at once ...
    QTemporaryDir junk;
    ASSERT_TRUE(junk.isValid());
    RecordingRecord notAMovie;
    notAMovie.path = junk.filePath("NO__-250101-000000-000001M.MOV");
    {
        QFile f(notAMovie.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    EXPECT_EQ(w->OpenRecording(notAMovie), 0);
    EXPECT_TRUE(session.currentPath().isEmpty());
    // ... and the latest open asked for is the one carried out.
    const RecordingRecord second = *w->browser()->listCtrl()->recordAt(1);
    ASSERT_EQ(w->OpenRecording(second), 1);
    EXPECT_EQ(session.currentPath(), second.path);
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(session.ready());
    EXPECT_TRUE(session.enginesStarting());

    int readies = 0;
    QObject::connect(w.get(), &CdedoradeDlg::movieReady, [&] { ++readies; });
    gate->open();
    ASSERT_TRUE(waitUntil([&] { return readies > 0; }, 15000));
    EXPECT_FALSE(session.enginesStarting());
    EXPECT_TRUE(session.slotReady(0));
    EXPECT_TRUE(session.slotReady(1));
    EXPECT_TRUE(session.ready());
    EXPECT_EQ(session.currentPath(), second.path);
    EXPECT_EQ(session.main().state().moviePath, second.path);
    EXPECT_TRUE(session.main().IsReady());
    // The sub camera's paired movie opens beside it.
    EXPECT_TRUE(waitUntil([&] { return session.subReady(); }, 10000));
    w->Shutdown();
}

TEST_F(MainWindowEngines, AWindowClosedWhileTheEnginesAreMadeGoesWithoutThem)
{
    // Closed before the engines are made, and after they are made but before the window took
    // them (their hand-over still queued).
    for (const bool madeBeforeClose : {false, true}) {
        SCOPED_TRACE(madeBeforeClose);
        auto gate = std::make_shared<EngineGate>();
        auto w = startWindow(gate);
        ASSERT_TRUE(w->session()->enginesStarting());
        if (madeBeforeClose) {
            gate->open();
            // No event is handled meanwhile: the hand-over stays queued.
            for (int i = 0; i < 3000 && gate->made.load() < 2; ++i)
                QThread::msleep(10);
            ASSERT_EQ(gate->made.load(), 2);
        }
        w->close();
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->session()->slotReady(0));
        EXPECT_FALSE(w->session()->enginesStarting());
        w.reset();
        gate->open();
        EngineStart::pool().waitForDone();
        EXPECT_EQ(gate->made.load(), 2);
        // Nothing queued for the window that went is carried out.
        waitUntil([] { return false; }, 100);
    }
}

TEST_F(MainWindowEngines, AnEngineThatCannotStartLeavesItsSlotOff)
{
    struct Case {
        int failSlot;
        bool mainStarted;
        bool subStarted;
    };
    for (const Case& c : {Case{1, true, false}, Case{0, false, true}}) {
        SCOPED_TRACE(c.failSlot);
        auto gate = std::make_shared<EngineGate>();
        gate->failSlot = c.failSlot;
        auto w = startWindow(gate);
        RecordingSession& session = *w->session();
        ASSERT_GT(w->browser()->rowCount(), 0);
        const RecordingRecord first = *w->browser()->listCtrl()->recordAt(0);
        bool reported = false;
        bool mainStarted = false;
        QObject::connect(&session, &RecordingSession::enginesReady, [&](bool started) {
            reported = true;
            mainStarted = started;
        });
        gate->open();
        ASSERT_TRUE(waitUntil([&] { return reported; }, 10000));
        EXPECT_EQ(mainStarted, c.mainStarted);
        EXPECT_EQ(session.slotReady(0), c.mainStarted);
        EXPECT_EQ(session.slotReady(1), c.subStarted);
        if (c.mainStarted) {
            // The main camera plays on its own.
            ASSERT_TRUE(waitUntil([&] { return session.ready(); }, 15000));
            EXPECT_FALSE(session.subReady());
        } else {
            // Without the main camera's engine nothing is listed and nothing opens.
            EXPECT_EQ(w->browser()->rowCount(), 0);
            EXPECT_EQ(w->OpenRecording(first), 0);
            waitUntil([] { return false; }, 700);  // past the open delay
            EXPECT_FALSE(session.opening());
            EXPECT_FALSE(session.ready());
            EXPECT_TRUE(session.currentPath().isEmpty());
        }
        w->Shutdown();
    }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
