#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A database reached through ODBC's wide entry points (Wine's odbc32 has no
// ANSI ones), every value passed as a bound parameter. Texts are UTF-8 here.

struct SqlParam {
    enum class Kind { kNull, kText, kInt };
    Kind kind = Kind::kNull;
    std::string strText;
    int64_t nValue = 0;
    static SqlParam Text(std::string text) { return {Kind::kText, std::move(text), 0}; }
    static SqlParam Int(int64_t value) { return {Kind::kInt, std::string(), value}; }
    static SqlParam Null() { return {}; }
};
using SqlRow = std::vector<std::optional<std::string>>;  // every column as text; nullopt is NULL

// The connection string as it may be shown: the values of Pwd= and Password=
// replaced by "***".
std::string MaskConnection(const std::string& connection);

class OdbcConnection {
  public:
    OdbcConnection();
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    bool Connect(const std::string& connection, int timeoutSeconds);
    void Disconnect();
    bool IsConnected() const { return m_dbc != nullptr; }
    // One statement; the rows of a query are appended to `rows`, the rows an
    // update touched go to `affected`. False: see Error().
    bool Execute(const std::string& sql, const std::vector<SqlParam>& params,
                 std::vector<SqlRow>* rows = nullptr, int64_t* affected = nullptr);
    bool Begin();
    bool Commit();
    void Rollback();
    // The driver's last message, any password of the connection masked.
    const std::string& Error() const { return m_strError; }
    // SQLSTATE class 08: the server is not reachable or the link broke.
    bool LinkFailed() const { return m_strState.compare(0, 2, "08") == 0; }

  private:
    void TakeDiag(short handleType, void* handle, const char* what);
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    std::string m_strConnection;
    std::string m_strError;
    std::string m_strState;
};
