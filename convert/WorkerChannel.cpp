#include "convert/WorkerChannel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace lumicade::worker {
namespace {

struct Header {
    std::int32_t code;
    std::uint32_t length;
};

bool sendAll(int socket, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Milliseconds for poll: -1 without a deadline, 0 once it has passed.
int millisecondsLeft(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

Received receiveAll(int socket, char* data, std::size_t size,
                    std::optional<std::chrono::steady_clock::time_point> deadline)
{
    while (size > 0) {
        pollfd ready{socket, POLLIN, 0};
        const int polled = ::poll(&ready, 1, millisecondsLeft(deadline));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled < 0)
            return Received::Ended;
        if (polled == 0)
            return Received::TimedOut;
        const ssize_t n = ::recv(socket, data, size, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return Received::Ended;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return Received::Whole;
}

}  // namespace

bool sendMessage(int socket, const Message& message)
{
    if (message.text.size() > kMaxMessageBytes)
        return false;
    const Header header{message.code, static_cast<std::uint32_t>(message.text.size())};
    return sendAll(socket, reinterpret_cast<const char*>(&header), sizeof header)
        && sendAll(socket, message.text.data(), message.text.size());
}

Received receiveMessage(int socket, Message& message, std::optional<std::chrono::steady_clock::time_point> deadline)
{
    Header header{};
    if (const Received r = receiveAll(socket, reinterpret_cast<char*>(&header), sizeof header, deadline);
        r != Received::Whole)
        return r;
    if (header.length > kMaxMessageBytes)
        return Received::Damaged;
    message.code = header.code;
    message.text.assign(header.length, '\0');
    return receiveAll(socket, message.text.data(), message.text.size(), deadline);
}

}  // namespace lumicade::worker
