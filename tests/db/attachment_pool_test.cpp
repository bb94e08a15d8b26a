// The attachments kept between requests, against the real server.
#include "db/AttachmentPool.h"

#include "db/DbError.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

db::ConnectionParams paramsOf(const TestDatabase& db)
{
    return {db.connectionString(), db.user(), db.password(), "WIN1252"};
}

// The server's number for the attachment.
std::string attachmentId(db::Attachment& a)
{
    const db::ResultSet rs = a.select("SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
    return db::asText(rs.rows.at(0).at(0), rs.columns.at(0));
}

struct Taken
{
    db::Attachment attachment;
    unsigned long ticket = 0;
};

Taken take(db::AttachmentPool& pool, const db::ConnectionParams& params)
{
    Taken t;
    t.attachment = pool.take(params, t.ticket);
    return t;
}

void giveBack(db::AttachmentPool& pool, Taken& t)
{
    t.attachment.commit();
    pool.giveBack(std::move(t.attachment), t.ticket);
}

} // namespace

TEST(AttachmentPool, KeepsOneBetweenRequestsAndReplacesOneTheServerDropped)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db::AttachmentPool pool(4);
    Taken first = take(pool, paramsOf(db));
    const std::string id = attachmentId(first.attachment);
    giveBack(pool, first);
    EXPECT_EQ(pool.idleCount(), 1u);
    EXPECT_EQ(pool.inUseCount(), 0u);

    Taken again = take(pool, paramsOf(db));
    EXPECT_EQ(attachmentId(again.attachment), id) << "the kept one, not a new one";
    giveBack(pool, again);

    // The server drops it while it is kept: it is asked before it is handed out.
    db::Attachment admin(paramsOf(db));
    admin.execute(db::Sql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ?", {db::bare(id)}));
    admin.close();
    Taken fresh = take(pool, paramsOf(db));
    EXPECT_NE(attachmentId(fresh.attachment), id);

    // Dropped while in use: its statement fails on a connection-class error,
    // and it is not kept.
    const std::string freshId = attachmentId(fresh.attachment);
    db::Attachment admin2(paramsOf(db));
    admin2.execute(db::Sql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ?", {db::bare(freshId)}));
    admin2.close();
    EXPECT_THROW(fresh.attachment.select("SELECT 1 FROM RDB$DATABASE"), db::DbError);
    EXPECT_TRUE(fresh.attachment.broken());
    try {
        fresh.attachment.commit();
    } catch (const db::DbError&) {
    }
    pool.giveBack(std::move(fresh.attachment), fresh.ticket);
    EXPECT_EQ(pool.idleCount(), 0u);
}

// A changed path, user or password is honoured at the next request, and the
// attachments to the old database are closed: it can be dropped at once.
TEST(AttachmentPool, AnotherDatabaseClosesTheOldOnes)
{
    auto old = std::make_unique<TestDatabase>(TestDatabase::Kind::Coleta);
    TestDatabase other(TestDatabase::Kind::Coleta);
    db::AttachmentPool pool(4);
    Taken kept = take(pool, paramsOf(*old));
    Taken inUse = take(pool, paramsOf(*old));
    giveBack(pool, kept);

    Taken next = take(pool, paramsOf(other));
    EXPECT_EQ(pool.idleCount(), 0u) << "the kept one to the old database is closed";
    giveBack(pool, inUse); // comes back after the change: closed too
    EXPECT_EQ(pool.idleCount(), 0u);
    EXPECT_NO_THROW(old.reset()) << "nothing holds the old database";
    giveBack(pool, next);
    EXPECT_EQ(pool.idleCount(), 1u);
}

// Bounded: past the limit a request waits, and fails after the wait as when
// the database cannot be reached; one given back meanwhile goes to it.
TEST(AttachmentPool, AtTheLimitARequestWaitsThenFails)
{
    TestDatabase db(TestDatabase::Kind::Coleta);
    db::AttachmentPool pool(1, std::chrono::milliseconds(300));
    Taken held = take(pool, paramsOf(db));
    const std::string id = attachmentId(held.attachment);
    try {
        take(pool, paramsOf(db));
        ADD_FAILURE() << "attached past the limit";
    } catch (const db::DbError& e) {
        EXPECT_NE(std::string(e.what()).find("ocupadas"), std::string::npos) << e.what();
    }
    EXPECT_EQ(pool.inUseCount(), 1u);

    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        giveBack(pool, held);
    });
    Taken waited = take(pool, paramsOf(db));
    other.join();
    EXPECT_EQ(attachmentId(waited.attachment), id);
    giveBack(pool, waited);

    // A database that cannot be reached: the failure, and nothing counted in use.
    db::ConnectionParams wrong = paramsOf(db);
    wrong.password = "wrong";
    unsigned long ticket = 0;
    EXPECT_THROW(pool.take(wrong, ticket), db::DbError);
    EXPECT_EQ(pool.inUseCount(), 0u);
}

// A stop drains the pool, including what was in use at the time; without a
// pool (limit 0) every request attaches and detaches; what stays idle too
// long is closed.
TEST(AttachmentPool, DrainNoPoolAndIdleExpiry)
{
    auto db = std::make_unique<TestDatabase>(TestDatabase::Kind::Coleta);
    {
        db::AttachmentPool pool(4, std::chrono::seconds(10), std::chrono::milliseconds(200));
        Taken kept = take(pool, paramsOf(*db));
        Taken inUse = take(pool, paramsOf(*db));
        giveBack(pool, kept);
        pool.drain();
        EXPECT_EQ(pool.idleCount(), 0u);
        giveBack(pool, inUse);
        EXPECT_EQ(pool.idleCount(), 0u) << "in use at the drain: closed when it came back";

        Taken later = take(pool, paramsOf(*db));
        giveBack(pool, later);
        EXPECT_EQ(pool.idleCount(), 1u);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(pool.idleCount(), 0u) << "idle past its time";

        pool.setLimit(0);
        Taken unpooled = take(pool, paramsOf(*db));
        giveBack(pool, unpooled);
        EXPECT_EQ(pool.idleCount(), 0u);
        EXPECT_NO_THROW(db.reset()) << "the pool holds nothing after a drain";
    }
}
