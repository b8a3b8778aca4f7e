// Scan control over scripted disks: the pause, resume and stop handshake,
// the events of several disks, the mirror read by another thread while the
// scan adds to it, and scans that have nothing to scan, are stopped before
// they start, or are released by Back (whose next scan must not repeat the
// picture cache's names).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/preview_queue.h"
#include "app/recover_snapshot.h"
#include "tests/scan/scan_harness.h"

namespace qb::app::testing {
namespace {

// p<percent>, g:<group>, d (disk done), a (all done).
std::string Summary(const std::vector<ScanEvent>& events) {
    std::string text;
    for (const ScanEvent& e : events) {
        text += text.empty() ? "" : " ";
        text += e.type == ScanProgressEvent ? "p" + std::to_string(e.value)
                : e.type == ScanNewGroupEvent ? "g:" + e.node->name
                : e.type == ScanDiskDoneEvent ? "d" : "a";
    }
    return text;
}
std::string Events(ScanRig& r) { return Summary(r.window.Until(WMU_SCAN_EVENT, &r.context)); }

void WaitForState(const ScanContext& context, ScanState state) {
    const auto limit = std::chrono::steady_clock::now() + kHangLimit;
    while (context.State() != state && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    ASSERT_EQ(context.State(), state);
}

// Presses Pause (on another thread: it waits) while the scan is held before
// its gate-th gated callback; the pause is answered only by that callback.
void PauseAtGate(ScanRig& r, int gate) {
    r.storage.WaitArrived(gate);
    std::atomic<bool> answered {false};
    std::thread pause([&] {
        EXPECT_EQ(TogglePause(r.context), ScanPaused);
        answered = true;
    });
    WaitForState(r.context, ScanPaused);
    EXPECT_FALSE(answered.load()) << "answered without a callback";
    r.storage.Release();
    pause.join();
}

TEST(ScanHandshake, PauseResumeAndStopAreAnsweredAtTheEnginesNextCallback) {
    ScanRig r({{"A", true, {{100}, {200, "", true}, {300, "", true}, {400, "jpg"}}}, {"B", true, {{100, "png"}}}});
    ASSERT_EQ(ListAndScan(r.context, r.window), 2);
    PauseAtGate(r, 1);
    EXPECT_EQ(TogglePause(r.context), ScanRunning);
    PauseAtGate(r, 2);
    StopScan(r.context);  // while paused: disk A ends at once, B is skipped
    EXPECT_EQ(r.context.State(), ScanFinished);
    EXPECT_EQ(Events(r), "p10 p20 d a");
    // Requests that find the scan finished change nothing and do not wait.
    StopScan(r.context);
    EXPECT_EQ(TogglePause(r.context), ScanFinished);
}

TEST(ScanHandshake, PauseRacingTheEndOfTheLastDiskNeverHangs) {
    // A disk that cannot be read makes no callback: only the scan's last
    // step can answer the pause.
    for (const bool readable : {true, false}) {
        for (int round = 0; round < 150; ++round) {
            ScanRig r({{"A", true, readable ? std::vector<Step> {{500}, {1000}} : std::vector<Step> {}}});
            ASSERT_EQ(ListAndScan(r.context, r.window), 1);
            const ScanState paused = TogglePause(r.context);
            ASSERT_TRUE(paused == ScanFinished || (readable && paused == ScanPaused)) << paused;
            if (paused == ScanPaused) {
                ASSERT_NE(TogglePause(r.context), ScanPaused);
            }
            ASSERT_TRUE(Events(r).ends_with("d a"));
        }
    }
}

TEST(ScanEvents, EachRemovableDiskGetsItsOwnGroupsAndProgress) {
    ScanRig r({{"A", true, {{100, "jpg"}, {200, "jpg"}, {900}}},
               {"C", false, {{10, "bmp"}}},
               {"B", true, {{50}, {60, "jpg"}, {70, "png"}, {1100}}}});
    ASSERT_EQ(ListAndScan(r.context, r.window), 2);
    const std::vector<ScanEvent> events = r.window.Until(WMU_SCAN_EVENT, &r.context);
    // The fixed disk C is neither listed nor scanned; B's progress starts
    // low and ends at 100 although the engine's last read passes its end.
    ASSERT_EQ(Summary(events), "g:jpg p10 p20 p90 d p5 g:jpg p6 g:png p7 p100 d a");
    const std::vector<ScanDisk>& disks = r.context.Disks();
    struct Group {
        std::size_t event, disk;
        std::uint64_t files;
    };
    for (const Group& g : {Group {0, 0, 2}, Group {6, 1, 1}, Group {8, 1, 1}}) {
        EXPECT_EQ(events[g.event].item, disks.at(g.disk).item);
        EXPECT_EQ(events[g.event].node->parent, disks.at(g.disk).node);
        EXPECT_EQ(events[g.event].node->fileCount.load(), g.files);
    }
    EXPECT_NE(events[0].node, events[6].node);
    EXPECT_EQ(events[4].item, disks.at(0).item);
    EXPECT_EQ(events[11].item, disks.at(1).item);
}

TEST(ScanMirror, AReaderWalksGroupsAndEntriesAndTheRecoverJobTakesItsViewWhileTheScanAddsThem) {
    const std::vector<std::string> types {"jpg", "png", "gif", "bmp", "pdf"};
    std::vector<Step> steps;
    for (std::uint64_t i = 0; i < 4000; ++i) steps.push_back({1 + i / 4, types[i % types.size()]});
    ScanRig r({{"A", true, steps}});
    ASSERT_EQ(ListAndScan(r.context, r.window), 1);
    const ScanNode* disk = r.context.Disks().at(0).node;
    std::atomic<bool> done {false}, consistent {true};
    std::uint64_t seen = 0;
    std::size_t snapshotRows = 0;
    std::thread reader([&] {
        for (bool last = false; !last;) {
            last = done.load();
            seen = 0;
            for (const ScanNode* g = disk->firstChild.load(); g; g = g->next.load()) {
                std::uint64_t n = 0;
                for (const ScanFileEntry* e = g->firstEntry.load(); e; e = e->next.load())
                    if (e->number != ++n || e->group != g || e->name.empty() || e->selected.load() > 1)
                        consistent = false;
                seen += n;
            }
            // The recover job's view: whole rows only, never fewer than before.
            std::size_t rows = 0;
            for (const output::RecoverGroup& group : RecoverDiskOf(*disk).groups) {
                for (const output::RecoverFile& file : group.files) {
                    if (file.item.name.empty() || file.item.group != nullptr) consistent = false;
                }
                rows += group.files.size();
            }
            if (rows < snapshotRows) consistent = false;
            snapshotRows = rows;
        }
    });
    // Meanwhile the window unticks each group as it learns of it.
    r.window.Until(WMU_SCAN_EVENT, &r.context, [](const ScanEvent& e) {
        if (e.type == ScanNewGroupEvent) e.node->selected.store(0);
    });
    done = true;
    reader.join();
    EXPECT_TRUE(consistent.load());
    EXPECT_EQ(seen, steps.size());
    EXPECT_EQ(snapshotRows, steps.size());
}

TEST(ScanEnds, NoTreeFromEnumerationFinishesWithoutDisks) {
    ScanRig r({{"A", true, {{100}}}}, /*listable=*/false);
    EXPECT_EQ(ListAndScan(r.context, r.window), 0);
    EXPECT_EQ(Events(r), "a");
    EXPECT_EQ(r.context.MirrorRoot(), nullptr);
    EXPECT_EQ(r.context.State(), ScanFinished);
}

TEST(ScanEnds, StopWhileTheDisksAreListedEndsTheScanBeforeItsFirstDisk) {
    ScanRig r({{"A", true, {{100, "jpg"}}}});
    ASSERT_TRUE(StartDiskList(r.context));
    StopScan(r.context);
    r.window.Until(WMU_DISKS_READY, &r.context);
    EXPECT_EQ(AddDisksAndScan(r.context, [](ScanNode&) { return std::uintptr_t {1}; }), 1);
    EXPECT_EQ(Events(r), "a");
}

TEST(ScanEnds, BackReleasesTheScanAndANewOneStartsAfresh) {
    ScanRig r({{"A", true, {{100, "jpg"}, {200, "", true}, {300}}}});
    const auto cacheName = [&] {
        return PreviewTargetPath("cache", *r.context.Disks().at(0).node->firstChild.load()->firstEntry.load());
    };
    ASSERT_EQ(ListAndScan(r.context, r.window), 1);
    r.storage.WaitArrived(1);
    const std::string firstCacheName = cacheName();
    std::thread back([&] {
        StopScan(r.context);
        ReleaseScan(r.context);
    });
    WaitForState(r.context, ScanStopping);
    r.storage.Release();
    back.join();
    EXPECT_EQ(r.storage.shutdowns, 1);
    EXPECT_EQ(r.context.MirrorRoot(), nullptr);
    EXPECT_EQ(AddDisksAndScan(r.context, nullptr), 0) << "a WMU_DISKS_READY of the released list";

    r.storage.Release();  // lets the next scan pass the gate
    EXPECT_EQ(ListAndScan(r.context, r.window), 1);
    EXPECT_EQ(Events(r), "g:jpg p10 p20 p30 d a");
    // The released scan's group, progress, disk-done and all-done events
    // name freed nodes and items: the window is told to drop them.
    EXPECT_EQ(r.window.stale, 4);
    EXPECT_NE(cacheName(), firstCacheName);
}

}  // namespace
}  // namespace qb::app::testing
