// The window and its drawing workers talk over a socket: whole messages
// arrive whole, whatever bytes a path holds, and an end, a silence past the
// deadline or a damaged length is told apart from an answer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

#include "convert/WorkerChannel.h"

using namespace lumicade::worker;
using namespace std::chrono_literals;

namespace {

struct SocketPair {
    int ends[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0); }
    ~SocketPair()
    {
        for (int end : ends)
            if (end >= 0)
                ::close(end);
    }
    void close(int which)
    {
        ::close(ends[which]);
        ends[which] = -1;
    }
};

TEST(WorkerChannel, MessagesArriveWholeWithAnyBytes)
{
    SocketPair pair;
    const Message sent[] = {{OpenDrawing, std::string("/plans/a\nb\0c\xff.dwg", 18)}, {0, ""}, {53, "File not found"}};
    for (const Message& m : sent)
        ASSERT_TRUE(sendMessage(pair.ends[0], m));
    for (const Message& m : sent) {
        Message got;
        ASSERT_EQ(receiveMessage(pair.ends[1], got, std::chrono::steady_clock::now() + 1s), Received::Whole);
        EXPECT_EQ(got.code, m.code);
        EXPECT_EQ(got.text, m.text);
    }
}

TEST(WorkerChannel, EndsSilencesAndDamageAreNoAnswer)
{
    const auto soon = [] { return std::chrono::steady_clock::now() + 20ms; };
    {
        SocketPair pair;
        Message got;
        EXPECT_EQ(receiveMessage(pair.ends[1], got, soon()), Received::TimedOut);
        pair.close(0);
        EXPECT_EQ(receiveMessage(pair.ends[1], got, soon()), Received::Ended);
    }
    {
        // Cut off within the text.
        SocketPair pair;
        const std::int32_t header[2] = {0, 100};
        ASSERT_EQ(::write(pair.ends[0], header, sizeof header), ssize_t(sizeof header));
        ASSERT_EQ(::write(pair.ends[0], "short", 5), 5);
        pair.close(0);
        Message got;
        EXPECT_EQ(receiveMessage(pair.ends[1], got, soon()), Received::Ended);
    }
    {
        // A length no message has is never allocated.
        SocketPair pair;
        const std::uint32_t header[2] = {0, 0xFFFFFFF0u};
        ASSERT_EQ(::write(pair.ends[0], header, sizeof header), ssize_t(sizeof header));
        Message got;
        EXPECT_EQ(receiveMessage(pair.ends[1], got, soon()), Received::Damaged);
    }
    {
        // Writing to a worker that has gone fails; it does not end the window with SIGPIPE.
        SocketPair pair;
        pair.close(1);
        EXPECT_FALSE(sendMessage(pair.ends[0], {ExportBitmap, std::string(1 << 20, 'x')}));
    }
}

}  // namespace
