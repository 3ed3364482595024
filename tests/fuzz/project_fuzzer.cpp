// Fuzz target for the project file loader: any bytes read as a project and
// loaded into a model, as the window's "Открыть" does.
//
// The model then holds one instrument per device read, the ports' polling
// jobs are asked for in order of first appearance, and a save of the model,
// loaded again, saves the same text (a save of a loaded project loses
// nothing more on the next round).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Files.h"
#include "ini_file.h"
#include "model.h"
#include "polling_jobs.h"
#include "surfaces.h"

namespace {

using namespace zorvat;

// Remembers the ports a load asks jobs for; starts nothing.
class NoJobs final : public TPollingJobs {
  public:
    bool Has(const std::string& port) const override { return ports_.count(port) != 0; }
    bool Serving(const std::string& port) const override { return Has(port); }
    void CreateSuspended(const std::string& port) override { ports_.insert(port); }
    void StartAll() override {}
    void Ensure(const std::string& port) override { ports_.insert(port); }
    void StopAll() override { ports_.clear(); }
    std::size_t Count() const override { return ports_.size(); }

  private:
    std::set<std::string> ports_;
};

constexpr const char* kWhen = "01.01.2026 0:00:00";

std::string Saved(const TModel& model) {
    return ProjectText(ProjectDevicesOf(model), kWhen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TQuietSurfaces surfaces;
    TModel model(surfaces, [](TModel&) { return std::make_unique<NoJobs>(); });
    const LoadedProject loaded =
        LoadProject(model, IniReader(std::string(reinterpret_cast<const char*>(data), size)));
    if (!loaded.loaded || model.DeviceList.Count() != loaded.devices) __builtin_trap();
    if (loaded.devices + loaded.notLoaded > kProjectSections) __builtin_trap();
    std::vector<std::string> ports;
    for (std::size_t d = 0; d < model.DeviceList.Count(); ++d) {
        const TDevice& device = *model.Device(d);
        if (!device.Present || device.Address.size() > 3 * 3) __builtin_trap();
        if (!model.PortJobs().Has(device.ParentPort)) __builtin_trap();
        if (std::find(ports.begin(), ports.end(), device.ParentPort) == ports.end())
            ports.push_back(device.ParentPort);
    }
    if (loaded.ports != ports || model.PortJobs().Count() != ports.size()) __builtin_trap();

    const std::string saved = Saved(model);
    const LoadedProject again = LoadProject(model, IniReader(saved));
    if (again.devices != loaded.devices || again.notLoaded != 0) __builtin_trap();
    if (Saved(model) != saved) __builtin_trap();
    return 0;
}
