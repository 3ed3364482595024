// zorvat-cli's settings groups (channel, coefficients, relays, passwords,
// analog outputs) and projects. A write reads the group first, applies the
// given fields and writes the group, as the dialogs do.
#include <cstdio>
#include <functional>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "Files.h"
#include "cli_options.h"
#include "cli_session.h"
#include "hex_text.h"
#include "regulator_control.h"
#include "settings_exchange.h"

namespace zorvat::cli {

namespace {

// One field of a group: its text as shown and how a given text is taken.
struct GroupField {
    std::string name;
    std::function<std::string()> get;
    std::function<bool(const std::string&)> set;
    bool quoted = false;  // a text in JSON, not a number
};

std::optional<double> ParseReal(const std::string& text) {
    double v = 0;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    if (!(in >> v) || !in.eof()) return std::nullopt;
    return v;
}

GroupField Byte(std::string name, std::uint8_t& field) {
    return {std::move(name), [&field] { return std::to_string(field); },
            [&field](const std::string& t) {
                const auto v = ParseDecimal(t);
                if (!v || *v > 255) return false;
                field = static_cast<std::uint8_t>(*v);
                return true;
            }};
}

GroupField AtomicByte(std::string name, std::atomic<std::uint8_t>& field) {
    return {std::move(name), [&field] { return std::to_string(field.load()); },
            [&field](const std::string& t) {
                const auto v = ParseDecimal(t);
                if (!v || *v > 255) return false;
                field = static_cast<std::uint8_t>(*v);
                return true;
            }};
}

GroupField Real(std::string name, double& field) {
    return {std::move(name),
            [&field] {
                char text[32];
                std::snprintf(text, sizeof text, "%.15g", field);
                return std::string(text);
            },
            [&field](const std::string& t) {
                const auto v = ParseReal(t);
                if (!v) return false;
                field = *v;
                return true;
            }};
}

// A text of `digits` hexadecimal digits, kept in upper case.
GroupField HexText(std::string name, std::string& field, std::size_t digits) {
    return {std::move(name), [&field] { return field; },
            [&field, digits](const std::string& t) {
                if (t.size() != digits) return false;
                std::string upper;
                for (char c : t) {
                    if (!IsHexDigit(c)) return false;
                    upper += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
                }
                field = upper;
                return true;
            },
            true};
}

GroupField RelayTable(std::array<std::uint8_t, 12>& table) {
    return {"relTbl",
            [&table] {
                std::string text;
                for (std::uint8_t b : table)
                    text += HexByte(b);
                return text;
            },
            [&table](const std::string& t) {
                if (t.size() != 24) return false;
                std::array<std::uint8_t, 12> bytes{};
                for (std::size_t i = 0; i < 12; ++i) {
                    const auto b = ParseHex(t.substr(2 * i, 2));
                    if (!b) return false;
                    bytes[i] = static_cast<std::uint8_t>(*b);
                }
                table = bytes;
                return true;
            },
            true};
}

std::vector<GroupField> ChannelFields(TDevice& d, TChnl& c, bool withInstrument) {
    std::vector<GroupField> f;
    if (withInstrument) {
        f.push_back(AtomicByte("ModelCode", d.ModelCode));
        f.push_back(AtomicByte("InPE", d.InPE));
        f.push_back(AtomicByte("RelayMask", d.RelayMask));
        f.push_back(Byte("Fd1", d.Fd1));
        f.push_back(Byte("Fd2", d.Fd2));
        f.push_back(Byte("Fd3", d.Fd3));
        f.push_back(Byte("Fd4", d.Fd4));
        f.push_back(Byte("Fd5", d.Fd5));
    }
    f.push_back(Byte("SEnS", c.SEnS));
    f.push_back(Real("SHFn", c.SHFn));
    f.push_back(Real("GAin", c.GAin));
    f.push_back(Byte("PrcS", c.PrcS));
    f.push_back(Byte("nSu", c.nSu));
    f.push_back(Real("brdL", c.brdL));
    f.push_back(Real("brdH", c.brdH));
    f.push_back(Byte("CUtE", c.CUtE));
    f.push_back(Byte("Sqr", c.Sqr));
    f.push_back(Byte("ZSqr", c.ZSqr));
    f.push_back(Byte("Sil", c.Sil));
    f.push_back(Real("R0Deviation", c.R0Deviation));
    f.push_back(Real("rESL", c.rESL));
    f.push_back(Byte("Lc", c.Lc));
    f.push_back(Real("IdPL", c.IdPL));
    f.push_back(Real("IdPH", c.IdPH));
    f.push_back(Byte("SEnC", c.SEnC));
    f.push_back(Byte("ttYP", c.ttYP));
    f.push_back(Real("SEt1", c.SEt1));
    f.push_back(Real("HYS1", c.HYS1));
    f.push_back(Real("SEt2", c.SEt2));
    f.push_back(Real("HYS2", c.HYS2));
    f.push_back(Real("SEt3", c.SEt3));
    f.push_back(Real("HYS3", c.HYS3));
    return f;
}

std::vector<GroupField> CoefFields(TDevice& d) {
    return {Byte("nLin", d.nLin), Real("LiH1", d.LiH1), Real("LiY1", d.LiY1), Real("LiH2", d.LiH2),
            Real("LiY2", d.LiY2), Real("LiH3", d.LiH3), Real("LiY3", d.LiY3), Real("LiH4", d.LiH4),
            Real("LiY4", d.LiY4), Real("LiH5", d.LiH5), Real("LiY5", d.LiY5), Byte("nPol", d.nPol),
            Real("b0", d.b0),     Real("A0", d.A0),     Real("A1", d.A1),     Real("A2", d.A2),
            Real("A3", d.A3),     Real("A4", d.A4),     Real("A5", d.A5),     Real("A6", d.A6),
            Real("A7", d.A7),     Real("A8", d.A8)};
}

std::vector<GroupField> RelayFields(TDevice& d) {
    return {Byte("nrL1", d.nrL1), Byte("nrL2", d.nrL2), Byte("nrL3", d.nrL3), Byte("nrL4", d.nrL4),
            RelayTable(d.relTbl)};
}

std::vector<GroupField> PasswordFields(TDevice& d) {
    return {HexText("Pass1", d.Pass1, 4), HexText("Pass2", d.Pass2, 4),
            HexText("Pass3", d.Pass3, 4)};
}

std::vector<GroupField> OutputFields(TDevice& d) {
    return {Byte("SrO", d.SrO), Byte("OtP", d.OtP), Real("OdL", d.OdL), Real("OdH", d.OdH),
            Real("OEr", d.OEr)};
}

void PrintFields(const std::vector<GroupField>& fields, bool json) {
    if (json) {
        std::cout << "{";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string v = fields[i].get();
            std::cout << (i ? "," : "") << "\"" << fields[i].name
                      << "\":" << (fields[i].quoted ? "\"" + v + "\"" : v);
        }
        std::cout << "}\n";
    } else {
        for (const GroupField& f : fields)
            std::cout << f.name << "\t" << f.get() << "\n";
    }
}

// The group command: read, print, or apply and write.
struct Group {
    std::function<ExchangeEnd(TModel&)> read;
    std::function<ExchangeEnd(TModel&)> write;
    std::function<std::vector<GroupField>(TDevice&)> fields;
};

int RunGroup(const Options& o, const Group& group) {
    if (o.args.size() < 2 || (o.args[1] != "read" && o.args[1] != "write")) {
        return Usage(o.args[0] + " read|write [FIELD=VALUE...]");
    }
    const bool write = o.args[1] == "write";
    if (!write && o.args.size() > 2) return Usage(o.args[0] + " read takes no fields");
    if (write && o.args.size() < 3) return Usage(o.args[0] + " write needs FIELD=VALUE");

    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    auto fields = group.fields(*d);
    if (fields.empty()) {
        std::cerr << "error: " << d->Name << " has no such channel\n";
        return kExitFailure;
    }
    if (const ExchangeEnd end = group.read(s.model_); !end.Done()) {
        std::cerr << "error: the read did not complete";
        if (!end.message.empty()) std::cerr << ":" << end.message;
        std::cerr << "\n";
        return kExitFailure;
    }
    if (write) {
        for (std::size_t i = 2; i < o.args.size(); ++i) {
            const std::string& a = o.args[i];
            const auto eq = a.find('=');
            GroupField* field = nullptr;
            for (GroupField& f : fields) {
                if (eq != std::string::npos && a.substr(0, eq) == f.name) field = &f;
            }
            if (field == nullptr) return Usage("no field of " + o.args[0] + ": " + a);
            if (!field->set(a.substr(eq + 1)))
                return Usage("not a value for " + field->name + ": " + a);
        }
        if (const ExchangeEnd end = group.write(s.model_); !end.Done()) {
            std::cerr << "error: Запись не завершена." << end.message << "\n";
            return kExitFailure;
        }
    }
    PrintFields(fields, o.json);
    return kExitOk;
}

std::string PrefixOf(int output) {
    return output == 2 ? "02" : "01";
}

int ProjectShow(const Options& o) {
    if (o.args.size() != 3 || o.args[1] != "show") return Usage("project show FILE");
    std::string reason;
    const auto file = IniReader::Load(o.args[2], &reason);
    if (!file) {
        std::cerr << "error: cannot read " << o.args[2] << ": " << reason << "\n";
        return kExitFailure;
    }
    // What a load keeps, and a word on what it leaves out.
    const auto [devices, notLoaded, leftOut] = ReadProjectDevices(*file);
    if (notLoaded > 0) std::cerr << "warning: " << leftOut << "\n";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const ProjectDevice& d = devices[i];
        std::cout << d.port << "\t" << d.address << "\t" << d.name << "\t" << d.baudrate
                  << " baud\tversion " << int(d.poVersion) << "\n";
        for (std::size_t r = 0; r < 2; ++r) {
            const ProjectRegulator& reg = d.regulators[r];
            if (!reg.present) continue;
            std::cout << "  regulator " << r + 1 << ": " << reg.points.size() << " points";
            for (std::size_t p = 0; p < reg.points.size(); ++p) {
                const ProjectPoint& pt = reg.points[p];
                if (!pt.on) continue;
                char text[64];
                std::snprintf(text, sizeof text, " %zu:%g@%s", p + 1, pt.setpoint,
                              DurationText(pt.seconds).c_str());
                std::cout << text;
            }
            std::cout << "\n";
        }
    }
    return kExitOk;
}

}  // namespace

int RunGroupCommand(const Options& o) {
    const std::string& c = o.args[0];
    const auto d = std::uint8_t{0};
    if (c == "channel") {
        const auto ch = static_cast<std::uint8_t>(o.channel);
        return RunGroup(o, {[=](TModel& m) { return ReadChnlSettings(m, d, ch); },
                            [=](TModel& m) { return WriteChnlSettings(m, d, ch); },
                            [=](TDevice& dev) {
                                TChnl* chnl = dev.Chnls[ch].get();
                                return chnl ? ChannelFields(dev, *chnl, ch == 1)
                                            : std::vector<GroupField>{};
                            }});
    }
    if (c == "coefs") {
        return RunGroup(o, {[=](TModel& m) { return ReadKoefs(m, d); },
                            [=](TModel& m) { return WriteKoefs(m, d); }, CoefFields});
    }
    if (c == "relays") {
        return RunGroup(o, {[=](TModel& m) { return ReadRelayTable(m, d); },
                            [=](TModel& m) { return WriteRelayTable(m, d); }, RelayFields});
    }
    if (c == "passwords") {
        return RunGroup(o, {[=](TModel& m) { return ReadPasswords(m, d); },
                            [=](TModel& m) { return WritePasswords(m, d); }, PasswordFields});
    }
    if (c == "aout") {
        const std::string prefix = PrefixOf(o.output);
        return RunGroup(o,
                        {[=](TModel& m) { return ReadAnalogOutput(m, d, prefix); },
                         [=](TModel& m) { return WriteAnalogOutput(m, d, prefix); }, OutputFields});
    }
    if (c == "project") return ProjectShow(o);
    return -1;
}

}  // namespace zorvat::cli
