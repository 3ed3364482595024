#include "ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "atomic_file.h"

namespace zorvat {

namespace {

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Fold(c);
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Bounds of `text[begin, end)` without surrounding blanks.
void Trim(std::string_view text, std::size_t& begin, std::size_t& end) {
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
}

std::string TooBigText(std::uintmax_t size) {
    return "Файл слишком велик (" + std::to_string(size) + " байт, а прочитать можно не больше " +
           std::to_string(kMaxIniBytes >> 20) + " МиБ); он не прочитан.";
}

std::string WithoutLineBreaks(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

}  // namespace

IniReader::IniReader(std::string text) : text_(std::move(text)) {
    if (text_.size() > kMaxIniBytes) text_.resize(kMaxIniBytes);
    // Names are compared folded, as plain bytes: one pass here instead of a
    // fold per character of every comparison of a lookup.
    folded_ = Folded(text_);
    const std::string_view all(text_);
    const auto span = [](std::size_t begin, std::size_t end) {
        return Span{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end - begin)};
    };

    // A file saved as UTF-8 by an editor may begin with a byte order mark.
    std::size_t pos = all.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    bool inSection = false;
    while (pos < all.size()) {
        std::size_t lineEnd = all.find_first_of("\r\n", pos);
        if (lineEnd == std::string_view::npos) lineEnd = all.size();
        std::size_t begin = pos;
        std::size_t end = lineEnd;
        pos = lineEnd + 1;
        Trim(all, begin, end);
        if (begin == end || all[begin] == ';') continue;
        const std::string_view line = all.substr(begin, end - begin);

        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            // A header cut short must not hand its keys to the section above.
            inSection = close != std::string_view::npos;
            if (!inSection) continue;
            std::size_t nameBegin = begin + 1;
            std::size_t nameEnd = begin + close;
            Trim(all, nameBegin, nameEnd);
            sections_.push_back(
                {span(nameBegin, nameEnd), static_cast<std::uint32_t>(entries_.size()), 0});
            continue;
        }
        if (!inSection) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::size_t keyEnd = begin + equals;
        std::size_t valueBegin = keyEnd + 1;
        Trim(all, begin, keyEnd);
        Trim(all, valueBegin, end);
        if (begin == keyEnd) continue;
        entries_.push_back({span(begin, keyEnd), span(valueBegin, end)});
        ++sections_.back().count;
    }

    keyOrder_.resize(entries_.size());
    for (std::size_t i = 0; i < keyOrder_.size(); ++i)
        keyOrder_[i] = static_cast<std::uint32_t>(i);
    for (const Section& s : sections_) {
        const auto first = keyOrder_.begin() + static_cast<std::ptrdiff_t>(s.first);
        std::stable_sort(first, first + static_cast<std::ptrdiff_t>(s.count),
                         [this](std::uint32_t a, std::uint32_t b) {
                             return FoldedView(entries_[a].key) < FoldedView(entries_[b].key);
                         });
    }
    sectionOrder_.resize(sections_.size());
    for (std::size_t i = 0; i < sectionOrder_.size(); ++i)
        sectionOrder_[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(sectionOrder_.begin(), sectionOrder_.end(),
                     [this](std::uint32_t a, std::uint32_t b) {
                         return FoldedView(sections_[a].name) < FoldedView(sections_[b].name);
                     });
}

std::optional<IniReader> IniReader::Load(const std::filesystem::path& path, std::string* reason) {
    namespace fs = std::filesystem;
    const auto fail = [reason](std::string why) -> std::optional<IniReader> {
        if (reason != nullptr) *reason = std::move(why);
        return std::nullopt;
    };
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        const fs::path folder = path.parent_path();
        const bool folderThere = folder.empty() || fs::is_directory(folder, ec);
        return fail(folderThere ? FileErrorText(ENOENT, false) : "Папка не найдена.");
    }
    if (ec) return fail(FileErrorText(ec.value(), false));
    if (fs::is_directory(status)) return fail(FileErrorText(EISDIR, false));
    if (!fs::is_regular_file(status)) return fail("Это не файл.");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxIniBytes) return fail(TooBigText(size));

    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(FileErrorText(errno != 0 ? errno : EACCES, false));
    std::string text;
    char chunk[1 << 16];
    // One byte past the limit tells a file that grew since it was measured.
    while (text.size() <= kMaxIniBytes && in) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return fail(FileErrorText(EIO, false));
    if (text.size() > kMaxIniBytes) return fail(TooBigText(text.size()));
    return IniReader(std::move(text));
}

std::vector<std::string_view> IniReader::SectionNames() const {
    std::vector<std::string_view> names;
    names.reserve(sections_.size());
    for (const Section& s : sections_)
        names.push_back(View(s.name));
    return names;
}

std::string_view IniReader::View(Span span) const {
    return std::string_view(text_).substr(span.pos, span.length);
}

std::string_view IniReader::FoldedView(Span span) const {
    return std::string_view(folded_).substr(span.pos, span.length);
}

const IniReader::Section* IniReader::FindSection(std::string_view foldedName) const {
    const auto it = std::lower_bound(
        sectionOrder_.begin(), sectionOrder_.end(), foldedName,
        [this](std::uint32_t s, std::string_view n) { return FoldedView(sections_[s].name) < n; });
    if (it == sectionOrder_.end() || FoldedView(sections_[*it].name) != foldedName) return nullptr;
    return &sections_[*it];
}

bool IniReader::HasSection(std::string_view section) const {
    return FindSection(Folded(section)) != nullptr;
}

std::optional<std::string_view> IniReader::Find(std::string_view section,
                                                std::string_view key) const {
    const Section* s = FindSection(Folded(section));
    if (s == nullptr) return std::nullopt;
    const std::string foldedKey = Folded(key);
    const auto first = keyOrder_.begin() + static_cast<std::ptrdiff_t>(s->first);
    const auto last = first + static_cast<std::ptrdiff_t>(s->count);
    const auto it = std::lower_bound(
        first, last, std::string_view(foldedKey),
        [this](std::uint32_t e, std::string_view k) { return FoldedView(entries_[e].key) < k; });
    if (it == last || FoldedView(entries_[*it].key) != foldedKey) return std::nullopt;
    return View(entries_[*it].value);
}

std::vector<std::pair<std::string_view, std::string_view>> IniReader::Entries(
    std::string_view section) const {
    std::vector<std::pair<std::string_view, std::string_view>> out;
    const Section* s = FindSection(Folded(section));
    if (s == nullptr) return out;
    for (std::uint32_t e = s->first; e < s->first + s->count; ++e)
        out.emplace_back(View(entries_[e].key), View(entries_[e].value));
    return out;
}

std::string IniReader::Get(std::string_view section, std::string_view key,
                           std::string_view fallback) const {
    return std::string(Find(section, key).value_or(fallback));
}

void IniWriter::Set(std::string_view section, std::string_view key, std::string_view value) {
    const auto [sectionIt, newSection] =
        sectionIndex_.try_emplace(Folded(section), sections_.size());
    if (newSection) sections_.push_back({WithoutLineBreaks(section), {}, {}});
    Section& s = sections_[sectionIt->second];
    const auto [keyIt, newKey] = s.index.try_emplace(Folded(key), s.entries.size());
    if (newKey) {
        s.entries.emplace_back(WithoutLineBreaks(key), WithoutLineBreaks(value));
    } else {
        s.entries[keyIt->second].second = WithoutLineBreaks(value);
    }
}

std::string IniWriter::Text() const {
    std::string out;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += '[';
        out += sections_[i].name;
        out += "]\r\n";
        for (const auto& [key, value] : sections_[i].entries) {
            out += key;
            out += '=';
            out += value;
            out += "\r\n";
        }
    }
    return out;
}

bool IniWriter::Save(const std::filesystem::path& path, std::string* reason) const {
    return ReplaceFileContents(path, Text(), reason);
}

}  // namespace zorvat
