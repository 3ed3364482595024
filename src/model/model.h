// The model as one object: the instrument list, the polling jobs, the stop
// request and the window's surfaces. The window owns one; tests and the
// command-line tool make their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "Devices.h"
#include "polling_jobs.h"
#include "result_codes.h"
#include "surfaces.h"
#include "worker_group.h"

namespace zorvat {

class TExCOM;

class TModel {
  public:
    // `jobs` makes the polling jobs (MakePortJobs of the workers).
    TModel(TSurfaces& surfaces, const PollingJobsFactory& jobs);
    // Empties the model: no job, worker or program outlives it.
    ~TModel();
    TModel(const TModel&) = delete;
    TModel& operator=(const TModel&) = delete;

    TSurfaces& Surfaces() const { return surfaces_; }

    // Every port the model's exchanges, workers and polling jobs open comes
    // from here: by default a port whose device the port map gives (a tty or
    // a device server on the network). Set it before anything runs.
    using PortFactory = std::function<std::unique_ptr<TExCOM>()>;
    void SetPortFactory(PortFactory factory) { portFactory_ = std::move(factory); }
    std::unique_ptr<TExCOM> NewPort();
    TPollingJobs& PortJobs() const { return *portJobs_; }

    TDeviceList DeviceList;

    // Stop request of the search, the reads, the regulator write and the
    // settings exchanges.
    std::atomic<bool> StopFlag{false};
    // Set exactly while the search, a read or the regulator write runs.
    std::atomic<bool> SearchThread{false};
    std::atomic<bool> ReadThread{false};
    std::atomic<bool> WriteThread{false};

    // Every command and program worker started on this model.
    TWorkerGroup Workers;

    // Null when the index is beyond the list or the regulator does not exist.
    TDevice* Device(std::size_t d) const { return DeviceList.At(d); }
    TParams* Regulator(std::size_t d, int r) const;

    // Stops everything that runs on the model and waits until it has ended:
    // the search, reads and writes see StopFlag, programs their ProgStop,
    // polling jobs their stop; link checks, switches and autotunes end by
    // themselves within their time-outs. Afterwards no thread but the
    // caller's reaches the records. StopFlag stays raised.
    void StopAll();
    // StopAll, then empties the list; StopFlag is lowered again.
    void ClearDevices();

  private:
    TSurfaces& surfaces_;
    PortFactory portFactory_;
    std::mutex deniedMu_;
    std::set<std::string> denied_;  // ports the operator was told of, under deniedMu_
    std::unique_ptr<TPollingJobs> portJobs_;
};

// Switches a regulator's on-state in the model, the one way it changes:
// switched on, the regulator's port gets its polling job (unless
// `ensureJob` is false: the polling job itself) and the chart its time
// origin; switched off, the value column of the tree's selected node is
// cleared.
void SetRegOn(TModel& model, TParams& r, bool on, bool ensureJob = true);
// Starts the polling job of the regulator's port unless it has one.
void EnsurePortJob(TModel& model, TParams& r);

// The three port hand-over handshakes of a regulator record.
enum class HandOver { Pause, Switch, Write };

// Asks the polling job of `port` for the port. Waits until no other
// operation holds the same pair of `r`, then Ack := false, Req := true,
// then, when the port has a job, waits in 10 ms steps for the Ack. Returns
// false when `stop` became true during the wait (the Req stays raised: the
// caller releases it). With `processEvents` the window's events are
// processed while waiting (exchanges that run on the window's thread).
bool RequestPort(TModel& model, TParams& r, const std::string& port, HandOver which,
                 const std::atomic<bool>* stop = nullptr, bool processEvents = false);
// Req := false: the job takes its port back. Called on the thread that
// requested; does nothing when that thread holds nothing.
void ReleasePort(TParams& r, HandOver which);

std::atomic<bool>& ReqFlag(TParams& r, HandOver which);
std::atomic<bool>& AckFlag(TParams& r, HandOver which);

// Sets a port object to an instrument's baud rate (kept as a 32-bit number)
// and a reply time-out; the first refused setting is the result, and a rate
// that does not fit the port's 16 bits is -2.
TResult ConfigurePort(TExCOM& port, std::int32_t baud, std::uint16_t timeoutMs);

}  // namespace zorvat
