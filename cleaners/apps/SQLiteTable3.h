// A small access layer over SQLite 3: one connection to one database file (TSQLiteDatabase) and
// the complete result of one query held in memory (TSQLiteTable). Every failure of SQLite becomes
// an ESQLiteException with a readable message. Text is UTF-8 throughout, file names included.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

class ESQLiteException : public std::runtime_error {
 public:
  explicit ESQLiteException(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// The name of an SQLite result code; codes outside the table give
// Unknown SQLite Error Code "<code>".
std::string SQLiteErrorText(int code);

// The text of the layer's error: the caller's message alone when the code is 0, otherwise
// message ".\rError [code]: name.\r\"sql\": sqlite message".
std::string FormatSQLiteError(const std::string& message, int code, const std::string& sql,
                              const std::string& sqliteMessage);

// How the values of a column are read, decided from the first row.
enum TSQLiteColumnKind { ckInteger, ckFloat, ckText, ckBlob };

using TSQLiteBlob = std::vector<unsigned char>;
// One stored value: nothing (NULL, or an empty byte block), a 64-bit integer, a double, a text or a
// byte block.
using TSQLiteValue = std::variant<std::monostate, int64_t, double, std::string, TSQLiteBlob>;

class TSQLiteTable;

// How a database file is opened.
enum TSQLiteOpenMode {
  omCreate,    // read and write; a missing file is created
  omExisting,  // read and write; a missing file is an error, never created
  // read only: nothing is written, a missing file is an error, and closing never folds a
  // write-ahead log into the database nor removes it
  omReadOnly,
};

// One open connection; closed when the object is destroyed. Used by one thread at a time.
class TSQLiteDatabase {
 public:
  // Opens (omCreate: or, when missing, creates) the database file. Raises ESQLiteException
  // "Failed to open database \"<name>\" : <reason>" when SQLite cannot open it.
  explicit TSQLiteDatabase(const std::string& fileName, TSQLiteOpenMode mode = omCreate);
  ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  // Runs one statement that returns no rows, binding `textParams` in order to its parameters.
  void ExecuteStatement(const std::string& sql, const std::vector<std::string>& textParams = {});
  // Rows the last INSERT, UPDATE or DELETE changed.
  int64_t Changes() const;
  // The first column of the first row of a query as an integer (0 when there is no row).
  int64_t QueryInteger(const std::string& sql, const std::vector<std::string>& textParams = {});
  // Whether a table has a column of that name, compared without regard to (ASCII) case.
  bool HasColumn(const std::string& tableName, const std::string& columnName);
  // Runs one query and keeps all its rows.
  TSQLiteTable QueryTable(const std::string& sql);
  // Whether the database has a table of that name, compared without regard to (ASCII) case.
  bool HasTable(const std::string& tableName);

  // Raises ESQLiteException with FormatSQLiteError of the connection's last error.
  [[noreturn]] void RaiseSQLiteError(const std::string& message, const std::string& sql) const;

  // How long a statement waits for a lock that another connection holds before it fails with
  // "The database file is locked".
  static const int kBusyTimeoutMs = 2000;

 private:
  friend class TSQLiteTable;
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

// Opens a database as TSQLiteDatabase's constructor does.
std::unique_ptr<TSQLiteDatabase> OpenDatabase(const std::string& fileName, TSQLiteOpenMode mode = omCreate);

// True when the error is SQLite's "locked" or "busy": another connection (a running browser)
// holds the database.
bool IsSQLiteLockError(const ESQLiteException& e);

// The rows of one query, read once and read-only afterwards, with a current row (0 at first).
class TSQLiteTable {
 public:
  // Runs `sql` on the connection, binding `textParams` in order to its parameters.
  TSQLiteTable(TSQLiteDatabase& db, const std::string& sql,
               const std::vector<std::string>& textParams = std::vector<std::string>());

  int32_t CountRows() const { return rowCount_; }
  int32_t ColumnCount() const { return columnCount_; }
  // Upper-cased, in column order.
  const std::vector<std::string>& ColumnNames() const { return columnNames_; }
  const std::vector<TSQLiteColumnKind>& ColumnKinds() const { return columnKinds_; }
  // The index of a column by name (without regard to case); -1 when there is none.
  int FieldIndex(const std::string& name) const;

  int32_t Row() const { return row_; }
  bool Eof() const { return row_ >= rowCount_; }
  void MoveFirst() { row_ = 0; }
  void Next() {
    if (row_ < rowCount_) ++row_;
  }

  // Values of the current row. An index outside the table raises ESQLiteException.
  const TSQLiteValue& Field(int column) const;
  bool FieldIsNull(int column) const;
  // 0, 0.0, "" or an empty block for NULL; a value of another kind raises ESQLiteException.
  int64_t FieldAsInteger(int column) const;
  double FieldAsDouble(int column) const;
  std::string FieldAsString(int column) const;
  TSQLiteBlob FieldAsBlob(int column) const;

 private:
  int32_t rowCount_ = 0;
  int32_t columnCount_ = 0;
  std::vector<std::string> columnNames_;
  std::vector<TSQLiteColumnKind> columnKinds_;
  std::vector<TSQLiteValue> values_;  // row after row
  int32_t row_ = 0;
};

}  // namespace qv
