#include "Diagnostics.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(DiagnosticsTest, CaptureKeepsWholeLinesFromSeveralThreads)
{
    CDiagnosticsCapture capture;
    auto writer = [](int id) {
        for (int i = 0; i < 200; ++i)
            DebugOutputF("thread %d line %d\n", id, i);
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    EXPECT_EQ(capture.Lines().size(), 400u);
    EXPECT_TRUE(capture.Contains("thread 2 line 199\n"));
    EXPECT_EQ(capture.Count("thread 1 line 0\n"), 1u);
}

TEST(DiagnosticsTest, NestedCapturesRestoreTheirPredecessor)
{
    CDiagnosticsCapture outer;
    {
        CDiagnosticsCapture inner;
        DebugOutput("inner\n");
        EXPECT_TRUE(inner.Contains("inner\n"));
    }
    DebugOutput("outer\n");
    EXPECT_TRUE(outer.Contains("outer\n"));
    EXPECT_FALSE(outer.Contains("inner\n"));
}

} // namespace
