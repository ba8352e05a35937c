#include "platform/WMIHelper.h"
// PLACEHOLDER
namespace Corvane::platform {
WMIHelper::WMIHelper(const std::wstring&) {}
WMIHelper::~WMIHelper() = default;
}
