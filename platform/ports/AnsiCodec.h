#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pelmora::platform {

// Converts between the program's text and the bytes of the system's ANSI code page, in which the
// settings files and the mail library's texts are kept.
class AnsiCodec {
public:
    virtual ~AnsiCodec() = default;
    virtual QByteArray toAnsi(const QString& text) const = 0;
    virtual QString fromAnsi(QByteArrayView bytes) const = 0;
};

} // namespace pelmora::platform
