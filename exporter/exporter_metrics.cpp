#include "exporter/exporter_metrics.h"

#include <prometheus/text_serializer.h>

#include <chrono>

namespace vorl::exporter {
namespace {

#ifndef VORL_VERSION
#define VORL_VERSION "unknown"
#endif

prometheus::Registry& fresh(std::shared_ptr<prometheus::Registry>& registry) {
    registry = std::make_shared<prometheus::Registry>();
    return *registry;
}

}  // namespace

ExporterMetrics::ExporterMetrics()
    : probes_(prometheus::BuildCounter()
                  .Name("vorl_exporter_probes_total")
                  .Help("Probes answered, by result.")
                  .Register(fresh(registry_))),
      duration_(prometheus::BuildHistogram()
                    .Name("vorl_exporter_probe_duration_seconds")
                    .Help("Time from a probe request to its answer.")
                    .Register(*registry_)
                    .Add({}, prometheus::Histogram::BucketBoundaries{0.01, 0.025, 0.05, 0.1, 0.25,
                                                                     0.5, 1, 2.5, 5, 10})),
      sessions_(prometheus::BuildGauge()
                    .Name("vorl_exporter_sessions_in_use")
                    .Help("Card sessions open now.")
                    .Register(*registry_)
                    .Add({})),
      reloadOk_(prometheus::BuildGauge()
                    .Name("vorl_exporter_config_last_reload_successful")
                    .Help("1 when the last configuration reload succeeded.")
                    .Register(*registry_)
                    .Add({})),
      reloadTime_(prometheus::BuildGauge()
                      .Name("vorl_exporter_config_last_reload_success_timestamp_seconds")
                      .Help("Time of the last successful configuration load.")
                      .Register(*registry_)
                      .Add({})) {
    prometheus::BuildGauge()
        .Name("vorl_exporter_build_info")
        .Help("The exporter's version.")
        .Register(*registry_)
        .Add({{"version", VORL_VERSION}})
        .Set(1);
    for (const char* result : {"success", "failure", "refused"}) probes_.Add({{"result", result}});
    reloaded(true);
}

void ExporterMetrics::probeDone(const char* result, double seconds) {
    probes_.Add({{"result", result}}).Increment();
    duration_.Observe(seconds);
}

void ExporterMetrics::reloaded(bool ok) {
    reloadOk_.Set(ok ? 1 : 0);
    if (ok)
        reloadTime_.Set(
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count());
}

std::string ExporterMetrics::text(size_t sessionsInUse) {
    sessions_.Set(static_cast<double>(sessionsInUse));
    return prometheus::TextSerializer().Serialize(registry_->Collect());
}

}  // namespace vorl::exporter
