// The task pool: no more jobs at once than its workers, one task per card, a job's failure (or
// exception) never reported as done, and only the newest ended tasks kept.
#include "redfish/task_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vorl::redfish {
namespace {

using namespace std::chrono_literals;

std::string waitEnded(const TaskService& tasks, const std::string& id) {
    for (int i = 0; i < 500; ++i) {
        const auto task = tasks.task(id);
        if (task && task->contains("EndTime")) return (*task)["TaskState"];
        std::this_thread::sleep_for(10ms);
    }
    return "still running";
}

TEST(TaskServiceTest, BoundsJobsOneTaskPerCardAndEndsHonestly) {
    std::mutex eventsMutex;
    std::vector<std::string> events;
    std::atomic<int> running{0}, most{0};
    std::atomic<bool> release{false};
    {
        TaskService tasks(
            [&](ServiceEvent event) {
                std::lock_guard<std::mutex> guard(eventsMutex);
                events.push_back(event.key);
            },
            2, 4);
        auto slow = [&](TaskProgress& progress) {
            most = std::max(most.load(), ++running);
            while (!release) std::this_thread::sleep_for(1ms);
            for (int percent = 1; percent <= 100; ++percent) progress.percent(percent);
            --running;
            return true;
        };
        std::vector<TaskService::NewTask> batch;
        for (const char* card : {"a", "b", "c", "d"}) batch.push_back({card, "flash", slow});
        std::string busy;
        const auto ids = tasks.start(std::move(batch), busy);
        ASSERT_TRUE(ids);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ("Running", (*tasks.task((*ids)[0]))["TaskState"]);
        EXPECT_EQ("New", (*tasks.task((*ids)[3]))["TaskState"]);
        EXPECT_FALSE(tasks.task((*ids)[3])->contains("StartTime"));
        // A card with a task not ended: nothing of the request starts, not even card e.
        EXPECT_FALSE(tasks.start({{"e", "flash", slow}, {"c", "flash", slow}}, busy));
        EXPECT_EQ("c", busy);
        EXPECT_EQ(4u, tasks.ids().size());
        release = true;
        for (const std::string& id : *ids) EXPECT_EQ("Completed", waitEnded(tasks, id));
        EXPECT_EQ(2, most.load());
        EXPECT_EQ(100, (*tasks.task((*ids)[0]))["PercentComplete"]);

        const auto failed = tasks.start(
            {{"a", "fails", [](TaskProgress&) { return false; }},
             {"b", "throws", [](TaskProgress&) -> bool { throw std::runtime_error("x"); }}},
            busy);
        ASSERT_TRUE(failed);
        for (const std::string& id : *failed) {
            EXPECT_EQ("Exception", waitEnded(tasks, id));
            const Json task = *tasks.task(id);
            EXPECT_EQ("Critical", task["TaskStatus"]);
            EXPECT_EQ("TaskEvent.1.0.TaskAborted", task["Messages"].back()["MessageId"]);
        }
        // Four ended tasks are kept: the two oldest went.
        EXPECT_EQ(4u, tasks.ids().size());
        EXPECT_FALSE(tasks.task((*ids)[1]));
        EXPECT_TRUE(tasks.task((*ids)[2]));
    }
    // Per slow task: started, progress every 5 % (20 events), completed.
    EXPECT_EQ(4 * 22 + 2 * 2, static_cast<int>(events.size()));
}

}  // namespace
}  // namespace vorl::redfish
