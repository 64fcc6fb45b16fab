#include "platform/sim_device.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/deadline.h"
#include "platform/device_link_wire.h"
#include "platform/sockets.h"

namespace vorl::platform {
namespace {

constexpr uint32_t kLinkGone = 1167;  // ERROR_DEVICE_NOT_CONNECTED, as a real drive reports

uint32_t getLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct AnswerHead {
    uint8_t result = devlink::kResultRefused;
    uint8_t scsiStatus = 0;
    uint32_t moved = 0;
    uint32_t dataLength = 0;
};

// A link that stops answering is given up like a device whose request timed out.
bool receiveHead(TcpSocket& socket, AnswerHead& head, uint32_t milliseconds) {
    uint8_t raw[devlink::kAnswerHeadSize];
    if (!socket.receiveAllWithin(raw, sizeof raw, milliseconds)) return false;
    head.result = raw[0];
    head.scsiStatus = raw[1];
    head.moved = getLe32(raw + 4);
    head.dataLength = getLe32(raw + 8);
    return true;
}

class SimDevice : public ScsiDevice {
public:
    explicit SimDevice(TcpSocket socket) : socket_(std::move(socket)) {}

    PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                  uint32_t size, DataDirection direction,
                                  uint32_t timeoutSeconds) override {
        PassThroughResult result;
        result.platformError = kLinkGone;
        if (!socket_.isOpen() || cdbLength == 0 || cdbLength > 16 || size > devlink::kMaxTransfer) {
            result.platformError = 87;  // ERROR_INVALID_PARAMETER
            return result;
        }
        uint8_t head[devlink::kRequestHeadSize] = {};
        head[0] = devlink::kOpPassThrough;
        head[2] = static_cast<uint8_t>(direction);
        head[3] = cdbLength;
        std::memcpy(head + 4, cdb, cdbLength);
        putLe32(head + 20, size);
        putLe32(head + 24, timeoutSeconds);
        const bool toDevice = direction == DataDirection::ToDevice;
        // The request's own timeout, and never longer than any wait for the card.
        const uint64_t requested = uint64_t{timeoutSeconds} * 1000;
        const uint32_t waitMs = requested < answerWaitLimitMs() ? static_cast<uint32_t>(requested)
                                                                : answerWaitLimitMs();
        AnswerHead answer;
        if (!socket_.sendAll(head, sizeof head) || (toDevice && !socket_.sendAll(buffer, size)) ||
            !receiveHead(socket_, answer, waitMs)) {
            socket_.close();
            return result;
        }
        // The link never sends more than was asked for; if it does, it is out of step.
        if (answer.dataLength > (toDevice ? 0 : size) || answer.moved > size) {
            socket_.close();
            return result;
        }
        if (answer.dataLength > 0 && !socket_.receiveAllWithin(buffer, answer.dataLength, waitMs)) {
            socket_.close();
            return result;
        }
        if (answer.result != devlink::kResultDone) {
            result.platformError = 50;  // ERROR_NOT_SUPPORTED, what a plain drive answers
            return result;
        }
        result.refused = false;
        result.platformError = 0;
        result.scsiStatus = answer.scsiStatus;
        result.bytesMoved = answer.moved;
        return result;
    }

private:
    TcpSocket socket_;
};

class SimDeviceBackend : public DeviceBackend {
public:
    SimDeviceBackend(uint32_t address, uint16_t port) : address_(address), port_(port) {
        startNetworking();
    }

    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        std::string list;
        if (!fetchList(list)) return 0;
        std::string out;
        for (size_t at = 0; at < list.size();) {
            const std::string entry = list.c_str() + at;
            at += entry.size() + 1;
            if (at > list.size()) break;
            const std::string target = list.c_str() + at;
            at += target.size() + 1;
            if (name == nullptr) {
                out.append(entry).push_back('\0');
            } else if (entry == name) {
                out.append(target).push_back('\0');
                break;
            }
        }
        if (name != nullptr && out.empty()) return 0;
        out.push_back('\0');
        if (out.size() > capacity) return kDeviceQueryTooSmall;
        std::memcpy(buffer, out.data(), out.size());
        return static_cast<long>(out.size());
    }

    std::unique_ptr<ScsiDevice> openDevice(const char* path) override {
        // "\\.\E:" names drive E.
        if (std::strlen(path) != 6 || std::strncmp(path, "\\\\.\\", 4) != 0 || path[5] != ':')
            return nullptr;
        TcpSocket socket;
        uint8_t head[devlink::kRequestHeadSize] = {};
        head[0] = devlink::kOpOpen;
        head[1] = static_cast<uint8_t>(path[4]);
        AnswerHead answer;
        if (!connectLink(socket) || !socket.sendAll(head, sizeof head) ||
            !receiveHead(socket, answer, answerWaitLimitMs()) || answer.dataLength != 0 ||
            answer.result != devlink::kResultDone)
            return nullptr;
        return std::make_unique<SimDevice>(std::move(socket));
    }

private:
    bool connectLink(TcpSocket& socket) {
        return socket.open() && socket.connect(address_, port_) == SocketError::None;
    }

    bool fetchList(std::string& list) {
        TcpSocket socket;
        uint8_t head[devlink::kRequestHeadSize] = {};
        head[0] = devlink::kOpList;
        AnswerHead answer;
        if (!connectLink(socket) || !socket.sendAll(head, sizeof head) ||
            !receiveHead(socket, answer, answerWaitLimitMs()) ||
            answer.result != devlink::kResultDone || answer.dataLength > devlink::kMaxListData)
            return false;
        list.resize(answer.dataLength);
        if (answer.dataLength > 0 &&
            !socket.receiveAllWithin(list.data(), answer.dataLength, answerWaitLimitMs()))
            return false;
        if (!list.empty() && list.back() != '\0') list.push_back('\0');
        return true;
    }

    uint32_t address_;
    uint16_t port_;
};

}  // namespace

bool parseSimDeviceAddress(const char* text, uint32_t& addressNetworkOrder, uint16_t& port) {
    if (text == nullptr || std::strncmp(text, "sim:", 4) != 0) return false;
    const std::string rest = text + 4;
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= rest.size()) return false;
    const std::string host = rest.substr(0, colon);
    const std::string portText = rest.substr(colon + 1);
    if (portText.find_first_not_of("0123456789") != std::string::npos || portText.size() > 5)
        return false;
    const unsigned long value = std::strtoul(portText.c_str(), nullptr, 10);
    if (value == 0 || value > 65535) return false;
    if (!parseIpv4(host.c_str(), addressNetworkOrder)) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

std::unique_ptr<ScsiDevice> makeSimDevice(TcpSocket connection) {
    return std::make_unique<SimDevice>(std::move(connection));
}

std::unique_ptr<DeviceBackend> makeSimDeviceBackend(uint32_t addressNetworkOrder, uint16_t port) {
    return std::make_unique<SimDeviceBackend>(addressNetworkOrder, port);
}

}  // namespace vorl::platform
