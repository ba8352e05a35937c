#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace Corvane {

// Codes carried by CorvaneException.
enum CorvaneErrorCode : int32_t {
    LogTimestampUnformattable = 3,  // the time stamp of a log entry could not be formatted
};

// The library's own error: a std::runtime_error with a code.
class CorvaneException : public std::runtime_error {
public:
    CorvaneException(const std::string& message, CorvaneErrorCode code);
    CorvaneException(const CorvaneException& other);
    CorvaneException(CorvaneException&& other) noexcept;
    CorvaneException& operator=(const CorvaneException& other);
    CorvaneException& operator=(CorvaneException&& other) noexcept;
    ~CorvaneException() override;

    CorvaneErrorCode getCode() const;

private:
    CorvaneErrorCode code;
};

}  // namespace Corvane
