// libFuzzer target: arbitrary bytes as a profile file, read and edited the way the settings store
// does it. The first bytes choose a section and a key (from a small alphabet, so they also meet
// names in the file); the rest is the file. Besides crashes and sanitizer reports, a finding is a
// write that a read then does not see, or a write that adds a second copy of a section a read
// already found.

#include "profile/ProfileDocument.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using pelmora::profile::ProfileDocument;

namespace {
std::string nameFrom(const std::uint8_t* data, std::size_t size)
{
    static constexpr char kAlphabet[] = "EXINAMEexiname0123_ ]";
    std::string name;
    for (std::size_t i = 0; i < size; ++i)
        name += kAlphabet[data[i] % (sizeof kAlphabet - 1)];
    // Names as the program writes them: no blanks at either end, never empty.
    while (!name.empty() && name.front() == ' ')
        name.erase(name.begin());
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name.empty() ? std::string("EXEINI") : name;
}

// Section names compare without regard to the case of ASCII letters, and only of letters: ']' and
// '}' differ by the same bit as 'A' and 'a' but are different names.
char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t countSections(const ProfileDocument& doc, const std::string& section)
{
    std::size_t n = 0;
    for (std::string_view name : doc.sectionNames()) {
        if (name.size() == section.size() &&
            std::equal(name.begin(), name.end(), section.begin(), [](char a, char b) {
                return asciiLower(a) == asciiLower(b);
            }))
            ++n;
    }
    return n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::size_t sectionLength = data[0] % 8;
    const std::size_t keyLength = data[1] % 8;
    if (size < 2 + sectionLength + keyLength)
        return 0;
    const std::string section = nameFrom(data + 2, sectionLength);
    std::string key = nameFrom(data + 2 + sectionLength, keyLength);
    std::replace(key.begin(), key.end(), ']', '_'); // a key name never holds ']' here
    const std::size_t head = 2 + sectionLength + keyLength;
    ProfileDocument doc(std::string(reinterpret_cast<const char*>(data + head), size - head));

    (void)doc.value(section, key);
    for (std::string_view name : doc.sectionNames())
        (void)doc.keyNames(name);

    const bool sectionWasThere = countSections(doc, section) > 0;
    const std::size_t before = countSections(doc, section);
    doc.setValue(section, key, "value 1");
    const auto written = doc.value(section, key);
    if (!written || *written != "value 1")
        std::abort(); // a write that a read does not find
    if (sectionWasThere && countSections(doc, section) != before)
        std::abort(); // a second copy of a section that was already found

    // Editing again reads back the same way, and removing really removes.
    ProfileDocument again(doc.bytes());
    const auto reread = again.value(section, key);
    if (!reread || *reread != "value 1")
        std::abort();
    again.removeKey(section, key);
    if (again.value(section, key))
        std::abort();
    again.removeSection(section);
    return 0;
}
