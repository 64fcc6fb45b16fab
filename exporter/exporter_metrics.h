#pragma once
// The exporter's own metrics on /metrics: build information, probes by result, probe
// durations, card sessions in use and the state of the last configuration reload.
#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <memory>
#include <string>

namespace vorl::exporter {

class ExporterMetrics {
public:
    ExporterMetrics();
    // result: "success" (every collector read), "failure", or "refused" (bad request, target
    // not allowed, unknown module).
    void probeDone(const char* result, double seconds);
    void reloaded(bool ok);
    std::string text(size_t sessionsInUse);

private:
    std::shared_ptr<prometheus::Registry> registry_;
    prometheus::Family<prometheus::Counter>& probes_;
    prometheus::Histogram& duration_;
    prometheus::Gauge& sessions_;
    prometheus::Gauge& reloadOk_;
    prometheus::Gauge& reloadTime_;
};

}  // namespace vorl::exporter
