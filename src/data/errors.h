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
class DataError : public AppError {
public:
    using AppError::AppError;
};

// Raised when a text cannot be read as a number.
class ConvertError : public AppError {
public:
    using AppError::AppError;
};
