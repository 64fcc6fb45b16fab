#pragma once
// Card health (0x01), sensor service (0x02), server power (0x03) and advanced settings (0x0C)
// of the simulated card.
// - 0x0100 answers a fixed table of the card's six voltages.
// - The sensor service reads its description from /k8sdk/k8sdk.dat in the flash group's file
//   store (format: sim_sensor_description.h) when the card starts and on 0x0201; 0x0202
//   answers the sensor stream, or an empty answer while no description is loaded; 0x0200
//   deletes the file and stops the sensors. A card that starts with no valid, non-empty file
//   there gets the factory description; --sensor-description=FILE gives it FILE's instead.
// - 0x0300 powers the server up or down, resets or power-cycles it (the last two only while it
//   is on, else 28) and logs an event for each action in the event log (module 3, event = the
//   action, severity information).
// - 0x0C00..0x0C0B: PPP addresses, the modem ports "ttyS2" and "ttyS3" (another port: 20; empty
//   fields of a write keep their value; a speed other than 9600/19200/38400/57600: 28), ASR
//   (state and method 1 or 2, else 28), the I2C slave address and the IPMI settings. Every
//   write must carry its exact record size (else 28).
// State file: advanced.conf in the state directory.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cardsim/sim_group.h"
#include "protocol/sensor_tree.h"

namespace vorl::sim {

class SimCard;

class SimAdvancedGroup : public SimGroup {
public:
    static constexpr const char* kFileName = "advanced.conf";
    static constexpr const char* kSdkPath = "/k8sdk/k8sdk.dat";

    struct Modem {
        std::string speed, init, phone;
    };

    // `card` (may be null in tests) gives the file store and the event log.
    explicit SimAdvancedGroup(SimCard* card);

    bool handles(uint16_t command) const override;
    void handle(const SimRequest& request, SimReply& reply) override;
    void setDefaults() override;
    void load(const std::filesystem::path& dir) override;
    void save(const std::filesystem::path& dir) const override;

    // The card starts with this description in its file store instead of the one it has (or
    // the factory's): vorlsim --sensor-description=FILE.
    void startWithDescription(std::vector<uint8_t> description);

    bool serverPoweredOn() const { return powerOn_; }
    bool sensorsLoaded() const { return sensorsLoaded_; }
    const SensorTree& sensors() const { return sensors_; }

private:
    void handleSensors(const SimRequest& request, SimReply& reply);
    uint16_t powerControl(const SimRequest& request);
    void handleSettings(const SimRequest& request, SimReply& reply);
    uint16_t readModem(const SimRequest& request, SimReply& reply) const;
    uint16_t writeModem(const SimRequest& request);
    void health(SimReply& reply) const;
    void restartSensorService();
    const std::vector<uint8_t>* sdkFile() const;
    void setSdkFile(std::vector<uint8_t> content);

    SimCard* card_;
    bool started_ = false;
    std::vector<uint8_t> ownSdkFile_;  // used only when the card has no file store
    std::vector<uint8_t> startDescription_;
    SensorTree sensors_;
    bool sensorsLoaded_ = false;
    bool powerOn_ = true;
    std::string pppServer_, pppClient_;
    Modem modems_[2];  // ttyS2, ttyS3
    uint8_t asrState_ = 2, asrMethod_ = 2;
    uint16_t asrDelay_ = 240;
    uint8_t i2cAddress_ = 0x10;
    std::array<uint8_t, 17> ipmi_{};
};

}  // namespace vorl::sim
