// The in-memory model: instruments, their channels and regulators.
//
// The records are shared by the window's thread, the command workers, the
// program workers and the polling jobs. Every field that more than one of
// them touches while they run is atomic; the texts that identify an
// instrument (name, port, address) are written before the record is
// published in the device list and never change afterwards.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "chart_series.h"
#include "instrument_models.h"

namespace zorvat {

class TThreadCycle;

// Seconds on a clock that never jumps: poll spacing, chart times, program points.
double MonotonicSeconds();

inline constexpr std::size_t kMaxPoints = 255;
// A device index is one byte and 255 means "every instrument".
inline constexpr std::size_t kMaxDevices = 255;
inline constexpr std::uint8_t kAllDevices = 255;

// One measuring channel (the channel settings exchange fills it).
class TChnl {
  public:
    TChnl(std::uint8_t deviceIndex, std::uint8_t chnlNo);

    bool Present = true;
    std::uint8_t DeviceIndex;
    std::uint8_t ChnlNo;
    std::uint8_t SEnS = 21;
    double SHFn = 0.0;
    double GAin = 1.0;
    std::uint8_t PrcS = 1;
    std::uint8_t nSu = 1;
    double brdL = -999.0;
    double brdH = 9999.0;
    std::uint8_t CUtE = 0;
    std::uint8_t Sqr = 0;
    std::uint8_t ZSqr = 0;
    std::uint8_t Sil = 0;
    double R0Deviation = 0.0;
    double rESL = 0.0;
    std::uint8_t Lc = 0;
    double IdPL = 0.0;
    double IdPH = 20.0;
    std::uint8_t SEnC = 6;
    std::uint8_t ttYP = 0;
    double SEt1 = 0.0, HYS1 = 0.0, SEt2 = 0.0, HYS2 = 0.0, SEt3 = 0.0, HYS3 = 0.0;
};

// One PID regulator with its setpoint program, chart series and the port
// hand-over flags.
class TParams {
  public:
    TParams(std::uint8_t deviceIndex, std::uint8_t regNo);
    TParams(const TParams&) = delete;
    TParams& operator=(const TParams&) = delete;

    std::atomic<bool> RegOn{false};
    std::atomic<bool> ProgRunning{false};
    std::atomic<std::uint8_t> InputChannel{1};  // always through SetInputChannel
    std::atomic<bool> Present{true};
    ChartSeries Serie;
    const std::uint8_t DeviceIndex;
    const std::uint8_t RegNo;

    std::atomic<double> Setpoint{100.0};
    std::atomic<double> Kp{10.0};
    std::atomic<bool> KpOn{true};
    std::atomic<double> Ti{100.0};
    std::atomic<double> Td{15.0};
    std::atomic<std::uint8_t> SetpointSource{0};
    std::atomic<double> DeadZone{0.0};
    std::atomic<std::uint8_t> RegMode{0};
    std::atomic<double> Pmax{100.0};
    std::atomic<std::uint16_t> PwmPeriod{100};
    std::atomic<std::uint16_t> MinRelayTime{0};
    std::atomic<std::uint8_t> Relays1{0};
    std::atomic<std::uint8_t> Relays2{0};
    std::atomic<bool> DirectAction{false};
    std::atomic<bool> AutoTune{false};

    // Poll and chart times, in MonotonicSeconds().
    std::atomic<double> LastPoll;
    std::atomic<bool> StartPending{true};
    std::atomic<double> StartTime{0.0};
    std::atomic<double> ElapsedMin{0.0};

    // The setpoint program; points are numbered 1..Prog_PointCount. The
    // window edits them while a program runs.
    std::atomic<std::uint8_t> CurPoint{0};
    std::atomic<std::uint8_t> Prog_PointCount{2};
    std::array<std::atomic<bool>, kMaxPoints + 1> OnOff{};
    std::array<std::atomic<double>, kMaxPoints + 1> Tempr{};
    std::array<std::atomic<double>, kMaxPoints + 1> Time{};  // duration in seconds

    std::atomic<bool> ProgStop{true};
    // The last program could not switch its regulator on, so it did not run.
    std::atomic<bool> ProgFailed{false};

    // Port hand-over: an operation raises a Req and waits for the job's Ack.
    std::atomic<bool> PauseReq{false}, PauseAck{false};
    std::atomic<bool> SwitchReq{false}, SwitchAck{false};
    std::atomic<bool> WriteReq{false}, WriteAck{false};
    // Which thread holds each pair: two operations on one record (a read and
    // an autotune of regulator 1, say) take turns instead of sharing an Ack.
    std::atomic<std::thread::id> PauseHolder{}, SwitchHolder{}, WriteHolder{};

    // The worker running this regulator's program; empty when none runs.
    std::shared_ptr<TThreadCycle> ProgThread() const;
    void SetProgThread(std::shared_ptr<TThreadCycle> thread);

  private:
    mutable std::mutex threadMu_;
    std::shared_ptr<TThreadCycle> progThread_;
};

// One instrument.
class TDevice {
  public:
    TDevice() = default;
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    std::string Name;
    std::atomic<bool> Present{false};
    std::string ParentPort;
    std::string Address;  // decimal, at most 3 characters
    std::int32_t Baudrate = 0;
    std::uint8_t POversion = 0;
    std::atomic<std::uint8_t> InPE{0};
    std::atomic<std::uint8_t> RelayMask{0};
    std::atomic<std::uint8_t> RelayCount{0};
    std::atomic<std::uint8_t> ChannelCount{0};
    std::array<std::unique_ptr<TParams>, 3> Regs;  // [1], [2]
    std::array<std::unique_ptr<TChnl>, 4> Chnls;   // [1]..[3], empty where the model has none

    std::uint8_t nLin = 0;
    double LiH1 = 0, LiY1 = 0, LiH2 = 0, LiY2 = 0, LiH3 = 0, LiY3 = 0, LiH4 = 0, LiY4 = 0, LiH5 = 0,
           LiY5 = 0;
    std::uint8_t nPol = 0;
    double b0 = 0, A0 = 0, A1 = 0, A2 = 0, A3 = 0, A4 = 0, A5 = 0, A6 = 0, A7 = 0, A8 = 0;
    std::array<std::uint8_t, 12> relTbl{};
    std::uint8_t nrL1 = 0, nrL2 = 0, nrL3 = 0, nrL4 = 0;
    std::uint8_t Fd1 = 0, Fd2 = 0, Fd3 = 0, Fd4 = 0, Fd5 = 0;
    std::string Pass1, Pass2, Pass3;
    std::atomic<std::uint8_t> ModelCode{0};
    std::uint8_t SrO = 0, OtP = 0;
    double OdL = 0, OdH = 0, OEr = 0;

    std::atomic<std::uint8_t> RelayStates{0};
    std::atomic<std::uint8_t> DinStates{0};
};

// Stores 1 for 0, 3 for 4 and more, else the value.
void SetInputChannel(TParams& r, std::uint8_t value);
void SetProgRunning(TParams& r, bool running);

// An instrument's line in the tree: "Прибор: ZURURU-71/M2(2)".
std::string DeviceNodeText(const std::string& name, const std::string& address);

// The list of instruments. It only grows by appending, until it is cleared
// as a whole, so a device index stays valid; readers on other threads see an
// instrument only once it is complete.
class TDeviceList {
  public:
    TDeviceList() = default;
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    std::size_t Count() const { return count_.load(std::memory_order_acquire); }
    bool Empty() const { return Count() == 0; }
    // Null beyond the end.
    TDevice* At(std::size_t index) const;
    // The new device index, or nullopt when the list is full.
    std::optional<std::uint8_t> Append(std::unique_ptr<TDevice> device);
    // Only while no worker, program or polling job uses the list.
    void Clear();

  private:
    std::array<std::unique_ptr<TDevice>, kMaxDevices> items_;
    std::atomic<std::size_t> count_{0};
    std::mutex appendMu_;
};

}  // namespace zorvat
