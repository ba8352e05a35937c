#include "diagnostics/CorvaneException.h"

namespace Corvane {

CorvaneException::CorvaneException(const std::string& message, CorvaneErrorCode code)
    : std::runtime_error(message), code(code) {}

// Moving copies: the source keeps its message, as a copy would leave it.
CorvaneException::CorvaneException(const CorvaneException& other) = default;
CorvaneException::CorvaneException(CorvaneException&& other) noexcept : std::runtime_error(other), code(other.code) {}

CorvaneException& CorvaneException::operator=(const CorvaneException& other) = default;

CorvaneException& CorvaneException::operator=(CorvaneException&& other) noexcept {
    if (this != &other) {
        std::runtime_error::operator=(other);
    }
    code = other.code;
    return *this;
}

CorvaneException::~CorvaneException() = default;

CorvaneErrorCode CorvaneException::getCode() const { return code; }

}  // namespace Corvane
