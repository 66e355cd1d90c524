// quarn-imagedecode: decodes one picture per request with DevIL and hands the
// pixels back (see ImageDecodeProtocol.h). DevIL keeps all of its state in
// process-wide globals and falls over on some valid files; running it here,
// one helper per decoding thread of the program, means a picture that kills
// DevIL kills only this process, which the program then starts again.

#include "imagedecode/ImageDecodeProtocol.h"
#include "imagedecode/ImageDecoder.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace ImageDecodeProtocol;

// The answer channel: the original standard output. Anything DevIL or the
// libraries below it print goes to standard error instead.
int answerFd = -1;

// Moves `size` bytes with read() or write(), going on after short transfers
// and interruptions; false at end of input or on an error.
template <typename Byte, typename Transfer>
bool transferAll(int fd, Byte* p, size_t size, Transfer transfer)
{
    while (size > 0) {
        const ssize_t n = transfer(fd, p, size);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool readAll(int fd, void* buffer, size_t size)
{
    return transferAll(fd, static_cast<char*>(buffer), size, ::read);
}

bool writeAll(int fd, const void* buffer, size_t size)
{
    return transferAll(fd, static_cast<const char*>(buffer), size, ::write);
}

bool answer(int32_t status, uint32_t error, int32_t width = 0, int32_t height = 0,
            const unsigned char* pixels = nullptr)
{
    const AnswerHeader h{AnswerMagic, status, error, width, height};
    if (!writeAll(answerFd, &h, sizeof h))
        return false;
    if (pixels && !writeAll(answerFd, pixels, size_t(width) * size_t(height) * 4u))
        return false;
    return true;
}

} // namespace

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    answerFd = ::dup(STDOUT_FILENO);
    if (answerFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;

    ImageDecoder decoder;
    std::string path;
    for (;;) {
        uint32_t head[2];
        if (!readAll(STDIN_FILENO, head, sizeof head))
            break;  // the program closed the channel
        if (head[0] != RequestMagic || head[1] == 0 || head[1] > MaxPathBytes) {
            answer(StatusBadRequest, 0);
            break;  // the stream is out of step; the program starts a new helper
        }
        path.assign(head[1], '\0');
        if (!readAll(STDIN_FILENO, path.data(), path.size()))
            break;
        if (path.find('\0') != std::string::npos) {
            if (!answer(StatusBadRequest, 0))
                break;
            continue;
        }
        const DecodedImage d = decoder.Decode(path);
        if (!answer(d.status, d.error, d.width, d.height, d.pixels))
            break;
    }
    return 0;
}
