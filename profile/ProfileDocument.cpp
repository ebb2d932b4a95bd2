#include "profile/ProfileDocument.h"

#include "platform/AnsiText.h"
#include "profile/ProfileText.h"

#include <algorithm>

namespace pelmora::profile {

using namespace text;
using platform::ansi::characterLength;
using platform::ansi::Encoding;
using platform::ansi::encodingOf;

namespace {

constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view crlf = "\r\n";

// A value as it reads back: what follows a NUL byte is invisible to the C-string readers.
std::string_view readableValue(std::string_view raw)
{
    raw = raw.substr(0, raw.find('\0'));
    return stripQuotes(trimBlanks(raw));
}

// The name of a section header "[...]": up to the last ']' of the line, as Windows reads it, so a
// name may itself hold ']' ("[EXE]INI]" is the section "EXE]INI"). Only a ']' that is a character
// of its own counts (in CP932 the second byte of a character may be 0x5D). A line without one is
// not a section header.
std::optional<std::string_view> sectionHeaderName(std::string_view afterBracket)
{
    const Encoding encoding = encodingOf(afterBracket);
    std::optional<std::size_t> close;
    for (std::size_t pos = 0; pos < afterBracket.size();
         pos += characterLength(afterBracket, pos, encoding)) {
        if (afterBracket[pos] == ']')
            close = pos;
    }
    if (!close)
        return std::nullopt;
    return trimBlanks(afterBracket.substr(0, *close));
}

} // namespace

ProfileDocument::ProfileDocument(std::string bytes) : m_bytes(std::move(bytes))
{
    parse();
}

void ProfileDocument::parse()
{
    m_lines.clear();
    m_textStart = std::string_view(m_bytes).starts_with(utf8Bom) ? utf8Bom.size() : 0;
    std::size_t begin = m_textStart;
    while (begin < m_bytes.size()) {
        std::size_t contentEnd = m_bytes.find_first_of("\r\n", begin);
        std::size_t end = 0;
        if (contentEnd == std::string::npos) {
            contentEnd = end = m_bytes.size();
        } else {
            end = contentEnd + 1;
            if (m_bytes[contentEnd] == '\r' && end < m_bytes.size() && m_bytes[end] == '\n')
                ++end;
        }
        m_lines.push_back(parseLine(begin, contentEnd, end));
        begin = end;
    }
}

ProfileDocument::Line ProfileDocument::parseLine(std::size_t begin, std::size_t contentEnd,
                                                 std::size_t end) const
{
    Line line;
    line.begin = begin;
    line.contentEnd = contentEnd;
    line.end = end;
    const std::string_view content = std::string_view(m_bytes).substr(begin, contentEnd - begin);
    const std::string_view trimmed = trimBlanks(content);
    if (trimmed.empty()) {
        line.kind = LineKind::Blank;
    } else if (const auto section =
                   trimmed.front() == '[' ? sectionHeaderName(trimmed.substr(1)) : std::nullopt) {
        line.kind = LineKind::Section;
        line.name = *section;
    } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = trimBlanks(content.substr(0, equals));
        line.rawValue = content.substr(equals + 1);
    }
    return line;
}

std::optional<ProfileDocument::SectionSpan>
ProfileDocument::findSection(std::string_view section) const
{
    section = trimBlanks(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != LineKind::Section || !sameName(m_lines[i].name, section))
            continue;
        std::size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != LineKind::Section)
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> ProfileDocument::findKey(const SectionSpan& span,
                                                    std::string_view key) const
{
    key = trimBlanks(key);
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        if (m_lines[i].kind == LineKind::Key && sameName(m_lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string_view> ProfileDocument::value(std::string_view section,
                                                       std::string_view key) const
{
    const auto span = findSection(section);
    if (!span)
        return std::nullopt;
    const auto line = findKey(*span, key);
    if (!line)
        return std::nullopt;
    return readableValue(m_lines[*line].rawValue);
}

std::vector<std::string_view> ProfileDocument::sectionNames() const
{
    std::vector<std::string_view> names;
    for (const Line& line : m_lines) {
        if (line.kind != LineKind::Section)
            continue;
        const bool seen = std::any_of(names.begin(), names.end(), [&](std::string_view name) {
            return sameName(name, line.name);
        });
        if (!seen)
            names.push_back(line.name);
    }
    return names;
}

std::vector<std::string_view> ProfileDocument::keyNames(std::string_view section) const
{
    std::vector<std::string_view> names;
    const auto span = findSection(section);
    if (!span)
        return names;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const Line& line = m_lines[i];
        // A key written as ";name" is a commented-out entry: readable by its full name, but not
        // listed.
        if (line.kind != LineKind::Key || line.name.starts_with(';'))
            continue;
        const bool seen = std::any_of(names.begin(), names.end(), [&](std::string_view name) {
            return sameName(name, line.name);
        });
        if (!seen)
            names.push_back(line.name);
    }
    return names;
}

std::string_view ProfileDocument::lineEnd() const
{
    // New lines follow the file's own convention, taken from its first line end.
    for (const Line& line : m_lines) {
        if (line.end > line.contentEnd)
            return std::string_view(m_bytes).substr(line.contentEnd, line.end - line.contentEnd);
    }
    return crlf;
}

void ProfileDocument::replace(std::size_t begin, std::size_t end, std::string_view bytes)
{
    m_bytes.replace(begin, end - begin, bytes);
    parse();
}

bool ProfileDocument::setValue(std::string_view section, std::string_view key,
                               std::string_view value)
{
    section = trimLeadingBlanks(section);
    key = trimLeadingBlanks(key);
    value = trimLeadingBlanks(value);
    const std::string eol(lineEnd());

    const auto span = findSection(section);
    if (!span) {
        std::string added;
        if (!m_lines.empty() && m_lines.back().end == m_lines.back().contentEnd)
            added += eol;
        added.append("[").append(section).append("]").append(eol);
        added.append(key).append("=").append(value).append(eol);
        replace(m_bytes.size(), m_bytes.size(), added);
        return true;
    }

    if (const auto index = findKey(*span, key)) {
        const Line& line = m_lines[*index];
        if (readableValue(line.rawValue) == readableValue(value))
            return false;
        std::string rewritten(line.name);
        rewritten.append("=").append(value);
        if (line.end == line.contentEnd)
            rewritten += eol;
        replace(line.begin, line.contentEnd, rewritten);
        return true;
    }

    // A new key goes after the last non-blank line of its section, so blank lines that separate
    // it from the next section stay where they are.
    std::size_t last = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        if (m_lines[i].kind != LineKind::Blank)
            last = i;
    }
    const Line& anchor = m_lines[last];
    std::string added;
    if (anchor.end == anchor.contentEnd)
        added += eol;
    added.append(key).append("=").append(value).append(eol);
    replace(anchor.end, anchor.end, added);
    return true;
}

bool ProfileDocument::removeKey(std::string_view section, std::string_view key)
{
    bool changed = false;
    while (const auto span = findSection(section)) {
        const auto index = findKey(*span, key);
        if (!index)
            break;
        replace(m_lines[*index].begin, m_lines[*index].end, {});
        changed = true;
    }
    return changed;
}

bool ProfileDocument::removeSection(std::string_view section)
{
    bool changed = false;
    while (const auto span = findSection(section)) {
        const std::size_t end =
            span->end < m_lines.size() ? m_lines[span->end].begin : m_bytes.size();
        replace(m_lines[span->header].begin, end, {});
        changed = true;
    }
    return changed;
}

} // namespace pelmora::profile
