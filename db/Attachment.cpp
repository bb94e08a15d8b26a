#include "db/Attachment.h"

#include "base/TextConversion.h"
#include "db/CallDeadline.h"
#include "db/DbError.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

using namespace Firebird;

namespace quelvor::db {
namespace {

constexpr unsigned kCharsetWin1252 = 53;
constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUnicodeFss = 3;
constexpr unsigned kCharsetUtf8 = 4;

// Text as UTF-8 from the character set it came in. With WIN1252 asked for at
// the attachment everything comes in WIN1252; with no character set asked
// for, each column comes in its own: a UTF8 column as UTF-8, any other as
// single bytes, read as Windows-1252.
std::string textFrom(std::string raw, unsigned charSet)
{
    switch (charSet) {
    case kCharsetOctets:
        return raw;
    case kCharsetUtf8:
    case kCharsetUnicodeFss:
        if (base::isValidUtf8(raw))
            return raw;
        return base::fromWin1252(raw);
    default:
        return base::fromWin1252(raw);
    }
}

IMaster* master()
{
    static IMaster* m = fb_get_master_interface();
    return m;
}

std::mutex g_handlerMutex;
std::function<void(const std::string&)> g_quietHandler; // guarded by g_handlerMutex

void quietError(const std::string& message)
{
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_quietHandler;
    }
    if (handler)
        handler(message);
    else
        std::cerr << message << std::endl;
}

// The status of one call site, disposed by RAII.
class Status
{
public:
    Status() : m_status(master()->getStatus()), m_wrapper(m_status) {}
    ~Status() { m_status->dispose(); }
    ThrowStatusWrapper* operator&() { return &m_wrapper; }

private:
    IStatus* m_status;
    ThrowStatusWrapper m_wrapper;
};

// Turns Firebird's exception into ours, copying the text before the status goes.
[[noreturn]] void rethrow(const FbException& e)
{
    char buf[2048];
    master()->getUtilInterface()->formatStatus(buf, sizeof buf, e.getStatus());
    char state[6] = {};
    const intptr_t* errors = e.getStatus()->getErrors();
    fb_sqlstate(state, errors);
    // The codes of the status vector: each isc_arg_gds entry, skipping the
    // arguments (a counted string takes two slots after its tag).
    std::vector<long> codes;
    for (const intptr_t* v = errors; v && *v != isc_arg_end;) {
        if (*v == isc_arg_gds)
            codes.push_back(static_cast<long>(v[1]));
        v += *v == isc_arg_cstring ? 3 : 2;
    }
    throw DbError(buf, state, std::move(codes));
}

template <typename F> auto guarded(F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const FbException& e) {
        rethrow(e);
    }
}

struct Releaser
{
    void operator()(IReferenceCounted* p) const
    {
        if (p)
            p->release();
    }
};
struct Disposer
{
    void operator()(IDisposable* p) const
    {
        if (p)
            p->dispose();
    }
};
template <typename T> using Ref = std::unique_ptr<T, Releaser>;
template <typename T> using Owned = std::unique_ptr<T, Disposer>;

// A prepared statement; freed (which releases it) or released on error.
class Prepared
{
public:
    Prepared(IStatement* s) : m_stmt(s) {}
    ~Prepared()
    {
        if (!m_stmt)
            return;
        try {
            Status st;
            m_stmt->free(&st);
            m_stmt = nullptr;
        } catch (const FbException&) {
            m_stmt->release();
        }
    }
    IStatement* operator->() const { return m_stmt; }
    IStatement* get() const { return m_stmt; }
    // Hands the statement over (to the attachment's cache).
    IStatement* release()
    {
        IStatement* s = m_stmt;
        m_stmt = nullptr;
        return s;
    }

private:
    IStatement* m_stmt;
};

void freeStatement(IStatement* stmt) noexcept
{
    try {
        Status st;
        stmt->free(&st);
    } catch (const FbException&) {
        stmt->release();
    }
}

std::string statementText(const Sql& sql)
{
    std::string text = trimSql(sql.text());
    if (!text.empty() && text.back() == ';') {
        text.pop_back();
        text = trimSql(text);
    }
    return base::toWin1252(text);
}

// Input message built from the bound values: text as VARCHAR in WIN1252 (the
// database converts it to the column's type), bare numbers as scaled BIGINT or
// DOUBLE, nulls as a null VARCHAR.
struct InputMessage
{
    Ref<IMessageMetadata> metadata;
    std::vector<unsigned char> buffer;
};

InputMessage bindParams(IStatement* stmt, const Sql& sql)
{
    Status st;
    Ref<IMessageMetadata> declared(stmt->getInputMetadata(&st));
    const unsigned count = declared->getCount(&st);
    if (count != sql.params().size())
        throw DbError("the statement has " + std::to_string(count) + " parameters and " +
                      std::to_string(sql.params().size()) + " values were given");
    InputMessage msg;
    if (count == 0)
        return msg;

    std::vector<std::string> texts(count);
    std::vector<BareNumber> numbers(count);
    Ref<IMetadataBuilder> builder(declared->getBuilder(&st));
    for (unsigned i = 0; i < count; ++i) {
        const SqlParam& p = sql.params()[i];
        BareNumber n;
        if (p.kind == SqlParam::Kind::Bare)
            n = parseBare(p.value); // throws on anything that is not a number or null
        numbers[i] = n;
        if (p.kind == SqlParam::Kind::Text) {
            texts[i] = base::toWin1252(p.value);
            builder->setType(&st, i, SQL_VARYING + 1);
            builder->setLength(&st, i, static_cast<unsigned>(std::max<size_t>(texts[i].size(), 1)));
            builder->setCharSet(&st, i, kCharsetWin1252);
            builder->setSubType(&st, i, 0);
            builder->setScale(&st, i, 0);
        } else if (p.kind == SqlParam::Kind::Null || n.kind == BareNumber::Kind::Null) {
            builder->setType(&st, i, SQL_VARYING + 1);
            builder->setLength(&st, i, 1);
            builder->setCharSet(&st, i, kCharsetWin1252);
            builder->setSubType(&st, i, 0);
            builder->setScale(&st, i, 0);
        } else if (n.kind == BareNumber::Kind::Scaled) {
            builder->setType(&st, i, SQL_INT64 + 1);
            builder->setLength(&st, i, sizeof(ISC_INT64));
            builder->setSubType(&st, i, 0);
            builder->setScale(&st, i, n.scale);
        } else {
            builder->setType(&st, i, SQL_DOUBLE + 1);
            builder->setLength(&st, i, sizeof(double));
            builder->setSubType(&st, i, 0);
            builder->setScale(&st, i, 0);
        }
    }
    msg.metadata.reset(builder->getMetadata(&st));
    msg.buffer.assign(msg.metadata->getMessageLength(&st), 0);
    for (unsigned i = 0; i < count; ++i) {
        unsigned char* data = msg.buffer.data() + msg.metadata->getOffset(&st, i);
        auto* nullFlag =
            reinterpret_cast<ISC_SHORT*>(msg.buffer.data() + msg.metadata->getNullOffset(&st, i));
        const SqlParam& p = sql.params()[i];
        const BareNumber& n = numbers[i];
        if (p.kind == SqlParam::Kind::Null ||
            (p.kind == SqlParam::Kind::Bare && n.kind == BareNumber::Kind::Null)) {
            *nullFlag = -1;
            continue;
        }
        *nullFlag = 0;
        if (p.kind == SqlParam::Kind::Text) {
            const auto len = static_cast<ISC_USHORT>(texts[i].size());
            std::memcpy(data, &len, sizeof len);
            std::memcpy(data + sizeof len, texts[i].data(), texts[i].size());
        } else if (n.kind == BareNumber::Kind::Scaled) {
            const ISC_INT64 v = n.scaled;
            std::memcpy(data, &v, sizeof v);
        } else {
            std::memcpy(data, &n.real, sizeof n.real);
        }
    }
    return msg;
}

std::string readBlob(IAttachment* att, ITransaction* tra, ISC_QUAD id)
{
    Status st;
    IBlob* blob = att->openBlob(&st, tra, &id, 0, nullptr);
    std::string out;
    char buf[16384];
    try {
        for (;;) {
            unsigned got = 0;
            const int rc = blob->getSegment(&st, sizeof buf, buf, &got);
            if (rc == IStatus::RESULT_OK || rc == IStatus::RESULT_SEGMENT)
                out.append(buf, got);
            else
                break;
        }
        blob->close(&st);
    } catch (...) {
        blob->release();
        throw;
    }
    return out;
}

// Reads a value of type T out of a message buffer, whatever its alignment.
template <typename T> T load(const unsigned char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

Value::Data decodeValue(const Column& c, const unsigned char* p, IAttachment* att, ITransaction* tra)
{
    IUtil* util = master()->getUtilInterface();
    auto text = [&](std::string raw) -> Value::Data { return textFrom(std::move(raw), c.charSet); };
    auto date = [&](ISC_DATE x) {
        unsigned y, m, d;
        util->decodeDate(x, &y, &m, &d);
        return base::Date{int(y), int(m), int(d)};
    };
    auto time = [&](ISC_TIME x) {
        unsigned h, mi, s, f;
        util->decodeTime(x, &h, &mi, &s, &f);
        return base::Time{int(h), int(mi), int(s), int(f)};
    };
    switch (c.type) {
    case SQL_TEXT:
        return text(std::string(reinterpret_cast<const char*>(p), c.length));
    case SQL_VARYING:
        return text(std::string(reinterpret_cast<const char*>(p + sizeof(ISC_USHORT)), load<ISC_USHORT>(p)));
    case SQL_SHORT:
        return std::int64_t{load<ISC_SHORT>(p)};
    case SQL_LONG:
        return std::int64_t{load<ISC_LONG>(p)};
    case SQL_INT64:
        return std::int64_t{load<ISC_INT64>(p)};
    case SQL_FLOAT:
        return double{load<float>(p)};
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return load<double>(p);
    case SQL_TYPE_DATE:
        return date(load<ISC_DATE>(p));
    case SQL_TYPE_TIME:
        return time(load<ISC_TIME>(p));
    case SQL_TIMESTAMP: {
        const auto x = load<ISC_TIMESTAMP>(p);
        return base::Timestamp{date(x.timestamp_date), time(x.timestamp_time)};
    }
    case SQL_BOOLEAN:
        return *p != 0;
    case SQL_BLOB: {
        std::string raw = readBlob(att, tra, load<ISC_QUAD>(p));
        return c.subType == 1 ? textFrom(std::move(raw), c.charSet) : raw;
    }
    default:
        return std::string(); // a kind this layer does not read: shown as empty
    }
}

// Text of the column's character set as UTF-8 into `into`, in the room of
// the text it held.
void readText(std::string_view raw, unsigned charSet, Value& into)
{
    std::string* text = std::get_if<std::string>(&into.data);
    if (!text)
        text = &into.data.emplace<std::string>();
    text->clear();
    switch (charSet) {
    case kCharsetOctets:
        text->assign(raw);
        return;
    case kCharsetUtf8:
    case kCharsetUnicodeFss:
        if (base::isValidUtf8(raw)) {
            text->assign(raw);
            return;
        }
        break;
    default:
        break;
    }
    base::appendFromWin1252(*text, raw);
}

// The row the cursor stands on, in the fetch's message buffer.
class FetchedRow final : public RowView
{
public:
    std::vector<Column> columnList;
    std::vector<unsigned> offsets;     // of each value in the message
    std::vector<unsigned> nullOffsets; // of each null indicator
    std::vector<unsigned char> buffer; // the row the cursor stands on
    IAttachment* attachment = nullptr; // for BLOBs, read when asked for
    ITransaction* transaction = nullptr;

    const std::vector<Column>& columns() const override { return columnList; }

    bool isNull(std::size_t column) const override
    {
        return load<ISC_SHORT>(buffer.data() + nullOffsets[column]) != 0;
    }

    void read(std::size_t column, Value& into) const override
    {
        if (isNull(column)) {
            into.data = std::monostate{};
            return;
        }
        const Column& c = columnList[column];
        const unsigned char* p = buffer.data() + offsets[column];
        switch (c.type) {
        case SQL_TEXT:
            readText(std::string_view(reinterpret_cast<const char*>(p), c.length), c.charSet, into);
            return;
        case SQL_VARYING:
            readText(
                std::string_view(reinterpret_cast<const char*>(p + sizeof(ISC_USHORT)), load<ISC_USHORT>(p)),
                c.charSet, into);
            return;
        default:
            into.data = decodeValue(c, p, attachment, transaction);
            return;
        }
    }
};

} // namespace

Value RowView::value(std::size_t column) const
{
    Value v;
    read(column, v);
    return v;
}

void KeptRowView::read(std::size_t column, Value& into) const
{
    into = m_rows.rows[m_row][column];
}

namespace {

// Opens the cursor and hands each row to `onRow` (none: the rows are read and
// dropped); returns the columns, known before the first row.
std::vector<Column> fetchEach(IAttachment* att, ITransaction* tra, IStatement* stmt, const InputMessage& in,
                              const std::function<void(const RowView&, const std::vector<Column>&)>& onRow)
{
    Status st;
    Ref<IMessageMetadata> out(stmt->getOutputMetadata(&st));
    const unsigned count = out->getCount(&st);
    FetchedRow source;
    source.attachment = att;
    source.transaction = tra;
    source.columnList.resize(count);
    source.offsets.resize(count);
    source.nullOffsets.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        Column& c = source.columnList[i];
        c.name = base::fromWin1252(out->getAlias(&st, i));
        c.field = base::fromWin1252(out->getField(&st, i));
        c.relation = base::fromWin1252(out->getRelation(&st, i));
        c.type = out->getType(&st, i) & ~1u;
        c.subType = out->getSubType(&st, i);
        c.scale = out->getScale(&st, i);
        c.length = out->getLength(&st, i);
        c.charSet = out->getCharSet(&st, i);
        // Asked once: the layout is the same for every row.
        source.offsets[i] = out->getOffset(&st, i);
        source.nullOffsets[i] = out->getNullOffset(&st, i);
    }
    source.buffer.assign(out->getMessageLength(&st), 0);
    IResultSet* cursor = stmt->openCursor(
        &st, tra, in.metadata.get(), in.buffer.empty() ? nullptr : (void*)in.buffer.data(), out.get(), 0);
    try {
        while (cursor->fetchNext(&st, source.buffer.data()) == IStatus::RESULT_OK)
            if (onRow)
                onRow(source, source.columnList);
        cursor->close(&st);
    } catch (...) {
        cursor->release();
        throw;
    }
    return std::move(source.columnList);
}

} // namespace

void setQuietErrorHandler(std::function<void(const std::string&)> handler)
{
    std::lock_guard lock(g_handlerMutex);
    g_quietHandler = std::move(handler);
}

Attachment::Attachment(const ConnectionParams& params)
{
    connect(params);
}

Attachment::~Attachment()
{
    try {
        close();
    } catch (const std::exception& e) {
        quietError(e.what());
    }
}

Attachment::Attachment(Attachment&& other) noexcept
    : m_params(std::move(other.m_params)), m_attachment(other.m_attachment),
      m_transaction(other.m_transaction), m_broken(other.m_broken),
      m_statements(std::move(other.m_statements)), m_statementLimit(other.m_statementLimit)
{
    other.m_statements.clear();
    other.m_attachment = nullptr;
    other.m_transaction = nullptr;
    other.m_broken = false;
}

Attachment& Attachment::operator=(Attachment&& other) noexcept
{
    if (this != &other) {
        try {
            close();
        } catch (const std::exception& e) {
            quietError(e.what());
        }
        m_params = std::move(other.m_params);
        m_attachment = other.m_attachment;
        m_transaction = other.m_transaction;
        m_broken = other.m_broken;
        m_cancelled = nullptr;
        m_statements = std::move(other.m_statements);
        other.m_statements.clear();
        m_statementLimit = other.m_statementLimit;
        other.m_attachment = nullptr;
        other.m_transaction = nullptr;
        other.m_broken = false;
    }
    return *this;
}

void Attachment::connect(const ConnectionParams& params)
{
    if (m_attachment)
        return;
    m_params = params;
    guarded([&] {
        Status st;
        Ref<IProvider> provider(master()->getDispatcher());
        Owned<IXpbBuilder> dpb(
            master()->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0));
        dpb->insertString(&st, isc_dpb_user_name, base::toWin1252(params.user).c_str());
        dpb->insertString(&st, isc_dpb_password, base::toWin1252(params.password).c_str());
        if (!params.charset.empty())
            dpb->insertString(&st, isc_dpb_lc_ctype, params.charset.c_str());
        m_attachment = provider->attachDatabase(&st, base::toWin1252(params.database).c_str(),
                                                dpb->getBufferLength(&st), dpb->getBuffer(&st));
    });
}

void Attachment::cancel() noexcept
{
    cancelOperation(fb_cancel_raise);
}

void Attachment::abort() noexcept
{
    cancelOperation(fb_cancel_abort);
}

void Attachment::cancelOperation(int kind) noexcept
{
    if (!m_attachment)
        return;
    try {
        Status st;
        m_attachment->cancelOperation(&st, kind);
    } catch (const FbException&) {
        // Nothing was running, or the connection is already closed.
    }
}

void Attachment::configure(const ConnectionParams& params)
{
    // A connection that broke meanwhile must not stop it from being set up again.
    try {
        close();
    } catch (const std::exception& e) {
        quietError(e.what());
    }
    m_params = params;
}

void Attachment::open()
{
    if (!m_attachment)
        connect(m_params);
}

ITransaction* Attachment::transaction()
{
    if (!m_attachment)
        throw DbError("database not connected");
    if (!m_transaction) {
        guarded([&] {
            Status st;
            Owned<IXpbBuilder> tpb(
                master()->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::TPB, nullptr, 0));
            tpb->insertTag(&st, isc_tpb_read_committed);
            tpb->insertTag(&st, isc_tpb_rec_version);
            tpb->insertTag(&st, isc_tpb_write);
            tpb->insertTag(&st, isc_tpb_wait);
            // A row locked by another transaction is waited for a bounded
            // time; then the statement fails like any database error.
            if (m_params.lockTimeout > 0)
                tpb->insertInt(&st, isc_tpb_lock_timeout, m_params.lockTimeout);
            m_transaction =
                m_attachment->startTransaction(&st, tpb->getBufferLength(&st), tpb->getBuffer(&st));
        });
    }
    return m_transaction;
}

namespace {

void throwIfCancelled(const std::atomic<bool>* cancelled)
{
    if (cancelled && cancelled->load())
        throw DbError("operation was cancelled: the server is stopping", "HY008", {isc_cancelled});
}

} // namespace

ResultSet Attachment::select(const Sql& sql)
{
    ResultSet rs;
    rs.columns = selectEach(sql, [&rs](const RowView& row) {
        std::vector<Value> values(row.columns().size());
        for (size_t i = 0; i < values.size(); ++i)
            row.read(i, values[i]);
        rs.rows.push_back(std::move(values));
    });
    return rs;
}

std::vector<Column> Attachment::selectEach(const Sql& sql, const RowCallback& onRow)
{
    throwIfCancelled(m_cancelled);
    try {
        return selectEachNow(sql, onRow);
    } catch (const DbError& e) {
        m_broken = m_broken || e.isConnectionLost();
        throw;
    }
}

std::vector<Column> Attachment::selectEachNow(const Sql& sql, const RowCallback& onRow)
{
    ITransaction* tra = transaction();
    return guarded([&] {
        const std::string text = statementText(sql);
        IStatement* cached = cachedStatement(text);
        Prepared owned(cached ? nullptr : prepareStatement(tra, text));
        IStatement* stmt = cached ? cached : owned.get();
        InputMessage in = bindParams(stmt, sql);
        std::vector<Column> columns =
            fetchEach(m_attachment, tra, stmt, in, [&onRow](const RowView& row, const std::vector<Column>&) {
                if (onRow)
                    onRow(row);
            });
        if (!cached && m_statementLimit > 0)
            keepStatement(text, owned.release());
        return columns;
    });
}

void Attachment::execute(const Sql& sql)
{
    throwIfCancelled(m_cancelled);
    try {
        executeNow(sql);
    } catch (const DbError& e) {
        m_broken = m_broken || e.isConnectionLost();
        throw;
    }
}

void Attachment::executeNow(const Sql& sql)
{
    ITransaction* tra = transaction();
    guarded([&] {
        Status st;
        const std::string text = statementText(sql);
        IStatement* cached = cachedStatement(text);
        Prepared owned(cached ? nullptr : prepareStatement(tra, text));
        IStatement* stmt = cached ? cached : owned.get();
        InputMessage in = bindParams(stmt, sql);
        if (stmt->getType(&st) == isc_info_sql_stmt_select) {
            // Rows of a statement run for its effect are read and dropped.
            fetchEach(m_attachment, tra, stmt, in, {});
        } else {
            Ref<IMessageMetadata> out(stmt->getOutputMetadata(&st));
            std::vector<unsigned char> outBuffer(out->getMessageLength(&st));
            stmt->execute(&st, tra, in.metadata.get(), in.buffer.empty() ? nullptr : in.buffer.data(),
                          out->getCount(&st) ? out.get() : nullptr,
                          outBuffer.empty() ? nullptr : outBuffer.data());
        }
        m_transaction->commitRetaining(&st);
        if (!cached && m_statementLimit > 0)
            keepStatement(text, owned.release());
    });
}

void Attachment::commit(std::chrono::milliseconds patience)
{
    if (!m_transaction)
        return;
    try {
        std::optional<CallDeadline> deadline;
        if (patience.count() > 0)
            deadline.emplace(m_attachment, patience);
        guarded([&] {
            Status st;
            m_transaction->commit(&st); // releases the interface on success
            m_transaction = nullptr;
        });
    } catch (const DbError&) {
        m_broken = true; // what the request wrote is not known to be kept
        throw;
    }
}

Firebird::IStatement* Attachment::prepareStatement(Firebird::ITransaction* tra, const std::string& text)
{
    Status st;
    return m_attachment->prepare(&st, tra, 0, text.c_str(), SQL_DIALECT_V6,
                                 IStatement::PREPARE_PREFETCH_METADATA);
}

Firebird::IStatement* Attachment::cachedStatement(const std::string& text)
{
    for (auto it = m_statements.begin(); it != m_statements.end(); ++it) {
        if (it->first == text) {
            // Most recently used last: the first is the one to go.
            std::rotate(it, it + 1, m_statements.end());
            return m_statements.back().second;
        }
    }
    return nullptr;
}

void Attachment::keepStatement(const std::string& text, Firebird::IStatement* stmt) noexcept
{
    if (m_statementLimit == 0) {
        freeStatement(stmt);
        return;
    }
    try {
        if (m_statements.size() >= m_statementLimit) {
            freeStatement(m_statements.front().second);
            m_statements.erase(m_statements.begin());
        }
        m_statements.emplace_back(text, stmt);
    } catch (...) {
        freeStatement(stmt);
    }
}

void Attachment::freeStatements() noexcept
{
    for (auto& [text, stmt] : m_statements)
        freeStatement(stmt);
    m_statements.clear();
}

void Attachment::setStatementCache(std::size_t limit)
{
    m_statementLimit = limit;
    while (m_statements.size() > m_statementLimit) {
        freeStatement(m_statements.front().second);
        m_statements.erase(m_statements.begin());
    }
}

bool Attachment::ping() noexcept
{
    if (!m_attachment || m_broken)
        return false;
    try {
        const CallDeadline deadline(m_attachment, kPacienciaDoFechamento);
        Status st;
        m_attachment->ping(&st);
        return true;
    } catch (const FbException&) {
        m_broken = true;
        return false;
    }
}

void Attachment::close()
{
    if (!m_attachment)
        return;
    try {
        const CallDeadline deadline(m_attachment, kPacienciaDoFechamento);
        commit();
        freeStatements(); // before the detach, which would refuse them otherwise
        guarded([&] {
            Status st;
            m_attachment->detach(&st); // releases the interface on success
            m_attachment = nullptr;
        });
    } catch (...) {
        releaseAll();
        throw;
    }
}

void Attachment::releaseAll() noexcept
{
    for (auto& [text, stmt] : m_statements)
        stmt->release();
    m_statements.clear();
    if (m_transaction) {
        try {
            Status st;
            m_transaction->rollback(&st);
        } catch (const FbException&) {
            m_transaction->release();
        }
        m_transaction = nullptr;
    }
    if (m_attachment) {
        m_attachment->release();
        m_attachment = nullptr;
    }
}

} // namespace quelvor::db
