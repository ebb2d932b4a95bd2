#pragma once

#include "pop3/MultiLineDecoder.h"

#include <QtGlobal>

namespace pelmora::pop3 {

// Reads a CAPA list (RFC 2449) word by word as it arrives and keeps only the capabilities the
// session acts on (and the SASL mechanisms it can use), so memory stays constant however long the
// list or any of its lines or words is.
class CapabilityReader final : public ContentSink {
public:
    void reset();
    void append(QByteArrayView bytes) override;
    qsizetype lines() const { return m_lines; }
    bool startTls() const { return m_startTls; }
    bool pipelining() const { return m_pipelining; }
    bool top() const { return m_top; }
    bool uidl() const { return m_uidl; }
    bool oauthBearer() const { return m_oauthBearer; }
    bool xoauth2() const { return m_xoauth2; }

private:
    void endWord();
    void endLine();

    // Longer than any name looked for: a longer word is none of them.
    static constexpr qsizetype kKeptWord = 32;
    char m_word[kKeptWord] = {};
    qsizetype m_wordSize = 0;
    bool m_wordCut = false;    // whether the current word went on past m_word
    qsizetype m_wordIndex = 0; // of the current word in its line
    bool m_saslLine = false;   // the line's name is SASL: its words are mechanisms
    qsizetype m_lines = 0;
    bool m_startTls = false;
    bool m_pipelining = false;
    bool m_top = false;
    bool m_uidl = false;
    bool m_oauthBearer = false;
    bool m_xoauth2 = false;
};

} // namespace pelmora::pop3
