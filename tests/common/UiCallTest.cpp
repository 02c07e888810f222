#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <atomic>
#include <thread>

#include "common/UiCall.h"

TEST(UiCall, StepRunsOnTheUiThreadAndTheWorkerWaitsForIt)
{
    QThread* ui = QThread::currentThread();
    std::atomic<int> ran{0};
    std::atomic<bool> onUi{true};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            const int before = ran.load();
            RunOnUiThread([&] {
                if (QThread::currentThread() != ui)
                    onUi = false;
                ++ran;
            });
            if (ran.load() != before + 1)
                onUi = false;  // returned before the step ran
        }
        finished = true;
    });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_EQ(ran.load(), 1000);
    EXPECT_TRUE(onUi.load());
}

TEST(UiCall, OnTheUiThreadTheStepRunsAtOnce)
{
    int n = 0;
    EXPECT_TRUE(RunOnUiThread([&] { ++n; }));
    EXPECT_EQ(n, 1);
}

TEST(UiCall, ACancelledWaitDropsTheStepThatHasNotRun)
{
    std::atomic<bool> cancel{false};
    std::atomic<int> ran{0};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = RunOnUiThread([&] { ++ran; }, &cancel) ? 1 : 0; });
    // The UI thread does not process events: the step stays queued.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cancel = true;
    worker.join();
    EXPECT_EQ(result.load(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.load(), 0);
}
