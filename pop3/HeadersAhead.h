#pragma once

#include "pop3/Pop3Limits.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace pelmora::pop3 {

// The answer to one request: a value, or the text of why there is none.
template <typename T>
struct Answer {
    bool ok = false;
    T value{};
    QString failure;
};

// What a session knows about the headers of the messages from its caller's on: which were asked
// for (and by which request, so a reply to a request dropped meanwhile is recognised), which came
// and are kept for the caller, and how many bytes those take. The session decides what goes on the
// wire; this class keeps the books, within ReadAhead's bounds.
class HeadersAhead {
public:
    // Where the header of one message stands.
    enum class Phase : std::uint8_t { NotAsked, Asked, Answered, Used };

    explicit HeadersAhead(ReadAhead bounds) : m_bounds(bounds) {}

    // The caller is at `number` now: what was kept about messages before it goes. A caller that
    // goes back reads ahead again from there; what was asked for beyond its reach is dropped.
    void moveTo(int number);
    int position() const { return m_position; }

    Phase phase(int number) const;
    // Records that the header of `number` was asked for by request `ticket`.
    void asked(int number, std::uint64_t ticket);
    // Whether request `ticket` for `number` is still the one wanted.
    bool wanted(int number, std::uint64_t ticket) const;
    // Gives up a request not sent after all: the header counts as not asked for.
    void unasked(int number);
    // The answer for `number`. A header for a message ahead of the caller is kept within the
    // bound; one that comes when the bound is full is thrown away and asked for again when the
    // caller wants it (answers false then).
    bool answer(int number, Answer<QByteArray> header);
    // The caller takes its answer, once: nothing until one came.
    std::optional<Answer<QByteArray>> take(int number);

    // The messages after the caller's whose headers are to be asked for now, in order: up to
    // ReadAhead::messages ahead, topped up an eighth at a time once the reach is covered (a few
    // larger writes instead of one small write per message the caller takes); the last messages
    // of the mailbox go as soon as they are in reach. Each is taken as asked for by the caller.
    std::pair<std::int64_t, std::int64_t> nextToAsk(int messageCount);

    // Whether the headers kept fill the bound (reading should wait for the caller).
    bool full() const { return m_bytesKept >= m_bounds.headerBytes; }
    std::int64_t bytesKept() const { return m_bytesKept; }
    void clear();

private:
    struct Entry {
        Phase phase = Phase::NotAsked;
        std::uint64_t ticket = 0;
        Answer<QByteArray> header;
        std::int64_t kept = 0; // the header's share of ReadAhead::headerBytes
    };
    using Entries = std::map<int, Entry>;

    Entry& entry(int number);
    void drop(Entries::iterator it);

    ReadAhead m_bounds;
    Entries m_entries;
    int m_position = 0;
    // Every message after the caller's and before this has its header asked for.
    std::int64_t m_next = 1;
    std::int64_t m_bytesKept = 0;
};

} // namespace pelmora::pop3
