#pragma once
// The far end of a connection that a fuzz target plays itself (the card, the device link).
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "platform/sockets.h"

namespace vorl::fuzz {

// A connected pair whose far end is the target's: it writes the peer's whole stream up front,
// then closes only its sending side, so the near end reads every byte and then the end of the
// stream, while its own sends still succeed. Nothing here blocks: what does not fit the socket's
// buffer is dropped, and drain() throws away what the near end sent.
class FarEnd {
public:
    FarEnd() = default;
    ~FarEnd() {
        if (fd_ >= 0) ::close(fd_);
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // Connects `near` to this end. False when the platform cannot make the pair.
    bool connect(platform::TcpSocket& near) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
        fd_ = fds[0];
        near = platform::TcpSocket(fds[1]);
        return true;
    }
    void sendThenStop(const std::vector<uint8_t>& stream) {
        for (size_t at = 0; at < stream.size();) {
            const ssize_t sent =
                ::send(fd_, stream.data() + at, stream.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent <= 0) break;
            at += static_cast<size_t>(sent);
        }
        ::shutdown(fd_, SHUT_WR);
    }
    void drain() {
        uint8_t sink[16384];
        while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
    }

private:
    int fd_ = -1;
};

}  // namespace vorl::fuzz
