#include "ledger/ledger_server.h"

#include <cstdlib>

namespace {
const char* const kSchema[] = {
    "create table if not exists serial_sequence (name text primary key, next_serial bigint not "
    "null, last_serial bigint not null)",
    "create table if not exists serial_block (id bigserial primary key, sequence text not null "
    "references serial_sequence, first_serial bigint not null, last_serial bigint not null, "
    "station text not null, reserved_at timestamptz not null default now())",
    "create table if not exists chip_record (record_id text primary key, sequence text, station "
    "text not null, program text not null, port integer, firmware text, image_path text, checksum "
    "text, body text, operation text not null, serial bigint, serial_state text, result text, "
    "pass boolean, lot text, recorded_at timestamptz not null, uploaded_at timestamptz not null "
    "default now(), serial_last bigint)",
    "create unique index if not exists chip_record_serial_once on chip_record (sequence, serial) "
    "where serial_state in ('written', 'burned')",
};

int64_t ToInt(const std::optional<std::string>& text) {
    return text ? std::strtoll(text->c_str(), nullptr, 10) : 0;
}

std::optional<int64_t> ToOptInt(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return std::strtoll(text->c_str(), nullptr, 10);
}

SqlParam TextOrNull(const std::string& text) {
    return text.empty() ? SqlParam::Null() : SqlParam::Text(text);
}

SqlParam IntOrNull(const std::optional<int64_t>& value) {
    return value ? SqlParam::Int(*value) : SqlParam::Null();
}

// Drivers spell a boolean 1, t or true.
std::optional<bool> ToOptBool(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    const char c = (*text)[0];
    return c == '1' || c == 't' || c == 'T';
}
}  // namespace

bool LedgerServer::Open() {
    if (m_db.IsConnected()) return true;
    if (m_db.Connect(m_strConnection, m_nTimeout)) return true;
    m_strError = m_db.Error();
    m_bLinkFailed = true;
    return false;
}

std::string LedgerServer::Error() const {
    return m_strError + " (" + MaskConnection(m_strConnection) + ")";
}

LedgerAnswer LedgerServer::Failed() {
    if (m_bLinkFailed) {
        // The next call connects anew.
        m_db.Disconnect();
        return LedgerAnswer::kUnreachable;
    }
    return LedgerAnswer::kRefused;
}

bool LedgerServer::Run(const std::string& sql, const std::vector<SqlParam>& params,
                       std::vector<SqlRow>* rows, int64_t* affected) {
    m_bLinkFailed = false;
    if (m_db.Execute(sql, params, rows, affected)) return true;
    m_strError = m_db.Error();
    m_bLinkFailed = m_db.LinkFailed();
    return false;
}

LedgerAnswer LedgerServer::Init() {
    if (!Open()) return LedgerAnswer::kUnreachable;
    for (const char* sql : kSchema)
        if (!Run(sql, {})) return Failed();
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::DefineSequence(const std::string& name, int64_t first, int64_t last) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    if (!Run("insert into serial_sequence (name, next_serial, last_serial) values (?, ?, ?) on "
             "conflict (name) do update set next_serial = greatest(serial_sequence.next_serial, "
             "excluded.next_serial), last_serial = greatest(serial_sequence.last_serial, "
             "excluded.last_serial)",
             {SqlParam::Text(name), SqlParam::Int(first), SqlParam::Int(last)}))
        return Failed();
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::ReadSequence(const std::string& name, int64_t& next, int64_t& last) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    std::vector<SqlRow> rows;
    if (!Run("select next_serial, last_serial from serial_sequence where name = ?",
             {SqlParam::Text(name)}, &rows))
        return Failed();
    if (rows.empty()) return LedgerAnswer::kNoSequence;
    next = ToInt(rows[0][0]);
    last = ToInt(rows[0][1]);
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::ReserveBlock(const std::string& sequence, const std::string& station,
                                        int64_t size,
                                        const std::function<bool(const SerialBlock&)>& keep,
                                        SerialBlock& block) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    if (!m_db.Begin()) {
        m_strError = m_db.Error();
        m_bLinkFailed = true;
        return Failed();
    }
    auto abandon = [&](LedgerAnswer answer) {
        m_db.Rollback();
        return answer;
    };
    // The row lock makes concurrent stations take turns: each sees the number
    // the one before left.
    std::vector<SqlRow> rows;
    if (!Run("select next_serial, last_serial from serial_sequence where name = ? for update",
             {SqlParam::Text(sequence)}, &rows))
        return abandon(Failed());
    if (rows.empty()) return abandon(LedgerAnswer::kNoSequence);
    const int64_t first = ToInt(rows[0][0]), last = ToInt(rows[0][1]);
    if (first > last) return abandon(LedgerAnswer::kUsedUp);
    const int64_t end = size - 1 > last - first ? last : first + size - 1;
    rows.clear();
    if (!Run("update serial_sequence set next_serial = ? where name = ? and next_serial = ? "
             "returning next_serial",
             {SqlParam::Int(end + 1), SqlParam::Text(sequence), SqlParam::Int(first)}, &rows) ||
        rows.size() != 1)
        return abandon(m_bLinkFailed ? Failed() : LedgerAnswer::kRefused);
    rows.clear();
    if (!Run(
            "insert into serial_block (sequence, first_serial, last_serial, station) values (?, ?, "
            "?, ?) returning id",
            {SqlParam::Text(sequence), SqlParam::Int(first), SqlParam::Int(end),
             SqlParam::Text(station)},
            &rows) ||
        rows.size() != 1)
        return abandon(m_bLinkFailed ? Failed() : LedgerAnswer::kRefused);
    block.nId = ToInt(rows[0][0]);
    block.strSequence = sequence;
    block.nFirst = first;
    block.nLast = end;
    if (!keep(block)) {
        m_strError = "The block could not be kept on the station's disk";
        m_bLinkFailed = false;
        return abandon(LedgerAnswer::kRefused);
    }
    if (!m_db.Commit()) {
        m_strError = m_db.Error();
        m_bLinkFailed = true;
        return Failed();
    }
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::HasBlock(const SerialBlock& block, const std::string& station,
                                    bool& held) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    std::vector<SqlRow> rows;
    if (!Run("select 1 from serial_block where id = ? and sequence = ? and first_serial = ? and "
             "last_serial = ? and station = ?",
             {SqlParam::Int(block.nId), SqlParam::Text(block.strSequence),
              SqlParam::Int(block.nFirst), SqlParam::Int(block.nLast), SqlParam::Text(station)},
             &rows))
        return Failed();
    held = !rows.empty();
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::Upload(const std::vector<ChipRow>& rows, int& added) {
    added = 0;
    if (!Open()) return LedgerAnswer::kUnreachable;
    if (!m_db.Begin()) {
        m_strError = m_db.Error();
        m_bLinkFailed = true;
        return Failed();
    }
    for (const ChipRow& r : rows) {
        int64_t n = 0;
        // Without a conflict target this also leaves out a number the
        // server already holds as written or burned.
        if (!Run("insert into chip_record (record_id, sequence, station, program, port, firmware, "
                 "image_path, checksum, body, operation, serial, serial_last, serial_state, "
                 "result, pass, lot, recorded_at) values (?, cast(? as text), ?, ?, cast(? as "
                 "integer), cast(? as text), cast(? as text), cast(? as text), cast(? as text), ?, "
                 "cast(? as bigint), cast(? as bigint), cast(? as text), cast(? as text), cast(? "
                 "as boolean), cast(? as text), cast(? as timestamptz)) on conflict do nothing",
                 {SqlParam::Text(r.strRecordId), TextOrNull(r.strSequence),
                  SqlParam::Text(r.strStation), SqlParam::Text(r.strProgram), IntOrNull(r.port),
                  TextOrNull(r.strFirmware), TextOrNull(r.strImagePath), TextOrNull(r.strChecksum),
                  TextOrNull(r.strBody), SqlParam::Text(r.strOperation), IntOrNull(r.serial),
                  IntOrNull(r.serialLast), TextOrNull(r.strSerialState), TextOrNull(r.strResult),
                  r.pass ? SqlParam::Text(*r.pass ? "true" : "false") : SqlParam::Null(),
                  TextOrNull(r.strLot), SqlParam::Text(r.strRecordedAt)},
                 nullptr, &n)) {
            const LedgerAnswer a = Failed();
            m_db.Rollback();
            return a;
        }
        added += static_cast<int>(n);
    }
    if (!m_db.Commit()) {
        m_strError = m_db.Error();
        m_bLinkFailed = true;
        added = 0;
        return Failed();
    }
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::Find(int64_t serial, const std::string& sequence,
                                std::vector<ChipRow>& out) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    std::vector<SqlRow> rows;
    if (!Run("select record_id, sequence, station, program, port, firmware, image_path, checksum, "
             "body, operation, serial, serial_last, serial_state, result, pass, lot, "
             "to_char(recorded_at at time zone 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') from "
             "chip_record where (serial = ? or (serial < ? and serial_last >= ?)) and (cast(? as "
             "text) is null or sequence = cast(? as text)) order by recorded_at, record_id",
             {SqlParam::Int(serial), SqlParam::Int(serial), SqlParam::Int(serial),
              TextOrNull(sequence), TextOrNull(sequence)},
             &rows))
        return Failed();
    for (const SqlRow& row : rows) {
        ChipRow r;
        auto text = [&](size_t i) { return row[i].value_or(std::string()); };
        r.strRecordId = text(0);
        r.strSequence = text(1);
        r.strStation = text(2);
        r.strProgram = text(3);
        r.port = ToOptInt(row[4]);
        r.strFirmware = text(5);
        r.strImagePath = text(6);
        r.strChecksum = text(7);
        r.strBody = text(8);
        r.strOperation = text(9);
        r.serial = ToOptInt(row[10]);
        r.serialLast = ToOptInt(row[11]);
        r.strSerialState = text(12);
        r.strResult = text(13);
        r.pass = ToOptBool(row[14]);
        r.strLot = text(15);
        r.strRecordedAt = text(16);
        out.push_back(std::move(r));
    }
    return LedgerAnswer::kOk;
}

LedgerAnswer LedgerServer::Report(const std::string& since, std::vector<StationYield>& yields) {
    if (!Open()) return LedgerAnswer::kUnreachable;
    std::vector<SqlRow> rows;
    // grouping sets give the total as the row whose station is null.
    if (!Run("select station, count(*) filter (where pass), count(*) filter (where not pass) from "
             "chip_record where pass is not null and (cast(? as timestamptz) is null or "
             "recorded_at >= cast(? as timestamptz)) group by grouping sets ((station), ()) order "
             "by station is null, station",
             {TextOrNull(since), TextOrNull(since)}, &rows))
        return Failed();
    for (const SqlRow& row : rows)
        yields.push_back({row[0].value_or(std::string()), ToInt(row[1]), ToInt(row[2])});
    if (yields.empty()) yields.push_back({});
    return LedgerAnswer::kOk;
}
