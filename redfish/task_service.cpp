#include "redfish/task_service.h"

#include <chrono>

#include "redfish/date_time.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/task_messages.h"
#include "web/log.h"

namespace vorl::redfish {
namespace {

std::string now() {
    return dateTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count());
}

// A progress event at least every this many percent, not more often.
constexpr int kProgressStep = 5;

}  // namespace

struct TaskService::Record {
    uint64_t number = 0;
    std::string id, card, name, state = "New", startTime, endTime;
    std::string status = "OK";  // TaskStatus: OK, Warning, Critical
    int percent = 0;
    int publishedPercent = 0;
    Json messages = Json::array();
    Json oem = Json::object();
    Job job;
    bool ended() const { return !endTime.empty(); }
};

class TaskService::Progress : public TaskProgress {
public:
    Progress(TaskService& service, Record& record) : service_(service), record_(record) {}
    const std::string& taskId() const override { return record_.id; }

    void percent(int value) override {
        int publish = -1;
        {
            std::lock_guard<std::mutex> guard(service_.mutex_);
            record_.percent = std::max(record_.percent, std::min(value, 100));
            if (record_.percent >= record_.publishedPercent + kProgressStep)
                publish = record_.publishedPercent = record_.percent;
        }
        if (publish >= 0)
            service_.publish_(registryEvent(kTaskRegistry, "TaskProgressChanged",
                                            {record_.id, std::to_string(publish)},
                                            uriOf(record_.id), "Task"));
    }

    void message(Json message) override {
        ServiceEvent event;
        const std::string id = message["MessageId"].get<std::string>();
        event.registry = id.substr(0, id.rfind('.'));
        event.key = id.substr(id.rfind('.') + 1);
        event.args = message["MessageArgs"].get<std::vector<std::string>>();
        event.message = message["Message"].get<std::string>();
        event.severity = message["MessageSeverity"].get<std::string>();
        event.origin = uriOf(record_.id);
        event.resourceType = "Task";
        {
            std::lock_guard<std::mutex> guard(service_.mutex_);
            record_.messages.push_back(std::move(message));
        }
        service_.publish_(std::move(event));
    }

    void detail(Json oem) override {
        std::lock_guard<std::mutex> guard(service_.mutex_);
        record_.oem = std::move(oem);
    }

private:
    TaskService& service_;
    Record& record_;
};

TaskService::TaskService(Publish publish, int workers, size_t keepEnded)
    : publish_(std::move(publish)), keepEnded_(keepEnded) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

TaskService::~TaskService() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        int running = 0;
        for (const auto& [number, record] : records_) running += record->state == "Running";
        // A flash stopped halfway would leave its card half-written: the ones under way end
        // first, each by its own deadline.
        if (running > 0)
            web::log::info("waiting for the firmware updates under way", {{"updates", running}});
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& record : waiting_) {
        record->state = "Cancelled";
        record->endTime = now();
    }
}

std::optional<std::vector<std::string>> TaskService::start(std::vector<NewTask> tasks,
                                                           std::string& busyCard) {
    std::vector<std::string> ids;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const NewTask& task : tasks)
            for (const auto& [number, other] : records_)
                if (other->card == task.card && !other->ended()) {
                    busyCard = task.card;
                    return std::nullopt;
                }
        for (NewTask& task : tasks) {
            auto record = std::make_shared<Record>();
            record->number = nextId_++;
            record->id = std::to_string(record->number);
            record->card = std::move(task.card);
            record->name = std::move(task.name);
            record->job = std::move(task.job);
            records_[record->number] = record;
            waiting_.push_back(record);
            ids.push_back(record->id);
        }
        evictEnded();
    }
    wake_.notify_all();
    return ids;
}

void TaskService::work() {
    for (;;) {
        std::shared_ptr<Record> record;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) return;
            record = waiting_.front();
            waiting_.pop_front();
            record->state = "Running";
            record->startTime = now();
        }
        Progress progress(*this, *record);
        progress.message(registryMessage(kTaskRegistry, "TaskStarted", {record->id}));
        bool ok = false;
        try {
            ok = record->job(progress);
        } catch (const std::exception&) {
            ok = false;  // a fault of this service ends the task, not the worker
        }
        progress.message(
            registryMessage(kTaskRegistry, ok ? "TaskCompletedOK" : "TaskAborted", {record->id}));
        (ok ? web::log::info : web::log::warn)("task ended",
                                               {{"task", record->id},
                                                {"name", record->name},
                                                {"state", ok ? "Completed" : "Exception"}});
        std::lock_guard<std::mutex> guard(mutex_);
        end(*record, ok ? "Completed" : "Exception", ok);
        record->job = nullptr;  // frees what the job held (its image)
        evictEnded();
    }
}

void TaskService::end(Record& record, const char* state, bool ok) {
    record.state = state;
    record.status = ok ? "OK" : "Critical";
    if (ok) record.percent = 100;
    record.endTime = now();
}

void TaskService::evictEnded() {
    size_t ended = 0;
    for (const auto& [number, record] : records_) ended += record->ended() ? 1 : 0;
    for (auto it = records_.begin(); it != records_.end() && ended > keepEnded_;) {
        if (it->second->ended()) {
            it = records_.erase(it);
            --ended;
        } else {
            ++it;
        }
    }
}

std::optional<Json> TaskService::task(const std::string& id) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [number, record] : records_) {
        if (record->id != id) continue;
        Json task = {{"@odata.id", uriOf(id)},
                     {"@odata.type", odataType("Task")},
                     {"Id", id},
                     {"Name", record->name},
                     {"TaskState", record->state},
                     {"TaskStatus", record->status},
                     {"PercentComplete", record->percent},
                     {"TaskMonitor", monitorOf(id)},
                     {"Messages", record->messages},
                     {"HidePayload", true}};
        // A task still waiting for a worker has not started.
        if (!record->startTime.empty()) task["StartTime"] = record->startTime;
        if (record->ended()) task["EndTime"] = record->endTime;
        Json vorl = record->oem;
        vorl["Card"] = record->card;
        task["Oem"] = {{"Vorl", std::move(vorl)}};
        return task;
    }
    return std::nullopt;
}

std::vector<std::string> TaskService::ids() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::string> ids;
    for (const auto& [number, record] : records_) ids.push_back(record->id);
    return ids;
}

bool TaskService::cardBusy(const std::string& card) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [number, record] : records_)
        if (record->card == card && !record->ended()) return true;
    return false;
}

namespace {

void getTaskService(Exchange& ex) {
    ex.ok({{"@odata.id", kTaskService},
           {"@odata.type", odataType("TaskService")},
           {"Id", "TaskService"},
           {"Name", "Task Service"},
           {"ServiceEnabled", true},
           {"CompletedTaskOverWritePolicy", "Oldest"},
           {"LifeCycleEventOnTaskStateChange", true},
           {"DateTime", now()},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"Tasks", link(kTasks)}});
}

void getTasks(Exchange& ex) {
    std::vector<std::string> members;
    for (const std::string& id : ex.parts.tasks->ids()) members.push_back(TaskService::uriOf(id));
    ex.ok(collection("TaskCollection", kTasks, "Tasks", members));
}

void getTask(Exchange& ex) {
    const auto task = ex.parts.tasks->task(ex.param(0));
    if (!task) return ex.notFound("Task", ex.param(0));
    ex.ok(*task);
}

// Clients that follow an operation's Location poll here until the answer is no longer 202.
void getTaskMonitor(Exchange& ex) {
    const auto task = ex.parts.tasks->task(ex.param(0));
    if (!task) return ex.notFound("Task", ex.param(0));
    ex.ok(*task);
    if (task->contains("EndTime")) return;
    ex.response.status = 202;
    ex.response.headers.set("Location", TaskService::monitorOf(ex.param(0)));
    ex.response.headers.set("Retry-After", "1");
}

}  // namespace

void addTaskRoutes(Router& router) {
    router.add(std::string(kTaskMonitors) + "/{}", "GET", kLogin, getTaskMonitor);
    router.add(kTaskService, "GET", kLogin, getTaskService);
    router.add(kTasks, "GET", kLogin, getTasks);
    router.add(std::string(kTasks) + "/{}", "GET", kLogin, getTask);
}

}  // namespace vorl::redfish
