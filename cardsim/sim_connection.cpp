#include "cardsim/sim_connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "cardsim/sim_packet_reader.h"
#include "wire/command_header.h"
#include "wire/status_codes.h"

namespace vorl::sim {

SimConnection::SimConnection(platform::TcpSocket& socket, SimCard& card, const SimFaults& faults,
                             SimRequestCounter& requests, std::function<void(bool)> restartCard)
    : socket_(socket),
      card_(card),
      faults_(faults),
      requests_(requests),
      restartCard_(std::move(restartCard)),
      session_(card),
      generation_(card.generation()),
      request_(CommandHeader::kMaxPacket),
      response_(faults.strayBytes + CommandHeader::kMaxPacket) {
    const std::vector<uint8_t> stray = faults.strayPrefix();
    if (!stray.empty()) std::memcpy(response_.data(), stray.data(), stray.size());
}

void SimConnection::run() {
    while (true) {
        const ReadResult result = readRequest(socket_, request_.data());
        if (result == ReadResult::Closed || result == ReadResult::TooLong) break;
        // The card restarted (through another link) since this connection was opened.
        if (card_.generation() != generation_) break;
        const uint16_t command = CommandHeader::commandCode(request_.data());
        // A card stalled in the middle of an answer reads on but never speaks again.
        if (stalled_) continue;
        if (result == ReadResult::BadChecksum) {
            if (!sendResponse(command, kStatusChecksumError, 0, !faults_.counted(command))) break;
            continue;
        }
        if (!serveOne(command, request_.data() + CommandHeader::kSize,
                      CommandHeader::payloadLength(request_.data())))
            break;
    }
}

bool SimConnection::serveOne(uint16_t command, const uint8_t* payload, uint32_t length) {
    const bool faulty = !faults_.counted(command) || faults_.hits(command, requests_.next(command));
    const auto forced = faults_.forceStatus.find(command);
    if (faulty && forced != faults_.forceStatus.end())
        return sendResponse(command, forced->second, 0, faulty);

    SimRequest request;
    request.command = command;
    request.payload = payload;
    request.length = length;
    request.link = Link::Network;
    SimReply reply;
    reply.payload = response_.data() + faults_.strayBytes + CommandHeader::kSize;
    session_.handle(request, reply);

    bool keepOpen = true;
    if (reply.sendOverNetwork) keepOpen = sendResponse(command, reply.status, reply.length, faulty);
    if (reply.after != AfterReply::Nothing) {
        restartCard_(reply.after == AfterReply::RestartWithDefaults);
        return false;
    }
    return keepOpen;
}

bool SimConnection::sendResponse(uint16_t command, uint16_t status, uint32_t length, bool faulty) {
    if (length > CommandHeader::kMaxPayload) length = CommandHeader::kMaxPayload;
    uint8_t* header = response_.data() + faults_.strayBytes;
    CommandHeader::buildResponse(header, command, status, length);
    if (!faulty)
        return socket_.sendAll(response_.data(),
                               faults_.strayBytes + CommandHeader::kSize + length);
    if (faults_.badChecksum.count(command)) ++header[CommandHeader::kChecksumOffset];
    if (faults_.noReply.count(command)) return true;
    const auto delay = faults_.replyDelayMs.find(command);
    if (delay != faults_.replyDelayMs.end())
        std::this_thread::sleep_for(std::chrono::milliseconds(delay->second));
    const size_t packet = faults_.strayBytes + CommandHeader::kSize + length;
    const auto stall = faults_.stallAfterBytes.find(command);
    if (stall != faults_.stallAfterBytes.end()) {
        stalled_ = true;
        return socket_.sendAll(response_.data(), std::min<size_t>(stall->second, packet));
    }
    if (faults_.halfReply.count(command)) {
        socket_.sendAll(response_.data(), faults_.strayBytes + (CommandHeader::kSize + length) / 2);
        return false;
    }
    return socket_.sendAll(response_.data(), packet);
}

}  // namespace vorl::sim
