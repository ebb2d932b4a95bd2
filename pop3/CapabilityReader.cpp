#include "pop3/CapabilityReader.h"

namespace pelmora::pop3 {

void CapabilityReader::reset() { *this = CapabilityReader(); }

void CapabilityReader::append(QByteArrayView bytes)
{
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        // Past a line's name only the words of SASL matter: the rest of the line is skipped.
        if (m_wordIndex > 0 && !m_saslLine) {
            const qsizetype newline = bytes.indexOf('\n', i);
            if (newline < 0)
                return;
            i = newline;
        }
        const char c = bytes[i++];
        if (c == '\n') {
            endWord();
            endLine();
        } else if (isBlank(c)) {
            endWord();
        } else if (m_wordSize < kKeptWord) {
            m_word[m_wordSize++] = c;
        } else {
            m_wordCut = true;
        }
    }
}

void CapabilityReader::endWord()
{
    if (m_wordSize == 0)
        return; // blanks before or between words
    const auto is = [this](QByteArrayView name) {
        return !m_wordCut
            && QByteArrayView(m_word, m_wordSize).compare(name, Qt::CaseInsensitive) == 0;
    };
    if (m_wordIndex == 0) {
        if (is("STLS"))
            m_startTls = true;
        else if (is("PIPELINING"))
            m_pipelining = true;
        else if (is("TOP"))
            m_top = true;
        else if (is("UIDL"))
            m_uidl = true;
        m_saslLine = is("SASL");
    } else if (m_saslLine) {
        if (is("OAUTHBEARER"))
            m_oauthBearer = true;
        else if (is("XOAUTH2"))
            m_xoauth2 = true;
    }
    ++m_wordIndex;
    m_wordSize = 0;
    m_wordCut = false;
}

void CapabilityReader::endLine()
{
    ++m_lines;
    m_wordIndex = 0;
    m_saslLine = false;
}

} // namespace pelmora::pop3
