#pragma once

// A ResultSink that keeps everything the engine reports, in order, for
// tests that drive the interpreter directly.

#include "engine_interface/result_sink.h"

#include <atomic>
#include <string>
#include <vector>

namespace sqlemu::test {

struct ResultSet {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
};

class RecordingSink : public ResultSink {
public:
    struct Event {
        enum class Kind {
            Columns,
            Row,
            Message,
            Done,
            DatabaseChanged,
            LanguageChanged,
            TransactionChanged,
            ReturnStatus,
            Flush
        };
        Kind kind;
        ServerMessage message;
        StatementResult done;
        std::string text;
        std::int32_t status = 0;
    };

    RecordingSink() = default;
    RecordingSink(RecordingSink &&other) noexcept
        : events(std::move(other.events))
        , resultSets(std::move(other.resultSets))
        , messages(std::move(other.messages))
        , dones(std::move(other.dones))
        , returnStatuses(std::move(other.returnStatuses))
        , transactions(std::move(other.transactions))
        , flushes(other.flushes)
        , cancel(other.cancel.load())
    {}

    void columns(const std::vector<ColumnInfo> &columns) override
    {
        events.push_back({Event::Kind::Columns, {}, {}, {}, 0});
        resultSets.push_back({columns, {}});
    }
    void row(const std::vector<Value> &values) override
    {
        events.push_back({Event::Kind::Row, {}, {}, {}, 0});
        resultSets.back().rows.push_back(values);
    }
    void message(const ServerMessage &m) override
    {
        events.push_back({Event::Kind::Message, m, {}, {}, 0});
        messages.push_back(m);
    }
    void statementDone(const StatementResult &result) override
    {
        events.push_back({Event::Kind::Done, {}, result, {}, 0});
        dones.push_back(result);
    }
    void databaseChanged(const std::string &newDatabase, const std::string &) override
    {
        events.push_back({Event::Kind::DatabaseChanged, {}, {}, newDatabase, 0});
    }
    void languageChanged(const std::string &newLanguage, const std::string &) override
    {
        events.push_back({Event::Kind::LanguageChanged, {}, {}, newLanguage, 0});
    }
    void transactionChanged(TransactionChange change, std::uint64_t descriptor) override
    {
        events.push_back({Event::Kind::TransactionChanged, {}, {}, {}, 0});
        transactions.emplace_back(change, descriptor);
    }
    void returnStatus(std::int32_t status) override
    {
        events.push_back({Event::Kind::ReturnStatus, {}, {}, {}, status});
        returnStatuses.push_back(status);
    }
    void flush() override
    {
        events.push_back({Event::Kind::Flush, {}, {}, {}, 0});
        ++flushes;
    }
    bool cancelled() const override { return cancel.load(); }

    std::vector<std::string> errorNumbers() const
    {
        std::vector<std::string> out;
        for (const auto &m : messages)
            out.push_back(std::to_string(m.number));
        return out;
    }
    const ServerMessage *firstError() const
    {
        for (const auto &m : messages)
            if (m.isError())
                return &m;
        return nullptr;
    }

    std::vector<Event> events;
    std::vector<ResultSet> resultSets;
    std::vector<ServerMessage> messages;
    std::vector<StatementResult> dones;
    std::vector<std::int32_t> returnStatuses;
    std::vector<std::pair<TransactionChange, std::uint64_t>> transactions;
    int flushes = 0;
    std::atomic<bool> cancel{false};
};

inline std::string text(const Value &v)
{
    if (const auto *s = std::get_if<std::string>(&v))
        return *s;
    return "<not text>";
}

inline std::int64_t integer(const Value &v)
{
    if (const auto *n = std::get_if<std::int64_t>(&v))
        return *n;
    return -999999;
}

} // namespace sqlemu::test
