#include "cardsim/sim_advanced_group.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <type_traits>

#include "cardsim/sim_card.h"
#include "cardsim/sim_event_log_group.h"
#include "cardsim/sim_flash_group.h"
#include "cardsim/sim_groups.h"
#include "cardsim/sim_sensor_description.h"
#include "cardsim/sim_settings_file.h"
#include "protocol/text_field.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kHealth = 0x0100;
constexpr uint16_t kDeleteSdk = 0x0200;
constexpr uint16_t kRestartSensors = 0x0201;
constexpr uint16_t kReadSensors = 0x0202;
constexpr uint16_t kPower = 0x0300;
constexpr uint16_t kGetPpp = 0x0C00;
constexpr uint16_t kSetPpp = 0x0C01;
constexpr uint16_t kGetModem = 0x0C02;
constexpr uint16_t kSetModem = 0x0C03;
constexpr uint16_t kGetAsr = 0x0C06;
constexpr uint16_t kSetAsr = 0x0C07;
constexpr uint16_t kGetI2c = 0x0C08;
constexpr uint16_t kSetI2c = 0x0C09;
constexpr uint16_t kGetIpmi = 0x0C0A;
constexpr uint16_t kSetIpmi = 0x0C0B;

constexpr size_t kModemRecord = 140;
constexpr const char* kPorts[2] = {"ttyS2", "ttyS3"};

struct Voltage {
    const char* name;
    uint32_t millivolts;
};
constexpr Voltage kVoltages[6] = {{"VCC 3.3V", 3296}, {"VCC 5V", 5012},   {"VCC 1.8V", 1801},
                                  {"VCC 2.5V", 2493}, {"VCC 1.2V", 1198}, {"Battery 3V", 3050}};

const char* powerEventText(uint8_t action) {
    switch (action) {
        case 1:
            return "Server reset by host request";
        case 2:
            return "Server powered down by host request";
        case 3:
            return "Server powered up by host request";
        default:
            return "Server power cycled by host request";
    }
}

int portIndex(const std::string& port) {
    for (int i = 0; i < 2; ++i)
        if (port == kPorts[i]) return i;
    return -1;
}

bool validSpeed(const std::string& s) {
    return s == "9600" || s == "19200" || s == "38400" || s == "57600";
}

std::string hexText(const std::string& text) {
    return toHex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

std::unique_ptr<SimGroup> makeAdvancedGroup(SimCard& card, SimOptions& options) {
    auto group = std::make_unique<SimAdvancedGroup>(&card);
    if (const auto path = options.take("sensor-description")) {
        std::ifstream in(*path, std::ios::binary);
        std::vector<uint8_t> text;
        if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        SensorTree tree;
        if (text.empty() || !parseSensorDescription(text, tree)) {
            std::fprintf(stderr,
                         "vorlsim: --sensor-description needs a readable sensor "
                         "description file (VORL-SDK 1)\n");
            std::exit(2);
        }
        group->startWithDescription(text);
    }
    return group;
}

SimAdvancedGroup::SimAdvancedGroup(SimCard* card) : card_(card) {}

void SimAdvancedGroup::startWithDescription(std::vector<uint8_t> description) {
    startDescription_ = std::move(description);
}

bool SimAdvancedGroup::handles(uint16_t command) const {
    const int group = command >> 8;
    return group == 0x01 || group == 0x02 || group == 0x03 || group == 0x0C;
}

void SimAdvancedGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.status = kStatusSuccess;
    reply.length = 0;
    switch (request.command >> 8) {
        case 0x01:
            if (request.command == kHealth)
                health(reply);
            else
                reply.status = kStatusUnsupported;
            break;
        case 0x02:
            handleSensors(request, reply);
            break;
        case 0x03:
            reply.status = request.command == kPower ? powerControl(request)
                                                     : static_cast<uint16_t>(kStatusUnsupported);
            reply.stateChanged = reply.status == kStatusSuccess;
            break;
        default:
            handleSettings(request, reply);
            break;
    }
}

void SimAdvancedGroup::health(SimReply& reply) const {
    for (size_t i = 0; i < 6; ++i) {
        uint8_t* entry = reply.payload + 136 * i;
        putTextField(entry, 80, kVoltages[i].name);
        putBe32(entry + 80, kVoltages[i].millivolts);
        putBe32(entry + 84, kVoltages[i].millivolts * 95 / 100);   // lower limit
        putBe32(entry + 88, kVoltages[i].millivolts * 105 / 100);  // upper limit
        putTextField(entry + 104, 32, "Normal");
    }
    reply.length = 816;
}

const std::vector<uint8_t>* SimAdvancedGroup::sdkFile() const {
    if (card_) {
        if (auto* flash = card_->group<SimFlashGroup>()) return flash->file(kSdkPath);
    }
    return &ownSdkFile_;
}

void SimAdvancedGroup::setSdkFile(std::vector<uint8_t> content) {
    SimFlashGroup* flash = card_ ? card_->group<SimFlashGroup>() : nullptr;
    if (!flash) {
        ownSdkFile_ = std::move(content);
        return;
    }
    flash->setFile(kSdkPath, std::move(content));
    // The file store is the flash group's state: write it out now, as its own commands do.
    if (!card_->stateDir().empty()) flash->save(card_->stateDir());
}

void SimAdvancedGroup::restartSensorService() {
    const std::vector<uint8_t>* file = sdkFile();
    sensorsLoaded_ = file && !file->empty() && parseSensorDescription(*file, sensors_);
    if (!sensorsLoaded_) sensors_ = SensorTree{};
}

void SimAdvancedGroup::handleSensors(const SimRequest& request, SimReply& reply) {
    switch (request.command) {
        case kDeleteSdk:
            setSdkFile({});
            sensors_ = SensorTree{};
            sensorsLoaded_ = false;
            break;
        case kRestartSensors:
            restartSensorService();
            break;
        case kReadSensors:
            if (sensorsLoaded_) {
                reply.length = static_cast<uint32_t>(
                    encodeSensorStream(sensors_, reply.payload, CommandHeader::kMaxPayload));
            }
            break;
        default:
            reply.status = kStatusUnsupported;
    }
}

uint16_t SimAdvancedGroup::powerControl(const SimRequest& request) {
    if (request.length != 1) return kStatusInvalidArgument;
    const uint8_t action = request.payload[0];
    if (action < 1 || action > 4) return kStatusInvalidArgument;
    if ((action == 1 || action == 4) && !powerOn_) return kStatusInvalidArgument;
    powerOn_ = action != 2;
    if (card_) {
        if (auto* log = card_->group<SimEventLogGroup>()) {
            // The log is another group's state; it is saved with it.
            if (log->logEvent(static_cast<uint16_t>(0x0300 | action), 2, powerEventText(action)) &&
                !card_->stateDir().empty())
                log->save(card_->stateDir());
        }
    }
    return kStatusSuccess;
}

uint16_t SimAdvancedGroup::readModem(const SimRequest& request, SimReply& reply) const {
    if (request.length != kModemRecord) return kStatusInvalidArgument;
    const int port = portIndex(getTextField(request.payload, 32));
    if (port < 0) return kStatusNoSuchDevice;
    const Modem& modem = modems_[port];
    putTextField(reply.payload, 32, kPorts[port]);
    putTextField(reply.payload + 32, 12, modem.speed);
    putTextField(reply.payload + 44, 64, modem.init);
    putTextField(reply.payload + 108, 32, modem.phone);
    reply.length = kModemRecord;
    return kStatusSuccess;
}

uint16_t SimAdvancedGroup::writeModem(const SimRequest& request) {
    if (request.length != kModemRecord) return kStatusInvalidArgument;
    const int port = portIndex(getTextField(request.payload, 32));
    if (port < 0) return kStatusNoSuchDevice;
    const std::string speed = getTextField(request.payload + 32, 12);
    const std::string init = getTextField(request.payload + 44, 64);
    const std::string phone = getTextField(request.payload + 108, 32);
    if (!speed.empty() && !validSpeed(speed)) return kStatusInvalidArgument;
    if (init.size() > 60 || phone.size() > 30) return kStatusInvalidArgument;
    Modem& modem = modems_[port];
    if (!speed.empty()) modem.speed = speed;
    if (!init.empty()) modem.init = init;
    if (!phone.empty()) modem.phone = phone;
    return kStatusSuccess;
}

void SimAdvancedGroup::handleSettings(const SimRequest& request, SimReply& reply) {
    const uint8_t* in = request.payload;
    uint8_t* out = reply.payload;
    auto sized = [&](uint32_t size) { return request.length == size; };
    uint16_t status = kStatusSuccess;
    switch (request.command) {
        case kGetPpp:
            putTextField(out, 32, pppServer_);
            putTextField(out + 32, 32, pppClient_);
            reply.length = 64;
            break;
        case kSetPpp:
            if (!sized(64)) return void(reply.status = kStatusInvalidArgument);
            pppServer_ = getTextField(in, 32);
            pppClient_ = getTextField(in + 32, 32);
            break;
        case kGetModem:
            status = readModem(request, reply);
            break;
        case kSetModem:
            status = writeModem(request);
            break;
        case kGetAsr:
            out[0] = asrState_;
            out[1] = asrMethod_;
            putBe16(out + 2, asrDelay_);
            reply.length = 4;
            break;
        case kSetAsr:
            if (!sized(4) || in[0] < 1 || in[0] > 2 || in[1] < 1 || in[1] > 2)
                return void(reply.status = kStatusInvalidArgument);
            asrState_ = in[0];
            asrMethod_ = in[1];
            asrDelay_ = getBe16(in + 2);
            break;
        case kGetI2c:
            out[0] = i2cAddress_;
            reply.length = 1;
            break;
        case kSetI2c:
            if (!sized(1)) return void(reply.status = kStatusInvalidArgument);
            i2cAddress_ = in[0];
            break;
        case kGetIpmi:
            std::memcpy(out, ipmi_.data(), ipmi_.size());
            reply.length = 17;
            break;
        case kSetIpmi:
            if (!sized(17)) return void(reply.status = kStatusInvalidArgument);
            std::memcpy(ipmi_.data(), in, ipmi_.size());
            break;
        default:
            status = kStatusUnsupported;
    }
    reply.status = status;
    const bool write = (request.command & 1) != 0;
    reply.stateChanged = write && status == kStatusSuccess;
}

void SimAdvancedGroup::setDefaults() {
    if (!started_) {
        started_ = true;
        const std::vector<uint8_t>* file = sdkFile();
        SensorTree probe;
        if (!startDescription_.empty()) {
            setSdkFile(startDescription_);
        } else if (!file || (!file->empty() && !parseSensorDescription(*file, probe))) {
            const std::string text = factorySensorDescription();
            setSdkFile(std::vector<uint8_t>(text.begin(), text.end()));
        }
    }
    restartSensorService();
    powerOn_ = true;
    pppServer_ = "192.168.100.1";
    pppClient_ = "192.168.100.2";
    modems_[0] = Modem{"57600", "ATZ", ""};
    modems_[1] = Modem{"9600", "ATZ", ""};
    asrState_ = 2;
    asrMethod_ = 2;
    asrDelay_ = 240;
    i2cAddress_ = 0x10;
    ipmi_.fill(0);
    ipmi_[4] = 0x20;
}

void SimAdvancedGroup::load(const std::filesystem::path& dir) {
    const SettingsMap settings = readSettingsFile(dir / kFileName);
    auto text = [&](const std::string& key, std::string& out) {
        auto it = settings.find(key);
        std::vector<uint8_t> raw;
        if (it != settings.end() && fromHex(it->second, raw)) out.assign(raw.begin(), raw.end());
    };
    auto number = [&](const std::string& key, auto& out, int64_t low, int64_t high) {
        auto it = settings.find(key);
        int64_t value = 0;
        if (it != settings.end() && parseDecimal(it->second, value) && value >= low &&
            value <= high)
            out = static_cast<std::remove_reference_t<decltype(out)>>(value);
    };
    number("power_on", powerOn_, 0, 1);
    text("ppp.server", pppServer_);
    text("ppp.client", pppClient_);
    for (int i = 0; i < 2; ++i) {
        const std::string prefix = std::string("modem.") + kPorts[i] + ".";
        text(prefix + "speed", modems_[i].speed);
        text(prefix + "init", modems_[i].init);
        text(prefix + "phone", modems_[i].phone);
    }
    number("asr.state", asrState_, 1, 2);
    number("asr.method", asrMethod_, 1, 2);
    number("asr.delay", asrDelay_, 0, 65535);
    number("i2c.address", i2cAddress_, 0, 255);
    auto ipmi = settings.find("ipmi");
    std::vector<uint8_t> raw;
    if (ipmi != settings.end() && fromHex(ipmi->second, raw) && raw.size() == ipmi_.size())
        std::memcpy(ipmi_.data(), raw.data(), raw.size());
}

void SimAdvancedGroup::save(const std::filesystem::path& dir) const {
    SettingsMap settings;
    settings["power_on"] = powerOn_ ? "1" : "0";
    settings["ppp.server"] = hexText(pppServer_);
    settings["ppp.client"] = hexText(pppClient_);
    for (int i = 0; i < 2; ++i) {
        const std::string prefix = std::string("modem.") + kPorts[i] + ".";
        settings[prefix + "speed"] = hexText(modems_[i].speed);
        settings[prefix + "init"] = hexText(modems_[i].init);
        settings[prefix + "phone"] = hexText(modems_[i].phone);
    }
    settings["asr.state"] = std::to_string(asrState_);
    settings["asr.method"] = std::to_string(asrMethod_);
    settings["asr.delay"] = std::to_string(asrDelay_);
    settings["i2c.address"] = std::to_string(i2cAddress_);
    settings["ipmi"] = toHex(ipmi_.data(), ipmi_.size());
    writeSettingsFile(dir / kFileName, settings);
}

}  // namespace vorl::sim
