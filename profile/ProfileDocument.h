#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::profile {

// The bytes of one profile file, read and edited in place: an edit replaces or inserts only the
// lines it concerns, so comments, blank lines, spacing, line ends and a UTF-8 byte order mark stay
// as the user left them. Pure: no I/O. Names are looked up without regard to ASCII case and
// surrounding blanks; when a section or key occurs twice, the first one counts. A section header
// names what lies between '[' and the last ']' of its line; a line with no ']' is no header.
class ProfileDocument {
public:
    explicit ProfileDocument(std::string bytes = {});

    const std::string& bytes() const { return m_bytes; }

    // The value as GetPrivateProfileStringA reads it (blanks trimmed, one pair of quotes removed,
    // cut at a NUL byte), or nothing when the section or key is missing. Views stay valid until
    // the next edit.
    std::optional<std::string_view> value(std::string_view section, std::string_view key) const;
    std::vector<std::string_view> sectionNames() const;
    std::vector<std::string_view> keyNames(std::string_view section) const;

    // Each edit answers whether the bytes changed. Setting the value a key already reads as
    // changes nothing.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);

private:
    enum class LineKind { Blank, Section, Key, Other };
    struct Line {
        std::size_t begin = 0;
        std::size_t contentEnd = 0; // where the line end ("\r\n", "\r" or "\n") starts
        std::size_t end = 0;        // after the line end
        LineKind kind = LineKind::Other;
        std::string_view name;      // section or key name, trimmed
        std::string_view rawValue;  // key lines: everything after the first '='
    };
    struct SectionSpan {
        std::size_t header = 0; // index of the header line
        std::size_t end = 0;    // index of the next header line, or the line count
    };

    void parse();
    Line parseLine(std::size_t begin, std::size_t contentEnd, std::size_t end) const;
    std::optional<SectionSpan> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(const SectionSpan& span, std::string_view key) const;
    std::string_view lineEnd() const;
    void replace(std::size_t begin, std::size_t end, std::string_view bytes);

    std::string m_bytes;
    std::size_t m_textStart = 0; // after a UTF-8 byte order mark
    std::vector<Line> m_lines;
};

} // namespace pelmora::profile
