#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Foundation/DebugLog.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Published.h"
#include "PlatformKit/Foundation/Text.h"

TEST(ByteReader, RefusesReadsPastTheEnd) {
    const uint8_t data[] = {1, 0, 0, 0, 0xff};
    pk::ByteReader r(data, sizeof data);
    EXPECT_EQ(*r.u32(), 1u);
    EXPECT_FALSE(r.u32().has_value());  // only one byte left
    EXPECT_EQ(r.position(), 4u);        // a failed read does not move
    EXPECT_EQ(*r.u8(), 0xff);
    EXPECT_FALSE(r.u8().has_value());
    EXPECT_FALSE(r.skip(1));
    EXPECT_FALSE(r.seek(6));
    EXPECT_FALSE(r.bytes(UINT64_MAX).has_value());  // no wrap-around
}

TEST(ByteWriter, WritesLittleEndian) {
    pk::ByteWriter w;
    w.u32(0x4B41574Du);
    w.f32(1.0f);
    w.u16(0x0102);
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{0x4D, 0x57, 0x41, 0x4B, 0, 0, 0x80, 0x3F, 0x02, 0x01}));
}

TEST(Numbers, RoundingSaturationAndText) {
    EXPECT_EQ(pk::roundHalfAway(2.5), 3.0);
    EXPECT_EQ(pk::roundHalfAway(-2.5), -3.0);
    EXPECT_DOUBLE_EQ(pk::roundTo(1.23456, 2), 1.23);
    EXPECT_EQ(pk::saturatingInt64(std::nan("")), 0);
    EXPECT_EQ(pk::saturatingInt64(1e300), INT64_MAX);
    EXPECT_EQ(pk::saturatingInt64(-1e300), INT64_MIN);
    EXPECT_EQ(pk::truncToInt64(-2.9), -2);
    EXPECT_EQ(pk::groupDigits(0), "0");
    EXPECT_EQ(pk::groupDigits(999), "999");
    EXPECT_EQ(pk::groupDigits(1234567), "1,234,567");
    EXPECT_EQ(pk::groupDigits(-1000), "-1,000");
    EXPECT_EQ(pk::groupDigits(INT64_MIN), "-9,223,372,036,854,775,808");
    EXPECT_EQ(pk::shortestText(0.22f), "0.22");
    EXPECT_EQ(pk::formatFinite("%.2f", -INFINITY), "-inf");
    EXPECT_EQ(pk::formatFinite("%.2f", -std::nan("")), "nan");
}

TEST(Numbers, FormattingIgnoresTheProcessLocale) {
    if (!setlocale(LC_NUMERIC, "de_DE.UTF-8") && !setlocale(LC_NUMERIC, "fr_FR.UTF-8")) GTEST_SKIP() << "no comma locale";
    EXPECT_EQ(pk::formatC("%.3f", 1.5), "1.500");
    setlocale(LC_NUMERIC, "C");
}

TEST(Text, Utf8RepairAndGraphemes) {
    EXPECT_EQ(pk::repairUtf8("a\xE2\x82z"), "a\xEF\xBF\xBDz");          // one truncated sequence, one U+FFFD
    EXPECT_EQ(pk::repairUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // two maximal subparts
    EXPECT_TRUE(pk::isValidUtf8("h\xC3\xA9"));
    EXPECT_EQ(pk::graphemeCount("e\xCC\x81x"), 2u);                  // e + combining acute is one
    EXPECT_EQ(pk::prefixGraphemes("e\xCC\x81xyz", 2), "e\xCC\x81x");
    EXPECT_TRUE(pk::canonicallyEqual("\xC3\xA9", "e\xCC\x81"));
    EXPECT_EQ(pk::toUpper("stra\xC3\x9F" "e"), "STRASSE");
    // Searches compare composed, case-folded forms.
    EXPECT_EQ(pk::searchFolded("CAFE\xCC\x81"), "caf\xC3\xA9");
    EXPECT_EQ(pk::searchFolded("Caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(pk::searchFolded("Stra\xC3\x9F" "e"), "strasse");
    EXPECT_EQ(pk::trimWhitespace("  a b \n"), "a b");
}

TEST(MainQueue, RunsInOrderAcrossThreadsAndDefersWorkPostedWhileDraining) {
    pk::MainQueue q;
    std::vector<int> seen;
    std::mutex m;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) q.post([&, t, i] { seen.push_back(t * 1000 + i); });
        });
    for (auto& th : threads) th.join();
    q.drain();
    ASSERT_EQ(seen.size(), 400u);
    // Each thread's own posts keep their order.
    for (int t = 0; t < 4; ++t) {
        int last = -1;
        for (int v : seen)
            if (v / 1000 == t) {
                EXPECT_GT(v % 1000, last);
                last = v % 1000;
            }
    }
    int ran = 0;
    q.post([&] { q.post([&] { ++ran; }); });
    q.drain();
    EXPECT_EQ(ran, 0);
    q.drain();
    EXPECT_EQ(ran, 1);
}

TEST(MainQueue, DelayedWorkAndTimersFollowTheClock) {
    auto clock = std::make_shared<pk::ManualClock>();
    pk::MainQueue q(clock);
    int later = 0, ticks = 0;
    q.postAfter(0.5, [&] { ++later; });
    auto timer = q.scheduleRepeating(0.25, [&] { ++ticks; });
    q.drain();
    EXPECT_EQ(later, 0);
    clock->advance(0.25);
    q.drain();
    EXPECT_EQ(ticks, 1);
    clock->advance(0.25);
    q.drain();
    EXPECT_EQ(later, 1);
    EXPECT_EQ(ticks, 2);
    timer->cancel();
    clock->advance(1.0);
    q.drain();
    EXPECT_EQ(ticks, 2);
    // Releasing the handle stops a timer too.
    auto t2 = q.scheduleRepeating(0.1, [&] { ++ticks; });
    t2.reset();
    clock->advance(1.0);
    q.drain();
    EXPECT_EQ(ticks, 2);
}

TEST(Published, AnnouncesBeforeEveryWriteEvenEqualOnes) {
    pk::Published<int> p(3);
    std::vector<std::pair<int, int>> events;  // (old, new)
    p.observe([&](const int& nv) { events.emplace_back(p.get(), nv); });
    p = 3;
    p = 4;
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], std::make_pair(3, 3));
    EXPECT_EQ(events[1], std::make_pair(3, 4));
    EXPECT_EQ(p.get(), 4);
}

// An observer that removes itself still runs to its end (its capture is held on the heap,
// so a destroyed one is read after free under the address sanitizer); one added while
// the list is called is called from then on.
TEST(ObserverList, ObserversMayRemoveThemselvesAndAddOthersWhileCalled) {
    pk::ObserverList<int> list;
    std::vector<std::pair<char, int>> calls;
    int self = 0;
    self = list.observe([&, tag = std::string(64, 'a')](int v) {
        list.removeObserver(self);
        calls.emplace_back(tag.back(), v);
    });
    bool added = false;
    list.observe([&](int v) {
        calls.emplace_back('b', v);
        if (!std::exchange(added, true))
            for (int i = 0; i < 16; ++i)  // enough to move the list's storage
                list.observe([&, i](int w) {
                    if (i == 15) calls.emplace_back('c', w);
                });
    });
    list.send(1);
    list.send(2);
    EXPECT_EQ(calls, (std::vector<std::pair<char, int>>{{'a', 1}, {'b', 1}, {'c', 1}, {'b', 2}, {'c', 2}}));
}

TEST(JobGuard, EveryExceptionBecomesTheJobsFailureOnItsOwnThread) {
    struct Case {
        const char* name;
        std::exception_ptr thrown;  // none: the body returns
        std::string description;
        std::string domain;
        int code;
    };
    const Case cases[] = {
        {"returns", nullptr, "", "", 0},
        {"StudioError", std::make_exception_ptr(pk::StudioError("FFmpeg", -12, "Writing failed")), "Writing failed",
         "FFmpeg", -12},
        {"runtime_error", std::make_exception_ptr(std::runtime_error("sink closed")), "sink closed", "Job", 202},
        {"bad_alloc", std::make_exception_ptr(std::bad_alloc()), std::bad_alloc().what(), "Job", 202},
        {"not a std::exception", std::make_exception_ptr(42), "Unknown error.", "Job", 202},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<pk::StudioError> error;
        std::string description;
        bool returned = false;
        // On a std::thread of its own: an exception leaving its body would end this test binary.
        std::thread([&] {
            returned = pk::runGuarded(
                "job",
                [&] {
                    if (c.thrown) std::rethrow_exception(c.thrown);
                },
                [&](const pk::JobFailure& f) {
                    description = f.description();
                    error = f.asError("Job", 202);
                });
        }).join();
        EXPECT_EQ(returned, c.thrown == nullptr);
        EXPECT_EQ(error.has_value(), c.thrown != nullptr);
        if (!error) continue;
        EXPECT_EQ(description, c.description);
        EXPECT_EQ(error->description, c.description);
        EXPECT_EQ(error->domain, c.domain);
        EXPECT_EQ(error->code, c.code);
    }
}

TEST(JobGuard, AFailureWithNobodyToTellIsWrittenToStderr) {
    // A failure handler that throws as well: both are said, and the thread still ends normally.
    testing::internal::CaptureStderr();
    bool returned = true;
    std::thread([&] {
        returned = pk::runGuarded(
            "Screen recorder", [] { throw std::runtime_error("encoder gone"); },
            [](const pk::JobFailure&) { throw std::bad_alloc(); });
    }).join();
    std::thread([] { pk::runGuarded("GPU job", [] { throw 7; }); }).join();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(returned);
    EXPECT_NE(err.find("Screen recorder failed: encoder gone\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Screen recorder failed: " + std::string(std::bad_alloc().what()) + "\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("GPU job failed: Unknown error.\n"), std::string::npos) << err;
}

TEST(JobGuard, PartialOutputGoesUnlessKept) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("pk-partial-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    pk::atomicWrite(dir / "left.mp4", std::string_view("half a movie"));
    pk::atomicWrite(dir / "kept.mp4", std::string_view("a whole movie"));
    { pk::PartialOutput partial(dir / "left.mp4"); }
    {
        pk::PartialOutput partial(dir / "kept.mp4");
        partial.keep();
    }
    { pk::PartialOutput never(dir / "never-written.mp4"); }
    EXPECT_FALSE(fs::exists(dir / "left.mp4"));
    EXPECT_TRUE(fs::exists(dir / "kept.mp4"));
    // One that cannot go is said, with the reason.
    testing::internal::CaptureStderr();
    { pk::PartialOutput stuck("/proc/version"); }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Could not remove the partial file /proc/version: "),
              std::string::npos);
    fs::remove_all(dir);
}

TEST(DebugLog, CaptureSeesEveryLineWithItsArea) {
    std::vector<std::string> lines;
    {
        pk::DebugLogCapture capture([&](const std::string& line) { lines.push_back(line); });
        pk::debugLog("ModelImport", "PLY: face index 9 beyond 4 vertices at byte 120");
        pk::warningLog("Engine", "frame failed: out of memory");
    }
    pk::debugLog("ModelImport", "after the capture ended");
    EXPECT_EQ(lines, (std::vector<std::string>{"ModelImport: PLY: face index 9 beyond 4 vertices at byte 120",
                                               "Engine: frame failed: out of memory"}));
}
