// Card health (0x01), sensor description and readings (0x02) and server power control (0x03).
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/record_exchange.h"
#include "protocol/sensor_tree.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kGetCardHealth = 0x0100;
constexpr uint16_t kDeleteSdk = 0x0200;
constexpr uint16_t kRestartSensorService = 0x0201;
constexpr uint16_t kReadSensors = 0x0202;
constexpr uint16_t kHostControl = 0x0300;
constexpr const char* kSdkCardPath = "/k8sdk/k8sdk.dat";

// The answer of these commands is not used; room for a short one keeps it from counting as a
// failure.
constexpr uint32_t kUnusedAnswerCapacity = 256;
}  // namespace

int CardSession::getCardHealth(CardHealth& health) {
    return fetchRecord(*this, kGetCardHealth, health);
}

int CardSession::deleteSdk() {
    return sendEmpty<kUnusedAnswerCapacity>(*this, kDeleteSdk);
}

int CardSession::restartSensorService() {
    return sendEmpty<kUnusedAnswerCapacity>(*this, kRestartSensorService);
}

int CardSession::readSensors(uint8_t* buffer, uint32_t capacity, SensorTree& tree) {
    tree = SensorTree{};
    uint32_t responseLength = 0;
    const int status = transact(kReadSensors, buffer, 0, responseLength, 0, capacity);
    if (status != kStatusSuccess) return status;
    if (responseLength == 0) return kStatusGeneralError;
    return parseSensorStream(buffer, responseLength, tree);
}

int CardSession::uploadSdk(const char* hostFile) {
    int status = uploadFileToCard(hostFile, kSdkCardPath);
    if (status != kStatusSuccess) return status;
    status = saveSdk();
    if (status != kStatusSuccess) return status;
    return restartSensorService();
}

int CardSession::hostControl(uint8_t action) {
    uint8_t buffer[1] = {action};
    return sendFixed(*this, kHostControl, buffer, sizeof buffer, sizeof buffer);
}

}  // namespace vorl
