#include "app/LineWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

using quelvor::app::LineWriter;

namespace {

struct Pipe
{
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe()
    {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    // Everything written so far, without waiting for more.
    std::string drain()
    {
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string out;
        char buf[65536];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<size_t>(n));
        return out;
    }
};

} // namespace

TEST(LineWriter, LinesGoOutInOrderEachWithItsLineEnd)
{
    Pipe pipe;
    LineWriter writer(pipe.fds[1]);
    for (const char* line : {"Conectou: 7", "", "Desconectou: 7"})
        writer.write(line);
    ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
    EXPECT_EQ(pipe.drain(), "Conectou: 7\n\nDesconectou: 7\n");
}

// Nobody reads: writing never waits, the queue stays bounded, and once the
// reader is back it is told how many lines it missed.
TEST(LineWriter, AnUnreadDescriptorCostsLinesNotWaits)
{
    Pipe pipe;
    LineWriter writer(pipe.fds[1], 1000); // 200 KB queued: more than the pipe holds
    const std::string filler(200, 'x');
    for (int i = 0; i < 5000; ++i) // 1 MB: far beyond what the pipe holds
        writer.write(filler + std::to_string(i));
    EXPECT_FALSE(writer.flush(std::chrono::milliseconds(200))) << "the pipe is full";

    std::string read;
    for (int i = 0; i < 100 && !writer.flush(std::chrono::milliseconds(50)); ++i)
        read += pipe.drain();
    writer.write("after");
    ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
    read += pipe.drain();
    EXPECT_NE(read.find(" linhas do log descartadas\n"), std::string::npos);
    EXPECT_EQ(read.find(filler + "4999"), std::string::npos) << "the last lines were the dropped ones";
    EXPECT_EQ(read.substr(read.size() - 6), "after\n");
}

TEST(LineWriter, AStopWithNobodyReadingEndsWithinItsDrainTime)
{
    Pipe pipe;
    {
        LineWriter writer(pipe.fds[1], 100000);
        writer.drainFor = std::chrono::milliseconds(100);
        for (int i = 0; i < 20000; ++i)
            writer.write(std::string(100, 'y'));
    } // the destructor returns although the pipe stays full
    SUCCEED();
}
