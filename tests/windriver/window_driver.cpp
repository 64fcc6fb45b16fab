// Drives another program's dialogs for the Windows end-to-end tests, one command per line on
// standard input, fields separated by tabs; each command answers one line on standard output:
// "ok" and its result fields, or "error" and a reason. In the answers a backslash, a line
// break, a carriage return and a tab are written \\, \n, \r and \t. Windows are found by exact
// title among the visible top-level windows of other processes; controls by identifier anywhere
// inside.
//
//   wait TITLE MS            a window with that title appears (within MS milliseconds)
//   gone TITLE MS            no window with that title is left
//   message MS               a message box appears: its title and text
//   text TITLE ID            a control's text (WM_GETTEXT)
//   settext TITLE ID TEXT    sets a control's text (WM_SETTEXT)
//   click TITLE ID           presses a button, check box or radio button (BM_CLICK, posted)
//   ipaddr TITLE ID A.B.C.D  fills an IP-address control
//   list TITLE ID            the lines of a list box
//   rows TITLE ID            the rows of a list view: "x" (checked) or "-", then "|" and each cell
//   progress TITLE ID        a progress bar's position and the top of its range
//   select TITLE ID N        selects line N of a list box or drop-down list and tells its dialog
//   enabled TITLE ID         1 or 0
//   windowenabled TITLE      1 or 0, for the window itself
//   limit TITLE ID           the most characters an edit takes from the keyboard
//   key TITLE ID VK          a key pressed while that control has the focus (an IP-address
//                            control: its first field)
//   pagegap TITLE ID         how far the showing child of a control (a tab control's page)
//                            stops short of the control's right and bottom edges, in pixels
//   tab TITLE ID N           chooses tab N of a tab control, as a click would
//   syscommand TITLE N       a system-menu command
//   close TITLE              the title bar's close button (WM_CLOSE)
//   mediaarrival TITLE MASK  the broadcast of a medium arriving in the drives of MASK
//   settle TITLE             the window has painted everything (before a screenshot)
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <dbt.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

std::string windowText(HWND window) {
    char text[4096] = {};
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

struct TopSearch {
    std::string title;
    bool messageBox = false;
    HWND found = nullptr;
};

bool isOtherProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process != GetCurrentProcessId();
}

BOOL CALLBACK findTop(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TopSearch*>(data);
    if (!IsWindowVisible(window) || !isOtherProcess(window)) return TRUE;
    if (search->messageBox) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        // Message boxes are dialogs whose text sits in a static control numbered 0xFFFF.
        if (std::string(name) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }
    if (windowText(window) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findWindow(const std::string& title, bool messageBox = false) {
    TopSearch search{title, messageBox, nullptr};
    EnumWindows(findTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const std::string& title, DWORD ms, bool messageBox = false) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = findWindow(title, messageBox)) return window;
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(50);
    }
}

struct ControlSearch {
    int id;
    HWND found = nullptr;
    HWND visible = nullptr;
};

BOOL CALLBACK findControl(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<ControlSearch*>(data);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    if (search->found == nullptr) search->found = window;
    if (IsWindowVisible(window)) {
        search->visible = window;
        return FALSE;
    }
    return TRUE;
}

// A control of `top`: its own first (controls such as the IP-address field have children with
// small numbers), then inside its pages, preferring one that is showing.
HWND findControlIn(HWND top, int id) {
    if (HWND own = GetDlgItem(top, id)) return own;
    ControlSearch search{id};
    EnumChildWindows(top, findControl, reinterpret_cast<LPARAM>(&search));
    return search.visible != nullptr ? search.visible : search.found;
}

class Driver {
public:
    std::string run(const std::vector<std::string>& f) {
        const std::string& op = f[0];
        if (op == "wait") return waitForWindow(f.at(1), ms(f.at(2))) ? "ok" : "error no window";
        if (op == "gone") return gone(f.at(1), ms(f.at(2)));
        if (op == "message") return messageBox(ms(f.at(1)));
        HWND top = findWindow(f.at(1));
        if (top == nullptr) return "error no window " + f.at(1);
        if (op == "close") return post(top, WM_CLOSE, 0, 0);
        if (op == "syscommand") return post(top, WM_SYSCOMMAND, number(f.at(2)), 0);
        if (op == "mediaarrival") return mediaArrival(top, number(f.at(2)));
        if (op == "settle") return settle(top);
        if (op == "windowenabled") return IsWindowEnabled(top) ? "ok\t1" : "ok\t0";
        HWND control = findControlIn(top, static_cast<int>(number(f.at(2))));
        if (control == nullptr) return "error no control " + f.at(2);
        if (op == "text") return "ok\t" + escaped(windowText(control));
        if (op == "settext") {
            SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(f.at(3).c_str()));
            return "ok";
        }
        if (op == "click") return post(control, BM_CLICK, 0, 0);
        if (op == "enabled") return IsWindowEnabled(control) ? "ok\t1" : "ok\t0";
        if (op == "limit")
            return "ok\t" + std::to_string(SendMessageA(control, EM_GETLIMITTEXT, 0, 0));
        if (op == "ipaddr") return ipAddress(control, f.at(3));
        if (op == "list") return listLines(control);
        if (op == "rows") return listViewRows(control);
        if (op == "progress") return progress(control);
        if (op == "select") return select(control, number(f.at(3)));
        if (op == "key") return key(control, number(f.at(3)));
        if (op == "pagegap") return pageGap(control);
        if (op == "tab") return chooseTab(control, number(f.at(3)));
        return "error unknown command " + op;
    }

private:
    static DWORD ms(const std::string& text) { return static_cast<DWORD>(std::stoul(text)); }
    static unsigned long number(const std::string& text) { return std::stoul(text, nullptr, 0); }

    static std::string post(HWND window, UINT message, WPARAM w, LPARAM l) {
        return PostMessageA(window, message, w, l) ? "ok" : "error post failed";
    }

    static std::string gone(const std::string& title, DWORD limit) {
        const DWORD start = GetTickCount();
        while (findWindow(title) != nullptr) {
            if (GetTickCount() - start > limit) return "error still there";
            Sleep(50);
        }
        return "ok";
    }

    static std::string messageBox(DWORD limit) {
        HWND box = waitForWindow("", limit, true);
        if (box == nullptr) return "error no message box";
        return "ok\t" + escaped(windowText(box)) + "\t" +
               escaped(windowText(GetDlgItem(box, 0xFFFF)));
    }

    static std::string ipAddress(HWND control, const std::string& text) {
        unsigned a, b, c, d;
        if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return "error address";
        SendMessageA(control, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
        return "ok";
    }

    static std::string listLines(HWND control) {
        const LRESULT count = SendMessageA(control, LB_GETCOUNT, 0, 0);
        std::string out = "ok";
        for (LRESULT i = 0; i < count; ++i) {
            // Across processes Wine hands the line over in UTF-16 only.
            wchar_t wide[512] = {};
            if (SendMessageW(control, LB_GETTEXTLEN, i, 0) >= 511) return "error line too long";
            SendMessageW(control, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
            char line[1024] = {};
            WideCharToMultiByte(CP_ACP, 0, wide, -1, line, sizeof line, nullptr, nullptr);
            out += "\t" + escaped(line);
        }
        return out;
    }

    // A list view's rows. Its texts come back through memory in the program's own process.
    static std::string listViewRows(HWND control) {
        DWORD process = 0;
        GetWindowThreadProcessId(control, &process);
        HANDLE target =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (target == nullptr) return "error cannot open the program's process";
        constexpr SIZE_T kTextSize = 256;
        auto* remote = static_cast<char*>(VirtualAllocEx(
            target, nullptr, sizeof(LVITEMA) + kTextSize, MEM_COMMIT, PAGE_READWRITE));
        if (remote == nullptr) {
            CloseHandle(target);
            return "error no memory in the program's process";
        }
        HWND header = reinterpret_cast<HWND>(SendMessageA(control, LVM_GETHEADER, 0, 0));
        const LRESULT columns =
            header != nullptr ? SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) : 1;
        const LRESULT count = SendMessageA(control, LVM_GETITEMCOUNT, 0, 0);
        std::string out = "ok";
        for (LRESULT row = 0; row < count; ++row) {
            const auto state = static_cast<UINT>(
                SendMessageA(control, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
            std::string line = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? "x" : "-";
            for (LRESULT column = 0; column < columns; ++column) {
                LVITEMA item = {};
                item.iSubItem = static_cast<int>(column);
                item.pszText = remote + sizeof(LVITEMA);
                item.cchTextMax = static_cast<int>(kTextSize);
                WriteProcessMemory(target, remote, &item, sizeof item, nullptr);
                SendMessageA(control, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote));
                char text[kTextSize] = {};
                ReadProcessMemory(target, remote + sizeof(LVITEMA), text, kTextSize - 1, nullptr);
                line += "|" + std::string(text);
            }
            out += "\t" + escaped(line);
        }
        VirtualFreeEx(target, remote, 0, MEM_RELEASE);
        CloseHandle(target);
        return out;
    }

    static std::string progress(HWND control) {
        const LRESULT position = SendMessageA(control, PBM_GETPOS, 0, 0);
        const LRESULT top = SendMessageA(control, PBM_GETRANGE, FALSE, 0);
        return "ok\t" + std::to_string(position) + "\t" + std::to_string(top);
    }

    static std::string select(HWND control, unsigned long index) {
        char name[32] = {};
        GetClassNameA(control, name, sizeof name);
        const bool combo = lstrcmpiA(name, "ComboBox") == 0;
        SendMessageA(control, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
        // A program's own selection change sends no notification: send what a click would.
        const WPARAM note =
            MAKEWPARAM(GetDlgCtrlID(control), combo ? CBN_SELCHANGE : LBN_SELCHANGE);
        return post(GetParent(control), WM_COMMAND, note, reinterpret_cast<LPARAM>(control));
    }

    static std::string pageGap(HWND control) {
        HWND page = GetWindow(control, GW_CHILD);
        while (page != nullptr && !IsWindowVisible(page)) page = GetWindow(page, GW_HWNDNEXT);
        if (page == nullptr) return "error no page showing";
        RECT outer = {};
        RECT inner = {};
        GetWindowRect(control, &outer);
        GetWindowRect(page, &inner);
        return "ok\t" + std::to_string(outer.right - inner.right) + "\t" +
               std::to_string(outer.bottom - inner.bottom);
    }

    static std::string key(HWND control, unsigned long virtualKey) {
        // The fields of an IP-address control are its children: the key goes to the first.
        char name[32] = {};
        GetClassNameA(control, name, sizeof name);
        if (lstrcmpiA(name, WC_IPADDRESSA) == 0) {
            if (HWND field = GetWindow(control, GW_CHILD)) control = field;
        }
        // Posted, like real input, so that the dialog's message loop sees it (Enter and Escape
        // are dialog keys, handled there).
        PostMessageA(control, WM_KEYDOWN, virtualKey, 1);
        return post(control, WM_KEYUP, virtualKey, 0xC0000001);
    }

    static std::string chooseTab(HWND control, unsigned long index) {
        // Moving the focus onto a tab selects it and notifies the window; the first move may
        // only place the focus.
        for (int attempt = 0; attempt < 2; ++attempt) {
            SendMessageA(control, TCM_SETCURFOCUS, index, 0);
            if (static_cast<unsigned long>(SendMessageA(control, TCM_GETCURSEL, 0, 0)) == index)
                return "ok";
        }
        return "error tab not selected";
    }

    static std::string settle(HWND window) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        return "ok";
    }

    static std::string mediaArrival(HWND window, unsigned long mask) {
        // The notice it may raise is modal: send from a thread of its own and do not wait.
        std::thread([window, mask] {
            DEV_BROADCAST_VOLUME volume = {};
            volume.dbcv_size = sizeof volume;
            volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
            volume.dbcv_unitmask = mask;
            volume.dbcv_flags = DBTF_MEDIA;
            DWORD_PTR result = 0;
            SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                reinterpret_cast<LPARAM>(&volume), SMTO_NORMAL, 60000, &result);
        }).detach();
        return "ok";
    }
};

}  // namespace

int main() {
    Driver driver;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::string answer;
        try {
            answer = driver.run(splitTabs(line));
        } catch (const std::exception& e) {
            answer = std::string("error bad command: ") + e.what();
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
