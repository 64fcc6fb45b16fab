#include "cli/usage.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vorl::cli {
namespace {

// Writes the pages through the console; between pages it waits for one character, and at the
// end of input it simply goes on.
class UsageWriter {
public:
    UsageWriter(Console& console, std::string program)
        : console_(console), program_(std::move(program)) {}

    const char* program() const { return program_.c_str(); }

    __attribute__((format(printf, 2, 3))) void print(const char* format, ...) {
        va_list args;
        va_start(args, format);
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (length > 0) {
            std::string text(static_cast<size_t>(length) + 1, '\0');
            std::vsnprintf(text.data(), text.size(), format, args);
            text.resize(static_cast<size_t>(length));
            console_.write(text);
        }
        va_end(args);
    }

    void prompt(const char* text) {
        console_.write(text);
        console_.readChar();
        console_.write("\n");
    }

private:
    Console& console_;
    std::string program_;
};

void page1(UsageWriter& w) {
    w.print("_______________________\n");
    w.print("\n%s version %s\n", "vorlcli", "1.6.4.3");
    w.print("_______________________\n");
    w.print("\n\n");
    w.print(" Usage   : %s -[nw IP username] [cd] <arguments> \n", w.program());
    w.print(" -----\n");
    w.print("\n Example : %s -nw 10.10.1.10 username  -sel -listall to connect on network\n",
            w.program());
    w.print(" -------   %s -cd -sel -listall to connect via host interface\n", w.program());
    w.print("\n");
    w.print(" Logging in\n");
    w.print(" -----------\n");
    w.print(" Host '-cd' based access does not require you to login\n\n");
    w.print(
        " Network access '-nw' requires a login. Password cannot be specified on the command "
        "line.\n");
    w.print(" You will be prompted for the password.\n");
    w.print(" Scripting option will prompt for password only once at the beginning\n");
    w.prompt("\n      ---------------------Press Enter to see Command Details----------------");
}

void page2(UsageWriter& w, bool detailed) {
    w.print("\nScript mode Commands:\n");
    w.print("-----------------------------\n");
    w.print("Script file format is any of the other argument formats mentioned below\n");
    w.print("For e.g : %s -script myscr.scr\n", "vorlcli");
    w.print("     -script ScriptFile\n");
    w.print("      myscr.scr can contain the fllowing lines if you want to get all users\n");
    w.print("      and then get network config\n");
    w.print("     -user -listall\n");
    w.print("     -net -getconfig\n");
    w.print("\nUser Manger Commands \n");
    w.print("-----------------------------\n");
    w.print("     -user -add username password\n");
    w.print("     -user -del username \n");
    w.print("     -user -add username password auth\tpvt\n");
    w.print("     -user -listAllUser\n");
    w.print("     -user -listAll\n");
    w.print("     -user -getSnmp\n");
    w.print("\nSystem Event Log (SEL) Commands \n");
    w.print("-----------------------------\n");
    if (detailed) {
        w.print("     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n");
        w.print("     -sel -del recordNum\n");
    }
    w.print("     -sel -listAll\n");
    w.print("     -sel -listAllEx\n");
    w.print("     -sel -selInfo \n");
    w.print("     -sel -clear \n");
    w.print("     -sel -setPolicy <ROLLOVER | STOP> \n");
    w.print("     -sel -getPolicy \n");
    w.prompt("\n      ---------------------Press Enter to see more----------------");
}

void page3(UsageWriter& w, bool detailed) {
    w.print("\nPlatform Event Filtering (PEF) commands \n");
    w.print("-----------------------------\n");
    w.print("     -pef -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium\n");
    w.print("      PPPPass AlertType\n");
    w.print("           NotifyMethod can be \"Mail\" or \"SNMP\" and NotifyMedium can be\n");
    w.print("           \"Lan\" or \"PPP\" and AlertType can be All,Disable or Critical.\n");
    w.print("     -pef -ARInfoGet index \n");
    w.print("\nFirmware flasher commands \n");
    w.print("-----------------------------\n");
    w.print("     -flash -read filename \n");
    w.print("     -flash -update [-boot] filename \n");
    w.print("     -flash -saveconfig \n");
    w.print("     -flash -saveSDK \n");
    w.print("     -flash -getconfig filename\n");
    w.print("     -flash -putconfig filename\n");
    w.print("     -flash -compareboot filename\n");
    if (detailed) {
        w.print("\nFile Upload/Download commands \n");
        w.print("-----------------------------\n");
        w.print("     -file -upload src-filename dst-filename \n");
        w.print("     -file -download src-filename dst-filename \n ");
        w.print("     -file -uploadServerInfo filename \n");
        w.print("        All the filenames are in full path. \n");
    }
    w.print("\nHost HeartBeat commands \n");
    w.print("-----------------------\n");
    w.print("     -HB -GetHB\n");
    w.print("     -HB -SetHB <Heartbeat Time Interval (Seconds)> - <Between 6 and 2147483646>\n");
    w.prompt("\n      ---------------------Press Enter to see more----------------");
}

void page4(UsageWriter& w) {
    w.print("\nNetwork configuration commands \n");
    w.print("-----------------------------\n");
    w.print("     -Net -GetMac \n");
    w.print("     -Net -SetMac <MAC Address> - <Ex: 00:2a:3b:4c:5d:1d> \n");
    w.print("     -Net -GetConfig \n");
    w.print("     -Net -SetDHCP \n");
    w.print("     -Net -SetSTATIC  IP Netmask Gateway\n");
    w.print("\nGeneral purpose commands \n");
    w.print("-----------------------------\n");
    w.print("     -Gen -Reset -SaveConfig|-NoConfig (Reset %s card)\n", "VORL");
    w.print("\t\t -SaveConfig (Save Configuration)\n");
    w.print("\t\t -NoConfig (Don't save Configuration)\n");
    w.print("     -Gen -fwInfo (Get Firmware Info)\n");
    w.print("     -Gen -GetName\n");
    w.print("     -Gen -GetSmtpCfg\n");
    w.print("     -Gen -SetSmtpCfg server1-IP MailId1 server2-IP MailId2 \n");
    w.print("     -Gen -GetTime\n");
    w.print("\nSDK commands\n");
    w.print("-----------------------\n");
    w.print("    -SDK -uploadSDK <sdkfile.dat>\n");
    w.print("    -SDK -deleteSDK\n");
    w.print("    -SDK -rereadSDK\n");
    w.print("    -SDK -readsensors\n");
    w.prompt("\n      ---------------------Press Enter to see more----------------");
}

void page5(UsageWriter& w) {
    w.print("\nServer Information Configuration commands\n");
    w.print("-----------------------------------------\n");
    w.print("    -Getserverinfo\n");
    w.print(
        "    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc "
        "<Description>\n");
    w.prompt("\n      ---------------------Press Enter to see more----------------");
}

void page6(UsageWriter& w) {
    w.print("\nAdvanced Configuration commands\n");
    w.print("-----------------------\n");
    w.print("    -ModemCfg -get <dev> ..dev can be ttyS2 or ttyS3 (case sensitive)\n");
    w.print("                           if dev is omitted both ports are shown\n");
    w.print("    -ModemCfg -set <dev> <-s baud> <-i initString> <-p phoneNumber>\n");
    w.print("    -PPPCfg -get\n");
    w.print("    -PPPCfg -set ServerIP ClientIP \n");
    w.print("    -ASRCfg -Get\n");
    w.print("    -ASRCfg -Set ENABLED|DISABLED POWERCYCLE|RESET  Delay\n");
    w.print("                 Minimum ASR Delay is %d Seconds\n", 240);
    w.print("                 DISABLED does not require extra arguments\n");
    w.print("    -GetI2CCfg  \n");
    w.print("    -SetI2CCfg new_slave_addr format : 0x22\n");
    w.print("    -GetIpmiCfg  \n");
    w.print("    -SetIpmiCfg BMC BMC_addr IPMI_Power_Control IPMI_Sensors Log_IPMI_Events\n");
    w.print("\t\tExample: -SetIpmiCfg yes 0x20 yes yes yes\n");
    w.print("\nServer Remote Control commands\n");
    w.print("-------------------------------\n");
    w.print("    -HostCtrl <PowerUp | PowerDown | PowerCycle | Reset> \n");
    w.print("\nCard Health Status commands\n");
    w.print("----------------------------\n");
    w.print("    -GetCardHealth \n");
}

}  // namespace

std::string programFileName(const char* programPath) {
    const std::string path = programPath ? programPath : "";
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void printUsage(Console& console, const char* programPath, bool detailed) {
    UsageWriter w(console, programFileName(programPath));
    page1(w);
    page2(w, detailed);
    page3(w, detailed);
    page4(w);
    page5(w);
    page6(w);
}

void printUsage(const char* programPath, bool detailed) {
    printUsage(standardConsole(), programPath, detailed);
}

}  // namespace vorl::cli
