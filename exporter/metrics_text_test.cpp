// A probe's page stays valid whatever the card sends: label values become valid UTF-8 (only
// the bytes that are not are escaped), and readings that would be one series twice are told
// apart.
#include "exporter/metrics_text.h"

#include <gtest/gtest.h>

namespace vorl::exporter {
namespace {

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(MetricsText, LabelValuesAreValidUtf8WithOnlyTheBadBytesEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"Fan 1", "Fan 1"},
        {"Temp\xE9rature", "Temp\\xE9rature"},                   // Latin-1
        {"Fans \xE2\x80\x94 front", "Fans \xE2\x80\x94 front"},  // U+2014 stays
        {"\xF0\x9F\x8C\xA1", "\xF0\x9F\x8C\xA1"},                // four bytes, U+1F321
        {"a\x01"
         "b\x7F",
         "a\\x01b\\x7F"},                              // control characters
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong '/'
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},           // overlong, three bytes
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
        {"\xE2\x80", "\\xE2\\x80"},                    // cut short at the end
        {"\xE2\x80x", "\\xE2\\x80x"},                  // cut short before ASCII
        {"\x80\xBF", "\\x80\\xBF"},                    // continuation bytes alone
    };
    for (const auto& [raw, escaped] : cases) EXPECT_EQ(escaped, labelText(raw)) << escaped;
}

TEST(MetricsText, SensorsByKindAndSameNamedReadingsToldApart) {
    CardReading reading;
    reading.results.push_back({cardread::kSensors, true, 0.01, 0});
    reading.sensors = {
        {"Temp", "CPU", "celsius", 41, true},     {"Temp", "CPU", "celsius", 43, true},
        {"Temp", "Room", "kelvin", 300.15, true}, {"Fans", "Fan 1", "rpm", 5400, true},
        {"Air", "Flow", "CFM", 12, true},         {"Temp", "Bay", "celsius", 0, false}};
    const std::string text = cardMetricsText(reading);
    for (const char* line : {
             "vorl_temperature_celsius{group=\"Temp\",sensor=\"CPU\",index=\"1\"} 41\n",
             "vorl_temperature_celsius{group=\"Temp\",sensor=\"CPU\",index=\"2\"} 43\n",
             "vorl_temperature_celsius{group=\"Temp\",sensor=\"Room\"} 27\n",
             "vorl_fan_speed_rpm{group=\"Fans\",sensor=\"Fan 1\"} 5400\n",
             "vorl_sensor_value{group=\"Air\",sensor=\"Flow\",unit=\"CFM\"} 12\n",
             "vorl_sensor_reading_ok{group=\"Temp\",sensor=\"CPU\",index=\"2\"} 1\n",
             "vorl_sensor_reading_ok{group=\"Temp\",sensor=\"Bay\"} 0\n",
         })
        EXPECT_NE(std::string::npos, text.find(line)) << line << text;
    // A sensor the card could not read has no value, only its reading_ok; one family per kind
    // however many units map to it.
    EXPECT_EQ(1u, occurrences(text, "sensor=\"Bay\""));
    EXPECT_EQ(1u, occurrences(text, "# TYPE vorl_temperature_celsius gauge"));
}

}  // namespace
}  // namespace vorl::exporter
