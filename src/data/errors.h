#pragma once
#include <QString>
#include <stdexcept>

// Errors that end the current action and are shown by the application's general error handler.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// Raised by the data layer: the text carries the database's own message and the statement.
// `code` is the database's own error code where it gave one (SQLSTATE on a server, the extended
// result code on SQLite); `connectionLost` is set when the server went away during the statement.
class DataError : public AppError {
public:
    using AppError::AppError;
    DataError(const QString& text, const QString& code, bool connectionLost)
        : AppError(text), code_(code), connectionLost_(connectionLost)
    {
    }
    const QString& code() const { return code_; }
    bool connectionLost() const { return connectionLost_; }
    // A uniqueness rule of the database refused the row (another user took the same number).
    bool uniqueViolation() const
    {
        return code_ == QLatin1String("23505") || code_ == QLatin1String("2067") || code_ == QLatin1String("1555");
    }

private:
    QString code_;
    bool connectionLost_ = false;
};

// Raised when a text cannot be read as a number.
class ConvertError : public AppError {
public:
    using AppError::AppError;
};
