// The advanced, server information, health, bus and power commands: words to records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/sensor_listing.h"
#include "cli/typed_numbers.h"
#include "protocol/card_session.h"
#include "protocol/sensor_tree.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

using test::FakeTransport;
using Bytes = std::vector<uint8_t>;
using Handler = int (*)(CardSession&, const Words&);
using ReportingHandler = int (*)(CardSession&, const Words&, Report&);

std::string textAt(const Bytes& bytes, size_t offset, size_t width) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset),
                       strnlen(reinterpret_cast<const char*>(bytes.data() + offset), width));
}

struct AdvancedCli : test::FakeSessionTest {
    std::string out;
    int run(Handler handler, const char* command, Words words) {
        words.insert(words.begin(), {"admin", command});
        ::testing::internal::CaptureStdout();
        const int result = handler(*session, words);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }
    // A group that reports its results: shown as text, as a console run shows them.
    int run(ReportingHandler handler, const char* command, Words words) {
        words.insert(words.begin(), {"admin", command});
        TextReport report;
        ::testing::internal::CaptureStdout();
        const int result = handler(*session, words, report);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }
    const Bytes& sent() const { return fake->requests.back().payload; }
};

TEST_F(AdvancedCli, ServerInfoPairs) {
    EXPECT_EQ(0, run(runSetServerInfo, "-setServerInfo",
                     {"-ServerName", "web1", "-serveros", "Linux", "trailing"}));
    ASSERT_EQ(1u, fake->requests.size());
    EXPECT_EQ(0x0904, fake->requests[0].command);
    EXPECT_EQ("web1", textAt(sent(), 0, 32));
    EXPECT_EQ("", textAt(sent(), 32, 32));
    EXPECT_EQ("Linux", textAt(sent(), 64, 32));
    EXPECT_EQ("Server Information set successfully\n", out);

    // The first pair of a keyword wins; a keyword in the last word has no value.
    EXPECT_EQ(0, run(runSetServerInfo, "-setServerInfo",
                     {"-ServerLocn", "rack 2", "-ServerLocn", "rack 9", "-ServerDesc"}));
    EXPECT_EQ("rack 2", textAt(sent(), 32, 32));
    EXPECT_EQ("", textAt(sent(), 96, 56));

    const size_t before = fake->requests.size();
    EXPECT_EQ(-1, run(runSetServerInfo, "-setServerInfo", {"-ServerName", "a", "-ServerOS", "b"}));
    const std::string longName(33, 'n');
    EXPECT_EQ(26, run(runSetServerInfo, "-setServerInfo",
                      {"-ServerName", longName.c_str(), "-ServerOS", "b", "x"}));
    EXPECT_EQ("Set Server Information Failed, Out of Range\n", out);
    EXPECT_EQ(before, fake->requests.size());
    const std::string description(56, 'd');
    EXPECT_EQ(0,
              run(runSetServerInfo, "-setServerInfo",
                  {"-ServerDesc", description.c_str(), "-ServerName", std::string(32, 'n'), "x"}));
}

TEST_F(AdvancedCli, ModemSetForms) {
    auto modem = [&](Words words) { return run(runModemCfg, "-ModemCfg", std::move(words)); };
    EXPECT_EQ(0, modem({"-set", "ttyS2", "-s", "9600"}));
    EXPECT_EQ(0x0C03, fake->requests.back().command);
    ASSERT_EQ(140u, sent().size());
    EXPECT_EQ("ttyS2", textAt(sent(), 0, 32));
    EXPECT_EQ("9600", textAt(sent(), 32, 12));
    EXPECT_EQ("", out);

    EXPECT_EQ(0, modem({"-set", "ttyS3", "-i", "ATZ", "-anything", "5551234"}));
    EXPECT_EQ("ATZ", textAt(sent(), 44, 64));
    EXPECT_EQ("5551234", textAt(sent(), 108, 32));
    EXPECT_EQ(0, modem({"-set", "ttyS3", "-S", "57600", "-p", "12"}));
    EXPECT_EQ("57600", textAt(sent(), 32, 12));
    EXPECT_EQ("12", textAt(sent(), 108, 32));
    EXPECT_EQ(0, modem({"-set", "ttyS2", "-s", "19200", "-i", "AT&F", "-p", "99"}));
    EXPECT_EQ("AT&F", textAt(sent(), 44, 64));
    EXPECT_EQ(0, modem({"-set", "ttyS2", "-x", "1", "-p", "2"}));  // nothing read
    EXPECT_EQ("", textAt(sent(), 108, 32));
    EXPECT_EQ(0, modem({"-set", "ttyS2", "-s"}));  // three words: port alone

    const size_t sentBefore = fake->requests.size();
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-s", "14400"}));
    EXPECT_EQ("Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n", out);
    EXPECT_EQ(-1, modem({"-set", "TTYS2", "-s", "9600"}));
    EXPECT_EQ("Device can be ttyS2 or ttyS3\n", out);
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-i", std::string(61, 'i')}));
    EXPECT_EQ("init string cannot be more than 60 characters\n", out);
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-p", std::string(31, '1')}));
    EXPECT_EQ("Phone number cannot be more than 30 characters\n", out);
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-q", "1"}));
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-s", "9600", "-q", "1"}));
    EXPECT_EQ(-1, modem({"-set", "ttyS2", "-i", "a", "-s", "9600", "-p", "1"}));
    EXPECT_EQ(-1, modem({"-get", std::string(32, 'd')}));
    EXPECT_EQ(-1, modem({"-frob"}));
    EXPECT_EQ(sentBefore, fake->requests.size());
}

TEST_F(AdvancedCli, ModemGetShowsBothPortsAndStopsAtTheFirstFailure) {
    Bytes answer(140, 0);
    std::memcpy(answer.data(), "ttyS2", 5);
    std::memcpy(answer.data() + 32, "57600", 5);
    fake->queue(0, answer);
    fake->queue(20);
    EXPECT_EQ(20, run(runModemCfg, "-ModemCfg", {"-get"}));
    EXPECT_EQ(
        "Serial Port : ttyS2\nSpeed       : 57600\nInit String : \nPhone Number: \n"
        "Error when getting Modem configuration!\n",
        out);
    fake->requests.clear();
    fake->queue(20);
    EXPECT_EQ(-1, run(runModemCfg, "-ModemCfg", {"-get"}));
    EXPECT_EQ(1u, fake->requests.size());
    fake->queue(20);
    EXPECT_EQ(20, run(runModemCfg, "-ModemCfg", {"-get", "ttyS7"}));
    EXPECT_EQ("ttyS7", textAt(sent(), 0, 32));
}

TEST_F(AdvancedCli, PppAddressesAreCheckedAndFailuresStillReturnZero) {
    EXPECT_EQ(0, run(runPppCfg, "-PppCfg", {"-set", "10.1.1.1", "10.1.1.2"}));
    EXPECT_EQ("10.1.1.2", textAt(sent(), 32, 32));
    const size_t before = fake->requests.size();
    EXPECT_EQ(-1, run(runPppCfg, "-PppCfg", {"-set", "10.1.1.300", "10.1.1.2"}));
    EXPECT_EQ("Invalid IP address !\n", out);
    EXPECT_EQ(-1,
              run(runPppCfg, "-PppCfg", {"-set", "10.1.1.1" + std::string(30, ' '), "1.2.3.4"}));
    EXPECT_EQ(before, fake->requests.size());
    fake->queue(5);
    EXPECT_EQ(0, run(runPppCfg, "-PppCfg", {"-set", "1.1.1.1", "2.2.2.2"}));
    EXPECT_EQ("Error when setting PPP server IPs !\n", out);
    fake->queue(5);
    EXPECT_EQ(5, run(runPppCfg, "-PppCfg", {"-get"}));
    EXPECT_EQ("Error when getting PPP server IPs !\n", out);
}

TEST_F(AdvancedCli, AsrDelays) {
    auto asr = [&](Words words) { return run(runAsrCfg, "-ASRCfg", std::move(words)); };
    EXPECT_EQ(0, asr({"-set", "ENABLED", "RESET", "10"}));
    EXPECT_EQ((Bytes{1, 2, 0x00, 0xF0}), sent());
    EXPECT_EQ(
        "Defaulting ASR delay to 240 seconds\n"
        "asr->asr_status: 1 asr->asr_method: 2 asr->asr_delay: 240\n",
        out);
    EXPECT_EQ(0, asr({"-SET", "disabled", "powercycle", "65535"}));
    EXPECT_EQ((Bytes{2, 1, 0xFF, 0xFF}), sent());
    EXPECT_EQ(0, asr({"-set", "ENABLED", "RESET", "-5"}));
    EXPECT_EQ((Bytes{1, 2, 0x00, 0xF0}), sent());
    EXPECT_EQ(0, asr({"-set", "DISABLED"}));
    EXPECT_EQ((Bytes{2, 2, 0x00, 0xF0}), sent());

    const size_t before = fake->requests.size();
    EXPECT_EQ(-1, asr({"-set", "ENABLED", "RESET", "65536"}));
    EXPECT_EQ(-1, asr({"-set", "ON", "RESET", "300"}));
    EXPECT_EQ(-1, asr({"-set", "ENABLED", "OFF", "300"}));
    EXPECT_EQ(-1, asr({"-set", "ENABLED"}));
    EXPECT_EQ("ASR method was not given !\n", out);
    EXPECT_EQ(-1, asr({"-get", "x"}));
    EXPECT_EQ(0, asr({"-frob"}));
    EXPECT_EQ(0, asr({"-get", "a", "b", "c"}));
    EXPECT_EQ(0, asr({}));
    EXPECT_EQ(before, fake->requests.size());

    fake->queue(0, {1, 1, 0x01, 0x2C});
    EXPECT_EQ(0, asr({"-get"}));
    EXPECT_EQ(
        "ASR Configuration : \nASR_STATE = ENABLED\nASR_METHOD = POWER_CYCLE\nASR_DELAY=300\n",
        out);
}

// Codes the word tables do not know read as the console shows them, and keep their numbers;
// a speed that is no number has no baud figure.
TEST_F(AdvancedCli, DataOfCardValuesOutsideTheWordTables) {
    JsonReport report;
    fake->queue(0, {3, 0, 0x01, 0x2C});
    EXPECT_EQ(0, runAsrCfg(*session, {"admin", "-ASRCfg", "-get"}, report));
    EXPECT_EQ(Json({{"state", "disabled"},
                    {"state_code", 3},
                    {"method", "reset"},
                    {"method_code", 0},
                    {"delay_seconds", 300}}),
              report.data());

    report.clear();
    Bytes answer(140, 0);
    std::memcpy(answer.data(), "ttyS3", 5);
    std::memcpy(answer.data() + 32, "fast", 4);
    fake->queue(0, answer);
    EXPECT_EQ(0, runModemCfg(*session, {"admin", "-ModemCfg", "-get", "ttyS3"}, report));
    const Json& port = report.data()["ports"][0];
    EXPECT_TRUE(port["speed_baud"].is_null());
    EXPECT_EQ("fast", port["speed_as_received"]);
}

TEST_F(AdvancedCli, BusAddresses) {
    EXPECT_EQ(0, run(runSetI2cCfg, "-SetI2CCfg", {"0x22"}));
    EXPECT_EQ((Bytes{0x22}), sent());
    EXPECT_EQ(0, run(runSetI2cCfg, "-SetI2CCfg", {"34"}));
    EXPECT_EQ((Bytes{0x22}), sent());
    EXPECT_EQ(0, run(runSetI2cCfg, "-SetI2CCfg", {"0XfF"}));
    EXPECT_EQ((Bytes{0xFF}), sent());
    const size_t before = fake->requests.size();
    for (const char* bad : {"0x", "0x123", "256", "abc", "-1", "0x2g", ""})
        EXPECT_EQ(-1, run(runSetI2cCfg, "-SetI2CCfg", {bad})) << bad;
    EXPECT_EQ(-1, run(runSetI2cCfg, "-SetI2CCfg", {}));
    EXPECT_EQ(before, fake->requests.size());

    fake->queue(5);
    EXPECT_EQ(0, run(runSetI2cCfg, "-SetI2CCfg", {"0x20"}));
    EXPECT_EQ("Unable to set I2C slave adress\n", out);
    fake->queue(0, {0x0A});
    EXPECT_EQ(0, run(runGetI2cCfg, "-GetI2CCfg", {}));
    EXPECT_EQ("Current VORL I2C Slave Address: 0x0a\n", out);
}

TEST_F(AdvancedCli, IpmiSettings) {
    EXPECT_EQ(0, run(runSetIpmiCfg, "-SetIpmiCfg", {"yes", "0x20", "yes", "no", "YES"}));
    EXPECT_EQ((Bytes{1, 0, 0, 0, 0x20, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}), sent());
    const size_t before = fake->requests.size();
    EXPECT_EQ(-1, run(runSetIpmiCfg, "-SetIpmiCfg", {"yes", "0x20", "yes", "no"}));
    EXPECT_EQ(-1, run(runSetIpmiCfg, "-SetIpmiCfg", {"yes", "0x200", "yes", "no", "no"}));
    EXPECT_EQ(before, fake->requests.size());

    fake->queue(0, {0, 0, 1, 0, 0x80, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(0, run(runGetIpmiCfg, "-GetIpmiCfg", {}));
    EXPECT_EQ(
        "Host system has BMC                          : YES\n"
        "Host System BMC I2C Address                  : 0x80\n"
        "Use IPMI to Control System Power             : NO\n"
        "Use BMC's SDRs for Sensor Information        : YES\n"
        "VORL Maintains Private System Health Event Log : NO\n",
        out);
    fake->queue(5);
    EXPECT_EQ(0, run(runSetIpmiCfg, "-SetIpmiCfg", {"no", "1", "no", "no", "no"}));
    EXPECT_EQ(
        "Unable to set IPMI configuration information\n"
        "Check the IPMB connectivity and try again\n"
        "Note: To do this configuration you motherboard should have BMC \nand VORL should be "
        "connected to BMC using proper connector\n",
        out);
}

TEST_F(AdvancedCli, PowerActions) {
    const std::pair<const char*, uint8_t> actions[] = {
        {"powercycle", 4}, {"PowerUp", 3}, {"POWERDOWN", 2}, {"reset", 1}};
    for (const auto& [word, action] : actions) {
        EXPECT_EQ(0, run(runHostCtrl, "-HostCtrl", {word}));
        EXPECT_EQ(0x0300, fake->requests.back().command);
        EXPECT_EQ((Bytes{action}), sent()) << word;
    }
    const size_t before = fake->requests.size();
    EXPECT_EQ(-1, run(runHostCtrl, "-HostCtrl", {"off"}));
    EXPECT_EQ(-1, run(runHostCtrl, "-HostCtrl", {}));
    EXPECT_EQ(before, fake->requests.size());
    fake->queue(28);
    EXPECT_EQ(0, run(runHostCtrl, "-HostCtrl", {"Reset"}));
    EXPECT_EQ("Unable to perform Remote Power management\n", out);
}

TEST_F(AdvancedCli, HealthTable) {
    Bytes answer(816, 0);
    for (int i = 0; i < 6; ++i) {
        uint8_t* entry = answer.data() + 136 * i;
        std::memcpy(entry, "VCC 3.3V", 8);
        entry[82] = 0x0C, entry[83] = 0xE4;  // 3300 mV
        std::memcpy(entry + 104, "Normal", 6);
    }
    std::memset(answer.data() + 136 * 5, 'N', 80);  // a name that fills its field
    fake->queue(0, answer);
    EXPECT_EQ(0, run(runGetCardHealth, "-GetCardHealth", {}));
    const std::string dashes(56, '-');
    const std::string line = "VCC 3.3V                         3.3      Volts      Normal\n";
    std::string expected = dashes + "\n             VORL card Health\n" + dashes +
                           "\nParameter                       Reading           Status\n" + dashes +
                           "\n";
    for (int i = 0; i < 5; ++i) expected += line;
    expected += std::string(80, 'N') + " 3.3      Volts      Normal\n" + dashes + "\n";
    EXPECT_EQ(expected, out);
    fake->queue(33);
    EXPECT_EQ(-1, run(runGetCardHealth, "-GetCardHealth", {}));
    EXPECT_EQ("", out);
}

TEST_F(AdvancedCli, SdkCommands) {
    EXPECT_EQ(-1, run(runSdkGroup, "-SDK", {"-uploadSDK"}));
    EXPECT_EQ("Please supply an SDK file to upload\n", out);
    EXPECT_EQ(-1, run(runSdkGroup, "-SDK", {"readsensors"}));
    EXPECT_EQ("Unknown command\n", out);
    EXPECT_EQ(0, run(runSdkGroup, "-SDK", {"-deleteSDK"}));
    EXPECT_EQ("SDK deleted\n", out);
    fake->queue(5);
    EXPECT_EQ(0, run(runSdkGroup, "-SDK", {"-rereadSDK"}));
    EXPECT_EQ("Error restarting VODA\n", out);
    fake->queue(0);
    EXPECT_EQ(0, run(runSdkGroup, "-SDK", {"-readsensors"}));
    EXPECT_EQ("Cannot read sensors - no SDK found\n", out);
    EXPECT_EQ(0, run(runSdkGroup, "-SDK", {"-uploadSDK", "/nonexistent/sdk.dat"}));
    EXPECT_EQ("Error uploading SDK\n", out);
}

TEST(SensorListing, LinesAndPadding) {
    EXPECT_EQ("    Fan 1:" + std::string(35, ' ') + "5400 RPM\n", sensorLine("Fan 1", 5400, 18));
    EXPECT_EQ("    CPU:" + std::string(37, ' ') + "access failed\n",
              sensorLine("CPU", kSensorReadingFailed, 1));
    EXPECT_EQ("    X:" + std::string(39, ' ') + "-3 Unrecognized\n", sensorLine("X", -3, 7));
    const std::string forty(40, 'n');
    EXPECT_EQ("    " + forty + ":12 milli Volts\n", sensorLine(forty, 12, 4));
    EXPECT_EQ("    " + forty + "n:1 K\n", sensorLine(forty + "n", 1, 3));

    SensorTree tree;
    tree.groups.resize(2);
    std::memcpy(tree.groups[0].name, "Voltages", 8);
    std::memset(tree.groups[1].name, 'G', 32);  // fills its field: no NUL
    tree.groups[0].sensors.resize(1);
    std::memcpy(tree.groups[0].sensors[0].name, "Core", 4);
    tree.groups[0].sensors[0].reading = 1250;
    tree.groups[0].sensors[0].unit = 4;
    EXPECT_EQ("Voltages\n" + sensorLine("Core", 1250, 4) + std::string(32, 'G') + "\n",
              sensorListing(sensorGroupsData(tree)));
    EXPECT_EQ("", sensorListing(sensorGroupsData(SensorTree{})));
}

TEST(TypedNumbers, WholeDecimalsAndAddresses) {
    int32_t value = 0;
    EXPECT_TRUE(readWholeDecimal("65535", value));
    EXPECT_EQ(65535, value);
    EXPECT_TRUE(readWholeDecimal("-7", value));
    EXPECT_EQ(-7, value);
    for (const char* bad : {"", "-", "1 ", "0x10", "99999999999", "2147483648"})
        EXPECT_FALSE(readWholeDecimal(bad, value)) << bad;
    EXPECT_EQ(259, leadingDecimal("259abc"));
    EXPECT_EQ(0, leadingDecimal("abc"));
    EXPECT_EQ(INT32_MAX, leadingDecimal("99999999999999"));
    EXPECT_EQ(INT32_MIN, leadingDecimal("-99999999999999"));
    uint8_t address = 0;
    EXPECT_TRUE(readByteAddress("0x7", address));
    EXPECT_EQ(7, address);
    EXPECT_TRUE(readByteAddress("255", address));
    EXPECT_EQ(255, address);
}

}  // namespace
}  // namespace vorl::cli
