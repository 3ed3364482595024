#include "line_stats.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "port_map.h"

namespace zorvat {

namespace {

std::mutex& Mutex() {
    static std::mutex mu;
    return mu;
}

std::map<std::string, LineStats, std::less<>>& Table() {
    static std::map<std::string, LineStats, std::less<>> table;
    return table;
}

std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f мс", seconds * 1000.0);
    return text;
}

}  // namespace

ExchangeKind ClassifyExchange(TResult code) {
    if (code == rc::Ok) return ExchangeKind::Reply;
    if (code == rc::NoReply) return ExchangeKind::Timeout;
    if (code == rc::BadChecksum) return ExchangeKind::Checksum;
    if (code > 0 || code == rc::DeviceReportsError || code <= rc::TypedStatusBase) {
        return ExchangeKind::Instrument;
    }
    return ExchangeKind::Other;
}

void CountExchange(std::string_view port, TResult code, std::optional<double> roundTrip) {
    std::lock_guard lock(Mutex());
    auto& table = Table();
    auto it = table.find(port);
    if (it == table.end()) it = table.emplace(std::string(port), LineStats{}).first;
    LineStats& s = it->second;
    ++s.requests;
    switch (ClassifyExchange(code)) {
        case ExchangeKind::Reply:
            ++s.replies;
            break;
        case ExchangeKind::Timeout:
            ++s.timeouts;
            break;
        case ExchangeKind::Checksum:
            ++s.checksumErrors;
            break;
        case ExchangeKind::Instrument:
            ++s.instrumentErrors;
            break;
        case ExchangeKind::Other:
            ++s.otherErrors;
            break;
    }
    if (roundTrip) {
        ++s.timed;
        s.totalSeconds += *roundTrip;
        s.worstSeconds = std::max(s.worstSeconds, *roundTrip);
    }
}

LineStats LineStatsOf(std::string_view port) {
    std::lock_guard lock(Mutex());
    const auto it = Table().find(port);
    return it == Table().end() ? LineStats{} : it->second;
}

std::vector<std::pair<std::string, LineStats>> AllLineStats() {
    std::vector<std::pair<std::string, LineStats>> all;
    {
        std::lock_guard lock(Mutex());
        all.assign(Table().begin(), Table().end());
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return PortNumber(a.first).value_or(0) < PortNumber(b.first).value_or(0);
    });
    return all;
}

void ResetLineStats(std::string_view port) {
    std::lock_guard lock(Mutex());
    const auto it = Table().find(port);
    if (it != Table().end()) Table().erase(it);
}

void ResetAllLineStats() {
    std::lock_guard lock(Mutex());
    Table().clear();
}

std::vector<std::string> LineStatsLines(const LineStats& s) {
    std::vector<std::string> lines = {
        "Запросов: " + std::to_string(s.requests),
        "Ответов без ошибок: " + std::to_string(s.replies),
        "Нет ответа (тайм-аут): " + std::to_string(s.timeouts),
        "Ошибок контрольной суммы: " + std::to_string(s.checksumErrors),
        "Ошибок прибора: " + std::to_string(s.instrumentErrors),
    };
    if (s.otherErrors > 0) {
        lines.push_back("Искажённых ответов и сбоев порта: " + std::to_string(s.otherErrors));
    }
    if (s.timed > 0) {
        lines.push_back("Время обмена среднее: " + Milliseconds(s.MeanSeconds()));
        lines.push_back("Время обмена наибольшее: " + Milliseconds(s.worstSeconds));
    } else {
        lines.push_back("Время обмена: —");
    }
    return lines;
}

}  // namespace zorvat
