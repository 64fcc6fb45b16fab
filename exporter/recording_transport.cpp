#include "exporter/recording_transport.h"

#include "wire/command_header.h"

namespace vorl::exporter {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

RecordingTransport::RecordingTransport(std::unique_ptr<NetworkTransport> network, ProbeLog* log)
    : network_(std::move(network)), log_(log) {
    if (log_ != nullptr) log_->exchanges.reserve(ProbeLog::kMaxExchanges);
}

int RecordingTransport::connect() {
    const auto start = Clock::now();
    const int result = network_->connect();
    const char* failure = network_->lastFailure();
    connectFailure_ = result == 0 ? "" : (failure != nullptr ? failure : "connect failed");
    if (log_ != nullptr) {
        log_->connectTried = true;
        log_->connected = result == 0;
        log_->connectSeconds = secondsBetween(start, Clock::now());
        log_->connectFailure = connectFailure_;
    }
    return result;
}

int RecordingTransport::disconnect() {
    return network_->disconnect();
}

int RecordingTransport::transact(const uint8_t* request, uint32_t& responseLength,
                                 uint8_t* response, uint32_t waitPolls) {
    const auto start = Clock::now();
    lastCommand_ = CommandHeader::commandCode(request);
    const int result = network_->transact(request, responseLength, response, waitPolls);
    if (result != 0) noteFailure();
    if (log_ != nullptr) {
        CardExchange exchange;
        exchange.command = lastCommand_;
        exchange.requestBytes =
            static_cast<uint32_t>(CommandHeader::kSize + CommandHeader::payloadLength(request));
        exchange.result = result;
        if (result == 0 && responseLength >= CommandHeader::kSize) {
            exchange.status = CommandHeader::status(response);
            exchange.responseBytes = responseLength;
        } else if (result != 0) {
            const char* failure = network_->lastFailure();
            exchange.failure = failure != nullptr ? failure : "the exchange failed";
        }
        exchange.startSeconds = secondsBetween(log_->start, start);
        exchange.seconds = secondsBetween(start, Clock::now());
        record(exchange);
    }
    return result;
}

int RecordingTransport::receiveNextResponse(uint32_t& responseLength, uint8_t* response,
                                            uint32_t waitPolls) {
    const auto start = Clock::now();
    const int result = network_->receiveNextResponse(responseLength, response, waitPolls);
    if (result != 0) noteFailure();
    if (log_ != nullptr) {
        CardExchange exchange;
        exchange.command = lastCommand_;
        exchange.result = result;
        exchange.followUp = true;
        if (result == 0 && responseLength >= CommandHeader::kSize) {
            exchange.status = CommandHeader::status(response);
            exchange.responseBytes = responseLength;
        } else if (result != 0) {
            const char* failure = network_->lastFailure();
            exchange.failure = failure != nullptr ? failure : "no answer followed a stale one";
        }
        exchange.startSeconds = secondsBetween(log_->start, start);
        exchange.seconds = secondsBetween(start, Clock::now());
        record(exchange);
    }
    return result;
}

void RecordingTransport::noteFailure() {
    if (exchangeFailed_) return;
    exchangeFailed_ = true;
    failedCommand_ = lastCommand_;
    const char* failure = network_->lastFailure();
    exchangeFailure_ = failure != nullptr ? failure : "the exchange failed";
}

void RecordingTransport::record(const CardExchange& exchange) {
    if (log_->exchanges.size() < ProbeLog::kMaxExchanges)
        log_->exchanges.push_back(exchange);
    else
        ++log_->dropped;
}

}  // namespace vorl::exporter
