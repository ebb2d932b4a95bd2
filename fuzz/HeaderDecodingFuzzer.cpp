// libFuzzer target: arbitrary bytes read as a message header the way the status and retrieval
// calls read it, and decoded whole as one field's value and as a sender's name. The seed corpus
// holds the charsets Japanese mail uses (ISO-2022-JP, Shift_JIS / CP932, EUC-JP, UTF-8), so the
// decoders behind them are exercised too. Anyone can send a message, so besides
// crashes and sanitizer reports a finding is an input whose decoding takes longer than a fixed
// allowance per byte: decoding must stay linear in the header, whatever it holds. The allowance is
// generous (a linear decoder needs well under a tenth of it, even instrumented) and only inputs of
// tens of kilobytes reach it when the decoder is quadratic: run with -max_len=65536. The corpus
// replay under ctest leaves the clock out (tests never time themselves) and checks the rest.

#include "pop3/MessageHeader.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr auto kAllowanceBase = std::chrono::milliseconds(50);
constexpr auto kAllowancePerByte = std::chrono::microseconds(5);
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto start = std::chrono::steady_clock::now();
    (void)pelmora::pop3::readHeaderTexts(bytes);
    (void)pelmora::pop3::decodeEncodedWords(bytes);
    (void)pelmora::pop3::senderName(bytes);
#if !defined(PELMORA_FUZZ_CORPUS_DIR)
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed > kAllowanceBase + kAllowancePerByte * std::int64_t(size))
        std::abort();
#else
    (void)start;
#endif
    return 0;
}
