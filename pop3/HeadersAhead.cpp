#include "pop3/HeadersAhead.h"

#include <algorithm>
#include <climits>

namespace pelmora::pop3 {

void HeadersAhead::moveTo(int number)
{
    const bool back = number < m_position;
    m_position = number;
    const auto before = m_entries.lower_bound(number);
    for (auto it = m_entries.begin(); it != before;)
        drop(it++);
    if (back) {
        const std::int64_t reach = std::int64_t(number) + m_bounds.messages;
        for (auto it = m_entries.upper_bound(int(std::min<std::int64_t>(reach, INT_MAX)));
             it != m_entries.end();)
            drop(it++);
        m_next = std::int64_t(number) + 1;
    }
    m_next = std::max(m_next, std::int64_t(number) + 1);
}

HeadersAhead::Phase HeadersAhead::phase(int number) const
{
    const auto it = m_entries.find(number);
    return it == m_entries.end() ? Phase::NotAsked : it->second.phase;
}

HeadersAhead::Entry& HeadersAhead::entry(int number)
{
    // The walks go up through consecutive numbers: the end is the usual hint.
    return m_entries.try_emplace(m_entries.end(), number)->second;
}

void HeadersAhead::asked(int number, std::uint64_t ticket)
{
    Entry& e = entry(number);
    e.phase = Phase::Asked;
    e.ticket = ticket;
}

bool HeadersAhead::wanted(int number, std::uint64_t ticket) const
{
    const auto it = m_entries.find(number);
    return it != m_entries.end() && it->second.phase == Phase::Asked && it->second.ticket == ticket;
}

void HeadersAhead::unasked(int number)
{
    if (const auto it = m_entries.find(number); it != m_entries.end())
        it->second.phase = Phase::NotAsked;
}

bool HeadersAhead::answer(int number, Answer<QByteArray> header)
{
    Entry& e = entry(number);
    e.phase = Phase::Answered;
    e.header = std::move(header);
    if (number == m_position || !e.header.ok)
        return true;
    if (full()) {
        e.phase = Phase::Used;
        e.header = {};
        return false;
    }
    e.kept = e.header.value.size();
    m_bytesKept += e.kept;
    return true;
}

std::optional<Answer<QByteArray>> HeadersAhead::take(int number)
{
    const auto it = m_entries.find(number);
    if (it == m_entries.end() || it->second.phase != Phase::Answered)
        return std::nullopt;
    Entry& e = it->second;
    e.phase = Phase::Used;
    m_bytesKept -= std::exchange(e.kept, 0);
    return std::exchange(e.header, {});
}

std::pair<std::int64_t, std::int64_t> HeadersAhead::nextToAsk(int messageCount)
{
    if (m_position < 1 || m_bounds.messages == 0)
        return {1, 0};
    const std::int64_t reach =
        std::min<std::int64_t>(messageCount, std::int64_t(m_position) + m_bounds.messages);
    const std::int64_t batch = std::max(1, m_bounds.messages / 8);
    const bool smallTopUp = reach - m_next + 1 < batch && reach < messageCount;
    if (m_next > reach || (smallTopUp && m_next > m_position + batch))
        return {1, 0};
    const std::int64_t first = m_next;
    m_next = reach + 1;
    return {first, reach};
}

void HeadersAhead::drop(Entries::iterator it)
{
    m_bytesKept -= it->second.kept;
    m_entries.erase(it);
}

void HeadersAhead::clear()
{
    m_entries.clear();
    m_bytesKept = 0;
}

} // namespace pelmora::pop3
