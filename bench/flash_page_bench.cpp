// The Firmware Flash page's cost: a module-mode flash of all six modules (54 blocks, every block
// the simulated card's sections hold) and a complete flash (63 blocks) run through the page's
// presenter, its worker on a thread of its own and a window thread that handles each progress
// notice before the worker goes on (as SendMessage does), against the simulated card over
// loopback TCP. In the same run and on the same connection: `vorlcli -flash -upload` of the same
// image (64 blocks; what vorlcli runs once logged in) and the library's module flash without
// page or notices. Reported: milliseconds per flash and microseconds per block ("us_per_block").
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cardsim/sim_card.h"
#include "cardsim/sim_server.h"
#include "cli/dispatch.h"
#include "config/flash_page.h"
#include "config/panel_ids.h"
#include "firmware/image_builder.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_page_worker.h"

namespace {

using namespace vorl;
using namespace vorl::panel;

std::string imagePath() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "vorl-flash-page-bench.ima";
        ImageBuilder::writeFile(file.string(), ImageBuilder().build());
        return file.string();
    }();
    return path;
}

// The page's window, reduced to what a flash reads back: check boxes, row checks, answers.
class BenchView : public PanelView {
public:
    explicit BenchView(PageWorker& worker) : worker_(worker) {}
    std::string text(int) override { return {}; }
    void setText(int, std::string_view) override {}
    void limitText(int, int) override {}
    void enable(int, bool) override {}
    void focus(int) override {}
    bool isChecked(int control) override { return checked[control]; }
    void setChecked(int control, bool on) override { checked[control] = on; }
    void clearList(int) override { rows.clear(); }
    void addListLine(int, std::string_view) override { rows.push_back(false); }
    int selectedLine(int) override { return -1; }
    void selectLine(int, int) override {}
    void addListColumn(int, std::string_view, int) override {}
    void showRowCheckBoxes(int) override {}
    void setCell(int, int, int, std::string_view) override {}
    bool isRowChecked(int, int row) override { return rows.at(static_cast<size_t>(row)); }
    void setRowChecked(int, int row, bool on) override { rows.at(static_cast<size_t>(row)) = on; }
    void setProgressRange(int, int) override {}
    void setProgressPosition(int, int) override {}
    IpAddressEntry ipAddress(int) override { return {}; }
    void setIpAddress(int, const uint8_t[4]) override {}
    void clearIpAddress(int) override {}
    bool ask(std::string_view) override { return true; }
    void showMessage(std::string_view, MessageIcon) override { ++messages; }
    bool runDialog(int, DialogPresenter&) override { return false; }
    bool chooseFileToOpen(std::string_view, std::string& path) override {
        path = imagePath();
        return true;
    }
    void enableDialog(bool) override {}
    void enableMainWindow(bool) override {}
    PageWorker& worker() override { return worker_; }
    void setBusy(bool) override {}
    void repaint() override {}
    void closeProgram() override {}

    std::map<int, bool> checked;
    std::vector<bool> rows;
    int messages = 0;

private:
    PageWorker& worker_;
};

// Hands the worker's progress to the page and keeps its end: a flash that ended well would reset
// the card, and the next iteration needs it.
class EndCatcher : public PagePresenter {
public:
    explicit EndCatcher(FlashPage& page) : page_(page) {}
    void onCommand(int, ControlEvent) override {}
    void onWorkerProgress(int count, std::string_view text) override {
        page_.onWorkerProgress(count, text);
    }
    void onWorkerEnded(bool completed) override { completedWell = completed; }
    bool completedWell = false;

private:
    FlashPage& page_;
};

// The simulated card on loopback, a logged-in session and the page over it.
struct Bench {
    platform::SleepRecorder sleeps;
    sim::SimOptions options;
    sim::SimCard card{std::filesystem::path(), options};
    sim::SimServer server{card, sim::SimFaults()};
    std::unique_ptr<CardSession> session;
    std::unique_ptr<PageContext> context;
    test::ThreadedPageWorker worker;
    BenchView view{worker};
    std::unique_ptr<FlashPage> page;

    Bench() {
        platform::startNetworking();
        if (!server.listen("127.0.0.1", 0)) return;
        server.start();
        session = std::make_unique<CardSession>(kNetwork, "127.0.0.1", server.port());
        if (session->connect() != 0 || session->login("admin", "vorladmin") != 0) {
            session.reset();
            return;
        }
        context = std::make_unique<PageContext>(PageContext{*session, kNetwork});
        page = std::make_unique<FlashPage>(view, *context);
        page->onCreated();
        page->onShown();
        page->onCommand(IDC_BROWSE_IMAGE, ControlEvent::Clicked);
        if (!page->imageHeld()) page.reset();
    }
    ~Bench() {
        page.reset();
        session.reset();
        server.stop();
    }
};

Bench& bench() {
    static Bench instance;
    return instance;
}

void reportPerBlock(benchmark::State& state, double seconds, int blocks) {
    state.counters["blocks"] = blocks;
    state.counters["us_per_block"] =
        seconds * 1e6 / (static_cast<double>(state.iterations()) * blocks);
}

// One flash through the page: "&Flash", then the window thread until the worker's end.
void pageFlash(benchmark::State& state, bool completeMode) {
    Bench& b = bench();
    if (!b.page) return state.SkipWithError("no simulated card");
    EndCatcher window(*b.page);
    double seconds = 0;
    for (auto _ : state) {
        b.view.checked[IDC_COMPLETE_FLASH] = completeMode;
        b.view.rows.assign(6, true);
        const auto start = std::chrono::steady_clock::now();
        b.page->onCommand(IDC_START_FLASH, ControlEvent::Clicked);
        b.worker.runWindowLoop(window);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!window.completedWell || b.view.messages != 0)
            return state.SkipWithError("the flash did not complete");
    }
    reportPerBlock(state, seconds, completeMode ? 63 : selectedBlockCount(b.page->entries()));
}

void BM_PageModuleFlash(benchmark::State& state) {
    pageFlash(state, false);
}
void BM_PageCompleteFlash(benchmark::State& state) {
    pageFlash(state, true);
}

void BM_VorlcliFlashUpload(benchmark::State& state) {
    Bench& b = bench();
    if (!b.session) return state.SkipWithError("no simulated card");
    const cli::Words words{"vorlcli", "-flash", "-upload", imagePath()};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = cli::dispatchCommand(*b.session, words);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) return state.SkipWithError("the upload failed");
    }
    reportPerBlock(state, seconds, kFlashBlockCount);
}

// The library's module flash alone, on the calling thread: the floor for the page's.
void BM_LibraryModuleFlash(benchmark::State& state) {
    Bench& b = bench();
    if (!b.page) return state.SkipWithError("no simulated card");
    ModuleEntries entries = b.page->entries();
    for (ModuleEntry& entry : entries) entry.selected = true;
    FilePtr image = openFile(imagePath(), "rb");
    SilentListener quiet;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = flashSelectedModules(*b.session, image.get(), entries, quiet);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) return state.SkipWithError("the flash failed");
    }
    reportPerBlock(state, seconds, selectedBlockCount(entries));
}

BENCHMARK(BM_VorlcliFlashUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PageModuleFlash)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LibraryModuleFlash)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PageCompleteFlash)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
