// Win32 serial backend: CreateFileA, DCB, COMMTIMEOUTS, PurgeComm.
//
// The port map hands over "\\.\COMn": Windows opens COM10 and above only
// through the device namespace, and the plain name works for none better.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "serial_transport.h"

namespace zorvat {

namespace {

// GetLastError() to the transport's error kinds: the one place for it.
SysStatus FromLastError(DWORD e, const char* action, const std::string& device) {
    SysStatus s;
    s.native = static_cast<int>(e);
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            s.err = SysErr::NotFound;
            s.detail = "устройство " + device + " не найдено";
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // With share mode 0 a port held by another program is refused so.
            s.err = SysErr::Busy;
            s.detail = "устройство " + device + " уже открыто другой программой";
            break;
        default:
            s.err = SysErr::Failed;
            s.detail = std::string(action) + " " + device + ": ошибка Windows " + std::to_string(e);
            break;
    }
    return s;
}

class Win32Transport final : public SerialTransport {
  public:
    ~Win32Transport() override {
        if (handle_ != INVALID_HANDLE_VALUE) Close();
    }

    SysStatus Open(const std::string& device) override {
        device_ = device;
        HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) {
            return FromLastError(::GetLastError(), "открытие", device);
        }
        handle_ = h;
        return {};
    }

    SysStatus Close() override {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return FromLastError(ERROR_INVALID_HANDLE, "закрытие", device_);
        }
        if (!::CloseHandle(handle_)) return FromLastError(::GetLastError(), "закрытие", device_);
        handle_ = INVALID_HANDLE_VALUE;
        return {};
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    ConfigStatus ApplyLine(std::uint32_t baud) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) {
            return {ConfigStatus::Query,
                    FromLastError(::GetLastError(), "чтение настроек", device_)};
        }
        dcb.BaudRate = baud;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        dcb.XonLim = 0;
        dcb.XoffLim = 1023;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.XonChar = 0;
        dcb.XoffChar = 0;
        dcb.ErrorChar = 0;
        dcb.EofChar = 0;
        dcb.EvtChar = 0;
        if (!::SetCommState(handle_, &dcb)) {
            return {ConfigStatus::Apply,
                    FromLastError(::GetLastError(), "запись настроек", device_)};
        }
        return {};
    }

    ConfigStatus ApplyReadTimeout(std::uint32_t ms) override {
        COMMTIMEOUTS t{};
        if (!::GetCommTimeouts(handle_, &t)) {
            return {ConfigStatus::Query,
                    FromLastError(::GetLastError(), "чтение настроек", device_)};
        }
        t.ReadIntervalTimeout = 0;
        t.ReadTotalTimeoutMultiplier = 0;
        // All zeros would make a read wait for ever.
        t.ReadTotalTimeoutConstant = ms == 0 ? 1 : ms;
        t.WriteTotalTimeoutMultiplier = 0;
        t.WriteTotalTimeoutConstant = 0;
        if (!::SetCommTimeouts(handle_, &t)) {
            return {ConfigStatus::Apply,
                    FromLastError(::GetLastError(), "запись настроек", device_)};
        }
        return {};
    }

    SysStatus ClearBreakAndPurge() override {
        if (!::EscapeCommFunction(handle_, CLRBREAK) ||
            !::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR) ||
            !::PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT) ||
            !::PurgeComm(handle_, PURGE_TXCLEAR) || !::PurgeComm(handle_, PURGE_RXCLEAR)) {
            return FromLastError(::GetLastError(), "очистка буферов", device_);
        }
        return {};
    }

    SysStatus DiscardInput() override {
        if (!::PurgeComm(handle_, PURGE_RXCLEAR)) {
            return FromLastError(::GetLastError(), "очистка приёма", device_);
        }
        return {};
    }

    SysStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        DWORD n = 0;
        written = 0;
        if (!::WriteFile(handle_, data, static_cast<DWORD>(size), &n, nullptr)) {
            return FromLastError(::GetLastError(), "передача в", device_);
        }
        written = n;
        return {};
    }

    ReadOutcome ReadByte(std::uint8_t& byte, SysStatus& error) override {
        DWORD n = 0;
        if (!::ReadFile(handle_, &byte, 1, &n, nullptr)) {
            error = FromLastError(::GetLastError(), "приём из", device_);
            return ReadOutcome::Error;
        }
        return n == 1 ? ReadOutcome::Byte : ReadOutcome::Timeout;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string device_;
};

}  // namespace

std::unique_ptr<SerialTransport> MakeSystemTransport() {
    return std::make_unique<Win32Transport>();
}

}  // namespace zorvat
