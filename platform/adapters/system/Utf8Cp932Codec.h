#pragma once

#include "platform/ports/AnsiCodec.h"

namespace pelmora::platform {

// The ANSI code page of Linux is UTF-8, so text leaves the program as UTF-8. Bytes that are not
// well-formed UTF-8 come from a Windows machine and are read as CP932 (Microsoft's Shift-JIS, with
// its NEC and IBM extensions, half-width katakana and "~" as U+FF5E).
class Utf8Cp932Codec final : public AnsiCodec {
public:
    Utf8Cp932Codec() = default;
    QByteArray toAnsi(const QString& text) const override;
    QString fromAnsi(QByteArrayView bytes) const override;
};

} // namespace pelmora::platform
