#include "mouse/tray_shell_win32.h"

#include <cstring>
#include <memory>

#include "hostifc/host_interface.h"
#include "hostifc/host_transport_factory.h"
#include "mouse/pointer_redirection.h"
#include "mouse/resource_ids.h"
#include "platform/pointer_input.h"
#include "platform/thread_priority.h"

namespace vorl::mouse {
namespace {

constexpr int kTextLength = 100;
constexpr UINT kTrayIconId = 1;

// The one shell of the process: the window procedure has no other way to reach it while the
// window is being created.
Win32TrayShell* activeShell = nullptr;

DWORD WINAPI redirectionThread(LPVOID) {
    const auto card = std::make_unique<HostInterface>(makeDeviceBackend());
    const std::unique_ptr<platform::PointerInput> input = platform::makeSystemPointerInput();
    const std::unique_ptr<platform::ThreadPriority> priority = platform::makeSystemThreadPriority();
    PointerRedirection(*card, *input, *priority).run();
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, kVersion);
            SetDlgItemTextA(dialog, IDC_ABOUT_TITLE, aboutTitle().c_str());
            SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, kAboutNotice);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

Win32TrayShell::Win32TrayShell(HINSTANCE instance) : instance_(instance) {
    activeShell = this;
}

Win32TrayShell::~Win32TrayShell() {
    if (thread_ != nullptr) CloseHandle(thread_);
    activeShell = nullptr;
}

bool Win32TrayShell::otherInstanceRunning() {
    LoadStringA(instance_, IDS_APP_TITLE, title_, kTextLength);
    LoadStringA(instance_, IDC_VORLPOINT, className_, kTextLength);
    return FindWindowA(className_, nullptr) != nullptr;
}

bool Win32TrayShell::createMainWindow() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_VORLPOINT));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_VORLPOINT);
    windowClass.lpszClassName = className_;
    windowClass.hIconSm = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_VORLPOINT));
    RegisterClassExA(&windowClass);
    // Never shown: the tray icon is the program's only face.
    window_ = CreateWindowExA(0, className_, title_, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                              CW_USEDEFAULT, 0, nullptr, nullptr, instance_, nullptr);
    return window_ != nullptr;
}

void Win32TrayShell::addTrayIcon(const std::string& tip) {
    tray_.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tray_.hWnd = window_;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = kTrayCallbackMessage;
    tray_.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_VORLPOINT));
    const size_t length = tip.size() < sizeof tray_.szTip ? tip.size() : sizeof tray_.szTip - 1;
    std::memcpy(tray_.szTip, tip.data(), length);
    tray_.szTip[length] = '\0';
    Shell_NotifyIconA(NIM_ADD, &tray_);
}

void Win32TrayShell::removeTrayIcon() {
    tray_.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &tray_);
}

void Win32TrayShell::loadAccelerators() {
    accelerators_ = LoadAcceleratorsA(instance_, MAKEINTRESOURCEA(IDC_VORLPOINT));
}

bool Win32TrayShell::startRedirectionThread() {
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, redirectionThread, nullptr, 0, &id);
    return thread_ != nullptr;
}

void Win32TrayShell::closeThreadHandle() {
    // The thread runs on; it ends with the process.
    if (thread_ != nullptr) CloseHandle(thread_);
    thread_ = nullptr;
}

void Win32TrayShell::showError(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

void Win32TrayShell::loadTrayMenu() {
    menuResource_ = LoadMenuA(instance_, MAKEINTRESOURCEA(IDR_TRAYMENU));
    trayMenu_ = menuResource_ != nullptr ? GetSubMenu(menuResource_, 0) : nullptr;
}

void Win32TrayShell::destroyMenus() {
    if (menuResource_ != nullptr) DestroyMenu(menuResource_);
    menuResource_ = nullptr;
    trayMenu_ = nullptr;
}

int Win32TrayShell::runMessageLoop() {
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

void Win32TrayShell::showTrayMenuAtCursor() {
    if (trayMenu_ == nullptr) return;
    SetForegroundWindow(window_);
    POINT cursor = {};
    GetCursorPos(&cursor);
    TrackPopupMenu(trayMenu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0,
                   window_, nullptr);
}

void Win32TrayShell::showAboutBox() {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), window_, aboutProcedure, 0);
}

void Win32TrayShell::destroyMainWindow() {
    DestroyWindow(window_);
}

void Win32TrayShell::hideMainWindow() {
    ShowWindow(window_, SW_HIDE);
}

void Win32TrayShell::postQuit(int code) {
    PostQuitMessage(code);
}

void Win32TrayShell::paint(HWND window) {
    PAINTSTRUCT paint = {};
    HDC context = BeginPaint(window, &paint);
    RECT client = {};
    GetClientRect(window, &client);
    DrawTextA(context, kPaintedText, -1, &client, DT_CENTER);
    EndPaint(window, &paint);
}

LRESULT Win32TrayShell::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    switch (message) {
        case kTrayCallbackMessage:
            handled = program_->onTrayCallback(static_cast<uint32_t>(lParam));
            break;
        case WM_COMMAND:
            handled = program_->onCommand(LOWORD(wParam));
            break;
        case WM_PAINT:
            paint(window);
            handled = true;
            break;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) handled = program_->onMinimized();
            break;
        case WM_CLOSE:
            handled = program_->onClose();
            break;
        case WM_DESTROY:
            handled = program_->onDestroy();
            break;
        default:
            break;
    }
    return handled ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32TrayShell::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (activeShell == nullptr || activeShell->program_ == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return activeShell->handle(window, message, wParam, lParam);
}

}  // namespace vorl::mouse
