#include "platform/WMIHelper.h"

#include <cstdint>
#include <cstdio>

#include "diagnostics/Logger.h"
#include "win32/WmiBstr.h"

namespace Corvane::platform {
namespace {

constexpr DWORD kComApartmentFlags = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;
constexpr DWORD kComMultithreadedFlags = COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE;
constexpr long kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;
constexpr long kWaitWithoutLimit = static_cast<long>(WBEM_INFINITE);

// Clears a VARIANT on every way out of the scope, a throwing callback included.
class VariantClearGuard {
public:
    enum class Null { Clear, Keep };
    explicit VariantClearGuard(VARIANT& value, Null null = Null::Clear) : value_(value), null_(null) {}
    ~VariantClearGuard() {
        // A NULL holds nothing to clear.
        if (null_ == Null::Keep && value_.vt == VT_NULL) return;
        win32().VariantClear(&value_);
    }
    VariantClearGuard(const VariantClearGuard&) = delete;
    VariantClearGuard& operator=(const VariantClearGuard&) = delete;

private:
    VARIANT& value_;
    Null null_;
};

WMIHelper::PropertyCallback wrapValueCallback(const WMIHelper::ValueCallback& callback) {
    return [&callback](const ComPtr<IWbemClassObject>&, HRESULT&, VARIANT& value) { return callback(value); };
}

}  // namespace

void logHResult(const std::string& message, HRESULT hr) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(static_cast<uint32_t>(hr)));
    Logger::log(message, std::string("Error code = 0x") + digits);
}

WMIHelper::WMIHelper(const std::wstring& wmiNamespace) {
    try {
        status = initialize(wmiNamespace);
    } catch (...) {
        // The destructor will not run: give back what start-up took before the
        // exception leaves.
        enumerator.release();
        currentObject.release();
        services.release();
        locator.release();
        while (comInitializations_ > 0) leaveCom();
        throw;
    }
}

WMIHelper::~WMIHelper() {
    services.release();
    locator.release();
    enumerator.release();
    currentObject.release();
    status = S_OK;
    // Only while start-up succeeded and no failure path has left COM since.
    while (comInitializations_ > 0) leaveCom();
}

void WMIHelper::leaveCom() {
    if (comInitializations_ == 0) return;
    --comInitializations_;
    win32().CoUninitialize();
}

HRESULT WMIHelper::initialize(const std::wstring& wmiNamespace) {
    // A thread already in the multithreaded apartment cannot become a
    // single-threaded one; it then joins the apartment it is in.
    status = win32().CoInitializeEx(nullptr, kComApartmentFlags);
    if (status == RPC_E_CHANGED_MODE) status = win32().CoInitializeEx(nullptr, kComMultithreadedFlags);
    if (FAILED(status)) {
        logHResult("WMIHelper: Failed to initialize COM library", status);
        return status;
    }
    ++comInitializations_;

    status = win32().CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    // Security set before us (by the host) is security all the same.
    if (status == RPC_E_TOO_LATE) status = S_OK;
    if (FAILED(status)) {
        logHResult("WMIHelper: Failed to initialize COM security", status);
        leaveCom();
        return status;
    }

    status = win32().CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                      locator.putVoid());
    if (FAILED(status)) {
        logHResult("WMIHelper: Failed to create IWbemLocator object", status);
        leaveCom();
        return status;
    }

    const HRESULT connection = connect(wmiNamespace);
    if (FAILED(connection)) return connection;

    status = win32().CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                       RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(status)) {
        logHResult("WMIHelper: Could not set proxy blanket", status);
        services.release();
        locator.release();
        leaveCom();
        return status;
    }

    connected = true;
    status = S_OK;
    return status;
}

HRESULT WMIHelper::connect(const std::wstring& wmiNamespace) {
    services.release();
    if (!locator) {
        status = kNotConnected;
        return status;
    }

    const WmiBstr networkResource(wmiNamespace.c_str());
    const WmiBstr locale(L"MS_409");
    status = locator->ConnectServer(networkResource.get(), nullptr, nullptr, locale.get(),
                                    WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr, services.put());
    if (FAILED(status)) {
        // The same words whichever namespace was asked for.
        logHResult("WMIHelper: Could not connect to root/cimv2", status);
        locator.release();
        leaveCom();
        return status;
    }
    Logger::log("Connected to " + Logger::toUtf8(wmiNamespace) + " WMI namespace");
    return status;
}

std::wstring WMIHelper::buildQuery(const std::wstring& properties, const std::wstring& className,
                                   const std::wstring& condition) {
    std::wstring query = L"SELECT ";
    query += properties.empty() ? L"*" : properties;
    query += L" FROM ";
    query += className;
    if (!condition.empty()) {
        query += L" WHERE ";
        query += condition;
    }
    return query;
}

HRESULT WMIHelper::executeQuery(const std::wstring& properties, const std::wstring& className,
                                const std::wstring& condition) {
    if (FAILED(status)) return status;
    if (!services) {
        status = kNotConnected;
        return status;
    }
    enumerator.release();

    const std::wstring query = buildQuery(properties, className, condition);
    Logger::log("Performing WMI query", Logger::toUtf8(query));

    const WmiBstr language(L"WQL");
    const WmiBstr queryText(query.c_str());
    status = services->ExecQuery(language.get(), queryText.get(), kQueryFlags, nullptr, enumerator.put());
    if (FAILED(status)) {
        // A connection that failed a query is not trusted again.
        logHResult("Query failed", status);
        services.release();
        locator.release();
        connected = false;
        leaveCom();
    }
    return status;
}

HRESULT WMIHelper::forEachResult(const ResultCallback& callback) {
    if (FAILED(status)) return status;
    ComPtr<IWbemClassObject> row;
    // The callback may release the enumerator, which ends the walk.
    while (enumerator) {
        ULONG returned = 0;
        status = enumerator->Next(kWaitWithoutLimit, 1, row.put(), &returned);
        if (callback(row, returned, status)) break;
        row.release();
    }
    row.release();
    return status;
}

HRESULT WMIHelper::fetchFirstResult() {
    currentObject.release();
    return forEachResult([this](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT&) {
        if (returned == 0) {
            Logger::log("Failed to get results for WMI query");
            return true;
        }
        currentObject = row;
        return true;
    });
}

HRESULT WMIHelper::getProperty(const std::wstring& name, const PropertyCallback& callback) {
    if (FAILED(status) || !currentObject) return status;

    VARIANT value{};  // zero-filled: VT_EMPTY with an all-zero payload
    status = currentObject->Get(name.c_str(), 0, &value, nullptr, nullptr);
    if (FAILED(status)) {
        Logger::log("Failed to get WMI property", Logger::toUtf8(name));
        return status;
    }
    VariantClearGuard clearValue(value);
    callback(currentObject, status, value);
    return status;
}

HRESULT WMIHelper::getProperty(const std::wstring& name, const ValueCallback& callback) {
    return getProperty(name, wrapValueCallback(callback));
}

HRESULT WMIHelper::forEachProperty(const std::wstring& name, const PropertyCallback& callback) {
    if (FAILED(status)) return status;
    return forEachResult([&](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& rowStatus) {
        if (returned == 0) return true;

        VARIANT value{};
        rowStatus = row->Get(name.c_str(), 0, &value, nullptr, nullptr);
        if (FAILED(rowStatus)) {
            logHResult(Logger::toUtf8(L"Query " + name + L" failed"), rowStatus);
            return true;
        }
        VariantClearGuard clearValue(value, VariantClearGuard::Null::Keep);
        return callback(row, rowStatus, value);
    });
}

HRESULT WMIHelper::forEachProperty(const std::wstring& name, const ValueCallback& callback) {
    return forEachProperty(name, wrapValueCallback(callback));
}

void WMIHelper::reset() {
    enumerator.release();
    currentObject.release();
    status = S_OK;
}

}  // namespace Corvane::platform
