#include "model.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "com_u.h"
#include "ex_com.h"
#include "result_messages.h"

namespace zorvat {

TModel::TModel(TSurfaces& surfaces, const PollingJobsFactory& jobs)
    : surfaces_(surfaces), portJobs_(jobs(*this)) {}

std::unique_ptr<TExCOM> TModel::NewPort() {
    std::unique_ptr<TExCOM> port = portFactory_ ? portFactory_() : CreatePort();
    // A device the account may not open is told once a run per port, beside
    // the failure lines of the exchanges.
    port->OnOpenFailed([this](const TExCOM& failed) {
        if (failed.LastSystemErrorKind() != SysErr::AccessDenied) return;
        {
            std::lock_guard lock(deniedMu_);
            if (!denied_.insert(failed.PortName()).second) return;
        }
        surfaces_.PortAccessDenied(failed.PortName(), failed.LastSystemError());
    });
    return port;
}

TModel::~TModel() {
    // Workers reach into the records and the surfaces.
    ClearDevices();
}

TParams* TModel::Regulator(std::size_t d, int r) const {
    TDevice* device = Device(d);
    if (device == nullptr || r < 1 || r > 2) return nullptr;
    return device->Regs[static_cast<std::size_t>(r)].get();
}

void TModel::StopAll() {
    StopFlag = true;
    for (std::size_t d = 0; d < DeviceList.Count(); ++d) {
        for (int r = 1; r <= 2; ++r) {
            if (TParams* p = Regulator(d, r)) p->ProgStop = true;
        }
    }
    // The jobs first: an operation waiting for a port is released when the
    // job ends, and so is every worker waiting for such an operation.
    portJobs_->StopAll();
    Workers.WaitIdle();
    // A program that switched its regulator on before it saw the stop may
    // have started a job again.
    portJobs_->StopAll();
}

void TModel::ClearDevices() {
    StopAll();
    DeviceList.Clear();
    StopFlag = false;
}

namespace {

// The graph's time origin is the first moment the regulator is known to
// run; it is taken before the on-state shows, so a poll that sees the
// regulator on never reads an origin that is still being set.
void TakeGraphOrigin(TParams& r) {
    static std::mutex originMu;
    std::lock_guard lock(originMu);
    if (r.StartPending) {
        r.StartTime = MonotonicSeconds();
        r.StartPending = false;
    }
}

}  // namespace

void SetRegOn(TModel& model, TParams& r, bool on, bool ensureJob) {
    if (!on) {
        r.RegOn = false;
        model.Surfaces().ClearSelectedValue();
        return;
    }
    TakeGraphOrigin(r);
    r.RegOn = true;
    if (ensureJob) EnsurePortJob(model, r);
}

void EnsurePortJob(TModel& model, TParams& r) {
    const TDevice* device = model.Device(r.DeviceIndex);
    if (device == nullptr) return;
    model.PortJobs().Ensure(device->ParentPort);
}

std::atomic<bool>& ReqFlag(TParams& r, HandOver which) {
    switch (which) {
        case HandOver::Pause:
            return r.PauseReq;
        case HandOver::Switch:
            return r.SwitchReq;
        case HandOver::Write:
            return r.WriteReq;
    }
    return r.PauseReq;
}

std::atomic<bool>& AckFlag(TParams& r, HandOver which) {
    switch (which) {
        case HandOver::Pause:
            return r.PauseAck;
        case HandOver::Switch:
            return r.SwitchAck;
        case HandOver::Write:
            return r.WriteAck;
    }
    return r.PauseAck;
}

namespace {
std::atomic<std::thread::id>& Holder(TParams& r, HandOver which) {
    switch (which) {
        case HandOver::Pause:
            return r.PauseHolder;
        case HandOver::Switch:
            return r.SwitchHolder;
        case HandOver::Write:
            return r.WriteHolder;
    }
    return r.PauseHolder;
}
}  // namespace

bool RequestPort(TModel& model, TParams& r, const std::string& port, HandOver which,
                 const std::atomic<bool>* stop, bool processEvents) {
    // One requester per pair at a time: the job acknowledges a raised Req
    // once, so a second requester would take a port the first one holds.
    const std::thread::id self = std::this_thread::get_id();
    for (std::thread::id none{}; !Holder(r, which).compare_exchange_strong(none, self);
         none = std::thread::id{}) {
        if (stop != nullptr && *stop) return false;
        if (processEvents) model.Surfaces().ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    AckFlag(r, which) = false;
    ReqFlag(r, which) = true;
    // A job that ends acknowledges every raised request; one that is gone
    // answers none, and then the port is free.
    while (!AckFlag(r, which)) {
        if (!model.PortJobs().Serving(port)) return true;
        if (stop != nullptr && *stop) return false;
        if (processEvents) model.Surfaces().ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ReleasePort(TParams& r, HandOver which) {
    // Only the holder releases: a requester stopped while it waited for its
    // turn holds nothing.
    if (Holder(r, which) != std::this_thread::get_id()) return;
    ReqFlag(r, which) = false;
    Holder(r, which) = std::thread::id{};
}

TResult ConfigurePort(TExCOM& port, std::int32_t baud, std::uint16_t timeoutMs) {
    if (baud < 0 || baud > 0xFFFF) return rc::BadArgument;
    const TResult result = port.SetBaudRate(static_cast<std::uint16_t>(baud));
    if (result != rc::Ok) return result;
    return port.SetTimeout(timeoutMs);
}

}  // namespace zorvat
