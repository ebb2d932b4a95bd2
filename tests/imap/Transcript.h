#pragma once

// Transcripts for a protocol core without I/O: what the server sends, the exact bytes the client
// must send back, and checks between them. Every transcript is played with the server's bytes fed
// whole, one byte at a time, and split in two at every byte of every server step.

#include <QByteArray>
#include <QList>
#include <QTest>

#include <functional>
#include <vector>

namespace pelmora::tests {

template <typename Session>
struct Transcript {
    struct Step {
        enum class Kind { Server, Client, Act } kind;
        QByteArray bytes;
        std::function<void(Session&)> act;
    };
    std::function<std::unique_ptr<Session>()> make;
    std::vector<Step> steps;

    Transcript& server(QByteArray bytes) { return add({Step::Kind::Server, std::move(bytes), {}}); }
    Transcript& client(QByteArray bytes) { return add({Step::Kind::Client, std::move(bytes), {}}); }
    Transcript& act(std::function<void(Session&)> f) { return add({Step::Kind::Act, {}, std::move(f)}); }

    void playEverySplit() const
    {
        using Pieces = QList<QByteArray>;
        play([](int, const QByteArray& b) { return Pieces{b}; }, "whole");
        if (QTest::currentTestFailed())
            return;
        play([](int, const QByteArray& b) {
            Pieces bytes;
            for (const char c : b)
                bytes.append(QByteArray(1, c));
            return bytes;
        }, "byte by byte");
        for (int index = 0; index < int(steps.size()) && !QTest::currentTestFailed(); ++index) {
            const QByteArray& bytes = steps[std::size_t(index)].bytes;
            if (steps[std::size_t(index)].kind != Step::Kind::Server)
                continue;
            for (qsizetype cut = 1; cut < bytes.size() && !QTest::currentTestFailed(); ++cut) {
                play([&](int i, const QByteArray& b) {
                    return i == index ? Pieces{b.first(cut), b.sliced(cut)} : Pieces{b};
                }, QByteArray("step " + QByteArray::number(index) + " cut at " + QByteArray::number(cut)));
            }
        }
    }

private:
    Transcript& add(Step step)
    {
        steps.push_back(std::move(step));
        return *this;
    }

    void play(const std::function<QList<QByteArray>(int, const QByteArray&)>& split,
              const QByteArray& how) const
    {
        const std::unique_ptr<Session> session = make();
        for (int i = 0; i < int(steps.size()); ++i) {
            const Step& step = steps[std::size_t(i)];
            switch (step.kind) {
            case Step::Kind::Server:
                for (const QByteArray& piece : split(i, step.bytes))
                    session->feed(piece);
                break;
            case Step::Kind::Client: {
                const QByteArray sent = session->takeOutgoing();
                if (sent != step.bytes)
                    QFAIL(QByteArray("step " + QByteArray::number(i) + " (" + how + "): client sent "
                                     + sent.toPercentEncoding(" ") + ", expected "
                                     + step.bytes.toPercentEncoding(" "))
                              .constData());
                break;
            }
            case Step::Kind::Act:
                step.act(*session);
                if (QTest::currentTestFailed()) {
                    qWarning("failed at step %d (%s)", i, how.constData());
                    return;
                }
                break;
            }
        }
        QCOMPARE(session->takeOutgoing(), QByteArray());
    }
};

} // namespace pelmora::tests
