// Every card's server is a Chassis: the health voltages and every sensor reading as Sensors
// (a sensor the card could not read has no Reading and a Status that says so), the older Thermal
// and Power resources that many clients still read, and the power state the event log tells.
#include "redfish/card_readings.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/sensor_views.h"

namespace vorl::redfish {
namespace {

std::string chassisUri(const std::string& id) {
    return std::string(kChassis) + "/" + id;
}

Json statusOf(const SensorView& sensor) {
    if (!sensor.reading) return {{"State", "UnavailableOffline"}, {"Health", "Warning"}};
    return {{"State", "Enabled"}, {"Health", sensor.healthy ? "OK" : "Warning"}};
}

Json sensorJson(const std::string& card, const SensorView& sensor) {
    Json json = {{"@odata.id", chassisUri(card) + "/Sensors/" + sensor.id},
                 {"@odata.type", odataType("Sensor")},
                 {"Id", sensor.id},
                 {"Name", sensor.name},
                 {"Status", statusOf(sensor)}};
    if (sensor.readingType) json["ReadingType"] = *sensor.readingType;
    json["ReadingUnits"] = sensor.units;
    if (sensor.reading) json["Reading"] = *sensor.reading;
    Json oem = {{"Group", sensor.group}};
    if (!sensor.cardStatus.empty()) oem["CardStatus"] = sensor.cardStatus;
    json["Oem"] = {{"Vorl", std::move(oem)}};
    return json;
}

// The card and its sensors; null after answering.
Card* readSensors(Exchange& ex, std::vector<SensorView>& sensors) {
    Card* card = ex.findCard(ex.param(0), "Chassis");
    if (card == nullptr) return nullptr;
    const auto reading = readEnvironment(ex, *card);
    if (!reading) return nullptr;
    sensors = sensorViews(*reading);
    return card;
}

void getChassisCollection(Exchange& ex) {
    std::vector<std::string> members;
    for (const auto& card : ex.parts.cards.cards()) members.push_back(chassisUri(card->link.id()));
    ex.ok(collection("ChassisCollection", kChassis, "Chassis Collection", members));
}

void getChassis(Exchange& ex) {
    std::vector<SensorView> sensors;
    Card* card = readSensors(ex, sensors);
    if (card == nullptr) return;
    const auto power = readPower(ex, *card);
    if (!power) return;
    const std::string& id = card->link.id();
    const std::string uri = chassisUri(id);
    Json chassis = {
        {"@odata.id", uri},
        {"@odata.type", odataType("Chassis")},
        {"Id", id},
        {"Name", "Server of VORL card " + id},
        {"ChassisType", "Other"},
        {"Status", {{"State", "Enabled"}, {"Health", healthOf(sensors)}}},
        {"Sensors", link(uri + "/Sensors")},
        {"Thermal", link(uri + "/Thermal")},
        {"Power", link(uri + "/Power")},
        {"Links",
         {{"ComputerSystems", {link(std::string(kSystems) + "/" + id)}},
          {"ManagedBy", {link(std::string(kManagers) + "/" + id)}},
          {"ManagersInChassis", {link(std::string(kManagers) + "/" + id)}}}},
    };
    if (power->on) chassis["PowerState"] = *power->on ? "On" : "Off";
    ex.ok(chassis);
}

void getSensors(Exchange& ex) {
    std::vector<SensorView> sensors;
    Card* card = readSensors(ex, sensors);
    if (card == nullptr) return;
    const std::string uri = chassisUri(card->link.id()) + "/Sensors";
    std::vector<std::string> members;
    for (const SensorView& sensor : sensors) members.push_back(uri + "/" + sensor.id);
    ex.ok(collection("SensorCollection", uri, "Sensors", members));
}

void getSensor(Exchange& ex) {
    std::vector<SensorView> sensors;
    Card* card = readSensors(ex, sensors);
    if (card == nullptr) return;
    for (const SensorView& sensor : sensors)
        if (sensor.id == ex.param(1)) return ex.ok(sensorJson(card->link.id(), sensor));
    ex.notFound("Sensor", ex.param(1));
}

void getThermal(Exchange& ex) {
    std::vector<SensorView> sensors;
    Card* card = readSensors(ex, sensors);
    if (card == nullptr) return;
    const std::string uri = chassisUri(card->link.id()) + "/Thermal";
    Json temperatures = Json::array();
    Json fans = Json::array();
    for (const SensorView& sensor : sensors) {
        if (sensor.readingType == "Temperature") {
            const std::string member = std::to_string(temperatures.size());
            Json json = {{"@odata.id", uri + "#/Temperatures/" + member},
                         {"MemberId", member},
                         {"Name", sensor.name},
                         {"Status", statusOf(sensor)}};
            if (sensor.reading) json["ReadingCelsius"] = *sensor.reading;
            temperatures.push_back(std::move(json));
        } else if (sensor.readingType == "Rotational") {
            const std::string member = std::to_string(fans.size());
            Json json = {{"@odata.id", uri + "#/Fans/" + member},
                         {"MemberId", member},
                         {"Name", sensor.name},
                         {"ReadingUnits", "RPM"},
                         {"Status", statusOf(sensor)}};
            if (sensor.reading) json["Reading"] = static_cast<int64_t>(*sensor.reading);
            fans.push_back(std::move(json));
        }
    }
    ex.ok({{"@odata.id", uri},
           {"@odata.type", odataType("Thermal")},
           {"Id", "Thermal"},
           {"Name", "Thermal"},
           {"Temperatures", std::move(temperatures)},
           {"Fans", std::move(fans)}});
}

void getPower(Exchange& ex) {
    std::vector<SensorView> sensors;
    Card* card = readSensors(ex, sensors);
    if (card == nullptr) return;
    const std::string uri = chassisUri(card->link.id()) + "/Power";
    Json voltages = Json::array();
    for (const SensorView& sensor : sensors) {
        if (sensor.readingType != "Voltage") continue;
        const std::string member = std::to_string(voltages.size());
        Json json = {
            {"@odata.id", uri + "#/Voltages/" + member},
            {"MemberId", member},
            {"Name", sensor.group == "Health" ? sensor.name : sensor.group + " " + sensor.name},
            {"Status", statusOf(sensor)}};
        if (sensor.reading) json["ReadingVolts"] = *sensor.reading;
        voltages.push_back(std::move(json));
    }
    ex.ok({{"@odata.id", uri},
           {"@odata.type", odataType("Power")},
           {"Id", "Power"},
           {"Name", "Power"},
           {"Voltages", std::move(voltages)}});
}

}  // namespace

void addChassisRoutes(Router& router) {
    const std::string chassis = std::string(kChassis) + "/{}";
    router.add(kChassis, "GET", kLogin, getChassisCollection);
    router.add(chassis, "GET", kLogin, getChassis);
    router.add(chassis + "/Sensors", "GET", kLogin, getSensors);
    router.add(chassis + "/Sensors/{}", "GET", kLogin, getSensor);
    router.add(chassis + "/Thermal", "GET", kLogin, getThermal);
    router.add(chassis + "/Power", "GET", kLogin, getPower);
}

}  // namespace vorl::redfish
