#include "server/LineBuffer.h"

#include <gtest/gtest.h>

using quelvor::server::LineBuffer;
using R = LineBuffer::Result;

TEST(LineBuffer, SplitsOnLfAndDropsTheCrBeforeIt)
{
    LineBuffer b(16);
    std::string line;
    b.append("a\r\nb\n\r\nc\rd\n");
    EXPECT_EQ(b.next(line), R::Line);
    EXPECT_EQ(line, "a");
    EXPECT_EQ(b.next(line), R::Line);
    EXPECT_EQ(line, "b");
    EXPECT_EQ(b.next(line), R::Line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(b.next(line), R::Line);
    EXPECT_EQ(line, "c\rd") << "a CR elsewhere belongs to the line";
    EXPECT_EQ(b.next(line), R::NeedMore);

    // A line that arrives in pieces, its CR and LF split between two reads.
    b.append("par");
    EXPECT_EQ(b.next(line), R::NeedMore);
    b.append("tial\r");
    EXPECT_EQ(b.next(line), R::NeedMore);
    b.append("\nnext");
    EXPECT_EQ(b.next(line), R::Line);
    EXPECT_EQ(line, "partial");
    EXPECT_EQ(b.next(line), R::NeedMore);
}

TEST(LineBuffer, LimitIsSixteenKilobytesBeforeTheTerminator)
{
    constexpr size_t kLimit = 16384;
    std::string line;
    {
        LineBuffer b(kLimit);
        b.append(std::string(kLimit, 'x') + "\r\n");
        EXPECT_EQ(b.next(line), R::Line);
        EXPECT_EQ(line.size(), kLimit);
    }
    {
        LineBuffer b(kLimit);
        b.append(std::string(kLimit + 1, 'x') + "\n0000\n");
        EXPECT_EQ(b.next(line), R::TooLong);
        EXPECT_EQ(b.next(line), R::Line) << "what follows the long line is still there";
        EXPECT_EQ(line, "0000");
    }
    {
        // No terminator yet, but already too long: an error now, not a wait.
        LineBuffer b(kLimit);
        b.append(std::string(kLimit + 1, 'x'));
        EXPECT_EQ(b.next(line), R::TooLong);
        EXPECT_EQ(b.next(line), R::NeedMore);
    }
}
