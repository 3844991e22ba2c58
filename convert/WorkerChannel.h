#pragma once
// What the window and a drawing worker say to each other over their stream
// socket. Each message is a code, the length of its text and the text: a
// request's code is its kind and its text a path (the file system's bytes);
// an answer's code is the error number of the failure (0: done) and its text
// the failure's description, UTF-8.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace lumicade::worker {

enum Request : std::int32_t { OpenDrawing = 1, ExportBitmap = 2, CloseDrawing = 3 };

// No path or description comes near it; a longer message is damage.
constexpr std::uint32_t kMaxMessageBytes = 1u << 20;

struct Message {
    std::int32_t code = 0;
    std::string text;
};

// False when the other end is gone. Never raises SIGPIPE.
bool sendMessage(int socket, const Message& message);

enum class Received { Whole, Ended, TimedOut, Damaged };

// Waits for one whole message, until the deadline when one is given.
Received receiveMessage(int socket, Message& message,
                        std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

}  // namespace lumicade::worker
