// A TCP proxy on 127.0.0.1 that makes a slow link out of loopback: every chunk read from either
// side is held for the one-way delay before it is written to the other side, in order, so each
// request and its reply cost one round trip of 2 x DELAY_MS more than on loopback. (The kernel
// here has no netem.) The TCP handshake itself is not delayed: a connect completes at once, and
// acknowledgements are the proxy's own, sent at once (see readSide). With a delay of 0 it is a
// plain relay that counts the bytes at the socket.
//
//   pelmora-delay-proxy TARGET_PORT DELAY_MS [LIFETIME_S] [--mark TEXT]
//
// Listens on a free port of 127.0.0.1, prints "PORT n" and serves until SIGTERM or SIGINT, or
// until LIFETIME_S (default 900) have passed, and never connects anywhere but 127.0.0.1. As each
// connection ends it prints "LINK n up=BYTES down=BYTES": n counts connections in the order they
// were accepted from 1, up is what the client sent, down what the server sent.
//
// With --mark, the line goes on with "turns=T ms=M" for what followed the client's first chunk
// that holds TEXT (the login command of a protocol in plain text, say): T is the client's turns
// after it, a turn being what the client sends once the server has answered (a request that
// waited for a reply: one round trip; requests sent back to back are one turn), and M the
// milliseconds from the server's first chunk after it (the login's reply) to the server's last
// chunk, as the proxy read them: what the client waited after its login, without the delays at
// either end.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <list>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;

// Bytes held per direction before the proxy stops reading from that side (TCP then holds back
// the sender, as a full link would).
constexpr std::size_t kMaxHeld = 8 * 1024 * 1024;

struct Chunk {
    Clock::time_point due;
    std::string bytes; // empty: the sender closed its side
    std::size_t written = 0;
};

struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> held;
    std::size_t heldBytes = 0;
    std::uint64_t readBytes = 0; // everything read from the sender
    bool readEnded = false;  // the sender closed, or failed
    bool writeEnded = false; // we closed the receiver's side
};

struct Link {
    int number = 0;
    Direction up;   // client to server
    Direction down; // server to client
    bool broken = false;
    // With --mark: what followed the client's first chunk holding the mark.
    bool marked = false;
    bool serverSpoke = false; // since the client's last chunk
    int turnsAfterMark = 0;
    Clock::time_point firstReplyAfterMark{};
    Clock::time_point lastReply{};
};

// Counts the client's turns and times the server's replies after the mark (see the top).
void noteChunk(Link& link, bool fromClient, const std::string& bytes, const std::string& mark)
{
    const auto now = Clock::now();
    if (!fromClient) {
        link.serverSpoke = true;
        if (link.marked) {
            if (link.firstReplyAfterMark == Clock::time_point{})
                link.firstReplyAfterMark = now;
            link.lastReply = now;
        }
        return;
    }
    if (link.marked && link.serverSpoke)
        ++link.turnsAfterMark;
    if (!link.marked && bytes.find(mark) != std::string::npos)
        link.marked = true;
    link.serverSpoke = false;
}

void tune(int socket)
{
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
}

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Reads what `from` has and holds it; answers false when the link is broken.
bool readSide(Direction& d, std::chrono::milliseconds delay)
{
    char buffer[64 * 1024];
    const ssize_t n = ::recv(d.from, buffer, sizeof buffer, 0);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    // A link does not hold acknowledgements back; the proxy's own kernel would (by up to 40 ms,
    // once the connection looks interactive), and a sender whose Nagle's algorithm waits for them
    // (Dovecot after its "+OK" to USER) would stall on the proxy whatever the client does. So the
    // proxy acknowledges what it reads at once, as a client that asks for that does (the library
    // does; the floor and curl send nothing that would make the server wait for it).
    const int one = 1;
    ::setsockopt(d.from, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    d.held.push_back({Clock::now() + delay, std::string(buffer, std::size_t(n)), 0});
    d.heldBytes += std::size_t(n);
    d.readBytes += std::uint64_t(n);
    if (n == 0)
        d.readEnded = true;
    return true;
}

// Writes what is due; answers false when the link is broken.
bool writeSide(Direction& d)
{
    const auto now = Clock::now();
    while (!d.held.empty() && d.held.front().due <= now) {
        Chunk& chunk = d.held.front();
        if (chunk.bytes.empty()) {
            ::shutdown(d.to, SHUT_WR);
            d.writeEnded = true;
            d.held.pop_front();
            continue;
        }
        const ssize_t n = ::send(d.to, chunk.bytes.data() + chunk.written,
                                 chunk.bytes.size() - chunk.written, MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        chunk.written += std::size_t(n);
        if (chunk.written < chunk.bytes.size())
            return true; // the receiver is full; POLLOUT tells when to go on
        d.heldBytes -= chunk.bytes.size();
        d.held.pop_front();
    }
    return true;
}

bool wantsWrite(const Direction& d)
{
    return !d.held.empty() && d.held.front().due <= Clock::now();
}

} // namespace

int main(int argc, char** argv)
{
    std::string mark;
    if (argc >= 5 && std::string(argv[argc - 2]) == "--mark") {
        mark = argv[argc - 1];
        argc -= 2;
    }
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: pelmora-delay-proxy TARGET_PORT DELAY_MS [LIFETIME_S] [--mark TEXT]\n");
        return 2;
    }
    const auto target = std::uint16_t(std::atoi(argv[1]));
    const std::chrono::milliseconds delay(std::atoi(argv[2]));
    const std::chrono::seconds lifetime(argc > 3 ? std::atoi(argv[3]) : 900);
    const auto end = Clock::now() + lifetime;
    ::signal(SIGTERM, [](int) { g_stop = 1; });
    ::signal(SIGINT, [](int) { g_stop = 1; });
    ::signal(SIGPIPE, SIG_IGN);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(listener, 16) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("pelmora-delay-proxy");
        return 1;
    }
    std::printf("PORT %u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);

    std::list<Link> links;
    int accepted = 0;
    while (!g_stop && Clock::now() < end) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        std::vector<Link*> owners{nullptr};
        auto next = Clock::now() + std::chrono::milliseconds(200);
        for (Link& link : links) {
            for (Direction* d : {&link.up, &link.down}) {
                if (!d->held.empty())
                    next = std::min(next, d->held.front().due);
            }
            // Each socket: read when its direction has room, write when the other has data due.
            const auto events = [&](const Direction& reading, const Direction& writing) {
                short e = 0;
                if (!reading.readEnded && reading.heldBytes < kMaxHeld)
                    e |= POLLIN;
                if (wantsWrite(writing))
                    e |= POLLOUT;
                return e;
            };
            // A socket with nothing to wait for is left out: a closed peer would wake poll at once.
            const short upEvents = events(link.up, link.down);
            const short downEvents = events(link.down, link.up);
            fds.push_back({upEvents ? link.up.from : -1, upEvents, 0});
            owners.push_back(&link);
            fds.push_back({downEvents ? link.down.from : -1, downEvents, 0});
            owners.push_back(&link);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        ::poll(fds.data(), fds.size(), int(std::max<std::int64_t>(0, wait.count()) + 1));

        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in to = loopback(target);
                if (server >= 0
                    && ::connect(server, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
                    tune(client);
                    tune(server);
                    Link& link = links.emplace_back();
                    link.number = ++accepted;
                    link.up.from = client;
                    link.up.to = server;
                    link.down.from = server;
                    link.down.to = client;
                } else {
                    ::close(client);
                    if (server >= 0)
                        ::close(server);
                }
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            Link& link = *owners[i];
            Direction& reading = i % 2 == 1 ? link.up : link.down;
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)) || reading.readEnded)
                continue;
            const std::uint64_t before = reading.readBytes;
            if (!readSide(reading, delay))
                link.broken = true;
            else if (!mark.empty() && reading.readBytes > before)
                noteChunk(link, i % 2 == 1, reading.held.back().bytes, mark);
        }
        for (auto it = links.begin(); it != links.end();) {
            Link& link = *it;
            if (!writeSide(link.up) || !writeSide(link.down))
                link.broken = true;
            const bool done = link.up.writeEnded && link.down.writeEnded;
            if (link.broken || done) {
                std::printf("LINK %d up=%llu down=%llu", link.number,
                            static_cast<unsigned long long>(link.up.readBytes),
                            static_cast<unsigned long long>(link.down.readBytes));
                if (!mark.empty()) {
                    const std::chrono::duration<double, std::milli> after =
                        link.lastReply - link.firstReplyAfterMark;
                    std::printf(" turns=%d ms=%.2f", link.marked ? link.turnsAfterMark : -1,
                                after.count());
                }
                std::printf("\n");
                std::fflush(stdout);
                ::close(link.up.from);
                ::close(link.down.from);
                it = links.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Link& link : links) {
        ::close(link.up.from);
        ::close(link.down.from);
    }
    ::close(listener);
    return 0;
}
