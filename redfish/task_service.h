#pragma once
// Long work of the service (a card's firmware update) as Redfish Tasks: each task runs on a
// small pool of worker threads of its own, never on a request's thread; a card has at most one
// task that has not ended; the tasks live in memory and only the newest ended ones are kept.
// Each start, progress of a few percent and end is published as a TaskEvent.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "redfish/event_sink.h"
#include "redfish/messages.h"

namespace vorl::redfish {

constexpr const char* kTaskService = "/redfish/v1/TaskService";
constexpr const char* kTasks = "/redfish/v1/TaskService/Tasks";
constexpr const char* kTaskMonitors = "/redfish/v1/TaskService/TaskMonitors";

// What a running task's job tells its task (from the job's worker thread).
class TaskProgress {
public:
    virtual ~TaskProgress() = default;
    virtual const std::string& taskId() const = 0;
    virtual void percent(int value) = 0;
    // A message of the task's Messages (registryMessage()), also published as an event.
    virtual void message(Json message) = 0;
    // Replaces the task's Oem.Vorl object (what the job has done so far).
    virtual void detail(Json oem) = 0;
};

class TaskService {
public:
    // The job's result: true Completed, false Exception.
    using Job = std::function<bool(TaskProgress&)>;

    using Publish = std::function<void(ServiceEvent)>;

    // `workers` jobs run at once; the rest wait in order. `keepEnded` ended tasks are kept. The
    // tasks' events go to `publish`.
    TaskService(Publish publish, int workers, size_t keepEnded = 64);
    // Waits for the running jobs (each bounded by its own deadline); the waiting ones end as
    // Cancelled.
    ~TaskService();
    TaskService(const TaskService&) = delete;
    TaskService& operator=(const TaskService&) = delete;

    struct NewTask {
        std::string card, name;
        Job job;
    };
    // Starts every one of `tasks` (at most one per card), or none when one of their cards has a
    // task that has not ended: nullopt with that card in `busyCard`. The new tasks' ids.
    std::optional<std::vector<std::string>> start(std::vector<NewTask> tasks,
                                                  std::string& busyCard);

    // The Task resource; nullopt for an unknown id.
    std::optional<Json> task(const std::string& id) const;
    std::vector<std::string> ids() const;
    bool cardBusy(const std::string& card) const;
    int workers() const { return static_cast<int>(threads_.size()); }

    static std::string uriOf(const std::string& id) { return std::string(kTasks) + "/" + id; }
    // The task monitor: 202 with the task while it runs, 200 once it has ended.
    static std::string monitorOf(const std::string& id) {
        return std::string(kTaskMonitors) + "/" + id;
    }

private:
    struct Record;
    class Progress;
    void work();
    void end(Record& record, const char* state, bool ok);
    void evictEnded();

    Publish publish_;
    const size_t keepEnded_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::map<uint64_t, std::shared_ptr<Record>> records_;  // by id, oldest first
    std::deque<std::shared_ptr<Record>> waiting_;
    std::vector<std::thread> threads_;
};

}  // namespace vorl::redfish
