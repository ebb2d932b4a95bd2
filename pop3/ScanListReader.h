#pragma once

#include "pop3/MultiLineDecoder.h"

#include <cstdint>
#include <vector>

namespace pelmora::pop3 {

// Reads the reply to LIST without an argument (one "n size" line per message, RFC 1939) as it
// arrives and writes each size it can trust into `sizes` (sizes[n - 1]; -1 where none came).
// Messages beyond sizes.size() and lines that are not a number and a size are passed over, and
// only the start of each line is kept, so memory stays constant however long the list or any
// of its lines is.
class ScanListReader final : public ContentSink {
public:
    void reset(std::vector<std::int64_t>* sizes);
    void append(QByteArrayView bytes) override;

private:
    void endLine();

    // Longer than a message number, a space and a size: a longer start is none of them.
    static constexpr int kKeptLine = 48;
    std::vector<std::int64_t>* m_sizes = nullptr;
    char m_line[kKeptLine] = {};
    int m_lineSize = 0;
    bool m_lineCut = false;
};

} // namespace pelmora::pop3
