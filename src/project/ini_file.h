// Profile (INI) files as the project and settings files use them: a section
// begins with a line "[name]", each following line holds a key, "=" and the
// value. Section and key names are matched without regard to letter case
// (ASCII letters), values run to the end of the line with surrounding blanks
// removed, and a missing key gives the caller's default.
//
// Both classes work on bytes: the text encoding is the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zorvat {

// A full project of 255 instruments with 255 points per regulator is about
// 10 MB. A larger file is refused by Load; text given to the constructor is
// cut here, as if it ended there.
inline constexpr std::size_t kMaxIniBytes = 16u << 20;

// Reads a whole file once and answers lookups. When a section name occurs
// twice, the first section counts; when a key occurs twice in a section, the
// first line counts. Lines before the first section, lines without "=", lines
// beginning with ";" and the lines below a header without "]" are ignored.
// Any bytes are accepted: a binary or truncated file yields whatever lines
// it holds.
class IniReader {
  public:
    IniReader() = default;
    explicit IniReader(std::string text);

    // Nullopt when `path` is not a regular file that can be read whole (one
    // larger than kMaxIniBytes is not read at all); `reason`, when given,
    // then says why in the operator's words.
    static std::optional<IniReader> Load(const std::filesystem::path& path,
                                         std::string* reason = nullptr);

    bool HasSection(std::string_view section) const;
    // Every section header's name, in file order; a name given twice is
    // listed twice.
    std::vector<std::string_view> SectionNames() const;
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view fallback) const;
    // The keys and values of a section, in file order (empty when there is
    // no such section).
    std::vector<std::pair<std::string_view, std::string_view>> Entries(
        std::string_view section) const;

  private:
    // Offsets into text_, which kMaxIniBytes keeps below 4 GiB.
    struct Span {
        std::uint32_t pos = 0;
        std::uint32_t length = 0;
    };
    struct Entry {
        Span key;
        Span value;
    };
    // The section's entries are entries_[first, first + count); the same
    // range of keyOrder_ lists them sorted by name, file order among equals.
    struct Section {
        Span name;
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };

    std::string_view View(Span span) const;
    // The same span of the text with A-Z as a-z: names compare as bytes.
    std::string_view FoldedView(Span span) const;
    const Section* FindSection(std::string_view foldedName) const;

    std::string text_;
    std::string folded_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> keyOrder_;
    std::vector<Section> sections_;
    std::vector<std::uint32_t> sectionOrder_;
};

// Collects sections and keys in the order they are first set and writes them
// in that order, with CR LF line ends and a blank line between sections.
// Setting a key again replaces its value in place. Line breaks inside names
// and values become blanks, so a value can never start a line of its own.
class IniWriter {
  public:
    void Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;
    // Writes the text beside `path` and renames it over the old file, so the
    // old file stays whole when the write fails (ReplaceFileContents, which
    // also gives the `reason`).
    bool Save(const std::filesystem::path& path, std::string* reason = nullptr) const;

  private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::unordered_map<std::string, std::size_t> index;  // by lower-case key
    };
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // by lower-case name
};

}  // namespace zorvat
