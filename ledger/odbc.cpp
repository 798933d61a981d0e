#include "ledger/odbc.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "common/split_token.h"
#include "common/text_case.h"
#include "ledger/utf16_text.h"

static_assert(sizeof(SQLWCHAR) == 2, "the ODBC manager must take UTF-16");

namespace {
using WString = std::basic_string<SQLWCHAR>;

WString ToSql(const std::string& utf8) {
    const std::u16string s = Utf8ToUtf16(utf8);
    return WString(s.begin(), s.end());
}

std::string FromSql(const SQLWCHAR* text, size_t count) {
    return Utf16ToUtf8(std::u16string(text, text + count));
}

bool Ok(SQLRETURN r) {
    return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
}

// Where the value of key=value starts and ends, a {braced} value included.
size_t ValueEnd(const std::string& s, size_t from) {
    if (from < s.size() && s[from] == '{') {
        for (size_t i = from + 1; i < s.size(); ++i) {
            if (s[i] != '}') continue;
            if (i + 1 < s.size() && s[i + 1] == '}') {
                ++i;  // "}}" stands for one brace
                continue;
            }
            return i + 1;
        }
        return s.size();
    }
    const size_t semi = s.find(';', from);
    return semi == std::string::npos ? s.size() : semi;
}

// Every value of a password key in `connection`.
std::vector<std::string> Passwords(const std::string& connection) {
    std::vector<std::string> found;
    size_t i = 0;
    while (i < connection.size()) {
        const size_t eq = connection.find('=', i);
        if (eq == std::string::npos) break;
        const std::string key = LowerAscii(TrimWhite(connection.substr(i, eq - i)));
        const size_t end = ValueEnd(connection, eq + 1);
        if (key == "pwd" || key == "password")
            found.push_back(connection.substr(eq + 1, end - eq - 1));
        i = end + 1;
    }
    return found;
}
}  // namespace

std::string MaskConnection(const std::string& connection) {
    std::string out;
    size_t i = 0;
    while (i < connection.size()) {
        const size_t eq = connection.find('=', i);
        if (eq == std::string::npos) {
            out += connection.substr(i);
            break;
        }
        const std::string key = LowerAscii(TrimWhite(connection.substr(i, eq - i)));
        const size_t end = ValueEnd(connection, eq + 1);
        out += connection.substr(i, eq + 1 - i);
        out += key == "pwd" || key == "password" ? "***" : connection.substr(eq + 1, end - eq - 1);
        if (end < connection.size()) out += ';';
        i = end + 1;
    }
    return out;
}

OdbcConnection::OdbcConnection() = default;

OdbcConnection::~OdbcConnection() {
    Disconnect();
}

void OdbcConnection::TakeDiag(short handleType, void* handle, const char* what) {
    m_strState.clear();
    m_strError = what;
    SQLWCHAR state[6] = {};
    SQLWCHAR text[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT rec = 1; rec <= 3; ++rec) {
        if (!Ok(SQLGetDiagRecW(handleType, handle, rec, state, &native, text,
                               static_cast<SQLSMALLINT>(sizeof text / sizeof text[0]), &length)))
            break;
        if (rec == 1) m_strState = FromSql(state, 5);
        const size_t n =
            std::min<size_t>(static_cast<size_t>(length), sizeof text / sizeof text[0] - 1);
        m_strError += (rec == 1 ? ": " : " ") + FromSql(text, n);
    }
    // A driver may quote the connection string back: no password leaves here.
    for (const std::string& pwd : Passwords(m_strConnection)) {
        if (pwd.empty()) continue;
        for (size_t at; (at = m_strError.find(pwd)) != std::string::npos;)
            m_strError.replace(at, pwd.size(), "***");
    }
}

bool OdbcConnection::Connect(const std::string& connection, int timeoutSeconds) {
    Disconnect();
    m_strConnection = connection;
    SQLHENV env = SQL_NULL_HENV;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        m_strError = "The ODBC driver manager cannot be used";
        m_strState = "08000";
        return false;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        TakeDiag(SQL_HANDLE_ENV, env, "No connection can be made");
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return false;
    }
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(timeoutSeconds)), 0);
    WString text = ToSql(connection);
    SQLWCHAR done[1024];
    SQLSMALLINT doneLength = 0;
    const SQLRETURN r =
        SQLDriverConnectW(dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), done,
                          1024, &doneLength, SQL_DRIVER_NOPROMPT);
    if (!Ok(r)) {
        TakeDiag(SQL_HANDLE_DBC, dbc, "The ledger's server cannot be reached");
        // Whatever the driver said, a failed connection is a link that failed.
        if (!LinkFailed() && m_strState.compare(0, 2, "28") != 0) m_strState = "08001";
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return false;
    }
    m_env = env;
    m_dbc = dbc;
    m_strError.clear();
    m_strState.clear();
    return true;
}

void OdbcConnection::Disconnect() {
    if (m_dbc) {
        SQLDisconnect(static_cast<SQLHDBC>(m_dbc));
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(m_dbc));
        m_dbc = nullptr;
    }
    if (m_env) {
        SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(m_env));
        m_env = nullptr;
    }
}

bool OdbcConnection::Execute(const std::string& sql, const std::vector<SqlParam>& params,
                             std::vector<SqlRow>* rows, int64_t* affected) {
    if (!m_dbc) {
        m_strError = "The ledger's server is not connected";
        m_strState = "08003";
        return false;
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(m_dbc), &stmt))) {
        TakeDiag(SQL_HANDLE_DBC, m_dbc, "No statement can be made");
        return false;
    }
    struct Bound {
        WString text;
        SQLBIGINT value = 0;
        SQLLEN indicator = 0;
    };
    // Bound buffers must stay where they are until the statement ran.
    std::vector<Bound> bound(params.size());
    WString query = ToSql(sql);
    bool ok = Ok(SQLPrepareW(stmt, query.data(), static_cast<SQLINTEGER>(query.size())));
    for (size_t i = 0; ok && i < params.size(); ++i) {
        Bound& b = bound[i];
        const SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
        switch (params[i].kind) {
            case SqlParam::Kind::kInt:
                b.value = params[i].nValue;
                b.indicator = 0;
                ok = Ok(SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT,
                                         0, 0, &b.value, 0, &b.indicator));
                break;
            case SqlParam::Kind::kText:
            case SqlParam::Kind::kNull: {
                const bool null = params[i].kind == SqlParam::Kind::kNull;
                b.text = ToSql(params[i].strText);
                b.text.push_back(0);
                b.indicator = null ? SQL_NULL_DATA
                                   : static_cast<SQLLEN>((b.text.size() - 1) * sizeof(SQLWCHAR));
                const SQLULEN size = std::max<SQLULEN>(1, b.text.size() - 1);
                ok = Ok(SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                         size, 0, b.text.data(),
                                         static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR)),
                                         &b.indicator));
                break;
            }
        }
    }
    if (ok) {
        const SQLRETURN r = SQLExecute(stmt);
        ok = Ok(r) || r == SQL_NO_DATA;
    }
    if (ok && affected) {
        SQLLEN count = 0;
        SQLRowCount(stmt, &count);
        *affected = count;
    }
    SQLSMALLINT columns = 0;
    if (ok && rows && Ok(SQLNumResultCols(stmt, &columns)) && columns > 0) {
        SQLRETURN r;
        while (ok && Ok(r = SQLFetch(stmt))) {
            SqlRow row;
            for (SQLSMALLINT c = 1; ok && c <= columns; ++c) {
                std::u16string value;
                SQLWCHAR chunk[512];
                SQLLEN got = 0;
                bool null = false;
                for (;;) {
                    const SQLRETURN g = SQLGetData(stmt, static_cast<SQLUSMALLINT>(c), SQL_C_WCHAR,
                                                   chunk, sizeof chunk, &got);
                    if (g == SQL_NO_DATA) break;
                    if (!Ok(g)) {
                        ok = false;
                        break;
                    }
                    if (got == SQL_NULL_DATA) {
                        null = true;
                        break;
                    }
                    const size_t room = sizeof chunk / sizeof chunk[0] - 1;
                    const size_t n = got == SQL_NO_TOTAL || static_cast<size_t>(got) / 2 > room
                                         ? room
                                         : static_cast<size_t>(got) / 2;
                    value.append(chunk, chunk + n);
                    if (g == SQL_SUCCESS) break;
                }
                if (null)
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(Utf16ToUtf8(value));
            }
            if (ok) rows->push_back(std::move(row));
        }
        if (ok && r != SQL_NO_DATA) ok = false;
    }
    if (!ok) {
        TakeDiag(SQL_HANDLE_STMT, stmt, "The ledger refused a statement");
        // A driver may name a lost link in a state of another class: the
        // connection itself says whether it is dead.
        SQLUINTEGER dead = SQL_CD_FALSE;
        if (!LinkFailed() &&
            Ok(SQLGetConnectAttrW(static_cast<SQLHDBC>(m_dbc), SQL_ATTR_CONNECTION_DEAD, &dead, 0,
                                  nullptr)) &&
            dead == SQL_CD_TRUE)
            m_strState = "08S01";
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

bool OdbcConnection::Begin() {
    if (!m_dbc) return false;
    if (Ok(SQLSetConnectAttrW(static_cast<SQLHDBC>(m_dbc), SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        return true;
    TakeDiag(SQL_HANDLE_DBC, m_dbc, "No transaction can be begun");
    return false;
}

bool OdbcConnection::Commit() {
    if (!m_dbc) return false;
    const bool ok = Ok(SQLEndTran(SQL_HANDLE_DBC, static_cast<SQLHDBC>(m_dbc), SQL_COMMIT));
    if (!ok) TakeDiag(SQL_HANDLE_DBC, m_dbc, "The ledger did not commit");
    SQLSetConnectAttrW(static_cast<SQLHDBC>(m_dbc), SQL_ATTR_AUTOCOMMIT,
                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return ok;
}

void OdbcConnection::Rollback() {
    if (!m_dbc) return;
    SQLEndTran(SQL_HANDLE_DBC, static_cast<SQLHDBC>(m_dbc), SQL_ROLLBACK);
    SQLSetConnectAttrW(static_cast<SQLHDBC>(m_dbc), SQL_ATTR_AUTOCOMMIT,
                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}
