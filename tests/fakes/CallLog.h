#pragma once

#include <QString>
#include <QStringList>

namespace pelmora::fakes {

// One ordered record of what the program asked of every fake, so tests can assert on the exact
// order of calls across ports ("mci: stop bgm" before "mail: closeAll").
class CallLog {
public:
    void add(const QString& call) { m_calls.append(call); }
    const QStringList& calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

    // The calls that start with `prefix`, in order.
    QStringList withPrefix(const QString& prefix) const
    {
        QStringList found;
        for (const QString& call : m_calls)
            if (call.startsWith(prefix))
                found.append(call);
        return found;
    }
    qsizetype indexOf(const QString& call) const { return m_calls.indexOf(call); }

private:
    QStringList m_calls;
};

} // namespace pelmora::fakes
