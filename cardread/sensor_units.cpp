#include "cardread/sensor_units.h"

#include "protocol/sensor_tree.h"

namespace vorl::cardread {

double sensorBaseValue(int32_t reading, uint8_t code, std::string& unit) {
    struct Conversion {
        uint8_t code;
        const char* unit;
        double multiply, divide;  // two steps, so that milli units divide exactly
    };
    static constexpr Conversion kConversions[] = {
        {1, "celsius", 1, 1e3},    {3, "kelvin", 1, 1},        {4, "volts", 1, 1e3},
        {5, "amperes", 1, 1},      {6, "watts", 1, 1},         {18, "rpm", 1, 1},
        {19, "hertz", 1, 1},       {20, "seconds", 1, 1e6},    {21, "seconds", 1, 1e3},
        {22, "seconds", 1, 1},     {23, "seconds", 60, 1},     {24, "seconds", 3600, 1},
        {25, "seconds", 86400, 1}, {26, "seconds", 604800, 1},
    };
    const double v = reading;
    if (code == 2) {  // milli degrees Fahrenheit
        unit = "celsius";
        return (v / 1000.0 - 32.0) * 5.0 / 9.0;
    }
    for (const Conversion& c : kConversions) {
        if (c.code == code) {
            unit = c.unit;
            return v * c.multiply / c.divide;
        }
    }
    unit = sensorUnitText(code);
    return v;
}

}  // namespace vorl::cardread
