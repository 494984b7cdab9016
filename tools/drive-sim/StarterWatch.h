#pragma once
// The simulator ends with the program that started it: that program holds its standard input,
// which reaches its end when the program is gone.

#include <poll.h>
#include <unistd.h>

namespace velorin {

// `watched`: the poll entry of the standard input (fd < 0: not watched). Whether it has ended.
inline bool starterGone(const pollfd& watched) {
    if (watched.fd < 0 || !(watched.revents & (POLLIN | POLLHUP)))
        return false;
    char c;
    return ::read(watched.fd, &c, 1) <= 0;
}

}  // namespace velorin
