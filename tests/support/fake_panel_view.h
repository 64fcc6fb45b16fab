#pragma once
// Test doubles for vorlpanel's presenters: a PanelView that keeps every control's state and
// records questions, messages, the busy cursor and the windows' enabling, with an inline page
// worker; and a fixture whose session runs against an in-process simulated card, with chosen
// commands answered by a forced status instead.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cardsim/sim_card.h"
#include "config/page_presenter.h"
#include "config/panel_view.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_page_worker.h"
#include "tests/support/fake_transport.h"

namespace vorl::test {

class FakePanelView : public panel::PanelView {
public:
    struct Message {
        std::string text;
        panel::MessageIcon icon;
        bool operator==(const Message&) const = default;
    };

    // The page whose hooks the view calls (row checks) and to which the inline worker delivers.
    void attachPage(panel::PagePresenter& presenter) {
        page = &presenter;
        inlineWorker.page = &presenter;
    }

    std::string text(int control) override { return texts[control]; }
    void setText(int control, std::string_view text) override {
        texts[control] = text;
        if (keepHistory) textHistory[control].emplace_back(text);
    }
    void limitText(int control, int characters) override { limits[control] = characters; }
    void enable(int control, bool on) override { enabled[control] = on; }
    void focus(int control) override { focused = control; }
    bool isChecked(int control) override { return checked[control]; }
    void setChecked(int control, bool on) override { checked[control] = on; }
    void clearList(int control) override {
        lists[control].clear();
        cells[control].clear();
        rowChecks[control].clear();
        selections[control] = -1;
    }
    void addListLine(int control, std::string_view line) override {
        lists[control].emplace_back(line);
        cells[control].push_back({std::string(line)});
        rowChecks[control].push_back(false);
    }
    int selectedLine(int control) override {
        auto it = selections.find(control);
        return it == selections.end() ? -1 : it->second;
    }
    void selectLine(int control, int index) override {
        const int lines = static_cast<int>(lists[control].size());
        selections[control] = index >= 0 && index < lines ? index : -1;
    }
    void addListColumn(int control, std::string_view title, int width) override {
        columns[control].emplace_back(std::string(title), width);
    }
    void showRowCheckBoxes(int control) override { rowCheckBoxes[control] = true; }
    void setCell(int control, int row, int column, std::string_view text) override {
        auto& rows = cells[control];
        if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0) return;
        auto& line = rows[static_cast<size_t>(row)];
        if (line.size() <= static_cast<size_t>(column))
            line.resize(static_cast<size_t>(column) + 1);
        line[static_cast<size_t>(column)] = text;
    }
    std::string cell(int control, int row, int column) {
        auto& rows = cells[control];
        if (row < 0 || row >= static_cast<int>(rows.size())) return "(no row)";
        const auto& line = rows[static_cast<size_t>(row)];
        return static_cast<size_t>(column) < line.size() ? line[static_cast<size_t>(column)] : "";
    }
    bool isRowChecked(int control, int row) override {
        auto& checks = rowChecks[control];
        return row >= 0 && row < static_cast<int>(checks.size()) &&
               checks[static_cast<size_t>(row)];
    }
    void setRowChecked(int control, int row, bool on) override {
        auto& checks = rowChecks[control];
        if (row < 0 || row >= static_cast<int>(checks.size())) return;
        // Like a list view: an unchanged state sends no notification.
        if (checks[static_cast<size_t>(row)] == on) return;
        if (page && !page->onRowCheckChanging(control, row, on)) return;
        checks[static_cast<size_t>(row)] = on;
    }
    // The user clicks a row's check box.
    void clickRowCheck(int control, int row) {
        setRowChecked(control, row, !isRowChecked(control, row));
    }

    void setProgressRange(int control, int maximum) override { progressMax[control] = maximum; }
    void setProgressPosition(int control, int position) override {
        progress[control] = position;
        if (keepHistory) progressHistory[control].push_back(position);
    }

    bool chooseFileToOpen(std::string_view extension, std::string& path) override {
        defaultExtensions.emplace_back(extension);
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return false;
        }
        const std::optional<std::string> picked = files.front();
        files.pop_front();
        if (!picked) return false;
        path = *picked;
        return true;
    }
    void enableDialog(bool on) override {
        dialogEnabled = on;
        windowLog.push_back(on ? "dialog on" : "dialog off");
    }
    void enableMainWindow(bool on) override {
        mainEnabled = on;
        windowLog.push_back(on ? "main on" : "main off");
    }
    panel::PageWorker& worker() override { return *activeWorker; }

    panel::IpAddressEntry ipAddress(int control) override { return addresses[control]; }
    void setIpAddress(int control, const uint8_t parts[4]) override {
        panel::IpAddressEntry entry;
        entry.filledParts = 4;
        std::copy(parts, parts + 4, entry.parts);
        addresses[control] = entry;
    }
    void clearIpAddress(int control) override { addresses[control] = panel::IpAddressEntry{}; }
    // Types an address; parts given as -1 stay blank (and read as 0).
    void typeAddress(int control, std::initializer_list<int> parts) {
        panel::IpAddressEntry entry;
        int i = 0;
        for (int part : parts) {
            if (part >= 0) {
                ++entry.filledParts;
                entry.parts[i] = static_cast<uint8_t>(part);
            }
            ++i;
        }
        addresses[control] = entry;
    }

    bool ask(std::string_view question) override {
        questions.emplace_back(question);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << question;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void showMessage(std::string_view text, panel::MessageIcon icon) override {
        messages.push_back({std::string(text), icon});
    }
    bool runDialog(int dialogId, panel::DialogPresenter& presenter) override {
        dialogsRun.push_back(dialogId);
        if (!dialog) {
            ADD_FAILURE() << "unexpected dialog " << dialogId;
            return false;
        }
        return dialog(dialogId, presenter);
    }
    void setBusy(bool busy) override {
        busyDepth += busy ? 1 : -1;
        if (busy) ++busySpells;
        EXPECT_GE(busyDepth, 0);
    }
    void repaint() override { ++repaints; }
    void closeProgram() override { ++closes; }

    std::vector<std::string> messageTexts() const {
        std::vector<std::string> out;
        for (const Message& m : messages) out.push_back(m.text);
        return out;
    }

    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> textHistory;  // every text set, in order
    bool keepHistory = true;                              // off: the histories stay as they are
    std::map<int, int> limits;
    std::map<int, bool> enabled;
    std::map<int, bool> checked;
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selections;
    std::map<int, panel::IpAddressEntry> addresses;
    std::map<int, std::vector<std::pair<std::string, int>>> columns;
    std::map<int, bool> rowCheckBoxes;
    std::map<int, std::vector<std::vector<std::string>>> cells;  // list views: rows of cells
    std::map<int, std::vector<bool>> rowChecks;
    std::map<int, int> progressMax;
    std::map<int, int> progress;
    std::map<int, std::vector<int>> progressHistory;
    // What the file dialog gives, one entry per opening; nullopt: the user cancels.
    std::deque<std::optional<std::string>> files;
    std::vector<std::string> defaultExtensions;
    bool dialogEnabled = true;
    bool mainEnabled = true;
    std::vector<std::string> windowLog;
    panel::PagePresenter* page = nullptr;
    InlinePageWorker inlineWorker;
    panel::PageWorker* activeWorker = &inlineWorker;
    int focused = 0;
    std::deque<bool> answers;  // Yes/No for the coming questions, in order
    std::vector<std::string> questions;
    std::vector<Message> messages;
    // Plays a modal dialog opened over the view: returns how it ended.
    std::function<bool(int dialogId, panel::DialogPresenter& presenter)> dialog;
    std::vector<int> dialogsRun;
    int busyDepth = 0;
    int busySpells = 0;
    int repaints = 0;
    int closes = 0;
};

// A session over an in-process simulated card. A command in `forced` gets that answer instead
// of the card's.
class PanelFixture : public ::testing::Test {
protected:
    explicit PanelFixture(int connectionType = panel::kHostInterface)
        : card(std::string(), options), context{*makeSession(), connectionType} {}

    // The command codes sent so far, in order.
    std::vector<uint16_t> commands() const {
        std::vector<uint16_t> codes;
        for (const RecordedRequest& r : wire->requests) codes.push_back(r.command);
        return codes;
    }
    size_t sent(uint16_t command) const {
        size_t n = 0;
        for (const RecordedRequest& r : wire->requests) n += r.command == command;
        return n;
    }
    const RecordedRequest& last(uint16_t command) const {
        for (auto it = wire->requests.rbegin(); it != wire->requests.rend(); ++it)
            if (it->command == command) return *it;
        throw std::runtime_error("command not sent");
    }
    // Text of a request's fixed field at `offset`.
    static std::string field(const RecordedRequest& request, size_t offset, size_t width) {
        const char* begin = reinterpret_cast<const char*>(request.payload.data()) + offset;
        return std::string(begin, strnlen(begin, width));
    }
    // Runs a command on the card directly, as another tool would.
    void onCard(const std::function<int(CardSession&)>& operation) {
        CardSession direct(std::make_unique<SimCardTransport>(card, true));
        ASSERT_EQ(operation(direct), 0);
    }

    platform::SleepRecorder sleeps;  // resets and reload pauses are counted, not waited for
    sim::SimOptions options;
    sim::SimCard card;
    FakeTransport* wire = nullptr;
    std::unique_ptr<CardSession> session;
    panel::PageContext context;
    std::map<uint16_t, ScriptedResponse> forced;
    void force(uint16_t command, uint16_t status, std::vector<uint8_t> payload = {}) {
        forced[command] = ScriptedResponse{status, std::move(payload)};
    }
    // Answers chosen requests (true: `answer` is the response), before `forced` and the card.
    std::function<bool(const RecordedRequest& request, ScriptedResponse& answer)> intercept;
    FakePanelView view;

private:
    CardSession* makeSession() {
        auto transport = std::make_unique<FakeTransport>();
        wire = transport.get();
        transport->fallback = [this](const RecordedRequest& request) { return answer(request); };
        session = std::make_unique<CardSession>(std::move(transport));
        return session.get();
    }
    ScriptedResponse answer(const RecordedRequest& request) {
        if (ScriptedResponse scripted; intercept && intercept(request, scripted)) return scripted;
        if (auto it = forced.find(request.command); it != forced.end()) return it->second;
        std::vector<uint8_t> reply(CardSession::MaxPayload, 0);
        sim::SimRequest simRequest;
        simRequest.command = request.command;
        simRequest.payload = request.payload.data();
        simRequest.length = static_cast<uint32_t>(request.payload.size());
        simRequest.link = sim::Link::HostInterface;
        sim::SimReply simReply;
        simReply.payload = reply.data();
        card.execute(simRequest, simReply);
        reply.resize(simReply.length);
        return ScriptedResponse{simReply.status, std::move(reply)};
    }
};

}  // namespace vorl::test
