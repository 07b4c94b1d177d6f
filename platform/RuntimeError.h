#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

// The one error type of the program: a run-time error with a number and a
// German description. The database layer uses the Jet engine's well-known
// numbers where one fits; the windows show "number: description".
class RuntimeError : public std::exception {
  public:
    RuntimeError(int32_t number, QString description);

    // The exception being handled as a run-time error: itself, or for any other
    // exception a number and description that say what it was. Call it in a catch block.
    static RuntimeError FromCurrentException();

    int32_t Number() const { return number_; }
    const QString& Description() const { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    int32_t number_;
    QString description_;
    std::string utf8_;
};

// Well-known engine error numbers.
namespace ErrorNumber {
inline constexpr int32_t InvalidArgument = 5;  // invalid procedure call or argument
inline constexpr int32_t OutOfMemory = 7;
inline constexpr int32_t ObjectNotSet = 91;       // no object to work on
inline constexpr int32_t ReservedError = 3000;    // engine error without a number of its own
inline constexpr int32_t ObjectNotFound = 3011;   // table or sheet not in the source
inline constexpr int32_t ObjectExists = 3012;     // name already taken
inline constexpr int32_t NoCurrentRecord = 3021;  // MoveFirst on an empty table
inline constexpr int32_t FileNotFound = 3024;
inline constexpr int32_t DiskFull = 3026;
inline constexpr int32_t ReadOnly = 3027;
inline constexpr int32_t CannotOpen = 3051;     // locked exclusively or no permission
inline constexpr int32_t FieldNotFound = 3061;  // column missing in a statement
inline constexpr int32_t TableNotFound = 3078;  // input table or query missing
inline constexpr int32_t InvalidStatement = 3129;
inline constexpr int32_t IsamNotFound = 3170;
inline constexpr int32_t Locked = 3218;
inline constexpr int32_t NoLink = 3264;  // table definition without link or fields
inline constexpr int32_t ItemNotFound = 3265;
inline constexpr int32_t ExternalFormat = 3274;      // workbook not in the expected format
inline constexpr int32_t UnrecognizedFormat = 3343;  // not a database
inline constexpr int32_t Corrupt = 3049;
}  // namespace ErrorNumber
