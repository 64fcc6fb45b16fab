#pragma once
// A card's readings as Redfish sensors: the health voltages and every sensor of the sensor
// description, each with a stable id made from its names, its reading in the unit Redfish
// asks for (Cel, V, A, W, {rev}/min, Hz) and whether it could be read.
#include <optional>
#include <string>
#include <vector>

#include "cardread/card_reading.h"

namespace vorl::redfish {

struct SensorView {
    std::string id;     // "Health_3_3V", "Temperatures_CPU": letters, digits and "_"
    std::string name;   // as the card names it
    std::string group;  // the card's sensor group; "Health" for the voltages
    std::optional<std::string> readingType;  // absent for a unit Redfish has no type for
    std::string units;                       // UCUM, or the card's unit text
    std::optional<double> reading;           // absent: the card could not read the sensor
    bool healthy = true;                     // the card's status text (voltages) says all is well
    std::string cardStatus;                  // the voltages' status text as the card gives it
};

std::vector<SensorView> sensorViews(const cardread::CardReading& reading);

// "OK" when every sensor was read and is well, "Warning" otherwise.
const char* healthOf(const std::vector<SensorView>& sensors);

}  // namespace vorl::redfish
