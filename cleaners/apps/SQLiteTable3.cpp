#include "cleaners/apps/SQLiteTable3.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "base/Global.h"

namespace qv {

namespace {

// Finalizes its statement however the routine that prepared it is left.
class TStatement {
 public:
  TStatement() = default;
  ~TStatement() { sqlite3_finalize(stmt_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  sqlite3_stmt** Out() { return &stmt_; }
  sqlite3_stmt* Get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Prepares the whole text; raises the layer's errors when SQLite refuses it or the text holds no
// statement.
void Prepare(const TSQLiteDatabase& db, sqlite3* handle, const std::string& sql, TStatement& stmt) {
  if (sqlite3_prepare_v2(handle, sql.c_str(), -1, stmt.Out(), nullptr) != SQLITE_OK)
    db.RaiseSQLiteError("Error executing SQL", sql);
  if (!stmt.Get()) db.RaiseSQLiteError("Could not prepare SQL statement", sql);
}

bool KindOfDeclaredType(const char* declared, TSQLiteColumnKind& kind) {
  if (!declared) return false;
  if (!std::strcmp(declared, "INTEGER") || !std::strcmp(declared, "BOOLEAN"))
    kind = ckInteger;
  else if (!std::strcmp(declared, "NUMERIC") || !std::strcmp(declared, "FLOAT") || !std::strcmp(declared, "DOUBLE") ||
           !std::strcmp(declared, "REAL"))
    kind = ckFloat;
  else if (!std::strcmp(declared, "BLOB"))
    kind = ckBlob;
  else
    kind = ckText;
  return true;
}

TSQLiteColumnKind KindOfStorageClass(int type) {
  switch (type) {
    case SQLITE_INTEGER: return ckInteger;
    case SQLITE_FLOAT: return ckFloat;
    case SQLITE_BLOB: return ckBlob;
    default: return ckText;  // text, and a NULL first value
  }
}

}  // namespace

std::string SQLiteErrorText(int code) {
  switch (code) {
    case 0: return "Successful result";
    case 1: return "SQL error or missing database";
    case 2: return "An internal logic error in SQLite";
    case 3: return "Access permission denied";
    case 4: return "Callback routine requested an abort";
    case 5: return "The database file is locked";
    case 6: return "A table in the database is locked";
    case 7: return "A malloc() failed";
    case 8: return "Attempt to write a readonly database";
    case 9: return "Operation terminated by sqlite3_interrupt()";
    case 10: return "Some kind of disk I/O error occurred";
    case 11: return "The database disk image is malformed";
    case 12: return "(Internal Only) Table or record not found";
    case 13: return "Insertion failed because database is full";
    case 14: return "Unable to open the database file";
    case 15: return "Database lock protocol error";
    case 16: return "Database is empty";
    case 17: return "The database schema changed";
    case 18: return "Too much data for one row of a table";
    case 19: return "Abort due to contraint violation";
    case 20: return "Data type mismatch";
    case 21: return "Library used incorrectly";
    case 22: return "Uses OS features not supported on host";
    case 23: return "Authorization denied";
    case 24: return "Auxiliary database format error";
    case 25: return "2nd parameter to sqlite3_bind out of range";
    case 26: return "File opened that is not a database file";
    case 100: return "sqlite3_step() has another row ready";
    case 101: return "sqlite3_step() has finished executing";
    default: return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
  }
}

std::string FormatSQLiteError(const std::string& message, int code, const std::string& sql,
                              const std::string& sqliteMessage) {
  if (code == 0) return message;
  return message + ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorText(code) + ".\r\"" + sql +
         "\": " + sqliteMessage;
}

// TSQLiteDatabase

void TSQLiteDatabase::Closer::operator()(sqlite3* db) const { sqlite3_close(db); }

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName, TSQLiteOpenMode mode) {
  // SQLite takes UTF-8 names. Through its long-path file layer, a name too long for the plain
  // calls opens with the same extended prefix that the rest of the program gives such paths.
  const std::string path = Narrow(ToWinPath(fileName));
  sqlite3* handle = nullptr;
  const int flags = mode == omCreate     ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                    : mode == omExisting ? SQLITE_OPEN_READWRITE
                                         : SQLITE_OPEN_READONLY;
  int rc = sqlite3_open_v2(path.c_str(), &handle, flags, "win32-longpath");
  db_.reset(handle);  // closed again below if opening failed
  if (rc != SQLITE_OK) {
    if (!handle) throw ESQLiteException("Failed to open database \"" + fileName + "\" : unknown error");
    throw ESQLiteException("Failed to open database \"" + fileName + "\" : " + sqlite3_errmsg(handle));
  }
  // A lock held elsewhere (Firefox keeps its databases locked while it runs) is waited for only
  // this long; then the statement fails as locked instead of holding up the run.
  sqlite3_busy_timeout(handle, kBusyTimeoutMs);
  // A reader leaves the files as it found them: a write-ahead log that still holds rows stays.
  if (mode == omReadOnly) sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

TSQLiteDatabase::~TSQLiteDatabase() = default;

std::unique_ptr<TSQLiteDatabase> OpenDatabase(const std::string& fileName, TSQLiteOpenMode mode) {
  return std::make_unique<TSQLiteDatabase>(fileName, mode);
}

bool IsSQLiteLockError(const ESQLiteException& e) {
  const std::string m = e.Message();
  return m.find("Error [5]:") != std::string::npos || m.find("Error [6]:") != std::string::npos ||
         m == "Could not prepare SQL statement";
}

void TSQLiteDatabase::RaiseSQLiteError(const std::string& message, const std::string& sql) const {
  const int code = sqlite3_errcode(db_.get());
  std::string sqliteMessage;
  if (code != 0) sqliteMessage = sqlite3_errmsg(db_.get());
  throw ESQLiteException(FormatSQLiteError(message, code, sql, sqliteMessage));
}

void TSQLiteDatabase::ExecuteStatement(const std::string& sql, const std::vector<std::string>& textParams) {
  TStatement stmt;
  Prepare(*this, db_.get(), sql, stmt);
  for (size_t i = 0; i < textParams.size(); ++i)
    if (sqlite3_bind_text(stmt.Get(), (int)i + 1, textParams[i].data(), (int)textParams[i].size(),
                          SQLITE_TRANSIENT) != SQLITE_OK)
      RaiseSQLiteError("Error executing SQL", sql);
  if (sqlite3_step(stmt.Get()) != SQLITE_DONE) {
    sqlite3_reset(stmt.Get());
    RaiseSQLiteError("Error executing SQL statement", sql);
  }
}

int64_t TSQLiteDatabase::Changes() const { return sqlite3_changes(db_.get()); }

int64_t TSQLiteDatabase::QueryInteger(const std::string& sql, const std::vector<std::string>& textParams) {
  TSQLiteTable table(*this, sql, textParams);
  if (table.Eof() || table.ColumnCount() < 1 || table.FieldIsNull(0)) return 0;
  const TSQLiteValue& v = table.Field(0);
  if (const int64_t* i = std::get_if<int64_t>(&v)) return *i;
  if (const double* d = std::get_if<double>(&v)) return (int64_t)*d;
  if (const std::string* t = std::get_if<std::string>(&v)) return std::atoll(t->c_str());
  return 0;
}

bool TSQLiteDatabase::HasColumn(const std::string& tableName, const std::string& columnName) {
  TSQLiteTable table(*this, "select count(*) from pragma_table_info(?) where lower(name) = lower(?)",
                     {tableName, columnName});
  return !table.Eof() && table.FieldAsInteger(0) > 0;
}

TSQLiteTable TSQLiteDatabase::QueryTable(const std::string& sql) { return TSQLiteTable(*this, sql); }

bool TSQLiteDatabase::HasTable(const std::string& tableName) {
  // The name is bound, never pasted into the text, so quotes in it cannot change the query.
  TSQLiteTable table(*this, "select [sql] from sqlite_master where [type] = 'table' and lower(name) = lower(?)",
                     {tableName});
  return table.CountRows() > 0;
}

// TSQLiteTable

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const std::string& sql, const std::vector<std::string>& textParams) {
  sqlite3* handle = db.db_.get();
  TStatement stmt;
  Prepare(db, handle, sql, stmt);
  for (size_t i = 0; i < textParams.size(); ++i)
    if (sqlite3_bind_text(stmt.Get(), (int)i + 1, textParams[i].data(), (int)textParams[i].size(),
                          SQLITE_TRANSIENT) != SQLITE_OK)
      db.RaiseSQLiteError("Error executing SQL", sql);

  for (;;) {
    const int rc = sqlite3_step(stmt.Get());
    if (rc == SQLITE_DONE) break;
    if (rc == SQLITE_BUSY) throw ESQLiteException("Could not prepare SQL statement");
    if (rc != SQLITE_ROW) {
      sqlite3_reset(stmt.Get());
      db.RaiseSQLiteError("Could not retrieve data", sql);
    }
    ++rowCount_;
    if (rowCount_ == 1) {
      columnCount_ = sqlite3_column_count(stmt.Get());
      for (int c = 0; c < columnCount_; ++c) {
        const char* name = sqlite3_column_name(stmt.Get(), c);
        columnNames_.push_back(UpperCase(name ? name : ""));
        TSQLiteColumnKind kind;
        if (!KindOfDeclaredType(sqlite3_column_decltype(stmt.Get(), c), kind))
          kind = KindOfStorageClass(sqlite3_column_type(stmt.Get(), c));
        columnKinds_.push_back(kind);
      }
    }
    for (int c = 0; c < columnCount_; ++c) {
      if (sqlite3_column_type(stmt.Get(), c) == SQLITE_NULL) {
        values_.emplace_back();
        continue;
      }
      switch (columnKinds_[c]) {
        case ckInteger: values_.emplace_back(int64_t(sqlite3_column_int64(stmt.Get(), c))); break;
        case ckFloat: values_.emplace_back(sqlite3_column_double(stmt.Get(), c)); break;
        case ckBlob: {
          auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(stmt.Get(), c));
          const int size = sqlite3_column_bytes(stmt.Get(), c);
          if (bytes && size > 0)
            values_.emplace_back(TSQLiteBlob(bytes, bytes + size));
          else
            values_.emplace_back();
          break;
        }
        case ckText: {
          const unsigned char* text = sqlite3_column_text(stmt.Get(), c);
          values_.emplace_back(std::string(text ? reinterpret_cast<const char*>(text) : ""));
          break;
        }
      }
    }
  }
  row_ = 0;
}

int TSQLiteTable::FieldIndex(const std::string& name) const {
  const std::string upper = UpperCase(name);
  for (size_t i = 0; i < columnNames_.size(); ++i)
    if (columnNames_[i] == upper) return (int)i;
  return -1;
}

const TSQLiteValue& TSQLiteTable::Field(int column) const {
  if (column < 0 || column >= columnCount_ || row_ < 0 || row_ >= rowCount_)
    throw ESQLiteException("Field index out of range");
  return values_[(size_t)row_ * (size_t)columnCount_ + (size_t)column];
}

bool TSQLiteTable::FieldIsNull(int column) const { return std::holds_alternative<std::monostate>(Field(column)); }

namespace {

template <typename T>
T ValueAs(const TSQLiteValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return T();
  if (const T* value = std::get_if<T>(&v)) return *value;
  throw ESQLiteException("Field holds a value of another kind");
}

}  // namespace

int64_t TSQLiteTable::FieldAsInteger(int column) const { return ValueAs<int64_t>(Field(column)); }
double TSQLiteTable::FieldAsDouble(int column) const { return ValueAs<double>(Field(column)); }
std::string TSQLiteTable::FieldAsString(int column) const { return ValueAs<std::string>(Field(column)); }
TSQLiteBlob TSQLiteTable::FieldAsBlob(int column) const { return ValueAs<TSQLiteBlob>(Field(column)); }

}  // namespace qv
