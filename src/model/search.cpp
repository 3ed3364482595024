#include "search.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com_u.h"
#include "device_catalogue.h"
#include "error_line.h"
#include "ex_com.h"
#include "hex_text.h"
#include "regulator_exchange.h"
#include "result_messages.h"

namespace zorvat {

namespace {

constexpr int kPortCount = 10;           // "COM1".."COM10" in the port lists
constexpr std::int16_t kFamilyType = 1;  // the catalogue type that identifies the family
constexpr std::uint8_t kIdentCommand = 0;
constexpr std::size_t kMaxCommandReply = 255;

// The identification: Ok when the instrument at `address` answers with a
// code of the family, -17 when it answers another one, else the exchange's
// failure. Older firmware answers "55" for "41" and "56" for "54".
TResult Identify(TExCOM& port, std::uint8_t address) {
    std::string code;
    const TResult result = Exchange(port, kFamilyType, address, kIdentCommand, code);
    if (result != rc::Ok) return result;
    if (code == "55") code = "41";
    if (code == "56") code = "54";
    return code == "41" || code == "54" ? rc::Ok : rc::UnknownType;
}

// The software version (command 198); -21 when the answer is not a number.
TResult ReadVersion(TExCOM& port, std::uint8_t address, std::uint32_t& version) {
    std::string command = ";198;";
    const TResult result = SendCommand(&port, address, command, kMaxCommandReply);
    if (result != rc::Ok) return result;
    const auto number = ParseDecimal(command);
    if (!number) return rc::BadPayload;
    version = *number;
    return rc::Ok;
}

// The nearest whole percent of done / total.
int Percent(int done, int total) {
    return (200 * done + total) / (2 * total);
}

std::string PortName(int index) {
    return "COM" + std::to_string(index);
}

// What one address said on the wire.
struct ProbeResult {
    int address = 0;
    TResult answer = rc::NoReply;  // identification and version
    std::uint32_t version = 0;
    TResult read = rc::NoReply;  // the model code
    std::string codeText;
    bool codeAsked = false;
};

// Identifies the instrument at `address`, reads its version and, when it is
// one this program works with and `askModel`, its model code.
ProbeResult ProbeWire(TExCOM& port, int address, bool askModel) {
    ProbeResult result;
    result.address = address;
    const auto bus = static_cast<std::uint8_t>(address);
    result.answer = Identify(port, bus);
    if (result.answer == rc::Ok) {
        // Whoever answered has the usual deadlines for the rest.
        port.SetReplyDeadline({});
        result.answer = ReadVersion(port, bus, result.version);
    }
    if (result.answer == rc::Ok && result.version <= 50 && askModel) {
        result.codeAsked = true;
        result.read = ReadParam(port, std::to_string(address), "002007", result.codeText);
    }
    return result;
}

// Appends the instrument a probe found, with its tree nodes, or says why an
// address is left out.
void Record(TModel& model, const std::string& portName, const ProbeResult& probe,
            std::int32_t baud) {
    TSurfaces& surfaces = model.Surfaces();
    if (probe.answer != rc::Ok) {
        surfaces.SearchLeftOut(portName, probe.address, probe.answer);
        return;
    }
    if (probe.version > 50) {
        surfaces.AddErrorLine(
            "Внимание! На порте " + portName +
            " найдена более поздняя модель прибора не способная работать с данной программой.");
        surfaces.AddErrorLine("Обратитесь в НПП \"Велтарис\" за новой версией программы.");
        surfaces.SearchLeftOut(portName, probe.address, rc::WrongFirmware);
        return;
    }

    // Other threads may look at the list at any time, so the record is
    // complete, model code and name included, before it is appended.
    const std::size_t index = model.DeviceList.Count();
    if (index >= kMaxDevices || !probe.codeAsked) return;  // a device index is one byte
    const auto d = static_cast<std::uint8_t>(index);
    auto device = std::make_unique<TDevice>();
    device->POversion = static_cast<std::uint8_t>(probe.version);
    device->Regs[1] = std::make_unique<TParams>(d, 1);
    device->Regs[2] = std::make_unique<TParams>(d, 2);
    device->Address = std::to_string(probe.address);
    device->Present = true;
    device->ParentPort = portName;
    device->Baudrate = baud;

    const TResult read = probe.read;
    const std::string& codeText = probe.codeText;
    std::optional<std::uint32_t> code;
    if (read == rc::Ok) code = ParseHex(codeText);
    const ModelInfo* info = nullptr;
    if (code && *code <= 0xFF) {
        device->ModelCode = static_cast<std::uint8_t>(*code);
        info = FindModel(device->ModelCode);
    }
    if (info != nullptr) {
        device->Name = info->name;
        for (int c = 1; c <= info->channels; ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
        }
        if (info->regulators == 1) device->Regs[2]->Present = false;
    }
    const std::string addressText = device->Address;
    model.DeviceList.Append(std::move(device));

    if (info != nullptr) {
        surfaces.AddDeviceNode(portName, d, DeviceNodeText(std::string(info->name), addressText));
        surfaces.AddRegulatorNode({d, 1});
        if (info->regulators == 2) surfaces.AddRegulatorNode({d, 2});
    } else {
        // Without a model there is no node, so the operator must learn here
        // why an instrument that answered is missing from the tree.
        std::string line =
            TimeText() + " Прибор на порте " + portName + " с адресом " + addressText;
        if (read == rc::Ok) {
            line += " сообщил неизвестный код модели " + codeText + "; он пропущен.";
        } else {
            line += " не сообщил код модели (" +
                    Format({.layout = ErrorLayout::Search,
                            .code = read,
                            .message = ResultText(read, portName)}) +
                    "); он пропущен.";
        }
        surfaces.AddErrorLine(line);
        surfaces.SearchLeftOut(portName, probe.address, read == rc::Ok ? rc::UnknownType : read);
    }

    if (!model.PortJobs().Has(portName)) model.PortJobs().CreateSuspended(portName);
}

// Probes one address; appends the instrument when one of the family answers.
void Probe(TModel& model, TExCOM& port, const std::string& portName, int address,
           std::int32_t baud) {
    const bool room = model.DeviceList.Count() < kMaxDevices;
    Record(model, portName, ProbeWire(port, address, room), baud);
}

// What one port of the fast search found.
struct PortProbes {
    std::string name;
    TResult opened = rc::Ok;
    std::vector<ProbeResult> probes;
};

// The fast search's probing: one thread per port, each with a port object of
// its own; nothing is recorded until every thread has ended, then in port
// and address order.
void FastProbes(TModel& model, const SearchRange& range, std::vector<PortProbes>& ports) {
    const int addresses = range.MaxAddr - range.MinAddr + 1;
    const int total = static_cast<int>(ports.size()) * addresses;
    const auto deadline = FastProbeDeadline(range.Baudrate, range.marginMs);
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    threads.reserve(ports.size());
    for (PortProbes& port : ports) {
        threads.emplace_back([&model, &range, &port, &done, deadline, addresses] {
            std::unique_ptr<TExCOM> line = model.NewPort();
            port.opened = ConfigurePort(*line, range.Baudrate, 1000);
            if (port.opened == rc::Ok) port.opened = line->OpenPort(port.name);
            if (port.opened != rc::Ok) {
                done += addresses;
                return;
            }
            for (int a = range.MinAddr; a <= range.MaxAddr; ++a) {
                if (model.StopFlag) break;
                line->SetReplyDeadline(deadline);
                port.probes.push_back(ProbeWire(*line, a, true));
                ++done;
            }
            line->ClosePort();
        });
    }
    // The progress bar follows every thread together.
    int shown = -1;
    while (done < total && !model.StopFlag) {
        const int percent = Percent(done, total);
        if (percent != shown) model.Surfaces().SetProgress(shown = percent);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::thread& t : threads)
        t.join();
    model.Surfaces().SetProgress(Percent(done, total));
}

}  // namespace

std::chrono::milliseconds FastProbeDeadline(std::int32_t baud, int marginMs) {
    // The identification request (0xFF and up to 16 characters) and its
    // reply (up to 24), 10 bits a character.
    constexpr int kBytes = 17 + 24;
    const int rate = baud > 0 ? baud : 9600;
    const int wire = (kBytes * 10 * 1000 + rate - 1) / rate;
    return std::chrono::milliseconds(wire + std::max(marginMs, 0));
}

void SearchInstruments(TModel& model, SearchRange& range) {
    TSurfaces& surfaces = model.Surfaces();
    surfaces.OperationStarted(Operation::Search);
    surfaces.ClearErrorLog();
    const std::string status = surfaces.Status();
    surfaces.SetStatus("Идёт поиск приборов...");

    std::unique_ptr<TExCOM> port = model.NewPort();
    TResult code = ConfigurePort(*port, range.Baudrate, 1000);

    if (code == rc::Ok) {
        // The lists only offer COM1..COM10 and addresses 1..255.
        range.COMmin = std::clamp(range.COMmin, 1, kPortCount);
        range.COMmax = std::clamp(range.COMmax, 1, kPortCount);
        range.MinAddr = std::clamp(range.MinAddr, 1, 255);
        range.MaxAddr = std::clamp(range.MaxAddr, 1, 255);
        if (range.COMmax < range.COMmin) range.COMmax = range.COMmin;
        if (range.MaxAddr < range.MinAddr) range.MaxAddr = range.MinAddr;
        const int ports = range.COMmax - range.COMmin + 1;
        const int addresses = range.MaxAddr - range.MinAddr + 1;
        const int total = ports * addresses;

        if (range.fast) {
            std::vector<PortProbes> found(static_cast<std::size_t>(ports));
            for (int p = 1; p <= ports; ++p)
                found[static_cast<std::size_t>(p - 1)].name = PortName(range.COMmin + p - 1);
            FastProbes(model, range, found);
            for (const PortProbes& p : found) {
                if (p.opened != rc::Ok) {
                    surfaces.SearchLeftOut(p.name, 0, p.opened);
                    continue;
                }
                surfaces.AddPortNode(p.name);
                for (const ProbeResult& probe : p.probes)
                    Record(model, p.name, probe, range.Baudrate);
            }
        }
        for (int p = 1; p <= ports && !range.fast; ++p) {
            const std::string name = PortName(range.COMmin + p - 1);
            if (const TResult opened = port->OpenPort(name); opened != rc::Ok) {
                surfaces.SearchLeftOut(name, 0, opened);
                continue;
            }
            surfaces.AddPortNode(name);
            for (int a = 1; a <= addresses; ++a) {
                surfaces.SetProgress(Percent((p - 1) * addresses + a, total));
                if (model.StopFlag) break;
                Probe(model, *port, name, range.MinAddr + a - 1, range.Baudrate);
            }
            port->ClosePort();
            if (model.StopFlag) break;
        }
        code = rc::Ok;
    }

    // Only the port's configuration can leave a code here, before any port
    // was named.
    std::string message;
    if (code != rc::NoReply && ResultMessage(code, "", message)) {
        surfaces.AddErrorLine(
            Format({.layout = ErrorLayout::Search, .code = code, .message = message}));
    }
    surfaces.SetProjectChanged(true);
    surfaces.SetStatus("Идёт чтение параметров приборов...");
    FreePort(port);

    // The jobs stayed suspended while the search held their ports.
    model.PortJobs().StartAll();
    // The search's own lines (newer models, unknown model codes) stay.
    const Outcome read = ReadInstrumentParams(model, kAllDevices, false);
    const bool interrupted = read == Outcome::Stopped;
    TickRegulatorNodes(model);

    if (!model.DeviceList.Empty()) {
        std::vector<std::string> memo = {"Приборы найдены."};
        if (interrupted) {
            memo.emplace_back("!!!Чтение параметров прервано!!!");
            memo.emplace_back("Считайте параметры приборов.");
        } else {
            memo.emplace_back("Все параметры считаны.");
        }
        memo.emplace_back("Сделайте выбор в дереве.");
        surfaces.SetFoundMemo(memo);
    }
    surfaces.SetStatus(status);
    surfaces.SetProgress(0);
    surfaces.OperationFinished(Operation::Search, read);
}

Outcome CheckLink(TModel& model, std::uint8_t d) {
    TDevice* device = model.Device(d);
    if (device == nullptr) return Outcome::Failed;
    TParams& handOver = *device->Regs[1];
    RequestPort(model, handOver, device->ParentPort, HandOver::Switch);

    std::unique_ptr<TExCOM> port = model.NewPort();
    TResult code = ConfigurePort(*port, device->Baudrate, 1000);
    bool answered = false;
    if (code == rc::Ok) {
        if (port->OpenPort(device->ParentPort) == rc::Ok) {
            const auto address = ParseDecimal(device->Address);
            answered = address && *address <= 255 &&
                       Identify(*port, static_cast<std::uint8_t>(*address)) == rc::Ok;
            port->ClosePort();
        }
        model.Surfaces().AddErrorLine(
            answered ? "Прибор на связи."
                     : "Прибор с такими параметрами не найден.Проверьте подключение и выполните "
                       "поиск прибора.");
    }
    FreePort(port);
    ReleasePort(handOver, HandOver::Switch);
    return answered ? Outcome::Done : Outcome::Failed;
}

}  // namespace zorvat
